// Command transport: one 12-byte command to the current drive, over SCSI
// pass-through on the NT family or the ASPI layer on the 9x family. The
// status and sense of the last command stay in the request blocks, where
// the update steps read them.
#include "drive/Atapi.h"
#include "os/Os.h"
#include "ui/Ui.h"
#include <stdio.h>
#include <string.h>

namespace {

// How long an ASPI command may take before it is given up.
const DWORD AspiWaitMs = 30000;

// The transport's own failure on the ASPI path reads like a command that
// ended with an error.
const CommandStatus TransportFailed = SS_ERR;

}  // namespace

CommandStatus TAtapi::Execute(const BYTE *cdb, void *buffer, DWORD length, BYTE direction) {
    if (IsNt) {
        BYTE dataIn = SCSI_IOCTL_DATA_UNSPECIFIED;
        if (direction == DIR_IN) dataIn = SCSI_IOCTL_DATA_IN;
        else if (direction == DIR_OUT) dataIn = SCSI_IOCTL_DATA_OUT;
        return ExecutePassThrough(cdb, buffer, length, dataIn);
    }

    // Without a loaded layer there is nothing to send to.
    if (!AspiRequest || !SendASPI32Command) return TransportFailed;

    HANDLE event = Os.CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) return TransportFailed;

    // Only these fields are written; the layer keeps the target status and
    // the sense area for the caller to read.
    SRB_ExecSCSICmd *request = AspiRequest;
    request->SRB_Cmd = SC_EXEC_SCSI_CMD;
    request->SRB_HaId = Adapter;
    request->SRB_Flags = static_cast<BYTE>(direction | SRB_EVENT_NOTIFY);
    request->SRB_Target = Target;
    request->SRB_Lun = Lun;
    request->SRB_BufLen = length;
    request->SRB_BufPointer = static_cast<BYTE *>(buffer);
    request->SRB_SenseLen = 14;
    request->SRB_CDBLen = 12;
    request->SRB_PostProc = event;
    memcpy(request->CDBByte, cdb, 12);

    SendASPI32Command(request);

    // The layer completes the request on its own time and writes the status
    // behind our back.
    volatile BYTE *status = &request->SRB_Status;
    if (*status != SS_PENDING) {
        Os.CloseHandle(event);
        return *status;
    }
    DWORD waited = Os.WaitForSingleObject(event, AspiWaitMs);
    Os.CloseHandle(event);
    if (waited == WAIT_OBJECT_0) return *status;

    // Timed out or the wait failed: ask the layer to drop the request and
    // do not wait for that either.
    AbortRequest(request);
    return TransportFailed;
}

CommandStatus TAtapi::ExecutePassThrough(const BYTE *cdb, void *buffer, DWORD length, BYTE dataIn) {
    // Cleared before every command, so the sense buffer holds only what the
    // driver writes for this one.
    memset(&PassThrough, 0, sizeof PassThrough);
    ScsiPassThroughDirect &header = PassThrough.Header;
    header.Length = sizeof(ScsiPassThroughDirect);
    header.CdbLength = 12;
    header.SenseInfoLength = 24;
    header.DataIn = dataIn;
    header.DataTransferLength = length;
    header.TimeOutValue = 20;
    header.DataBuffer = buffer;
    header.SenseInfoOffset = offsetof(PassThroughRequest, SenseBuffer);
    memcpy(header.Cdb, cdb, 12);

    DWORD returned = 0;
    if (!Os.DeviceIoControl(Handle, IOCTL_PASS_THROUGH_DIRECT, &PassThrough, sizeof PassThrough,
                            &PassThrough, sizeof PassThrough, &returned, nullptr)) {
        // A time-out or a device error still leaves the SCSI status (if any)
        // to decide; anything else is a failure of the request itself.
        DWORD error = Os.GetLastError();
        if (error != ERROR_SEM_TIMEOUT && error != ERROR_IO_DEVICE) {
            ShowSystemError(error);
            return 0;
        }
    }
    return header.ScsiStatus == 0 ? 1 : header.ScsiStatus;
}

DWORD TAtapi::AbortRequest(void *request) {
    if (!SendASPI32Command) return 0;
    SRB_Abort abort;
    memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = Adapter;
    abort.SRB_ToAbort = request;
    return SendASPI32Command(&abort);
}

void TAtapi::ShowSystemError(DWORD errorCode) {
    char text[80];
    char message[128];
    DWORD length = Os.FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, errorCode, 0, text,
                                     sizeof text, nullptr);
    if (length > 0) {
        snprintf(message, sizeof message, "%s\n", text);
    } else {
        snprintf(message, sizeof message, "Format message failed.  Error: %d\n",
                 static_cast<int>(Os.GetLastError()));
    }
    ShowMessage(message);
}
