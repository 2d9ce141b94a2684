// PLACEHOLDER: replaced by the drive-access implementation.
#include "drive/Atapi.h"
int DeviceMap[10];
GetASPI32SupportInfoFn GetASPI32SupportInfo;
SendASPI32CommandFn SendASPI32Command;
TAtapi::TAtapi() {}
TAtapi::~TAtapi() {}
bool TAtapi::DetectNt() { return IsNt; }
int TAtapi::Enumerate() { return 0; }
int TAtapi::EnumerateNt() { return 0; }
void TAtapi::SelectDevice(int) {}
void TAtapi::SetAddress(BYTE, BYTE, BYTE) {}
void TAtapi::PumpMessages() {}
CommandStatus TAtapi::Execute(const BYTE *, void *, DWORD, BYTE) { return 0; }
CommandStatus TAtapi::ExecutePassThrough(const BYTE *, void *, DWORD, BYTE) { return 0; }
DWORD TAtapi::AbortRequest(void *) { return 0; }
void TAtapi::ShowSystemError(DWORD) {}
CommandStatus TAtapi::TestUnitReady() { return 0; }
CommandStatus TAtapi::Inquiry(BYTE *) { return 0; }
CommandStatus TAtapi::RequestSense(BYTE *) { return 0; }
CommandStatus TAtapi::StopPlayScan() { return 0; }
CommandStatus TAtapi::ModeSenseCapabilities(BYTE *) { return 0; }
CommandStatus TAtapi::StopUnit() { return 0; }
CommandStatus TAtapi::FlashWrite(BYTE *, BYTE, BYTE, WORD, WORD) { return 0; }
CommandStatus TAtapi::ReadMemory32(BYTE *, BYTE, WORD) { return 0; }
CommandStatus TAtapi::ReadMemory38(BYTE *, BYTE, WORD) { return 0; }
CommandStatus TAtapi::ReadBootDescriptor(BYTE *) { return 0; }
CommandStatus TAtapi::WriteMemory(BYTE *, BYTE, DWORD, BYTE) { return 0; }
CommandStatus TAtapi::ReadDriveBuffer(BYTE *, WORD) { return 0; }
CommandStatus TAtapi::GetEventStatus(BYTE *, BYTE, WORD) { return 0; }
