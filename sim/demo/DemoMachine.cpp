// The demo program's machine: Windows of the NT family with two CD/DVD
// drives on letters D: and E:, in real time.
//
// D: is the drive the first carried image is made for; E: is a drive of
// another model, which the program does not offer to update. A file named
// by VESK_SIM_SCENARIO (the format of sim/README.md, [drive X] sections)
// replaces this machine, for instance with a drive that fails.
//
// Message boxes are real (the person answers them); the drives take time
// for each command, and programming after the commit takes a few seconds.
// A restart, when the person accepts it, restarts nothing: the simulated
// Windows ends the program, as a restart would.
//
// What happened can be written down for a test or a demonstration script:
// with VESK_SIM_OUTPUT naming a folder, the program writes there
//   trace.txt      one line per command as the drive received it, a line
//                  for a restart request (with the privilege asked for and
//                  the access the token was opened with), "ended" at the end;
//   summary.txt    per drive its command count, commits, rejected commits,
//                  the 16-bit sum of each memory block and of each block of
//                  the last accepted commit; then the machine's totals;
//   memory-X.bin   the eight 64 KiB memory blocks of the drive on X:.
// The summary and memory files are rewritten after every accepted commit and
// at the end. Without VESK_SIM_OUTPUT the scenario's "trace =" and
// "summary =" paths are used, if it names any.
#include "sim/demo/DemoMachine.h"
#include "sim/SimMachine.h"
#include "sim/SimScenario.h"
#include "os/OsReal.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

const char BuiltInMachine[] =
    "[drive D]\n"
    "vendor = VESK\n"
    "product = PLM-6100X DVD RW\n"
    "revision = 2.1\n"
    "byte38 = 0x44\n"                     // "D8": the version the first image requires
    "byte39 = 0x38\n"
    "capabilities = 8:2A A:3B B:13\n"     // reads CD and DVD; writes CD-R, CD-RW, DVD-R
    "programming_ms = 4000\n"
    "\n"
    "[drive E]\n"
    "vendor = VESK\n"
    "product = PLM-4820X CD-RW\n"
    "revision = 1.06\n"
    "byte38 = 0x43\n"
    "byte39 = 0x32\n"
    "capabilities = 8:2A A:03 B:03\n";

const char DemoName[] = "VESKFlash-sim";

// The drive's own time for a command, in milliseconds.
DWORD CommandDelayMs(const TSimTraceEntry &e) {
    switch (e.Kind) {
    case TSimCmd::FlashWriteBlock: return 50 + e.Length * 250 / 65536;  // into the drive's RAM
    case TSimCmd::FlashCommit:
    case TSimCmd::FlashRetry: return 50;
    case TSimCmd::WriteMemory: return 10;
    case TSimCmd::ReadBootDescriptor: return 20;
    case TSimCmd::ReadMemory32:
    case TSimCmd::ReadMemory38: return 2;
    default: return 1;
    }
}

// Everything lives on the heap: it is made during static initialisation
// and used until the process ends (the drive-access object closes its
// handle through the machine in its destructor).
struct TDemo {
    TSimMachine *Machine = nullptr;
    BOOL (WINAPI *MachineDeviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD,
                                          LPOVERLAPPED) = nullptr;
    BOOL (WINAPI *MachineExitWindowsEx)(UINT, DWORD) = nullptr;
    std::string SummaryPath, MemoryFolder;
    HANDLE Trace = INVALID_HANDLE_VALUE;
    std::vector<size_t> Seen;       // trace entries written, per drive
    std::vector<int> CommitsSeen;   // commits accounted for, per drive
    uint64_t DelayMs = 0;           // the drives' own time so far
};
TDemo *Demo;

std::string Environment(const char *name) {
    char value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

void Fatal(const std::string &text) {
    OsReal.MessageBoxA(nullptr, text.c_str(), DemoName, MB_OK | MB_ICONERROR);
    ExitProcess(2);
}

void WriteAll(HANDLE file, const char *data, DWORD size) {
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) WriteFile(file, data, size, &written, nullptr);
}

void Print(HANDLE file, const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) WriteAll(file, text, static_cast<DWORD>(n < int(sizeof text) ? n : int(sizeof text) - 1));
}

HANDLE CreateOutput(const std::string &path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

unsigned Sum16(const BYTE *bytes, DWORD length) {
    DWORD sum = 0;
    for (DWORD i = 0; i < length; ++i) sum += bytes[i];
    return sum & 0xFFFF;
}

void WriteSummary() {
    TSimMachine &m = *Demo->Machine;
    if (!Demo->SummaryPath.empty()) {
        HANDLE f = CreateOutput(Demo->SummaryPath);
        for (const TSimMachine::NtSlot &s : m.NtSlots) {
            const TSimDrive &d = *s.Drive;
            Print(f, "drive %c: commands=%d commits=%d rejected=%d\r\n", s.Letter, d.CommandCount,
                  d.CommitCount, d.CommitRejects);
            for (int i = 0; i < 8; ++i) Print(f, "memory %d sum=%04X\r\n", i, Sum16(d.Memory[i], 65536));
            for (int i = 0; i < 8; ++i)
                if (d.CommittedLength[i])
                    Print(f, "committed %d length=%04X sum=%04X\r\n", i,
                          static_cast<unsigned>(d.CommittedLength[i]), Sum16(d.Memory[i], d.CommittedLength[i]));
        }
        uint64_t waits = 0;
        for (DWORD ms : m.Sleeps) waits += ms;
        Print(f, "machine waits_ms=%llu delays_ms=%llu buffers_out=%d restarts=%d\r\n",
              static_cast<unsigned long long>(waits), static_cast<unsigned long long>(Demo->DelayMs),
              m.BuffersOut, m.RestartRequests);
        if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    }
    if (!Demo->MemoryFolder.empty()) {
        for (const TSimMachine::NtSlot &s : m.NtSlots) {
            HANDLE f = CreateOutput(Demo->MemoryFolder + "\\memory-" + s.Letter + ".bin");
            WriteAll(f, reinterpret_cast<const char *>(s.Drive->Memory), sizeof s.Drive->Memory);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        }
    }
}

// Writes the commands the drives received since the last call, and the
// summary when a drive accepted a commit. Returns the drives' own time for
// those commands.
DWORD Flush() {
    TSimMachine &m = *Demo->Machine;
    DWORD delay = 0;
    bool committed = false;
    for (size_t k = 0; k < m.NtSlots.size(); ++k) {
        const TSimDrive &d = *m.NtSlots[k].Drive;
        for (; Demo->Seen[k] < d.Trace.size(); ++Demo->Seen[k]) {
            const TSimTraceEntry &e = d.Trace[Demo->Seen[k]];
            delay += CommandDelayMs(e);
            char cdb[25];
            for (int i = 0; i < 12; ++i) snprintf(cdb + 2 * i, 3, "%02X", e.Cdb[i]);
            Print(Demo->Trace, "%llu %c: %s cdb=%s dir=%u len=%lu status=%u sense=%02X/%02X/%02X\r\n",
                  static_cast<unsigned long long>(e.AtMs), m.NtSlots[k].Letter, SimCmdName(e.Kind), cdb,
                  e.Direction, static_cast<unsigned long>(e.Length), e.Status, e.Sense.Key, e.Sense.Asc,
                  e.Sense.Ascq);
        }
        if (d.CommitCount != Demo->CommitsSeen[k]) {
            Demo->CommitsSeen[k] = d.CommitCount;
            committed = true;
        }
    }
    if (committed) WriteSummary();
    return delay;
}

BOOL WINAPI DemoDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    const BOOL ok = Demo->MachineDeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
    const DWORD error = GetLastError();
    const DWORD delay = Flush();
    if (delay) {
        Demo->DelayMs += delay;
        Demo->Machine->Clock.Advance(delay);
    }
    SetLastError(error);
    return ok;
}

// The simulated Windows restarts: it ends the program, as a real restart
// would, once the program has gone back to its message loop.
BOOL WINAPI DemoExitWindowsEx(UINT flags, DWORD reserved) {
    const BOOL ok = Demo->MachineExitWindowsEx(flags, reserved);
    Flush();
    const TSimMachine &m = *Demo->Machine;
    Print(Demo->Trace, "%llu restart flags=%u privilege=%s token_access=%lx\r\n",
          static_cast<unsigned long long>(m.Clock.NowMs()), flags,
          m.PrivilegeNames.empty() ? "(none)" : m.PrivilegeNames.back().c_str(),
          static_cast<unsigned long>(m.TokenAccess));
    WriteSummary();
    PostQuitMessage(0);
    return ok;
}

void AtEnd() {
    Flush();
    WriteSummary();
    Print(Demo->Trace, "%llu ended\r\n", static_cast<unsigned long long>(Demo->Machine->Clock.NowMs()));
    if (Demo->Trace != INVALID_HANDLE_VALUE) CloseHandle(Demo->Trace);
    Demo->Trace = INVALID_HANDLE_VALUE;
}

}  // namespace

void DemoInstall() {
    if (Demo) return;

    TSimScenario scenario;
    const std::string file = Environment("VESK_SIM_SCENARIO");
    const bool loaded = file.empty() ? scenario.Parse(BuiltInMachine) : scenario.Load(file.c_str());
    if (!loaded) {
        char line[16];
        snprintf(line, sizeof line, "%d", scenario.ErrorLine);
        Fatal("Scenario " + (file.empty() ? std::string("(built in)") : file) + ", line " + line + ": " +
              scenario.Error);
    }

    Demo = new TDemo();
    TSimMachine *m = new TSimMachine();
    Demo->Machine = m;
    m->Clock.Virtual = false;
    for (TSimScenarioDevice &device : scenario.Devices) {
        if (!device.Letter) Fatal("Scenario " + file + ": the machine has drive letters only ([drive X])");
        TSimDrive *drive = m->AddNtDrive(device.Letter, device.OpenFails);
        TSimClock *clock = drive->Clock;
        *drive = *device.Drive;
        drive->Clock = clock;
    }
    m->Install(true);

    // The person answers the boxes; the drives take their time; a restart
    // ends the program.
    Os.MessageBoxA = OsReal.MessageBoxA;
    Demo->MachineDeviceIoControl = Os.DeviceIoControl;
    Os.DeviceIoControl = &DemoDeviceIoControl;
    Demo->MachineExitWindowsEx = Os.ExitWindowsEx;
    Os.ExitWindowsEx = &DemoExitWindowsEx;

    const std::string folder = Environment("VESK_SIM_OUTPUT");
    std::string trace = scenario.TracePath;
    Demo->SummaryPath = scenario.SummaryPath;
    if (!folder.empty()) {
        trace = folder + "\\trace.txt";
        Demo->SummaryPath = folder + "\\summary.txt";
        Demo->MemoryFolder = folder;
    }
    if (!trace.empty()) {
        Demo->Trace = CreateOutput(trace);
        Print(Demo->Trace, "scenario %s\r\n", file.empty() ? "(built in)" : file.c_str());
    }
    Demo->Seen.assign(m->NtSlots.size(), 0);
    Demo->CommitsSeen.assign(m->NtSlots.size(), 0);
    WriteSummary();
    atexit(&AtEnd);
}
