// The start-up dialogue, run while the main window is created: find the
// drives the carried firmware fits, ask the user to go on, select the
// first drive and greet the user with the notice.
#include "app/MainForm.h"
#include "os/Os.h"
#include <cstdio>
#include <cstring>

namespace {

const char *const Notice[] = {
    "Important Notice: ",
    "1. Before flashing, ensure that there is no media in the drive.",
    "2. Do not restart or shut down your system until it prompts you",
    "    to do so.",
    "    Turning off your system in the midst of flashing will damage",
    "    your drive.",
};

}  // namespace

void TForm1::FormCreate(void *) {
    SetCaption(ProgramCaption);
    MatchDrives();

    // The identification text: vendor (8), product (16) and revision (4)
    // of the firmware image; empty when no image was identified.
    char ident[64];
    Edit1->GetText(ident, sizeof ident);

    // Vendor and product, with the spaces that fill the fields.
    char excerpt[25];
    lstrcpynA(excerpt, ident, sizeof excerpt);
    char question[128];
    std::snprintf(question, sizeof question,
                  "This firmware updater only supports\n\n %s \n\nDo you want to continue ?",
                  excerpt);
    if (Os.MessageBoxA(nullptr, question, "WARNING", MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL) {
        UpdateFlags.CloseRequested = true;
        return;
    }

    SelDevice->SetItemIndex(0);
    char name[64];
    int index = SelDevice->GetItemIndex();
    SelDevice->GetItemText(index, name, sizeof name);
    if (!name[0]) {
        Os.MessageBoxA(nullptr, "Can't find the device to upgrade !!", "ERROR",
                       MB_OK | MB_ICONERROR);
        UpdateFlags.CloseRequested = true;
        return;
    }
    Atapi.SelectDevice(DeviceMap[index]);
    StatusBar1->SetPanelText(0, name);

    // Title: the product identification (characters 9 to 24) up to its
    // first space.
    char product[17] = {0};
    if (std::strlen(ident) > 8) {
        lstrcpynA(product, ident + 8, sizeof product);
        char *space = std::strchr(product, ' ');
        if (space) *space = '\0';
    }
    char title[64];
    std::snprintf(title, sizeof title, "%s Firmware Updater", product);
    SetCaption(title);

    for (const char *line : Notice) LogMessage(line);
}
