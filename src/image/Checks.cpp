// The checks the update runs against the selected drive before the
// firmware goes to it.
#include "app/MainForm.h"
#include "image/FirmwareImage.h"
#include "os/Os.h"
#include <string.h>

namespace {

constexpr int DeviceMapSize = sizeof DeviceMap / sizeof DeviceMap[0];

// The drive buffer is read into a 64 KiB buffer; the drive fills at most
// 65534 bytes, and the search visits every one of those positions.
constexpr WORD DriveBufferLength = 0xFFFE;
constexpr DWORD LastSearchPosition = DriveBufferLength - 1;

// Lets the window handle what is waiting for it. Asking the queue first is
// far cheaper than a full round of message retrieval, and nearly always
// nothing is waiting.
void RunPendingMessages() {
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) Application->ProcessMessages();
}

}  // namespace

// The image's vendor and product identification against the selected drive's.
bool TForm1::CheckFirmwareId() {
    char identification[29] = {};
    Edit1->GetText(identification, sizeof identification);
    char image[25] = {};
    char drive[25] = {};
    memcpy(image, identification, 24);

    const int item = SelDevice->GetItemIndex();
    const int device = item >= 0 && item < DeviceMapSize ? DeviceMap[item] : -1;
    if (device >= 0 && device < Atapi.DeviceCount) {
        memcpy(drive, Atapi.Devices[device].Name, 24);
        if (strncmp(image, drive, 24) == 0) return true;
    }
    LogMessage("The Firmware isn't support this device !!(3)");
    return false;
}

// The current drive's INQUIRY bytes 38 and 39 against the image's required
// version. A failed INQUIRY leaves them zero.
bool TForm1::CheckVersionBytes(bool report) {
    BYTE inquiry[100];
    memset(inquiry, 0, sizeof inquiry);
    Atapi.Inquiry(inquiry);
    if (inquiry[38] == UpdateFlags.RequiredVersion[0] &&
        inquiry[39] == UpdateFlags.RequiredVersion[1]) {
        return true;
    }
    if (report) LogMessage("Err:The firmware is not support this device!!(4)");
    return false;
}

// Searches the drive's buffer for either marker text, showing the search on
// the progress bar and keeping the window responsive at every position.
bool TForm1::CheckDriveMarker() {
    BYTE *buffer = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!buffer) {
        LogMessage("Err:Memory allocation");
        return false;
    }
    memset(buffer, 0, BlockSlotSize);
    Atapi.ReadDriveBuffer(buffer, DriveBufferLength);

    ProgressBar1->SetMin(0);
    ProgressBar1->SetMax(static_cast<int>(LastSearchPosition));

    // The bar is moved only when its filled part would grow by a pixel, and
    // to the exact position where the search ends; repainting it 65534
    // times would cost far more than the search.
    RECT client = {};
    GetClientRect(ProgressBar1->Handle, &client);
    const DWORD pixels = client.right > 0 ? static_cast<DWORD>(client.right) : 1;
    DWORD shownPixel = ~0u;

    bool found = false;
    for (DWORD pos = 0; pos <= LastSearchPosition; ++pos) {
        RunPendingMessages();
        found = buffer[pos] == 'Q' && (WideTextAt(buffer, BlockSlotSize, pos, OddMarkerText) ||
                                       WideTextAt(buffer, BlockSlotSize, pos, DesignMarkerText));
        const DWORD pixel = pos * pixels / LastSearchPosition;
        if (pixel != shownPixel || found || pos == LastSearchPosition) {
            ProgressBar1->SetPosition(static_cast<int>(pos));
            shownPixel = pixel;
        }
        if (found) break;
    }
    Os.FreeBuffer(buffer);
    if (!found) LogMessage("This firmware isn't support !!(10)");
    return found;
}
