// TApplication: the main form, the message loop, the processing of pending
// messages from inside a handler, and the simple message dialogs.
#include "ui/Ui.h"
#include "os/Os.h"
#include <commctrl.h>
#include <exception>

namespace {
// Constant-initialised: usable from static constructors that run before
// this file's (the drive-access object may show a message while it starts).
TApplication TheApplication;
}  // namespace

TApplication *Application = &TheApplication;

void TApplication::Initialize() { InitCommonControls(); }

void TApplication::SetTitle(const char *title) {
    lstrcpynA(Title, title ? title : "", sizeof Title);
}

const char *TApplication::GetTitle() {
    if (!Title[0]) {
        // Until a title is set: the program file's name without its extension.
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        if (n == 0 || n >= sizeof path) return Title;
        const char *name = path;
        for (const char *p = path; *p; ++p)
            if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
        lstrcpynA(Title, name, sizeof Title);
        char *dot = nullptr;
        for (char *p = Title; *p; ++p)
            if (*p == '.') dot = p;
        if (dot) *dot = '\0';
    }
    return Title;
}

void TApplication::CreateForm(TForm *form) {
    if (!form) return;
    if (!MainForm) MainForm = form;
    try {
        form->FormCreate(form);
    } catch (const std::exception &e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("Unknown error");
    }
    form->Show();
}

void TApplication::Dispatch(MSG &message) {
    // The dialog manager gives the main form Tab, Shift+Tab, the arrow keys
    // between controls and Alt+letter for the buttons' mnemonics.
    if (MainForm && MainForm->Handle && IsDialogMessageA(MainForm->Handle, &message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void TApplication::Run() {
    if (!MainForm) return;
    while (!Terminated) {
        MSG message;
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            Terminated = true;
            break;
        }
        Dispatch(message);
    }
}

void TApplication::ProcessMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            Terminated = true;
            break;
        }
        Dispatch(message);
    }
}

void TApplication::Terminate() { Terminated = true; }

void TApplication::ShowException(const char *message) {
    Os.MessageBoxA(nullptr, message ? message : "", GetTitle(), MB_OK | MB_ICONSTOP);
}

HWND TApplication::MainWindow() const { return MainForm ? MainForm->Handle : nullptr; }

void TApplication::FormDestroyed(TForm *form) {
    if (MainForm == form) MainForm = nullptr;
}

void ShowMessage(const char *text) {
    Os.MessageBoxA(nullptr, text ? text : "", Application->GetTitle(), MB_OK | MB_TASKMODAL);
}
