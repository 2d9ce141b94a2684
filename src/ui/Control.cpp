// TControl: one child window of the toolkit, hooked so that its
// notifications reach its object, and the event call that keeps a handler's
// exception from unwinding through the system's window code.
#include "ui/Ui.h"
#include <exception>

namespace {

// The property that ties a window to its object.
const char ControlProperty[] = "VeskControl";

// Child window identifiers start above the dialog manager's IDOK/IDCANCEL.
int NextControlId = 1000;

}  // namespace

void TNotifyEvent::operator()(void *sender) const {
    if (!Handler) return;
    try {
        Handler(Owner, sender);
    } catch (const std::exception &e) {
        Application->ShowException(e.what());
    } catch (...) {
        Application->ShowException("Unknown error");
    }
}

TControl::TControl(TControl *parent, int left, int top, int width, int height)
    : Handle(nullptr), Parent(parent), Left(left), Top(top), Width(width), Height(height),
      TabOrder(0), OldProc(nullptr) {}

TControl::TControl() : TControl(nullptr, 0, 0, 0, 0) {}

TControl::~TControl() {
    if (Handle && IsWindow(Handle)) DestroyWindow(Handle);
}

TControl *TControl::FromHandle(HWND window) {
    if (!window) return nullptr;
    return static_cast<TControl *>(GetPropA(window, ControlProperty));
}

TForm *TControl::OwnerForm() const {
    const TControl *c = this;
    while (c->Parent) c = c->Parent;
    return static_cast<TForm *>(const_cast<TControl *>(c));
}

void TControl::CreateChild(DWORD exStyle, const char *className, const char *text, DWORD style) {
    HWND parentWindow = Parent ? Parent->Handle : nullptr;
    Handle = CreateWindowExA(exStyle, className, text, style | WS_CHILD | WS_VISIBLE, Left, Top,
                             Width, Height, parentWindow,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextControlId++)),
                             GetModuleHandleA(nullptr), nullptr);
    if (!Handle) return;
    SetPropA(Handle, ControlProperty, this);
    OldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(Handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::ChildProc)));
    TForm *form = OwnerForm();
    if (form && form->Font) SendMessageA(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(form->Font), 0);
}

LRESULT CALLBACK TControl::ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TControl *control = FromHandle(window);
    if (!control) return DefWindowProcA(window, message, wParam, lParam);
    WNDPROC old = control->OldProc;
    if (message == WM_NCDESTROY) {
        // The window goes away (with its parent, or on its own): unhook and
        // forget the handle so that the destructor does not touch it.
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(window, ControlProperty);
        control->Handle = nullptr;
        return CallWindowProcA(old, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (control->HandleMessage(message, wParam, lParam, result)) return result;
    return CallWindowProcA(old, window, message, wParam, lParam);
}

bool TControl::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
    return RouteNotification(message, wParam, lParam, result);
}

bool TControl::RouteNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result) {
    switch (message) {
    case WM_COMMAND: {
        TControl *child = FromHandle(reinterpret_cast<HWND>(lParam));
        if (!child) return false;
        child->Command(HIWORD(wParam));
        result = 0;
        return true;
    }
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        TControl *child = header ? FromHandle(header->hwndFrom) : nullptr;
        if (!child) return false;
        child->Notify(header->code);
        result = 0;
        return true;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        TControl *child = item ? FromHandle(item->hwndItem) : nullptr;
        if (!child) return false;
        child->DrawItem(*item);
        result = TRUE;
        return true;
    }
    case WM_CTLCOLORSTATIC: {
        // A read-only edit asks with this message; it keeps the colours of
        // an editable one. Group boxes and the rest get the button face.
        HWND child = reinterpret_cast<HWND>(lParam);
        char cls[16] = {0};
        GetClassNameA(child, cls, sizeof cls);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (lstrcmpiA(cls, "Edit") == 0) {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        } else {
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return true;
    }
    default:
        return false;
    }
}

void TControl::Command(WORD) {}
void TControl::Notify(UINT) {}
void TControl::DrawItem(const DRAWITEMSTRUCT &) {}

bool TControl::GetEnabled() const { return Handle && IsWindowEnabled(Handle); }

void TControl::SetEnabled(bool enabled) {
    if (!Handle) return;
    // A disabled window loses the focus to nobody, and the keyboard would
    // then reach no control at all: hand it to the form first, which gives
    // it to the first control that can take it.
    if (!enabled && GetFocus() == Handle && Parent) SetFocus(OwnerForm()->Handle);
    EnableWindow(Handle, enabled ? TRUE : FALSE);
}

void TControl::Repaint() {
    if (!Handle) return;
    InvalidateRect(Handle, nullptr, TRUE);
    UpdateWindow(Handle);
}

void TControl::SetText(const char *text) {
    if (Handle) SetWindowTextA(Handle, text ? text : "");
}

int TControl::GetText(char *buffer, int size) const {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (!Handle) return 0;
    return GetWindowTextA(Handle, buffer, size);
}

void TControl::SetTabOrder(int order) {
    TabOrder = order;
    if (!Handle) return;
    // Place the window just before the first sibling with a higher tab order.
    HWND parentWindow = GetParent(Handle);
    HWND before = nullptr;
    for (HWND w = GetWindow(parentWindow, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        TControl *sibling = FromHandle(w);
        if (w == Handle || !sibling) continue;
        if (sibling->TabOrder > order) {
            before = w;
            break;
        }
    }
    HWND after = HWND_BOTTOM;
    if (before) {
        after = GetWindow(before, GW_HWNDPREV);
        if (!after) after = HWND_TOP;
    }
    if (after == Handle) return;
    SetWindowPos(Handle, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
