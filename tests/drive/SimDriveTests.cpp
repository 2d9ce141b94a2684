// The simulated drive's own rules, which the update tests rely on: the
// download and commit, the programming phase, the answers of the status
// commands, the fault rules, and the pass-through driver's refusals.
#include "DriveTest.h"
#include "sim/SimScenario.h"
#include <vector>

namespace {

BYTE Block[65536];

// A download of two blocks through the wrappers; returns the commit's status.
struct TDownload {
    WORD Lengths[2] = {0x1000, 0x0800};
    WORD Sum = 0;
    TDownload() {
        DWORD sum = 0;
        for (int i = 0; i < 0x1000; ++i) sum += static_cast<BYTE>(i * 7 + 1);
        for (int i = 0; i < 0x0800; ++i) sum += static_cast<BYTE>(i * 3 + 2);
        Sum = static_cast<WORD>(sum);
    }
    CommandStatus SendBlocks() {
        for (int i = 0; i < 0x1000; ++i) Block[i] = static_cast<BYTE>(i * 7 + 1);
        CommandStatus s = Atapi.FlashWrite(Block, 5, 0, Lengths[0], 0);
        if (s != 1) return s;
        for (int i = 0; i < 0x0800; ++i) Block[i] = static_cast<BYTE>(i * 3 + 2);
        return Atapi.FlashWrite(Block, 5, 1, Lengths[1], 0);
    }
};

SenseTriple Sense() {
    const BYTE *s = Atapi.PassThrough.SenseBuffer;
    return SenseTriple{s[2], s[12], s[13]};
}

bool Is(SenseTriple s, BYTE key, BYTE asc, BYTE ascq) {
    return s.SenseKey == key && s.Asc == asc && s.Ascq == ascq;
}

}  // namespace

TEST_CASE("sim: an accepted commit programs the blocks, then the drive comes back") {
    TSimFixture f(true);
    TSimDrive *d = f.AddDrive();
    d->ProgrammingMs = 8000;
    d->Memory[1][0xE000] = 0x5C;
    f.Start();
    TDownload dl;
    REQUIRE(dl.SendBlocks() == 1);
    // Nothing reaches the memory before the commit.
    CHECK(d->Memory[0][0] == 0xFF);

    REQUIRE(Atapi.FlashWrite(Block, 4, 0xE2, 0, dl.Sum) == 1);
    CHECK(d->CommitCount == 1);
    CHECK(d->MemorySum(2, dl.Lengths) == dl.Sum);
    CHECK(d->Memory[1][0x0800] == 0xFF);   // beyond the block, the drive keeps its bytes
    CHECK(d->Memory[1][0xE000] == 0x5C);

    CHECK(Atapi.TestUnitReady() == 2);
    CHECK(Is(Sense(), 2, 0x04, 0x01));
    BYTE data[256];
    CHECK(Atapi.ReadMemory38(data, 0, 0) == 2);
    Os.Sleep(7999);
    CHECK(Atapi.TestUnitReady() == 2);
    CHECK(Is(Sense(), 2, 0x04, 0x01));
    Os.Sleep(1);
    CHECK(Atapi.TestUnitReady() == 2);
    CHECK(Is(Sense(), 2, 0x3A, 0x00));     // back, with no disc
    d->NoMedium = false;
    CHECK(Atapi.TestUnitReady() == 1);
    CHECK(Atapi.ReadMemory38(data, 1, 0) == 1);
    CHECK(data[0] == 2);
}

TEST_CASE("sim: a download the drive cannot take is refused with ILLEGAL REQUEST") {
    struct TCase {
        const char *Name;
        int Step;   // what goes wrong
    };
    const TCase cases[] = {
        {"block 1 before block 0", 0},
        {"commit counts three blocks", 1},
        {"commit checksum off by one", 2},
        {"commit with no download", 3},
        {"block length differs from the data sent", 4},
    };
    for (const TCase &c : cases) {
        INFO(std::string(c.Name));
        TSimFixture f(true);
        TSimDrive *d = f.AddDrive();
        f.Start();
        TDownload dl;
        CommandStatus s = 1;
        switch (c.Step) {
        case 0: s = Atapi.FlashWrite(Block, 5, 1, 16, 0); break;
        case 1: REQUIRE(dl.SendBlocks() == 1); s = Atapi.FlashWrite(Block, 4, 0xE3, 0, dl.Sum); break;
        case 2: REQUIRE(dl.SendBlocks() == 1); s = Atapi.FlashWrite(Block, 4, 0xE2, 0, WORD(dl.Sum + 1)); break;
        case 3: s = Atapi.FlashWrite(Block, 4, 0xE0, 0, 0); break;
        case 4: {
            // The command block says 32 bytes while 16 are sent.
            const BYTE cdb[12] = {0x5A, 0, 0x38, 0x56, 0x45, 0xA0, 5, 0, 0, 32, 0, 0};
            s = Atapi.Execute(cdb, Block, 16, DIR_OUT);
            break;
        }
        }
        CHECK(s == 2);
        CHECK(Is(Sense(), 5, 0x24, 0x00));
        CHECK(d->CommitCount == 0);
        CHECK(d->Memory[0][0] == 0xFF);
    }
}

TEST_CASE("sim: a refused commit is taken on a later try; the checksum may cover declared lengths") {
    TSimFixture f(true);
    TSimDrive *d = f.AddDrive();
    d->RejectCommitTimes = 2;
    f.Start();
    TDownload dl;
    REQUIRE(dl.SendBlocks() == 1);
    CHECK(Atapi.FlashWrite(Block, 4, 0xE2, 0, dl.Sum) == 2);
    CHECK(Is(Sense(), 5, 0x1A, 0x00));
    CHECK(Atapi.FlashWrite(Block, 5, 0xE2, 0, dl.Sum) == 2);
    CHECK(Atapi.FlashWrite(Block, 5, 0xF2, 0, dl.Sum) == 1);
    CHECK(d->CommitRejects == 2);
    CHECK(d->CommitCount == 1);

    // Fixed lengths with zero fill: only the declared bytes count.
    Os.Sleep(d->ProgrammingMs);
    d->ChecksumRule = TSimChecksumRule::Declared;
    d->DeclaredLengths[0] = 3;
    Block[0] = 1; Block[1] = 2; Block[2] = 3; Block[3] = 0x40;
    REQUIRE(Atapi.FlashWrite(Block, 5, 0, 0xFFFE, 0) == 1);
    CHECK(Atapi.FlashWrite(Block, 4, 0xE1, 0, 6) == 1);
}

TEST_CASE("sim: status answers for tray, medium, sense and event status") {
    for (bool nt : {true, false}) {
        CAPTURE(nt);
        TSimFixture f(nt);
        TSimDrive *d = f.AddDrive();
        d->TrayOpen = true;
        f.Start();
        BYTE event[8] = {};
        BYTE sense[18] = {};
        Atapi.TestUnitReady();
        Atapi.RequestSense(sense);
        CHECK(sense[2] == 2);
        CHECK(sense[12] == 0x3A);
        CHECK(sense[13] == 0x02);
        Atapi.GetEventStatus(event, 0x10, 8);
        CHECK((event[5] & 1) == 1);

        d->TrayOpen = false;
        d->NoMedium = false;
        CHECK(Atapi.TestUnitReady() == 1);
        memset(sense, 0xEE, sizeof sense);
        Atapi.RequestSense(sense);
        CHECK(sense[2] == 0);
        CHECK(sense[12] == 0);
        Atapi.GetEventStatus(event, 0x10, 8);
        CHECK(event[5] == 2);

        d->NotReadyForever = true;
        f.Machine.Clock.Advance(3600 * 1000);
        CHECK(Atapi.TestUnitReady() != 1);
        Atapi.RequestSense(sense);
        CHECK(sense[2] == 2);
        CHECK(sense[12] == 0x04);
    }
}

TEST_CASE("sim: fault rules by number and by kind") {
    TSimFixture f(true);
    TSimDrive *d = f.AddDrive();
    d->NoMedium = false;
    f.Start();
    TSimFault third;
    third.Nth = d->CommandCount + 3;
    third.Times = 1;
    TSimFault reads;
    reads.Kind = TSimCmd::ReadMemory32;
    reads.Sense = TSimSense{3, 0x11, 0x00};
    d->Faults = {third, reads};

    BYTE data[256];
    CHECK(Atapi.TestUnitReady() == 1);
    CHECK(Atapi.TestUnitReady() == 1);
    CHECK(Atapi.TestUnitReady() == 2);
    CHECK(Atapi.TestUnitReady() == 1);
    for (int i = 0; i < 3; ++i) {
        CHECK(Atapi.ReadMemory32(data, 0, 0) == 2);
        CHECK(Is(Sense(), 3, 0x11, 0x00));
    }
    CHECK(Atapi.ReadMemory38(data, 0, 0) == 1);
    CHECK(d->Last()->Kind == TSimCmd::ReadMemory38);
    CHECK(d->Count(TSimCmd::ReadMemory32) == 3);
}

TEST_CASE("sim: the pass-through driver refuses a malformed request") {
    TSimFixture f(true);
    TSimDrive *d = f.AddDrive();
    f.Start();
    const HANDLE h = f.Machine.NtHandle('D');
    struct TCase {
        const char *Name;
        void (*Spoil)(PassThroughRequest &r, DWORD &size, DWORD &code);
        DWORD Error;
    };
    const TCase cases[] = {
        {"header length", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.Length = 40; }, ERROR_INVALID_PARAMETER},
        {"command length", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.CdbLength = 17; }, ERROR_INVALID_PARAMETER},
        {"sense beyond the buffer", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.SenseInfoOffset = sizeof r - 8; }, ERROR_INVALID_PARAMETER},
        {"sense inside the header", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.SenseInfoOffset = 8; }, ERROR_INVALID_PARAMETER},
        {"direction code", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.DataIn = 3; }, ERROR_INVALID_PARAMETER},
        {"data without a buffer", [](PassThroughRequest &r, DWORD &, DWORD &) { r.Header.DataBuffer = nullptr; }, ERROR_INVALID_PARAMETER},
        {"buffer too small", [](PassThroughRequest &, DWORD &size, DWORD &) { size = 40; }, ERROR_INVALID_PARAMETER},
        {"another control code", [](PassThroughRequest &, DWORD &, DWORD &code) { code = 0x4D004; }, ERROR_INVALID_FUNCTION},
    };
    BYTE data[50];
    for (const TCase &c : cases) {
        INFO(std::string(c.Name));
        PassThroughRequest r;
        memset(&r, 0, sizeof r);
        r.Header.Length = sizeof r.Header;
        r.Header.CdbLength = 12;
        r.Header.SenseInfoLength = 24;
        r.Header.SenseInfoOffset = offsetof(PassThroughRequest, SenseBuffer);
        r.Header.DataIn = SCSI_IOCTL_DATA_IN;
        r.Header.DataTransferLength = 50;
        r.Header.DataBuffer = data;
        r.Header.TimeOutValue = 20;
        r.Header.Cdb[0] = 0x12;
        r.Header.Cdb[4] = 50;
        DWORD size = sizeof r, code = IOCTL_PASS_THROUGH_DIRECT, returned = 0;
        c.Spoil(r, size, code);
        const int commands = d->CommandCount;
        const BOOL ok = Os.DeviceIoControl(h, code, &r, size, &r, size, &returned, nullptr);
        const DWORD error = GetLastError();
        CHECK_FALSE(ok);
        CHECK(error == c.Error);
        CHECK(d->CommandCount == commands);
    }
}

TEST_CASE("sim: a scenario file sets up the machine and its drives") {
    TSimScenario s;
    REQUIRE_MESSAGE(s.Parse("adapters = 2   # two\n"
                            "trace = C:\\t.txt\n"
                            "[device 1 3 0]\n"
                            "vendor = VESKTECH\n"
                            "product = DVD-ROM SIM\n"
                            "byte38 = 0x42\n"
                            "capabilities = 8:2A A:08 B:01\n"
                            "memory = 1:E000 5C 5D\n"
                            "drive_buffer_text = 10 Quorvex Design\n"
                            "reject_commit = 2 5/1A/00\n"
                            "checksum = declared\n"
                            "declared_lengths = FC90 AD30\n"
                            "fault = kind=TestUnitReady nth=4 times=1 status=2 sense=2/4/1 completion=never\n"
                            "[drive E]\n"
                            "open_fails = 1\n"),
                    s.Error);
    CHECK(s.Adapters == 2);
    CHECK(s.TracePath == "C:\\t.txt");
    REQUIRE(s.Devices.size() == 2);
    const TSimScenarioDevice &a = s.Devices[0];
    CHECK(a.Adapter == 1);
    CHECK(a.Target == 3);
    const TSimDrive &d = *a.Drive;
    CHECK(std::string(reinterpret_cast<const char *>(d.InquiryData + 8), 24) == "VESKTECHDVD-ROM SIM     ");
    CHECK(d.InquiryData[38] == 0x42);
    CHECK(d.Capabilities[11] == 0x01);
    CHECK(d.Memory[1][0xE001] == 0x5D);
    CHECK(std::string(d.DriveBuffer.begin() + 0x10, d.DriveBuffer.end()) == "Quorvex Design");
    CHECK(d.RejectCommitTimes == 2);
    CHECK(d.ChecksumRule == TSimChecksumRule::Declared);
    CHECK(d.DeclaredLengths[1] == 0xAD30);
    REQUIRE(d.Faults.size() == 1);
    CHECK(d.Faults[0].Kind == TSimCmd::TestUnitReady);
    CHECK(d.Faults[0].Nth == 4);
    CHECK(d.Faults[0].AspiCompletion == TSimFault::Never);
    CHECK(d.Faults[0].Sense.Ascq == 1);
    CHECK(s.Devices[1].Letter == 'E');
    CHECK(s.Devices[1].OpenFails);

    TSimScenario bad;
    CHECK_FALSE(bad.Parse("[device 0 0 0]\nvendor = X\nfault = kind=Nothing\n"));
    CHECK(bad.ErrorLine == 3);
}
