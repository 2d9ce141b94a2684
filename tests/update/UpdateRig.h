// What the update tests share: a main window on a simulated machine with
// one drive that the carried (or a made-up) image fits, a recorder of the
// progress bar, made-up firmware images, and the command blocks the drive
// should see, written out so that a trace can be compared line by line.
#pragma once
#include "support/FormFixture.h"
#include "support/SimFixture.h"
#include "image/FirmwareImage.h"
#include <functional>
#include <memory>
#include <stdint.h>
#include <string>
#include <vector>

// ---- made-up firmware images ------------------------------------------------

struct TImageShape {
    std::vector<WORD> Lengths{0x0400, 0x0310};  // block lengths (BlockCount = their number)
    BYTE ScrambleFlag = 0x20;
    BYTE Version[2] = {'D', '8'};               // required-version bytes of the template
    const char *Product = "PLM-6100X DVD RW";   // 16 characters
    uint32_t Seed = 7;
    int ChecksumDelta = 0;                      // added to the true checksum (a damaged image)
    BYTE ScrambleSeed = 0x47;                   // stored first byte is this minus 2
};

// Two slots back to back: slot 0 holds the image, slot 1 is not an image.
struct TTestImage {
    std::vector<BYTE> Slots;
    std::vector<std::vector<BYTE>> Plain;  // the bytes the drive holds after programming
    WORD Checksum = 0;
    explicit TTestImage(const TImageShape &shape = TImageShape());
};

// The same step as the program's descrambling, run the other way: stores
// plain bytes (first byte 0x02) so that descrambling gives them back.
void ScrambleInPlace(BYTE *bytes, DWORD length, BYTE firstStored);

// The carried image of slot 0 (worked example) as plain blocks.
std::vector<std::vector<BYTE>> CarriedPlainBlocks();

// ---- progress bar -----------------------------------------------------------

// Watches the real progress bar window: every position set on it, as the
// bar reports it afterwards (PBM_GETPOS), and every range. The toolkit
// sends the position again after each range change; that echo is not a
// position anyone set and is left out.
class TProgressLog {
public:
    explicit TProgressLog(HWND bar);
    ~TProgressLog();
    TProgressLog(const TProgressLog &) = delete;
    TProgressLog &operator=(const TProgressLog &) = delete;
    std::vector<int> Positions;
    std::vector<std::pair<int, int>> Ranges;
private:
    HWND Bar;
    WNDPROC Old;
    bool AfterRange = false;
    static TProgressLog *Current;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// ---- command blocks as the drive should receive them -------------------------

namespace Expect {
std::string TestUnitReady();
std::string Inquiry();
std::string RequestSense();
std::string StopPlayScan();
std::string StopUnit();
std::string ModeSense();
std::string FlashWrite(BYTE mode, BYTE block, WORD length, WORD parameter);
std::string ReadMemory32(BYTE block, WORD address);
std::string ReadMemory38(BYTE block, WORD address);
std::string ReadMemory(bool use32, BYTE block, WORD address);
std::string ReadBootDescriptor();
std::string WriteMemory(BYTE block, WORD address, BYTE length);
std::string ReadDriveBuffer(WORD length);
std::string GetEventStatus();
}  // namespace Expect

// One trace entry in the form of the Expect strings.
std::string Describe(const TSimTraceEntry &e);
std::vector<std::string> Describe(const std::vector<TSimTraceEntry> &trace);
// Empty when equal; otherwise where and how the two lists part.
std::string FirstDifference(const std::vector<std::string> &got,
                            const std::vector<std::string> &want);

// ---- the rig -----------------------------------------------------------------

// One drive on a simulated machine of the chosen family, the window made as
// the program makes it (start-up confirmation answered OK), with the drive
// listed and selected. The drive is a DVD writer (CD-R and DVD-R write
// bits set), so both probes answer no unless a test changes its page.
class TUpdateRig {
public:
    // image null: the carried slots.
    // prepare: changes the drive before the machine starts (before the
    // drive is found and matched).
    explicit TUpdateRig(bool nt, const TTestImage *image = nullptr, bool guarded = false,
                        const std::function<void(TSimDrive *)> &prepare = nullptr);
    ~TUpdateRig();
    TUpdateRig(const TUpdateRig &) = delete;
    TUpdateRig &operator=(const TUpdateRig &) = delete;

    TSimFixture Sim;
    TSimDrive *Drive;
    std::unique_ptr<TFormFixture> Form;
    std::unique_ptr<TProgressLog> Progress;

    // Creates the window (done by the constructor unless deferred).
    void MakeWindow();
    // Forgets the trace, the log and the boxes so far, starts the progress log.
    void Mark();
    // Makes the rig ready for another run on the same window (which is
    // slow to make): a drive as it comes, the machine's counters cleared,
    // the window's image, flags, identification and progress bar as made.
    void Reset();
    // Presses Start (after Mark()).
    void Start();
    // Log lines written and message boxes shown since Mark().
    std::vector<std::string> NewLog() const;
    std::vector<TFormFixture::Box> NewBoxes() const;
    // True when the drive's memory holds every block of the image.
    bool MemoryHoldsImage() const;
    // Controls the update disables, all enabled again.
    bool ControlsEnabled() const;
    // Every working buffer taken since Mark() given back (the ASPI request
    // block of the drive-access object stays out for its whole life).
    bool BuffersBalanced() const;
    // Trace entries since Mark() of a kind.
    std::vector<const TSimTraceEntry *> Commands(TSimCmd kind) const;
    std::vector<std::string> Trace() const { return Describe(Drive->Trace); }

    std::vector<std::vector<BYTE>> Plain;  // the image the window carries, plain
    WORD ImageChecksum = 0;
private:
    const BYTE *SavedSlots;
    size_t LogMark = 0;
    size_t BoxMark = 0;
    BYTE Version[2];
    char Product[17];
    TUpdateFlags FlagsAfterCreate;
    char Identification[64] = {};
    void ShapeDrive();
    int BuffersAtMark = 0;
};

// One rig per transport for runs that share an image: made at the first
// use, reset for every further one.
class TRigPool {
public:
    explicit TRigPool(const TTestImage *image = nullptr, bool guarded = false)
        : Image(image), Guarded(guarded) {}
    TUpdateRig &Get(bool nt);
private:
    const TTestImage *Image;
    bool Guarded;
    std::unique_ptr<TUpdateRig> Rigs[2];
};
