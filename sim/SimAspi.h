// The ASPI for Win32 layer of the simulated machine: decodes the request
// records (device type, command execution, abort) byte by byte as the layer
// reads them and hands the commands to the simulated drives. Shared by the
// in-process front door of TSimMachine and the wnaspi32.dll built from sim/.
#pragma once
#include "sim/SimDrive.h"
#include "drive/AspiRecords.h"
#include <vector>

// Status values of the layer beyond the ones the program names.
enum : BYTE {
    SIM_SS_INVALID_CMD = 0x80,
    SIM_SS_INVALID_HA = 0x81,
    SIM_SS_NO_DEVICE = 0x82,
    SIM_SS_INVALID_SRB = 0xE0,
    SIM_SS_NO_ADAPTERS = 0xE8,
};

// One request as the layer received it.
struct TSimAspiCall {
    BYTE Cmd;              // SRB_Cmd
    BYTE Bytes[sizeof(SRB_ExecSCSICmd)];  // the record as it arrived (type and abort requests: their size)
    void *Srb;             // its address
    BYTE StatusAfter;      // SRB_Status when SendASPI32Command returned
};

class TSimAspi {
public:
    struct Device {
        BYTE Adapter, Target, Lun, Type;
        TSimDrive *Drive;
    };
    std::vector<Device> Devices;
    BYTE AdapterCount = 1;
    bool DeviceTypeQueryLate = false;   // type queries of present devices complete later
    TSimClock *Clock = nullptr;

    std::vector<TSimAspiCall> Calls;
    int AbortCount = 0;
    int ReusedWhilePending = 0;         // a request block sent again while the layer held it

    // A command execution the layer has not finished.
    struct Pending {
        SRB_ExecSCSICmd *Srb;
        HANDLE Event;
        bool Never;
        uint64_t DueMs;
        BYTE Status, TargStat;
        BYTE Sense[18];
    };
    std::vector<Pending> PendingList;

    // How a finished request's event is signalled, and how a device-type
    // query that completes later is arranged (both set by the front door).
    void (*SignalEvent)(HANDLE event) = nullptr;
    void (*DeferTypeQuery)(SRB_GDEVBlock *query, BYTE type) = nullptr;
    // A late completion was queued (PendingList.back()); the DLL starts its timer here.
    void (*Deferred)(TSimAspi *layer) = nullptr;

    DWORD SupportInfo() const;
    DWORD Send(void *request);
    // Writes the results of PendingList[index] into its record, signals its
    // event and removes it.
    void Complete(size_t index);
    // Completes every late request whose time has come.
    void CompleteDue();
    Device *Find(BYTE adapter, BYTE target, BYTE lun);
};
