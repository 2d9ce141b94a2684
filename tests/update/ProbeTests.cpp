// The two drive mode probes and what their answers change in an update.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <algorithm>

TEST_CASE("mode probes: the capability bits and INQUIRY byte 38 they test") {
    struct Row {
        const char *what;
        BYTE pageCode, readBits, writeBits, inquiry38;
        bool failModeSense, failInquiry;
        bool readVariant, alternate;
    };
    const Row rows[] = {
        {"DVD reader, no writing", 0x2A, 0x08, 0x00, 'D', false, false, true, false},
        {"CD-R writer marked B", 0x2A, 0x08, 0x01, 'B', false, false, false, true},
        {"PS bit set in the page code", 0xAA, 0x08, 0x01, 'B', false, false, false, true},
        {"page code without the 0x2A bits", 0x0A, 0x08, 0x01, 'B', false, false, false, false},
        {"byte 38 other than B", 0x2A, 0x08, 0x01, 'D', false, false, false, false},
        {"CD-R and DVD-R writer", 0x2A, 0x08, 0x11, 'B', false, false, false, false},
        {"CD-R and DVD-RAM writer (bit 5 not looked at)", 0x2A, 0x08, 0x21, 'B', false, false,
         false, true},
        {"no DVD-ROM read, no writing", 0x2A, 0x00, 0x00, 'B', false, false, false, false},
        {"no DVD-ROM read, CD-R writer", 0x2A, 0x00, 0x01, 'B', false, false, false, false},
        {"MODE SENSE fails", 0x2A, 0x08, 0x00, 'B', true, false, false, false},
        {"MODE SENSE fails, CD-R writer", 0x2A, 0x08, 0x01, 'B', true, false, false, false},
        {"INQUIRY fails", 0x2A, 0x08, 0x01, 'B', false, true, false, false},
    };
    TTestImage image;
    for (bool nt : {true, false}) {
        TUpdateRig rig(nt, &image);
        for (const Row &row : rows) {
            CAPTURE(nt);
            const std::string what = row.what;
            CAPTURE(what);
            rig.Drive->Capabilities[8] = row.pageCode;
            rig.Drive->Capabilities[10] = row.readBits;
            rig.Drive->Capabilities[11] = row.writeBits;
            rig.Drive->InquiryData[38] = row.inquiry38;
            rig.Drive->Faults.clear();
            if (row.failModeSense) {
                TSimFault f;
                f.Kind = TSimCmd::ModeSenseCapabilities;
                rig.Drive->Faults.push_back(f);
            }
            if (row.failInquiry) {
                TSimFault f;
                f.Kind = TSimCmd::Inquiry;
                rig.Drive->Faults.push_back(f);
            }

            rig.Mark();
            CHECK(Form1->ProbeReadVariant() == row.readVariant);
            CHECK(rig.Trace() == std::vector<std::string>{Expect::ModeSense()});

            rig.Mark();
            CHECK(Form1->ProbeAlternateMode() == row.alternate);
            CHECK(rig.Trace() == std::vector<std::string>{Expect::Inquiry(), Expect::ModeSense()});
            CHECK(rig.NewLog().empty());
        }
    }
}

TEST_CASE("mode probes decide the memory reads, the block lengths and the tray question") {
    struct Row {
        const char *what;
        BYTE readBits, writeBits, inquiry38;
        bool alternateBefore;
        bool use32, alternate;
        std::vector<std::string> probes;
    };
    using namespace Expect;
    const Row rows[] = {
        {"DVD writer", 0x08, 0x11, 'D', false, false, false, {ModeSense(), Inquiry(), ModeSense()}},
        {"DVD reader", 0x08, 0x00, 'D', false, true, false, {ModeSense()}},
        {"CD-R writer marked B", 0x08, 0x01, 'B', false, false, true,
         {ModeSense(), Inquiry(), ModeSense()}},
        // With the 0x32 reads the alternate mode is not asked again and keeps
        // what an earlier Start left.
        {"DVD reader after an alternate-mode Start", 0x08, 0x00, 'B', true, true, true,
         {ModeSense()}},
        {"CD-R writer after an alternate-mode Start", 0x08, 0x11, 'B', true, false, false,
         {ModeSense(), Inquiry(), ModeSense()}},
    };
    // Rows in a row with the same version byte share one window.
    std::unique_ptr<TTestImage> image;
    std::unique_ptr<TUpdateRig> made;
    for (bool nt : {true, false}) {
        made.reset();
        for (const Row &row : rows) {
            CAPTURE(nt);
            const std::string what = row.what;
            CAPTURE(what);
            if (made && image->Plain[0][0x40 + 38] == row.inquiry38) {
                made->Reset();
            } else {
                made.reset();
                TImageShape shape;
                shape.Version[0] = row.inquiry38;
                image.reset(new TTestImage(shape));
                made.reset(new TUpdateRig(nt, image.get()));
            }
            TUpdateRig &rig = *made;
            rig.Drive->Capabilities[10] = row.readBits;
            rig.Drive->Capabilities[11] = row.writeBits;
            // The drive sums what the image declares, not the alternate mode's fill.
            rig.Drive->ChecksumRule = TSimChecksumRule::Declared;
            rig.Drive->DeclaredLengths[0] = 0x400;
            rig.Drive->DeclaredLengths[1] = 0x310;
            UpdateFlags.AlternateMode = row.alternateBefore;
            rig.Start();

            CHECK(UpdateFlags.UseReadMemory32 == row.use32);
            CHECK(UpdateFlags.AlternateMode == row.alternate);
            const std::vector<std::string> sent = rig.Trace();
            REQUIRE(sent.size() > row.probes.size());
            CHECK(std::vector<std::string>(sent.begin(), sent.begin() + row.probes.size()) ==
                  row.probes);

            // Every read of drive memory uses the chosen command: the boot
            // region comparison, block 1's kept bytes and the read-back.
            const size_t reads32 = rig.Commands(TSimCmd::ReadMemory32).size();
            const size_t reads38 = rig.Commands(TSimCmd::ReadMemory38).size();
            const size_t expectedReads = 1 + 1 + 4 + 4;  // 0x100 region, 0xE000, 0x400, 0x310
            CHECK(reads32 == (row.use32 ? expectedReads : 0));
            CHECK(reads38 == (row.use32 ? 0 : expectedReads));
            CHECK(std::count(sent.begin(), sent.end(), ReadMemory(row.use32, 1, 0xE000)) == 1);

            const std::vector<const TSimTraceEntry *> blocks =
                rig.Commands(TSimCmd::FlashWriteBlock);
            REQUIRE(blocks.size() == 2);
            CHECK(blocks[0]->Length == (row.alternate ? 0xFFFEu : 0x400u));
            CHECK(blocks[1]->Length == (row.alternate ? 0xF000u : 0x310u));

            CHECK(rig.Commands(TSimCmd::GetEventStatus).size() == (row.alternate ? 0u : 1u));
            CHECK(rig.NewLog().back() == "Firmware Verify ok!!");
            CHECK(rig.MemoryHoldsImage());
        }
    }
}
