// The boot region refresh: the descriptor tests, the comparison in 256-byte
// reads and the rewrite in pieces of at most 128 bytes.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <functional>
#include <string.h>

namespace {

void Describe(TSimDrive *d, BYTE first, BYTE second, BYTE block, WORD start, WORD length) {
    memset(d->BootDescriptor, 0, sizeof d->BootDescriptor);
    d->BootDescriptor[0] = first;
    d->BootDescriptor[1] = second;
    d->BootDescriptor[4] = block;
    d->BootDescriptor[5] = static_cast<BYTE>(start >> 8);
    d->BootDescriptor[6] = static_cast<BYTE>(start);
    d->BootDescriptor[7] = static_cast<BYTE>(length >> 8);
    d->BootDescriptor[8] = static_cast<BYTE>(length);
}

void Region(TSimDrive *d, BYTE block, WORD start, WORD length) {
    Describe(d, 0x55, 0xDD, block, start, length);
}

// What block b of the image buffer holds: blocks 0..b of the window's image
// laid over each other, as stored (descrambling is up to the caller).
std::vector<BYTE> Expected(int b) {
    std::vector<BYTE> buffer(65536, 0);
    for (int k = 0; k <= b; ++k) memcpy(buffer.data(), SlotBlock(CurrentImage, k), Form1->BlockLength[k]);
    return buffer;
}

// The drive already holds the expected bytes of a region.
void Holds(TSimDrive *d, BYTE block, WORD start, DWORD length, const std::vector<BYTE> &bytes) {
    memcpy(&d->Memory[block][start], bytes.data() + start, length);
}

}  // namespace

TEST_CASE("boot region: what is read and written for each descriptor") {
    using namespace Expect;
    struct Row {
        const char *what;
        bool nt;
        std::function<void(TUpdateRig &)> setup;
        std::vector<std::string> sent;  // after the descriptor read
        std::vector<std::string> log;
        bool result;
    };
    const std::vector<std::string> nothing;
    const Row rows[] = {
        {"a region of 0x100 that matches", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0x100, 0x100);
             Holds(r.Drive, 0, 0x100, 0x100, Expected(0));
         },
         {ReadMemory38(0, 0x100)}, {}, true},
        {"0x180 bytes differing in their last 128", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0x80, 0x180);
             Holds(r.Drive, 0, 0x80, 0x100, Expected(0));
         },
         {ReadMemory38(0, 0x80), ReadMemory38(0, 0x180), WriteMemory(0, 0x80, 128),
          WriteMemory(0, 0x100, 128), WriteMemory(0, 0x180, 128)},
         {}, true},
        {"300 bytes differing in the first byte", true,
         [](TUpdateRig &r) { Region(r.Drive, 0, 0x10, 300); },
         {ReadMemory38(0, 0x10), WriteMemory(0, 0x10, 128), WriteMemory(0, 0x90, 128),
          WriteMemory(0, 0x110, 44)},
         {}, true},
        {"the 0x32 reads when the probe chose them", true,
         [](TUpdateRig &r) {
             UpdateFlags.UseReadMemory32 = true;
             Region(r.Drive, 1, 0x20, 0x10);
         },
         {ReadMemory32(1, 0x20), WriteMemory(1, 0x20, 16)}, {}, true},
        {"block number 8", true, [](TUpdateRig &r) { Region(r.Drive, 8, 0, 0x100); }, nothing, {},
         true},
        {"block number 0xFF", true, [](TUpdateRig &r) { Region(r.Drive, 0xFF, 0, 0x100); },
         nothing, {}, true},
        {"signature bytes the other way round", true,
         [](TUpdateRig &r) { Describe(r.Drive, 0xDD, 0x55, 0, 0, 0x100); }, nothing, {}, true},
        {"second signature byte wrong", true,
         [](TUpdateRig &r) { Describe(r.Drive, 0x55, 0xD0, 0, 0, 0x100); }, nothing, {}, true},
        {"length 0", true, [](TUpdateRig &r) { Region(r.Drive, 0, 0x100, 0); }, nothing, {}, true},
        {"a region reaching past the end of its block", true,
         [](TUpdateRig &r) { Region(r.Drive, 0, 0xFF01, 0x100); }, nothing, {}, true},
        {"a region ending exactly at the end of its block", true,
         [](TUpdateRig &r) { Region(r.Drive, 0, 0xFF00, 0x100); },
         {ReadMemory38(0, 0xFF00), WriteMemory(0, 0xFF00, 128), WriteMemory(0, 0xFF80, 128)}, {},
         true},
        {"descriptor read fails without data", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0, 0x100);
             TSimFault f;
             f.Kind = TSimCmd::ReadBootDescriptor;
             r.Drive->Faults.push_back(f);
         },
         nothing, {}, true},
        {"descriptor delivered with a failure status (ASPI)", false,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0, 0x10);
             TSimFault f;
             f.Kind = TSimCmd::ReadBootDescriptor;
             f.Status = 0;
             f.AspiStatus = SS_ERR;
             r.Drive->Faults.push_back(f);
         },
         {ReadMemory38(0, 0), WriteMemory(0, 0, 16)}, {}, true},
        {"descriptor delivered, then the driver fails (status 0)", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0, 0x10);
             TSimFault f;
             f.Kind = TSimCmd::ReadBootDescriptor;
             f.Status = 0;
             f.DriverError = ERROR_INVALID_FUNCTION;
             f.DriverWritesStatus = true;
             r.Drive->Faults.push_back(f);
         },
         nothing, {}, true},
        {"first comparison read fails", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0, 0x100);
             TSimFault f;
             f.Kind = TSimCmd::ReadMemory38;
             r.Drive->Faults.push_back(f);
         },
         {ReadMemory38(0, 0)}, {}, true},
        {"second comparison read fails", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 0, 0, 0x200);
             Holds(r.Drive, 0, 0, 0x100, Expected(0));
             TSimFault f;
             f.Kind = TSimCmd::ReadMemory38;
             f.Nth = r.Drive->CommandCount + 3;
             r.Drive->Faults.push_back(f);
         },
         {ReadMemory38(0, 0), ReadMemory38(0, 0x100)}, {}, true},
        {"past the block's length: the earlier block's bytes", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 1, 0x300, 0x100);  // block 1 is 0x310 bytes, block 0 0x400
             Holds(r.Drive, 1, 0x300, 0x100, Expected(1));
         },
         {ReadMemory38(1, 0x300)}, {}, true},
        {"past every block: zeros", true,
         [](TUpdateRig &r) {
             Region(r.Drive, 1, 0x400, 0x20);
             memset(&r.Drive->Memory[1][0x400], 0, 0x20);
         },
         {ReadMemory38(1, 0x400)}, {}, true},
        {"a block of length 0 compares with the earlier block", true,
         [](TUpdateRig &r) {
             Form1->BlockLength[1] = 0;
             Region(r.Drive, 1, 0, 0x100);
             Holds(r.Drive, 1, 0, 0x100, Expected(0));
         },
         {ReadMemory38(1, 0)}, {}, true},
        {"image buffer not available", true,
         [](TUpdateRig &r) { r.Sim.Machine.FailAllocAfter = r.Sim.Machine.AllocCalls; }, nothing,
         {"Err:Memory allocation"}, false},
        {"drive buffer not available", true,
         [](TUpdateRig &r) { r.Sim.Machine.FailAllocAfter = r.Sim.Machine.AllocCalls + 1; },
         nothing, {"Err:Memory allocation"}, false},
    };

    TTestImage image;
    TRigPool pool(&image);
    for (const Row &row : rows) {
        const std::string what = row.what;
        CAPTURE(what);
        TUpdateRig &rig = pool.Get(row.nt);
        row.setup(rig);
        rig.Mark();
        CHECK(Form1->RefreshBootRegion() == row.result);

        std::vector<std::string> want;
        if (row.result) want.push_back(ReadBootDescriptor());
        want.insert(want.end(), row.sent.begin(), row.sent.end());
        CHECK_MESSAGE(FirstDifference(rig.Trace(), want).empty(), FirstDifference(rig.Trace(), want));
        CHECK(rig.NewLog() == row.log);
        CHECK(rig.BuffersBalanced());

        // A rewritten region now holds the image's bytes.
        if (!rig.Commands(TSimCmd::WriteMemory).empty()) {
            const BYTE *d = rig.Drive->BootDescriptor;
            const int block = d[4];
            const DWORD start = d[5] * 256u + d[6], length = d[7] * 256u + d[8];
            const std::vector<BYTE> expected = Expected(block);
            CHECK(memcmp(&rig.Drive->Memory[block][start], expected.data() + start, length) == 0);
        }
    }
}

TEST_CASE("boot region: the scramble flag test of the refresh") {
    // The image is stored scrambled; the drive holds the plain bytes.
    TImageShape shape;
    shape.ScrambleFlag = 0x01;
    TTestImage image(shape);
    struct Row {
        BYTE flag;
        bool rewritten;
    };
    TRigPool pool(&image);
    for (const Row &row : {Row{0x01, false}, Row{0x07, false}, Row{0x20, true}, Row{0x00, true}}) {
        CAPTURE(static_cast<int>(row.flag));
        TUpdateRig &rig = pool.Get(true);
        Form1->ScrambleFlag = row.flag;
        Region(rig.Drive, 0, 0x100, 0x100);
        memcpy(&rig.Drive->Memory[0][0x100], image.Plain[0].data() + 0x100, 0x100);
        rig.Mark();
        CHECK(Form1->RefreshBootRegion());
        CHECK(rig.Commands(TSimCmd::WriteMemory).empty() == !row.rewritten);
        if (row.rewritten) {
            // Written as stored.
            CHECK(memcmp(&rig.Drive->Memory[0][0x100], SlotBlock(CurrentImage, 0) + 0x100, 0x100) == 0);
        }
    }
}
