// The two embedded image slots: which of them hold an image, and loading
// the header of one into the window's descriptor.
#include "app/MainForm.h"
#include "image/FirmwareImage.h"

const BYTE *FirmwareSlots = EmbeddedSlots;
const BYTE *CurrentImage = nullptr;

namespace {

WORD HeaderWord(const BYTE *slot, DWORD offset) {
    return static_cast<WORD>(slot[offset] | (slot[offset + 1] << 8));
}

// A slot holds an image when the tested characters of its magic match and
// its block count fits the eight block slots. The download and the
// read-back index the block lengths and block slots by block number, so a
// larger count would take them past the slot: such a slot is not an image.
bool HoldsImage(const BYTE *slot) {
    static const char magic[] = "VESK FILE SYSTEM";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 9) continue;
        if (slot[i] != static_cast<BYTE>(magic[i])) return false;
    }
    return HeaderWord(slot, HeaderBlockCount) <= MaxBlocks;
}

}  // namespace

// Counts the leading slots that hold an image: slot 1 counts only after
// slot 0.
int TForm1::CountImages() {
    if (!HoldsImage(FirmwareSlots)) return 0;
    if (!HoldsImage(FirmwareSlots + SlotSize)) return 1;
    return 2;
}

void TForm1::LoadDescriptor(int slot) {
    CurrentImage = slot == 0 ? FirmwareSlots : FirmwareSlots + SlotSize;
    ScrambleFlag = CurrentImage[HeaderScrambleFlag];
    Checksum = HeaderWord(CurrentImage, HeaderChecksum);
    BlockCount = HeaderWord(CurrentImage, HeaderBlockCount);
    for (int k = 0; k < MaxBlocks; ++k) {
        BlockLength[k] = HeaderWord(CurrentImage, HeaderBlockLength + 2 * static_cast<DWORD>(k));
    }
}
