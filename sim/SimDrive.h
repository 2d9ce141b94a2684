// A simulated ATAPI CD/DVD drive: the drive's side of the thirteen commands
// the program sends, with its memory, boot descriptor, buffer, identity,
// tray and medium, a programming phase after a commit, fault injection and
// a trace of every command received. Time is measured on a TSimClock.
//
// What the drive answers (status 0 GOOD, 2 CHECK CONDITION with fixed-format
// sense; "k/asc/ascq" below):
//   TEST UNIT READY    GOOD; 2/3A/02 tray open; 2/3A/00 no medium;
//                      2/04/01 while not ready (programming, NotReady...)
//   INQUIRY            InquiryData (allocation length from byte 4)
//   REQUEST SENSE      the sense of the last other command (zero after GOOD)
//   MODE SENSE 0x2A    Capabilities (allocation length from bytes 7-8)
//   STOP PLAY/SCAN, START STOP UNIT   GOOD
//   GET EVENT STATUS   polled only; media class (0x10): 8 bytes, byte 5
//                      bit 0 = TrayOpen, bit 1 = medium present
//   ReadMemory32/38    256 bytes of Memory[block] from address (block in
//                      byte 8 / byte 9, address in bytes 6-7)
//   ReadBootDescriptor BootDescriptor, then zeros (65536 bytes)
//   WriteMemory        the data into Memory[block] at address
//   ReadDriveBuffer    DriveBuffer, up to the length asked
//   FlashWrite mode 5 with data: block i of a download (in order from 0)
//   FlashWrite length 0, mode 4 (commit) or mode 5 (its retries): block
//                      byte 0xE0 + n (retry also 0xF0 + n), n = blocks
//                      received, parameter = checksum (see ChecksumRule).
//                      Accepted: the received bytes of each block replace
//                      the start of Memory[i] (the rest of the block keeps
//                      its bytes) and the drive programs for ProgrammingMs.
// Anything it cannot accept is ILLEGAL REQUEST 5/24/00 (5/20/00 for an
// unknown command); LastReject says why. Media-access commands (TUR, the
// vendor reads and writes, FlashWrite) answer 2/04/01 while not ready;
// INQUIRY, REQUEST SENSE, MODE SENSE, GET EVENT STATUS and the two stops
// answer at any time.
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
    mutable DWORD StartTick = 0;     // real mode: tick count at the first reading
    mutable bool Started = false;
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

// A short name of a command kind, for test messages.
const char *SimCmdName(TSimCmd kind);

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
    DWORD DriverError = 0;   // the transport failed the command with this error
    bool Faulted = false;    // a TSimFault rule fired for it
};

// A rule that makes commands fail. A rule matches a command by its number
// (1-based, counted over every command the drive receives; 0 = any) and by
// kind (TSimCmd::Any = any kind); it fires Times times (-1: for ever). The
// first matching rule in Faults fires.
//
// Status 0 means the drive answers the command as it normally would, and
// only the transport faults below apply.
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
    BYTE AspiStatus = 0;            // ASPI: SRB_Status to report instead (0: from the drive)
};

// How the drive checks the commit's checksum parameter.
enum class TSimChecksumRule {
    Received,   // 16-bit sum of every byte received for the blocks of the download
    Declared,   // the same over at most DeclaredLengths[i] bytes of block i (a host
                // that sends fixed lengths with fill declares the real ones here)
    Off         // not checked
};

class TSimDrive {
public:
    TSimDrive();

    // Identity: INQUIRY bytes 8..35 and the vendor-specific bytes 38, 39.
    // Texts shorter than their field are padded with spaces.
    void SetIdentity(const char *vendor8, const char *product16, const char *revision4,
                     BYTE byte38, BYTE byte39);
    BYTE InquiryData[96];        // returned as asked (50 bytes)
    BYTE Capabilities[256];      // MODE SENSE page 0x2A answer (header + page)

    BYTE Memory[8][65536];       // drive memory blocks (0xFF at start: erased flash)
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

    TSimChecksumRule ChecksumRule = TSimChecksumRule::Received;
    WORD DeclaredLengths[8] = {};           // for TSimChecksumRule::Declared
    DWORD MaxBlockLength = 0xFFFF;          // longest block a FlashWrite may carry

    std::vector<TSimTraceEntry> Trace;
    int CommandCount = 0;

    // What the drive received in the current download, and whether the last
    // commit was accepted. Block writes go to Memory only when committed.
    bool Committed = false;
    int ReceivedBlocks = 0;                 // blocks 0..ReceivedBlocks-1 received
    DWORD ReceivedLength[8] = {};
    int CommitCount = 0;                    // commits accepted
    DWORD CommittedLength[8] = {};          // bytes of each block the last accepted commit programmed
    int CommitRejects = 0;                  // commit tries rejected by RejectCommitTimes
    uint64_t ProgrammingUntilMs = 0;
    TSimSense LastSense;                    // what REQUEST SENSE reports
    const char *LastReject = "";            // why the last ILLEGAL REQUEST was given

    // Executes one command as the drive. data/length/direction as sent by the
    // host. Returns the SCSI status and fills sense (18 bytes, fixed format)
    // when the status is CHECK CONDITION. 'fault' returns the rule that
    // fired, if any (for the transports' own faults).
    BYTE Command(const BYTE cdb[12], BYTE *data, DWORD length, BYTE direction, BYTE sense[18],
                 const TSimFault **fault);

    static TSimCmd Classify(const BYTE cdb[12], DWORD length);

    // Ready for media access now (not programming, not held NOT READY).
    bool Ready() const;
    // 16-bit sum of the first lengths[i] bytes of Memory[i], i < blocks.
    WORD MemorySum(int blocks, const WORD *lengths) const;
    // Trace helpers.
    int Count(TSimCmd kind) const;
    const TSimTraceEntry *Last(TSimCmd kind = TSimCmd::Any) const;

    TSimClock *Clock;   // set by the machine

private:
    BYTE Execute(TSimCmd kind, const BYTE *cdb, BYTE *data, DWORD length, BYTE direction,
                 TSimSense &sense);
    BYTE Reject(TSimSense &sense, BYTE key, BYTE asc, BYTE ascq, const char *why);
    BYTE Commit(const BYTE *cdb, TSimSense &sense);
    WORD DownloadSum() const;

    TSimClock OwnClock;
    BYTE Staging[8][65536];     // the blocks of the current download
};
