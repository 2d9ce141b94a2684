// What the simulated drives wrote down while the program ran: the trace of
// every command, the summary of each drive's state, the memory of a drive
// (the demo program's memory-X.bin), and the carried image they are
// compared with.
#pragma once
#include <windows.h>
#include <map>
#include <string>
#include <vector>

// One command as the drive received it.
struct TTraceCommand {
    unsigned long Ms = 0;
    std::string Device;   // "0:0:0" (ASPI) or "D:" (drive letter)
    std::string Kind;     // the simulator's name of the command: "FlashCommit", ...
    BYTE Cdb[12] = {};
    unsigned Direction = 0;
    unsigned long Length = 0;
    unsigned Status = 0;
    BYTE Key = 0, Asc = 0, Ascq = 0;
};

struct TTrace {
    bool Read = false;
    std::vector<std::string> Lines;         // every line
    std::vector<TTraceCommand> Commands;    // the command lines, in order
    // The commands of one device, optionally of one kind only.
    std::vector<TTraceCommand> Of(const std::string &device, const std::string &kind = "") const;
    // The kinds of one device's commands, in order.
    std::vector<std::string> KindsOf(const std::string &device) const;
    bool HasLineEnding(const std::string &text) const;
};
TTrace ReadTrace(const std::string &path);

struct TDriveSummary {
    int Commands = -1, Commits = -1, Rejected = -1;
    unsigned MemorySum[8] = {};
    unsigned CommittedLength[8] = {}, CommittedSum[8] = {};
};
struct TSummary {
    bool Read = false;
    std::map<std::string, TDriveSummary> Drives;   // by "0:0:0" or "D:"
    std::map<std::string, unsigned long long> Machine;  // the demo's machine line
};
TSummary ReadSummary(const std::string &path);

std::vector<BYTE> ReadFileBytes(const std::string &path);

// The image the program carries in a slot, as the drive should hold it.
struct TImage {
    int BlockCount = 0;
    WORD BlockLength[8] = {};
    WORD Checksum = 0;
    const BYTE *Block[8] = {};
    unsigned BlockSum(int i) const;                 // 16-bit sum of the used bytes
    unsigned MemorySum(int i, BYTE fill) const;     // of a 64 KiB memory block holding it
};
TImage CarriedImage(int slot);

// Writes a text file; false when it could not be written.
bool WriteTextFile(const std::string &path, const std::string &text);
// A fresh, empty folder beside this program: <program folder>\work\<name>.
std::string FreshFolder(const std::string &name);
