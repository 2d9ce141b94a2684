// The command set: every command the program sends, each built from a
// constant 12-byte template with its arguments written in big-endian order.
#include "drive/Atapi.h"
#include <string.h>

namespace {

typedef BYTE Cdb[12];

const Cdb TestUnitReadyCdb       = {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Cdb InquiryCdb             = {0x12, 0, 0, 0, 0x32, 0, 0, 0, 0, 0, 0, 0};
const Cdb RequestSenseCdb        = {0x03, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0};
const Cdb StopPlayScanCdb        = {0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Cdb ModeSenseCapabilitiesCdb = {0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0, 0, 0, 0};
const Cdb StopUnitCdb            = {0x1B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// Vendor commands: MODE SENSE(10) blocks with a vendor page, the signature
// 0x56 0x45 and a sub-code.
const Cdb FlashWriteCdb          = {0x5A, 0, 0x38, 0x56, 0x45, 0xA0, 0, 0, 0, 0, 0, 0};
const Cdb ReadMemory32Cdb        = {0x5A, 0, 0x32, 0x56, 0x45, 0x10, 0, 0, 0, 0, 0, 0};
const Cdb ReadMemory38Cdb        = {0x5A, 0, 0x38, 0x56, 0x45, 0x11, 0, 0, 0, 0, 0, 0};
const Cdb ReadBootDescriptorCdb  = {0x5A, 0, 0x38, 0x56, 0x45, 0xA3, 0, 0, 0, 0, 0, 0};
const Cdb WriteMemoryCdb         = {0x5A, 0, 0x38, 0x56, 0x45, 0xA2, 0, 0, 0, 0, 0, 0};
const Cdb ReadDriveBufferCdb     = {0x5A, 0, 0x33, 0x56, 0x45, 0x10, 0, 0, 0, 0, 0, 0};
const Cdb GetEventStatusCdb      = {0x4A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A working copy of a template.
struct TCommand {
    Cdb Bytes;
    explicit TCommand(const Cdb &source) { memcpy(Bytes, source, sizeof Bytes); }
    void Put16(int at, DWORD value) {
        Bytes[at] = static_cast<BYTE>(value >> 8);
        Bytes[at + 1] = static_cast<BYTE>(value);
    }
};

const DWORD BootDescriptorLength = 65536;

}  // namespace

CommandStatus TAtapi::TestUnitReady() {
    return Execute(TestUnitReadyCdb, nullptr, 0, DIR_NONE);
}

CommandStatus TAtapi::Inquiry(BYTE *buffer) {
    return Execute(InquiryCdb, buffer, 50, DIR_IN);
}

CommandStatus TAtapi::RequestSense(BYTE *buffer) {
    return Execute(RequestSenseCdb, buffer, 18, DIR_IN);
}

CommandStatus TAtapi::StopPlayScan() {
    return Execute(StopPlayScanCdb, nullptr, 0, DIR_NONE);
}

CommandStatus TAtapi::ModeSenseCapabilities(BYTE *buffer) {
    return Execute(ModeSenseCapabilitiesCdb, buffer, 256, DIR_IN);
}

CommandStatus TAtapi::StopUnit() {
    return Execute(StopUnitCdb, nullptr, 0, DIR_NONE);
}

CommandStatus TAtapi::FlashWrite(BYTE *buffer, BYTE mode, BYTE block, WORD length, WORD parameter) {
    TCommand c(FlashWriteCdb);
    c.Bytes[6] = mode;
    c.Bytes[7] = block;
    c.Put16(8, length);
    c.Put16(10, parameter);
    return Execute(c.Bytes, buffer, length, DIR_OUT);
}

CommandStatus TAtapi::ReadMemory32(BYTE *buffer, BYTE block, WORD address) {
    TCommand c(ReadMemory32Cdb);
    c.Put16(6, address);
    c.Bytes[8] = block;
    return Execute(c.Bytes, buffer, 256, DIR_IN);
}

CommandStatus TAtapi::ReadMemory38(BYTE *buffer, BYTE block, WORD address) {
    TCommand c(ReadMemory38Cdb);
    c.Put16(6, address);
    c.Bytes[9] = block;
    return Execute(c.Bytes, buffer, 256, DIR_IN);
}

CommandStatus TAtapi::ReadBootDescriptor(BYTE *buffer) {
    return Execute(ReadBootDescriptorCdb, buffer, BootDescriptorLength, DIR_IN);
}

CommandStatus TAtapi::WriteMemory(BYTE *buffer, BYTE block, DWORD address, BYTE length) {
    // The address field has 16 bits; higher bits are not sent.
    TCommand c(WriteMemoryCdb);
    c.Bytes[7] = block;
    c.Put16(8, address & 0xFFFF);
    c.Bytes[11] = length;
    return Execute(c.Bytes, buffer, length, DIR_OUT);
}

CommandStatus TAtapi::ReadDriveBuffer(BYTE *buffer, WORD length) {
    TCommand c(ReadDriveBufferCdb);
    c.Put16(8, length);
    return Execute(c.Bytes, buffer, length, DIR_IN);
}

CommandStatus TAtapi::GetEventStatus(BYTE *buffer, BYTE eventClass, WORD length) {
    TCommand c(GetEventStatusCdb);
    c.Bytes[4] = eventClass;
    c.Put16(7, length);
    return Execute(c.Bytes, buffer, length, DIR_IN);
}
