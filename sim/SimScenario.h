// A machine described in a text file: its ASPI devices or drive letters and
// how each drive is set up. Read by the simulated wnaspi32.dll (and usable
// by anything else that builds a simulated machine from a file). The format
// is described in sim/README.md.
#pragma once
#include "sim/SimDrive.h"
#include <memory>
#include <string>
#include <vector>

struct TSimScenarioDevice {
    BYTE Adapter = 0, Target = 0, Lun = 0, Type = 5;  // [device a t l]
    char Letter = 0;                                  // [drive X]
    bool OpenFails = false;
    std::unique_ptr<TSimDrive> Drive;
};

class TSimScenario {
public:
    BYTE Adapters = 1;
    bool TypeQueryLate = false;     // device-type queries complete later (50 ms)
    uint64_t TypeQueryLateMs = 50;
    std::string TracePath;          // one line per command
    std::string SummaryPath;        // the drives' state at the end
    std::vector<TSimScenarioDevice> Devices;

    // Why Load or Parse failed, and on which line (1-based).
    std::string Error;
    int ErrorLine = 0;

    bool Load(const char *path);
    bool Parse(const std::string &text);
};
