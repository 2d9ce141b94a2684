// Discovery and selection: which transport the process uses, loading the
// ASPI layer on the 9x family, the device table, and the current drive.
#include "drive/Atapi.h"
#include "os/Os.h"
#include "ui/Ui.h"
#include <stdio.h>
#include <string.h>

int DeviceMap[10];
GetASPI32SupportInfoFn GetASPI32SupportInfo;
SendASPI32CommandFn SendASPI32Command;

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is the 148-byte form");

namespace {

const char AspiMissing[] = "WNASPI32.DLL not found";

// Table entries are filled in discovery order and never move.
const int TableSize = static_cast<int>(sizeof(TAtapi::Devices) / sizeof(DeviceEntry));

// Copies the identification fields of an INQUIRY answer into a record:
// bytes 8..31 (vendor and product) and 32..35 (revision), each as text that
// a NUL byte may end early. The trailing spaces the drive pads with stay.
void CopyIdentity(DeviceEntry &entry, const BYTE *inquiry) {
    memset(entry.Name, 0, sizeof entry.Name);
    memset(entry.Revision, 0, sizeof entry.Revision);
    for (int i = 0; i < 24 && inquiry[8 + i] != 0; ++i) entry.Name[i] = static_cast<char>(inquiry[8 + i]);
    for (int i = 0; i < 4 && inquiry[32 + i] != 0; ++i) entry.Revision[i] = static_cast<char>(inquiry[32 + i]);
}

// GetProcAddress gives a generic function address; the ASPI entry points
// take their arguments by the C calling convention.
template <typename Fn>
Fn EntryPoint(HMODULE module, const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(Os.GetProcAddress(module, name)));
}

}  // namespace

TAtapi::TAtapi()
    : Handle(nullptr), Adapter(0), Target(0), Lun(0), AspiModule(nullptr), DeviceCount(0),
      IsNt(false), LastOpenedHandle(nullptr), Devices(), AspiRequest(nullptr), PassThrough() {
    DetectNt();
    if (!IsNt) {
        // The ASPI layer lives in the system directory. A directory that does
        // not fit the buffer, a library that does not load, or one without
        // both entry points all leave the process without a usable layer.
        char directory[50];
        UINT length = Os.GetSystemDirectoryA(directory, sizeof directory);
        if (length > 0 && length < sizeof directory) {
            char path[64];
            snprintf(path, sizeof path, "%s\\WNASPI32.DLL", directory);
            AspiModule = Os.LoadLibraryA(path);
        }
        if (AspiModule) {
            GetASPI32SupportInfo = EntryPoint<GetASPI32SupportInfoFn>(AspiModule, "GetASPI32SupportInfo");
            SendASPI32Command = EntryPoint<SendASPI32CommandFn>(AspiModule, "SendASPI32Command");
            if (!GetASPI32SupportInfo || !SendASPI32Command) {
                Os.FreeLibrary(AspiModule);
                AspiModule = nullptr;
                GetASPI32SupportInfo = nullptr;
                SendASPI32Command = nullptr;
            }
        }
        if (!AspiModule) {
            ShowMessage(AspiMissing);
            return;
        }
        // The one request block of every ASPI command. Cleared once, so that
        // the sense area reads as zeros until the layer first writes it.
        AspiRequest = static_cast<SRB_ExecSCSICmd *>(Os.AllocBuffer(sizeof(SRB_ExecSCSICmd)));
        if (!AspiRequest) {
            // Without a request block no command can be sent: no drive is
            // recorded, and the window reports that none was found.
            return;
        }
        memset(AspiRequest, 0, sizeof(SRB_ExecSCSICmd));
    }
    Enumerate();
    SelectDevice(0);
}

TAtapi::~TAtapi() {
    if (AspiRequest) {
        Os.FreeBuffer(AspiRequest);
        AspiRequest = nullptr;
    }
    if (AspiModule) {
        Os.FreeLibrary(AspiModule);
        AspiModule = nullptr;
        GetASPI32SupportInfo = nullptr;
        SendASPI32Command = nullptr;
    }
    // A failed open leaves INVALID_HANDLE_VALUE here, which is no handle of ours.
    if (LastOpenedHandle && LastOpenedHandle != INVALID_HANDLE_VALUE) {
        Os.CloseHandle(LastOpenedHandle);
        LastOpenedHandle = nullptr;
    }
}

bool TAtapi::DetectNt() {
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    Os.GetVersionExA(&info);
    IsNt = info.dwPlatformId == VER_PLATFORM_WIN32_NT;
    return IsNt;
}

int TAtapi::Enumerate() {
    if (IsNt) return EnumerateNt();

    DeviceCount = 0;
    if (!GetASPI32SupportInfo || !SendASPI32Command || !AspiRequest) return DeviceCount;
    const int adapters = static_cast<int>(GetASPI32SupportInfo() & 0xFF);

    SRB_GDEVBlock *query = static_cast<SRB_GDEVBlock *>(Os.AllocBuffer(sizeof(SRB_GDEVBlock)));
    if (!query) return DeviceCount;
    volatile BYTE *status = &query->SRB_Status;

    // Adapter, target, unit order; the table holds 20 drives, and the walk
    // ends when it is full.
    for (int a = 0; a < adapters && DeviceCount < TableSize; ++a) {
        for (int t = 0; t < 8 && DeviceCount < TableSize; ++t) {
            for (int l = 0; l < 8 && DeviceCount < TableSize; ++l) {
                memset(query, 0, sizeof *query);
                query->SRB_Cmd = SC_GET_DEV_TYPE;
                query->SRB_HaId = static_cast<BYTE>(a);
                query->SRB_Target = static_cast<BYTE>(t);
                query->SRB_Lun = static_cast<BYTE>(l);
                SendASPI32Command(query);
                // The layer may answer later; keep the (not yet shown)
                // windows of the thread served meanwhile.
                while (*status == SS_PENDING) PumpMessages();
                if (*status != SS_COMP || query->SRB_DeviceType != DTYPE_CDROM) continue;

                DeviceEntry &entry = Devices[DeviceCount];
                entry.Adapter = static_cast<BYTE>(a);
                entry.Target = static_cast<BYTE>(t);
                entry.Lun = static_cast<BYTE>(l);
                SetAddress(entry.Adapter, entry.Target, entry.Lun);
                // Cleared first: a drive that does not answer INQUIRY is
                // recorded with an empty name.
                BYTE inquiry[50];
                memset(inquiry, 0, sizeof inquiry);
                Inquiry(inquiry);
                CopyIdentity(entry, inquiry);
                ++DeviceCount;
            }
        }
    }
    Os.FreeBuffer(query);
    return DeviceCount;
}

int TAtapi::EnumerateNt() {
    DeviceCount = 0;
    // Z is not probed.
    for (char letter = 'A'; letter <= 'Y'; ++letter) {
        const char root[4] = {letter, ':', '\\', 0};
        if (Os.GetDriveTypeA(root) != DRIVE_CDROM) continue;

        const char device[7] = {'\\', '\\', '.', '\\', letter, ':', 0};
        HANDLE handle = Os.CreateFileA(device, GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
        LastOpenedHandle = handle;
        // A drive we may not open for reading and writing is of no use.
        if (handle == INVALID_HANDLE_VALUE) continue;

        Handle = handle;
        BYTE inquiry[50];
        memset(inquiry, 0, sizeof inquiry);
        Inquiry(inquiry);
        DeviceEntry &entry = Devices[DeviceCount];
        entry.Handle = handle;
        CopyIdentity(entry, inquiry);
        // Four drives are counted; any later one lands in the entry after
        // the fourth, where the next one overwrites it.
        if (DeviceCount < 4) ++DeviceCount;
    }
    return DeviceCount;
}

void TAtapi::SelectDevice(int index) {
    // Only a table entry can become current.
    if (index < 0 || index >= TableSize) return;
    const DeviceEntry &entry = Devices[index];
    Handle = entry.Handle;
    Adapter = entry.Adapter;
    Target = entry.Target;
    Lun = entry.Lun;
}

void TAtapi::SetAddress(BYTE adapter, BYTE target, BYTE lun) {
    Adapter = adapter;
    Target = target;
    Lun = lun;
}

void TAtapi::PumpMessages() {
    MSG msg;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}
