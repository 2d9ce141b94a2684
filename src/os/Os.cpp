#include "os/Os.h"

// Each entry is a small function of our own rather than the address of the
// imported function itself: our own functions' addresses are constants, so
// the table is filled before any static constructor runs (the drive-access
// object is built during static initialisation and uses it at once).
namespace {

BOOL WINAPI RealGetVersionExA(LPOSVERSIONINFOA info) { return ::GetVersionExA(info); }
UINT WINAPI RealGetSystemDirectoryA(LPSTR b, UINT n) { return ::GetSystemDirectoryA(b, n); }
HMODULE WINAPI RealLoadLibraryA(LPCSTR p) { return ::LoadLibraryA(p); }
FARPROC WINAPI RealGetProcAddress(HMODULE m, LPCSTR n) { return ::GetProcAddress(m, n); }
BOOL WINAPI RealFreeLibrary(HMODULE m) { return ::FreeLibrary(m); }
UINT WINAPI RealGetDriveTypeA(LPCSTR r) { return ::GetDriveTypeA(r); }
HANDLE WINAPI RealCreateFileA(LPCSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d,
                              DWORD f, HANDLE t) {
    return ::CreateFileA(n, a, s, sa, d, f, t);
}
BOOL WINAPI RealCloseHandle(HANDLE h) { return ::CloseHandle(h); }
BOOL WINAPI RealDeviceIoControl(HANDLE h, DWORD c, LPVOID i, DWORD is, LPVOID o, DWORD os,
                                LPDWORD r, LPOVERLAPPED ov) {
    return ::DeviceIoControl(h, c, i, is, o, os, r, ov);
}
DWORD WINAPI RealGetLastError(void) { return ::GetLastError(); }
DWORD WINAPI RealFormatMessageA(DWORD f, LPCVOID s, DWORD id, DWORD l, LPSTR b, DWORD n,
                                va_list *a) {
    return ::FormatMessageA(f, s, id, l, b, n, a);
}
HANDLE WINAPI RealCreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL m, BOOL i, LPCSTR n) {
    return ::CreateEventA(sa, m, i, n);
}
DWORD WINAPI RealWaitForSingleObject(HANDLE h, DWORD ms) { return ::WaitForSingleObject(h, ms); }
void WINAPI RealSleep(DWORD ms) { ::Sleep(ms); }

// Seconds since 1970 from the system clock. Taken from the kernel rather
// than the C runtime's time(), whose 64-bit form older runtimes lack.
DWORD RealTime(void) {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<DWORD>((t.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

int WINAPI RealMessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT ty) { return ::MessageBoxA(o, t, c, ty); }
HANDLE WINAPI RealCreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL o, LPCSTR n) {
    return ::CreateMutexA(sa, o, n);
}
BOOL WINAPI RealReleaseMutex(HANDLE m) { return ::ReleaseMutex(m); }
HANDLE WINAPI RealGetCurrentProcess(void) { return ::GetCurrentProcess(); }
BOOL WINAPI RealOpenProcessToken(HANDLE p, DWORD a, PHANDLE t) { return ::OpenProcessToken(p, a, t); }
BOOL WINAPI RealLookupPrivilegeValueA(LPCSTR s, LPCSTR n, PLUID l) {
    return ::LookupPrivilegeValueA(s, n, l);
}
BOOL WINAPI RealAdjustTokenPrivileges(HANDLE t, BOOL d, PTOKEN_PRIVILEGES n, DWORD l,
                                      PTOKEN_PRIVILEGES p, PDWORD r) {
    return ::AdjustTokenPrivileges(t, d, n, l, p, r);
}
BOOL WINAPI RealExitWindowsEx(UINT f, DWORD r) { return ::ExitWindowsEx(f, r); }

void *RealAllocBuffer(DWORD size) { return ::HeapAlloc(::GetProcessHeap(), 0, size); }
void RealFreeBuffer(void *b) {
    if (b) ::HeapFree(::GetProcessHeap(), 0, b);
}

}  // namespace

// Both tables are filled from the same list, by constant initialisation.
#define VESK_OS_REAL_ENTRIES \
    RealGetVersionExA,     RealGetSystemDirectoryA, RealLoadLibraryA,  RealGetProcAddress, \
    RealFreeLibrary,       RealGetDriveTypeA,       RealCreateFileA,   RealCloseHandle, \
    RealDeviceIoControl,   RealGetLastError,        RealFormatMessageA, RealCreateEventA, \
    RealWaitForSingleObject, RealSleep,             RealTime,          RealMessageBoxA, \
    RealCreateMutexA,      RealReleaseMutex,        RealGetCurrentProcess, RealOpenProcessToken, \
    RealLookupPrivilegeValueA, RealAdjustTokenPrivileges, RealExitWindowsEx, RealAllocBuffer, \
    RealFreeBuffer,

const TOs OsReal = {VESK_OS_REAL_ENTRIES};
TOs Os = {VESK_OS_REAL_ENTRIES};


void OsRestore() { Os = OsReal; }
