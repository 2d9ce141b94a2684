// The real functions behind the Os table, and the table made of them as a
// constant expression.
//
// The table in force (Os) is defined outside the core library, in one place
// per program: os/OsTable.cpp for the program and the tests, which start on
// the real functions; a program that must start on other entries (the demo
// program, which installs its simulated machine before the drive-access
// object asks anything) defines its own, from OsRealEntries() with the
// entries it needs changed. Either way the table is filled by constant
// initialisation, before any static constructor runs.
//
// Each entry is a small function of our own rather than the address of the
// imported function itself: our own functions' addresses are constants.
#pragma once
#include "os/Os.h"

namespace OsRealEntry {

inline BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) { return ::GetVersionExA(info); }
inline UINT WINAPI GetSystemDirectoryA(LPSTR b, UINT n) { return ::GetSystemDirectoryA(b, n); }
inline HMODULE WINAPI LoadLibraryA(LPCSTR p) { return ::LoadLibraryA(p); }
inline FARPROC WINAPI GetProcAddress(HMODULE m, LPCSTR n) { return ::GetProcAddress(m, n); }
inline BOOL WINAPI FreeLibrary(HMODULE m) { return ::FreeLibrary(m); }
inline UINT WINAPI GetDriveTypeA(LPCSTR r) { return ::GetDriveTypeA(r); }
inline HANDLE WINAPI CreateFileA(LPCSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD d,
                                 DWORD f, HANDLE t) {
    return ::CreateFileA(n, a, s, sa, d, f, t);
}
inline BOOL WINAPI CloseHandle(HANDLE h) { return ::CloseHandle(h); }
inline BOOL WINAPI DeviceIoControl(HANDLE h, DWORD c, LPVOID i, DWORD is, LPVOID o, DWORD os,
                                   LPDWORD r, LPOVERLAPPED ov) {
    return ::DeviceIoControl(h, c, i, is, o, os, r, ov);
}
inline DWORD WINAPI GetLastError(void) { return ::GetLastError(); }
inline DWORD WINAPI FormatMessageA(DWORD f, LPCVOID s, DWORD id, DWORD l, LPSTR b, DWORD n,
                                   va_list *a) {
    return ::FormatMessageA(f, s, id, l, b, n, a);
}
inline HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL m, BOOL i, LPCSTR n) {
    return ::CreateEventA(sa, m, i, n);
}
inline DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) { return ::WaitForSingleObject(h, ms); }
inline void WINAPI Sleep(DWORD ms) { ::Sleep(ms); }

// Seconds since 1970 from the system clock. Taken from the kernel rather
// than the C runtime's time(), whose 64-bit form older runtimes lack.
inline DWORD Time(void) {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<DWORD>((t.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

inline int WINAPI MessageBoxA(HWND o, LPCSTR t, LPCSTR c, UINT ty) { return ::MessageBoxA(o, t, c, ty); }
inline HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL o, LPCSTR n) {
    return ::CreateMutexA(sa, o, n);
}
inline BOOL WINAPI ReleaseMutex(HANDLE m) { return ::ReleaseMutex(m); }
inline HANDLE WINAPI GetCurrentProcess(void) { return ::GetCurrentProcess(); }
inline BOOL WINAPI OpenProcessToken(HANDLE p, DWORD a, PHANDLE t) { return ::OpenProcessToken(p, a, t); }
inline BOOL WINAPI LookupPrivilegeValueA(LPCSTR s, LPCSTR n, PLUID l) {
    return ::LookupPrivilegeValueA(s, n, l);
}
inline BOOL WINAPI AdjustTokenPrivileges(HANDLE t, BOOL d, PTOKEN_PRIVILEGES n, DWORD l,
                                         PTOKEN_PRIVILEGES p, PDWORD r) {
    return ::AdjustTokenPrivileges(t, d, n, l, p, r);
}
inline BOOL WINAPI ExitWindowsEx(UINT f, DWORD r) { return ::ExitWindowsEx(f, r); }

inline void *AllocBuffer(DWORD size) { return ::HeapAlloc(::GetProcessHeap(), 0, size); }
inline void FreeBuffer(void *b) {
    if (b) ::HeapFree(::GetProcessHeap(), 0, b);
}

}  // namespace OsRealEntry

// The table of the real functions, in the order of TOs.
constexpr TOs OsRealEntries() {
    return TOs{
        &OsRealEntry::GetVersionExA,
        &OsRealEntry::GetSystemDirectoryA,
        &OsRealEntry::LoadLibraryA,
        &OsRealEntry::GetProcAddress,
        &OsRealEntry::FreeLibrary,
        &OsRealEntry::GetDriveTypeA,
        &OsRealEntry::CreateFileA,
        &OsRealEntry::CloseHandle,
        &OsRealEntry::DeviceIoControl,
        &OsRealEntry::GetLastError,
        &OsRealEntry::FormatMessageA,
        &OsRealEntry::CreateEventA,
        &OsRealEntry::WaitForSingleObject,
        &OsRealEntry::Sleep,
        &OsRealEntry::Time,
        &OsRealEntry::MessageBoxA,
        &OsRealEntry::CreateMutexA,
        &OsRealEntry::ReleaseMutex,
        &OsRealEntry::GetCurrentProcess,
        &OsRealEntry::OpenProcessToken,
        &OsRealEntry::LookupPrivilegeValueA,
        &OsRealEntry::AdjustTokenPrivileges,
        &OsRealEntry::ExitWindowsEx,
        &OsRealEntry::AllocBuffer,
        &OsRealEntry::FreeBuffer,
    };
}
