// The firmware slot file as the program carries it, seen from the packaging
// side: reading and writing slots, the scrambling, the block sum, and the
// same search for the inquiry template that the program makes at start-up.
//
// This file stands on its own (no Windows headers) so that the tool builds
// with any C++17 compiler on the machine that packages a release.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fw {

constexpr uint32_t SlotSize = 524352;          // 64-byte header + 8 block slots
constexpr uint32_t HeaderSize = 64;
constexpr uint32_t BlockSlotSize = 65536;
constexpr int MaxBlocks = 8;
constexpr uint32_t MaxBlockLength = 65535;     // one less than the block slot

constexpr char MagicText[] = "VESK FILE SYSTEM";

// Header offsets.
constexpr uint32_t OffImageType = 24;
constexpr uint32_t OffScrambleFlag = 25;
constexpr uint32_t OffChecksum = 32;
constexpr uint32_t OffBlockCount = 34;
constexpr uint32_t OffBlockLength = 36;

// Scramble flag values the program tells apart.
constexpr uint8_t FlagScrambled = 0x01;
constexpr uint8_t FlagPlainZero = 0x00;
constexpr uint8_t FlagPlainSpace = 0x20;

// The inquiry template the program searches block 0 for.
constexpr uint32_t TemplateSize = 40;          // up to the two version bytes
constexpr uint32_t LastTemplatePosition = BlockSlotSize - TemplateSize;   // 65496

// The design marker, stored as 16-bit characters, looked for in the images
// of one drive model.
constexpr char DesignMarkerModel[] = "PLM-7004X";
constexpr char DesignMarkerText[] = "Quorvex Design";

uint16_t ReadLe16(const uint8_t *p);
void WriteLe16(uint8_t *p, uint16_t value);

// Both transformations work on whole groups of eight bytes, in place.
// Unscramble takes its seed from the first stored byte (seed = byte + 2);
// Scramble uses the given seed and expects plain data that starts with 0x02,
// which is what makes the stored first byte give the seed back.
void Unscramble(uint8_t *buffer, uint32_t length);
void Scramble(uint8_t *buffer, uint32_t length, uint8_t seed);

// Builds the 40 template bytes: signature, identity, required version.
struct Identity {
    std::string Vendor;     // 8 characters
    std::string Product;    // 16 characters
    std::string Revision;   // 4 characters
    uint8_t Version[2] = {0, 0};
    uint8_t AdditionalLength = 0x1F;
};
void BuildTemplate(const Identity &id, uint8_t out[TemplateSize]);

// Everything the tool can tell about one slot. Defects are the reasons a
// slot must not be carried by the program.
struct SlotReport {
    bool MagicOk = false;
    uint8_t ImageType = 0;
    uint8_t ScrambleFlag = 0;
    uint16_t Checksum = 0;
    uint16_t BlockCount = 0;
    uint16_t BlockLength[MaxBlocks] = {};
    bool SumKnown = false;        // false when BlockCount is out of range
    uint16_t BlockSum = 0;        // over the plain bytes of the blocks in use
    uint8_t FirstByte[MaxBlocks] = {};   // plain first byte of each block in use

    bool TemplateFound = false;
    uint32_t TemplateOffset = 0;
    uint8_t AdditionalLength = 0;
    std::string IdentificationText;     // ends at the first NUL, at most 28
    uint8_t Version[2] = {0, 0};
    bool MarkerSearched = false;        // only for the design-marker model
    bool MarkerFound = false;
    uint32_t MarkerOffset = 0;

    std::vector<std::string> Defects;
};

bool IsScrambled(uint8_t flag);
SlotReport Analyse(const std::vector<uint8_t> &slot);

// File helpers: whole-file read and write, with a message on failure.
bool ReadFile(const std::string &path, std::vector<uint8_t> &data, std::string &error);
bool WriteFile(const std::string &path, const void *data, size_t size, std::string &error);

}  // namespace fw
