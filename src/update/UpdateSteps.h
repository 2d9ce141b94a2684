// Small helpers shared by the steps of the update procedure.
#pragma once
#include "app/MainForm.h"
#include "os/Os.h"

namespace UpdateSteps {

// The sense of the last command where the transport keeps it: the
// pass-through request's sense buffer on the NT family, the ASPI request
// block's sense area on the 9x family. Nothing is sent.
SenseTriple LastSense();

// The target status of the ASPI request block (9x family); 0 otherwise.
BYTE LastTargetStatus();

// Reads 256 bytes of drive memory with the read command the probes chose.
CommandStatus ReadDriveMemory(BYTE *buffer, BYTE block, WORD address);

// Checks the current image before anything is written to the drive: a
// block count the slot can hold and a sum of the bytes the download sends
// equal to the image's checksum. Logs one line and returns false when the
// image cannot be trusted.
bool ImageIsIntact(TForm1 &form);

// The line logged for an image that fails that check.
extern const char DamagedImageLine[];

}  // namespace UpdateSteps
