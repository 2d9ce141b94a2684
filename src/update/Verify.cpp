// After programming: wait until the drive answers again, read its memory
// back and compare the 16-bit byte sum with the image's checksum.
#include <string.h>
#include "image/FirmwareImage.h"
#include "update/UpdateSteps.h"

namespace {

constexpr int ReadyAttempts = 300;
constexpr BYTE MediaEventClass = 0x10;
constexpr int MediaStatusByte = 5;
constexpr BYTE TrayOpenBit = 0x01;

// A drive that cannot even say why it is not ready is taken as "logical
// unit not ready".
const SenseTriple SenseUnavailable{2, 0x04, 0x00};

}  // namespace

bool TForm1::VerifyFirmware() {
    Os.Sleep(3000);
    if (!WaitUntilReady()) {
        LogMessage("Err:Verify NG !!");
        return false;
    }
    Os.Sleep(3000);
    // A failed read gives -1, which no checksum equals.
    if (ReadBackChecksum() == static_cast<int>(Checksum)) return true;
    LogMessage("Err:Verify NG !!");
    return false;
}

bool TForm1::WaitUntilReady() {
    for (int attempt = 0; attempt < ReadyAttempts; ++attempt) {
        Os.Sleep(100);
        Atapi.TestUnitReady();
        const SenseTriple sense = GetSenseTriple();

        bool trayOpen = false;
        if (!UpdateFlags.AlternateMode) {
            BYTE event[8];
            memset(event, 0, sizeof event);
            Atapi.GetEventStatus(event, MediaEventClass, sizeof event);
            trayOpen = (event[MediaStatusByte] & TrayOpenBit) != 0;
        }

        if (!trayOpen && ((sense.SenseKey == 0 && sense.Asc == 0) ||
                          (sense.SenseKey == 2 && sense.Asc == 0x3A))) {
            return true;
        }
        Application->ProcessMessages();
    }
    return false;
}

SenseTriple TForm1::GetSenseTriple() {
    if (Atapi.IsNt) return UpdateSteps::LastSense();

    BYTE sense[18];
    memset(sense, 0, sizeof sense);
    if (Atapi.RequestSense(sense) != 1) return SenseUnavailable;
    return SenseTriple{sense[2], sense[12], sense[13]};
}

// The sum of the first BlockLength[i] bytes of every drive memory block, as
// the image's checksum is defined; -1 when a read fails.
int TForm1::ReadBackChecksum() {
    if (BlockCount > MaxBlocks) return -1;

    DWORD sum = 0;
    ProgressBar1->SetMin(0);
    for (int i = 0; i < BlockCount; ++i) {
        const DWORD length = BlockLength[i];
        ProgressBar1->SetPosition(0);
        ProgressBar1->SetMax(static_cast<int>(length));
        for (DWORD a = 0; a < length; a += 256) {
            Application->ProcessMessages();
            ProgressBar1->SetPosition(static_cast<int>(a));
            ProgressBar1->Repaint();

            BYTE data[256];
            memset(data, 0, sizeof data);
            if (UpdateSteps::ReadDriveMemory(data, static_cast<BYTE>(i), static_cast<WORD>(a)) != 1) {
                return -1;
            }
            const DWORD n = length - a < 256 ? length - a : 256;
            for (DWORD k = 0; k < n; ++k) sum += data[k];
        }
    }
    return static_cast<int>(sum & 0xFFFF);
}
