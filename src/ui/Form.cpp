// TForm: the top-level window with its create, activate and paint events,
// the keyboard focus it keeps across activations, and the close request.
#include "ui/Ui.h"
#include <exception>

namespace {

const char ControlProperty[] = "VeskControl";

// Runs one of the form's own events; an exception it lets out is shown
// rather than unwound through the system's window code.
void RunEvent(TForm *form, void (TForm::*event)(void *)) {
    try {
        (form->*event)(form);
    } catch (const std::exception &e) {
        Application->ShowException(e.what());
    } catch (...) {
        Application->ShowException("Unknown error");
    }
}

}  // namespace

TForm::TForm() : TControl(), Font(nullptr), LastFocus(nullptr) {
    // "MS Sans Serif" 8 pt: 11 pixels of character height at 96 dpi.
    Font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
}

TForm::~TForm() {
    Application->FormDestroyed(this);
    if (Handle && IsWindow(Handle)) DestroyWindow(Handle);
    Handle = nullptr;
    if (Font) DeleteObject(Font);
    Font = nullptr;
}

void TForm::CreateWindowFixed(const char *className, int clientWidth, int clientHeight, int left,
                              int top, int iconResource) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA existing;
    if (!GetClassInfoA(instance, className, &existing)) {
        WNDCLASSA wc = {};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &TForm::FormProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconResource));
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        wc.lpszClassName = className;
        RegisterClassA(&wc);
    }
    // Fixed size: a single border and no maximize box.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    Left = left;
    Top = top;
    Width = r.right - r.left;
    Height = r.bottom - r.top;
    CreateWindowExA(0, className, "", style, Left, Top, Width, Height, nullptr, nullptr, instance,
                    this);
}

LRESULT CALLBACK TForm::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA *cs = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        TForm *form = static_cast<TForm *>(cs->lpCreateParams);
        if (form) {
            form->Handle = window;
            SetPropA(window, ControlProperty, static_cast<TControl *>(form));
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    TForm *form = static_cast<TForm *>(FromHandle(window));
    if (!form) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemovePropA(window, ControlProperty);
        form->Handle = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return form->FormMessage(message, wParam, lParam);
}

LRESULT TForm::FormMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle, focus)) LastFocus = focus;
        } else {
            if (!HIWORD(wParam)) {  // not while minimized
                if (LastFocus && IsWindow(LastFocus) && IsChild(Handle, LastFocus) &&
                    IsWindowEnabled(LastFocus))
                    SetFocus(LastFocus);
                else {
                    HWND first = GetNextDlgTabItem(Handle, nullptr, FALSE);
                    SetFocus(first ? first : Handle);
                }
            }
            RunEvent(this, &TForm::FormActivate);
        }
        return 0;
    case WM_SETFOCUS: {
        // The focus belongs on a control, not on the form itself. A control
        // that gives the focus up (it is being disabled) hands it to the
        // next control in tab order.
        HWND lost = reinterpret_cast<HWND>(wParam);
        HWND target;
        if (LastFocus && LastFocus != lost && IsWindow(LastFocus) && IsChild(Handle, LastFocus) &&
            IsWindowEnabled(LastFocus))
            target = LastFocus;
        else if (lost && IsChild(Handle, lost))
            target = GetNextDlgTabItem(Handle, lost, FALSE);
        else
            target = GetNextDlgTabItem(Handle, nullptr, FALSE);
        if (target && target != lost && target != Handle) SetFocus(target);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(Handle, &ps);
        EndPaint(Handle, &ps);
        RunEvent(this, &TForm::FormPaint);
        return 0;
    }
    case WM_CLOSE:
        if (Application->GetMainForm() == this)
            Application->Terminate();
        else
            ShowWindow(Handle, SW_HIDE);
        return 0;
    case WM_DESTROY:
        if (Application->GetMainForm() == this) Application->Terminate();
        return 0;
    case WM_NEXTDLGCTL: {
        // The dialog manager moves the focus with this (Tab, Shift+Tab, the
        // arrow keys): wParam is the window when lParam says so, otherwise
        // whether to go backwards.
        HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                     : GetNextDlgTabItem(Handle, GetFocus(), wParam != 0);
        if (target) {
            SetFocus(target);
            if (SendMessageA(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
                SendMessageA(target, EM_SETSEL, 0, -1);
        }
        return 0;
    }
    case WM_COMMAND:
        // Enter from the dialog manager (IDOK without a control): a focused
        // button is pressed, as a push button would be.
        if (lParam == 0 && LOWORD(wParam) == IDOK) {
            TControl *focused = FromHandle(GetFocus());
            TBitBtn *button = dynamic_cast<TBitBtn *>(focused);
            if (button && button->GetEnabled()) button->Click();
            return 0;
        }
        break;
    default:
        break;
    }
    if (RouteNotification(message, wParam, lParam, result)) return result;
    return DefWindowProcA(Handle, message, wParam, lParam);
}

void TForm::SetCaption(const char *caption) { SetText(caption); }

int TForm::GetCaption(char *buffer, int size) const { return GetText(buffer, size); }

void TForm::Show() {
    if (!Handle) return;
    ShowWindow(Handle, SW_SHOWNORMAL);
    HWND focus = GetFocus();
    if (!focus || !IsChild(Handle, focus)) {
        HWND first = GetNextDlgTabItem(Handle, nullptr, FALSE);
        if (first && GetActiveWindow() == Handle) SetFocus(first);
    }
}

void TForm::Close() {
    if (Handle) PostMessageA(Handle, WM_CLOSE, 0, 0);
}
