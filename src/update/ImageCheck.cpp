// The last look at the embedded image before the drive is touched: an image
// whose header names more blocks than the slot holds, or whose bytes do not
// add up to its own checksum, would leave the drive with broken firmware.
#include <string.h>
#include "image/FirmwareImage.h"
#include "update/UpdateSteps.h"

namespace UpdateSteps {

const char DamagedImageLine[] = "Err:Firmware image is damaged !!";

bool ImageIsIntact(TForm1 &form) {
    if (!CurrentImage || form.BlockCount > MaxBlocks) {
        form.LogMessage(DamagedImageLine);
        return false;
    }

    // The sum is taken over the bytes as the download sends them, which are
    // the bytes the read-back later sums on the drive.
    BYTE *buffer = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!buffer) {
        form.LogMessage("Err:Memory allocation");
        return false;
    }
    DWORD sum = 0;
    for (int k = 0; k < form.BlockCount; ++k) {
        const DWORD length = form.BlockLength[k];
        memcpy(buffer, SlotBlock(CurrentImage, k), length);
        if (form.ScrambleFlag == 1) Unscramble(buffer, length, 1);
        for (DWORD i = 0; i < length; ++i) sum += buffer[i];
    }
    Os.FreeBuffer(buffer);

    if ((sum & 0xFFFF) != form.Checksum) {
        form.LogMessage(DamagedImageLine);
        return false;
    }
    return true;
}

}  // namespace UpdateSteps
