// The simulated machine: drives behind the two front doors of the program.
//
// NT: drive letters answer GetDriveTypeA / CreateFileA / DeviceIoControl
// with the pass-through request decoded as the class driver would.
// 9x: GetVersionExA reports the 9x family, LoadLibraryA of WNASPI32.DLL
// gives a module whose two entry points decode the ASPI records.
// Install() replaces the entries of Os; Uninstall() restores them. Sleep,
// the calendar clock and the ASPI event wait run on the machine's clock.
//
// Entries replaced: GetVersionExA, GetSystemDirectoryA, LoadLibraryA,
// GetProcAddress, FreeLibrary, GetDriveTypeA, CreateFileA, CloseHandle,
// DeviceIoControl, CreateEventA, WaitForSingleObject, Sleep, Time,
// MessageBoxA, OpenProcessToken, LookupPrivilegeValueA,
// AdjustTokenPrivileges, ExitWindowsEx, AllocBuffer, FreeBuffer. Handles,
// modules and names that are not the machine's go on to the real functions.
// The error of a failing call is set with SetLastError, so Os.GetLastError
// stays the real one.
#pragma once
#include "sim/SimDrive.h"
#include "sim/SimAspi.h"
#include "os/Os.h"
#include "drive/PassThrough.h"
#include <memory>
#include <string>
#include <vector>

// One DeviceIoControl call as the driver received it.
struct TSimIoctl {
    HANDLE Device;
    DWORD Code;
    DWORD InSize, OutSize;
    bool SameBuffer;         // input and output buffer are one
    bool Overlapped;
    BYTE Request[sizeof(PassThroughRequest)];  // the input buffer as it arrived (at most this much)
    DWORD Error;             // 0 when the call succeeded
};

class TSimMachine {
public:
    TSimMachine();
    ~TSimMachine();

    TSimClock Clock;

    // NT: a CD/DVD drive on a letter. OpenFails: CreateFileA fails for it.
    TSimDrive *AddNtDrive(char letter, bool openFails = false);
    // NT: a letter of another type (DRIVE_FIXED, DRIVE_REMOTE, ...); letters
    // without a drive answer DRIVE_NO_ROOT_DIR.
    void SetDriveType(char letter, UINT type);
    // 9x: a device at an ASPI address with a device type (5 = CD/DVD).
    TSimDrive *AddAspiDevice(BYTE adapter, BYTE target, BYTE lun, BYTE deviceType = 5);
    BYTE AspiAdapterCount = 1;
    bool AspiLibraryPresent = true;
    const char *AspiMissingEntry = nullptr;  // this entry point of the library is missing
    bool DeviceTypeQueryLate = false;        // type queries complete through a window message
    bool CreateEventFails = false;
    std::string SystemDirectory = "C:\\WINDOWS\\SYSTEM";

    // The drive on a letter / at an ASPI address (null if none), and the
    // handle CreateFileA gives for a letter.
    TSimDrive *NtDrive(char letter);
    TSimDrive *AspiDrive(BYTE adapter, BYTE target, BYTE lun);
    HANDLE NtHandle(char letter) const;

    // Installs the machine into Os, as the NT family (nt true) or the 9x family.
    void Install(bool nt);
    void Uninstall();
    bool Installed() const { return Current == this; }
    bool IsNt = true;

    // Every message box shown through Os.MessageBoxA, and the scripted
    // answers (taken in order; IDOK when none left).
    struct Box { std::string Text, Caption; UINT Type; HWND Owner; };
    std::vector<Box> Boxes;
    std::vector<int> Answers;
    size_t AnswersUsed = 0;

    // Calls made through Os that tests look at.
    int AbortCount = 0;
    int RestartRequests = 0;     // ExitWindowsEx calls
    int PrivilegeRequests = 0;   // AdjustTokenPrivileges calls
    int BuffersOut = 0;          // AllocBuffer minus FreeBuffer
    int FailAllocAfter = -1;     // AllocBuffer fails from this allocation on (-1 never)
    bool GuardedBuffers = false; // buffers end on a no-access page

    DWORD VersionInfoSize = 0;            // size field GetVersionExA was given
    UINT SystemDirectorySize = 0;         // buffer size GetSystemDirectoryA was given
    std::vector<std::string> LoadedPaths; // LoadLibraryA paths
    int FreeLibraryCount = 0;
    std::vector<std::string> ProbedRoots; // GetDriveTypeA roots
    struct Open {
        std::string Name;
        DWORD Access, Share, Disposition, Flags;
        bool Security, Template;
        HANDLE Result;
    };
    std::vector<Open> Opens;              // CreateFileA calls
    std::vector<HANDLE> Closed;           // CloseHandle calls on the machine's handles
    std::vector<TSimIoctl> Ioctls;        // DeviceIoControl calls
    struct Event {
        HANDLE Handle;
        bool Security, ManualReset, InitialState, Named;
        bool Open, Signalled;
    };
    std::vector<Event> Events;            // CreateEventA calls
    int EventsOpen() const;
    std::vector<DWORD> Waits;             // WaitForSingleObject time-outs on events
    std::vector<DWORD> Sleeps;            // Sleep calls
    int AllocCalls = 0;                   // AllocBuffer calls (also failed ones)
    std::vector<DWORD> AllocSizes;
    int BadFrees = 0;                     // FreeBuffer of a pointer not handed out
    struct Restart { UINT Flags; DWORD Reserved; };
    std::vector<Restart> Restarts;
    std::vector<std::string> PrivilegeNames;  // LookupPrivilegeValueA names
    DWORD TokenAccess = 0;                    // OpenProcessToken access

    // The ASPI layer (devices, requests received, requests held).
    TSimAspi Aspi;
    const std::vector<TSimAspiCall> &AspiCalls() const { return Aspi.Calls; }

    static TSimMachine *Current;

    // Internal: the front-door functions reach the machine through these.
    struct NtSlot {
        char Letter;
        bool OpenFails;
        bool Open;
        HANDLE Handle;
        std::unique_ptr<TSimDrive> Drive;
    };
    std::vector<NtSlot> NtSlots;
    std::vector<std::unique_ptr<TSimDrive>> AspiDrives;
    UINT DriveTypes[26];
    struct Buffer { void *Pointer; void *Base; bool Guarded; };
    std::vector<Buffer> Buffers;
    TOs Saved;
};
