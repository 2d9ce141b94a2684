#include "WindowDriver.h"
#include <commctrl.h>
#include <string.h>

namespace {

std::string Narrow(const wchar_t *text) {
    const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

LRESULT SendW(HWND window, UINT message, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, w, l, SMTO_NORMAL, SendLimitMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

// An item of a list box or a combo box's list: its length, then its text in
// UTF-16 (the form in which it crosses the process boundary).
std::string ItemText(HWND control, UINT lengthMessage, UINT textMessage, int index) {
    const LRESULT length = SendW(control, lengthMessage, static_cast<WPARAM>(index), 0);
    if (length <= 0) return std::string();
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    SendW(control, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.back() = L'\0';
    return Narrow(text.data());
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct TSearch {
    DWORD Process;
    const char *Class;
    HWND Found;
};

BOOL CALLBACK FindTopLevel(HWND window, LPARAM parameter) {
    TSearch &s = *reinterpret_cast<TSearch *>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != s.Process || !IsWindowVisible(window)) return TRUE;
    if (s.Class && ClassOf(window) != s.Class) return TRUE;
    s.Found = window;
    return FALSE;
}

struct TChildren {
    std::vector<HWND> All;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
    reinterpret_cast<TChildren *>(parameter)->All.push_back(window);
    return TRUE;
}

}  // namespace

bool WaitFor(const std::function<bool()> &done, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(20);
    }
}

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    char *slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    return path;
}

LRESULT SendA(HWND window, UINT message, WPARAM w, LPARAM l) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, SendLimitMs, &result)) return 0;
    return static_cast<LRESULT>(result);
}

std::string WindowText(HWND window) {
    char text[1024] = {};
    SendA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    text[sizeof text - 1] = 0;
    return text;
}

// ---- the program ----

TProgram::~TProgram() {
    if (Info.hProcess) {
        if (Running()) Kill();
        CloseHandle(Info.hThread);
        CloseHandle(Info.hProcess);
    }
}

bool TProgram::Start(const std::string &exe, const std::vector<std::pair<std::string, std::string>> &env) {
    // The child inherits this process's environment: set the variables for
    // the moment of the start, then put back what was there.
    std::vector<std::pair<std::string, std::string>> saved;
    std::vector<bool> existed;
    for (const auto &v : env) {
        char old[4096];
        const DWORD n = GetEnvironmentVariableA(v.first.c_str(), old, sizeof old);
        existed.push_back(n > 0 && n < sizeof old);
        saved.emplace_back(v.first, existed.back() ? std::string(old) : std::string());
        SetEnvironmentVariableA(v.first.c_str(), v.second.empty() ? nullptr : v.second.c_str());
    }
    std::string command = "\"" + exe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    const BOOL ok = CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &Info);
    for (size_t i = 0; i < saved.size(); ++i)
        SetEnvironmentVariableA(saved[i].first.c_str(), existed[i] ? saved[i].second.c_str() : nullptr);
    if (!ok) Info = PROCESS_INFORMATION{};
    return ok != FALSE;
}

bool TProgram::Running() const {
    return Info.hProcess && WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT;
}

long TProgram::WaitExit(DWORD ms) {
    if (!Info.hProcess || WaitForSingleObject(Info.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(Info.hProcess, &code);
    return static_cast<long>(code);
}

void TProgram::Kill() {
    if (!Info.hProcess) return;
    TerminateProcess(Info.hProcess, 99);
    WaitForSingleObject(Info.hProcess, 10000);
}

HWND TProgram::Find(const char *cls) const {
    if (!Info.hProcess) return nullptr;
    TSearch s{Info.dwProcessId, cls, nullptr};
    EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

HWND TProgram::AnyWindow() const { return Find(nullptr); }
HWND TProgram::Box() const { return Find("#32770"); }
HWND TProgram::MainWindow() const { return Find("TForm1"); }

HWND TProgram::WaitBox(DWORD ms) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = Box()) != nullptr || !Running(); }, ms);
    return found;
}

HWND TProgram::WaitMainWindow(DWORD ms) const {
    HWND found = nullptr;
    WaitFor([&] { return (found = MainWindow()) != nullptr || !Running(); }, ms);
    return found;
}

// ---- message boxes ----

TBox ReadBox(HWND box) {
    TBox b;
    b.Handle = box;
    char caption[256] = {};
    GetWindowTextA(box, caption, sizeof caption);
    b.Caption = caption;
    // The text is the static control the box makes for it.
    HWND label = GetDlgItem(box, 0xFFFF);
    b.Text = label ? WindowText(label) : std::string();
    return b;
}

bool AnswerBox(HWND box, int button, DWORD ms) {
    PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, ms);
}

// ---- the main window ----

TMainWindow::TMainWindow(HWND form) : Form(form) {
    TChildren c;
    if (form) EnumChildWindows(form, &CollectChild, reinterpret_cast<LPARAM>(&c));
    for (HWND w : c.All) {
        const std::string cls = ClassOf(w);
        if (cls == "ComboBox") DriveList = w;
        else if (cls == "Edit") Identification = w;
        else if (cls == "ListBox") Log = w;
        else if (cls == STATUSCLASSNAMEA) StatusBar = w;
        else if (cls == PROGRESS_CLASSA) Progress = w;
        else if (cls == "Button") {
            char text[64] = {};
            GetWindowTextA(w, text, sizeof text);
            if (strcmp(text, "&Start") == 0) StartButton = w;
            if (strcmp(text, "&Exit") == 0) ExitButton = w;
        }
    }
}

bool TMainWindow::Complete() const {
    return Form && DriveList && Identification && Log && StartButton && ExitButton && StatusBar && Progress;
}

std::string TMainWindow::Caption() const {
    char text[256] = {};
    GetWindowTextA(Form, text, sizeof text);
    return text;
}

std::vector<std::string> TMainWindow::Drives() const {
    std::vector<std::string> out;
    const LRESULT n = SendA(DriveList, CB_GETCOUNT);
    for (int i = 0; i < n; ++i) out.push_back(ItemText(DriveList, CB_GETLBTEXTLEN, CB_GETLBTEXT, i));
    return out;
}

int TMainWindow::SelectedDrive() const { return static_cast<int>(SendA(DriveList, CB_GETCURSEL)); }
std::string TMainWindow::DriveListText() const { return WindowText(DriveList); }
std::string TMainWindow::IdentificationText() const { return WindowText(Identification); }
std::string TMainWindow::StatusText() const { return WindowText(StatusBar); }

std::vector<std::string> TMainWindow::LogLines() const {
    std::vector<std::string> out;
    const LRESULT n = SendA(Log, LB_GETCOUNT);
    for (int i = 0; i < n; ++i) out.push_back(ItemText(Log, LB_GETTEXTLEN, LB_GETTEXT, i));
    return out;
}

int TMainWindow::LogSelection() const { return static_cast<int>(SendA(Log, LB_GETCURSEL)); }
int TMainWindow::ProgressPosition() const { return static_cast<int>(SendA(Progress, PBM_GETPOS)); }
int TMainWindow::ProgressMax() const { return static_cast<int>(SendA(Progress, PBM_GETRANGE, FALSE, 0)); }

void TMainWindow::Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

bool TMainWindow::PickDrive(int position) const {
    for (int tries = 0; tries < 20; ++tries) {
        const int now = SelectedDrive();
        if (now == position) return true;
        const WPARAM key = now < position ? VK_DOWN : VK_UP;
        SendA(DriveList, WM_KEYDOWN, key, 1);
        SendA(DriveList, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
    }
    return SelectedDrive() == position;
}
