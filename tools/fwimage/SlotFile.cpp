#include "SlotFile.h"

#include <cstdio>
#include <cstring>

namespace fw {

uint16_t ReadLe16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void WriteLe16(uint8_t *p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value & 0xFF);
    p[1] = static_cast<uint8_t>(value >> 8);
}

// One group of eight bytes maps x to S + 57 * j - x, which is its own
// inverse for a fixed seed; the seed moves on by S * 35 per group.
static void Transform(uint8_t *buffer, uint32_t length, uint8_t seed) {
    uint8_t s = seed;
    for (uint32_t i = 0; i < length;) {
        for (uint32_t j = 0; j < 8; ++j, ++i) {
            buffer[i] = static_cast<uint8_t>(s + 57 * j - buffer[i]);
        }
        s = static_cast<uint8_t>(s * 35);
    }
}

void Unscramble(uint8_t *buffer, uint32_t length) {
    if (length == 0) return;
    Transform(buffer, length, static_cast<uint8_t>(buffer[0] + 2));
}

void Scramble(uint8_t *buffer, uint32_t length, uint8_t seed) {
    Transform(buffer, length, seed);
}

static void PutField(uint8_t *out, const std::string &text, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        out[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
    }
}

void BuildTemplate(const Identity &id, uint8_t out[TemplateSize]) {
    std::memset(out, 0, TemplateSize);
    out[0] = 0x05;                  // CD/DVD device
    out[1] = 0x80;                  // removable medium
    out[2] = 0x00;
    out[3] = 0x32;                  // response data format, as ATAPI drives answer
    out[4] = id.AdditionalLength;
    PutField(out + 8, id.Vendor, 8);
    PutField(out + 16, id.Product, 16);
    PutField(out + 32, id.Revision, 4);
    out[38] = id.Version[0];
    out[39] = id.Version[1];
}

bool IsScrambled(uint8_t flag) {
    return flag == FlagScrambled;
}

static std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// The template search exactly as the program makes it: block 0 in a zeroed
// 64 KiB buffer, the whole buffer descrambled for a scrambled image, the
// first signature whose required-version bytes lie inside the buffer.
static void FindTemplate(const std::vector<uint8_t> &slot, SlotReport &r) {
    std::vector<uint8_t> buffer(BlockSlotSize, 0);
    std::memcpy(buffer.data(), slot.data() + HeaderSize, r.BlockLength[0]);
    if (IsScrambled(r.ScrambleFlag)) Unscramble(buffer.data(), BlockSlotSize);

    for (uint32_t p = 0; p <= LastTemplatePosition; ++p) {
        const uint8_t *t = buffer.data() + p;
        if (t[0] != 0x05 || t[1] != 0x80 || t[2] != 0x00) continue;
        if (t[4] != 0x1F && t[4] != 0x5B) continue;
        r.TemplateFound = true;
        r.TemplateOffset = p;
        r.AdditionalLength = t[4];
        r.Version[0] = t[38];
        r.Version[1] = t[39];
        for (uint32_t i = 8; i < 36 && t[i] != 0; ++i) {
            r.IdentificationText.push_back(static_cast<char>(t[i]));
        }
        break;
    }
    if (!r.TemplateFound) return;

    // Characters 8-16: the first nine of the product identification.
    if (r.IdentificationText.size() >= 17 &&
        r.IdentificationText.compare(8, 9, DesignMarkerModel) == 0) {
        r.MarkerSearched = true;
        uint8_t wide[2 * sizeof DesignMarkerText];
        const size_t n = std::strlen(DesignMarkerText);
        for (size_t i = 0; i < n; ++i) {
            wide[2 * i] = static_cast<uint8_t>(DesignMarkerText[i]);
            wide[2 * i + 1] = 0;
        }
        for (uint32_t q = 0; q + 2 * n <= BlockSlotSize; ++q) {
            if (std::memcmp(buffer.data() + q, wide, 2 * n) == 0) {
                r.MarkerFound = true;
                r.MarkerOffset = q;
                break;
            }
        }
    }
}

SlotReport Analyse(const std::vector<uint8_t> &slot) {
    SlotReport r;
    if (slot.size() != SlotSize) {
        r.Defects.push_back("the file is " + std::to_string(slot.size()) +
                            " bytes long; a slot is exactly " + std::to_string(SlotSize) +
                            " bytes");
        return r;
    }
    const uint8_t *h = slot.data();

    // The program tests the magic text except for its two spaces.
    r.MagicOk = true;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 9) continue;
        if (h[i] != static_cast<uint8_t>(MagicText[i])) r.MagicOk = false;
    }
    if (!r.MagicOk) r.Defects.push_back("wrong magic: the slot does not begin \"VESK FILE SYSTEM\"");

    r.ImageType = h[OffImageType];
    r.ScrambleFlag = h[OffScrambleFlag];
    r.Checksum = ReadLe16(h + OffChecksum);
    r.BlockCount = ReadLe16(h + OffBlockCount);
    for (int k = 0; k < MaxBlocks; ++k) r.BlockLength[k] = ReadLe16(h + OffBlockLength + 2 * k);

    if (r.ScrambleFlag != FlagScrambled && r.ScrambleFlag != FlagPlainZero &&
        r.ScrambleFlag != FlagPlainSpace) {
        // The boot region refresh would descramble such an image and the
        // download would not: the drive would get two different images.
        r.Defects.push_back("scramble flag " + Hex(r.ScrambleFlag, 2) +
                            " is neither 0x01 (scrambled) nor 0x00/0x20 (plain)");
    }

    if (r.BlockCount > MaxBlocks) {
        r.Defects.push_back("block count " + std::to_string(r.BlockCount) +
                            " is above 8: the blocks would reach past the slot");
    } else if (r.BlockCount == 0) {
        r.Defects.push_back("block count is 0: the image holds no block");
    } else {
        uint32_t sum = 0;
        std::vector<uint8_t> buffer(BlockSlotSize);
        for (int k = 0; k < r.BlockCount; ++k) {
            const uint32_t length = r.BlockLength[k];
            if (length == 0) {
                r.Defects.push_back("block " + std::to_string(k) + " is in use but empty");
                continue;
            }
            std::memcpy(buffer.data(), h + HeaderSize + k * BlockSlotSize, length);
            if (IsScrambled(r.ScrambleFlag)) Unscramble(buffer.data(), length);
            r.FirstByte[k] = buffer[0];
            for (uint32_t i = 0; i < length; ++i) sum += buffer[i];
        }
        r.SumKnown = true;
        r.BlockSum = static_cast<uint16_t>(sum);
        if (r.BlockSum != r.Checksum) {
            r.Defects.push_back("checksum " + Hex(r.Checksum, 4) +
                                " does not match the blocks, which sum to " +
                                Hex(r.BlockSum, 4));
        }
    }

    FindTemplate(slot, r);
    if (!r.TemplateFound) {
        r.Defects.push_back("no inquiry template in block 0");
    } else if (r.TemplateOffset + TemplateSize > r.BlockLength[0]) {
        r.Defects.push_back("the inquiry template at " + Hex(r.TemplateOffset, 4) +
                            " is not wholly inside block 0's " +
                            std::to_string(r.BlockLength[0]) + " bytes");
    }
    return r;
}

bool ReadFile(const std::string &path, std::vector<uint8_t> &data, std::string &error) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    data.clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        data.insert(data.end(), chunk, chunk + got);
    }
    const bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok) error = "cannot read " + path;
    return ok;
}

bool WriteFile(const std::string &path, const void *data, size_t size, std::string &error) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        error = "cannot write " + path;
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace fw
