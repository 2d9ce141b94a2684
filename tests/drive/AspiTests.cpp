// The ASPI transport: the request block, its completion event, the wait
// and the abort.
#include "DriveTest.h"

namespace {

BYTE Data[256];

DWORD WINAPI WaitFails(HANDLE, DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

struct TAspiFixture : TSimFixture {
    TSimDrive *Drive;
    TAspiFixture() : TSimFixture(false) {
        // The request block ends right before a no-access page, so anything
        // written past its end stops the test at once.
        Machine.GuardedBuffers = true;
        Drive = Machine.AddAspiDevice(0, 4, 1);
        Drive->NoMedium = false;
        Start();
        REQUIRE(Atapi.DeviceCount == 1);
    }
    // A fault for the next command the drive receives.
    TSimFault &Next() {
        TSimFault f;
        f.Nth = Drive->CommandCount + 1;
        f.Status = 0;
        Drive->Faults.push_back(f);
        return Drive->Faults.back();
    }
};

}  // namespace

TEST_CASE("ASPI: a command without data is sent with the notify flag alone") {
    TAspiFixture f;
    const size_t events = f.Machine.Events.size();
    CHECK(Atapi.TestUnitReady() == SS_COMP);

    const SRB_ExecSCSICmd &r = ExecOf(f.Machine.AspiCalls().back());
    CHECK(r.SRB_Cmd == SC_EXEC_SCSI_CMD);
    CHECK(r.SRB_Flags == 0x40);
    CHECK(r.SRB_BufLen == 0);
    CHECK(r.SRB_HaId == 0);
    CHECK(r.SRB_Target == 4);
    CHECK(r.SRB_Lun == 1);
    CHECK(r.SRB_SenseLen == 14);
    CHECK(r.SRB_CDBLen == 12);
    // One unnamed manual-reset event, not signalled, is the completion notice.
    REQUIRE(f.Machine.Events.size() == events + 1);
    const TSimMachine::Event &e = f.Machine.Events.back();
    CHECK(r.SRB_PostProc == e.Handle);
    CHECK(e.ManualReset);
    CHECK_FALSE(e.InitialState);
    CHECK_FALSE(e.Named);
    CHECK_FALSE(e.Security);
}

TEST_CASE("ASPI: the commit is data-out with no data") {
    TAspiFixture f;
    Atapi.FlashWrite(Data, 4, 0xE1, 0, 0x1234);
    const SRB_ExecSCSICmd &r = ExecOf(f.Machine.AspiCalls().back());
    CHECK(r.SRB_Flags == 0x50);
    CHECK(r.SRB_BufLen == 0);
}

TEST_CASE("ASPI: completion, waiting and giving up") {
    struct TCase {
        const char *Name;
        TSimFault::Completion Completion;
        uint64_t LateMs;
        bool WaitFails;
        CommandStatus Expected;
        size_t Waits;
        uint64_t Elapsed;
        int Aborts;
    };
    const TCase cases[] = {
        {"completed inside the call", TSimFault::Normal, 0, false, SS_COMP, 0, 0, 0},
        {"completed during the wait", TSimFault::Late, 12000, false, SS_COMP, 1, 12000, 0},
        {"completed at the last moment", TSimFault::Late, 30000, false, SS_COMP, 1, 30000, 0},
        {"completed too late", TSimFault::Late, 30001, false, SS_ERR, 1, 30000, 1},
        {"never completed", TSimFault::Never, 0, false, SS_ERR, 1, 30000, 1},
        {"the wait fails", TSimFault::Never, 0, true, SS_ERR, 0, 0, 1},
    };
    for (const TCase &c : cases) {
        INFO(std::string(c.Name));
        TAspiFixture f;
        TSimFault &late = f.Next();
        late.AspiCompletion = c.Completion;
        late.LateMs = c.LateMs;
        if (c.WaitFails) Os.WaitForSingleObject = &WaitFails;
        const uint64_t start = f.Machine.Clock.NowMs();
        const size_t closedBefore = f.Machine.Closed.size();

        CHECK(Atapi.TestUnitReady() == c.Expected);
        CHECK(f.Machine.Waits.size() == c.Waits);
        if (c.Waits) CHECK(f.Machine.Waits[0] == 30000);
        CHECK(f.Machine.Clock.NowMs() - start == c.Elapsed);
        // The event is closed exactly once, whatever happened.
        CHECK(f.Machine.EventsOpen() == 0);
        REQUIRE(f.Machine.Closed.size() == closedBefore + 1);
        CHECK(f.Machine.Closed.back() == f.Machine.Events.back().Handle);
        // A request given up is aborted once, on its adapter, by its block.
        REQUIRE(CountAspiCalls(f.Machine, SC_ABORT_SRB) == c.Aborts);
        if (c.Aborts) {
            const TSimAspiCall &abort = f.Machine.AspiCalls().back();
            CHECK(abort.Cmd == SC_ABORT_SRB);
            const SRB_Abort &a = *reinterpret_cast<const SRB_Abort *>(abort.Bytes);
            CHECK(a.SRB_HaId == 0);
            CHECK(a.SRB_Flags == 0);
            CHECK(a.SRB_Hdr_Rsvd == 0);
            CHECK(a.SRB_ToAbort == Atapi.AspiRequest);
            CHECK(f.Machine.Aspi.PendingList.empty());
        }
    }
}

TEST_CASE("ASPI: after a timed-out command the block serves the next one") {
    TAspiFixture f;
    f.Next().AspiCompletion = TSimFault::Never;
    REQUIRE(Atapi.TestUnitReady() == SS_ERR);
    CHECK(Atapi.TestUnitReady() == SS_COMP);
    CHECK(f.Machine.Aspi.ReusedWhilePending == 0);
}

TEST_CASE("ASPI: no event, no command") {
    TAspiFixture f;
    f.Machine.CreateEventFails = true;
    const size_t calls = f.Machine.AspiCalls().size();
    const int commands = f.Drive->CommandCount;
    CHECK(Atapi.TestUnitReady() == SS_ERR);
    CHECK(f.Machine.AspiCalls().size() == calls);
    CHECK(f.Drive->CommandCount == commands);
}

TEST_CASE("ASPI: target status and sense stay in the block for the caller") {
    TAspiFixture f;
    TSimFault &check = f.Next();
    check.Status = 2;
    check.Sense = TSimSense{5, 0x1A, 0x00};
    SRB_ExecSCSICmd *r = Atapi.AspiRequest;

    CHECK(Atapi.FlashWrite(Data, 4, 0xE1, 0, 0) == SS_ERR);
    CHECK(r->SRB_TargStat == 2);
    CHECK(r->SenseArea[2] == 5);
    CHECK(r->SenseArea[12] == 0x1A);
    CHECK(r->SenseArea[13] == 0x00);

    // A command that succeeds does not clear what the layer wrote before.
    CHECK(Atapi.TestUnitReady() == SS_COMP);
    CHECK(r->SRB_TargStat == 0);
    CHECK(r->SenseArea[2] == 5);
    CHECK(r->SenseArea[12] == 0x1A);
}

TEST_CASE("ASPI: one request block for every command") {
    TAspiFixture f;
    SRB_ExecSCSICmd *block = Atapi.AspiRequest;
    const int allocs = f.Machine.AllocCalls;
    for (int i = 0; i < 5; ++i) Atapi.ReadMemory38(Data, 0, 0);
    CHECK(f.Machine.AllocCalls == allocs);
    for (const TSimAspiCall &c : f.Machine.AspiCalls())
        if (c.Cmd == SC_EXEC_SCSI_CMD) CHECK(c.Srb == block);
}
