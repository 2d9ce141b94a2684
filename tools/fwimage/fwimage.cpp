// fwimage: builds, inspects and verifies the firmware slot files that the
// program carries, and turns two verified slot files into the C++ source of
// the embedded slots.
//
//   fwimage pack    --out SLOT --vendor V --product P --revision R --version XY
//                   --template OFFSET --block FILE [--block FILE ...]
//                   [--additional-length 0x1F|0x5B] [--image-type BYTE]
//                   [--scramble-flag 0x00|0x20|0x01] [--seed BYTE]
//   fwimage inspect SLOT
//   fwimage verify  SLOT [SLOT ...]
//   fwimage embed   --out FILE.cpp SLOT0 SLOT1
//   fwimage synth   --out-prefix PREFIX --length N [--length N ...] --checksum SUM
//                   --seed N --template OFFSET --vendor V --product P --revision R
//                   --version XY [--additional-length 0x1F|0x5B]
//
// Numbers are decimal or 0x-prefixed hexadecimal. The exit status is 0 on
// success, 1 when a slot has a defect or a command cannot be carried out,
// and 2 on a usage error.
#include "SlotFile.h"
#include "Synth.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

int Fail(const std::string &message) {
    std::fprintf(stderr, "fwimage: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string &message) {
    std::fprintf(stderr, "fwimage: %s\n", message.c_str());
    std::fprintf(stderr,
                 "usage: fwimage pack|inspect|verify|embed|synth ... "
                 "(see the head of tools/fwimage/fwimage.cpp)\n");
    return 2;
}

// Options: "--name value" pairs (repeatable) and plain operands.
struct Args {
    std::map<std::string, std::vector<std::string>> Options;
    std::vector<std::string> Operands;

    bool Has(const char *name) const { return Options.count(name) != 0; }
    const std::string &One(const char *name) const { return Options.at(name).back(); }
    const std::vector<std::string> &All(const char *name) const { return Options.at(name); }
};

bool ParseArgs(int argc, char **argv, int first, const std::vector<std::string> &known,
               Args &args, std::string &error) {
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--", 0) != 0) {
            args.Operands.push_back(a);
            continue;
        }
        const std::string name = a.substr(2);
        bool isKnown = false;
        for (const std::string &k : known) isKnown = isKnown || k == name;
        if (!isKnown) {
            error = "unknown option " + a;
            return false;
        }
        if (i + 1 >= argc) {
            error = "option " + a + " needs a value";
            return false;
        }
        args.Options[name].push_back(argv[++i]);
    }
    return true;
}

bool ParseNumber(const std::string &text, unsigned long max, unsigned long &value) {
    if (text.empty()) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = text.c_str() + (hex ? 2 : 0);
    if (*digits == 0) return false;
    char *end = nullptr;
    value = std::strtoul(digits, &end, hex ? 16 : 10);
    return *end == 0 && value <= max && std::isalnum(static_cast<unsigned char>(*digits));
}

bool NumberOption(const Args &args, const char *name, unsigned long max, unsigned long &value,
                  std::string &error) {
    if (!ParseNumber(args.One(name), max, value)) {
        error = "--" + std::string(name) + " " + args.One(name) + " is not a number from 0 to " +
                std::to_string(max);
        return false;
    }
    return true;
}

// A text field of INQUIRY data: at most width characters, padded with spaces.
bool TextOption(const Args &args, const char *name, size_t width, std::string &value,
                std::string &error) {
    if (!args.Has(name)) {
        error = "--" + std::string(name) + " is required";
        return false;
    }
    value = args.One(name);
    if (value.size() > width) {
        error = "--" + std::string(name) + " \"" + value + "\" is longer than " +
                std::to_string(width) + " characters";
        return false;
    }
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
            error = "--" + std::string(name) + " holds a character that is not printable ASCII";
            return false;
        }
    }
    value.resize(width, ' ');
    return true;
}

// The identity options shared by pack and synth.
bool IdentityOptions(const Args &args, fw::Identity &id, unsigned long &templateOffset,
                     std::string &error) {
    if (!TextOption(args, "vendor", 8, id.Vendor, error) ||
        !TextOption(args, "product", 16, id.Product, error) ||
        !TextOption(args, "revision", 4, id.Revision, error)) {
        return false;
    }
    if (!args.Has("version")) {
        error = "--version is required (two characters such as D8, or 0xHH,0xHH)";
        return false;
    }
    const std::string v = args.One("version");
    const size_t comma = v.find(',');
    unsigned long b0 = 0, b1 = 0;
    if (v.size() == 2) {
        id.Version[0] = static_cast<uint8_t>(v[0]);
        id.Version[1] = static_cast<uint8_t>(v[1]);
    } else if (comma != std::string::npos && ParseNumber(v.substr(0, comma), 255, b0) &&
               ParseNumber(v.substr(comma + 1), 255, b1)) {
        id.Version[0] = static_cast<uint8_t>(b0);
        id.Version[1] = static_cast<uint8_t>(b1);
    } else {
        error = "--version " + v + " is neither two characters nor two bytes 0xHH,0xHH";
        return false;
    }
    unsigned long al = 0x1F;
    if (args.Has("additional-length")) {
        if (!NumberOption(args, "additional-length", 255, al, error)) return false;
        if (al != 0x1F && al != 0x5B) {
            error = "--additional-length must be 0x1F or 0x5B: the program recognises no other";
            return false;
        }
    }
    id.AdditionalLength = static_cast<uint8_t>(al);
    if (!args.Has("template")) {
        error = "--template (the template's offset in block 0) is required";
        return false;
    }
    if (!NumberOption(args, "template", fw::LastTemplatePosition, templateOffset, error)) {
        return false;
    }
    return true;
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

void PrintDefects(const std::string &path, const fw::SlotReport &r) {
    for (const std::string &d : r.Defects) {
        std::fprintf(stderr, "fwimage: %s: %s\n", path.c_str(), d.c_str());
    }
}

// --- pack -------------------------------------------------------------------

int Pack(const Args &args) {
    std::string error;
    if (!args.Operands.empty()) return Usage("pack takes no operand: " + args.Operands[0]);
    if (!args.Has("out")) return Usage("pack needs --out");
    if (!args.Has("block")) return Usage("pack needs at least one --block");

    fw::Identity id;
    unsigned long templateOffset = 0;
    if (!IdentityOptions(args, id, templateOffset, error)) return Usage(error);

    unsigned long imageType = 0x20, flag = 0x20, seed = 0;
    if (args.Has("image-type") && !NumberOption(args, "image-type", 255, imageType, error)) {
        return Usage(error);
    }
    if (args.Has("scramble-flag") && !NumberOption(args, "scramble-flag", 255, flag, error)) {
        return Usage(error);
    }
    if (args.Has("seed")) {
        if (!NumberOption(args, "seed", 255, seed, error)) return Usage(error);
        if (!args.Has("scramble-flag")) flag = fw::FlagScrambled;
    }
    if (flag != fw::FlagScrambled && flag != fw::FlagPlainZero && flag != fw::FlagPlainSpace) {
        return Usage("--scramble-flag must be 0x00 or 0x20 (plain) or 0x01 (scrambled)");
    }
    if (flag == fw::FlagScrambled && !args.Has("seed")) {
        return Usage("a scrambled image needs --seed");
    }
    if (flag != fw::FlagScrambled && args.Has("seed")) {
        return Usage("--seed is only for a scrambled image (--scramble-flag 0x01)");
    }

    const std::vector<std::string> &files = args.All("block");
    if (files.size() > static_cast<size_t>(fw::MaxBlocks)) {
        return Fail(std::to_string(files.size()) + " blocks given; an image holds at most 8");
    }
    std::vector<std::vector<uint8_t>> blocks(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        if (!fw::ReadFile(files[k], blocks[k], error)) return Fail(error);
        if (blocks[k].empty()) return Fail(files[k] + ": a block must not be empty");
        if (blocks[k].size() > fw::MaxBlockLength) {
            return Fail(files[k] + ": " + std::to_string(blocks[k].size()) +
                        " bytes; a block holds at most 65535 bytes");
        }
    }
    if (templateOffset + fw::TemplateSize > blocks[0].size()) {
        return Fail("the template at " + Hex(static_cast<unsigned>(templateOffset), 4) +
                    " does not fit inside block 0's " + std::to_string(blocks[0].size()) +
                    " bytes");
    }
    fw::BuildTemplate(id, blocks[0].data() + templateOffset);

    if (flag == fw::FlagScrambled) {
        // The program takes the seed back from the first stored byte, which
        // only works for plain data that begins with 0x02.
        for (size_t k = 0; k < blocks.size(); ++k) {
            if (blocks[k][0] != 0x02) {
                return Fail(files[k] + ": a scrambled block must begin with 0x02, this one begins " +
                            Hex(blocks[k][0], 2));
            }
        }
    }

    std::vector<uint8_t> slot(fw::SlotSize);
    uint8_t *h = slot.data();
    std::memcpy(h, fw::MagicText, 16);
    h[16] = 0x00;
    std::memset(h + 17, 0x20, fw::HeaderSize - 17);
    h[fw::OffImageType] = static_cast<uint8_t>(imageType);
    h[fw::OffScrambleFlag] = static_cast<uint8_t>(flag);

    uint32_t sum = 0;
    std::vector<uint8_t> work(fw::BlockSlotSize);
    for (int k = 0; k < fw::MaxBlocks; ++k) {
        uint8_t *blockSlot = h + fw::HeaderSize + k * fw::BlockSlotSize;
        std::memset(blockSlot, k, fw::BlockSlotSize);   // room beyond a block holds its index
        if (static_cast<size_t>(k) >= blocks.size()) continue;
        const std::vector<uint8_t> &b = blocks[k];
        const uint32_t length = static_cast<uint32_t>(b.size());
        for (uint8_t byte : b) sum += byte;
        fw::WriteLe16(h + fw::OffBlockLength + 2 * k, static_cast<uint16_t>(length));
        std::memcpy(work.data(), b.data(), length);
        if (flag == fw::FlagScrambled) {
            fw::Scramble(work.data(), length, static_cast<uint8_t>(seed));
        }
        std::memcpy(blockSlot, work.data(), length);
    }
    fw::WriteLe16(h + fw::OffChecksum, static_cast<uint16_t>(sum));
    fw::WriteLe16(h + fw::OffBlockCount, static_cast<uint16_t>(blocks.size()));

    const fw::SlotReport r = fw::Analyse(slot);
    if (!r.Defects.empty()) {
        PrintDefects(args.One("out"), r);
        return Fail("not written: the packed slot would be defective");
    }
    if (r.TemplateOffset != templateOffset) {
        return Fail("block 0 holds a template signature at " + Hex(r.TemplateOffset, 4) +
                    ", before the template at " + Hex(static_cast<unsigned>(templateOffset), 4) +
                    "; the program would identify the image by it");
    }
    if (!fw::WriteFile(args.One("out"), slot.data(), slot.size(), error)) return Fail(error);
    return 0;
}

// --- inspect ----------------------------------------------------------------

std::string Printable(const uint8_t *bytes, size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = bytes[i];
        if (c >= 0x20 && c <= 0x7E && c != '"' && c != '\\') {
            s.push_back(static_cast<char>(c));
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            s += esc;
        }
    }
    return s;
}

int Inspect(const Args &args) {
    if (args.Operands.size() != 1) return Usage("inspect takes one slot file");
    const std::string &path = args.Operands[0];
    std::vector<uint8_t> slot;
    std::string error;
    if (!fw::ReadFile(path, slot, error)) return Fail(error);
    const fw::SlotReport r = fw::Analyse(slot);

    std::printf("slot file:        %s (%zu bytes)\n", path.c_str(), slot.size());
    if (slot.size() == fw::SlotSize) {
        std::printf("magic:            \"%s\" (%s)\n", Printable(slot.data(), 16).c_str(),
                    r.MagicOk ? "valid" : "invalid");
        std::printf("image type:       0x%02X\n", r.ImageType);
        std::printf("scramble flag:    0x%02X (%s)\n", r.ScrambleFlag,
                    r.ScrambleFlag == fw::FlagScrambled ? "scrambled"
                    : (r.ScrambleFlag == 0x00 || r.ScrambleFlag == 0x20) ? "plain"
                                                                         : "undefined");
        std::printf("checksum:         0x%04X", r.Checksum);
        if (r.SumKnown) {
            std::printf(" (blocks sum to 0x%04X: %s)\n", r.BlockSum,
                        r.BlockSum == r.Checksum ? "match" : "MISMATCH");
        } else {
            std::printf(" (not summed)\n");
        }
        std::printf("block count:      %u\n", r.BlockCount);
        if (r.BlockCount <= fw::MaxBlocks) {
            for (int k = 0; k < r.BlockCount; ++k) {
                std::printf("block %d:          %u bytes (0x%04X), first plain byte 0x%02X\n", k,
                            r.BlockLength[k], r.BlockLength[k], r.FirstByte[k]);
            }
        }
        if (r.TemplateFound) {
            const std::string &t = r.IdentificationText;
            std::printf("template:         block 0 offset 0x%04X, additional length 0x%02X\n",
                        r.TemplateOffset, r.AdditionalLength);
            std::printf("identification:   \"%s\" (%zu characters)\n",
                        Printable(reinterpret_cast<const uint8_t *>(t.data()), t.size()).c_str(),
                        t.size());
            const char *names[3] = {"vendor:  ", "product: ", "revision:"};
            const size_t from[3] = {0, 8, 24}, width[3] = {8, 16, 4};
            for (int i = 0; i < 3; ++i) {
                const std::string part = from[i] < t.size() ? t.substr(from[i], width[i]) : "";
                std::printf("  %s       \"%s\"\n", names[i],
                            Printable(reinterpret_cast<const uint8_t *>(part.data()), part.size())
                                .c_str());
            }
            std::printf("required version: 0x%02X 0x%02X (\"%s\")\n", r.Version[0], r.Version[1],
                        Printable(r.Version, 2).c_str());
            if (!r.MarkerSearched) {
                std::printf("design marker:    not looked for (product is not %s)\n",
                            fw::DesignMarkerModel);
            } else if (r.MarkerFound) {
                std::printf("design marker:    \"%s\" at block 0 offset 0x%04X\n",
                            fw::DesignMarkerText, r.MarkerOffset);
            } else {
                std::printf("design marker:    absent\n");
            }
        } else {
            std::printf("template:         none\n");
        }
    }
    if (r.Defects.empty()) {
        std::printf("verdict:          ok\n");
        return 0;
    }
    for (const std::string &d : r.Defects) std::printf("defect:           %s\n", d.c_str());
    return 1;
}

// --- verify -----------------------------------------------------------------

int Verify(const Args &args) {
    if (args.Operands.empty()) return Usage("verify takes one or more slot files");
    int status = 0;
    for (const std::string &path : args.Operands) {
        std::vector<uint8_t> slot;
        std::string error;
        if (!fw::ReadFile(path, slot, error)) {
            status = Fail(error);
            continue;
        }
        const fw::SlotReport r = fw::Analyse(slot);
        if (r.Defects.empty()) {
            std::printf("%s: ok\n", path.c_str());
        } else {
            PrintDefects(path, r);
            status = 1;
        }
    }
    return status;
}

// --- embed ------------------------------------------------------------------

int Embed(const Args &args) {
    if (!args.Has("out")) return Usage("embed needs --out");
    if (args.Operands.size() != 2) return Usage("embed takes exactly two slot files");
    const std::string out = args.One("out");
    std::remove(out.c_str());   // never leave an old source behind a refusal

    std::vector<uint8_t> all;
    for (const std::string &path : args.Operands) {
        std::vector<uint8_t> slot;
        std::string error;
        if (!fw::ReadFile(path, slot, error)) return Fail(error);
        const fw::SlotReport r = fw::Analyse(slot);
        if (!r.Defects.empty()) {
            PrintDefects(path, r);
            return Fail("refusing to embed " + path);
        }
        all.insert(all.end(), slot.begin(), slot.end());
    }

    std::string text;
    text.reserve(all.size() * 5 + 1024);
    text += "// Generated by fwimage embed from " + args.Operands[0] + " and " + args.Operands[1] +
            ".\n// Do not edit: rebuild the slot files instead.\n";
    text += "#include \"image/FirmwareImage.h\"\n\n";
    text += "const BYTE EmbeddedSlots[SlotCount * SlotSize] = {\n";
    static const char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < all.size(); ++i) {
        text += "0x";
        text += digits[all[i] >> 4];
        text += digits[all[i] & 15];
        text += (i % 24 == 23) ? ",\n" : ",";
    }
    text += "\n};\n";

    std::string error;
    const std::string temp = out + ".part";
    if (!fw::WriteFile(temp, text.data(), text.size(), error)) return Fail(error);
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        std::remove(temp.c_str());
        return Fail("cannot create " + out);
    }
    return 0;
}

// --- synth ------------------------------------------------------------------

int SynthCommand(const Args &args) {
    std::string error;
    if (!args.Operands.empty()) return Usage("synth takes no operand: " + args.Operands[0]);
    if (!args.Has("out-prefix") || !args.Has("length") || !args.Has("checksum") ||
        !args.Has("seed")) {
        return Usage("synth needs --out-prefix, --length, --checksum and --seed");
    }
    fw::SynthRequest request;
    if (!IdentityOptions(args, request.Id, request.TemplateOffset, error)) return Usage(error);
    unsigned long value = 0;
    if (!NumberOption(args, "checksum", 0xFFFF, value, error)) return Usage(error);
    request.Checksum = static_cast<uint16_t>(value);
    if (!NumberOption(args, "seed", 0xFFFFFFFFul, value, error)) return Usage(error);
    request.Seed = static_cast<uint32_t>(value);
    for (const std::string &l : args.All("length")) {
        if (!ParseNumber(l, fw::MaxBlockLength, value) || value == 0) {
            return Usage("--length " + l + " is not a block length from 1 to 65535");
        }
        request.Lengths.push_back(static_cast<uint32_t>(value));
    }
    if (request.Lengths.size() > static_cast<size_t>(fw::MaxBlocks)) {
        return Usage("at most 8 blocks");
    }
    std::vector<std::vector<uint8_t>> blocks;
    if (!fw::Synthesize(request, blocks, error)) return Fail(error);
    for (size_t k = 0; k < blocks.size(); ++k) {
        const std::string path = args.One("out-prefix") + std::to_string(k) + ".bin";
        if (!fw::WriteFile(path, blocks[k].data(), blocks[k].size(), error)) return Fail(error);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return Usage("no command given");
    const std::string command = argv[1];
    const std::vector<std::string> identity = {"vendor", "product", "revision", "version",
                                               "template", "additional-length"};
    std::vector<std::string> known;
    if (command == "pack") {
        known = identity;
        known.insert(known.end(), {"out", "block", "image-type", "scramble-flag", "seed"});
    } else if (command == "embed") {
        known = {"out"};
    } else if (command == "synth") {
        known = identity;
        known.insert(known.end(), {"out-prefix", "length", "checksum", "seed"});
    } else if (command != "inspect" && command != "verify") {
        return Usage("unknown command " + command);
    }
    Args args;
    std::string error;
    if (!ParseArgs(argc, argv, 2, known, args, error)) return Usage(error);

    if (command == "pack") return Pack(args);
    if (command == "inspect") return Inspect(args);
    if (command == "verify") return Verify(args);
    if (command == "embed") return Embed(args);
    return SynthCommand(args);
}
