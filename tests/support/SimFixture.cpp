#include "support/SimFixture.h"
#include <new>
#include <string.h>

namespace {

// Ends the object's life and leaves its storage as static storage starts:
// all zero, so that a later destruction (another fixture, process exit)
// releases nothing.
void TearDownAtapi() {
    Atapi.~TAtapi();
    memset(static_cast<void *>(&Atapi), 0, sizeof Atapi);
}

}  // namespace

TSimFixture::TSimFixture(bool nt) : Nt(nt) {}

TSimFixture::~TSimFixture() {
    if (Started) TearDownAtapi();
    Machine.Uninstall();
}

TSimDrive *TSimFixture::AddDrive() {
    const int n = Added++;
    if (Nt) return Machine.AddNtDrive(static_cast<char>('D' + n));
    return Machine.AddAspiDevice(0, static_cast<BYTE>(n), 0);
}

void TSimFixture::Start() {
    // Whatever the object held before (from the real platform at start-up,
    // or from an earlier Start) is released before it is built again.
    TearDownAtapi();
    Machine.Install(Nt);
    memset(DeviceMap, 0, sizeof DeviceMap);
    new (&Atapi) TAtapi();
    Started = true;
}
