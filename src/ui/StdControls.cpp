// The plain controls: group box, drop-down list, edit and list box.
#include "ui/Ui.h"

namespace {

// Copies the text of item 'index' of a list or combo box into buffer
// (at most size - 1 characters); returns the copied length. lenMessage and
// textMessage are the LB_ or CB_ pair.
int CopyItemText(HWND window, UINT countMessage, UINT lenMessage, UINT textMessage, int index,
                 char *buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (!window || index < 0) return 0;
    LRESULT count = SendMessageA(window, countMessage, 0, 0);
    if (index >= count) return 0;
    LRESULT len = SendMessageA(window, lenMessage, static_cast<WPARAM>(index), 0);
    if (len < 0) return 0;
    if (len < size) {
        SendMessageA(window, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
        buffer[len] = '\0';
        return static_cast<int>(len);
    }
    // Longer than the caller's buffer: read it whole, hand back the start.
    char *whole = static_cast<char *>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(len) + 1));
    if (!whole) return 0;
    SendMessageA(window, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(whole));
    lstrcpynA(buffer, whole, size);
    HeapFree(GetProcessHeap(), 0, whole);
    return size - 1;
}

}  // namespace

// --- Group box -------------------------------------------------------------

TGroupBox::TGroupBox(TControl *parent, int left, int top, int width, int height,
                     const char *caption)
    : TControl(parent, left, top, width, height) {
    // WS_EX_CONTROLPARENT: Tab goes into the controls inside the frame.
    CreateChild(WS_EX_CONTROLPARENT, "BUTTON", caption, BS_GROUPBOX | WS_CLIPSIBLINGS);
}

bool TGroupBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
    if (message == WM_ERASEBKGND) {
        // The frame does not paint its inside; it holds controls here.
        RECT r;
        GetClientRect(Handle, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
        result = 1;
        return true;
    }
    if (message == WM_NCHITTEST) {
        // The frame is transparent to the mouse, but the controls inside
        // must still get it: report the client area.
        result = HTCLIENT;
        return true;
    }
    return TControl::HandleMessage(message, wParam, lParam, result);
}

// --- Drop-down list --------------------------------------------------------

TComboBox::TComboBox(TControl *parent, int left, int top, int width, int height, int itemHeight)
    : TControl(parent, left, top, width, height) {
    // The window's height includes the drop-down part: eight items.
    Height = height + 8 * itemHeight + 2;
    CreateChild(0, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
    Height = height;
    if (!Handle) return;
    SendMessageA(Handle, CB_SETITEMHEIGHT, 0, itemHeight);
    // The closed box takes its height from the selection field: set the
    // field so that the whole box is the height asked for. Implementations
    // differ in what they count into the field, so measure until it fits.
    LRESULT field = SendMessageA(Handle, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 3 && field > 0; ++attempt) {
        RECT r;
        GetWindowRect(Handle, &r);
        int actual = r.bottom - r.top;
        if (actual == height) break;
        field += height - actual;
        SendMessageA(Handle, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

int TComboBox::ItemCount() const {
    if (!Handle) return 0;
    return static_cast<int>(SendMessageA(Handle, CB_GETCOUNT, 0, 0));
}

void TComboBox::AddItem(const char *text) {
    if (Handle) SendMessageA(Handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void TComboBox::Clear() {
    if (Handle) SendMessageA(Handle, CB_RESETCONTENT, 0, 0);
}

int TComboBox::GetItemIndex() const {
    if (!Handle) return -1;
    return static_cast<int>(SendMessageA(Handle, CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index) {
    if (Handle) SendMessageA(Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TComboBox::GetItemText(int index, char *buffer, int size) const {
    return CopyItemText(Handle, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, index, buffer, size);
}

void TComboBox::Command(WORD code) {
    if (code == CBN_SELCHANGE) OnChange(this);
}

// --- Edit -------------------------------------------------------------------

TEdit::TEdit(TControl *parent, int left, int top, int width, int height, bool readOnly)
    : TControl(parent, left, top, width, height) {
    CreateChild(WS_EX_CLIENTEDGE, "EDIT", "",
                ES_AUTOHSCROLL | WS_TABSTOP | (readOnly ? ES_READONLY : 0));
}

// --- List box ---------------------------------------------------------------

TListBox::TListBox(TControl *parent, int left, int top, int width, int height, int itemHeight)
    : TControl(parent, left, top, width, height) {
    // Unsorted, exactly the size asked for, vertical scroll bar only: long
    // lines are cut at the right edge.
    CreateChild(WS_EX_CLIENTEDGE, "LISTBOX", "",
                LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP);
    if (Handle) SendMessageA(Handle, LB_SETITEMHEIGHT, 0, itemHeight);
}

int TListBox::Count() const {
    if (!Handle) return 0;
    return static_cast<int>(SendMessageA(Handle, LB_GETCOUNT, 0, 0));
}

void TListBox::Add(const char *text) {
    if (Handle) SendMessageA(Handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void TListBox::Clear() {
    if (Handle) SendMessageA(Handle, LB_RESETCONTENT, 0, 0);
}

int TListBox::GetItemIndex() const {
    if (!Handle) return -1;
    return static_cast<int>(SendMessageA(Handle, LB_GETCURSEL, 0, 0));
}

void TListBox::SetItemIndex(int index) {
    if (Handle) SendMessageA(Handle, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int TListBox::GetItemText(int index, char *buffer, int size) const {
    return CopyItemText(Handle, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, index, buffer, size);
}

int TListBox::GetTopIndex() const {
    if (!Handle) return 0;
    return static_cast<int>(SendMessageA(Handle, LB_GETTOPINDEX, 0, 0));
}
