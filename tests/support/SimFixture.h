// A simulated machine installed for one test, with the global Atapi rebuilt
// on it so that it finds the simulated drives.
//
//   TSimFixture f(true);                 // NT family (false: 9x, ASPI)
//   TSimDrive *d = f.AddDrive();         // D: on NT, ASPI 0:0:0 on 9x
//   d->SetIdentity("VENDOR", "PRODUCT", "1.00", 0x41, 0x42);
//   f.Start();                           // Atapi now holds the drive, current
//   ... exercise the program; look at d->Trace, f.Machine.Boxes ...
//
// On destruction Atapi is torn down on the machine (its request block,
// library and handle released there) and left all zero, then Os is restored.
#pragma once
#include "sim/SimMachine.h"
#include "drive/Atapi.h"

class TSimFixture {
public:
    explicit TSimFixture(bool nt = true);
    ~TSimFixture();
    TSimFixture(const TSimFixture &) = delete;
    TSimFixture &operator=(const TSimFixture &) = delete;

    TSimMachine Machine;
    const bool Nt;
    bool Started = false;

    // The next CD/DVD drive of the family: letters D, E, ... on NT; adapter
    // 0, targets 0, 1, ... (unit 0) on 9x.
    TSimDrive *AddDrive();
    // Installs the machine, clears DeviceMap and rebuilds Atapi on it.
    void Start();

private:
    int Added = 0;
};
