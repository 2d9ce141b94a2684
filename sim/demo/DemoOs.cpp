// The demo program's Os table. It starts as the real functions, except for
// the platform question, which is the first thing the drive-access object
// asks when the process starts: that entry installs the simulated machine
// and then asks it. The table is filled by constant initialisation, so
// nothing depends on the order in which static objects are constructed.
#include "os/OsReal.h"
#include "sim/demo/DemoMachine.h"

namespace {

BOOL WINAPI InstallThenGetVersionExA(LPOSVERSIONINFOA info) {
    // The machine saves the table as it finds it: leave no way back here.
    Os.GetVersionExA = &OsRealEntry::GetVersionExA;
    DemoInstall();
    return Os.GetVersionExA(info);
}

constexpr TOs DemoEntries() {
    TOs table = OsRealEntries();
    table.GetVersionExA = &InstallThenGetVersionExA;
    return table;
}

constexpr TOs OsInitial = DemoEntries();

}  // namespace

TOs Os = OsInitial;
