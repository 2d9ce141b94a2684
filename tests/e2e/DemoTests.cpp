// The demo program, VESKFlash-sim.exe: the program on a simulated NT
// machine in real time, reached through pass-through on drive letters, and
// the single-instance rule between two running programs.
#include "Road.h"
#include <doctest/doctest.h>
#include <algorithm>
#include <string>

namespace {

// One run of the demo program writing what its drives saw to a fresh
// folder; scenario: a scenario file's text, or empty for the built-in
// machine (D: the image's drive, E: another model).
struct TDemoRun {
    TDemoRun(const char *name, const std::string &scenario = "") : Folder(FreshFolder(name)) {
        std::string file;
        if (!scenario.empty()) {
            file = Folder + "\\scenario.txt";
            REQUIRE(WriteTextFile(file, scenario));
        }
        REQUIRE(Program.Start(DemoExe(), {{"VESK_SIM_SCENARIO", file}, {"VESK_SIM_OUTPUT", Folder}}));
        Scenario = file.empty() ? "(built in)" : file;
    }
    // Read once the program has ended.
    TTrace Trace() const {
        TTrace t = ReadTrace(Folder + "\\trace.txt");
        REQUIRE_FALSE(t.Lines.empty());
        CHECK(t.Lines.front() == "scenario " + Scenario);
        CHECK(t.HasLineEnding(" ended"));
        return t;
    }
    TSummary Summary() const { return ReadSummary(Folder + "\\summary.txt"); }
    std::vector<BYTE> Memory(char letter) const {
        return ReadFileBytes(Folder + "\\memory-" + letter + ".bin");
    }
    std::string Folder, Scenario;
    TProgram Program;
};

// Memory as the drive holds it: blocks of 64 KiB, erased (0xFF) except
// for the given bytes of the image at the start of each block.
std::vector<BYTE> ErasedWith(const TImage &image, const WORD (&lengths)[8]) {
    std::vector<BYTE> m(8 * 65536, 0xFF);
    for (int i = 0; i < 8; ++i)
        std::copy(image.Block[i], image.Block[i] + lengths[i], m.begin() + i * 65536);
    return m;
}

// The first place where two memories differ, as "block:address", or "".
std::string FirstDifference(const std::vector<BYTE> &a, const std::vector<BYTE> &b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k] != b[k]) return std::to_string(k / 65536) + ":" + std::to_string(k % 65536);
    return "";
}

const WORD Nothing[8] = {};

}  // namespace

TEST_SUITE("nt") {

TEST_CASE("Demo program: a complete update of D: through pass-through, the restart accepted; E: is not offered") {
    TDemoRun run("demo-complete");
    AnswerConfirmation(run.Program, IDOK);
    const TMainWindow w = IdleWindow(run.Program, {ImageDriveName});
    HWND box = RunUpdate(run.Program, w);
    REQUIRE_MESSAGE(box != nullptr, "no restart question");
    const TBox b = ReadBox(box);
    CHECK(b.Caption == "Warning");
    CHECK(b.Text == "Reboot this computer right now ?");
    CHECK(AfterNotice(w.LogLines()) ==
          std::vector<std::string>{"Flashing ..", "Flash Complete!!", "Firmware Verify ok!!"});
    // OK: the program asks Windows to restart; the simulated Windows ends
    // the program as a restart would.
    CHECK(AnswerBox(box, IDOK));
    CHECK(run.Program.WaitExit(StartLimitMs) == 0);

    const TImage image = CarriedImage(0);
    const TTrace trace = run.Trace();
    CheckDownloadTrace(trace, "D:", image, "ReadMemory38");
    CHECK(trace.KindsOf("E:") == std::vector<std::string>{"Inquiry"});
    CHECK(trace.HasLineEnding(" restart flags=2 privilege=SeShutdownPrivilege token_access=28"));

    CHECK(FirstDifference(run.Memory('D'), ErasedWith(image, image.BlockLength)) == "");
    CHECK(FirstDifference(run.Memory('E'), ErasedWith(image, Nothing)) == "");
    TSummary s = run.Summary();
    CHECK(s.Drives["D:"].Commits == 1);
    CHECK(s.Machine["restarts"] == 1);
    CHECK(s.Machine["buffers_out"] == 0);
}

TEST_CASE("Demo program: the drive picked in the list fails a block write; the download stops, nothing is programmed") {
    // Two drives the image fits; the second (F:, revision 2.0) fails its
    // second block.
    const std::string fits =
        "vendor = VESK\nproduct = PLM-6100X DVD RW\nbyte38 = 0x44\nbyte39 = 0x38\n"
        "capabilities = 8:2A A:3B B:13\nprogramming_ms = 1000\n";
    TDemoRun run("demo-fault", "[drive D]\nrevision = 2.1\n" + fits +
                                   "[drive F]\nrevision = 2.0\n" + fits +
                                   "fault = kind=FlashWriteBlock times=1 status=0\n"
                                   "fault = kind=FlashWriteBlock times=1 status=2 sense=3/0C/00\n");
    AnswerConfirmation(run.Program, IDOK);
    const std::string second = "VESK    PLM-6100X DVD RW 2.0 ";
    const TMainWindow w = IdleWindow(run.Program, {ImageDriveName, second});
    REQUIRE(w.PickDrive(1));
    CHECK(WaitFor([&] { return w.StatusText() == second; }, StartLimitMs));
    CHECK(w.DriveListText() == second);

    HWND box = RunUpdate(run.Program, w);
    CHECK_MESSAGE(box == nullptr, "a box after a failed download: ", ReadBox(box).Text);
    CHECK(WaitIdleAgain(w));
    CHECK(AfterNotice(w.LogLines()) == std::vector<std::string>{
                                          "Flashing ..", "Status:0x2 ; Err:Flash command(W) has problems.",
                                          "Err:Flash Fail!!"});
    CHECK(ExitProgram(run.Program, w) == 0);

    const TTrace trace = run.Trace();
    const std::vector<TTraceCommand> blocks = trace.Of("F:", "FlashWriteBlock");
    REQUIRE(blocks.size() == 2);
    CHECK(blocks[0].Status == 0);
    CHECK(blocks[1].Status == 2);
    CHECK(trace.Of("F:", "FlashCommit").empty());
    CHECK(trace.Of("F:", "FlashRetry").empty());
    CHECK(trace.Of("D:", "FlashWriteBlock").empty());

    // Only the boot region (256 bytes at block 0, address 0) was rewritten,
    // before the download; the download itself programmed nothing.
    const TImage image = CarriedImage(0);
    const WORD bootRegion[8] = {0x100};
    CHECK(FirstDifference(run.Memory('F'), ErasedWith(image, bootRegion)) == "");
    CHECK(FirstDifference(run.Memory('D'), ErasedWith(image, Nothing)) == "");
    TSummary s = run.Summary();
    CHECK(s.Drives["F:"].Commits == 0);
    CHECK(s.Machine["buffers_out"] == 0);
}

TEST_CASE("A second instance started while one runs ends with 0, shows no window, and leaves the first alone") {
    TDemoRun first("instance-first");
    HWND box = first.Program.WaitBox(StartLimitMs);
    REQUIRE(box != nullptr);

    TDemoRun second("instance-second");
    bool sawWindow = false;
    WaitFor([&] {
        if (second.Program.AnyWindow()) sawWindow = true;
        return !second.Program.Running();
    }, StartLimitMs);
    CHECK(second.Program.WaitExit(0) == 0);
    CHECK_FALSE(sawWindow);
    // It found the drives (one INQUIRY each) before it found the other
    // instance, and did nothing more.
    const TTrace trace = second.Trace();
    CHECK(trace.KindsOf("D:") == std::vector<std::string>{"Inquiry"});
    CHECK(trace.KindsOf("E:") == std::vector<std::string>{"Inquiry"});

    // The first goes on as if nothing happened.
    CHECK(IsWindowVisible(box));
    CHECK(ReadBox(box).Text == ConfirmationText);
    REQUIRE(AnswerBox(box, IDOK));
    const TMainWindow w = IdleWindow(first.Program, {ImageDriveName});
    CHECK(ExitProgram(first.Program, w) == 0);
}

}  // TEST_SUITE
