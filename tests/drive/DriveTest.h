// Small helpers shared by the drive tests.
#pragma once
#include <doctest/doctest.h>
#include "support/SimFixture.h"
#include <string>
#include <string.h>

inline std::string Hex(const BYTE *bytes, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

// The pass-through request as the driver received it in one call.
inline const ScsiPassThroughDirect &RequestOf(const TSimIoctl &call) {
    return *reinterpret_cast<const ScsiPassThroughDirect *>(call.Request);
}

// The ASPI execution record as the layer received it.
inline const SRB_ExecSCSICmd &ExecOf(const TSimAspiCall &call) {
    return *reinterpret_cast<const SRB_ExecSCSICmd *>(call.Bytes);
}

inline const TSimAspiCall *LastAspiCall(const TSimMachine &m, BYTE cmd) {
    const std::vector<TSimAspiCall> &calls = m.AspiCalls();
    for (size_t i = calls.size(); i > 0; --i)
        if (calls[i - 1].Cmd == cmd) return &calls[i - 1];
    return nullptr;
}

inline int CountAspiCalls(const TSimMachine &m, BYTE cmd) {
    int n = 0;
    for (const TSimAspiCall &c : m.AspiCalls())
        if (c.Cmd == cmd) ++n;
    return n;
}
