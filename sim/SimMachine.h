// The simulated machine: drives behind the two front doors of the program.
//
// NT: drive letters answer GetDriveTypeA / CreateFileA / DeviceIoControl
// with the pass-through request decoded as the class driver would.
// 9x: GetVersionExA reports the 9x family, LoadLibraryA of WNASPI32.DLL
// gives a module whose two entry points decode the ASPI records.
// Install() replaces the entries of Os; Uninstall() restores them. Sleep,
// the calendar clock and the ASPI event wait run on the machine's clock.
#pragma once
#include "sim/SimDrive.h"
#include <memory>
#include <string>
#include <vector>

class TSimMachine {
public:
    TSimMachine();
    ~TSimMachine();

    TSimClock Clock;

    // NT: a CD/DVD drive on a letter. OpenFails: CreateFileA fails for it.
    TSimDrive *AddNtDrive(char letter, bool openFails = false);
    // 9x: a device at an ASPI address with a device type (5 = CD/DVD).
    TSimDrive *AddAspiDevice(BYTE adapter, BYTE target, BYTE lun, BYTE deviceType = 5);
    BYTE AspiAdapterCount = 1;
    bool AspiLibraryPresent = true;
    bool CreateEventFails = false;

    // Installs the machine into Os, as the NT family (nt true) or the 9x family.
    void Install(bool nt);
    void Uninstall();

    // Every message box shown through Os.MessageBoxA, and the scripted
    // answers (taken in order; IDOK when none left).
    struct Box { std::string Text, Caption; UINT Type; };
    std::vector<Box> Boxes;
    std::vector<int> Answers;

    // Calls made through Os that tests look at.
    int AbortCount = 0;
    int RestartRequests = 0;     // ExitWindowsEx calls
    int PrivilegeRequests = 0;   // AdjustTokenPrivileges calls
    int BuffersOut = 0;          // AllocBuffer minus FreeBuffer
    int FailAllocAfter = -1;     // AllocBuffer fails from this allocation on (-1 never)
    bool GuardedBuffers = false; // buffers end on a no-access page

    static TSimMachine *Current;
};
