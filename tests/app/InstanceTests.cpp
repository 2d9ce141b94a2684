// The program itself as a process: one instance at a time, and the start-up
// boxes it shows when the machine has no drive it can update.
#include <doctest/doctest.h>
#include "AppTestSupport.h"

namespace {

const DWORD ProcessBudgetMs = 300000;  // a start under emulation is slow

struct TWindowSearch {
    DWORD Process;
    const char *Class;  // null: any class
    HWND Found;
};

BOOL CALLBACK FindVisibleWindow(HWND w, LPARAM p) {
    TWindowSearch *s = reinterpret_cast<TWindowSearch *>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->Process || !IsWindowVisible(w)) return TRUE;
    if (s->Class && ClassOf(w) != s->Class) return TRUE;
    s->Found = w;
    return FALSE;
}

HWND VisibleWindowOf(DWORD process, const char *cls = nullptr) {
    TWindowSearch s{process, cls, nullptr};
    EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&s));
    return s.Found;
}

bool StartProgram(PROCESS_INFORMATION &pi) {
    std::string exe = BuildFolder() + "\\src\\VESKFlash.exe";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    return CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi) != FALSE;
}

// Waits for a visible message box of the process; null if it ended or the
// time ran out first.
HWND WaitForBox(const PROCESS_INFORMATION &pi) {
    for (DWORD waited = 0; waited < ProcessBudgetMs; waited += 50) {
        HWND box = VisibleWindowOf(pi.dwProcessId, "#32770");
        if (box) return box;
        if (WaitForSingleObject(pi.hProcess, 50) != WAIT_TIMEOUT) return nullptr;
    }
    return nullptr;
}

// The text of a message box: its static control.
std::string BoxText(HWND box) {
    char text[512] = {0};
    HWND label = GetDlgItem(box, 0xFFFF);
    SendMessageA(label ? label : box, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

TEST_CASE("VESKFlash.exe: a second instance ends with 0 and no window; alone it asks, finds no drive, ends with 0") {
    // This test process plays the running instance: it holds the mutex.
    HANDLE running = CreateMutexA(nullptr, FALSE, "MyAPP");
    REQUIRE(running != nullptr);
    REQUIRE(GetLastError() != ERROR_ALREADY_EXISTS);

    PROCESS_INFORMATION second;
    REQUIRE(StartProgram(second));
    bool sawWindow = false;
    DWORD waited = 0;
    while (WaitForSingleObject(second.hProcess, 50) == WAIT_TIMEOUT && waited < ProcessBudgetMs) {
        if (VisibleWindowOf(second.dwProcessId)) sawWindow = true;
        waited += 50;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(second.hProcess, &code);
    if (code == STILL_ACTIVE) TerminateProcess(second.hProcess, 1);
    CHECK(code == 0);
    CHECK_FALSE(sawWindow);
    CloseHandle(second.hThread);
    CloseHandle(second.hProcess);

    // Once the other instance is gone the program starts normally. Under
    // Wine there is no CD/DVD drive: the confirmation, then the error.
    CloseHandle(running);
    PROCESS_INFORMATION alone;
    REQUIRE(StartProgram(alone));
    HWND box = WaitForBox(alone);
    REQUIRE(box != nullptr);
    CHECK(TextOf(box) == "WARNING");
    CHECK(BoxText(box).rfind("This firmware updater only supports\n\n ", 0) == 0);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    box = WaitForBox(alone);
    REQUIRE(box != nullptr);
    CHECK(TextOf(box) == "ERROR");
    CHECK(BoxText(box) == "Can't find the device to upgrade !!");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    code = STILL_ACTIVE;
    if (WaitForSingleObject(alone.hProcess, ProcessBudgetMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(alone.hProcess, &code);
    else
        TerminateProcess(alone.hProcess, 1);
    CHECK(code == 0);
    CloseHandle(alone.hThread);
    CloseHandle(alone.hProcess);
}
