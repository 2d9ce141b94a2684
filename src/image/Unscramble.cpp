// Turns stored (scrambled) block bytes into the bytes the drive gets.
#include "image/FirmwareImage.h"

// The seed comes from the first stored byte, so the first plain byte is
// always 0x02. Each group of eight bytes maps x to S + 57 * j - x; the seed
// then moves on by S * 35. The last group is always completed, so the
// buffer must hold length rounded up to a multiple of eight.
int Unscramble(BYTE *buffer, DWORD length, BYTE enable) {
    if (enable == 0) return 1;
    BYTE seed = static_cast<BYTE>(buffer[0] + 2);
    for (DWORD i = 0; i < length;) {
        for (DWORD j = 0; j < 8; ++j, ++i) {
            buffer[i] = static_cast<BYTE>(seed + 57 * j - buffer[i]);
        }
        seed = static_cast<BYTE>(seed * 35);
    }
    return 1;
}
