// Reading the identity an image declares, and listing the drives it fits.
#include "app/MainForm.h"
#include "image/FirmwareImage.h"
#include "os/Os.h"
#include <stdio.h>
#include <string.h>

namespace {

// The inquiry template is read up to its two required-version bytes (38,
// 39); a signature closer than that to the end of the buffer is skipped.
constexpr DWORD TemplateLength = 40;
constexpr DWORD LastTemplatePosition = BlockSlotSize - TemplateLength;

// Images for this model may carry the design marker.
const char DesignMarkerModel[] = "PLM-7004X";

bool IsTemplate(const BYTE *t) {
    return t[0] == 0x05 && t[1] == 0x80 && t[2] == 0x00 && (t[4] == 0x1F || t[4] == 0x5B);
}

constexpr int DeviceMapSize = sizeof DeviceMap / sizeof DeviceMap[0];
constexpr int DeviceTableSize = sizeof Atapi.Devices / sizeof Atapi.Devices[0];

}  // namespace

// Finds the inquiry template in block 0 of the current image and takes the
// identification text (into Edit1) and the required version from it.
bool TForm1::IdentifyFirmware() {
    BYTE *buffer = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!buffer) {
        LogMessage("Err:Memory allocation");
        return false;
    }
    memset(buffer, 0, BlockSlotSize);
    memcpy(buffer, SlotBlock(CurrentImage, 0), BlockLength[0]);
    if (ScrambleFlag == ScrambledImage) Unscramble(buffer, BlockSlotSize, 1);

    char text[29] = {};   // vendor, product, revision: up to the first NUL
    bool found = false;
    for (DWORD p = 0; p <= LastTemplatePosition; ++p) {
        const BYTE *t = buffer + p;
        if (!IsTemplate(t)) continue;
        UpdateFlags.RequiredVersion[0] = t[38];
        UpdateFlags.RequiredVersion[1] = t[39];
        for (int i = 0; i < 28 && t[8 + i] != 0; ++i) text[i] = static_cast<char>(t[8 + i]);
        Edit1->SetText(text);
        found = true;
        break;
    }

    // Characters 8-16: the first nine of the product identification.
    if (found && strncmp(text + 8, DesignMarkerModel, 9) == 0) {
        for (DWORD q = 0; q <= BlockSlotSize - 28; ++q) {
            if (buffer[q] == 'Q' && WideTextAt(buffer, BlockSlotSize, q, DesignMarkerText)) {
                UpdateFlags.ImageHasDesignMarker = true;
                break;
            }
        }
    }
    Os.FreeBuffer(buffer);
    return true;
}

// Lists the drives that the first image with a matching drive fits: same
// vendor and product identification, and the version bytes it requires.
void TForm1::MatchDrives() {
    const int images = CountImages();
    for (int slot = 0; slot < images; ++slot) {
        LoadDescriptor(slot);
        if (!IdentifyFirmware()) continue;

        SelDevice->Clear();
        char identification[29];
        Edit1->GetText(identification, sizeof identification);
        int listed = 0;
        bool matched = false;
        for (int n = 0; n < Atapi.DeviceCount && n < DeviceTableSize; ++n) {
            char display[32];
            snprintf(display, sizeof display, "%s %s", Atapi.Devices[n].Name,
                     Atapi.Devices[n].Revision);
            Atapi.SelectDevice(n);   // the version check asks drive n
            if (strncmp(display, identification, 24) != 0 || !CheckVersionBytes(false)) continue;
            matched = true;
            // The list has room for as many drives as DeviceMap; a further
            // matching drive is not listed.
            if (listed < DeviceMapSize) {
                DeviceMap[listed++] = n;
                SelDevice->AddItem(display);
            }
        }
        if (matched) break;
    }
}
