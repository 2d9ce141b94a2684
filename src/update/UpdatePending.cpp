// PLACEHOLDER: replaced by the update implementation.
#include "app/MainForm.h"
bool TForm1::ProbeReadVariant() { return false; }
bool TForm1::ProbeAlternateMode() { return false; }
void TForm1::RunUpdate() {}
bool TForm1::RefreshBootRegion() { return false; }
bool TForm1::FlashFirmware() { return false; }
bool TForm1::DownloadFirmware() { return false; }
bool TForm1::VerifyFirmware() { return false; }
bool TForm1::WaitUntilReady() { return false; }
SenseTriple TForm1::GetSenseTriple() { return SenseTriple{0, 0, 0}; }
int TForm1::ReadBackChecksum() { return 0; }
void TForm1::PromptRestart() {}
