// The pass-through transport: the request as the class driver reads it,
// and how the driver's answers become a command status.
#include "DriveTest.h"

namespace {

BYTE Data[256];

// Os.FormatMessageA that cannot format anything.
DWORD WINAPI NoMessageText(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, va_list *) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}

std::string SystemText(DWORD error) {
    char text[80];
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error, 0, text, sizeof text, nullptr);
    REQUIRE_MESSAGE(n > 0, "the system has no text for error ", error);
    return text;
}

}  // namespace

TEST_CASE("pass-through request: every field as the driver receives it") {
    TSimFixture f(true);
    TSimDrive *drive = f.AddDrive();
    f.Start();

    // A failing command first, so the next request must arrive with its
    // sense buffer cleared again.
    TSimFault once;
    once.Nth = drive->CommandCount + 1;
    once.Sense = TSimSense{5, 0x24, 0};
    drive->Faults.push_back(once);
    REQUIRE(Atapi.TestUnitReady() == 2);
    REQUIRE(Atapi.PassThrough.SenseBuffer[2] == 5);

    REQUIRE(Atapi.ReadMemory38(Data, 1, 0x0100) == 1);
    const TSimIoctl &call = f.Machine.Ioctls.back();
    CHECK(call.Device == f.Machine.NtHandle('D'));
    CHECK(call.Code == 0x4D014);
    CHECK(call.InSize == sizeof(PassThroughRequest));
    CHECK(call.OutSize == sizeof(PassThroughRequest));
    CHECK(call.SameBuffer);
    CHECK_FALSE(call.Overlapped);
    CHECK(call.Error == 0);

    const ScsiPassThroughDirect &r = RequestOf(call);
    CHECK(r.Length == sizeof(ScsiPassThroughDirect));
    CHECK(r.ScsiStatus == 0);
    CHECK(r.PathId == 0);
    CHECK(r.TargetId == 0);
    CHECK(r.Lun == 0);
    CHECK(r.CdbLength == 12);
    CHECK(r.SenseInfoLength == 24);
    CHECK(r.DataIn == SCSI_IOCTL_DATA_IN);
    CHECK(r.DataTransferLength == 256);
    CHECK(r.TimeOutValue == 20);
    CHECK(r.DataBuffer == Data);
    CHECK(r.SenseInfoOffset == offsetof(PassThroughRequest, SenseBuffer));
    CHECK(Hex(r.Cdb, 16) == "5A 00 38 56 45 11 01 00 00 01 00 00 00 00 00 00");
    // The padding after the direction, the filler and the sense buffer are zero.
    const BYTE zeros[32] = {};
    const size_t afterDirection = offsetof(ScsiPassThroughDirect, DataIn) + 1;
    CHECK(memcmp(call.Request + afterDirection, zeros,
                 offsetof(ScsiPassThroughDirect, DataTransferLength) - afterDirection) == 0);
    CHECK(memcmp(call.Request + offsetof(PassThroughRequest, Filler), zeros, 4) == 0);
    CHECK(memcmp(call.Request + offsetof(PassThroughRequest, SenseBuffer), zeros, 32) == 0);
    // A command that succeeds leaves the sense buffer all zero.
    CHECK(memcmp(Atapi.PassThrough.SenseBuffer, zeros, 32) == 0);
}

TEST_CASE("pass-through status: the driver's result becomes the command status") {
    struct TCase {
        const char *Name;
        BYTE Status;            // drive's SCSI status (0: answers normally)
        DWORD DriverError;
        bool WritesStatus;
        CommandStatus Expected;
        BYTE SenseKey;          // expected in the sense buffer afterwards
        bool Box;
    };
    const TCase cases[] = {
        {"GOOD", 0, 0, false, 1, 0, false},
        {"CHECK CONDITION", 2, 0, false, 2, 5, false},
        {"BUSY", 8, 0, false, 8, 0, false},
        {"121 without a status", 0, ERROR_SEM_TIMEOUT, false, 1, 0, false},
        {"1117 without a status", 0, ERROR_IO_DEVICE, false, 1, 0, false},
        {"121 with CHECK CONDITION", 2, ERROR_SEM_TIMEOUT, true, 2, 5, false},
        {"1117 with CHECK CONDITION", 2, ERROR_IO_DEVICE, true, 2, 5, false},
        {"another error", 0, ERROR_GEN_FAILURE, false, 0, 0, true},
        {"another error after a status", 2, ERROR_NOT_READY, true, 0, 5, true},
    };
    for (const TCase &c : cases) {
        INFO(std::string(c.Name));
        TSimFixture f(true);
        TSimDrive *drive = f.AddDrive();
        drive->NoMedium = false;
        f.Start();
        TSimFault fault;
        fault.Kind = TSimCmd::TestUnitReady;
        fault.Status = c.Status;
        fault.Sense = TSimSense{5, 0x26, 0x01};
        fault.DriverError = c.DriverError;
        fault.DriverWritesStatus = c.WritesStatus;
        drive->Faults.push_back(fault);

        CHECK(Atapi.TestUnitReady() == c.Expected);
        CHECK(Atapi.PassThrough.SenseBuffer[2] == c.SenseKey);
        if (c.SenseKey) {
            CHECK(Atapi.PassThrough.SenseBuffer[12] == 0x26);
            CHECK(Atapi.PassThrough.SenseBuffer[13] == 0x01);
        }
        REQUIRE(f.Machine.Boxes.size() == (c.Box ? 1u : 0u));
        if (c.Box) {
            CHECK(f.Machine.Boxes[0].Text == SystemText(c.DriverError) + "\n");
            CHECK((f.Machine.Boxes[0].Type & MB_TYPEMASK) == MB_OK);
        }
    }
}

TEST_CASE("pass-through with no drive current shows the invalid-handle text") {
    TSimFixture f(true);
    f.Start();
    REQUIRE(Atapi.DeviceCount == 0);
    REQUIRE(Atapi.Handle == nullptr);

    CHECK(Atapi.TestUnitReady() == 0);
    REQUIRE(f.Machine.Ioctls.size() == 1);
    CHECK(f.Machine.Ioctls[0].Error == ERROR_INVALID_HANDLE);
    REQUIRE(f.Machine.Boxes.size() == 1);
    CHECK(f.Machine.Boxes[0].Text == SystemText(ERROR_INVALID_HANDLE) + "\n");
}

TEST_CASE("a system text that cannot be formatted shows the failure and its error") {
    TSimFixture f(true);
    TSimDrive *drive = f.AddDrive();
    f.Start();
    TSimFault fault;
    fault.DriverError = ERROR_CRC;
    drive->Faults.push_back(fault);
    Os.FormatMessageA = &NoMessageText;

    CHECK(Atapi.Inquiry(Data) == 0);
    REQUIRE(f.Machine.Boxes.size() == 1);
    CHECK(f.Machine.Boxes[0].Text == "Format message failed.  Error: 317\n");
}

TEST_CASE("pass-through allocates nothing per command") {
    TSimFixture f(true);
    f.AddDrive();
    f.Start();
    const int before = f.Machine.AllocCalls;
    for (int i = 0; i < 10; ++i) Atapi.ReadMemory32(Data, 0, 0);
    CHECK(f.Machine.AllocCalls == before);
}
