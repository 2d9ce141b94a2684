// A complete update of the carried image, from Start to the restart
// question, on each family's transport.
#include <doctest/doctest.h>
#include <algorithm>
#include "update/Printing.h"
#include "update/UpdateRig.h"

namespace {

// Everything a DVD writer (both probes "no") sees for the carried image when
// its boot region (256 bytes at the start of block 0, erased) differs and it
// has no disc: the commit is followed by three NOT READY answers while it
// programs, then "no medium".
std::vector<std::string> CarriedImageSequence(bool nt) {
    using namespace Expect;
    std::vector<std::string> s = {
        ModeSense(), Inquiry(), ModeSense(),    // the two probes
        StopPlayScan(), StopUnit(),
        Inquiry(), Inquiry(),                   // RunUpdate's own, then the version check
        ReadBootDescriptor(), ReadMemory38(0, 0),
        WriteMemory(0, 0, 128), WriteMemory(0, 128, 128),
        FlashWrite(5, 0, 0xFC90, 0),
        ReadMemory38(1, 0xE000),                // the 16 bytes block 1 keeps
        FlashWrite(5, 1, 0xAD30, 0),
        FlashWrite(4, 0xE2, 0, 0x6B8B),         // commit: 0xE0 + 2 blocks, the checksum
    };
    if (!nt) {
        // The ASPI path's commit test asks the drive for its sense.
        s.push_back(TestUnitReady());
        s.push_back(RequestSense());
    }
    for (int i = 0; i < 4; ++i) s.push_back(TestUnitReady());  // poll: 3 x NOT READY, then 2/3A
    s.push_back(TestUnitReady());                                // once more after the poll
    s.push_back(TestUnitReady());                                // first readiness test
    if (!nt) s.push_back(RequestSense());
    s.push_back(GetEventStatus());
    for (WORD a = 0; a < 0xFC90; a += 256) s.push_back(ReadMemory38(0, a));
    for (DWORD a = 0; a < 0xAD30; a += 256) s.push_back(ReadMemory38(1, static_cast<WORD>(a)));
    return s;
}

std::vector<int> CarriedImageProgress() {
    std::vector<int> p = {10, 20, 0, 20, 40, 80, 70, 80, 100};
    p.push_back(0);
    for (int a = 0; a < 0xFC90; a += 256) p.push_back(a);
    p.push_back(0);
    for (int a = 0; a < 0xAD30; a += 256) p.push_back(a);
    return p;
}

}  // namespace

TEST_CASE("a complete update of the carried image, from Start to the restart question") {
    for (bool nt : {true, false}) {
        CAPTURE(nt);
        TUpdateRig rig(nt);
        rig.Start();

        const std::vector<std::string> want = CarriedImageSequence(nt);
        const std::vector<std::string> sent = rig.Trace();
        CHECK_MESSAGE(FirstDifference(sent, want).empty(), FirstDifference(sent, want));
        CHECK(std::count(sent.begin(), sent.end(), Expect::ReadMemory38(0, 0)) == 2);
        CHECK(rig.Commands(TSimCmd::ReadMemory38).size() == 2 + 427);

        CHECK(rig.NewLog() ==
              std::vector<std::string>{"Flashing ..", "Flash Complete!!", "Firmware Verify ok!!"});

        // Positions set on the bar: Start, the download, 100, then the
        // read-back re-ranged per block.
        std::vector<int> first(rig.Progress->Positions.begin(),
                               rig.Progress->Positions.begin() +
                                   std::min<size_t>(9, rig.Progress->Positions.size()));
        CHECK(first == std::vector<int>{10, 20, 0, 20, 40, 80, 70, 80, 100});
        CHECK(rig.Progress->Positions == CarriedImageProgress());
        CHECK(rig.Progress->Ranges.back() == std::make_pair(0, 0xAD30));

        CHECK(rig.Drive->CommitCount == 1);
        CHECK(rig.MemoryHoldsImage());
        const WORD lengths[2] = {0xFC90, 0xAD30};
        CHECK(rig.Drive->MemorySum(2, lengths) == 0x6B8B);

        REQUIRE(rig.Form->Boxes.size() == 2);
        CHECK(rig.Form->Boxes[1].Text == "Reboot this computer right now ?");
        CHECK(rig.Form->Boxes[1].Caption == "Warning");
        CHECK(rig.Form->Boxes[1].Type == 0x1031u);
        CHECK(rig.Form->Boxes[1].Owner == nullptr);
        CHECK(rig.Sim.Machine.RestartRequests == 0);

        CHECK(rig.ControlsEnabled());
        CHECK(rig.BuffersBalanced());
        
        // The waits: 2 s before the blocks, 1 s per poll step, 3 s around
        // the readiness wait, 100 ms before each readiness test.
        std::vector<DWORD> waits = rig.Sim.Machine.Sleeps;
        CHECK(std::count(waits.begin(), waits.end(), 2000u) == 1);
        CHECK(std::count(waits.begin(), waits.end(), 1000u) == 3);
        CHECK(std::count(waits.begin(), waits.end(), 3000u) == 2);
        CHECK(std::count(waits.begin(), waits.end(), 100u) == 1);
    }
}
