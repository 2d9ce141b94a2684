// Every command's block, data length and direction as they reach the
// simulated driver, on both transports.
#include "DriveTest.h"

namespace {

BYTE Data[65536];

struct TWrapperCase {
    const char *Name;
    CommandStatus (*Send)(TAtapi &a);
    BYTE Cdb[12];
    DWORD Length;
    BYTE Direction;
    bool HasData;
};

const TWrapperCase Cases[] = {
    {"TestUnitReady", [](TAtapi &a) { return a.TestUnitReady(); },
     {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, false},
    {"Inquiry", [](TAtapi &a) { return a.Inquiry(Data); },
     {0x12, 0, 0, 0, 0x32, 0, 0, 0, 0, 0, 0, 0}, 50, 8, true},
    {"RequestSense", [](TAtapi &a) { return a.RequestSense(Data); },
     {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0}, 18, 8, true},
    {"StopPlayScan", [](TAtapi &a) { return a.StopPlayScan(); },
     {0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, false},
    {"ModeSenseCapabilities", [](TAtapi &a) { return a.ModeSenseCapabilities(Data); },
     {0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0x00, 0, 0, 0}, 256, 8, true},
    {"StopUnit", [](TAtapi &a) { return a.StopUnit(); },
     {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, false},
    {"FlashWrite block", [](TAtapi &a) { return a.FlashWrite(Data, 5, 1, 0xAD30, 0x1234); },
     {0x5A, 0, 0x38, 0x56, 0x45, 0xA0, 0x05, 0x01, 0xAD, 0x30, 0x12, 0x34}, 0xAD30, 16, true},
    // The commit: no data, yet data-out.
    {"FlashWrite commit", [](TAtapi &a) { return a.FlashWrite(Data, 4, 0xE2, 0, 0x6B8B); },
     {0x5A, 0, 0x38, 0x56, 0x45, 0xA0, 0x04, 0xE2, 0x00, 0x00, 0x6B, 0x8B}, 0, 16, true},
    {"ReadMemory32 block 3 at 0xE000", [](TAtapi &a) { return a.ReadMemory32(Data, 3, 0xE000); },
     {0x5A, 0x00, 0x32, 0x56, 0x45, 0x10, 0xE0, 0x00, 0x03, 0x00, 0x00, 0x00}, 256, 8, true},
    {"ReadMemory38 block 3 at 0xE000", [](TAtapi &a) { return a.ReadMemory38(Data, 3, 0xE000); },
     {0x5A, 0x00, 0x38, 0x56, 0x45, 0x11, 0xE0, 0x00, 0x00, 0x03, 0x00, 0x00}, 256, 8, true},
    {"ReadBootDescriptor", [](TAtapi &a) { return a.ReadBootDescriptor(Data); },
     {0x5A, 0, 0x38, 0x56, 0x45, 0xA3, 0, 0, 0, 0, 0, 0}, 65536, 8, true},
    // Only the low 16 bits of the address are sent.
    {"WriteMemory above 0xFFFF", [](TAtapi &a) { return a.WriteMemory(Data, 2, 0x12345, 128); },
     {0x5A, 0, 0x38, 0x56, 0x45, 0xA2, 0x00, 0x02, 0x23, 0x45, 0x00, 0x80}, 128, 16, true},
    {"WriteMemory 255 bytes", [](TAtapi &a) { return a.WriteMemory(Data, 7, 0xFF00, 255); },
     {0x5A, 0, 0x38, 0x56, 0x45, 0xA2, 0x00, 0x07, 0xFF, 0x00, 0x00, 0xFF}, 255, 16, true},
    {"ReadDriveBuffer", [](TAtapi &a) { return a.ReadDriveBuffer(Data, 65534); },
     {0x5A, 0, 0x33, 0x56, 0x45, 0x10, 0, 0, 0xFF, 0xFE, 0, 0}, 65534, 8, true},
    {"GetEventStatus media 8", [](TAtapi &a) { return a.GetEventStatus(Data, 0x10, 8); },
     {0x4A, 0x01, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}, 8, 8, true},
    {"GetEventStatus 65535", [](TAtapi &a) { return a.GetEventStatus(Data, 0x7E, 0xFFFF); },
     {0x4A, 0x01, 0x00, 0x00, 0x7E, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00}, 0xFFFF, 8, true},
};

BYTE PassThroughDirection(BYTE direction) {
    return direction == 8 ? SCSI_IOCTL_DATA_IN : direction == 16 ? SCSI_IOCTL_DATA_OUT
                                                                 : SCSI_IOCTL_DATA_UNSPECIFIED;
}

}  // namespace

TEST_CASE("each command reaches the pass-through driver as its block, length and direction") {
    TSimFixture f(true);
    TSimDrive *drive = f.AddDrive();
    f.Start();
    for (const TWrapperCase &c : Cases) {
        INFO(std::string(c.Name));
        const size_t before = f.Machine.Ioctls.size();
        c.Send(Atapi);
        REQUIRE(f.Machine.Ioctls.size() == before + 1);
        const TSimIoctl &call = f.Machine.Ioctls.back();
        const ScsiPassThroughDirect &r = RequestOf(call);
        CHECK(Hex(r.Cdb, 16) == Hex(c.Cdb, 12) + " 00 00 00 00");
        CHECK(r.CdbLength == 12);
        CHECK(r.DataTransferLength == c.Length);
        CHECK(r.DataIn == PassThroughDirection(c.Direction));
        CHECK(r.DataBuffer == (c.HasData ? static_cast<void *>(Data) : nullptr));
        // The drive saw the same.
        const TSimTraceEntry *seen = drive->Last();
        REQUIRE(seen);
        CHECK(Hex(seen->Cdb, 12) == Hex(c.Cdb, 12));
        CHECK(seen->Length == c.Length);
        CHECK(seen->Direction == c.Direction);
    }
}

TEST_CASE("each command reaches the ASPI layer as its block, length and direction") {
    TSimFixture f(false);
    TSimDrive *drive = f.Machine.AddAspiDevice(1, 2, 3);
    f.Machine.AspiAdapterCount = 2;
    f.Start();
    REQUIRE(Atapi.DeviceCount == 1);
    for (const TWrapperCase &c : Cases) {
        INFO(std::string(c.Name));
        const size_t before = f.Machine.AspiCalls().size();
        c.Send(Atapi);
        REQUIRE(f.Machine.AspiCalls().size() == before + 1);
        const TSimAspiCall &call = f.Machine.AspiCalls().back();
        REQUIRE(call.Cmd == SC_EXEC_SCSI_CMD);
        const SRB_ExecSCSICmd &r = ExecOf(call);
        CHECK(call.Srb == Atapi.AspiRequest);
        CHECK(Hex(r.CDBByte, 12) == Hex(c.Cdb, 12));
        CHECK(r.SRB_CDBLen == 12);
        CHECK(r.SRB_Flags == (c.Direction | SRB_EVENT_NOTIFY));
        CHECK(r.SRB_BufLen == c.Length);
        CHECK(r.SRB_BufPointer == (c.HasData ? Data : nullptr));
        CHECK(r.SRB_HaId == 1);
        CHECK(r.SRB_Target == 2);
        CHECK(r.SRB_Lun == 3);
        const TSimTraceEntry *seen = drive->Last();
        REQUIRE(seen);
        CHECK(Hex(seen->Cdb, 12) == Hex(c.Cdb, 12));
        CHECK(seen->Length == c.Length);
        CHECK(seen->Direction == c.Direction);
    }
}

TEST_CASE("a wrapper returns the transport's status unchanged") {
    // A BUSY status (8) from the drive comes back as it is on pass-through;
    // on ASPI a command with an error reads SS_ERR.
    for (bool nt : {true, false}) {
        CAPTURE(nt);
        TSimFixture f(nt);
        TSimDrive *drive = f.AddDrive();
        f.Start();
        TSimFault busy;
        busy.Kind = TSimCmd::ReadMemory38;
        busy.Status = 8;
        drive->Faults.push_back(busy);
        CHECK(Atapi.ReadMemory38(Data, 0, 0) == (nt ? 8 : SS_ERR));
        CHECK(Atapi.ReadMemory32(Data, 0, 0) == 1);
    }
}
