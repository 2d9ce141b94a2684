#include "SimRecord.h"
#include "WindowDriver.h"
#include "image/FirmwareImage.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

std::vector<std::string> Words(const std::string &line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ') ++j;
        if (j > i) out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

// "name=value" with the given name: the value, or "" when it is not that.
bool Field(const std::string &word, const char *name, std::string &value) {
    const size_t n = strlen(name);
    if (word.size() <= n || word.compare(0, n, name) != 0 || word[n] != '=') return false;
    value = word.substr(n + 1);
    return true;
}

unsigned long Number(const std::string &s, int base) { return strtoul(s.c_str(), nullptr, base); }

std::vector<std::string> Lines(const std::string &path) {
    std::vector<std::string> out;
    const std::vector<BYTE> bytes = ReadFileBytes(path);
    std::string line;
    for (BYTE b : bytes) {
        if (b == '\n') {
            out.push_back(line);
            line.clear();
        } else if (b != '\r') {
            line += static_cast<char>(b);
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

std::vector<BYTE> ReadFileBytes(const std::string &path) {
    std::vector<BYTE> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    BYTE chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    fclose(f);
    return out;
}

TTrace ReadTrace(const std::string &path) {
    TTrace t;
    FILE *probe = fopen(path.c_str(), "rb");
    t.Read = probe != nullptr;
    if (probe) fclose(probe);
    t.Lines = Lines(path);
    for (const std::string &line : t.Lines) {
        const std::vector<std::string> w = Words(line);
        std::string cdb, dir, len, status, sense;
        if (w.size() != 8 || !Field(w[3], "cdb", cdb) || !Field(w[4], "dir", dir) || !Field(w[5], "len", len) ||
            !Field(w[6], "status", status) || !Field(w[7], "sense", sense) || cdb.size() != 24 || sense.size() != 8)
            continue;
        TTraceCommand c;
        c.Ms = Number(w[0], 10);
        c.Device = w[1];
        c.Kind = w[2];
        for (int i = 0; i < 12; ++i) c.Cdb[i] = static_cast<BYTE>(Number(cdb.substr(2 * i, 2), 16));
        c.Direction = static_cast<unsigned>(Number(dir, 10));
        c.Length = Number(len, 10);
        c.Status = static_cast<unsigned>(Number(status, 10));
        c.Key = static_cast<BYTE>(Number(sense.substr(0, 2), 16));
        c.Asc = static_cast<BYTE>(Number(sense.substr(3, 2), 16));
        c.Ascq = static_cast<BYTE>(Number(sense.substr(6, 2), 16));
        t.Commands.push_back(c);
    }
    return t;
}

std::vector<TTraceCommand> TTrace::Of(const std::string &device, const std::string &kind) const {
    std::vector<TTraceCommand> out;
    for (const TTraceCommand &c : Commands)
        if (c.Device == device && (kind.empty() || c.Kind == kind)) out.push_back(c);
    return out;
}

std::vector<std::string> TTrace::KindsOf(const std::string &device) const {
    std::vector<std::string> out;
    for (const TTraceCommand &c : Commands)
        if (c.Device == device) out.push_back(c.Kind);
    return out;
}

bool TTrace::HasLineEnding(const std::string &text) const {
    for (const std::string &line : Lines)
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
            return true;
    return false;
}

TSummary ReadSummary(const std::string &path) {
    TSummary s;
    const std::vector<std::string> lines = Lines(path);
    s.Read = !lines.empty();
    TDriveSummary *drive = nullptr;
    for (const std::string &line : lines) {
        const std::vector<std::string> w = Words(line);
        std::string v;
        if (w.size() == 5 && (w[0] == "device" || w[0] == "drive")) {
            drive = &s.Drives[w[1]];
            if (Field(w[2], "commands", v)) drive->Commands = static_cast<int>(Number(v, 10));
            if (Field(w[3], "commits", v)) drive->Commits = static_cast<int>(Number(v, 10));
            if (Field(w[4], "rejected", v)) drive->Rejected = static_cast<int>(Number(v, 10));
        } else if (drive && w.size() == 3 && w[0] == "memory" && Field(w[2], "sum", v)) {
            const unsigned long i = Number(w[1], 10);
            if (i < 8) drive->MemorySum[i] = static_cast<unsigned>(Number(v, 16));
        } else if (drive && w.size() == 4 && w[0] == "committed") {
            const unsigned long i = Number(w[1], 10);
            if (i < 8 && Field(w[2], "length", v)) drive->CommittedLength[i] = static_cast<unsigned>(Number(v, 16));
            if (i < 8 && Field(w[3], "sum", v)) drive->CommittedSum[i] = static_cast<unsigned>(Number(v, 16));
        } else if (!w.empty() && w[0] == "machine") {
            for (size_t i = 1; i < w.size(); ++i) {
                const size_t eq = w[i].find('=');
                if (eq != std::string::npos) s.Machine[w[i].substr(0, eq)] = strtoull(w[i].c_str() + eq + 1, nullptr, 10);
            }
        }
    }
    return s;
}

unsigned TImage::BlockSum(int i) const {
    DWORD sum = 0;
    for (DWORD a = 0; a < BlockLength[i]; ++a) sum += Block[i][a];
    return sum & 0xFFFF;
}

unsigned TImage::MemorySum(int i, BYTE fill) const {
    const DWORD length = i < BlockCount ? BlockLength[i] : 0;
    DWORD sum = 0;
    for (DWORD a = 0; a < length; ++a) sum += Block[i][a];
    sum += (65536 - length) * fill;
    return sum & 0xFFFF;
}

TImage CarriedImage(int slot) {
    TImage image;
    const BYTE *s = EmbeddedSlots + static_cast<DWORD>(slot) * SlotSize;
    auto get16 = [s](DWORD at) { return static_cast<WORD>(s[at] | s[at + 1] << 8); };
    image.BlockCount = get16(HeaderBlockCount);
    image.Checksum = get16(HeaderChecksum);
    // The lengths of blocks beyond the count are not part of the image
    // (the carried slots fill them with spaces).
    for (int i = 0; i < 8; ++i) {
        if (i < image.BlockCount) image.BlockLength[i] = get16(HeaderBlockLength + 2 * static_cast<DWORD>(i));
        image.Block[i] = SlotBlock(s, i);
    }
    return image;
}

bool WriteTextFile(const std::string &path, const std::string &text) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

std::string FreshFolder(const std::string &name) {
    const std::string work = ProgramFolder() + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    const std::string folder = work + "\\" + name;
    CreateDirectoryA(folder.c_str(), nullptr);
    // Leftovers of an earlier run would be read as this run's.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    return folder;
}
