// The two quick questions Start asks the drive before an update: which
// memory-read command it understands, and whether it needs the alternate
// download mode. Neither looks at the command status: a command that fails
// leaves its cleared buffer, which answers "no" to both.
#include <string.h>
#include "app/MainForm.h"

namespace {

// Capabilities page bits (the page starts right after the 8-byte header).
constexpr int PageCodeByte = 8;
constexpr int ReadBitsByte = 10;
constexpr int WriteBitsByte = 11;
constexpr BYTE PageCodeCapabilities = 0x2A;
constexpr BYTE DvdRomRead = 0x08;
constexpr BYTE CdrWrite = 0x01;
constexpr BYTE DvdrWrite = 0x10;

// INQUIRY byte 38 of a drive that takes the alternate mode.
constexpr int InquiryModeByte = 38;
constexpr BYTE AlternateModeMark = 0x42;  // 'B'

}  // namespace

// A DVD reader that writes neither CD-R nor DVD-R reads its memory with the
// 0x32 page command.
bool TForm1::ProbeReadVariant() {
    BYTE caps[256];
    memset(caps, 0, sizeof caps);
    Atapi.ModeSenseCapabilities(caps);
    return (caps[ReadBitsByte] & DvdRomRead) != 0 && (caps[WriteBitsByte] & CdrWrite) == 0 &&
           (caps[WriteBitsByte] & DvdrWrite) == 0;
}

// A DVD reader and CD-R writer without DVD-R writing, marked 'B' in its
// INQUIRY byte 38, takes the alternate download mode.
bool TForm1::ProbeAlternateMode() {
    BYTE inquiry[50];
    memset(inquiry, 0, sizeof inquiry);
    Atapi.Inquiry(inquiry);

    BYTE caps[256];
    memset(caps, 0, sizeof caps);
    Atapi.ModeSenseCapabilities(caps);

    return (caps[PageCodeByte] & PageCodeCapabilities) == PageCodeCapabilities &&
           (caps[ReadBitsByte] & DvdRomRead) != 0 && (caps[WriteBitsByte] & CdrWrite) != 0 &&
           (caps[WriteBitsByte] & DvdrWrite) == 0 && inquiry[InquiryModeByte] == AlternateModeMark;
}
