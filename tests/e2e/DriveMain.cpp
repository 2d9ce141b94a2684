// vesk-drive: plays the road of one update on a running VESKFlash window, as
// a person would, and tells what it saw.
//
//   vesk-drive <program.exe> [--shots <folder>]
//
// It starts the program, confirms the first box, looks at the idle window,
// presses Start, waits while the drive is flashed and read back, answers
// the restart question with Cancel, presses Exit and waits for the exit
// code. Every step is one line on standard output.
//
// With --shots, at each stage worth a picture it prints "shot <name>" and
// waits (up to 30 s) for the file <folder>\<name>.done, so that a script
// outside can photograph the screen first: 1-confirm (the confirmation box),
// 2-idle (the main window), 3-flashing (the progress bar during the flash),
// 4-verifying (reading the drive back), 5-verified ("Firmware Verify ok!!"
// and the restart question).
//
// Exit status 0 when the update ended verified and the program with 0;
// 1 otherwise.
#include "WindowDriver.h"
#include <stdio.h>
#include <string.h>
#include <string>

namespace {

constexpr DWORD StepLimitMs = 60000;
constexpr DWORD UpdateLimitMs = 240000;

std::string ShotFolder;
DWORD StartTick;

void Say(const char *format, const std::string &a = "", const std::string &b = "") {
    printf("[%6.1f s] ", (GetTickCount() - StartTick) / 1000.0);
    printf(format, a.c_str(), b.c_str());
    printf("\n");
    fflush(stdout);
}

// A box's text on one line: its line breaks shown as " / ".
std::string OneLine(const std::string &text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string(" / ") : std::string(1, c);
    return out;
}

void Shot(const char *name) {
    if (ShotFolder.empty()) return;
    const std::string done = ShotFolder + "\\" + name + ".done";
    DeleteFileA(done.c_str());
    Say("shot %s", name);
    const bool taken = WaitFor([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
    if (!taken) Say("no picture of %s was taken", name);
}

int Fail(const std::string &why, TProgram &program) {
    Say("FAILED: %s", why);
    if (program.Running()) {
        program.Kill();
        Say("ended the program");
    }
    return 1;
}

bool Contains(const std::vector<std::string> &lines, const char *text) {
    for (const std::string &l : lines)
        if (l == text) return true;
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2 && !(argc == 4 && strcmp(argv[2], "--shots") == 0)) {
        fprintf(stderr, "usage: vesk-drive <program.exe> [--shots <folder>]\n");
        return 2;
    }
    if (argc == 4) ShotFolder = argv[3];
    StartTick = GetTickCount();

    TProgram program;
    if (!program.Start(argv[1])) return Fail(std::string("could not start ") + argv[1], program);
    Say("started %s", argv[1]);

    HWND box = program.WaitBox(StepLimitMs);
    if (!box) return Fail("no confirmation box", program);
    TBox b = ReadBox(box);
    Say("box \"%s\": %s", b.Caption, OneLine(b.Text));
    Shot("1-confirm");
    if (!AnswerBox(box, IDOK)) return Fail("the box did not go", program);
    Say("answered OK");

    TMainWindow w(program.WaitMainWindow(StepLimitMs));
    if (!w.Complete()) return Fail("no main window", program);
    Say("window \"%s\"", w.Caption());
    for (const std::string &d : w.Drives()) Say("  drive list: %s", d);
    Say("  identification: %s", w.IdentificationText());
    Say("  status panel: %s", w.StatusText());
    for (const std::string &l : w.LogLines()) Say("  log: %s", l);
    Shot("2-idle");

    const size_t notice = w.LogLines().size();
    TMainWindow::Click(w.StartButton);
    Say("pressed Start");
    const DWORD pressed = GetTickCount();
    if (!WaitFor([&] { return !TMainWindow::Enabled(w.StartButton); }, StepLimitMs))
        return Fail("Start stayed enabled", program);
    Say("Start, Exit and the drive list are disabled while the update runs");

    // The window answers only where the program lets its messages run:
    // once a second while the drive programs, and before each read of the
    // read-back. Each question waits for such a moment, so ask few: the
    // number of log lines tells the stage ("Flashing .." after the notice,
    // then "Flash Complete!!"), the progress bar's range the read-back.
    bool flashing = false, verifying = false;
    HWND restart = nullptr;
    WaitFor([&] {
        if ((restart = program.Box()) != nullptr) return true;
        if (TMainWindow::Enabled(w.StartButton) || !program.Running()) return true;
        const size_t lines = static_cast<size_t>(SendA(w.Log, LB_GETCOUNT));
        if (!flashing && lines > notice) {
            flashing = true;
            char position[32];
            snprintf(position, sizeof position, "%d%%", w.ProgressPosition());
            Say("flashing: the drive programs, progress %s", position);
            Shot("3-flashing");
        } else if (flashing && !verifying && lines > notice + 1) {
            // Well into the first block, so the bar shows it moving.
            const int max = w.ProgressMax();
            if (max == 100) return false;
            const int position = w.ProgressPosition();
            if (position < max / 3) return false;
            verifying = true;
            char text[48];
            snprintf(text, sizeof text, "%d of %d", position, max);
            Say("reading the drive back: progress %s", text);
            Shot("4-verifying");
        }
        return false;
    }, UpdateLimitMs);

    const std::vector<std::string> log = w.LogLines();
    if (!restart) {
        for (const std::string &l : log) Say("  log: %s", l);
        return Fail("the update ended without the restart question", program);
    }
    char took[32];
    snprintf(took, sizeof took, "%.1f", (GetTickCount() - pressed) / 1000.0);
    b = ReadBox(restart);
    Say("box \"%s\": %s", b.Caption, OneLine(b.Text));
    Say("the update took %s s from Start to the restart question", took);
    Shot("5-verified");
    if (!AnswerBox(restart, IDCANCEL)) return Fail("the restart question did not go", program);
    Say("answered Cancel");
    if (!WaitFor([&] { return TMainWindow::Enabled(w.StartButton) && TMainWindow::Enabled(w.ExitButton); },
                 StepLimitMs))
        return Fail("Start and Exit stayed disabled", program);

    for (const std::string &l : w.LogLines()) Say("  log: %s", l);
    const bool verified = Contains(w.LogLines(), "Firmware Verify ok!!");
    TMainWindow::Click(w.ExitButton);
    Say("pressed Exit");
    const long code = program.WaitExit(StepLimitMs);
    if (code < 0) return Fail("the program did not end", program);
    char text[32];
    snprintf(text, sizeof text, "%ld", code);
    Say("the program ended with exit code %s", text);
    if (!verified) return Fail("no \"Firmware Verify ok!!\" in the log", program);
    return code == 0 ? 0 : 1;
}
