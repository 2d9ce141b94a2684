// Small firmware images built in the tests, put in place of the carried
// slots for as long as the fixture lives.
#pragma once
#include "image/FirmwareImage.h"
#include <cstring>
#include <string>
#include <vector>

class TSlotFixture {
public:
    // Two valid, empty images (magic, one block of blockLength0 bytes, plain).
    explicit TSlotFixture(WORD blockLength0 = 0x1000) : Bytes(SlotCount * SlotSize, 0) {
        for (int s = 0; s < SlotCount; ++s) {
            std::memcpy(Slot(s), "VESK FILE SYSTEM", 16);
            Slot(s)[HeaderScrambleFlag] = 0x20;
            SetWord(s, HeaderBlockCount, 1);
            SetWord(s, HeaderBlockLength, blockLength0);
        }
        FirmwareSlots = Bytes.data();
    }
    ~TSlotFixture() { FirmwareSlots = EmbeddedSlots; }
    TSlotFixture(const TSlotFixture &) = delete;
    TSlotFixture &operator=(const TSlotFixture &) = delete;

    BYTE *Slot(int s) { return Bytes.data() + static_cast<size_t>(s) * SlotSize; }
    BYTE *Block0(int s) { return Slot(s) + SlotHeaderSize; }

    void SetWord(int s, DWORD offset, WORD value) {
        Slot(s)[offset] = static_cast<BYTE>(value & 0xFF);
        Slot(s)[offset + 1] = static_cast<BYTE>(value >> 8);
    }

    // An inquiry template at offset of block 0: the 28 identification bytes
    // are taken as given (padded with spaces), then the version bytes.
    void PutTemplate(int s, DWORD offset, const std::string &ident, BYTE v38, BYTE v39,
                     BYTE additionalLength = 0x1F) {
        BYTE *t = Block0(s) + offset;
        const BYTE head[8] = {0x05, 0x80, 0x00, 0x32, additionalLength, 0, 0, 0};
        std::memcpy(t, head, 8);
        for (size_t i = 0; i < 28; ++i) t[8 + i] = i < ident.size() ? BYTE(ident[i]) : BYTE(' ');
        t[38] = v38;
        t[39] = v39;
    }

    // A text in 16-bit characters (or in 8-bit ones) at offset of block 0.
    void PutWide(int s, DWORD offset, const char *text) { PutWideAt(Block0(s) + offset, text); }
    void PutNarrow(int s, DWORD offset, const char *text) {
        std::memcpy(Block0(s) + offset, text, std::strlen(text));
    }

    static void PutWideAt(BYTE *at, const char *text) {
        for (size_t i = 0; text[i]; ++i) {
            at[2 * i] = static_cast<BYTE>(text[i]);
            at[2 * i + 1] = 0;
        }
    }

    std::vector<BYTE> Bytes;
};

// Makes scrambled test data: the descrambling step with a chosen seed. Plain
// data that begins with 0x02 then begins with seed - 2 once scrambled, which
// gives the seed back to Unscramble.
inline void ScrambleWithSeed(BYTE *buffer, DWORD length, BYTE seed) {
    for (DWORD i = 0; i < length;) {
        for (DWORD j = 0; j < 8; ++j, ++i) buffer[i] = static_cast<BYTE>(seed + 57 * j - buffer[i]);
        seed = static_cast<BYTE>(seed * 35);
    }
}

// The identification of a vendor, product and revision as INQUIRY has them.
const char CarriedIdentification[] = "VESK    PLM-6100X DVD RW2.1 ";
