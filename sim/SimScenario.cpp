#include "sim/SimScenario.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

std::string Trim(const std::string &s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

std::vector<std::string> Words(const std::string &s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// A number: decimal, or hexadecimal with 0x.
bool Number(const std::string &s, unsigned long &value) {
    if (s.empty()) return false;
    char *end = nullptr;
    value = strtoul(s.c_str(), &end, 0);
    return end && *end == 0;
}

// A number written in hexadecimal without prefix (bytes, addresses).
bool Hex(const std::string &s, unsigned long &value) {
    if (s.empty()) return false;
    char *end = nullptr;
    value = strtoul(s.c_str(), &end, 16);
    return end && *end == 0;
}

bool Sense(const std::string &s, TSimSense &sense) {
    unsigned long k, a, q;
    const size_t p1 = s.find('/'), p2 = s.find('/', p1 == std::string::npos ? p1 : p1 + 1);
    if (p1 == std::string::npos || p2 == std::string::npos) return false;
    if (!Hex(s.substr(0, p1), k) || !Hex(s.substr(p1 + 1, p2 - p1 - 1), a) || !Hex(s.substr(p2 + 1), q))
        return false;
    sense = TSimSense{BYTE(k), BYTE(a), BYTE(q)};
    return true;
}

bool Kind(const std::string &s, TSimCmd &kind) {
    for (int k = 0; k <= static_cast<int>(TSimCmd::Any); ++k) {
        if (s == SimCmdName(static_cast<TSimCmd>(k))) {
            kind = static_cast<TSimCmd>(k);
            return true;
        }
    }
    return false;
}

}  // namespace

bool TSimScenario::Load(const char *path) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        Error = std::string("cannot open ") + path;
        ErrorLine = 0;
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    fclose(f);
    return Parse(text);
}

bool TSimScenario::Parse(const std::string &text) {
    TSimScenarioDevice *device = nullptr;
    int lineNumber = 0;
    size_t at = 0;
    auto fail = [&](const std::string &why) {
        Error = why;
        ErrorLine = lineNumber;
        return false;
    };
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty()) continue;

        if (line[0] == '[') {
            if (line.back() != ']') return fail("section without ]");
            std::vector<std::string> w = Words(line.substr(1, line.size() - 2));
            Devices.emplace_back();
            device = &Devices.back();
            device->Drive.reset(new TSimDrive());
            unsigned long a, t, l;
            if (w.size() == 4 && w[0] == "device" && Number(w[1], a) && Number(w[2], t) && Number(w[3], l)) {
                device->Adapter = BYTE(a);
                device->Target = BYTE(t);
                device->Lun = BYTE(l);
            } else if (w.size() == 2 && w[0] == "drive" && w[1].size() == 1) {
                device->Letter = w[1][0];
            } else {
                return fail("a section is [device a t l] or [drive X]");
            }
            continue;
        }

        const size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value");
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        const std::vector<std::string> w = Words(value);
        unsigned long v = 0;

        if (!device) {
            if (key == "adapters" && Number(value, v)) Adapters = BYTE(v);
            else if (key == "type_query_late" && Number(value, v)) TypeQueryLate = v != 0;
            else if (key == "type_query_late_ms" && Number(value, v)) TypeQueryLateMs = v;
            else if (key == "trace") TracePath = value;
            else if (key == "summary") SummaryPath = value;
            else return fail("unknown or malformed machine setting: " + key);
            continue;
        }

        TSimDrive &d = *device->Drive;
        if (key == "type" && Number(value, v)) {
            device->Type = BYTE(v);
            d.InquiryData[0] = BYTE(v);
        } else if (key == "open_fails" && Number(value, v)) {
            device->OpenFails = v != 0;
        } else if (key == "vendor" || key == "product" || key == "revision") {
            const int offset = key == "vendor" ? 8 : key == "product" ? 16 : 32;
            const int width = key == "vendor" ? 8 : key == "product" ? 16 : 4;
            for (int i = 0; i < width; ++i)
                d.InquiryData[offset + i] = BYTE(i < int(value.size()) ? value[i] : ' ');
        } else if ((key == "byte38" || key == "byte39") && Number(value, v)) {
            d.InquiryData[key == "byte38" ? 38 : 39] = BYTE(v);
        } else if (key == "inquiry" || key == "capabilities") {
            // offset:value pairs, both hexadecimal
            BYTE *to = key == "inquiry" ? d.InquiryData : d.Capabilities;
            const size_t size = key == "inquiry" ? sizeof d.InquiryData : sizeof d.Capabilities;
            for (const std::string &pair : w) {
                const size_t colon = pair.find(':');
                unsigned long o, b;
                if (colon == std::string::npos || !Hex(pair.substr(0, colon), o) ||
                    !Hex(pair.substr(colon + 1), b) || o >= size)
                    return fail("expected offset:byte pairs in hexadecimal");
                to[o] = BYTE(b);
            }
        } else if (key == "memory_fill" && Number(value, v)) {
            memset(d.Memory, int(v & 0xFF), sizeof d.Memory);
        } else if (key == "memory") {
            // block:address then bytes, all hexadecimal
            unsigned long block, address;
            const size_t colon = w.empty() ? std::string::npos : w[0].find(':');
            if (colon == std::string::npos || !Hex(w[0].substr(0, colon), block) ||
                !Hex(w[0].substr(colon + 1), address) || block >= 8)
                return fail("memory = block:address bytes...");
            for (size_t i = 1; i < w.size(); ++i) {
                unsigned long b;
                if (!Hex(w[i], b) || address + i - 1 >= 65536) return fail("memory byte out of place");
                d.Memory[block][address + i - 1] = BYTE(b);
            }
        } else if (key == "boot_descriptor") {
            if (w.size() > sizeof d.BootDescriptor) return fail("boot_descriptor has at most 16 bytes");
            memset(d.BootDescriptor, 0, sizeof d.BootDescriptor);
            for (size_t i = 0; i < w.size(); ++i) {
                unsigned long b;
                if (!Hex(w[i], b)) return fail("boot_descriptor bytes are hexadecimal");
                d.BootDescriptor[i] = BYTE(b);
            }
        } else if (key == "drive_buffer_text") {
            // The text at an offset: "offset text..." (offset hexadecimal).
            unsigned long offset;
            const size_t space = value.find(' ');
            if (space == std::string::npos || !Hex(value.substr(0, space), offset) || offset >= 65534)
                return fail("drive_buffer_text = offset text");
            const std::string t = value.substr(space + 1);
            if (d.DriveBuffer.size() < offset + t.size()) d.DriveBuffer.resize(offset + t.size(), 0);
            memcpy(&d.DriveBuffer[offset], t.data(), t.size());
        } else if (key == "drive_buffer_size" && Number(value, v) && v <= 65534) {
            d.DriveBuffer.resize(v, 0);
        } else if (key == "tray_open" && Number(value, v)) {
            d.TrayOpen = v != 0;
        } else if (key == "no_medium" && Number(value, v)) {
            d.NoMedium = v != 0;
        } else if (key == "programming_ms" && Number(value, v)) {
            d.ProgrammingMs = v;
        } else if (key == "not_ready_ms" && Number(value, v)) {
            d.NotReadyUntilMs = v;
        } else if (key == "not_ready_forever" && Number(value, v)) {
            d.NotReadyForever = v != 0;
        } else if (key == "reject_commit") {
            // times key/asc/ascq
            if (w.size() != 2 || !Number(w[0], v) || !Sense(w[1], d.RejectCommitSense))
                return fail("reject_commit = times key/asc/ascq");
            d.RejectCommitTimes = int(v);
        } else if (key == "checksum") {
            if (value == "received") d.ChecksumRule = TSimChecksumRule::Received;
            else if (value == "declared") d.ChecksumRule = TSimChecksumRule::Declared;
            else if (value == "off") d.ChecksumRule = TSimChecksumRule::Off;
            else return fail("checksum = received | declared | off");
        } else if (key == "declared_lengths") {
            if (w.size() > 8) return fail("at most 8 declared lengths");
            for (size_t i = 0; i < w.size(); ++i) {
                if (!Hex(w[i], v) || v > 0xFFFF) return fail("declared lengths are 16-bit hexadecimal");
                d.DeclaredLengths[i] = WORD(v);
            }
        } else if (key == "fault") {
            TSimFault f;
            for (const std::string &item : w) {
                const size_t e = item.find('=');
                if (e == std::string::npos) return fail("fault items are name=value");
                const std::string n = item.substr(0, e), x = item.substr(e + 1);
                unsigned long u;
                if (n == "nth" && Number(x, u)) f.Nth = int(u);
                else if (n == "kind" && Kind(x, f.Kind)) {}
                else if (n == "times" && x == "-1") f.Times = -1;
                else if (n == "times" && Number(x, u)) f.Times = int(u);
                else if (n == "status" && Number(x, u)) f.Status = BYTE(u);
                else if (n == "sense" && Sense(x, f.Sense)) {}
                else if (n == "aspi_status" && Number(x, u)) f.AspiStatus = BYTE(u);
                else if (n == "completion" && x == "normal") f.AspiCompletion = TSimFault::Normal;
                else if (n == "completion" && x == "late") f.AspiCompletion = TSimFault::Late;
                else if (n == "completion" && x == "never") f.AspiCompletion = TSimFault::Never;
                else if (n == "late_ms" && Number(x, u)) f.LateMs = u;
                else if (n == "driver_error" && Number(x, u)) f.DriverError = DWORD(u);
                else if (n == "driver_writes_status" && Number(x, u)) f.DriverWritesStatus = u != 0;
                else return fail("unknown or malformed fault item: " + item);
            }
            d.Faults.push_back(f);
        } else {
            return fail("unknown or malformed drive setting: " + key);
        }
    }
    return true;
}
