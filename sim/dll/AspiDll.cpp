// The simulated ASPI for Win32 layer as a real wnaspi32.dll, for running the
// program itself against simulated drives under Wine in Windows 98 mode.
//
// At load it reads its scenario from the file named by VESK_SIM_SCENARIO,
// or from vesksim.txt beside the DLL. Every command goes to a line of the
// trace file as it happens; the drives' state (commits, memory sums) is
// written to the summary file after each accepted commit and at unload.
// Time is real: a late completion finishes on a thread of its own.
#include "sim/SimAspi.h"
#include "sim/SimScenario.h"
#include <stdio.h>
#include <string.h>

namespace {

CRITICAL_SECTION Lock;
TSimClock Clock;
TSimAspi Layer;
TSimScenario Scenario;
HANDLE TraceFile = INVALID_HANDLE_VALUE;
std::string SummaryPath;
std::vector<size_t> TraceSeen;  // trace entries already written, per device
std::vector<int> CommitsSeen;

struct TGuard {
    TGuard() { EnterCriticalSection(&Lock); }
    ~TGuard() { LeaveCriticalSection(&Lock); }
};

void WriteText(HANDLE file, const std::string &text) {
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Line(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    WriteText(TraceFile, text);
}

void WriteSummary() {
    if (SummaryPath.empty()) return;
    HANDLE f = CreateFileA(SummaryPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    char text[256];
    for (const TSimScenarioDevice &d : Scenario.Devices) {
        const TSimDrive &drive = *d.Drive;
        snprintf(text, sizeof text, "device %u:%u:%u commands=%d commits=%d rejected=%d\r\n",
                 d.Adapter, d.Target, d.Lun, drive.CommandCount, drive.CommitCount, drive.CommitRejects);
        WriteText(f, text);
        for (int i = 0; i < 8; ++i) {
            DWORD sum = 0;
            for (DWORD a = 0; a < 65536; ++a) sum += drive.Memory[i][a];
            snprintf(text, sizeof text, "memory %d sum=%04X\r\n", i, static_cast<unsigned>(sum & 0xFFFF));
            WriteText(f, text);
        }
        for (int i = 0; i < 8; ++i) {
            if (!drive.CommittedLength[i]) continue;
            DWORD sum = 0;
            for (DWORD a = 0; a < drive.CommittedLength[i]; ++a) sum += drive.Memory[i][a];
            snprintf(text, sizeof text, "committed %d length=%04X sum=%04X\r\n", i,
                     static_cast<unsigned>(drive.CommittedLength[i]), static_cast<unsigned>(sum & 0xFFFF));
            WriteText(f, text);
        }
    }
    CloseHandle(f);
}

// New trace entries of every drive go to the trace file.
void Flush() {
    bool committed = false;
    for (size_t k = 0; k < Scenario.Devices.size(); ++k) {
        const TSimScenarioDevice &d = Scenario.Devices[k];
        const TSimDrive &drive = *d.Drive;
        for (; TraceSeen[k] < drive.Trace.size(); ++TraceSeen[k]) {
            const TSimTraceEntry &e = drive.Trace[TraceSeen[k]];
            char cdb[40];
            for (int i = 0; i < 12; ++i) snprintf(cdb + 2 * i, 3, "%02X", e.Cdb[i]);
            Line("%lu %u:%u:%u %s cdb=%s dir=%u len=%lu status=%u sense=%02X/%02X/%02X\r\n",
                 static_cast<unsigned long>(e.AtMs), d.Adapter, d.Target, d.Lun, SimCmdName(e.Kind), cdb,
                 e.Direction, static_cast<unsigned long>(e.Length), e.Status, e.Sense.Key, e.Sense.Asc,
                 e.Sense.Ascq);
        }
        if (drive.CommitCount != CommitsSeen[k]) {
            CommitsSeen[k] = drive.CommitCount;
            committed = true;
        }
    }
    if (committed) WriteSummary();
}

void SignalEvent(HANDLE event) { SetEvent(event); }

// Late completions: one thread per request, finishing it when its time comes.
DWORD WINAPI FinishLater(void *) {
    for (;;) {
        uint64_t wait = 0;
        {
            TGuard g;
            Layer.CompleteDue();
            bool any = false;
            const uint64_t now = Clock.NowMs();
            for (const TSimAspi::Pending &p : Layer.PendingList) {
                if (p.Never) continue;
                const uint64_t left = p.DueMs > now ? p.DueMs - now : 0;
                if (!any || left < wait) wait = left;
                any = true;
            }
            if (!any) return 0;
        }
        Sleep(static_cast<DWORD>(wait ? wait : 1));
    }
}

void Deferred(TSimAspi *) {
    HANDLE t = CreateThread(nullptr, 0, &FinishLater, nullptr, 0, nullptr);
    if (t) CloseHandle(t);
}

struct TLateQuery {
    SRB_GDEVBlock *Query;
    BYTE Type;
};

DWORD WINAPI FinishTypeQuery(void *parameter) {
    TLateQuery *q = static_cast<TLateQuery *>(parameter);
    Sleep(static_cast<DWORD>(Scenario.TypeQueryLateMs));
    {
        TGuard g;
        q->Query->SRB_DeviceType = q->Type;
        q->Query->SRB_Status = SS_COMP;
    }
    delete q;
    return 0;
}

void DeferTypeQuery(SRB_GDEVBlock *query, BYTE type) {
    HANDLE t = CreateThread(nullptr, 0, &FinishTypeQuery, new TLateQuery{query, type}, 0, nullptr);
    if (t) CloseHandle(t);
}

std::string BesideDll(HMODULE module, const char *name) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, path, sizeof path);
    if (n == 0 || n >= sizeof path) return name;
    char *slash = strrchr(path, '\\');
    if (slash) slash[1] = 0;
    else path[0] = 0;
    return std::string(path) + name;
}

std::string Environment(const char *name) {
    char value[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

void Start(HMODULE module) {
    InitializeCriticalSection(&Lock);
    Clock.Virtual = false;
    std::string path = Environment("VESK_SIM_SCENARIO");
    if (path.empty()) path = BesideDll(module, "vesksim.txt");
    const bool loaded = Scenario.Load(path.c_str());

    std::string trace = Scenario.TracePath;
    if (trace.empty()) trace = BesideDll(module, "vesksim-trace.txt");
    SummaryPath = Scenario.SummaryPath.empty() ? BesideDll(module, "vesksim-summary.txt") : Scenario.SummaryPath;
    TraceFile = CreateFileA(trace.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!loaded) {
        // The layer then offers no adapter; the trace says why.
        Line("scenario %s: line %d: %s\r\n", path.c_str(), Scenario.ErrorLine, Scenario.Error.c_str());
        Scenario.Devices.clear();
        Scenario.Adapters = 0;
    } else {
        Line("scenario %s\r\n", path.c_str());
    }

    Layer.Clock = &Clock;
    Layer.AdapterCount = Scenario.Adapters;
    Layer.DeviceTypeQueryLate = Scenario.TypeQueryLate;
    Layer.SignalEvent = &SignalEvent;
    Layer.DeferTypeQuery = &DeferTypeQuery;
    Layer.Deferred = &Deferred;
    for (TSimScenarioDevice &d : Scenario.Devices) {
        d.Drive->Clock = &Clock;
        if (d.Letter == 0) Layer.Devices.push_back(TSimAspi::Device{d.Adapter, d.Target, d.Lun, d.Type, d.Drive.get()});
    }
    TraceSeen.assign(Scenario.Devices.size(), 0);
    CommitsSeen.assign(Scenario.Devices.size(), 0);
    WriteSummary();
}

// At unload no other thread of ours runs any more (or, at process end, none
// runs at all), so the lock is not taken: a thread ended while holding it
// would leave it taken for ever.
void Stop() {
    Flush();
    WriteSummary();
    Line("unloaded\r\n");
    if (TraceFile != INVALID_HANDLE_VALUE) CloseHandle(TraceFile);
    TraceFile = INVALID_HANDLE_VALUE;
}

}  // namespace

extern "C" DWORD __cdecl GetASPI32SupportInfo(void) {
    TGuard g;
    return Layer.SupportInfo();
}

extern "C" DWORD __cdecl SendASPI32Command(void *request) {
    TGuard g;
    const DWORD status = Layer.Send(request);
    Flush();
    return status;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        Start(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        Stop();
    }
    return TRUE;
}
