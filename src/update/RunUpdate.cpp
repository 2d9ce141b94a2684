// The update procedure behind Start: check once more that the selected
// drive may take the embedded firmware, then refresh its boot region,
// program it, verify it and offer the restart. Each step reports its own
// failure; this sequence stops at the first one.
#include <string.h>
#include "app/MainForm.h"
#include "update/UpdateSteps.h"

namespace {

// Drives that mark themselves with "W0" in INQUIRY bytes 38-39 are checked
// against this list (vendor field, then the first nine product characters)
// instead of the image's version bytes.
constexpr int AcceptedTextLength = 17;
const char *const AcceptedModels[] = {
    "VESK    PLM-7001X", "VESK    PLM-7002X", "VESK    PLM-7003X",
    "VESK    PLM-7004X", "VESK    PLM-7005X", "VESK    PLM-7006X",
};

// The model whose drive buffer must carry a design marker.
const char MarkerModel[] = "PLM-7004X";
constexpr int MarkerModelLength = 9;

bool IsAcceptedModel(const BYTE *inquiry) {
    const char *identity = reinterpret_cast<const char *>(inquiry + 8);
    for (const char *text : AcceptedModels) {
        if (strncmp(identity, text, AcceptedTextLength) == 0) return true;
    }
    return false;
}

}  // namespace

void TForm1::RunUpdate() {
    // Cleared first, so that a drive that answers nothing takes the
    // version-byte check rather than whatever the stack held.
    BYTE inquiry[50];
    memset(inquiry, 0, sizeof inquiry);
    Atapi.Inquiry(inquiry);

    bool ok = true;
    if (inquiry[38] == 'W' && inquiry[39] == '0') {
        if (!IsAcceptedModel(inquiry)) {
            LogMessage("Err: Cannot update this device use this update file!!");
            ok = false;
        }
    } else {
        ok = CheckVersionBytes(true);
    }

    if (ok) {
        // Display name: Name (vendor 8 + product 16), a space, Revision.
        char display[64];
        memset(display, 0, sizeof display);
        const int selected = SelDevice->GetItemIndex();
        if (selected >= 0) SelDevice->GetItemText(selected, display, sizeof display);
        if (strncmp(display + 8, MarkerModel, MarkerModelLength) == 0) {
            UpdateFlags.DriveIsMarkerModel = true;
        }
    }

    ok = ok && CheckFirmwareId();
    // Nothing is written to the drive before the image has proved whole.
    ok = ok && UpdateSteps::ImageIsIntact(*this);
    ok = ok && RefreshBootRegion();
    if (ok && UpdateFlags.ImageHasDesignMarker && UpdateFlags.DriveIsMarkerModel) {
        ok = CheckDriveMarker();
    }
    ok = ok && FlashFirmware();
    if (ok) {
        SetProgress(100);
        LogMessage("Flash Complete!!");
        if (VerifyFirmware()) {
            LogMessage("Firmware Verify ok!!");
            PromptRestart();
        }
    }

    SelDevice->SetEnabled(true);
}
