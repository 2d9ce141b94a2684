// Where the update steps find the status and sense of the last command.
#include "update/UpdateSteps.h"

namespace UpdateSteps {

SenseTriple LastSense() {
    SenseTriple sense{0, 0, 0};
    const BYTE *bytes = nullptr;
    if (Atapi.IsNt) {
        bytes = Atapi.PassThrough.SenseBuffer;
    } else if (Atapi.AspiRequest) {
        bytes = Atapi.AspiRequest->SenseArea;
    }
    if (bytes) {
        sense.SenseKey = bytes[2];
        sense.Asc = bytes[12];
        sense.Ascq = bytes[13];
    }
    return sense;
}

BYTE LastTargetStatus() {
    if (!Atapi.IsNt && Atapi.AspiRequest) return Atapi.AspiRequest->SRB_TargStat;
    return 0;
}

CommandStatus ReadDriveMemory(BYTE *buffer, BYTE block, WORD address) {
    if (UpdateFlags.UseReadMemory32) return Atapi.ReadMemory32(buffer, block, address);
    return Atapi.ReadMemory38(buffer, block, address);
}

}  // namespace UpdateSteps
