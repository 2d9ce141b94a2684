// TAtapi: the one drive-access object of the process.
//
// It finds the CD/DVD drives at construction, keeps a fixed table of them,
// sends one 12-byte command at a time to the current drive (SCSI
// pass-through on the NT family, ASPI on the 9x family) and keeps the status
// and sense of the last command where the update steps read them.
#pragma once
#include <windows.h>
#include "drive/AspiRecords.h"
#include "drive/PassThrough.h"

// CommandStatus: 1 is success on both transports.
typedef BYTE CommandStatus;

struct SenseTriple {
    BYTE SenseKey;  // sense byte 2, whole
    BYTE Asc;       // sense byte 12
    BYTE Ascq;      // sense byte 13
};

struct DeviceEntry {
    HANDLE Handle;      // open device handle (pass-through path), else 0
    BYTE Adapter;       // ASPI address (ASPI path), else 0
    BYTE Target;
    BYTE Lun;
    char Name[25];      // INQUIRY bytes 8..31: vendor (8) + product (16)
    char Revision[5];   // INQUIRY bytes 32..35
};

// List position in the drive list -> device table index.
extern int DeviceMap[10];

// The two ASPI entry points, set by the constructor on the 9x family.
extern GetASPI32SupportInfoFn GetASPI32SupportInfo;
extern SendASPI32CommandFn SendASPI32Command;

// Data directions of Execute (the ASPI flag values).
enum : BYTE { DIR_NONE = 0, DIR_IN = 8, DIR_OUT = 16 };

class TAtapi {
public:
    HANDLE Handle;
    BYTE Adapter;
    BYTE Target;
    BYTE Lun;
    HMODULE AspiModule;
    int DeviceCount;
    bool IsNt;
    HANDLE LastOpenedHandle;
    DeviceEntry Devices[20];
    SRB_ExecSCSICmd *AspiRequest;
    PassThroughRequest PassThrough;

    TAtapi();
    ~TAtapi();
    TAtapi(const TAtapi &) = delete;
    TAtapi &operator=(const TAtapi &) = delete;

    // Discovery and selection.
    bool DetectNt();
    int Enumerate();
    int EnumerateNt();
    void SelectDevice(int index);
    void SetAddress(BYTE adapter, BYTE target, BYTE lun);
    void PumpMessages();

    // Transport.
    CommandStatus Execute(const BYTE *cdb, void *buffer, DWORD length, BYTE direction);
    CommandStatus ExecutePassThrough(const BYTE *cdb, void *buffer, DWORD length, BYTE dataIn);
    DWORD AbortRequest(void *request);
    void ShowSystemError(DWORD errorCode);

    // The command set.
    CommandStatus TestUnitReady();
    CommandStatus Inquiry(BYTE *buffer);
    CommandStatus RequestSense(BYTE *buffer);
    CommandStatus StopPlayScan();
    CommandStatus ModeSenseCapabilities(BYTE *buffer);
    CommandStatus StopUnit();
    CommandStatus FlashWrite(BYTE *buffer, BYTE mode, BYTE block, WORD length, WORD parameter);
    CommandStatus ReadMemory32(BYTE *buffer, BYTE block, WORD address);
    CommandStatus ReadMemory38(BYTE *buffer, BYTE block, WORD address);
    CommandStatus ReadBootDescriptor(BYTE *buffer);
    CommandStatus WriteMemory(BYTE *buffer, BYTE block, DWORD address, BYTE length);
    CommandStatus ReadDriveBuffer(BYTE *buffer, WORD length);
    CommandStatus GetEventStatus(BYTE *buffer, BYTE eventClass, WORD length);
};

// The one object, defined in the main-window module.
extern TAtapi Atapi;
