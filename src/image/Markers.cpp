// The marker texts that drives and images carry in 16-bit characters.
#include "image/FirmwareImage.h"

const char OddMarkerText[] = "Quorvex ODD";
const char DesignMarkerText[] = "Quorvex Design";

bool WideTextAt(const BYTE *buffer, DWORD size, DWORD pos, const char *text) {
    DWORD n = 0;
    while (text[n]) ++n;
    if (pos > size || 2 * n > size - pos) return false;
    const BYTE *p = buffer + pos;
    for (DWORD i = 0; i < n; ++i) {
        if (p[2 * i] != static_cast<BYTE>(text[i]) || p[2 * i + 1] != 0) return false;
    }
    return true;
}
