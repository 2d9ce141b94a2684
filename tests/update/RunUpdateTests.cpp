// The update sequence: the model and version test, the identity check, the
// image check, the order of the steps and the way out of each.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <algorithm>
#include <functional>
#include <string.h>

namespace {

void SetProductField(TSimDrive *d, const char *text) {
    memset(d->InquiryData + 16, ' ', 16);
    memcpy(d->InquiryData + 16, text, strlen(text));
}

TImageShape WithProduct(const char *product) {
    TImageShape shape;
    shape.Product = product;
    return shape;
}

TImageShape Damaged() {
    TImageShape shape;
    shape.ChecksumDelta = 1;
    return shape;
}

TImageShape Scrambled() {
    TImageShape shape;
    shape.ScrambleFlag = 0x01;
    return shape;
}

bool SameImage(const TImageShape &a, const TImageShape &b) {
    return a.Lengths == b.Lengths && a.ScrambleFlag == b.ScrambleFlag &&
           strcmp(a.Product, b.Product) == 0 && a.ChecksumDelta == b.ChecksumDelta &&
           a.Version[0] == b.Version[0] && a.Version[1] == b.Version[1];
}

const std::vector<std::string> Success = {"Flashing ..", "Flash Complete!!",
                                          "Firmware Verify ok!!"};

}  // namespace

TEST_CASE("update sequence: each way through and out of it") {
    struct Row {
        const char *what;
        TImageShape shape;
        std::function<void(TUpdateRig &)> setup;
        std::vector<std::string> log;
        int inquiries;        // INQUIRYs after the two stops
        bool refreshed;       // the boot descriptor was asked for
        bool flashed;         // blocks were sent
        int markerModel;      // DriveIsMarkerModel afterwards (-1: not looked at)
        bool restartAsked;
    };
    const Row rows[] = {
        {"version bytes as the image requires", TImageShape(), [](TUpdateRig &) {}, Success, 2,
         true, true, 0, true},
        {"W0 on an accepted model, whatever the image requires", TImageShape(),
         [](TUpdateRig &r) {
             r.Drive->InquiryData[38] = 'W';
             r.Drive->InquiryData[39] = '0';
             SetProductField(r.Drive, "PLM-7003X");
         },
         Success, 1, true, true, 0, true},
        {"W0 on a model not in the list", TImageShape(),
         [](TUpdateRig &r) {
             r.Drive->InquiryData[38] = 'W';
             r.Drive->InquiryData[39] = '0';
         },
         {"Err: Cannot update this device use this update file!!"}, 1, false, false, 0, false},
        {"W followed by another character", TImageShape(),
         [](TUpdateRig &r) {
             r.Drive->InquiryData[38] = 'W';
             r.Drive->InquiryData[39] = '1';
             SetProductField(r.Drive, "PLM-7003X");
         },
         {"Err:The firmware is not support this device!!(4)"}, 2, false, false, 0, false},
        // The failed INQUIRY reads as zeros, not as the W0 the drive would
        // have said, so the version check runs (and sees W0).
        {"a failed INQUIRY takes the version check", TImageShape(),
         [](TUpdateRig &r) {
             r.Drive->InquiryData[38] = 'W';
             r.Drive->InquiryData[39] = '0';
             TSimFault f;
             f.Nth = r.Drive->CommandCount + 6;  // after the probes and the two stops
             r.Drive->Faults.push_back(f);
         },
         {"Err:The firmware is not support this device!!(4)"}, 2, false, false, 0, false},
        {"identification text not the drive's", TImageShape(),
         [](TUpdateRig &) { Form1->Edit1->SetText("VESK    PLM-6100X DVD R 2.1 "); },
         {"The Firmware isn't support this device !!(3)"}, 2, false, false, 0, false},
        {"image whose bytes do not add up to its checksum", Damaged(), [](TUpdateRig &) {},
         {"Err:Firmware image is damaged !!"}, 2, false, false, 0, false},
        {"image naming more blocks than its slot holds", TImageShape(),
         [](TUpdateRig &) { Form1->BlockCount = 9; },
         {"Err:Firmware image is damaged !!"}, 2, false, false, 0, false},
        {"scrambled image", Scrambled(), [](TUpdateRig &) {}, Success, 2, true, true, 0, true},
        {"tray open: never ready after the download", TImageShape(),
         [](TUpdateRig &r) { r.Drive->TrayOpen = true; },
         {"Flashing ..", "Flash Complete!!", "Err:Verify NG !!"}, 2, true, true, 0, false},
        {"marker model, image without the design marker", WithProduct("PLM-7004X DVD RW"),
         [](TUpdateRig &) {}, Success, 2, true, true, 1, true},
        {"only nine characters name the marker model", WithProduct("PLM-7004XS      "),
         [](TUpdateRig &) {}, Success, 2, true, true, 1, true},
        {"a near miss is not the marker model", WithProduct("PLM-7004 X      "),
         [](TUpdateRig &) {}, Success, 2, true, true, 0, true},
    };

    // Rows in a row with the same image share one window.
    std::unique_ptr<TTestImage> image;
    std::unique_ptr<TUpdateRig> made;
    const TImageShape *last = nullptr;
    for (const Row &row : rows) {
        const std::string what = row.what;
        CAPTURE(what);
        if (last && SameImage(*last, row.shape)) {
            made->Reset();
        } else {
            made.reset();
            image.reset(new TTestImage(row.shape));
            made.reset(new TUpdateRig(true, image.get()));
            last = &row.shape;
        }
        TUpdateRig &rig = *made;
        row.setup(rig);
        rig.Start();

        CHECK(rig.NewLog() == row.log);
        CHECK(rig.Commands(TSimCmd::Inquiry).size() == 1 + static_cast<size_t>(row.inquiries));
        CHECK(rig.Commands(TSimCmd::ReadBootDescriptor).empty() == !row.refreshed);
        CHECK(rig.Commands(TSimCmd::WriteMemory).empty() == !row.refreshed);
        CHECK(rig.Commands(TSimCmd::FlashWriteBlock).empty() == !row.flashed);
        CHECK(rig.Commands(TSimCmd::FlashCommit).empty() == !row.flashed);
        CHECK(rig.Commands(TSimCmd::ReadDriveBuffer).empty());
        if (row.markerModel >= 0) CHECK(UpdateFlags.DriveIsMarkerModel == (row.markerModel == 1));
        CHECK(rig.NewBoxes().size() == (row.restartAsked ? 1u : 0u));
        if (row.log == Success) CHECK(rig.MemoryHoldsImage());
        CHECK(rig.ControlsEnabled());
        CHECK(rig.BuffersBalanced());
    }
}

TEST_CASE("update sequence: the marker check runs between the refresh and the download") {
    TTestImage image(WithProduct("PLM-7004X DVD RW"));
    SUBCASE("no marker in the drive's buffer stops the update") {
        TUpdateRig rig(true, &image);
        UpdateFlags.ImageHasDesignMarker = true;
        rig.Start();
        CHECK(rig.NewLog() == std::vector<std::string>{"This firmware isn't support !!(10)"});
        CHECK(rig.Commands(TSimCmd::WriteMemory).size() == 2);
        CHECK(rig.Commands(TSimCmd::ReadDriveBuffer).size() == 1);
        CHECK(rig.Commands(TSimCmd::FlashWriteBlock).empty());
        CHECK(rig.Drive->Trace.back().Kind == TSimCmd::ReadDriveBuffer);
        CHECK(rig.ControlsEnabled());
    }
    SUBCASE("a drive carrying the marker is programmed") {
        TUpdateRig rig(true, &image);
        UpdateFlags.ImageHasDesignMarker = true;
        const char *marker = "Quorvex ODD";
        for (size_t i = 0; marker[i]; ++i) {
            rig.Drive->DriveBuffer.push_back(static_cast<BYTE>(marker[i]));
            rig.Drive->DriveBuffer.push_back(0);
        }
        rig.Start();
        CHECK(rig.NewLog() == Success);
        const std::vector<std::string> sent = rig.Trace();
        const auto marker_at = std::find(sent.begin(), sent.end(), Expect::ReadDriveBuffer(0xFFFE));
        const auto first_block = std::find(sent.begin(), sent.end(), Expect::FlashWrite(5, 0, 0x400, 0));
        const auto last_write = std::find(sent.begin(), sent.end(), Expect::WriteMemory(0, 128, 128));
        CHECK(last_write < marker_at);
        CHECK(marker_at < first_block);
        CHECK(first_block != sent.end());
    }
}
