// The ASPI for Win32 request records, laid out byte for byte as the ASPI
// layer reads them (1-byte packing, 32-bit pointers on the target).
#pragma once
#include <windows.h>
#include <stddef.h>

enum : BYTE {
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03,

    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ERR = 0x04,

    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40,

    DTYPE_CDROM = 0x05,
};

#pragma pack(push, 1)

// SC_GET_DEV_TYPE: 12 bytes.
struct SRB_GDEVBlock {
    BYTE SRB_Cmd;         // 0
    BYTE SRB_Status;      // 1
    BYTE SRB_HaId;        // 2
    BYTE SRB_Flags;       // 3
    DWORD SRB_Hdr_Rsvd;   // 4
    BYTE SRB_Target;      // 8
    BYTE SRB_Lun;         // 9
    BYTE SRB_DeviceType;  // 10
    BYTE SRB_Rsvd1;       // 11
};

// SC_EXEC_SCSI_CMD: 80 bytes, sense area at 64.
struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;           // 0
    BYTE SRB_Status;        // 1
    BYTE SRB_HaId;          // 2
    BYTE SRB_Flags;         // 3
    DWORD SRB_Hdr_Rsvd;     // 4
    BYTE SRB_Target;        // 8
    BYTE SRB_Lun;           // 9
    WORD SRB_Rsvd1;         // 10
    DWORD SRB_BufLen;       // 12
    BYTE *SRB_BufPointer;   // 16
    BYTE SRB_SenseLen;      // 20
    BYTE SRB_CDBLen;        // 21
    BYTE SRB_HaStat;        // 22
    BYTE SRB_TargStat;      // 23
    void *SRB_PostProc;     // 24
    BYTE SRB_Rsvd2[20];     // 28
    BYTE CDBByte[16];       // 48
    BYTE SenseArea[16];     // 64
};

// SC_ABORT_SRB: 12 bytes.
struct SRB_Abort {
    BYTE SRB_Cmd;         // 0
    BYTE SRB_Status;      // 1
    BYTE SRB_HaId;        // 2
    BYTE SRB_Flags;       // 3
    DWORD SRB_Hdr_Rsvd;   // 4
    void *SRB_ToAbort;    // 8
};

#pragma pack(pop)

// The layout the ASPI layer reads is that of a 32-bit process; the 64-bit
// test build keeps the field order with wider pointers.
#ifndef _WIN64
static_assert(sizeof(SRB_GDEVBlock) == 12, "SRB_GDEVBlock size");
static_assert(offsetof(SRB_GDEVBlock, SRB_HaId) == 2, "SRB_GDEVBlock.SRB_HaId");
static_assert(offsetof(SRB_GDEVBlock, SRB_Hdr_Rsvd) == 4, "SRB_GDEVBlock.SRB_Hdr_Rsvd");
static_assert(offsetof(SRB_GDEVBlock, SRB_Target) == 8, "SRB_GDEVBlock.SRB_Target");
static_assert(offsetof(SRB_GDEVBlock, SRB_Lun) == 9, "SRB_GDEVBlock.SRB_Lun");
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10, "SRB_GDEVBlock.SRB_DeviceType");
static_assert(offsetof(SRB_GDEVBlock, SRB_Rsvd1) == 11, "SRB_GDEVBlock.SRB_Rsvd1");

static_assert(sizeof(SRB_ExecSCSICmd) == 80, "SRB_ExecSCSICmd size");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1, "SRB_ExecSCSICmd.SRB_Status");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2, "SRB_ExecSCSICmd.SRB_HaId");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3, "SRB_ExecSCSICmd.SRB_Flags");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8, "SRB_ExecSCSICmd.SRB_Target");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9, "SRB_ExecSCSICmd.SRB_Lun");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12, "SRB_ExecSCSICmd.SRB_BufLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16, "SRB_ExecSCSICmd.SRB_BufPointer");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20, "SRB_ExecSCSICmd.SRB_SenseLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21, "SRB_ExecSCSICmd.SRB_CDBLen");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22, "SRB_ExecSCSICmd.SRB_HaStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23, "SRB_ExecSCSICmd.SRB_TargStat");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24, "SRB_ExecSCSICmd.SRB_PostProc");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48, "SRB_ExecSCSICmd.CDBByte");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64, "SRB_ExecSCSICmd.SenseArea");

static_assert(sizeof(SRB_Abort) == 12, "SRB_Abort size");
static_assert(offsetof(SRB_Abort, SRB_HaId) == 2, "SRB_Abort.SRB_HaId");
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8, "SRB_Abort.SRB_ToAbort");
#endif

// The two entry points of WNASPI32.DLL, C calling convention.
typedef DWORD (__cdecl *GetASPI32SupportInfoFn)(void);
typedef DWORD (__cdecl *SendASPI32CommandFn)(void *request);
