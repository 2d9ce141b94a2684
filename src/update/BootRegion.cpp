// The boot region refresh: the drive names one region of its memory in its
// boot descriptor; when the drive's bytes there differ from the image's,
// the whole region is rewritten from the image before the download. The
// refresh is silent and never stops the update, except when its buffers
// cannot be had.
#include <string.h>
#include "image/FirmwareImage.h"
#include "update/UpdateSteps.h"

namespace {

constexpr BYTE SignatureFirst = 0x55;
constexpr BYTE SignatureSecond = 0xDD;
constexpr DWORD CompareChunk = 256;   // one memory read
constexpr DWORD WriteChunk = 128;     // at most this much per WriteMemory

}  // namespace

bool TForm1::RefreshBootRegion() {
    BYTE *image = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!image) {
        LogMessage("Err:Memory allocation");
        return false;
    }
    BYTE *drive = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!drive) {
        LogMessage("Err:Memory allocation");
        Os.FreeBuffer(image);
        return false;
    }
    memset(image, 0, BlockSlotSize);
    memset(drive, 0, BlockSlotSize);

    // Any status but 0 leaves the decision to the descriptor's contents: a
    // failed read that delivers nothing leaves the cleared buffer, which
    // fails the signature test.
    const CommandStatus status = Atapi.ReadBootDescriptor(drive);
    const BYTE block = drive[4];
    const DWORD start = static_cast<DWORD>(drive[5]) * 256 + drive[6];
    const DWORD length = static_cast<DWORD>(drive[7]) * 256 + drive[8];

    // A region that does not lie wholly inside its block is malformed and is
    // left alone, like a descriptor with a bad signature.
    const bool usable = status != 0 && drive[0] == SignatureFirst &&
                        drive[1] == SignatureSecond && block < MaxBlocks &&
                        start + length <= BlockSlotSize && length != 0 && CurrentImage;

    if (usable) {
        // Expected contents: block 0 .. block b laid over each other, so the
        // bytes past block b's own length are those of the last earlier block
        // long enough to reach them.
        for (int k = 0; k <= block; ++k) {
            memcpy(image, SlotBlock(CurrentImage, k), BlockLength[k]);
        }
        if (ScrambleFlag != 0x00 && ScrambleFlag != 0x20) {
            Unscramble(image, BlockLength[block], 1);
        }

        bool differs = false;
        DWORD address = start;
        DWORD remaining = length;
        while (remaining != 0) {
            if (UpdateSteps::ReadDriveMemory(drive, block, static_cast<WORD>(address)) != 1) break;
            const DWORD n = remaining < CompareChunk ? remaining : CompareChunk;
            if (memcmp(drive, image + address, n) != 0) {
                differs = true;
                break;
            }
            address += CompareChunk;
            remaining -= n;
        }

        if (differs) {
            // The whole region, from its start; the drive's answers are not
            // examined and nothing is read back.
            address = start;
            remaining = length;
            while (remaining != 0) {
                const DWORD n = remaining < WriteChunk ? remaining : WriteChunk;
                Atapi.WriteMemory(image + address, block, address, static_cast<BYTE>(n));
                address += n;
                remaining -= n;
            }
        }
    }

    Os.FreeBuffer(drive);
    Os.FreeBuffer(image);
    return true;
}
