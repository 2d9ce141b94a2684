// The operating-system boundary.
//
// Every call that leaves the process for the operating system or the ASPI
// layer, and that a test or the simulator must see or steer, goes through
// this one table of function pointers. The entries start as the real Win32
// functions; a test replaces an entry with one assignment and puts it back
// with OsRestore(). Window functions of user32 are not in here: the window
// is always a real window.
#pragma once
#include <windows.h>

struct TOs {
    // Platform, libraries.
    BOOL    (WINAPI *GetVersionExA)(LPOSVERSIONINFOA info);
    UINT    (WINAPI *GetSystemDirectoryA)(LPSTR buffer, UINT size);
    HMODULE (WINAPI *LoadLibraryA)(LPCSTR path);
    FARPROC (WINAPI *GetProcAddress)(HMODULE module, LPCSTR name);
    BOOL    (WINAPI *FreeLibrary)(HMODULE module);

    // Drives and the pass-through driver.
    UINT    (WINAPI *GetDriveTypeA)(LPCSTR root);
    HANDLE  (WINAPI *CreateFileA)(LPCSTR name, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                  DWORD flags, HANDLE templateFile);
    BOOL    (WINAPI *CloseHandle)(HANDLE handle);
    BOOL    (WINAPI *DeviceIoControl)(HANDLE device, DWORD code, LPVOID in, DWORD inSize,
                                      LPVOID out, DWORD outSize, LPDWORD returned,
                                      LPOVERLAPPED overlapped);
    DWORD   (WINAPI *GetLastError)(void);
    DWORD   (WINAPI *FormatMessageA)(DWORD flags, LPCVOID source, DWORD messageId,
                                     DWORD languageId, LPSTR buffer, DWORD size,
                                     va_list *arguments);

    // Events and waits (the ASPI completion event).
    HANDLE  (WINAPI *CreateEventA)(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                                   BOOL initialState, LPCSTR name);
    DWORD   (WINAPI *WaitForSingleObject)(HANDLE handle, DWORD milliseconds);

    // Time: the plain waits and the calendar clock in whole seconds.
    void    (WINAPI *Sleep)(DWORD milliseconds);
    DWORD   (*Time)(void);

    // Questions and messages (ShowMessage goes through MessageBoxA too).
    int     (WINAPI *MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

    // The single-instance guard.
    HANDLE  (WINAPI *CreateMutexA)(LPSECURITY_ATTRIBUTES security, BOOL initialOwner,
                                   LPCSTR name);
    BOOL    (WINAPI *ReleaseMutex)(HANDLE mutex);

    // The restart.
    HANDLE  (WINAPI *GetCurrentProcess)(void);
    BOOL    (WINAPI *OpenProcessToken)(HANDLE process, DWORD access, PHANDLE token);
    BOOL    (WINAPI *LookupPrivilegeValueA)(LPCSTR system, LPCSTR name, PLUID luid);
    BOOL    (WINAPI *AdjustTokenPrivileges)(HANDLE token, BOOL disableAll,
                                            PTOKEN_PRIVILEGES newState, DWORD length,
                                            PTOKEN_PRIVILEGES previous, PDWORD returnLength);
    BOOL    (WINAPI *ExitWindowsEx)(UINT flags, DWORD reserved);

    // Working buffers (the 64 KiB buffers of the image and update steps, and
    // the ASPI request blocks). AllocBuffer returns null when none can be had.
    void   *(*AllocBuffer)(DWORD size);
    void    (*FreeBuffer)(void *buffer);
};

// The table in force. Starts as the real functions (constant-initialised,
// so it is usable from any static constructor). Defined in os/OsTable.cpp,
// or by a program that starts on a table of its own (see os/OsReal.h).
extern TOs Os;

// The real functions, for restoring or for wrapping.
extern const TOs OsReal;

// Puts every entry back to the real function.
void OsRestore();
