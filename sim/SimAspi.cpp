#include "sim/SimAspi.h"
#include <string.h>

DWORD TSimAspi::SupportInfo() const {
    if (AdapterCount == 0) return static_cast<DWORD>(SIM_SS_NO_ADAPTERS) << 8;
    return static_cast<DWORD>(SS_COMP) << 8 | AdapterCount;
}

TSimAspi::Device *TSimAspi::Find(BYTE adapter, BYTE target, BYTE lun) {
    for (Device &d : Devices)
        if (d.Adapter == adapter && d.Target == target && d.Lun == lun) return &d;
    return nullptr;
}

void TSimAspi::Complete(size_t index) {
    Pending p = PendingList[index];
    PendingList.erase(PendingList.begin() + static_cast<long>(index));
    SRB_ExecSCSICmd *r = p.Srb;
    r->SRB_HaStat = 0;
    r->SRB_TargStat = p.TargStat;
    if (p.TargStat == 2) {
        const DWORD n = r->SRB_SenseLen < 18 ? r->SRB_SenseLen : 18;
        memcpy(r->SenseArea, p.Sense, n);
    }
    r->SRB_Status = p.Status;
    if (SignalEvent && p.Event) SignalEvent(p.Event);
}

void TSimAspi::CompleteDue() {
    const uint64_t now = Clock->NowMs();
    for (size_t i = 0; i < PendingList.size();) {
        if (!PendingList[i].Never && PendingList[i].DueMs <= now) Complete(i);
        else ++i;
    }
}

DWORD TSimAspi::Send(void *request) {
    BYTE *bytes = static_cast<BYTE *>(request);
    TSimAspiCall call;
    memset(&call, 0, sizeof call);
    call.Cmd = bytes[0];
    call.Srb = request;
    memcpy(call.Bytes, bytes,
           call.Cmd == SC_EXEC_SCSI_CMD ? sizeof(SRB_ExecSCSICmd)
           : call.Cmd == SC_ABORT_SRB   ? sizeof(SRB_Abort)
                                        : sizeof(SRB_GDEVBlock));
    BYTE status = SIM_SS_INVALID_CMD;

    switch (call.Cmd) {
    case SC_GET_DEV_TYPE: {
        SRB_GDEVBlock *q = static_cast<SRB_GDEVBlock *>(request);
        Device *d = q->SRB_HaId < AdapterCount ? Find(q->SRB_HaId, q->SRB_Target, q->SRB_Lun) : nullptr;
        if (q->SRB_HaId >= AdapterCount) {
            status = SIM_SS_INVALID_HA;
        } else if (!d) {
            status = SIM_SS_NO_DEVICE;
        } else if (DeviceTypeQueryLate && DeferTypeQuery) {
            status = SS_PENDING;
            q->SRB_Status = SS_PENDING;
            DeferTypeQuery(q, d->Type);
            call.StatusAfter = q->SRB_Status;
            Calls.push_back(call);
            return SS_PENDING;
        } else {
            q->SRB_DeviceType = d->Type;
            status = SS_COMP;
        }
        q->SRB_Status = status;
        break;
    }

    case SC_EXEC_SCSI_CMD: {
        SRB_ExecSCSICmd *r = static_cast<SRB_ExecSCSICmd *>(request);
        // A block still held by the layer is taken back before it is reused.
        for (size_t i = 0; i < PendingList.size(); ++i) {
            if (PendingList[i].Srb == r) {
                PendingList.erase(PendingList.begin() + static_cast<long>(i));
                ++ReusedWhilePending;
                break;
            }
        }
        Device *d = r->SRB_HaId < AdapterCount ? Find(r->SRB_HaId, r->SRB_Target, r->SRB_Lun) : nullptr;
        const BYTE dirBits = r->SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
        if (r->SRB_HaId >= AdapterCount) {
            status = SIM_SS_INVALID_HA;
        } else if (!d || !d->Drive) {
            status = SIM_SS_NO_DEVICE;
        } else if (r->SRB_CDBLen < 6 || r->SRB_CDBLen > 16 ||
                   (r->SRB_BufLen > 0 && !r->SRB_BufPointer) ||
                   ((r->SRB_Flags & SRB_EVENT_NOTIFY) && !r->SRB_PostProc)) {
            status = SIM_SS_INVALID_SRB;
        } else {
            // 0x18 is "no transfer"; 0 leaves the direction to the command.
            BYTE direction = dirBits == SRB_DIR_IN ? 8 : dirBits == SRB_DIR_OUT ? 16 : 0;
            BYTE sense[18];
            const TSimFault *fault = nullptr;
            const BYTE target = d->Drive->Command(r->CDBByte, r->SRB_BufPointer, r->SRB_BufLen,
                                                  direction, sense, &fault);
            BYTE result = target == 0 ? SS_COMP : SS_ERR;
            if (fault && fault->AspiStatus) result = fault->AspiStatus;
            const HANDLE event = (r->SRB_Flags & SRB_EVENT_NOTIFY) ? static_cast<HANDLE>(r->SRB_PostProc) : nullptr;
            Pending p;
            p.Srb = r;
            p.Event = event;
            p.Never = false;
            p.DueMs = Clock->NowMs();
            p.Status = result;
            p.TargStat = target;
            memcpy(p.Sense, sense, sizeof sense);
            if (fault && fault->AspiCompletion != TSimFault::Normal) {
                // The layer holds the request: pending now, finished later or never.
                p.Never = fault->AspiCompletion == TSimFault::Never;
                p.DueMs = Clock->NowMs() + fault->LateMs;
                r->SRB_Status = SS_PENDING;
                PendingList.push_back(p);
                if (Deferred) Deferred(this);
                status = SS_PENDING;
            } else {
                PendingList.push_back(p);
                Complete(PendingList.size() - 1);
                status = r->SRB_Status;
            }
            call.StatusAfter = r->SRB_Status;
            Calls.push_back(call);
            return status;
        }
        r->SRB_Status = status;
        break;
    }

    case SC_ABORT_SRB: {
        SRB_Abort *a = static_cast<SRB_Abort *>(request);
        ++AbortCount;
        for (size_t i = 0; i < PendingList.size(); ++i) {
            if (PendingList[i].Srb == a->SRB_ToAbort) {
                SRB_ExecSCSICmd *r = PendingList[i].Srb;
                PendingList.erase(PendingList.begin() + static_cast<long>(i));
                r->SRB_Status = SS_ABORTED;
                break;
            }
        }
        status = SS_COMP;
        a->SRB_Status = status;
        break;
    }

    default:
        bytes[1] = status;
        break;
    }
    call.StatusAfter = bytes[1];
    Calls.push_back(call);
    return status;
}
