// PLACEHOLDER: replaced by the image implementation.
#include "app/MainForm.h"
#include "image/FirmwareImage.h"
const BYTE *FirmwareSlots = EmbeddedSlots;
const BYTE *CurrentImage;
int Unscramble(BYTE *, DWORD, BYTE) { return 1; }
int TForm1::CountImages() { return 0; }
void TForm1::LoadDescriptor(int) {}
void TForm1::MatchDrives() {}
bool TForm1::IdentifyFirmware() { return false; }
bool TForm1::CheckFirmwareId() { return false; }
bool TForm1::CheckVersionBytes(bool) { return false; }
bool TForm1::CheckDriveMarker() { return false; }
