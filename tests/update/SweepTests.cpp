// Sweeps: the complete update with every command it sends failing in turn,
// and with malformed drive answers from a seeded generator, on guarded
// working buffers. Every run must end in one of the program's own outcomes,
// never commit after a failed block, never call an unverified drive good,
// and give back every buffer it took.
#include <doctest/doctest.h>
#include "update/Printing.h"
#include "update/UpdateRig.h"
#include <map>
#include <stdio.h>
#include <string.h>

namespace {

// The lines an update can end with (the last line it logs).
const char *const Outcomes[] = {
    "Firmware Verify ok!!",
    "Err:Verify NG !!",
    "Err:Flash Fail!!",
    "Err:Firmware image is damaged !!",
    "Err:The firmware is not support this device!!(4)",
    "The Firmware isn't support this device !!(3)",
    "Err: Cannot update this device use this update file!!",
    "This firmware isn't support !!(10)",
    "Err:Memory allocation",
};

bool Documented(const std::string &line) {
    for (const char *o : Outcomes)
        if (line == o) return true;
    return false;
}

// What every run must hold, whatever went wrong. Returns the outcome.
std::string CheckRun(TUpdateRig &rig) {
    const std::vector<std::string> log = rig.NewLog();
    REQUIRE_FALSE(log.empty());
    const std::string outcome = log.back();
    CHECK_MESSAGE(Documented(outcome), outcome);

    // No commit once a block write has failed.
    bool blockFailed = false;
    for (const std::string &line : log)
        if (line.find("Err:Flash command(W) has problems.") != std::string::npos) blockFailed = true;
    bool refusedBlockSeen = false;
    for (const TSimTraceEntry &e : rig.Drive->Trace) {
        if (e.Kind == TSimCmd::FlashWriteBlock && e.Status != 0) refusedBlockSeen = true;
        if (e.Kind == TSimCmd::FlashCommit || e.Kind == TSimCmd::FlashRetry) {
            CHECK_FALSE(refusedBlockSeen);
            CHECK_FALSE(blockFailed);
        }
    }

    if (outcome == "Firmware Verify ok!!") CHECK(rig.MemoryHoldsImage());
    CHECK(rig.BuffersBalanced());
        CHECK(rig.ControlsEnabled());
    return outcome;
}

std::string Summary(const std::map<std::string, int> &outcomes) {
    std::string s;
    for (const auto &o : outcomes) s += "  " + std::to_string(o.second) + " x " + o.first + "\n";
    return s;
}

}  // namespace

TEST_CASE("sweep: every command of a complete update fails in turn") {
    TTestImage image;
    int runs = 0;
    std::map<std::string, int> outcomes;
    for (bool nt : {true, false}) {
        TUpdateRig rig(nt, &image, true);
        rig.Start();
        REQUIRE(CheckRun(rig) == "Firmware Verify ok!!");
        const size_t commands = rig.Drive->Trace.size();
        for (int mode = 0; mode < 2; ++mode) {
            for (size_t k = 1; k <= commands; ++k) {
                CAPTURE(nt);
                CAPTURE(mode);
                CAPTURE(k);
                rig.Reset();
                rig.Form->Answers = std::vector<int>(8, IDCANCEL);
                TSimFault f;
                f.Nth = rig.Drive->CommandCount + static_cast<int>(k);
                f.Times = 1;
                if (mode == 1) {
                    // Lost on the way: the pass-through request ends with a
                    // semaphore time-out; the ASPI request never completes.
                    f.Status = 0;
                    if (nt) f.DriverError = ERROR_SEM_TIMEOUT;
                    else f.AspiCompletion = TSimFault::Never;
                }
                rig.Drive->Faults.push_back(f);
                rig.Start();
                const std::string outcome = CheckRun(rig);
                ++outcomes[std::string(nt ? "NT " : "9x ") + (mode ? "time-out: " : "failure: ") + outcome];
                ++runs;
            }
        }
    }
    printf("fault sweep: %d runs\n%s", runs, Summary(outcomes).c_str());
    CHECK(runs > 100);
}

namespace {

// A small deterministic generator, so that a failing answer can be found again.
struct TRandom {
    uint32_t State;
    explicit TRandom(uint32_t seed) : State(seed) {}
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return State;
    }
    BYTE Byte() { return static_cast<BYTE>(Next() >> 8); }
    bool Chance(int percent) { return static_cast<int>(Next() % 100) < percent; }
    uint32_t Below(uint32_t n) { return Next() % n; }
    // Bytes that like NULs, spaces, 0xFF and high characters.
    BYTE OddByte() {
        static const BYTE odd[] = {0x00, 0x00, 0x20, 0xFF, 0x80, 0x7F, 0x0A, 0x57, 0x30, 0x42};
        return Chance(50) ? odd[Below(sizeof odd)] : Byte();
    }
};

const char *const Models[] = {"PLM-7001X", "PLM-7003X", "PLM-7004X", "PLM-7006X", "PLM-7007X",
                              "PLM-6100X", "PLM-700", ""};

// INQUIRY data: sometimes the drive the image fits with odd bytes where the
// checks look, sometimes anything at all.
void MalformInquiry(TRandom &r, BYTE *q) {
    if (r.Chance(25)) {
        for (int i = 0; i < 96; ++i) q[i] = r.OddByte();
        return;
    }
    if (r.Chance(30)) {
        q[38] = 'W';
        q[39] = r.Chance(70) ? '0' : r.OddByte();
    } else if (r.Chance(30)) {
        q[38] = r.OddByte();
        q[39] = r.OddByte();
    }
    if (r.Chance(30)) {
        const char *model = Models[r.Below(sizeof Models / sizeof Models[0])];
        memset(q + 16, r.Chance(50) ? ' ' : 0, 16);
        memcpy(q + 16, model, strlen(model));
    }
    for (int n = static_cast<int>(r.Below(4)); n > 0; --n) q[8 + r.Below(32)] = r.OddByte();
}

void MalformCapabilities(TRandom &r, BYTE *c) {
    for (int i = 0; i < 256; ++i) c[i] = r.Chance(30) ? r.OddByte() : c[i];
    if (r.Chance(50)) c[8] = static_cast<BYTE>(r.Chance(50) ? 0x2A | (r.Byte() & 0xC0) : r.Byte());
    c[10] = r.Byte();
    c[11] = r.Byte();
}

void MalformDescriptor(TRandom &r, BYTE *d) {
    for (int i = 0; i < 16; ++i) d[i] = r.Byte();
    if (r.Chance(70)) {
        d[0] = 0x55;
        d[1] = 0xDD;
    }
    d[4] = static_cast<BYTE>(r.Chance(70) ? r.Below(10) : r.Byte());
    if (r.Chance(40)) {
        // Near or past the end of the block.
        const DWORD start = 0x10000 - r.Below(0x400);
        const DWORD length = r.Below(0x600);
        d[5] = static_cast<BYTE>(start >> 8);
        d[6] = static_cast<BYTE>(start);
        d[7] = static_cast<BYTE>(length >> 8);
        d[8] = static_cast<BYTE>(length);
    } else if (r.Chance(50)) {
        d[7] = 0;
        d[8] = static_cast<BYTE>(r.Byte());
    }
}

// Answers that only a hook on the transport can change: the event data.
TRandom *EventRandom = nullptr;
int EventAnswers = 0;

void MalformEvent(BYTE *data, DWORD length) {
    for (DWORD i = 0; i < length; ++i) data[i] = EventRandom->OddByte();
    ++EventAnswers;
}

BOOL(WINAPI *SimDeviceIoControl)(HANDLE, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL WINAPI EventDeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                 DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    const BOOL ok = SimDeviceIoControl(h, code, in, inSize, out, outSize, returned, overlapped);
    PassThroughRequest *p = static_cast<PassThroughRequest *>(in);
    if (p && inSize >= sizeof *p && p->Header.Cdb[0] == 0x4A && p->Header.DataBuffer)
        MalformEvent(static_cast<BYTE *>(p->Header.DataBuffer), p->Header.DataTransferLength);
    return ok;
}

SendASPI32CommandFn SimSendAspi;
DWORD __cdecl EventSendAspi(void *request) {
    const DWORD result = SimSendAspi(request);
    SRB_ExecSCSICmd *r = static_cast<SRB_ExecSCSICmd *>(request);
    if (r->SRB_Cmd == SC_EXEC_SCSI_CMD && r->CDBByte[0] == 0x4A && r->SRB_Status != SS_PENDING &&
        r->SRB_BufPointer)
        MalformEvent(r->SRB_BufPointer, r->SRB_BufLen);
    return result;
}

}  // namespace

TEST_CASE("sweep: malformed drive answers through probes, matching, checks and the update") {
    TTestImage image;
    TRandom random(0x5EED1234u);
    EventRandom = &random;
    EventAnswers = 0;
    int runs = 0, answers = 0, updates = 0;
    std::map<std::string, int> outcomes;

    // What the drive answers apart from INQUIRY, and how it behaves.
    auto malform = [&](TSimDrive *d) {
        if (random.Chance(60)) { MalformCapabilities(random, d->Capabilities); ++answers; }
        if (random.Chance(80)) { MalformDescriptor(random, d->BootDescriptor); ++answers; }
        if (random.Chance(30)) {
            for (int i = 0; i < 8; ++i)
                for (DWORD a = 0; a < 65536; a += 1 + random.Below(64)) d->Memory[i][a] = random.Byte();
            ++answers;
        }
        d->ChecksumRule = TSimChecksumRule::Declared;
        d->DeclaredLengths[0] = 0x400;
        d->DeclaredLengths[1] = 0x310;
        d->NoMedium = random.Chance(70);
    };

    auto update = [&](TUpdateRig &rig, bool nt) {
        ++runs;
        if (Form1->SelDevice->ItemCount() == 0) {
            // Not listed: the window says so and closes; there is nothing to start.
            REQUIRE(rig.Form->Boxes.size() == 2);
            CHECK(rig.Form->Boxes[1].Text == "Can't find the device to upgrade !!");
            ++outcomes["not listed"];
            return;
        }
        rig.Form->Answers = std::vector<int>(8, IDCANCEL);
        const bool hookEvents = random.Chance(50);
        if (hookEvents) {
            if (nt) {
                SimDeviceIoControl = Os.DeviceIoControl;
                Os.DeviceIoControl = &EventDeviceIoControl;
            } else {
                SimSendAspi = SendASPI32Command;
                SendASPI32Command = &EventSendAspi;
            }
        }
        rig.Start();
        if (hookEvents) {
            if (nt) Os.DeviceIoControl = SimDeviceIoControl;
            else SendASPI32Command = SimSendAspi;
        }
        ++updates;
        ++outcomes[CheckRun(rig)];
    };

    // INQUIRY data malformed after the drive was matched goes through the
    // probes and the update's own checks, on one window per transport...
    for (bool nt : {true, false}) {
        TUpdateRig rig(nt, &image, true);
        for (int run = 0; run < 45; ++run) {
            CAPTURE(nt);
            CAPTURE(run);
            CAPTURE(random.State);
            rig.Reset();
            malform(rig.Drive);
            if (random.Chance(70)) {
                MalformInquiry(random, rig.Drive->InquiryData);
                ++answers;
            }
            update(rig, nt);
        }
    }
    // ...and from the start, through the drive search and the matching.
    for (int run = 0; run < 16; ++run) {
        const bool nt = run % 2 == 0;
        CAPTURE(nt);
        CAPTURE(run);
        CAPTURE(random.State);
        TUpdateRig rig(nt, &image, true, [&](TSimDrive *d) {
            MalformInquiry(random, d->InquiryData);
            ++answers;
            malform(d);
        });
        update(rig, nt);
    }
    answers += EventAnswers;
    printf("malformed answers: %d runs, %d updates started, %d answers tried\n%s", runs, updates,
           answers, Summary(outcomes).c_str());
    CHECK(updates > 40);
}

TEST_CASE("sweep: malformed drive buffers through the marker check of a complete update") {
    TImageShape shape;
    shape.Product = "PLM-7004X DVD RW";
    TTestImage image(shape);
    TRandom random(0xB0FFE2u);
    const char *const markers[] = {"Quorvex ODD", "Quorvex Design", "Quorvex OD", "Quorvex"};
    std::map<std::string, int> outcomes;
    int runs = 0;
    TRigPool pool(&image, true);
    for (int run = 0; run < 6; ++run) {
        CAPTURE(run);
        TUpdateRig &rig = pool.Get(run < 3);
        {
            TSimDrive *d = rig.Drive;
            d->DriveBuffer.resize(random.Below(70000));
            for (BYTE &b : d->DriveBuffer) b = random.OddByte();
            const char *text = markers[random.Below(4)];
            const DWORD wide = static_cast<DWORD>(2 * strlen(text));
            // Anywhere, or with its last character on the last byte the drive gives.
            DWORD at = random.Chance(50) ? 65534 - (wide - 1) : random.Below(65534);
            for (DWORD i = 0; text[i] && at + 2 * i + 1 < d->DriveBuffer.size(); ++i) {
                d->DriveBuffer[at + 2 * i] = static_cast<BYTE>(text[i]);
                d->DriveBuffer[at + 2 * i + 1] = random.Chance(90) ? 0 : 0x20;
            }
        }
        UpdateFlags.ImageHasDesignMarker = true;
        rig.Form->Answers = std::vector<int>(8, IDCANCEL);
        rig.Start();
        CHECK(rig.Commands(TSimCmd::ReadDriveBuffer).size() == 1);
        ++outcomes[CheckRun(rig)];
        ++runs;
    }
    printf("malformed drive buffers: %d runs\n%s", runs, Summary(outcomes).c_str());
}
