// Programming the drive: every block of the image goes to the drive with a
// block write, then one more write tells the drive to commit the blocks to
// flash. A rejected commit is retried the way each transport's drives
// expect, and the drive is then polled until it answers again.
#include <stdio.h>
#include <string.h>
#include "image/FirmwareImage.h"
#include "update/UpdateSteps.h"

namespace {

constexpr BYTE ModeCommit = 4;
constexpr BYTE ModeBlock = 5;
constexpr BYTE CommitBlockBase = 0xE0;   // + block count: the commit
constexpr BYTE RetryBlockBase = 0xF0;    // + block count: the second retry

// Block 1 shorter than this keeps 16 bytes of the drive's own memory at
// this offset of the transfer buffer.
constexpr WORD Block1KeepOffset = 0xE000;
constexpr DWORD Block1KeepLength = 16;

// Lengths sent in the alternate mode, whatever the block's own length.
constexpr WORD AlternateLengthBlocks1And2 = 0xF000;
constexpr WORD AlternateLengthOther = 0xFFFE;

constexpr BYTE SenseIllegalRequest = 5;
constexpr BYTE SenseNotReady = 2;
constexpr BYTE AscMediumNotPresent = 0x3A;
constexpr BYTE AscParameterListLength = 0x1A;

constexpr DWORD PollLimitSeconds = 120;

bool IsParameterListLengthError(const SenseTriple &s) {
    return s.SenseKey == SenseIllegalRequest && s.Asc == AscParameterListLength && s.Ascq == 0;
}

}  // namespace

bool TForm1::FlashFirmware() {
    SetProgress(0);
    ProgressBar1->SetMin(0);
    ProgressBar1->SetMax(100);
    SetProgress(20);
    LogMessage("Flashing ..");
    if (DownloadFirmware()) return true;
    LogMessage("Err:Flash Fail!!");
    return false;
}

bool TForm1::DownloadFirmware() {
    // The slot holds eight blocks; a header that names more never gets here
    // through the update sequence, and must not reach past the slot.
    if (!CurrentImage || BlockCount > MaxBlocks) {
        LogMessage(UpdateSteps::DamagedImageLine);
        return false;
    }

    BYTE *transfer = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    if (!transfer) {
        LogMessage("Err:Memory allocation");
        return false;
    }
    memset(transfer, 0, BlockSlotSize);
    char line[128];
    const bool nt = Atapi.IsNt;

    Os.Sleep(2000);

    CommandStatus writeStatus = 0;  // the last block write or commit
    for (WORD i = 0; i < BlockCount; ++i) {
        if (UpdateFlags.AlternateMode) memset(transfer, 0, BlockSlotSize);
        SetProgress((i + 1) * 80 / BlockCount);

        const WORD length = BlockLength[i];
        memcpy(transfer, SlotBlock(CurrentImage, i), length);
        if (ScrambleFlag == 1) Unscramble(transfer, length, 1);

        if (i == 1 && length < Block1KeepOffset) {
            BYTE readBack[256];
            memset(readBack, 0, sizeof readBack);
            if (UpdateSteps::ReadDriveMemory(readBack, 1, Block1KeepOffset) != 1) {
                LogMessage("Err:The firmware is not support this device!!(11)");
                Os.FreeBuffer(transfer);
                return false;
            }
            memcpy(transfer + Block1KeepOffset, readBack, Block1KeepLength);
        }

        WORD sendLength = length;
        if (UpdateFlags.AlternateMode) {
            sendLength = (i == 1 || i == 2) ? AlternateLengthBlocks1And2 : AlternateLengthOther;
        }

        writeStatus = Atapi.FlashWrite(transfer, ModeBlock, static_cast<BYTE>(i), sendLength, 0);
        if (writeStatus != 1) {
            snprintf(line, sizeof line, "Status:0x%x ; Err:Flash command(W) has problems.",
                     writeStatus);
            LogMessage(line);
            Os.FreeBuffer(transfer);
            return false;
        }
    }

    SetProgress(70);

    const BYTE count = static_cast<BYTE>(BlockCount & 0xFF);
    const BYTE commitBlock = static_cast<BYTE>(CommitBlockBase + count);
    const BYTE retryBlock = static_cast<BYTE>(RetryBlockBase + count);
    writeStatus = Atapi.FlashWrite(transfer, ModeCommit, commitBlock, 0, Checksum);

    // A commit rejected as an illegal request is sent again as a block
    // write of the commit block; a drive that objects to its parameter list
    // then takes the second form.
    if (writeStatus != 1 && UpdateSteps::LastSense().SenseKey == SenseIllegalRequest) {
        if (nt) {
            writeStatus = Atapi.FlashWrite(transfer, ModeBlock, commitBlock, 0, Checksum);
            if (IsParameterListLengthError(UpdateSteps::LastSense())) {
                Atapi.TestUnitReady();
                writeStatus = Atapi.FlashWrite(transfer, ModeBlock, retryBlock, 0, Checksum);
            } else {
                Os.Sleep(15000);
            }
        } else {
            Atapi.TestUnitReady();
            writeStatus = Atapi.FlashWrite(transfer, ModeBlock, commitBlock, 0, Checksum);
            if (IsParameterListLengthError(UpdateSteps::LastSense())) {
                Atapi.TestUnitReady();
                writeStatus = Atapi.FlashWrite(transfer, ModeBlock, retryBlock, 0, Checksum);
            }
            Os.Sleep(15000);
        }
    }

    // Did the drive take the commit? The pass-through sense is that of the
    // last write; the ASPI sense area holds what the ASPI layer last stored.
    bool commitFailed;
    if (nt) {
        const BYTE key = UpdateSteps::LastSense().SenseKey;
        commitFailed = key != 0 && key != SenseNotReady;
    } else {
        Atapi.TestUnitReady();
        BYTE scratch[18];
        memset(scratch, 0, sizeof scratch);
        Atapi.RequestSense(scratch);
        const SenseTriple s = UpdateSteps::LastSense();
        commitFailed = s.SenseKey == SenseIllegalRequest && s.Asc != 0 && s.Ascq != 0;
    }
    if (commitFailed) {
        const SenseTriple s = UpdateSteps::LastSense();
        snprintf(line, sizeof line, "Status:%x;SenseCode:%x : %x : %x;", writeStatus, s.SenseKey,
                 s.Asc, s.Ascq);
        LogMessage(line);
        LogMessage("Err:Flash Fail.");
        Os.FreeBuffer(transfer);
        return false;
    }

    SetProgress(80);

    // The drive programs its flash and answers NOT READY meanwhile; it is
    // back when it is ready or reports that no disc is in.
    const DWORD started = Os.Time();
    for (;;) {
        if (Atapi.TestUnitReady() == 1) break;
        const SenseTriple s = UpdateSteps::LastSense();
        if (s.SenseKey == SenseNotReady && s.Asc == AscMediumNotPresent) break;
        if (Os.Time() - started > PollLimitSeconds) {
            if (nt) {
                snprintf(line, sizeof line,
                         "Time Out Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;", writeStatus,
                         s.SenseKey, s.Asc, s.Ascq);
            } else {
                snprintf(line, sizeof line,
                         "Time Out Status:%x;Status:%x;Debug:Trigger_SenseCode:%x : %x : %x;",
                         UpdateSteps::LastTargetStatus(), writeStatus, s.SenseKey, s.Asc, s.Ascq);
            }
            LogMessage(line);
            snprintf(line, sizeof line, "Err:Flash error,time out %d Sec",
                     static_cast<int>(PollLimitSeconds));
            LogMessage(line);
            Os.FreeBuffer(transfer);
            return false;
        }
        Os.Sleep(1000);
        Application->ProcessMessages();
    }

    Atapi.TestUnitReady();
    Os.FreeBuffer(transfer);
    return true;
}
