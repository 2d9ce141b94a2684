#include "update/UpdateRig.h"
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

// ---- made-up firmware images ------------------------------------------------

namespace {

// Filler that never holds 0x05, so no template signature appears by chance.
BYTE NextFill(uint32_t &state) {
    state = state * 1103515245u + 12345u;
    BYTE b = static_cast<BYTE>(state >> 16);
    return b == 0x05 ? 0x06 : b;
}

void PutText(BYTE *to, const char *text, int width) {
    int i = 0;
    for (; text[i] && i < width; ++i) to[i] = static_cast<BYTE>(text[i]);
    for (; i < width; ++i) to[i] = ' ';
}

constexpr DWORD TemplateOffset = 0x40;

}  // namespace

void ScrambleInPlace(BYTE *bytes, DWORD length, BYTE firstStored) {
    BYTE seed = static_cast<BYTE>(firstStored + 2);
    for (DWORD i = 0; i < length;) {
        for (int j = 0; j < 8 && i < length; ++j, ++i) {
            bytes[i] = static_cast<BYTE>(seed + 57 * j - bytes[i]);
        }
        seed = static_cast<BYTE>(seed * 35);
    }
}

TTestImage::TTestImage(const TImageShape &shape) : Slots(2 * SlotSize, 0) {
    BYTE *slot = Slots.data();
    memcpy(slot, "VESK FILE SYSTEM", 16);
    memset(slot + 16, 0x20, SlotHeaderSize - 16);
    slot[24] = 0x20;
    slot[HeaderScrambleFlag] = shape.ScrambleFlag;
    const WORD count = static_cast<WORD>(shape.Lengths.size());
    slot[HeaderBlockCount] = static_cast<BYTE>(count);
    slot[HeaderBlockCount + 1] = static_cast<BYTE>(count >> 8);
    uint32_t state = shape.Seed;
    DWORD sum = 0;
    for (int k = 0; k < MaxBlocks; ++k) {
        BYTE *block = slot + SlotHeaderSize + static_cast<DWORD>(k) * BlockSlotSize;
        memset(block, k, BlockSlotSize);
        if (k >= count) continue;
        const WORD length = shape.Lengths[k];
        slot[HeaderBlockLength + 2 * k] = static_cast<BYTE>(length);
        slot[HeaderBlockLength + 2 * k + 1] = static_cast<BYTE>(length >> 8);
        std::vector<BYTE> plain(length);
        for (WORD i = 0; i < length; ++i) plain[i] = NextFill(state);
        if (length) plain[0] = 0x02;
        if (k == 0 && length >= TemplateOffset + 40) {
            BYTE *t = plain.data() + TemplateOffset;
            t[0] = 0x05;
            t[1] = 0x80;
            t[2] = 0x00;
            t[3] = 0x00;
            t[4] = 0x1F;
            PutText(t + 8, "VESK    ", 8);
            PutText(t + 16, shape.Product, 16);
            PutText(t + 32, "2.1 ", 4);
            t[38] = shape.Version[0];
            t[39] = shape.Version[1];
        }
        for (BYTE b : plain) sum += b;
        memcpy(block, plain.data(), length);
        if (shape.ScrambleFlag == 0x01) ScrambleInPlace(block, length, shape.ScrambleSeed);
        Plain.push_back(plain);
    }
    Checksum = static_cast<WORD>(sum + static_cast<DWORD>(shape.ChecksumDelta));
    slot[HeaderChecksum] = static_cast<BYTE>(Checksum);
    slot[HeaderChecksum + 1] = static_cast<BYTE>(Checksum >> 8);
    // Slot 1 carries no image.
    memcpy(slot + SlotSize, slot, SlotHeaderSize);
    slot[SlotSize] = 'X';
}

std::vector<std::vector<BYTE>> CarriedPlainBlocks() {
    std::vector<std::vector<BYTE>> blocks;
    const BYTE *slot = EmbeddedSlots;
    const WORD count = static_cast<WORD>(slot[HeaderBlockCount] | slot[HeaderBlockCount + 1] << 8);
    for (int k = 0; k < count && k < MaxBlocks; ++k) {
        const WORD length = static_cast<WORD>(slot[HeaderBlockLength + 2 * k] |
                                              slot[HeaderBlockLength + 2 * k + 1] << 8);
        const BYTE *b = SlotBlock(slot, k);
        blocks.emplace_back(b, b + length);
    }
    return blocks;
}

// ---- progress bar -----------------------------------------------------------

TProgressLog *TProgressLog::Current = nullptr;

TProgressLog::TProgressLog(HWND bar) : Bar(bar) {
    Current = this;
    Old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TProgressLog::Proc)));
}

TProgressLog::~TProgressLog() {
    if (IsWindow(Bar)) SetWindowLongPtrA(Bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Old));
    if (Current == this) Current = nullptr;
}

LRESULT CALLBACK TProgressLog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TProgressLog *self = Current;
    const LRESULT result = CallWindowProcA(self->Old, window, message, wParam, lParam);
    if (message == PBM_SETRANGE || message == PBM_SETRANGE32) {
        PBRANGE range;
        SendMessageA(window, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
        self->Ranges.emplace_back(range.iLow, range.iHigh);
        self->AfterRange = true;
    } else if (message == PBM_SETPOS) {
        if (self->AfterRange) {
            self->AfterRange = false;
        } else {
            self->Positions.push_back(static_cast<int>(SendMessageA(window, PBM_GETPOS, 0, 0)));
        }
    }
    return result;
}

// ---- command blocks ---------------------------------------------------------

namespace {

std::string Block(std::initializer_list<int> bytes, const char *direction, DWORD length) {
    std::string s;
    char hex[8];
    int n = 0;
    for (int b : bytes) {
        snprintf(hex, sizeof hex, "%s%02X", n ? " " : "", b & 0xFF);
        s += hex;
        ++n;
    }
    for (; n < 12; ++n) s += " 00";
    char tail[32];
    snprintf(tail, sizeof tail, " %s %lu", direction, static_cast<unsigned long>(length));
    return s + tail;
}

}  // namespace

namespace Expect {
std::string TestUnitReady() { return Block({0x00}, "none", 0); }
std::string Inquiry() { return Block({0x12, 0, 0, 0, 0x32}, "in", 50); }
std::string RequestSense() { return Block({0x03, 0, 0, 0, 0x12}, "in", 18); }
std::string StopPlayScan() { return Block({0x4E}, "none", 0); }
std::string StopUnit() { return Block({0x1B}, "none", 0); }
std::string ModeSense() { return Block({0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0}, "in", 256); }
std::string FlashWrite(BYTE mode, BYTE block, WORD length, WORD parameter) {
    return Block({0x5A, 0, 0x38, 0x56, 0x45, 0xA0, mode, block, length >> 8, length & 0xFF,
                  parameter >> 8, parameter & 0xFF},
                 "out", length);
}
std::string ReadMemory32(BYTE block, WORD address) {
    return Block({0x5A, 0, 0x32, 0x56, 0x45, 0x10, address >> 8, address & 0xFF, block}, "in", 256);
}
std::string ReadMemory38(BYTE block, WORD address) {
    return Block({0x5A, 0, 0x38, 0x56, 0x45, 0x11, address >> 8, address & 0xFF, 0, block}, "in",
                 256);
}
std::string ReadMemory(bool use32, BYTE block, WORD address) {
    return use32 ? ReadMemory32(block, address) : ReadMemory38(block, address);
}
std::string ReadBootDescriptor() { return Block({0x5A, 0, 0x38, 0x56, 0x45, 0xA3}, "in", 65536); }
std::string WriteMemory(BYTE block, WORD address, BYTE length) {
    return Block({0x5A, 0, 0x38, 0x56, 0x45, 0xA2, 0, block, address >> 8, address & 0xFF, 0, length},
                 "out", length);
}
std::string ReadDriveBuffer(WORD length) {
    return Block({0x5A, 0, 0x33, 0x56, 0x45, 0x10, 0, 0, length >> 8, length & 0xFF}, "in", length);
}
std::string GetEventStatus() { return Block({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 0x08}, "in", 8); }
}  // namespace Expect

std::string Describe(const TSimTraceEntry &e) {
    std::string s;
    char hex[8];
    for (int i = 0; i < 12; ++i) {
        snprintf(hex, sizeof hex, "%s%02X", i ? " " : "", e.Cdb[i]);
        s += hex;
    }
    const char *direction = e.Direction == 8 ? "in" : e.Direction == 16 ? "out" : "none";
    char tail[32];
    snprintf(tail, sizeof tail, " %s %lu", direction, static_cast<unsigned long>(e.Length));
    return s + tail;
}

std::vector<std::string> Describe(const std::vector<TSimTraceEntry> &trace) {
    std::vector<std::string> out;
    for (const TSimTraceEntry &e : trace) out.push_back(Describe(e));
    return out;
}

std::string FirstDifference(const std::vector<std::string> &got,
                            const std::vector<std::string> &want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    if (i == got.size() && i == want.size()) return "";
    char head[96];
    snprintf(head, sizeof head, "at %u of %u sent / %u expected: ", static_cast<unsigned>(i),
             static_cast<unsigned>(got.size()), static_cast<unsigned>(want.size()));
    return std::string(head) + "sent [" + (i < got.size() ? got[i] : "nothing") + "] expected [" +
           (i < want.size() ? want[i] : "nothing") + "]";
}

// ---- the rig -----------------------------------------------------------------

TUpdateRig::TUpdateRig(bool nt, const TTestImage *image, bool guarded,
                       const std::function<void(TSimDrive *)> &prepare)
    : Sim(nt), SavedSlots(FirmwareSlots) {
    Drive = Sim.AddDrive();
    Version[0] = 'D';
    Version[1] = '8';
    memcpy(Product, "PLM-6100X DVD RW", 17);
    if (image) {
        FirmwareSlots = image->Slots.data();
        Plain = image->Plain;
        ImageChecksum = image->Checksum;
        const BYTE *t = image->Plain[0].data() + 0x40;  // the template, as identification reads it
        Version[0] = t[38];
        Version[1] = t[39];
        memcpy(Product, t + 16, 16);
    } else {
        Plain = CarriedPlainBlocks();
        ImageChecksum = static_cast<WORD>(EmbeddedSlots[HeaderChecksum] |
                                          EmbeddedSlots[HeaderChecksum + 1] << 8);
    }
    ShapeDrive();
    Sim.Machine.GuardedBuffers = guarded;
    if (prepare) prepare(Drive);
    Sim.Start();
    Form.reset(new TFormFixture());
    Form->Answers = {IDOK, IDCANCEL};  // confirm the start-up, decline the restart
    MakeWindow();
}

void TUpdateRig::ShapeDrive() {
    Drive->SetIdentity("VESK    ", Product, "2.1 ", Version[0], Version[1]);
    Drive->Capabilities[11] = 0x11;  // writes CD-R and DVD-R
    Drive->ProgrammingMs = 2500;
}

void TUpdateRig::Reset() {
    // A drive as it comes, on the clock of the machine.
    TSimClock *clock = Drive->Clock;
    std::unique_ptr<TSimDrive> fresh(new TSimDrive());
    *Drive = *fresh;
    Drive->Clock = clock;
    ShapeDrive();

    TSimMachine &m = Sim.Machine;
    m.Sleeps.clear();
    m.Restarts.clear();
    m.PrivilegeNames.clear();
    m.PrivilegeRequests = 0;
    m.RestartRequests = 0;
    m.TokenAccess = 0;
    m.FailAllocAfter = -1;
    // The ASPI request block keeps the last sense for the life of the
    // drive-access object; a new run starts without one.
    if (Atapi.AspiRequest) {
        memset(Atapi.AspiRequest->SenseArea, 0, sizeof Atapi.AspiRequest->SenseArea);
        Atapi.AspiRequest->SRB_TargStat = 0;
    }

    // The window as it was made.
    UpdateFlags = FlagsAfterCreate;
    Form1->LoadDescriptor(0);
    Form1->Edit1->SetText(Identification);
    Form1->ProgressBar1->SetMin(0);
    Form1->ProgressBar1->SetMax(100);
    Form1->ProgressBar1->SetPosition(0);
    Form->Answers = {IDCANCEL};
    Mark();
}

TUpdateRig::~TUpdateRig() {
    Progress.reset();
    Form.reset();
    FirmwareSlots = SavedSlots;
    CurrentImage = nullptr;
}

void TUpdateRig::MakeWindow() {
    Form->Create();
    Form->Pump(0);
    FlagsAfterCreate = UpdateFlags;
    Form1->Edit1->GetText(Identification, sizeof Identification);
    Mark();
}

void TUpdateRig::Mark() {
    Drive->Trace.clear();
    LogMark = Form->LogLines().size();
    BoxMark = Form->Boxes.size();
    BuffersAtMark = Sim.Machine.BuffersOut;
    Progress.reset();
    Progress.reset(new TProgressLog(Form1->ProgressBar1->Handle));
}

void TUpdateRig::Start() { Form1->BitBtn2->Click(); }

std::vector<std::string> TUpdateRig::NewLog() const {
    std::vector<std::string> lines = Form->LogLines();
    if (LogMark >= lines.size()) return {};
    return std::vector<std::string>(lines.begin() + static_cast<long>(LogMark), lines.end());
}

bool TUpdateRig::MemoryHoldsImage() const {
    for (size_t i = 0; i < Plain.size(); ++i) {
        if (!Plain[i].empty() && memcmp(Drive->Memory[i], Plain[i].data(), Plain[i].size()) != 0)
            return false;
    }
    return true;
}

std::vector<TFormFixture::Box> TUpdateRig::NewBoxes() const {
    return std::vector<TFormFixture::Box>(Form->Boxes.begin() + static_cast<long>(BoxMark),
                                          Form->Boxes.end());
}

bool TUpdateRig::BuffersBalanced() const {
    return Sim.Machine.BuffersOut == BuffersAtMark && Sim.Machine.BadFrees == 0;
}

bool TUpdateRig::ControlsEnabled() const {
    return IsWindowEnabled(Form1->SelDevice->Handle) && IsWindowEnabled(Form1->BitBtn2->Handle) &&
           IsWindowEnabled(Form1->BitBtn3->Handle);
}

std::vector<const TSimTraceEntry *> TUpdateRig::Commands(TSimCmd kind) const {
    std::vector<const TSimTraceEntry *> out;
    for (const TSimTraceEntry &e : Drive->Trace)
        if (kind == TSimCmd::Any || e.Kind == kind) out.push_back(&e);
    return out;
}

TUpdateRig &TRigPool::Get(bool nt) {
    std::unique_ptr<TUpdateRig> &rig = Rigs[nt ? 1 : 0];
    if (rig) {
        rig->Reset();
    } else {
        // Only one simulated machine can be installed at a time.
        Rigs[nt ? 0 : 1].reset();
        rig.reset(new TUpdateRig(nt, Image, Guarded));
    }
    return *rig;
}
