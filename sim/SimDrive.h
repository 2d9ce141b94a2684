// A simulated ATAPI CD/DVD drive: the drive's side of the thirteen commands
// the program sends, with its memory, boot descriptor, buffer, identity,
// tray and medium, a programming phase after a commit, fault injection and
// a trace of every command received. Time is measured on a TSimClock.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <vector>

// Milliseconds; virtual in tests (advanced by Sleep and waits), real in the demo.
class TSimClock {
public:
    bool Virtual = true;
    uint64_t NowMs() const;          // virtual counter, or real elapsed time
    void Advance(uint64_t ms);       // virtual: move on; real: sleep
    DWORD Seconds() const;           // calendar seconds: BaseSeconds + NowMs / 1000
    DWORD BaseSeconds = 1700000000;
private:
    uint64_t Counter = 0;
};

// The commands the drive tells apart.
enum class TSimCmd {
    TestUnitReady, Inquiry, RequestSense, StopPlayScan, ModeSenseCapabilities, StopUnit,
    FlashWriteBlock,    // FlashWrite with data (mode 5)
    FlashCommit,        // FlashWrite length 0, mode 4
    FlashRetry,         // FlashWrite length 0, mode 5 (the commit's retries)
    ReadMemory32, ReadMemory38, ReadBootDescriptor, WriteMemory, ReadDriveBuffer,
    GetEventStatus, Unknown, Any
};

struct TSimSense {
    BYTE Key = 0, Asc = 0, Ascq = 0;
};

// One command as the drive received it.
struct TSimTraceEntry {
    TSimCmd Kind;
    BYTE Cdb[12];
    BYTE Direction;          // 0 none, 8 in, 16 out (as sent)
    DWORD Length;            // data length of the request
    BYTE Status;             // SCSI status the drive returned (0 GOOD, 2 CHECK CONDITION)
    TSimSense Sense;         // sense returned with it (CHECK CONDITION) or zero
    uint64_t AtMs;           // clock when received
};

// A rule that makes commands fail. A rule matches a command by its number
// (1-based, counted over every command the drive receives; 0 = any) and by
// kind (TSimCmd::Any = any kind); it fires Times times (-1: for ever).
struct TSimFault {
    int Nth = 0;
    TSimCmd Kind = TSimCmd::Any;
    int Times = -1;
    // What the drive answers: SCSI status and sense (no data is returned).
    BYTE Status = 2;
    TSimSense Sense{5, 0x24, 0};
    // Transport faults (the drive itself does not see the command when
    // DriverError is set and DriverWritesStatus is false):
    DWORD DriverError = 0;          // NT: DeviceIoControl fails with this Win32 error
    bool DriverWritesStatus = false;// ...after the drive answered with Status/Sense
    enum Completion { Normal, Late, Never } AspiCompletion = Normal;  // ASPI only
    uint64_t LateMs = 1000;         // Late: completes after this long
};

class TSimDrive {
public:
    TSimDrive();

    // Identity: INQUIRY bytes 8..35 and the vendor-specific bytes 38, 39.
    void SetIdentity(const char *vendor8, const char *product16, const char *revision4,
                     BYTE byte38, BYTE byte39);
    BYTE InquiryData[96];        // returned as asked (50 bytes)
    BYTE Capabilities[256];      // MODE SENSE page 0x2A answer (header + page)

    BYTE Memory[8][65536];       // drive memory blocks
    BYTE BootDescriptor[16];     // first bytes of the ReadBootDescriptor answer (rest zero)
    std::vector<BYTE> DriveBuffer;  // ReadDriveBuffer answer (up to 65534 bytes used)

    bool TrayOpen = false;
    bool NoMedium = true;                   // no disc: TUR answers 2/3A/0
    uint64_t ProgrammingMs = 5000;          // NOT READY (2/4/1) after an accepted commit
    uint64_t NotReadyUntilMs = 0;           // NOT READY until this clock value
    bool NotReadyForever = false;
    int RejectCommitTimes = 0;              // reject the commit (mode 4 and retries) k times
    TSimSense RejectCommitSense{5, 0x1A, 0};
    std::vector<TSimFault> Faults;

    std::vector<TSimTraceEntry> Trace;
    int CommandCount = 0;

    // What the drive received in the current download, and whether the last
    // commit was accepted. Block writes go to Memory only when committed.
    bool Committed = false;

    // Executes one command as the drive. data/length/direction as sent by the
    // host. Returns the SCSI status and fills sense (18 bytes, fixed format)
    // when the status is CHECK CONDITION. 'fault' returns the rule that
    // fired, if any (for the transports' own faults).
    BYTE Command(const BYTE cdb[12], BYTE *data, DWORD length, BYTE direction, BYTE sense[18],
                 const TSimFault **fault);

    static TSimCmd Classify(const BYTE cdb[12], DWORD length);

    TSimClock *Clock;   // set by the machine
};
