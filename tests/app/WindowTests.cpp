// The main window as a real window: frame, controls, fonts, captions, tab
// order, mnemonics, glyphs.
#include <doctest/doctest.h>
#include "AppTestSupport.h"
#include <commctrl.h>
#include <cstring>
#include <stdexcept>

TEST_CASE("the main window is a fixed 298 x 315 window at 410, 229 with the button-face colour and its icon") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    HWND h = Form1->Handle;

    RECT client;
    GetClientRect(h, &client);
    CHECK(client.right == 298);
    CHECK(client.bottom == 315);
    RECT frame;
    GetWindowRect(h, &frame);
    CHECK(frame.left == 410);
    CHECK(frame.top == 229);

    LONG style = GetWindowLongA(h, GWL_STYLE);
    CHECK((style & WS_CAPTION) == WS_CAPTION);
    CHECK((style & WS_SYSMENU) != 0);
    CHECK((style & WS_MINIMIZEBOX) != 0);
    CHECK((style & WS_MAXIMIZEBOX) == 0);
    CHECK((style & WS_THICKFRAME) == 0);  // not resizable: single border
    CHECK(IsWindowVisible(h));
    // The bottom-right corner of the frame does not offer sizing.
    LRESULT hit = SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(frame.right - 1, frame.bottom - 1));
    CHECK(hit != HTBOTTOMRIGHT);

    CHECK(GetClassLongPtrA(h, GCLP_HBRBACKGROUND) == COLOR_BTNFACE + 1);
    HICON icon = reinterpret_cast<HICON>(GetClassLongPtrA(h, GCLP_HICON));
    REQUIRE(icon != nullptr);
    ICONINFO info;
    REQUIRE(GetIconInfo(icon, &info));
    BITMAP bm;
    GetObjectA(info.hbmColor, sizeof bm, &bm);
    CHECK(bm.bmWidth == 32);
    CHECK(bm.bmHeight == 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST_CASE("every control has its class, parent, place, caption and font") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    TForm1 &m = *Form1;

    struct Expected {
        const char *Name;
        TControl *Control;
        const char *Class;
        TControl *Parent;
        TRect Rect;
        const char *Caption;  // null: not checked (texts that change)
    } table[] = {
        {"GroupBox1", m.GroupBox1, "Button", &m, {4, -1, 293, 65}, "Select Source : "},
        {"SelDevice", m.SelDevice, "ComboBox", m.GroupBox1, {30, 25, 227, 21}, nullptr},
        {"GroupBox2", m.GroupBox2, "Button", &m, {4, 71, 293, 50}, "Select File : "},
        {"Edit1", m.Edit1, "Edit", m.GroupBox2, {31, 16, 226, 21}, nullptr},
        {"BitBtn2", m.BitBtn2, "Button", &m, {49, 128, 75, 25}, "&Start"},
        {"BitBtn3", m.BitBtn3, "Button", &m, {185, 128, 75, 25}, "&Exit"},
        {"ListBox1", m.ListBox1, "ListBox", &m, {0, 160, 298, 136}, nullptr},
        {"StatusBar1", m.StatusBar1, "msctls_statusbar32", &m, {0, 296, 298, 19}, nullptr},
        {"ProgressBar1", m.ProgressBar1, "msctls_progress32", m.StatusBar1, {169, 2, 128, 17}, nullptr},
    };
    for (const Expected &e : table) {
        std::string name = e.Name;
        CAPTURE(name);
        HWND h = e.Control->Handle;
        REQUIRE(IsWindow(h));
        CHECK(ClassOf(h) == e.Class);
        CHECK(GetParent(h) == e.Parent->Handle);
        TRect r = RectInParent(h);
        CHECK(r.Left == e.Rect.Left);
        CHECK(r.Top == e.Rect.Top);
        CHECK(r.Width == e.Rect.Width);
        CHECK(r.Height == e.Rect.Height);
        if (e.Caption) CHECK(TextOf(h) == e.Caption);

        HFONT font = reinterpret_cast<HFONT>(SendMessageA(h, WM_GETFONT, 0, 0));
        REQUIRE(font != nullptr);
        LOGFONTA lf;
        REQUIRE(GetObjectA(font, sizeof lf, &lf) == sizeof lf);
        CHECK(std::strcmp(lf.lfFaceName, "MS Sans Serif") == 0);
        CHECK(lf.lfHeight == -11);
        CHECK(lf.lfCharSet == ANSI_CHARSET);
    }

    // Kinds: a drop-down list without text entry, a read-only edit, owner-
    // drawn glyph buttons, a log without horizontal scrolling, a smooth bar,
    // one status panel over the whole bar.
    CHECK((GetWindowLongA(m.SelDevice->Handle, GWL_STYLE) & 3) == CBS_DROPDOWNLIST);
    CHECK((GetWindowLongA(m.Edit1->Handle, GWL_STYLE) & ES_READONLY) != 0);
    CHECK((GetWindowLongA(m.BitBtn2->Handle, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW);
    CHECK((GetWindowLongA(m.BitBtn3->Handle, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW);
    CHECK((GetWindowLongA(m.GroupBox1->Handle, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX);
    CHECK((GetWindowLongA(m.ListBox1->Handle, GWL_STYLE) & WS_HSCROLL) == 0);
    CHECK((GetWindowLongA(m.ListBox1->Handle, GWL_STYLE) & LBS_SORT) == 0);
    CHECK(SendMessageA(m.ListBox1->Handle, LB_GETITEMHEIGHT, 0, 0) == 13);
    CHECK((GetWindowLongA(m.ProgressBar1->Handle, GWL_STYLE) & PBS_SMOOTH) != 0);
    CHECK(SendMessageA(m.ProgressBar1->Handle, PBM_GETRANGE, TRUE, 0) == 0);
    CHECK(SendMessageA(m.ProgressBar1->Handle, PBM_GETRANGE, FALSE, 0) == 100);
    int parts[4] = {0};
    CHECK(SendMessageA(m.StatusBar1->Handle, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts)) == 1);
    CHECK(parts[0] == -1);
    CHECK(SendMessageA(m.StatusBar1->Handle, SB_ISSIMPLE, 0, 0) == FALSE);

    // The glyphs: 32 x 16, two images.
    for (TBitBtn *b : {m.BitBtn2, m.BitBtn3}) {
        REQUIRE(b->Glyph != nullptr);
        BITMAP bm;
        GetObjectA(b->Glyph, sizeof bm, &bm);
        CHECK(bm.bmWidth == 32);
        CHECK(bm.bmHeight == 16);
    }
}

namespace {

// Draws the button as the system asks it to into a memory bitmap and
// counts the pixels of each colour.
struct TButtonPicture {
    int Yellow = 0, Olive = 0, Grey = 0, Maroon = 0;
};

TButtonPicture DrawButton(TBitBtn *button, bool disabled) {
    RECT r;
    GetClientRect(button->Handle, &r);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ old = SelectObject(dc, bmp);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = disabled ? ODS_DISABLED : 0;
    item.hwndItem = button->Handle;
    item.hDC = dc;
    item.rcItem = r;
    button->DrawItem(item);
    TButtonPicture p;
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == RGB(255, 255, 0)) ++p.Yellow;
            if (c == RGB(128, 128, 0)) ++p.Olive;
            if (c == RGB(128, 128, 128)) ++p.Grey;
            if (c == RGB(128, 0, 0)) ++p.Maroon;
        }
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return p;
}

}  // namespace

TEST_CASE("glyph buttons draw the normal image, the second image when disabled, never the olive") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();

    TButtonPicture start = DrawButton(Form1->BitBtn2, false);
    CHECK(start.Yellow > 10);  // the lit bulb
    CHECK(start.Olive == 0);   // the transparent colour is left out
    TButtonPicture startOff = DrawButton(Form1->BitBtn2, true);
    CHECK(startOff.Yellow == 0);
    CHECK(startOff.Olive == 0);
    CHECK(startOff.Grey > start.Grey);

    TButtonPicture exit = DrawButton(Form1->BitBtn3, false);
    CHECK(exit.Maroon > 10);   // the door leaf
    CHECK(exit.Olive == 0);
    TButtonPicture exitOff = DrawButton(Form1->BitBtn3, true);
    CHECK(exitOff.Maroon == 0);
    CHECK(exitOff.Olive == 0);
}

TEST_CASE("Tab walks the controls in tab order; Alt+S and Alt+E press Start and Exit") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    TForm1 &m = *Form1;

    // The form's own children in tab order, which is their window order.
    HWND expected[] = {m.StatusBar1->Handle, m.GroupBox1->Handle, m.GroupBox2->Handle,
                       m.ListBox1->Handle, m.BitBtn2->Handle, m.BitBtn3->Handle};
    HWND child = GetWindow(m.Handle, GW_CHILD);
    for (HWND h : expected) {
        CHECK(child == h);
        child = GetWindow(child, GW_HWNDNEXT);
    }

    SetForegroundWindow(m.Handle);
    SetFocus(m.SelDevice->Handle);
    f.Pump(20);
    REQUIRE(GetFocus() == m.SelDevice->Handle);
    HWND order[] = {m.Edit1->Handle, m.ListBox1->Handle, m.BitBtn2->Handle, m.BitBtn3->Handle,
                    m.SelDevice->Handle};
    for (HWND h : order) {
        PressKey(f, VK_TAB);
        CHECK(GetFocus() == h);
    }

    // Alt+S: Start. With no identification text it only writes the error.
    m.Edit1->SetText("");
    size_t lines = f.LogLines().size();
    PressKey(f, 'S', true);
    std::vector<std::string> log = f.LogLines();
    REQUIRE(log.size() == lines + 1);
    CHECK(log.back() == "Err:File Error !!");

    // Alt+E: Exit ends the application.
    CHECK_FALSE(Application->Terminated);
    PressKey(f, 'E', true);
    CHECK(f.PumpUntilClosed());
}

TEST_CASE("a handler's exception is shown in a box and the window goes on; ShowMessage is a plain box") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    const size_t before = f.Boxes.size();

    TNotifyEvent throwing;
    throwing.Handler = [](void *, void *) { throw std::runtime_error("Out of luck"); };
    Form1->BitBtn3->OnClick = throwing;
    Form1->BitBtn3->Click();
    REQUIRE(f.Boxes.size() == before + 1);
    CHECK(f.Boxes.back().Text == "Out of luck");
    CHECK(f.Boxes.back().Caption == "VESKFlash");
    CHECK((f.Boxes.back().Type & MB_ICONMASK) == MB_ICONSTOP);
    CHECK_FALSE(Application->Terminated);
    CHECK(IsWindowVisible(Form1->Handle));

    ShowMessage("Just so");
    REQUIRE(f.Boxes.size() == before + 2);
    CHECK(f.Boxes.back().Text == "Just so");
    CHECK(f.Boxes.back().Caption == "VESKFlash");
    CHECK((f.Boxes.back().Type & MB_TYPEMASK) == MB_OK);
    CHECK(f.Boxes.back().Owner == nullptr);
}
