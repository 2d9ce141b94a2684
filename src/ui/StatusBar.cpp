// TStatusBar (one text panel) and TProgressBar (smooth), from the common
// controls.
#include "ui/Ui.h"
#include <commctrl.h>

// --- Status bar --------------------------------------------------------------

TStatusBar::TStatusBar(TControl *parent, int height)
    : TControl(parent, 0, 0, 0, height) {
    RECT client = {0, 0, 0, 0};
    if (parent && parent->Handle) GetClientRect(parent->Handle, &client);
    Left = 0;
    Width = client.right;
    Top = client.bottom - height;
    // Placed and sized by us, not by the control (the window is not
    // resizable, so there is no size grip either). Children are clipped so
    // that a control put on the bar is not painted over.
    CreateChild(0, STATUSCLASSNAMEA, "",
                CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NOMOVEY | WS_CLIPCHILDREN);
    if (!Handle) return;
    MoveWindow(Handle, Left, Top, Width, Height, TRUE);
    // One panel: as the last panel it reaches the right end of the bar.
    int right = -1;
    SendMessageA(Handle, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&right));
    SendMessageA(Handle, SB_SIMPLE, FALSE, 0);
}

void TStatusBar::SetPanelText(int panel, const char *text) {
    if (Handle)
        SendMessageA(Handle, SB_SETTEXTA, static_cast<WPARAM>(panel),
                     reinterpret_cast<LPARAM>(text ? text : ""));
}

int TStatusBar::GetPanelText(int panel, char *buffer, int size) const {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (!Handle) return 0;
    LRESULT info = SendMessageA(Handle, SB_GETTEXTLENGTHA, static_cast<WPARAM>(panel), 0);
    int len = LOWORD(info);
    if (len < size) {
        SendMessageA(Handle, SB_GETTEXTA, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(buffer));
        buffer[len] = '\0';
        return len;
    }
    char *whole = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(len) + 1));
    if (!whole) return 0;
    SendMessageA(Handle, SB_GETTEXTA, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(whole));
    lstrcpynA(buffer, whole, size);
    HeapFree(GetProcessHeap(), 0, whole);
    return size - 1;
}

void TStatusBar::Notify(UINT code) {
    if (code == static_cast<UINT>(NM_DBLCLK)) OnDblClick(this);
}

// --- Progress bar -----------------------------------------------------------

TProgressBar::TProgressBar(TControl *parent, int left, int top, int width, int height)
    : TControl(parent, left, top, width, height), Min(0), Max(100), Position(0) {
    CreateChild(0, PROGRESS_CLASSA, "", PBS_SMOOTH);
    SendRange();
}

void TProgressBar::SendRange() {
    if (!Handle) return;
    if (Min >= 0 && Max <= 0xFFFF && Min <= Max)
        SendMessageA(Handle, PBM_SETRANGE, 0, MAKELPARAM(Min, Max));
    else
        SendMessageA(Handle, PBM_SETRANGE32, static_cast<WPARAM>(Min), static_cast<LPARAM>(Max));
    SendMessageA(Handle, PBM_SETPOS, static_cast<WPARAM>(Position), 0);
}

void TProgressBar::SetMin(int value) {
    Min = value;
    if (Position < Min) Position = Min;
    SendRange();
}

void TProgressBar::SetMax(int value) {
    Max = value;
    if (Position > Max) Position = Max;
    SendRange();
}

int TProgressBar::GetMin() const { return Min; }
int TProgressBar::GetMax() const { return Max; }

void TProgressBar::SetPosition(int value) {
    if (value < Min) value = Min;
    if (value > Max) value = Max;
    Position = value;
    if (Handle) SendMessageA(Handle, PBM_SETPOS, static_cast<WPARAM>(value), 0);
}

int TProgressBar::GetPosition() const { return Position; }
