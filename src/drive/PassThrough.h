// The SCSI pass-through request of the CD-ROM class driver, as the driver
// reads it on a 32-bit system, with room for the sense data behind it.
#pragma once
#include <windows.h>
#include <stddef.h>

enum : BYTE {
    SCSI_IOCTL_DATA_OUT = 0,
    SCSI_IOCTL_DATA_IN = 1,
    SCSI_IOCTL_DATA_UNSPECIFIED = 2,
};

// IOCTL_SCSI_PASS_THROUGH_DIRECT: device type 4 (controller), function
// 0x405, buffered, read and write access.
constexpr DWORD IOCTL_PASS_THROUGH_DIRECT = 0x4D014;

struct ScsiPassThroughDirect {
    USHORT Length;              // 0
    UCHAR ScsiStatus;           // 2
    UCHAR PathId;               // 3
    UCHAR TargetId;             // 4
    UCHAR Lun;                  // 5
    UCHAR CdbLength;            // 6
    UCHAR SenseInfoLength;      // 7
    UCHAR DataIn;               // 8
    ULONG DataTransferLength;   // 12
    ULONG TimeOutValue;         // 16
    PVOID DataBuffer;           // 20
    ULONG SenseInfoOffset;      // 24
    UCHAR Cdb[16];              // 28
};

struct PassThroughRequest {
    ScsiPassThroughDirect Header;  // 0
    ULONG Filler;                  // 44
    UCHAR SenseBuffer[32];         // 48
};

// The layout the class driver reads from a 32-bit process. (A 64-bit
// process has the same fields with a wider DataBuffer, naturally aligned.)
#ifndef _WIN64
static_assert(sizeof(ScsiPassThroughDirect) == 44, "pass-through header size");
static_assert(offsetof(ScsiPassThroughDirect, ScsiStatus) == 2, "ScsiStatus");
static_assert(offsetof(ScsiPassThroughDirect, CdbLength) == 6, "CdbLength");
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoLength) == 7, "SenseInfoLength");
static_assert(offsetof(ScsiPassThroughDirect, DataIn) == 8, "DataIn");
static_assert(offsetof(ScsiPassThroughDirect, DataTransferLength) == 12, "DataTransferLength");
static_assert(offsetof(ScsiPassThroughDirect, TimeOutValue) == 16, "TimeOutValue");
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20, "DataBuffer");
static_assert(offsetof(ScsiPassThroughDirect, SenseInfoOffset) == 24, "SenseInfoOffset");
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28, "Cdb");
static_assert(sizeof(PassThroughRequest) == 80, "pass-through request size");
static_assert(offsetof(PassThroughRequest, Filler) == 44, "Filler");
static_assert(offsetof(PassThroughRequest, SenseBuffer) == 48, "SenseBuffer");
#endif
