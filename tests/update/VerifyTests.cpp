// After programming: the readiness wait, the read-back sum, the verdict and
// the restart offer.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <algorithm>
#include <functional>
#include <string.h>

namespace {

void PutImage(TUpdateRig &r) {
    for (size_t i = 0; i < r.Plain.size(); ++i)
        memcpy(r.Drive->Memory[i], r.Plain[i].data(), r.Plain[i].size());
}

TSimFault FailFirst(TSimCmd kind, TSimSense sense = TSimSense{5, 0x24, 0}) {
    TSimFault f;
    f.Kind = kind;
    f.Times = 1;
    f.Sense = sense;
    return f;
}

size_t Count(const std::vector<DWORD> &v, DWORD x) {
    return static_cast<size_t>(std::count(v.begin(), v.end(), x));
}

}  // namespace

TEST_CASE("readiness: which answers count as ready") {
    struct Row {
        const char *what;
        bool aspiOnly;
        std::function<void(TUpdateRig &)> setup;
        int attempts, attemptsAlternate;  // the attempt that finds the drive ready; 0: none does
    };
    const Row rows[] = {
        {"no sense", false, [](TUpdateRig &) {}, 1, 1},
        {"no disc, whatever the ASCQ", false,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::TestUnitReady, {2, 0x3A, 7})); }, 1, 1},
        {"unit attention after a reset", false,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::TestUnitReady, {6, 0x29, 0})); }, 2, 2},
        {"key 0 with an ASC", false,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::TestUnitReady, {0, 0x5E, 0})); }, 2, 2},
        {"logical unit not ready", false,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::TestUnitReady, {2, 0x04, 1})); }, 2, 2},
        {"the key byte is taken whole", false,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::TestUnitReady, {0x80, 0, 0})); }, 2, 2},
        // TEST UNIT READY says "no disc" (2/3A/02); the event data says the tray is open.
        {"tray open", false, [](TUpdateRig &r) { r.Drive->TrayOpen = true; }, 0, 1},
        {"tray open, the event request fails: counts as closed", false,
         [](TUpdateRig &r) {
             r.Drive->TrayOpen = true;
             TSimFault f;
             f.Kind = TSimCmd::GetEventStatus;
             r.Drive->Faults.push_back(f);
         },
         1, 1},
        {"a failed REQUEST SENSE is not ready", true,
         [](TUpdateRig &r) { r.Drive->Faults.push_back(FailFirst(TSimCmd::RequestSense)); }, 2, 2},
        {"the drive stays busy", false, [](TUpdateRig &r) { r.Drive->NotReadyForever = true; }, 0, 0},
    };
    TTestImage image;
    TRigPool pool(&image);
    for (bool nt : {true, false}) {
        for (bool alternate : {false, true}) {
            for (const Row &row : rows) {
                if (row.aspiOnly && nt) continue;
                CAPTURE(nt);
                CAPTURE(alternate);
                const std::string what = row.what;
                CAPTURE(what);
                TUpdateRig &rig = pool.Get(nt);
                rig.Drive->NoMedium = false;
                UpdateFlags.AlternateMode = alternate;
                row.setup(rig);
                rig.Mark();
                const int attempts = alternate ? row.attemptsAlternate : row.attempts;
                CHECK(Form1->WaitUntilReady() == (attempts != 0));
                const size_t tests = rig.Commands(TSimCmd::TestUnitReady).size();
                CHECK(tests == static_cast<size_t>(attempts ? attempts : 300));
                CHECK(rig.Commands(TSimCmd::GetEventStatus).size() == (alternate ? 0 : tests));
                CHECK(rig.Commands(TSimCmd::RequestSense).size() == (nt ? 0 : tests));
                CHECK(Count(rig.Sim.Machine.Sleeps, 100) == tests);
            }
        }
    }
}

TEST_CASE("verification: the read-back and the verdict") {
    TTestImage image;
    SUBCASE("the sum of every block read back equals the checksum") {
        TUpdateRig rig(true, &image);
        PutImage(rig);
        rig.Mark();
        CHECK(Form1->VerifyFirmware());
        CHECK(rig.NewLog().empty());
        std::vector<std::string> want = {Expect::TestUnitReady(), Expect::GetEventStatus()};
        for (WORD a = 0; a < 0x400; a += 256) want.push_back(Expect::ReadMemory38(0, a));
        for (WORD a = 0; a < 0x310; a += 256) want.push_back(Expect::ReadMemory38(1, a));
        CHECK(rig.Trace() == want);
        CHECK(rig.Sim.Machine.Sleeps == std::vector<DWORD>{3000, 100, 3000});
    }
    SUBCASE("a sum that differs") {
        TUpdateRig rig(true, &image);
        PutImage(rig);
        rig.Drive->Memory[1][0x30F] ^= 1;
        rig.Mark();
        CHECK_FALSE(Form1->VerifyFirmware());
        CHECK(rig.NewLog() == std::vector<std::string>{"Err:Verify NG !!"});
    }
    SUBCASE("bytes past a block's length are not summed") {
        TUpdateRig rig(true, &image);
        PutImage(rig);
        rig.Drive->Memory[1][0x310] ^= 0xFF;
        rig.Mark();
        CHECK(Form1->VerifyFirmware());
    }
    SUBCASE("a drive never ready: no read at all") {
        TUpdateRig rig(true, &image);
        rig.Drive->NotReadyForever = true;
        rig.Mark();
        CHECK_FALSE(Form1->VerifyFirmware());
        CHECK(rig.NewLog() == std::vector<std::string>{"Err:Verify NG !!"});
        CHECK(rig.Commands(TSimCmd::ReadMemory38).empty());
        CHECK(Count(rig.Sim.Machine.Sleeps, 3000) == 1);
        CHECK(Count(rig.Sim.Machine.Sleeps, 100) == 300);
    }
    // A failed read must not pass, whatever the checksum, also one of 0.
    SUBCASE("a failed read fails the verification") {
        for (bool zeroChecksum : {false, true}) {
            CAPTURE(zeroChecksum);
            TUpdateRig rig(false, &image);
            PutImage(rig);
            if (zeroChecksum) {
                Form1->Checksum = 0;
                memset(rig.Drive->Memory[0], 0, 0x400);
                memset(rig.Drive->Memory[1], 0, 0x310);
            }
            TSimFault f;
            f.Kind = TSimCmd::ReadMemory38;
            f.Times = 1;
            f.Nth = rig.Drive->CommandCount + 2;  // the second read
            rig.Drive->Faults.push_back(f);
            rig.Mark();
            CHECK(Form1->ReadBackChecksum() == -1);
            CHECK(rig.Trace().size() == 2);

            f.Nth = rig.Drive->CommandCount + 3 + 2;  // after the readiness test's three commands
            rig.Drive->Faults.push_back(f);
            rig.Mark();
            CHECK_FALSE(Form1->VerifyFirmware());
            CHECK(rig.NewLog() == std::vector<std::string>{"Err:Verify NG !!"});
            CHECK(rig.Commands(TSimCmd::ReadMemory38).size() == 2u);
        }
    }
}

TEST_CASE("verification: odd block lengths and the progress bar") {
    TImageShape shape;
    shape.Lengths = {0x310, 0, 0x100};
    TTestImage image(shape);
    TUpdateRig rig(true, &image);
    PutImage(rig);
    rig.Mark();
    CHECK(Form1->ReadBackChecksum() == image.Checksum);
    CHECK(rig.Trace() == std::vector<std::string>{Expect::ReadMemory38(0, 0), Expect::ReadMemory38(0, 0x100),
                                                  Expect::ReadMemory38(0, 0x200), Expect::ReadMemory38(0, 0x300),
                                                  Expect::ReadMemory38(2, 0)});
    // Re-ranged per block; the position is set before each read.
    CHECK(rig.Progress->Positions == std::vector<int>{0, 0, 0x100, 0x200, 0x300, 0, 0, 0});
    CHECK(rig.Progress->Ranges.back() == std::make_pair(0, 0x100));
    CHECK(Form1->ProgressBar1->GetMax() == 0x100);
}

TEST_CASE("restart offer") {
    TTestImage image;
    struct Row {
        int answer;
        bool restarts;
    };
    TRigPool pool(&image);
    for (const Row &row : {Row{IDOK, true}, Row{IDCANCEL, false}, Row{IDABORT, false}}) {
        CAPTURE(row.answer);
        TUpdateRig &rig = pool.Get(true);
        rig.Form->Answers = {row.answer};
        const size_t boxes = rig.Form->Boxes.size();
        Form1->PromptRestart();
        REQUIRE(rig.Form->Boxes.size() == boxes + 1);
        const TFormFixture::Box &box = rig.Form->Boxes.back();
        CHECK(box.Text == "Reboot this computer right now ?");
        CHECK(box.Caption == "Warning");
        CHECK(box.Type == static_cast<UINT>(MB_OKCANCEL | MB_ICONWARNING | MB_SYSTEMMODAL));
        CHECK(box.Owner == nullptr);
        const TSimMachine &m = rig.Sim.Machine;
        if (row.restarts) {
            CHECK(m.TokenAccess == static_cast<DWORD>(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY));
            CHECK(m.PrivilegeNames == std::vector<std::string>{"SeShutdownPrivilege"});
            CHECK(m.PrivilegeRequests == 1);
            REQUIRE(m.Restarts.size() == 1);
            CHECK(m.Restarts[0].Flags == static_cast<UINT>(EWX_REBOOT));
            CHECK(m.Restarts[0].Reserved == 0u);
        } else {
            CHECK(m.TokenAccess == 0u);
            CHECK(m.PrivilegeRequests == 0);
            CHECK(m.RestartRequests == 0);
            CHECK(IsWindowVisible(Form1->Handle));
            CHECK_FALSE(Application->Terminated);
        }
    }
}
