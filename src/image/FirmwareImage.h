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
