// The road of one update as the tests walk it, and what the person and the
// drive should see on it.
#pragma once
#include "WindowDriver.h"
#include "SimRecord.h"
#include <string>
#include <vector>

// Limits: starting a program (and a box or window showing), and one whole
// update with the program's own waits in real time.
constexpr DWORD StartLimitMs = 60000;
constexpr DWORD UpdateLimitMs = 240000;

// The texts of the drive the first carried image is for.
extern const char ImageDriveName[];        // a drive-list entry / status panel: name, space, revision
extern const char ImageIdentification[];   // the identification text
extern const char ImageTitle[];            // the window caption
extern const char ConfirmationText[];
extern const std::vector<std::string> NoticeLines;

// The program files of this build.
std::string ProductExe();   // VESKFlash.exe
std::string DemoExe();      // VESKFlash-sim.exe

// Waits for the confirmation box, checks its caption and text, and answers
// it. Returns false (after failed checks) when there was no box.
bool AnswerConfirmation(TProgram &program, int answer);

// After a confirmed start: the main window, idle, with these drive-list
// entries (the first selected). The returned window is incomplete when it
// did not show.
TMainWindow IdleWindow(TProgram &program, const std::vector<std::string> &drives);

// Presses Start; checks that the drive list, Start and Exit are disabled
// while the update runs; waits for the update to reach a message box or
// to end (Start enabled again). Returns the box, or null.
HWND RunUpdate(TProgram &program, const TMainWindow &window);

// Waits until Start, Exit and the drive list are enabled again.
bool WaitIdleAgain(const TMainWindow &window);

// Presses Exit and waits for the program's exit code (-1: it did not end).
long ExitProgram(TProgram &program, const TMainWindow &window);

// The drive's side of a complete download of image on one device: the
// blocks in order with their lengths, the commit with the block count and
// checksum, NOT READY while programming, and the read-back of every piece
// of every block after the commit. readKind: "ReadMemory32" or
// "ReadMemory38".
void CheckDownloadTrace(const TTrace &trace, const std::string &device, const TImage &image,
                        const std::string &readKind);

// The drive's memory holds the image: sums of each block as summarised.
void CheckMemorySums(const TDriveSummary &drive, const TImage &image);

// Lines of the log after the notice.
std::vector<std::string> AfterNotice(const std::vector<std::string> &log);
