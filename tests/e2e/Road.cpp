#include "Road.h"
#include <doctest/doctest.h>
#include <algorithm>

const char ImageDriveName[] = "VESK    PLM-6100X DVD RW 2.1 ";
const char ImageIdentification[] = "VESK    PLM-6100X DVD RW2.1 ";
const char ImageTitle[] = "PLM-6100X Firmware Updater";
const char ConfirmationText[] =
    "This firmware updater only supports\n\n VESK    PLM-6100X DVD RW \n\nDo you want to continue ?";
const std::vector<std::string> NoticeLines = {
    "Important Notice: ",
    "1. Before flashing, ensure that there is no media in the drive.",
    "2. Do not restart or shut down your system until it prompts you",
    "    to do so.",
    "    Turning off your system in the midst of flashing will damage",
    "    your drive.",
};

namespace {

std::string FullPath(const std::string &path) {
    char full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full) : path;
}

WORD Get16(const BYTE *p) { return static_cast<WORD>(p[0] << 8 | p[1]); }

}  // namespace

// This program lives in <build>\tests\e2e.
std::string ProductExe() { return FullPath(ProgramFolder() + "\\..\\..\\src\\VESKFlash.exe"); }
std::string DemoExe() { return FullPath(ProgramFolder() + "\\..\\..\\sim\\demo\\VESKFlash-sim.exe"); }

bool AnswerConfirmation(TProgram &program, int answer) {
    HWND box = program.WaitBox(StartLimitMs);
    REQUIRE_MESSAGE(box != nullptr, "no confirmation box");
    const TBox b = ReadBox(box);
    CHECK(b.Caption == "WARNING");
    CHECK(b.Text == ConfirmationText);
    CHECK(AnswerBox(box, answer));
    return true;
}

TMainWindow IdleWindow(TProgram &program, const std::vector<std::string> &drives) {
    TMainWindow w(program.WaitMainWindow(StartLimitMs));
    REQUIRE_MESSAGE(w.Complete(), "the main window or one of its controls did not show");
    CHECK(w.Caption() == ImageTitle);
    CHECK(w.IdentificationText() == ImageIdentification);
    CHECK(w.Drives() == drives);
    CHECK(w.SelectedDrive() == 0);
    if (!drives.empty()) {
        CHECK(w.DriveListText() == drives[0]);
        CHECK(w.StatusText() == drives[0]);
    }
    CHECK(w.LogLines() == NoticeLines);
    CHECK(TMainWindow::Enabled(w.DriveList));
    CHECK(TMainWindow::Enabled(w.StartButton));
    CHECK(TMainWindow::Enabled(w.ExitButton));
    return w;
}

HWND RunUpdate(TProgram &program, const TMainWindow &window) {
    TMainWindow::Click(window.StartButton);
    // The whole update runs inside the click: the drive list goes first,
    // Start and Exit after the stops.
    const bool disabled = WaitFor([&] {
        return !TMainWindow::Enabled(window.StartButton) && !TMainWindow::Enabled(window.ExitButton) &&
               !TMainWindow::Enabled(window.DriveList);
    }, StartLimitMs);
    CHECK_MESSAGE(disabled, "the drive list, Start and Exit were not all disabled during the update");
    HWND box = nullptr;
    WaitFor([&] {
        return (box = program.Box()) != nullptr || TMainWindow::Enabled(window.StartButton) || !program.Running();
    }, UpdateLimitMs);
    return box;
}

bool WaitIdleAgain(const TMainWindow &w) {
    return WaitFor([&] {
        return TMainWindow::Enabled(w.StartButton) && TMainWindow::Enabled(w.ExitButton) &&
               TMainWindow::Enabled(w.DriveList);
    }, UpdateLimitMs);
}

long ExitProgram(TProgram &program, const TMainWindow &window) {
    TMainWindow::Click(window.ExitButton);
    return program.WaitExit(StartLimitMs);
}

void CheckDownloadTrace(const TTrace &trace, const std::string &device, const TImage &image,
                        const std::string &readKind) {
    INFO("device ", device);
    const std::vector<TTraceCommand> blocks = trace.Of(device, "FlashWriteBlock");
    REQUIRE(blocks.size() == static_cast<size_t>(image.BlockCount));
    for (int i = 0; i < image.BlockCount; ++i) {
        INFO("block ", i);
        CHECK(blocks[i].Cdb[6] == 5);
        CHECK(blocks[i].Cdb[7] == i);
        CHECK(Get16(blocks[i].Cdb + 8) == image.BlockLength[i]);
        CHECK(blocks[i].Length == image.BlockLength[i]);
        CHECK(blocks[i].Status == 0);
    }
    const std::vector<TTraceCommand> commits = trace.Of(device, "FlashCommit");
    REQUIRE_FALSE(commits.empty());
    for (const TTraceCommand &c : commits) {
        CHECK(c.Cdb[6] == 4);
        CHECK(c.Cdb[7] == 0xE0 + image.BlockCount);
        CHECK(Get16(c.Cdb + 10) == image.Checksum);
        CHECK(c.Length == 0);
    }

    // From the accepted commit (or retry) on.
    const std::vector<TTraceCommand> all = trace.Of(device);
    size_t at = all.size();
    for (size_t k = 0; k < all.size(); ++k) {
        if ((all[k].Kind == "FlashCommit" || all[k].Kind == "FlashRetry") && all[k].Status == 0) {
            at = k;
            break;
        }
    }
    REQUIRE_MESSAGE(at < all.size(), "no commit was accepted");

    // Programming: TEST UNIT READY finds the drive not ready, then back.
    size_t notReady = all.size(), back = all.size();
    for (size_t k = at + 1; k < all.size(); ++k) {
        if (all[k].Kind != "TestUnitReady") continue;
        if (notReady == all.size() && all[k].Key == 2 && all[k].Asc == 0x04) notReady = k;
        if (notReady < k && (all[k].Status == 0 || (all[k].Key == 2 && all[k].Asc == 0x3A))) {
            back = k;
            break;
        }
    }
    CHECK_MESSAGE(notReady < all.size(), "the program never saw the drive programming");
    CHECK_MESSAGE(back < all.size(), "the program never saw the drive back");

    // The read-back: every 256-byte piece of every block, once, in order.
    std::vector<std::pair<int, unsigned>> expected, read;
    for (int i = 0; i < image.BlockCount; ++i)
        for (unsigned a = 0; a < image.BlockLength[i]; a += 256) expected.emplace_back(i, a);
    const int blockByte = readKind == "ReadMemory32" ? 8 : 9;
    for (size_t k = back; k < all.size(); ++k)
        if (all[k].Kind == readKind) read.emplace_back(all[k].Cdb[blockByte], Get16(all[k].Cdb + 6));
    CHECK(read == expected);
}

void CheckMemorySums(const TDriveSummary &drive, const TImage &image) {
    for (int i = 0; i < 8; ++i) {
        INFO("block ", i);
        const unsigned length = i < image.BlockCount ? image.BlockLength[i] : 0;
        CHECK(drive.CommittedLength[i] == length);
        if (length) CHECK(drive.CommittedSum[i] == image.BlockSum(i));
        CHECK(drive.MemorySum[i] == image.MemorySum(i, 0xFF));
    }
}

std::vector<std::string> AfterNotice(const std::vector<std::string> &log) {
    if (log.size() < NoticeLines.size() || !std::equal(NoticeLines.begin(), NoticeLines.end(), log.begin()))
        return log;
    return std::vector<std::string>(log.begin() + static_cast<long>(NoticeLines.size()), log.end());
}
