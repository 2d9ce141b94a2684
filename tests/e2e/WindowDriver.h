// Working a running VESKFlash window from another process, as a person
// would: start the program, read and answer its message boxes, press its
// buttons, pick a drive, and read what the window shows (caption, drive
// list, identification text, log, status panel, progress bar, which
// controls are enabled), then wait for the program to end.
//
// Everything goes through the window messages a second process may send:
// texts with WM_GETTEXT (the caption with GetWindowTextA, which does not
// wait for a busy program), list items with the wide forms of LB_GETTEXT and
// CB_GETLBTEXT (across processes they arrive as UTF-16 even to an ANSI
// sender), buttons with a posted BM_CLICK, a message box's buttons with
// WM_COMMAND IDOK / IDCANCEL. A program in the middle of an update may not
// look at its messages for many seconds (its plain waits block it), so
// every sent message waits up to SendLimitMs for the answer.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Milliseconds a sent message waits for a busy program.
constexpr DWORD SendLimitMs = 30000;

// Waits until done() holds, looking every 20 ms; false when ms ran out.
bool WaitFor(const std::function<bool()> &done, DWORD ms);

// The folder of this program (no trailing backslash).
std::string ProgramFolder();

// One started program.
class TProgram {
public:
    TProgram() = default;
    ~TProgram();  // ends a program still running (a test that failed half-way)
    TProgram(const TProgram &) = delete;
    TProgram &operator=(const TProgram &) = delete;

    // Starts exe with these environment variables set (name, value; an
    // empty value removes the variable) on top of this process's own.
    bool Start(const std::string &exe, const std::vector<std::pair<std::string, std::string>> &env = {});
    DWORD Pid() const { return Info.dwProcessId; }
    bool Running() const;
    // Waits for the end; the exit code, or -1 when it did not end in time.
    long WaitExit(DWORD ms);
    // Ends the program at once (exit code 99).
    void Kill();

    // Its visible top-level windows: any, a message box (#32770), the main
    // window. Null when there is none.
    HWND AnyWindow() const;
    HWND Box() const;
    HWND MainWindow() const;
    // The same, waited for; null when the time ran out or the program ended.
    HWND WaitBox(DWORD ms) const;
    HWND WaitMainWindow(DWORD ms) const;

private:
    HWND Find(const char *cls) const;
    PROCESS_INFORMATION Info{};
};

// A message box as the person sees it.
struct TBox {
    HWND Handle = nullptr;
    std::string Caption, Text;
};
TBox ReadBox(HWND box);
// Presses a button of a message box (IDOK, IDCANCEL) and waits until the
// box has gone; false if it stays.
bool AnswerBox(HWND box, int button, DWORD ms = 10000);

// The main window's controls, found by their kind (and the buttons by their
// caption).
class TMainWindow {
public:
    explicit TMainWindow(HWND form);
    bool Complete() const;  // every control was found

    HWND Form = nullptr, DriveList = nullptr, Identification = nullptr, Log = nullptr,
         StartButton = nullptr, ExitButton = nullptr, StatusBar = nullptr, Progress = nullptr;

    std::string Caption() const;
    std::vector<std::string> Drives() const;   // the drive list's entries
    int SelectedDrive() const;                  // its selected position, -1 none
    std::string DriveListText() const;          // the text the closed list shows
    std::string IdentificationText() const;
    std::string StatusText() const;             // the status panel
    std::vector<std::string> LogLines() const;
    int LogSelection() const;                   // the selected log line, -1 none
    int ProgressPosition() const;
    int ProgressMax() const;
    static bool Enabled(HWND control) { return IsWindowEnabled(control) != FALSE; }

    // Presses a button (a posted click: the program may be busy).
    static void Click(HWND button);
    // Picks an entry of the drive list with the arrow keys, as a person
    // does on a closed list; true when the list shows it selected.
    bool PickDrive(int position) const;
};

// A sent message that waits at most SendLimitMs; 0 when it got no answer.
LRESULT SendA(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0);
std::string WindowText(HWND window);  // WM_GETTEXT
