// The embedded firmware image slots and the container operations that do
// not need the window.
#pragma once
#include <windows.h>

// Slot layout: a 64-byte header, then eight 64 KiB block slots.
constexpr DWORD SlotSize = 524352;          // 64 + 8 * 65536
constexpr DWORD SlotHeaderSize = 64;
constexpr DWORD BlockSlotSize = 65536;
constexpr int SlotCount = 2;
constexpr int MaxBlocks = 8;

// Header fields (little-endian). The magic text is "VESK FILE SYSTEM"; its
// two spaces (offsets 4 and 9) are not tested.
constexpr DWORD HeaderScrambleFlag = 25;
constexpr DWORD HeaderChecksum = 32;
constexpr DWORD HeaderBlockCount = 34;
constexpr DWORD HeaderBlockLength = 36;     // eight 16-bit entries

// ScrambleFlag value of an image whose blocks are stored scrambled (for the
// identification and the download; the boot region refresh has its own test).
constexpr BYTE ScrambledImage = 0x01;

// The two slots as the program carries them, back to back (generated data).
extern const BYTE EmbeddedSlots[SlotCount * SlotSize];

// The slots in use: EmbeddedSlots, unless a test points it elsewhere.
extern const BYTE *FirmwareSlots;

// The slot whose header was last loaded; null until then.
extern const BYTE *CurrentImage;

// Block k of a slot.
inline const BYTE *SlotBlock(const BYTE *slot, int k) {
    return slot + SlotHeaderSize + static_cast<DWORD>(k) * BlockSlotSize;
}

// Descrambles length bytes (rounded up to whole groups of eight) in place.
// Always returns 1.
int Unscramble(BYTE *buffer, DWORD length, BYTE enable);

// The marker texts, which drives and images store as 16-bit little-endian
// characters (the ASCII code, then 0x00).
extern const char OddMarkerText[];      // "Quorvex ODD", in the drive's buffer
extern const char DesignMarkerText[];   // "Quorvex Design", in the drive's buffer or an image

// True when text lies at pos of buffer in 16-bit characters, every byte of
// it inside the size bytes of the buffer.
bool WideTextAt(const BYTE *buffer, DWORD size, DWORD pos, const char *text);
