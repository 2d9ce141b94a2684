// The start-up dialogue, the captions, and the message log.
#include <doctest/doctest.h>
#include "AppTestSupport.h"
#include "image/ImageFixture.h"
#include <commctrl.h>
#include <cstdio>
#include <cstring>

namespace {
const char *const NoticeLines[] = {
    "Important Notice: ",
    "1. Before flashing, ensure that there is no media in the drive.",
    "2. Do not restart or shut down your system until it prompts you",
    "    to do so.",
    "    Turning off your system in the midst of flashing will damage",
    "    your drive.",
};

// WM_PAINT sent to one window, seen by a hook on the thread's window calls.
struct {
    HWND Window;
    int Paints;
} PaintWatch;

LRESULT CALLBACK CountPaints(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT *m = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (code == HC_ACTION && m->hwnd == PaintWatch.Window && m->message == WM_PAINT) ++PaintWatch.Paints;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

TEST_CASE("confirmed start-up with one drive: selected, named in the panel, titled, notice written") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    std::string captionAtQuestion;
    f.OnBox = [&](const TFormFixture::Box &) { captionAtQuestion = f.Caption(); };
    f.Create();
    CHECK(captionAtQuestion == "VESKFlash V1.03");

    // The question names the image's vendor and product, with the spaces
    // that fill them, on a line of its own between two spaces.
    REQUIRE(f.Boxes.size() == 1);
    CHECK(f.Boxes[0].Text ==
          "This firmware updater only supports\n\n VESK    PLM-6100X DVD RW \n\nDo you want to continue ?");
    CHECK(f.Boxes[0].Caption == "WARNING");
    CHECK(f.Boxes[0].Type == (MB_OKCANCEL | MB_ICONWARNING));
    CHECK(f.Boxes[0].Owner == nullptr);

    CHECK(Form1->SelDevice->GetItemIndex() == 0);
    CHECK(f.SelectedDrive() == OneDriveName);
    CHECK(f.PanelText() == OneDriveName);
    REQUIRE(Atapi.DeviceCount == 1);
    CHECK(Atapi.Handle == Atapi.Devices[DeviceMap[0]].Handle);
    CHECK(f.Caption() == "PLM-6100X Firmware Updater");
    CHECK_FALSE(UpdateFlags.CloseRequested);

    std::vector<std::string> log = f.LogLines();
    REQUIRE(log.size() == 6);
    for (size_t i = 0; i < 6; ++i) CHECK(log[i] == NoticeLines[i]);

    // Once the window is active, no line is selected.
    f.Pump();
    CHECK(GetActiveWindow() == Form1->Handle);
    CHECK(SendMessageA(Form1->ListBox1->Handle, LB_GETCURSEL, 0, 0) == LB_ERR);
    CHECK_FALSE(Application->Terminated);

    // The picture of the window as it stands.
    std::string png = BuildFolder() + "\\app-main-window.png";
    RedrawWindow(Form1->Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    f.Pump(300);
    CHECK(SaveWindowPng(Form1->Handle, png));
    MESSAGE("window picture (caption \"" << f.Caption() << "\"): " << png);

    // A double-click on the status bar brings back the program's name for good.
    SendMessageA(Form1->StatusBar1->Handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 8));
    f.Pump(20);
    CHECK(f.Caption() == "VESKFlash V1.03");
    SendMessageA(Form1->StatusBar1->Handle, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 8));
    CHECK(f.Caption() == "VESKFlash V1.03");
}

TEST_CASE("Cancel at the confirmation closes the window at its first paint, with no other box") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Answers = {IDCANCEL};
    f.Create();
    REQUIRE(f.Boxes.size() == 1);
    CHECK(UpdateFlags.CloseRequested);
    CHECK(f.LogLines().empty());
    CHECK(f.Caption() == "VESKFlash V1.03");
    CHECK(f.PanelText().empty());
    // Shown, not yet painted: still running.
    CHECK(IsWindowVisible(Form1->Handle));
    CHECK_FALSE(Application->Terminated);
    CHECK(f.PumpUntilClosed());
    CHECK(f.Boxes.size() == 1);
}

TEST_CASE("no matching drive: the ERROR box after the confirmation, no notice, closed at first paint") {
    struct {
        const char *Name;
        bool Drive;
        const char *Product;
        BYTE Version39;
    } cases[] = {
        {"no CD/DVD drive", false, "", 0},
        {"other version bytes", true, "PLM-6100X DVD RW", '7'},
        {"other product", true, "PLM-6200X DVD RW", '8'},
    };
    for (const auto &c : cases) {
        std::string name = c.Name;
        CAPTURE(name);
        TSimFixture sim(true);
        if (c.Drive) sim.AddDrive()->SetIdentity("VESK    ", c.Product, "2.1 ", 'D', c.Version39);
        sim.Start();
        TFormFixture f;
        f.Create();
        REQUIRE(f.Boxes.size() == 2);
        CHECK(f.Boxes[0].Caption == "WARNING");
        CHECK(f.Boxes[1].Text == "Can't find the device to upgrade !!");
        CHECK(f.Boxes[1].Caption == "ERROR");
        CHECK(f.Boxes[1].Type == (MB_OK | MB_ICONERROR));
        CHECK(f.Boxes[1].Owner == nullptr);
        CHECK(UpdateFlags.CloseRequested);
        CHECK(f.LogLines().empty());
        CHECK(f.PanelText().empty());
        CHECK(f.Caption() == "VESKFlash V1.03");
        CHECK_FALSE(Application->Terminated);
        CHECK(f.PumpUntilClosed());
        CHECK(f.Boxes.size() == 2);
    }
}

TEST_CASE("the title is the image's product identification up to its first space") {
    struct {
        const char *Product;
        const char *Title;
    } cases[] = {
        {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP Firmware Updater"},  // all 16, no space
        {"X1 DRIVE        ", "X1 Firmware Updater"},
    };
    for (const auto &c : cases) {
        std::string product = c.Product;
        CAPTURE(product);
        TSlotFixture slots;
        const std::string ident = std::string("VESK    ") + c.Product + "1.00";
        slots.PutTemplate(0, 0x100, ident, 'D', '8');
        slots.PutTemplate(1, 0x100, ident, 'D', '8');
        TDriveWindow w("VESK    ", c.Product, "1.00", 'D', '8');
        w.Form.Create();
        REQUIRE(w.Form.Boxes.size() == 1);
        CHECK(w.Form.SelectedDrive() == std::string("VESK    ") + c.Product + " 1.00");
        CHECK(w.Form.Caption() == c.Title);
    }
}

TEST_CASE("LogMessage appends, selects and scrolls to the last line; SetProgress moves the bar") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    HWND list = Form1->ListBox1->Handle;

    // Each line is painted before LogMessage returns, while the caller may
    // keep the message loop waiting for a long time.
    PaintWatch.Window = list;
    PaintWatch.Paints = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &CountPaints, nullptr, GetCurrentThreadId());
    REQUIRE(hook != nullptr);
    Form1->LogMessage("painted at once");
    UnhookWindowsHookEx(hook);
    CHECK(PaintWatch.Paints >= 1);

    std::string longLine(300, 'x');
    Form1->LogMessage(longLine.c_str());
    char text[32];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(text, sizeof text, "line %d", i);
        Form1->LogMessage(text);
    }
    std::vector<std::string> log = f.LogLines();
    REQUIRE(log.size() == 6 + 2 + 40);
    CHECK(log[6] == "painted at once");
    CHECK(log[7] == longLine);  // kept whole, only cut on the screen
    CHECK(log.back() == "line 39");
    LRESULT last = SendMessageA(list, LB_GETCOUNT, 0, 0) - 1;
    CHECK(SendMessageA(list, LB_GETCURSEL, 0, 0) == last);
    RECT client;
    GetClientRect(list, &client);
    LRESULT visible = client.bottom / SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    CHECK(top > 0);
    CHECK(top <= last);
    CHECK(last < top + visible);
    CHECK(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0) == 0);

    Form1->SetProgress(37);
    CHECK(SendMessageA(Form1->ProgressBar1->Handle, PBM_GETPOS, 0, 0) == 37);
    CHECK(Form1->ProgressBar1->GetPosition() == 37);
    Form1->ProgressBar1->SetMax(8);
    Form1->SetProgress(3);
    CHECK(SendMessageA(Form1->ProgressBar1->Handle, PBM_GETPOS, 0, 0) == 3);
    CHECK(SendMessageA(Form1->ProgressBar1->Handle, PBM_GETRANGE, FALSE, 0) == 8);
}
