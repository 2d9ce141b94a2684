// The simulated drive: its answers, its download and commit, its faults.
#include "sim/SimDrive.h"
#include <string.h>

// ---- clock -----------------------------------------------------------------

uint64_t TSimClock::NowMs() const {
    if (Virtual) return Counter;
    DWORD now = GetTickCount();
    if (!Started) {
        StartTick = now;
        Started = true;
    }
    return static_cast<uint64_t>(static_cast<DWORD>(now - StartTick));
}

void TSimClock::Advance(uint64_t ms) {
    if (Virtual) {
        Counter += ms;
        return;
    }
    ::Sleep(static_cast<DWORD>(ms));
}

DWORD TSimClock::Seconds() const {
    return BaseSeconds + static_cast<DWORD>(NowMs() / 1000);
}

// ---- names -----------------------------------------------------------------

const char *SimCmdName(TSimCmd kind) {
    switch (kind) {
    case TSimCmd::TestUnitReady: return "TestUnitReady";
    case TSimCmd::Inquiry: return "Inquiry";
    case TSimCmd::RequestSense: return "RequestSense";
    case TSimCmd::StopPlayScan: return "StopPlayScan";
    case TSimCmd::ModeSenseCapabilities: return "ModeSenseCapabilities";
    case TSimCmd::StopUnit: return "StopUnit";
    case TSimCmd::FlashWriteBlock: return "FlashWriteBlock";
    case TSimCmd::FlashCommit: return "FlashCommit";
    case TSimCmd::FlashRetry: return "FlashRetry";
    case TSimCmd::ReadMemory32: return "ReadMemory32";
    case TSimCmd::ReadMemory38: return "ReadMemory38";
    case TSimCmd::ReadBootDescriptor: return "ReadBootDescriptor";
    case TSimCmd::WriteMemory: return "WriteMemory";
    case TSimCmd::ReadDriveBuffer: return "ReadDriveBuffer";
    case TSimCmd::GetEventStatus: return "GetEventStatus";
    case TSimCmd::Unknown: return "Unknown";
    case TSimCmd::Any: return "Any";
    }
    return "?";
}

// ---- drive -----------------------------------------------------------------

namespace {

DWORD Get16(const BYTE *p) { return static_cast<DWORD>(p[0] << 8 | p[1]); }

DWORD Min3(DWORD a, DWORD b, DWORD c) {
    DWORD m = a < b ? a : b;
    return m < c ? m : c;
}

void PutField(BYTE *to, const char *text, int width) {
    int i = 0;
    for (; text && text[i] && i < width; ++i) to[i] = static_cast<BYTE>(text[i]);
    for (; i < width; ++i) to[i] = ' ';
}

// Which direction a command's data goes, when it has any.
BYTE DirectionOf(TSimCmd kind) {
    switch (kind) {
    case TSimCmd::Inquiry:
    case TSimCmd::RequestSense:
    case TSimCmd::ModeSenseCapabilities:
    case TSimCmd::ReadMemory32:
    case TSimCmd::ReadMemory38:
    case TSimCmd::ReadBootDescriptor:
    case TSimCmd::ReadDriveBuffer:
    case TSimCmd::GetEventStatus:
        return 8;
    case TSimCmd::FlashWriteBlock:
    case TSimCmd::FlashCommit:
    case TSimCmd::FlashRetry:
    case TSimCmd::WriteMemory:
        return 16;
    default:
        return 0;
    }
}

bool NeedsReady(TSimCmd kind) {
    switch (kind) {
    case TSimCmd::TestUnitReady:
    case TSimCmd::FlashWriteBlock:
    case TSimCmd::FlashCommit:
    case TSimCmd::FlashRetry:
    case TSimCmd::ReadMemory32:
    case TSimCmd::ReadMemory38:
    case TSimCmd::ReadBootDescriptor:
    case TSimCmd::WriteMemory:
    case TSimCmd::ReadDriveBuffer:
        return true;
    default:
        return false;
    }
}

}  // namespace

TSimDrive::TSimDrive() : Clock(&OwnClock) {
    memset(InquiryData, 0, sizeof InquiryData);
    InquiryData[0] = 0x05;          // CD/DVD device
    InquiryData[1] = 0x80;          // removable medium
    InquiryData[3] = 0x21;          // ATAPI, response data format 1
    InquiryData[4] = sizeof InquiryData - 5;
    SetIdentity("VESK", "SIM DVD-ROM", "1.00", 0, 0);

    // Mode parameter header (data length 0x001E), then page 0x2A: reads
    // DVD-ROM, writes nothing.
    memset(Capabilities, 0, sizeof Capabilities);
    Capabilities[1] = 0x1E;
    Capabilities[8] = 0x2A;
    Capabilities[9] = 0x16;
    Capabilities[10] = 0x08;
    Capabilities[11] = 0x00;

    memset(Memory, 0xFF, sizeof Memory);
    memset(Staging, 0, sizeof Staging);

    // A valid descriptor naming 256 bytes at the start of block 0.
    memset(BootDescriptor, 0, sizeof BootDescriptor);
    BootDescriptor[0] = 0x55;
    BootDescriptor[1] = 0xDD;
    BootDescriptor[4] = 0;
    BootDescriptor[5] = 0x00;
    BootDescriptor[6] = 0x00;
    BootDescriptor[7] = 0x01;
    BootDescriptor[8] = 0x00;
}

void TSimDrive::SetIdentity(const char *vendor8, const char *product16, const char *revision4,
                            BYTE byte38, BYTE byte39) {
    PutField(InquiryData + 8, vendor8, 8);
    PutField(InquiryData + 16, product16, 16);
    PutField(InquiryData + 32, revision4, 4);
    InquiryData[38] = byte38;
    InquiryData[39] = byte39;
}

TSimCmd TSimDrive::Classify(const BYTE cdb[12], DWORD) {
    switch (cdb[0]) {
    case 0x00: return TSimCmd::TestUnitReady;
    case 0x12: return TSimCmd::Inquiry;
    case 0x03: return TSimCmd::RequestSense;
    case 0x4E: return TSimCmd::StopPlayScan;
    case 0x1B: return TSimCmd::StopUnit;
    case 0x4A: return TSimCmd::GetEventStatus;
    case 0x5A: break;
    default: return TSimCmd::Unknown;
    }
    if (cdb[3] == 0x56 && cdb[4] == 0x45) {
        const BYTE page = cdb[2], sub = cdb[5];
        if (page == 0x38 && sub == 0xA0) {
            if (Get16(cdb + 8) != 0) return TSimCmd::FlashWriteBlock;
            return cdb[6] == 5 ? TSimCmd::FlashRetry : TSimCmd::FlashCommit;
        }
        if (page == 0x32 && sub == 0x10) return TSimCmd::ReadMemory32;
        if (page == 0x38 && sub == 0x11) return TSimCmd::ReadMemory38;
        if (page == 0x38 && sub == 0xA3) return TSimCmd::ReadBootDescriptor;
        if (page == 0x38 && sub == 0xA2) return TSimCmd::WriteMemory;
        if (page == 0x33 && sub == 0x10) return TSimCmd::ReadDriveBuffer;
        return TSimCmd::Unknown;
    }
    if ((cdb[2] & 0x3F) == 0x2A) return TSimCmd::ModeSenseCapabilities;
    return TSimCmd::Unknown;
}

bool TSimDrive::Ready() const {
    const uint64_t now = Clock->NowMs();
    return !NotReadyForever && now >= NotReadyUntilMs && now >= ProgrammingUntilMs;
}

WORD TSimDrive::MemorySum(int blocks, const WORD *lengths) const {
    DWORD sum = 0;
    for (int i = 0; i < blocks && i < 8; ++i)
        for (DWORD a = 0; a < lengths[i]; ++a) sum += Memory[i][a];
    return static_cast<WORD>(sum);
}

int TSimDrive::Count(TSimCmd kind) const {
    int n = 0;
    for (const TSimTraceEntry &e : Trace)
        if (kind == TSimCmd::Any || e.Kind == kind) ++n;
    return n;
}

const TSimTraceEntry *TSimDrive::Last(TSimCmd kind) const {
    for (size_t i = Trace.size(); i > 0; --i)
        if (kind == TSimCmd::Any || Trace[i - 1].Kind == kind) return &Trace[i - 1];
    return nullptr;
}

BYTE TSimDrive::Command(const BYTE cdb[12], BYTE *data, DWORD length, BYTE direction,
                        BYTE sense[18], const TSimFault **fault) {
    const TSimCmd kind = Classify(cdb, length);
    ++CommandCount;
    if (fault) *fault = nullptr;
    if (sense) memset(sense, 0, 18);

    TSimTraceEntry entry;
    entry.Kind = kind;
    memcpy(entry.Cdb, cdb, 12);
    entry.Direction = direction;
    entry.Length = length;
    entry.Status = 0;
    entry.AtMs = Clock->NowMs();

    const TSimFault *fired = nullptr;
    for (TSimFault &f : Faults) {
        if (f.Times == 0) continue;
        if (f.Nth != 0 && f.Nth != CommandCount) continue;
        if (f.Kind != TSimCmd::Any && f.Kind != kind) continue;
        if (f.Times > 0) --f.Times;
        fired = &f;
        break;
    }
    if (fault) *fault = fired;
    entry.Faulted = fired != nullptr;

    TSimSense s;
    BYTE status;
    if (fired && fired->DriverError && !fired->DriverWritesStatus) {
        // Lost on the way: the drive never acts on it.
        entry.DriverError = fired->DriverError;
        Trace.push_back(entry);
        return 0;
    }
    if (fired && fired->Status != 0) {
        status = fired->Status;
        if (status == 2) s = fired->Sense;
    } else {
        status = Execute(kind, cdb, data, length, direction, s);
    }
    if (fired) entry.DriverError = fired->DriverError;

    if (status != 2) s = TSimSense();
    if (kind != TSimCmd::RequestSense) LastSense = s;
    if (sense && status == 2) {
        sense[0] = 0x70;
        sense[2] = s.Key;
        sense[7] = 10;
        sense[12] = s.Asc;
        sense[13] = s.Ascq;
    }
    entry.Status = status;
    entry.Sense = s;
    Trace.push_back(entry);
    return status;
}

BYTE TSimDrive::Reject(TSimSense &sense, BYTE key, BYTE asc, BYTE ascq, const char *why) {
    sense.Key = key;
    sense.Asc = asc;
    sense.Ascq = ascq;
    LastReject = why;
    return 2;
}

BYTE TSimDrive::Execute(TSimCmd kind, const BYTE *cdb, BYTE *data, DWORD length, BYTE direction,
                        TSimSense &sense) {
    if (kind == TSimCmd::Unknown) return Reject(sense, 5, 0x20, 0, "unknown command");
    // With data on the bus, its direction must be the command's.
    if (length > 0 && direction != DirectionOf(kind))
        return Reject(sense, 5, 0x24, 0, "data direction does not fit the command");
    if (length > 0 && !data) return Reject(sense, 5, 0x24, 0, "no data buffer");
    if (NeedsReady(kind) && !Ready()) {
        sense.Key = 2;
        sense.Asc = 0x04;
        sense.Ascq = 0x01;
        return 2;
    }

    switch (kind) {
    case TSimCmd::TestUnitReady:
        if (TrayOpen) {
            sense = TSimSense{2, 0x3A, 0x02};
            return 2;
        }
        if (NoMedium) {
            sense = TSimSense{2, 0x3A, 0x00};
            return 2;
        }
        return 0;

    case TSimCmd::Inquiry:
        memcpy(data, InquiryData, Min3(cdb[4], length, sizeof InquiryData));
        return 0;

    case TSimCmd::RequestSense: {
        BYTE answer[18] = {0x70, 0, LastSense.Key, 0, 0, 0, 0, 10, 0, 0, 0, 0,
                           LastSense.Asc, LastSense.Ascq, 0, 0, 0, 0};
        memcpy(data, answer, Min3(cdb[4], length, sizeof answer));
        return 0;
    }

    case TSimCmd::StopPlayScan:
    case TSimCmd::StopUnit:
        return 0;

    case TSimCmd::ModeSenseCapabilities:
        memcpy(data, Capabilities, Min3(Get16(cdb + 7), length, sizeof Capabilities));
        return 0;

    case TSimCmd::GetEventStatus: {
        if (!(cdb[1] & 1)) return Reject(sense, 5, 0x24, 0, "asynchronous event status");
        BYTE answer[8] = {0, 2, 0x80, 0x10, 0, 0, 0, 0};  // no event of the classes asked
        if (cdb[4] & 0x10) {
            answer[1] = 6;
            answer[2] = 0x04;                              // media class
            answer[5] = static_cast<BYTE>((TrayOpen ? 1 : 0) | (NoMedium ? 0 : 2));
        }
        memcpy(data, answer, Min3(Get16(cdb + 7), length, sizeof answer));
        return 0;
    }

    case TSimCmd::ReadMemory32:
    case TSimCmd::ReadMemory38: {
        const BYTE block = kind == TSimCmd::ReadMemory32 ? cdb[8] : cdb[9];
        if (block >= 8) return Reject(sense, 5, 0x24, 0, "memory block out of range");
        const DWORD address = Get16(cdb + 6);
        const DWORD n = length < 256 ? length : 256;
        for (DWORD i = 0; i < n; ++i)
            data[i] = address + i < 65536 ? Memory[block][address + i] : 0;
        return 0;
    }

    case TSimCmd::ReadBootDescriptor:
        for (DWORD i = 0; i < length && i < 65536; ++i)
            data[i] = i < sizeof BootDescriptor ? BootDescriptor[i] : 0;
        return 0;

    case TSimCmd::WriteMemory: {
        const BYTE block = cdb[7];
        const DWORD address = Get16(cdb + 8), n = cdb[11];
        if (n != length) return Reject(sense, 5, 0x24, 0, "write length differs from data sent");
        if (block >= 8) return Reject(sense, 5, 0x24, 0, "memory block out of range");
        if (address + n > 65536) return Reject(sense, 5, 0x21, 0, "write beyond the block");
        memcpy(&Memory[block][address], data, n);
        return 0;
    }

    case TSimCmd::ReadDriveBuffer: {
        const DWORD n = Min3(Get16(cdb + 8), length, static_cast<DWORD>(DriveBuffer.size()));
        if (n) memcpy(data, DriveBuffer.data(), n);
        return 0;
    }

    case TSimCmd::FlashWriteBlock: {
        const BYTE mode = cdb[6], block = cdb[7];
        const DWORD n = Get16(cdb + 8);
        if (n != length) return Reject(sense, 5, 0x24, 0, "block length differs from data sent");
        if (mode != 5) return Reject(sense, 5, 0x24, 0, "block write with a mode other than 5");
        if (block >= 8) return Reject(sense, 5, 0x24, 0, "block number out of range");
        if (n > MaxBlockLength) return Reject(sense, 5, 0x24, 0, "block longer than the drive takes");
        // Block 0 starts a new download; every other block follows the last.
        if (block == 0) ReceivedBlocks = 0;
        if (block != ReceivedBlocks) return Reject(sense, 5, 0x24, 0, "block out of order");
        memcpy(Staging[block], data, n);
        ReceivedLength[block] = n;
        ReceivedBlocks = block + 1;
        Committed = false;
        return 0;
    }

    case TSimCmd::FlashCommit:
    case TSimCmd::FlashRetry:
        return Commit(cdb, sense);

    default:
        return Reject(sense, 5, 0x20, 0, "unknown command");
    }
}

WORD TSimDrive::DownloadSum() const {
    DWORD sum = 0;
    for (int i = 0; i < ReceivedBlocks; ++i) {
        DWORD n = ReceivedLength[i];
        if (ChecksumRule == TSimChecksumRule::Declared && DeclaredLengths[i] < n) n = DeclaredLengths[i];
        for (DWORD a = 0; a < n; ++a) sum += Staging[i][a];
    }
    return static_cast<WORD>(sum);
}

BYTE TSimDrive::Commit(const BYTE *cdb, TSimSense &sense) {
    const BYTE mode = cdb[6], code = cdb[7];
    const WORD parameter = static_cast<WORD>(Get16(cdb + 10));
    if (RejectCommitTimes > 0) {
        --RejectCommitTimes;
        ++CommitRejects;
        sense = RejectCommitSense;
        LastReject = "commit refused (RejectCommitTimes)";
        return 2;
    }
    const bool retry = mode == 5;
    if (!retry && mode != 4) return Reject(sense, 5, 0x24, 0, "commit with a mode other than 4");
    const BYTE kind = code & 0xF0, count = code & 0x0F;
    if (kind != 0xE0 && !(retry && kind == 0xF0))
        return Reject(sense, 5, 0x24, 0, "commit block byte is not 0xE0 + n");
    if (ReceivedBlocks == 0) return Reject(sense, 5, 0x24, 0, "commit without a download");
    if (count != ReceivedBlocks) return Reject(sense, 5, 0x24, 0, "commit block count differs from blocks received");
    if (ChecksumRule != TSimChecksumRule::Off && parameter != DownloadSum())
        return Reject(sense, 5, 0x24, 0, "commit checksum differs from the bytes received");

    for (int i = 0; i < 8; ++i) CommittedLength[i] = 0;
    for (int i = 0; i < ReceivedBlocks; ++i) {
        memcpy(Memory[i], Staging[i], ReceivedLength[i]);
        CommittedLength[i] = ReceivedLength[i];
    }
    ReceivedBlocks = 0;
    Committed = true;
    ++CommitCount;
    ProgrammingUntilMs = Clock->NowMs() + ProgrammingMs;
    return 0;
}
