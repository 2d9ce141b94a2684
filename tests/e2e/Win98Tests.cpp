// VESKFlash.exe itself on Windows 98: it reaches the drive through the ASPI
// layer, here the simulated wnaspi32.dll, whose machine each test writes
// into a scenario file. These tests run in a Wine prefix set to Windows 98
// with that library in its system folder (win98.sh makes it).
#include "Road.h"
#include <doctest/doctest.h>

namespace {

// The drive the first carried image is for. A DVD reader without write
// capabilities: the program reads drive memory with ReadMemory32. It is
// back from programming after 1.5 s.
const std::string MatchingDrive =
    "vendor = VESK\n"
    "product = PLM-6100X DVD RW\n"
    "revision = 2.1\n"
    "byte38 = 0x44\n"
    "byte39 = 0x38\n"
    "capabilities = 8:2A A:08 B:00\n"
    "programming_ms = 1500\n";

// One run of the program on a machine with one device at ASPI 0:0:0.
struct TAspiRun {
    TAspiRun(const char *name, const std::string &device) : Folder(FreshFolder(name)) {
        OSVERSIONINFOA v = {};
        v.dwOSVersionInfoSize = sizeof v;
        GetVersionExA(&v);
        REQUIRE_MESSAGE(v.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS,
                        "not a Windows 98 prefix: run these tests through win98.sh");
        Scenario = Folder + "\\scenario.txt";
        REQUIRE(WriteTextFile(Scenario, "adapters = 1\n"
                                        "trace = " + Folder + "\\trace.txt\n"
                                        "summary = " + Folder + "\\summary.txt\n"
                                        "[device 0 0 0]\n"
                                        "type = 5\n" + device));
        REQUIRE(Program.Start(ProductExe(), {{"VESK_SIM_SCENARIO", Scenario}}));
    }
    // Read once the program has ended (the library writes its last lines as
    // it is unloaded). The first line says the library read this scenario.
    TTrace Trace() const {
        TTrace t = ReadTrace(Folder + "\\trace.txt");
        REQUIRE_FALSE(t.Lines.empty());
        CHECK(t.Lines.front() == "scenario " + Scenario);
        CHECK(t.Lines.back() == "unloaded");
        return t;
    }
    TDriveSummary Summary() const {
        TSummary s = ReadSummary(Folder + "\\summary.txt");
        REQUIRE(s.Drives.count("0:0:0") == 1);
        return s.Drives["0:0:0"];
    }
    std::string Folder, Scenario;
    TProgram Program;
};

const std::vector<std::string> Verified = {"Flashing ..", "Flash Complete!!", "Firmware Verify ok!!"};

// From the restart question to the end: Cancel changes nothing, the window
// is idle again with the log as it was, Exit ends the program with 0.
void CancelRestartAndExit(TAspiRun &run, const TMainWindow &w, HWND box) {
    const TBox b = ReadBox(box);
    CHECK(b.Caption == "Warning");
    CHECK(b.Text == "Reboot this computer right now ?");
    CHECK(AfterNotice(w.LogLines()) == Verified);
    // The read-back leaves the bar on the last piece of the last block.
    const TImage image = CarriedImage(0);
    const WORD last = image.BlockLength[image.BlockCount - 1];
    CHECK(w.ProgressMax() == last);
    CHECK(w.ProgressPosition() == ((last - 1) & ~0xFF));

    REQUIRE(AnswerBox(box, IDCANCEL));
    CHECK(WaitIdleAgain(w));
    CHECK(run.Program.Box() == nullptr);
    CHECK(run.Program.Running());
    CHECK(AfterNotice(w.LogLines()) == Verified);
    CHECK(ExitProgram(run.Program, w) == 0);
}

}  // namespace

TEST_SUITE("win98") {

TEST_CASE("Windows 98: a complete update through the ASPI layer, the restart question answered Cancel") {
    TAspiRun run("aspi-complete", MatchingDrive);
    AnswerConfirmation(run.Program, IDOK);
    const TMainWindow w = IdleWindow(run.Program, {ImageDriveName});
    HWND box = RunUpdate(run.Program, w);
    REQUIRE_MESSAGE(box != nullptr, "no restart question; the log: ", AfterNotice(w.LogLines()).size(), " lines");
    CancelRestartAndExit(run, w, box);

    const TImage image = CarriedImage(0);
    const TTrace trace = run.Trace();
    CheckDownloadTrace(trace, "0:0:0", image, "ReadMemory32");
    const std::vector<TTraceCommand> commits = trace.Of("0:0:0", "FlashCommit");
    CHECK(commits.size() == 1);
    CHECK(trace.Of("0:0:0", "FlashRetry").empty());
    const TDriveSummary drive = run.Summary();
    CHECK(drive.Commits == 1);
    CHECK(drive.Rejected == 0);
    CheckMemorySums(drive, image);
}

TEST_CASE("Windows 98: Cancel in the confirmation closes the window; exit code 0; only the enumeration reached the drive") {
    TAspiRun run("aspi-refused", MatchingDrive);
    AnswerConfirmation(run.Program, IDCANCEL);
    HWND box = nullptr;
    WaitFor([&] { return (box = run.Program.Box()) != nullptr || !run.Program.Running(); }, StartLimitMs);
    CHECK_MESSAGE(box == nullptr, "a further box: ", ReadBox(box).Caption, ": ", ReadBox(box).Text);
    CHECK(run.Program.WaitExit(StartLimitMs) == 0);
    // Start-up asked the drive who it is (the enumeration, then the match
    // of its version bytes); after the refusal nothing reached it.
    CHECK(run.Trace().KindsOf("0:0:0") == std::vector<std::string>{"Inquiry", "Inquiry"});
    CHECK(run.Summary().Commits == 0);
}

TEST_CASE("Windows 98: no drive the image fits: \"Can't find the device to upgrade !!\", exit code 0") {
    std::string device;
    SUBCASE("a drive of another model") {
        device = "vendor = VESK\nproduct = PLM-4820X CD-RW\nrevision = 1.06\nbyte38 = 0x43\nbyte39 = 0x32\n";
    }
    SUBCASE("the model, with version bytes neither image requires") {
        device = "vendor = VESK\nproduct = PLM-6100X DVD RW\nrevision = 2.1\nbyte38 = 0x44\nbyte39 = 0x37\n";
    }
    TAspiRun run("aspi-nomatch", device);
    AnswerConfirmation(run.Program, IDOK);
    HWND box = run.Program.WaitBox(StartLimitMs);
    REQUIRE(box != nullptr);
    const TBox b = ReadBox(box);
    CHECK(b.Caption == "ERROR");
    CHECK(b.Text == "Can't find the device to upgrade !!");
    CHECK(AnswerBox(box, IDOK));
    CHECK(run.Program.WaitExit(StartLimitMs) == 0);
    // Only start-up's questions reached the drive: the enumeration, and for
    // a drive whose name fits, one more INQUIRY per image for the version
    // bytes.
    const std::vector<std::string> kinds = run.Trace().KindsOf("0:0:0");
    REQUIRE_FALSE(kinds.empty());
    for (const std::string &k : kinds) CHECK(k == "Inquiry");
    CHECK(run.Summary().Commits == 0);
}

TEST_CASE("Windows 98: a commit rejected once is retried; the update completes after the recovery wait") {
    // Programming takes longer than the recovery wait, so that the poll
    // still finds the drive busy.
    TAspiRun run("aspi-retry", MatchingDrive + "reject_commit = 1 5/1A/00\nprogramming_ms = 17000\n");
    AnswerConfirmation(run.Program, IDOK);
    const TMainWindow w = IdleWindow(run.Program, {ImageDriveName});
    HWND box = RunUpdate(run.Program, w);
    REQUIRE_MESSAGE(box != nullptr, "no restart question");
    CancelRestartAndExit(run, w, box);

    const TImage image = CarriedImage(0);
    const TTrace trace = run.Trace();
    CheckDownloadTrace(trace, "0:0:0", image, "ReadMemory32");
    const std::vector<TTraceCommand> commits = trace.Of("0:0:0", "FlashCommit");
    REQUIRE(commits.size() == 1);
    CHECK(commits[0].Status == 2);
    CHECK((commits[0].Key == 5 && commits[0].Asc == 0x1A && commits[0].Ascq == 0));

    // The retry carries the same block byte and checksum, and the drive
    // takes it; 15 s of waiting follow before the program asks again.
    const std::vector<TTraceCommand> all = trace.Of("0:0:0");
    size_t retry = all.size();
    for (size_t k = 0; k < all.size(); ++k)
        if (all[k].Kind == "FlashRetry" && all[k].Status == 0) retry = k;
    REQUIRE(retry + 1 < all.size());
    CHECK(all[retry].Cdb[6] == 5);
    CHECK(all[retry].Cdb[7] == 0xE0 + image.BlockCount);
    CHECK((all[retry].Cdb[10] << 8 | all[retry].Cdb[11]) == image.Checksum);
    CHECK(all[retry + 1].Ms - all[retry].Ms >= 14900);

    const TDriveSummary drive = run.Summary();
    CHECK(drive.Commits == 1);
    CHECK(drive.Rejected == 1);
    CheckMemorySums(drive, image);
}

TEST_CASE("Windows 98: a read-back that fails: \"Err:Verify NG !!\" after \"Flash Complete!!\", no restart question") {
    // Two reads come before the verification (the boot region, block 1 at
    // 0xE000); the 101st read of the verification fails.
    TAspiRun run("aspi-verify", MatchingDrive + "fault = kind=ReadMemory32 times=102 status=0\n"
                                                "fault = kind=ReadMemory32 times=1 status=2 sense=4/44/00\n");
    AnswerConfirmation(run.Program, IDOK);
    const TMainWindow w = IdleWindow(run.Program, {ImageDriveName});
    HWND box = RunUpdate(run.Program, w);
    CHECK_MESSAGE(box == nullptr, "a box after a failed verification: ", ReadBox(box).Text);
    CHECK(WaitIdleAgain(w));
    CHECK(AfterNotice(w.LogLines()) ==
          std::vector<std::string>{"Flashing ..", "Flash Complete!!", "Err:Verify NG !!"});
    CHECK(ExitProgram(run.Program, w) == 0);

    // The failed read was the last command: the read-back stopped there.
    const std::vector<TTraceCommand> all = run.Trace().Of("0:0:0");
    REQUIRE_FALSE(all.empty());
    CHECK(all.back().Kind == "ReadMemory32");
    CHECK(all.back().Status == 2);
    CHECK(run.Trace().Of("0:0:0", "ReadMemory32").size() == 103);
    CHECK(run.Summary().Commits == 1);
}

}  // TEST_SUITE
