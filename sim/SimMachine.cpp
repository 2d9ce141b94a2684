// The simulated machine's front doors: the Os entries it puts in place.
#include "sim/SimMachine.h"
#include "drive/PassThrough.h"
#include <string.h>

TSimMachine *TSimMachine::Current = nullptr;

namespace {

// Handle values no real object of the process has.
const uintptr_t DriveHandleBase = 0x7D000000;
const uintptr_t EventHandleBase = 0x7E000000;
const HANDLE TokenHandle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7C000004));
const HMODULE AspiModuleHandle = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7A5F0000));

// Fresh buffers are not zero, so code that relies on cleared memory shows it.
const BYTE FreshBufferFill = 0xA5;

TSimMachine &M() { return *TSimMachine::Current; }

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

TSimMachine::NtSlot *SlotByHandle(HANDLE h) {
    for (TSimMachine::NtSlot &s : M().NtSlots)
        if (s.Handle == h) return &s;
    return nullptr;
}

TSimMachine::Event *EventByHandle(HANDLE h) {
    for (TSimMachine::Event &e : M().Events)
        if (e.Handle == h) return &e;
    return nullptr;
}

// ---- platform and library ----

BOOL WINAPI SimGetVersionExA(LPOSVERSIONINFOA info) {
    TSimMachine &m = M();
    m.VersionInfoSize = info->dwOSVersionInfoSize;
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
        info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    memset(reinterpret_cast<BYTE *>(info) + sizeof(DWORD), 0, sizeof(OSVERSIONINFOA) - sizeof(DWORD));
    if (m.IsNt) {
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 1;
        info->dwBuildNumber = 2600;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
        strcpy(info->szCSDVersion, "Service Pack 3");
    } else {
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 10;
        info->dwBuildNumber = 0x040A08AE;
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        strcpy(info->szCSDVersion, " A ");
    }
    return TRUE;
}

UINT WINAPI SimGetSystemDirectoryA(LPSTR buffer, UINT size) {
    TSimMachine &m = M();
    m.SystemDirectorySize = size;
    const UINT length = static_cast<UINT>(m.SystemDirectory.size());
    if (size <= length) return length + 1;  // too small: the size needed, buffer untouched
    memcpy(buffer, m.SystemDirectory.c_str(), length + 1);
    return length;
}

bool EndsWithAspiName(const char *path) {
    const size_t n = strlen(path), k = strlen("WNASPI32.DLL");
    return n >= k && lstrcmpiA(path + n - k, "WNASPI32.DLL") == 0;
}

HMODULE WINAPI SimLoadLibraryA(LPCSTR path) {
    TSimMachine &m = M();
    m.LoadedPaths.push_back(path ? path : "");
    if (!path) return nullptr;
    const std::string expected = m.SystemDirectory + "\\WNASPI32.DLL";
    if (lstrcmpiA(path, expected.c_str()) == 0 && m.AspiLibraryPresent) return AspiModuleHandle;
    // Never the machine's real ASPI layer.
    if (EndsWithAspiName(path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return m.Saved.LoadLibraryA(path);
}

DWORD __cdecl SimGetASPI32SupportInfo(void) {
    TSimMachine &m = M();
    m.Aspi.AdapterCount = m.AspiAdapterCount;
    return m.Aspi.SupportInfo();
}

DWORD __cdecl SimSendASPI32Command(void *request) {
    TSimMachine &m = M();
    m.Aspi.AdapterCount = m.AspiAdapterCount;
    m.Aspi.DeviceTypeQueryLate = m.DeviceTypeQueryLate;
    DWORD result = m.Aspi.Send(request);
    m.AbortCount = m.Aspi.AbortCount;
    return result;
}

FARPROC WINAPI SimGetProcAddress(HMODULE module, LPCSTR name) {
    TSimMachine &m = M();
    if (module != AspiModuleHandle) return m.Saved.GetProcAddress(module, name);
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) {  // by ordinal: not offered
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (m.AspiMissingEntry && strcmp(name, m.AspiMissingEntry) == 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (strcmp(name, "GetASPI32SupportInfo") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&SimGetASPI32SupportInfo));
    if (strcmp(name, "SendASPI32Command") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&SimSendASPI32Command));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI SimFreeLibrary(HMODULE module) {
    TSimMachine &m = M();
    if (module != AspiModuleHandle) return m.Saved.FreeLibrary(module);
    ++m.FreeLibraryCount;
    return TRUE;
}

// ---- drives ----

int LetterIndex(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? c - 'A' : -1;
}

UINT WINAPI SimGetDriveTypeA(LPCSTR root) {
    TSimMachine &m = M();
    m.ProbedRoots.push_back(root ? root : "");
    if (!root || strlen(root) != 3 || root[1] != ':' || root[2] != '\\') return DRIVE_NO_ROOT_DIR;
    const int i = LetterIndex(root[0]);
    if (i < 0) return DRIVE_NO_ROOT_DIR;
    for (const TSimMachine::NtSlot &s : m.NtSlots)
        if (LetterIndex(s.Letter) == i) return DRIVE_CDROM;
    return m.DriveTypes[i];
}

HANDLE WINAPI SimCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
    TSimMachine &m = M();
    const bool device = name && strlen(name) == 6 && strncmp(name, "\\\\.\\", 4) == 0 && name[5] == ':';
    if (!device) return m.Saved.CreateFileA(name, access, share, security, disposition, flags, templateFile);

    TSimMachine::Open open{name, access, share, disposition, flags, security != nullptr,
                           templateFile != nullptr, INVALID_HANDLE_VALUE};
    HANDLE result = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (TSimMachine::NtSlot &s : m.NtSlots) {
        if (LetterIndex(s.Letter) != LetterIndex(name[4])) continue;
        if (s.OpenFails) {
            error = ERROR_ACCESS_DENIED;
        } else if (disposition != OPEN_EXISTING) {
            error = ERROR_INVALID_PARAMETER;
        } else {
            s.Open = true;
            result = s.Handle;
        }
        break;
    }
    open.Result = result;
    m.Opens.push_back(open);
    if (result == INVALID_HANDLE_VALUE) SetLastError(error);
    return result;
}

BOOL WINAPI SimCloseHandle(HANDLE handle) {
    TSimMachine &m = M();
    if (TSimMachine::NtSlot *s = SlotByHandle(handle)) {
        m.Closed.push_back(handle);
        if (!s->Open) return Fail(ERROR_INVALID_HANDLE);
        s->Open = false;
        return TRUE;
    }
    if (TSimMachine::Event *e = EventByHandle(handle)) {
        m.Closed.push_back(handle);
        if (!e->Open) return Fail(ERROR_INVALID_HANDLE);
        e->Open = false;
        return TRUE;
    }
    if (handle == TokenHandle) {
        m.Closed.push_back(handle);
        return TRUE;
    }
    return m.Saved.CloseHandle(handle);
}

// The pass-through request, read as the CD-ROM class driver reads it.
BOOL WINAPI SimDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                               DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    TSimMachine &m = M();
    TSimIoctl record;
    memset(&record, 0, sizeof record);
    record.Device = device;
    record.Code = code;
    record.InSize = inSize;
    record.OutSize = outSize;
    record.SameBuffer = in == out;
    record.Overlapped = overlapped != nullptr;
    if (in) memcpy(record.Request, in, inSize < sizeof record.Request ? inSize : sizeof record.Request);
    m.Ioctls.push_back(record);
    auto fail = [&m](DWORD error) {
        m.Ioctls.back().Error = error;
        return Fail(error);
    };

    TSimMachine::NtSlot *slot = SlotByHandle(device);
    if (!slot || !slot->Open) return fail(ERROR_INVALID_HANDLE);
    if (code != IOCTL_PASS_THROUGH_DIRECT) return fail(ERROR_INVALID_FUNCTION);
    const DWORD header = sizeof(ScsiPassThroughDirect);
    if (!in || !out || inSize < header || outSize < header || (!returned && !overlapped))
        return fail(ERROR_INVALID_PARAMETER);

    const ScsiPassThroughDirect *request = static_cast<const ScsiPassThroughDirect *>(in);
    if (request->Length != header || request->CdbLength == 0 || request->CdbLength > 16 ||
        request->DataIn > SCSI_IOCTL_DATA_UNSPECIFIED ||
        (request->DataTransferLength > 0 && !request->DataBuffer) ||
        (request->DataIn == SCSI_IOCTL_DATA_UNSPECIFIED && request->DataTransferLength > 0))
        return fail(ERROR_INVALID_PARAMETER);
    if (request->SenseInfoLength > 0 &&
        (request->SenseInfoOffset < header ||
         request->SenseInfoOffset + request->SenseInfoLength > outSize))
        return fail(ERROR_INVALID_PARAMETER);

    ScsiPassThroughDirect *answer = static_cast<ScsiPassThroughDirect *>(out);
    if (out != in) memcpy(out, in, header);

    BYTE cdb[12];
    memcpy(cdb, request->Cdb, 12);
    const BYTE direction = request->DataIn == SCSI_IOCTL_DATA_IN    ? 8
                           : request->DataIn == SCSI_IOCTL_DATA_OUT ? 16
                                                                    : 0;
    BYTE sense[18];
    const TSimFault *fault = nullptr;
    const BYTE status = slot->Drive->Command(cdb, static_cast<BYTE *>(request->DataBuffer),
                                             request->DataTransferLength, direction, sense, &fault);
    if (fault && fault->DriverError && !fault->DriverWritesStatus) return fail(fault->DriverError);

    answer->ScsiStatus = status;
    DWORD senseBytes = 0;
    if (status == 2 && answer->SenseInfoLength > 0) {
        senseBytes = answer->SenseInfoLength < 18 ? answer->SenseInfoLength : 18;
        memcpy(static_cast<BYTE *>(out) + answer->SenseInfoOffset, sense, senseBytes);
    }
    answer->SenseInfoLength = static_cast<UCHAR>(senseBytes);
    if (returned) *returned = senseBytes ? answer->SenseInfoOffset + senseBytes : header;
    if (fault && fault->DriverError) return fail(fault->DriverError);
    return TRUE;
}

// ---- events and time ----

void SimSignalEvent(HANDLE event) {
    if (TSimMachine::Current)
        if (TSimMachine::Event *e = EventByHandle(event)) e->Signalled = true;
}

HANDLE WINAPI SimCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                              LPCSTR name) {
    TSimMachine &m = M();
    if (m.CreateEventFails) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    TSimMachine::Event e;
    e.Handle = reinterpret_cast<HANDLE>(EventHandleBase + 4 * (m.Events.size() + 1));
    e.Security = security != nullptr;
    e.ManualReset = manualReset != FALSE;
    e.InitialState = initialState != FALSE;
    e.Named = name != nullptr;
    e.Open = true;
    e.Signalled = e.InitialState;
    m.Events.push_back(e);
    return e.Handle;
}

DWORD WINAPI SimWaitForSingleObject(HANDLE handle, DWORD ms) {
    TSimMachine &m = M();
    TSimMachine::Event *e = EventByHandle(handle);
    if (!e) return m.Saved.WaitForSingleObject(handle, ms);
    m.Waits.push_back(ms);
    if (!e->Open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    m.Aspi.CompleteDue();
    if (e->Signalled) return WAIT_OBJECT_0;
    const uint64_t now = m.Clock.NowMs();
    for (size_t i = 0; i < m.Aspi.PendingList.size(); ++i) {
        const TSimAspi::Pending &p = m.Aspi.PendingList[i];
        if (p.Event != handle || p.Never) continue;
        if (ms == INFINITE || p.DueMs <= now + ms) {
            if (p.DueMs > now) m.Clock.Advance(p.DueMs - now);
            m.Aspi.Complete(i);
            e = EventByHandle(handle);
            return WAIT_OBJECT_0;
        }
    }
    // Nothing will signal it: a wait for ever would never return.
    if (ms == INFINITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    m.Clock.Advance(ms);
    return WAIT_TIMEOUT;
}

void WINAPI SimSleep(DWORD ms) {
    TSimMachine &m = M();
    m.Sleeps.push_back(ms);
    m.Clock.Advance(ms);
    m.Aspi.CompleteDue();
}

DWORD SimTime(void) { return M().Clock.Seconds(); }

// Device-type queries that finish later: a thread timer, whose message the
// enumeration's message pump dispatches.
struct TDeferredQuery {
    UINT_PTR Timer;
    SRB_GDEVBlock *Query;
    BYTE Type;
};
std::vector<TDeferredQuery> DeferredQueries;

void CALLBACK FinishTypeQuery(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    for (size_t i = 0; i < DeferredQueries.size(); ++i) {
        if (DeferredQueries[i].Timer != timer) continue;
        DeferredQueries[i].Query->SRB_DeviceType = DeferredQueries[i].Type;
        DeferredQueries[i].Query->SRB_Status = SS_COMP;
        DeferredQueries.erase(DeferredQueries.begin() + static_cast<long>(i));
        return;
    }
}

void SimDeferTypeQuery(SRB_GDEVBlock *query, BYTE type) {
    UINT_PTR timer = SetTimer(nullptr, 0, 1, &FinishTypeQuery);
    DeferredQueries.push_back(TDeferredQuery{timer, query, type});
}

// ---- messages, restart ----

int WINAPI SimMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    TSimMachine &m = M();
    m.Boxes.push_back(TSimMachine::Box{text ? text : "", caption ? caption : "", type, owner});
    if (m.AnswersUsed < m.Answers.size()) return m.Answers[m.AnswersUsed++];
    return IDOK;
}

BOOL WINAPI SimOpenProcessToken(HANDLE, DWORD access, PHANDLE token) {
    M().TokenAccess = access;
    *token = TokenHandle;
    return TRUE;
}

BOOL WINAPI SimLookupPrivilegeValueA(LPCSTR, LPCSTR name, PLUID luid) {
    M().PrivilegeNames.push_back(name ? name : "");
    luid->LowPart = 19;
    luid->HighPart = 0;
    return TRUE;
}

BOOL WINAPI SimAdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                     PDWORD) {
    ++M().PrivilegeRequests;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI SimExitWindowsEx(UINT flags, DWORD reserved) {
    TSimMachine &m = M();
    ++m.RestartRequests;
    m.Restarts.push_back(TSimMachine::Restart{flags, reserved});
    return TRUE;
}

// ---- working buffers ----

void *SimAllocBuffer(DWORD size) {
    TSimMachine &m = M();
    const int index = m.AllocCalls++;
    m.AllocSizes.push_back(size);
    if (m.FailAllocAfter >= 0 && index >= m.FailAllocAfter) return nullptr;
    TSimMachine::Buffer b{nullptr, nullptr, m.GuardedBuffers};
    if (m.GuardedBuffers) {
        // The buffer's last byte is the last byte before a no-access page.
        const DWORD page = 4096, pages = (size + page - 1) / page;
        BYTE *base = static_cast<BYTE *>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT, PAGE_READWRITE));
        if (!base) return nullptr;
        DWORD old;
        VirtualProtect(base + pages * page, page, PAGE_NOACCESS, &old);
        b.Base = base;
        b.Pointer = base + pages * page - size;
    } else {
        b.Pointer = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
        if (!b.Pointer) return nullptr;
        b.Base = b.Pointer;
    }
    memset(b.Pointer, FreshBufferFill, size);
    m.Buffers.push_back(b);
    ++m.BuffersOut;
    return b.Pointer;
}

void SimFreeBuffer(void *pointer) {
    TSimMachine &m = M();
    if (!pointer) return;
    for (size_t i = 0; i < m.Buffers.size(); ++i) {
        if (m.Buffers[i].Pointer != pointer) continue;
        if (m.Buffers[i].Guarded) VirtualFree(m.Buffers[i].Base, 0, MEM_RELEASE);
        else HeapFree(GetProcessHeap(), 0, m.Buffers[i].Base);
        m.Buffers.erase(m.Buffers.begin() + static_cast<long>(i));
        --m.BuffersOut;
        return;
    }
    ++m.BadFrees;  // not ours, or freed twice: left alone
}

}  // namespace

// ---- the machine ----

TSimMachine::TSimMachine() : Saved(Os) {
    for (UINT &t : DriveTypes) t = DRIVE_NO_ROOT_DIR;
    Aspi.Clock = &Clock;
    Aspi.SignalEvent = &SimSignalEvent;
    Aspi.DeferTypeQuery = &SimDeferTypeQuery;
}

TSimMachine::~TSimMachine() {
    Uninstall();
}

TSimDrive *TSimMachine::AddNtDrive(char letter, bool openFails) {
    NtSlot s;
    s.Letter = static_cast<char>(LetterIndex(letter) >= 0 ? 'A' + LetterIndex(letter) : letter);
    s.OpenFails = openFails;
    s.Open = false;
    s.Handle = reinterpret_cast<HANDLE>(DriveHandleBase + 4 * (NtSlots.size() + 1));
    s.Drive.reset(new TSimDrive());
    s.Drive->Clock = &Clock;
    NtSlots.push_back(std::move(s));
    return NtSlots.back().Drive.get();
}

void TSimMachine::SetDriveType(char letter, UINT type) {
    const int i = LetterIndex(letter);
    if (i >= 0) DriveTypes[i] = type;
}

TSimDrive *TSimMachine::AddAspiDevice(BYTE adapter, BYTE target, BYTE lun, BYTE deviceType) {
    AspiDrives.emplace_back(new TSimDrive());
    TSimDrive *d = AspiDrives.back().get();
    d->Clock = &Clock;
    d->InquiryData[0] = deviceType;
    Aspi.Devices.push_back(TSimAspi::Device{adapter, target, lun, deviceType, d});
    return d;
}

TSimDrive *TSimMachine::NtDrive(char letter) {
    for (NtSlot &s : NtSlots)
        if (LetterIndex(s.Letter) == LetterIndex(letter)) return s.Drive.get();
    return nullptr;
}

TSimDrive *TSimMachine::AspiDrive(BYTE adapter, BYTE target, BYTE lun) {
    TSimAspi::Device *d = Aspi.Find(adapter, target, lun);
    return d ? d->Drive : nullptr;
}

HANDLE TSimMachine::NtHandle(char letter) const {
    for (const NtSlot &s : NtSlots)
        if (LetterIndex(s.Letter) == LetterIndex(letter)) return s.Handle;
    return INVALID_HANDLE_VALUE;
}

int TSimMachine::EventsOpen() const {
    int n = 0;
    for (const Event &e : Events)
        if (e.Open) ++n;
    return n;
}

void TSimMachine::Install(bool nt) {
    if (Current && Current != this) Current->Uninstall();
    if (Current != this) Saved = Os;
    Current = this;
    IsNt = nt;
    Os.GetVersionExA = &SimGetVersionExA;
    Os.GetSystemDirectoryA = &SimGetSystemDirectoryA;
    Os.LoadLibraryA = &SimLoadLibraryA;
    Os.GetProcAddress = &SimGetProcAddress;
    Os.FreeLibrary = &SimFreeLibrary;
    Os.GetDriveTypeA = &SimGetDriveTypeA;
    Os.CreateFileA = &SimCreateFileA;
    Os.CloseHandle = &SimCloseHandle;
    Os.DeviceIoControl = &SimDeviceIoControl;
    Os.CreateEventA = &SimCreateEventA;
    Os.WaitForSingleObject = &SimWaitForSingleObject;
    Os.Sleep = &SimSleep;
    Os.Time = &SimTime;
    Os.MessageBoxA = &SimMessageBoxA;
    Os.OpenProcessToken = &SimOpenProcessToken;
    Os.LookupPrivilegeValueA = &SimLookupPrivilegeValueA;
    Os.AdjustTokenPrivileges = &SimAdjustTokenPrivileges;
    Os.ExitWindowsEx = &SimExitWindowsEx;
    Os.AllocBuffer = &SimAllocBuffer;
    Os.FreeBuffer = &SimFreeBuffer;
}

void TSimMachine::Uninstall() {
    if (Current != this) return;
    for (const TDeferredQuery &q : DeferredQueries) KillTimer(nullptr, q.Timer);
    DeferredQueries.clear();
    Os = Saved;
    Current = nullptr;
}
