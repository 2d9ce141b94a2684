// The checks of the selected drive before the download: its identity, its
// version bytes and the marker in its buffer.
#include <doctest/doctest.h>
#include "image/ImageFixture.h"
#include "support/FormFixture.h"
#include "support/SimFixture.h"

namespace {

std::vector<std::string> NewLines(const TFormFixture &f, size_t before) {
    const std::vector<std::string> all = f.LogLines();
    return std::vector<std::string>(all.begin() + static_cast<long>(before), all.end());
}

using Lines = std::vector<std::string>;

}  // namespace

TEST_CASE("CheckFirmwareId compares the image's vendor and product with the selected drive's") {
    TSimFixture sim(true);
    sim.AddDrive()->SetIdentity("VESK", "PLM-6100X DVD RW", "2.1", 'D', '8');
    sim.AddDrive()->SetIdentity("VESK", "PLM-6100X DVD RW", "9.9", 'D', '8');
    sim.AddDrive()->SetIdentity("VESK", "PLM-6100X DVD R", "2.1", 'D', '8');
    sim.AddDrive()->SetIdentity("VESKA", "PLM-6100X DVD RW", "2.1", 'D', '8');
    sim.Start();
    TFormFixture f;
    f.Create();
    REQUIRE(Form1->SelDevice->ItemCount() == 2);   // D: and E: match

    const char mismatch[] = "The Firmware isn't support this device !!(3)";
    struct Case { int Device; bool Same; };
    const Case cases[] = {{0, true}, {1, true}, {2, false}, {3, false}};
    for (const Case &c : cases) {
        CAPTURE(c.Device);
        DeviceMap[0] = c.Device;
        Form1->SelDevice->SetItemIndex(0);
        const size_t before = f.LogLines().size();
        CHECK(Form1->CheckFirmwareId() == c.Same);
        CHECK(NewLines(f, before) == (c.Same ? Lines{} : Lines{mismatch}));
    }

    SUBCASE("with no drive selected") {
        Form1->SelDevice->SetItemIndex(-1);
        const size_t before = f.LogLines().size();
        CHECK_FALSE(Form1->CheckFirmwareId());
        CHECK(NewLines(f, before) == Lines{mismatch});
    }
}

TEST_CASE("CheckVersionBytes asks the current drive for INQUIRY bytes 38 and 39") {
    TSimFixture sim(true);
    TSimDrive *d = sim.AddDrive();
    d->SetIdentity("VESK", "PLM-6100X DVD RW", "2.1", 'D', '8');
    sim.Start();
    TFormFixture f;
    f.Create();
    REQUIRE(UpdateFlags.RequiredVersion[0] == 'D');
    REQUIRE(UpdateFlags.RequiredVersion[1] == '8');
    const char mismatch[] = "Err:The firmware is not support this device!!(4)";

    struct Case { const char *What; BYTE V38, V39; bool Fails; BYTE Req0, Req1; bool Match; };
    const Case cases[] = {
        {"same bytes", 'D', '8', false, 'D', '8', true},
        {"other second byte", 'D', '7', false, 'D', '8', false},
        {"other first byte", 'E', '8', false, 'D', '8', false},
        {"failed INQUIRY reads as zeros", 'D', '8', true, 'D', '8', false},
        {"failed INQUIRY matches zero bytes", 'D', '8', true, 0, 0, true},
    };
    for (const Case &c : cases) {
        for (bool report : {false, true}) {
            CAPTURE(c.What);
            CAPTURE(report);
            d->InquiryData[38] = c.V38;
            d->InquiryData[39] = c.V39;
            d->Faults.clear();
            if (c.Fails) {
                TSimFault fault;
                fault.Kind = TSimCmd::Inquiry;
                d->Faults.push_back(fault);
            }
            UpdateFlags.RequiredVersion[0] = c.Req0;
            UpdateFlags.RequiredVersion[1] = c.Req1;
            const int inquiries = d->Count(TSimCmd::Inquiry);
            const size_t before = f.LogLines().size();
            CHECK(Form1->CheckVersionBytes(report) == c.Match);
            CHECK(d->Count(TSimCmd::Inquiry) == inquiries + 1);
            CHECK(NewLines(f, before) == (c.Match || !report ? Lines{} : Lines{mismatch}));
        }
    }
}

namespace {

// A window of the program with one drive whose buffer the marker search reads
// into guarded buffers.
struct TMarkerRig {
    TSimFixture Sim{true};
    TSimDrive *Drive;
    TFormFixture Form;
    TMarkerRig() {
        Drive = Sim.AddDrive();
        Drive->SetIdentity("VESK", "PLM-6100X DVD RW", "2.1", 'D', '8');
        Sim.Machine.GuardedBuffers = true;
        Sim.Start();
        Form.Create();
        Form1->ProgressBar1->SetMax(100);
    }
    // Places text at pos of what the drive returns (65534 bytes of spaces
    // otherwise), in 16-bit characters unless narrow; the part that would lie
    // past the drive's 65534 bytes is left out.
    void Put(const char *text, DWORD pos, bool narrow = false) {
        std::vector<BYTE> &b = Drive->DriveBuffer;
        b.resize(65534, 0x20);
        for (size_t i = 0; text[i]; ++i) {
            const DWORD at = narrow ? pos + DWORD(i) : pos + 2 * DWORD(i);
            if (at < 65534) b[at] = static_cast<BYTE>(text[i]);
            if (!narrow && at + 1 < 65534) b[at + 1] = 0;
        }
    }
    // Runs the search; true when it found a marker. Checks what every search
    // leaves behind.
    bool Search(std::vector<std::string> &lines) {
        const size_t before = Form.LogLines().size();
        const bool found = Form1->CheckDriveMarker();
        lines = NewLines(Form, before);
        CHECK(Form1->ProgressBar1->GetMin() == 0);
        CHECK(Form1->ProgressBar1->GetMax() == 65533);
        CHECK(Sim.Machine.BuffersOut == 0);
        return found;
    }
};

const char NoMarker[] = "This firmware isn't support !!(10)";

}  // namespace

TEST_CASE("CheckDriveMarker stops at the first 16-bit marker in the drive's buffer") {
    TMarkerRig rig;
    struct Case { const char *What; const char *Text; DWORD At; };
    const Case cases[] = {
        {"ODD at 0", "Quorvex ODD", 0},
        // Its last letter is the drive's last byte, its final zero the fill.
        {"ODD at 65513", "Quorvex ODD", 65513},
        {"Design ending in the drive's last byte", "Quorvex Design", 65506},
    };
    for (const Case &c : cases) {
        CAPTURE(c.What);
        rig.Drive->DriveBuffer.assign(65534, 0x20);
        rig.Put(c.Text, c.At);
        std::vector<std::string> lines;
        CHECK(rig.Search(lines));
        CHECK(lines.empty());
        CHECK(Form1->ProgressBar1->GetPosition() == int(c.At));
        REQUIRE(rig.Drive->Last(TSimCmd::ReadDriveBuffer) != nullptr);
        CHECK(rig.Drive->Last(TSimCmd::ReadDriveBuffer)->Length == 65534);
    }

    // Of two markers the one at the lower position ends the search.
    rig.Drive->DriveBuffer.assign(65534, 0x20);
    rig.Put("Quorvex ODD", 0x500);
    rig.Put("Quorvex Design", 0x100);
    std::vector<std::string> lines;
    CHECK(rig.Search(lines));
    CHECK(Form1->ProgressBar1->GetPosition() == 0x100);
}

TEST_CASE("CheckDriveMarker without a whole 16-bit marker") {
    TMarkerRig rig;
    std::vector<std::string> lines;

    SUBCASE("8-bit texts and a marker cut by the end of the drive's data do not count") {
        rig.Drive->DriveBuffer.assign(65534, 0x20);
        rig.Put("Quorvex ODD", 0x200, true);
        rig.Put("Quorvex Design", 0x400, true);
        rig.Put("Quorvex ODD", 65514);   // its last letter would be byte 65534
        CHECK_FALSE(rig.Search(lines));
        CHECK(lines == Lines{NoMarker});
        CHECK(Form1->ProgressBar1->GetPosition() == 65533);
    }
    SUBCASE("a failed read leaves the buffer zero") {
        rig.Put("Quorvex ODD", 0);
        TSimFault fault;
        fault.Kind = TSimCmd::ReadDriveBuffer;
        rig.Drive->Faults.push_back(fault);
        CHECK_FALSE(rig.Search(lines));
        CHECK(lines == Lines{NoMarker});
    }
    SUBCASE("without a work buffer nothing is read") {
        rig.Sim.Machine.FailAllocAfter = rig.Sim.Machine.AllocCalls;
        CHECK_FALSE(Form1->CheckDriveMarker());
        CHECK(NewLines(rig.Form, 0).back() == "Err:Memory allocation");
        CHECK(rig.Drive->Count(TSimCmd::ReadDriveBuffer) == 0);
    }
}

namespace {

// A window of the test's own that notes the progress bar's range when a
// message posted to it is handled.
int SeenMax = -1;
LRESULT CALLBACK NotingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_APP) SeenMax = Form1->ProgressBar1->GetMax();
    return DefWindowProcA(window, message, w, l);
}

}  // namespace

TEST_CASE("the window's messages are handled while the marker search runs") {
    TMarkerRig rig;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = NotingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ImageTestNoting";
    RegisterClassA(&wc);
    HWND noting = CreateWindowA("ImageTestNoting", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
    rig.Put("Quorvex ODD", 0);
    rig.Form.Pump();   // nothing else waits when the search begins
    SeenMax = -1;
    PostMessageA(noting, WM_APP, 0, 0);
    CHECK(Form1->CheckDriveMarker());
    CHECK(SeenMax == 65533);   // handled after the search set its range
    DestroyWindow(noting);
}
