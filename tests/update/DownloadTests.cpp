// The download: block writes, the commit, its recovery on each transport,
// the commit test and the completion poll.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <algorithm>
#include <functional>
#include <string.h>

namespace {

using namespace Expect;

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// n TEST UNIT READYs of the poll and the one after it.
std::vector<std::string> Poll(int n) { return std::vector<std::string>(n + 1, TestUnitReady()); }

bool Waited(const TUpdateRig &r, DWORD ms) {
    const std::vector<DWORD> &s = r.Sim.Machine.Sleeps;
    return std::find(s.begin(), s.end(), ms) != s.end();
}

void RejectCommit(TSimDrive *d, int times, BYTE key, BYTE asc, BYTE ascq) {
    d->RejectCommitTimes = times;
    d->RejectCommitSense = TSimSense{key, asc, ascq};
}

}  // namespace

TEST_CASE("download: blocks, lengths and the commit") {
    TTestImage image;  // blocks of 0x400 and 0x310 bytes
    const WORD cs = image.Checksum;
    const std::vector<std::string> blocks = {FlashWrite(5, 0, 0x400, 0), ReadMemory38(1, 0xE000),
                                             FlashWrite(5, 1, 0x310, 0)};

    SUBCASE("normal mode: each block at its length, then the commit 0xE2 with the checksum") {
        TUpdateRig rig(true, &image);
        memset(&rig.Drive->Memory[1][0xE000], 0x3C, 16);
        rig.Mark();
        CHECK(Form1->FlashFirmware());
        CHECK(rig.Trace() == Join(Join(blocks, {FlashWrite(4, 0xE2, 0, cs)}), Poll(4)));
        CHECK(rig.Progress->Positions == std::vector<int>{0, 20, 40, 80, 70, 80});
        CHECK(rig.Progress->Ranges.back() == std::make_pair(0, 100));
        CHECK(rig.NewLog() == std::vector<std::string>{"Flashing .."});
        // Two seconds pass before the first block; none between blocks.
        CHECK(rig.Sim.Machine.Sleeps.front() == 2000u);
        CHECK(rig.Drive->Trace[0].AtMs == rig.Drive->Trace[2].AtMs);
        CHECK(rig.MemoryHoldsImage());
        CHECK(rig.Drive->Memory[1][0xE000] == 0x3C);  // kept bytes lie past the length sent
        CHECK(rig.BuffersBalanced());
    }

    SUBCASE("alternate mode: fixed lengths, zero fill and block 1's kept bytes") {
        TUpdateRig rig(true, &image);
        UpdateFlags.AlternateMode = true;
        rig.Drive->ChecksumRule = TSimChecksumRule::Declared;
        rig.Drive->DeclaredLengths[0] = 0x400;
        rig.Drive->DeclaredLengths[1] = 0x310;
        for (int i = 0; i < 16; ++i) rig.Drive->Memory[1][0xE000 + i] = static_cast<BYTE>(0xC0 + i);
        rig.Mark();
        CHECK(Form1->DownloadFirmware());
        CHECK(rig.Trace() == Join({FlashWrite(5, 0, 0xFFFE, 0), ReadMemory38(1, 0xE000),
                                   FlashWrite(5, 1, 0xF000, 0), FlashWrite(4, 0xE2, 0, cs)},
                                  Poll(4)));
        // What the drive received is now its memory.
        const BYTE *b0 = rig.Drive->Memory[0];
        const BYTE *b1 = rig.Drive->Memory[1];
        CHECK(rig.MemoryHoldsImage());
        CHECK(std::all_of(b0 + 0x400, b0 + 0xFFFE, [](BYTE b) { return b == 0; }));
        CHECK(std::all_of(b1 + 0x310, b1 + 0xE000, [](BYTE b) { return b == 0; }));
        for (int i = 0; i < 16; ++i) CHECK(b1[0xE000 + i] == 0xC0 + i);
        CHECK(std::all_of(b1 + 0xE010, b1 + 0xF000, [](BYTE b) { return b == 0; }));
    }

    SUBCASE("alternate mode cuts long blocks; block 1 of 0xE000 or more keeps nothing") {
        TImageShape shape;
        shape.Lengths = {0x100, 0xF100, 0x200, 0xFFFF};
        TTestImage four(shape);
        TUpdateRig rig(true, &four);
        UpdateFlags.AlternateMode = true;
        rig.Drive->ChecksumRule = TSimChecksumRule::Off;
        rig.Mark();
        CHECK(Form1->FlashFirmware());
        CHECK(rig.Trace() == Join({FlashWrite(5, 0, 0xFFFE, 0), FlashWrite(5, 1, 0xF000, 0),
                                   FlashWrite(5, 2, 0xF000, 0), FlashWrite(5, 3, 0xFFFE, 0),
                                   FlashWrite(4, 0xE4, 0, four.Checksum)},
                                  Poll(4)));
        CHECK(rig.Progress->Positions == std::vector<int>{0, 20, 20, 40, 60, 80, 70, 80});
    }

    SUBCASE("normal mode, block 1 of 0xE000 bytes: no read") {
        TImageShape shape;
        shape.Lengths = {0x100, 0xE000};
        TTestImage two(shape);
        TUpdateRig rig(true, &two);
        rig.Mark();
        CHECK(Form1->DownloadFirmware());
        CHECK(rig.Trace() == Join({FlashWrite(5, 0, 0x100, 0), FlashWrite(5, 1, 0xE000, 0),
                                   FlashWrite(4, 0xE2, 0, two.Checksum)},
                                  Poll(4)));
    }

    SUBCASE("scramble flag: only 1 descrambles the blocks sent") {
        TImageShape shape;
        shape.ScrambleFlag = 0x01;
        TTestImage scrambled(shape);
        TRigPool pool(&scrambled);
        for (BYTE flag : {BYTE(0x01), BYTE(0x07), BYTE(0x20)}) {
            CAPTURE(static_cast<int>(flag));
            TUpdateRig &rig = pool.Get(true);
            Form1->ScrambleFlag = flag;
            rig.Drive->ChecksumRule = TSimChecksumRule::Off;
            rig.Mark();
            CHECK(Form1->DownloadFirmware());
            const bool plain = memcmp(rig.Drive->Memory[0], scrambled.Plain[0].data(), 0x400) == 0;
            const bool stored = memcmp(rig.Drive->Memory[0], SlotBlock(CurrentImage, 0), 0x400) == 0;
            CHECK(plain == (flag == 0x01));
            CHECK(stored == (flag != 0x01));
        }
    }
}

TEST_CASE("download: failures and their lines") {
    TTestImage image;
    const WORD cs = image.Checksum;
    struct Row {
        const char *what;
        bool nt;
        std::function<void(TUpdateRig &)> setup;
        std::vector<std::string> sent;
        std::vector<std::string> log;  // after "Flashing .."
    };
    const Row rows[] = {
        {"transfer buffer not available", true,
         [](TUpdateRig &r) { r.Sim.Machine.FailAllocAfter = r.Sim.Machine.AllocCalls; }, {},
         {"Err:Memory allocation", "Err:Flash Fail!!"}},
        {"block 1's read at 0xE000 fails", true,
         [](TUpdateRig &r) {
             TSimFault f;
             f.Kind = TSimCmd::ReadMemory38;
             r.Drive->Faults.push_back(f);
         },
         {FlashWrite(5, 0, 0x400, 0), ReadMemory38(1, 0xE000)},
         {"Err:The firmware is not support this device!!(11)", "Err:Flash Fail!!"}},
        {"a block write fails (pass-through: check condition)", true,
         [](TUpdateRig &r) {
             TSimFault f;
             f.Nth = r.Drive->CommandCount + 3;
             r.Drive->Faults.push_back(f);
         },
         {FlashWrite(5, 0, 0x400, 0), ReadMemory38(1, 0xE000), FlashWrite(5, 1, 0x310, 0)},
         {"Status:0x2 ; Err:Flash command(W) has problems.", "Err:Flash Fail!!"}},
        {"a block write fails (ASPI: SS_ERR)", false,
         [](TUpdateRig &r) {
             TSimFault f;
             f.Kind = TSimCmd::FlashWriteBlock;
             r.Drive->Faults.push_back(f);
         },
         {FlashWrite(5, 0, 0x400, 0)},
         {"Status:0x4 ; Err:Flash command(W) has problems.", "Err:Flash Fail!!"}},
        // No block is sent and the drive refuses a commit of nothing.
        {"block count 0", true, [](TUpdateRig &) { Form1->BlockCount = 0; },
         {FlashWrite(4, 0xE0, 0, cs), FlashWrite(5, 0xE0, 0, cs)},
         {"Status:2;SenseCode:5 : 24 : 0;", "Err:Flash Fail.", "Err:Flash Fail!!"}},
    };
    SUBCASE("each failure") {
        TRigPool pool(&image);
        for (const Row &row : rows) {
            const std::string what = row.what;
            CAPTURE(what);
            TUpdateRig &rig = pool.Get(row.nt);
            row.setup(rig);
            rig.Mark();
            CHECK_FALSE(Form1->FlashFirmware());
            CHECK(rig.Trace() == row.sent);
            CHECK(rig.NewLog() == Join({"Flashing .."}, row.log));
            CHECK(rig.BuffersBalanced());
        }
    }

    SUBCASE("block count 0 shows 70 right after 20") {
        TUpdateRig rig(true, &image);
        Form1->BlockCount = 0;
        rig.Mark();
        Form1->FlashFirmware();
        CHECK(rig.Progress->Positions == std::vector<int>{0, 20, 70});
    }
}

TEST_CASE("download: a rejected commit on each transport") {
    TTestImage image;
    const WORD cs = image.Checksum;
    const std::vector<std::string> blocks = {FlashWrite(5, 0, 0x400, 0), ReadMemory38(1, 0xE000),
                                             FlashWrite(5, 1, 0x310, 0), FlashWrite(4, 0xE2, 0, cs)};
    const std::string retry = FlashWrite(5, 0xE2, 0, cs), second = FlashWrite(5, 0xF2, 0, cs);
    const std::string tur = TestUnitReady(), sense = RequestSense();
    struct Row {
        const char *what;
        bool nt;
        int times;
        TSimSense reject;
        bool medium;
        std::vector<std::string> after;  // after the commit
        bool waited15s;
        std::vector<std::string> log;    // after "Flashing .."
    };
    const std::vector<std::string> fail;
    const Row rows[] = {
        {"pass-through, 5/1A/00 twice: second form, no wait", true, 2, {5, 0x1A, 0}, false,
         Join({retry, tur, second}, Poll(4)), false, {}},
        {"pass-through, 5/1A/00 once: the retry is taken, then the wait", true, 1, {5, 0x1A, 0},
         false, Join({retry}, Poll(1)), true, {}},
        {"pass-through, 5/24/00 twice: fails", true, 2, {5, 0x24, 0}, true, {retry}, true,
         {"Status:2;SenseCode:5 : 24 : 0;", "Err:Flash Fail.", "Err:Flash Fail!!"}},
        {"pass-through, NOT READY: no retry, accepted", true, 1, {2, 0x04, 0x01}, false, Poll(1),
         false, {}},
        {"pass-through, medium error: no retry, fails", true, 1, {3, 0x0C, 0}, false, {}, false,
         {"Status:2;SenseCode:3 : c : 0;", "Err:Flash Fail.", "Err:Flash Fail!!"}},
        {"ASPI, 5/1A/00 twice: second form, then the wait", false, 2, {5, 0x1A, 0}, false,
         Join({tur, retry, tur, second, tur, sense}, Poll(1)), true, {}},
        {"ASPI, 5/1A/00 to the end: ASCQ 0 passes", false, 3, {5, 0x1A, 0}, true,
         Join({tur, retry, tur, second, tur, sense}, Poll(1)), true, {}},
        {"ASPI, 5/24/00 twice: ASCQ 0 passes", false, 2, {5, 0x24, 0}, true,
         Join({tur, retry, tur, sense}, Poll(1)), true, {}},
        {"ASPI, 5/26/01 twice: fails", false, 2, {5, 0x26, 1}, true, {tur, retry, tur, sense}, true,
         {"Status:4;SenseCode:5 : 26 : 1;", "Err:Flash Fail.", "Err:Flash Fail!!"}},
        {"ASPI, NOT READY: no retry, accepted", false, 1, {2, 0x04, 0x01}, false,
         Join({tur, sense}, Poll(1)), false, {}},
    };
    TRigPool pool(&image);
    for (const Row &row : rows) {
        const std::string what = row.what;
        CAPTURE(what);
        TUpdateRig &rig = pool.Get(row.nt);
        RejectCommit(rig.Drive, row.times, row.reject.Key, row.reject.Asc, row.reject.Ascq);
        rig.Drive->NoMedium = !row.medium;
        rig.Mark();
        const bool ok = Form1->FlashFirmware();
        CHECK(ok == row.log.empty());
        CHECK_MESSAGE(FirstDifference(rig.Trace(), Join(blocks, row.after)).empty(),
                      FirstDifference(rig.Trace(), Join(blocks, row.after)));
        CHECK(Waited(rig, 15000) == row.waited15s);
        CHECK(rig.NewLog() == Join({"Flashing .."}, row.log));
        CHECK(rig.BuffersBalanced());
    }
}

TEST_CASE("download: the completion poll") {
    TTestImage image;
    SUBCASE("a drive with a disc is back when TEST UNIT READY succeeds") {
        TUpdateRig rig(true, &image);
        rig.Drive->NoMedium = false;
        rig.Mark();
        CHECK(Form1->DownloadFirmware());
        const std::vector<const TSimTraceEntry *> polls = rig.Commands(TSimCmd::TestUnitReady);
        REQUIRE(polls.size() == 5);
        CHECK(polls[3]->Status == 0);
        CHECK(polls[2]->Sense.Key == 2);
    }
    SUBCASE("no disc: 2/3A ends the poll at once") {
        TUpdateRig rig(true, &image);
        rig.Drive->ProgrammingMs = 0;
        rig.Mark();
        CHECK(Form1->DownloadFirmware());
        CHECK(rig.Commands(TSimCmd::TestUnitReady).size() == 2);
        CHECK(std::count(rig.Sim.Machine.Sleeps.begin(), rig.Sim.Machine.Sleeps.end(), 1000u) == 0);
    }
    SUBCASE("the drive never comes back") {
        for (bool nt : {true, false}) {
            CAPTURE(nt);
            // The drive never comes back: the poll gives up at the first test at
            // which 121 seconds are counted.
            TUpdateRig rig(nt, &image);
            rig.Drive->ProgrammingMs = 3600 * 1000;
            rig.Mark();
            CHECK_FALSE(Form1->FlashFirmware());
            std::vector<const TSimTraceEntry *> polls = rig.Commands(TSimCmd::TestUnitReady);
            // The ASPI path's commit test sends one before the poll.
            REQUIRE(polls.size() == (nt ? 122u : 123u));
            if (!nt) polls.erase(polls.begin());
            CHECK(polls.back()->AtMs - polls.front()->AtMs == 121000u);
            CHECK(std::count(rig.Sim.Machine.Sleeps.begin(), rig.Sim.Machine.Sleeps.end(), 1000u) == 121);
            const std::string timeout = nt ? "Time Out Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;"
                                           : "Time Out Status:2;Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;";
            CHECK(rig.NewLog() == std::vector<std::string>{"Flashing ..", timeout,
                                                           "Err:Flash error,time out 120 Sec",
                                                           "Err:Flash Fail!!"});
            CHECK(rig.Drive->Trace.back().Kind == TSimCmd::TestUnitReady);
            CHECK(rig.BuffersBalanced());
        }
    }
}
