// Start: probe the drive's modes, stop the drive, and run the update with
// the drive list and both buttons disabled.
#include "app/MainForm.h"

void TForm1::BitBtn2Click(void *) {
    char ident[64];
    if (Edit1->GetText(ident, sizeof ident) == 0) {
        LogMessage("Err:File Error !!");
        return;
    }

    UpdateFlags.UseReadMemory32 = false;
    UpdateFlags.UseReadMemory32 = ProbeReadVariant();
    if (!UpdateFlags.UseReadMemory32) {
        UpdateFlags.AlternateMode = false;
        UpdateFlags.AlternateMode = ProbeAlternateMode();
    }

    SelDevice->SetEnabled(false);
    SelDevice->Repaint();
    SetProgress(10);
    SetProgress(20);
    Atapi.StopPlayScan();
    Atapi.StopUnit();
    BitBtn2->SetEnabled(false);
    BitBtn3->SetEnabled(false);

    RunUpdate();

    BitBtn2->SetEnabled(true);
    BitBtn3->SetEnabled(true);
    // The update gives the list back itself; make sure of it whatever path
    // it took, so the window never stays without a drive list.
    SelDevice->SetEnabled(true);
}
