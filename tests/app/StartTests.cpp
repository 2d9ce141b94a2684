// Start and Exit: what Start sends, and the state of the window while the
// update runs and after it, whatever its outcome.
#include <doctest/doctest.h>
#include "AppTestSupport.h"
#include "drive/PassThrough.h"
#include "os/Os.h"
#include <functional>
#include <vector>

namespace {

// Every pass-through request, with the window's state as it was sent.
struct TSent {
    BYTE Opcode;
    bool ListEnabled, StartEnabled, ExitEnabled;
    int Progress;
};

struct TDriver {
    std::vector<TSent> Sent;
    int AspiCalls = 0;
    std::function<void(BYTE)> OnCommand;
    static TDriver *Current;
};
TDriver *TDriver::Current = nullptr;

BOOL WINAPI RecordIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped);
TOs Forward;  // the entries in place before the recording one

BOOL WINAPI RecordIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
    TDriver *d = TDriver::Current;
    auto *request = static_cast<PassThroughRequest *>(in);
    if (code == IOCTL_PASS_THROUGH_DIRECT && request) {
        TSent s{request->Header.Cdb[0], Form1->SelDevice->GetEnabled(), Form1->BitBtn2->GetEnabled(),
                Form1->BitBtn3->GetEnabled(), Form1->ProgressBar1->GetPosition()};
        d->Sent.push_back(s);
        if (d->OnCommand) d->OnCommand(s.Opcode);
    }
    return Forward.DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

DWORD __cdecl RecordAspi(void *) {
    ++TDriver::Current->AspiCalls;
    return 0;
}

// Records every request on its way to the (simulated) driver, for one test.
struct TDriverHook {
    TDriver Driver;
    TOs Saved = Os;
    SendASPI32CommandFn SavedAspi = SendASPI32Command;
    TDriverHook() {
        Forward = Os;
        TDriver::Current = &Driver;
        Os.DeviceIoControl = &RecordIoControl;
        SendASPI32Command = &RecordAspi;
    }
    ~TDriverHook() {
        Os.DeviceIoControl = Saved.DeviceIoControl;
        SendASPI32Command = SavedAspi;
        TDriver::Current = nullptr;
    }
};

}  // namespace

TEST_CASE("Start without an identification text writes the file error and sends nothing") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    TDriverHook hook;
    const size_t received = w.Drive->Trace.size();
    Form1->Edit1->SetText("");
    Form1->BitBtn2->Click();

    std::vector<std::string> log = f.LogLines();
    REQUIRE(log.size() == 7);
    CHECK(log[6] == "Err:File Error !!");
    CHECK(hook.Driver.Sent.empty());
    CHECK(hook.Driver.AspiCalls == 0);
    CHECK(w.Drive->Trace.size() == received);
    CHECK(Form1->ProgressBar1->GetPosition() == 0);
    CHECK(Form1->SelDevice->GetEnabled());
    CHECK(Form1->BitBtn2->GetEnabled());
    CHECK(Form1->BitBtn3->GetEnabled());
}

TEST_CASE("Start: probes first, then the list off, the bar at 20, the drive stopped, the buttons off; all back on after") {
    // The drive takes the whole update, or fails every command from Start on.
    for (bool failing : {false, true}) {
        CAPTURE(failing);
        TDriveWindow w;
        TFormFixture &f = w.Form;
        f.Create();
        f.Pump();
        if (failing) w.Drive->Faults.push_back(TSimFault{});
        TDriverHook hook;
        // Pressed from the keyboard: Start has the focus when it is disabled.
        SetForegroundWindow(Form1->Handle);
        SetFocus(Form1->BitBtn2->Handle);
        Form1->BitBtn2->Click();
        const std::vector<TSent> &sent = hook.Driver.Sent;

        size_t stopScan = sent.size(), stopUnit = sent.size();
        for (size_t i = 0; i < sent.size(); ++i) {
            if (sent[i].Opcode == 0x4E && stopScan == sent.size()) stopScan = i;
            if (sent[i].Opcode == 0x1B && stopUnit == sent.size()) stopUnit = i;
        }
        REQUIRE(stopScan > 0);  // the probes came first
        REQUIRE(stopUnit == stopScan + 1);
        REQUIRE(sent.size() > stopUnit + 1);  // the update sent commands of its own
        for (size_t i = 0; i < stopScan; ++i) {
            CHECK(sent[i].ListEnabled);
            CHECK(sent[i].Progress == 0);
        }
        CHECK_FALSE(sent[stopScan].ListEnabled);
        CHECK(sent[stopScan].StartEnabled);
        CHECK(sent[stopScan].Progress == 20);
        for (size_t i = stopUnit + 1; i < sent.size(); ++i) {
            CHECK_FALSE(sent[i].ListEnabled);
            CHECK_FALSE(sent[i].StartEnabled);
            CHECK_FALSE(sent[i].ExitEnabled);
        }
        CHECK(Form1->SelDevice->GetEnabled());
        CHECK(Form1->BitBtn2->GetEnabled());
        CHECK(Form1->BitBtn3->GetEnabled());
        // The keyboard still reaches a control of the window.
        HWND focus = GetFocus();
        CHECK(focus != nullptr);
        CHECK(IsChild(Form1->Handle, focus));
        // The log was not cleared.
        std::vector<std::string> log = f.LogLines();
        REQUIRE(log.size() > 6);
        CHECK(log[0] == "Important Notice: ");
    }
}

TEST_CASE("a close asked for during the update ends the application only after Start returns") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    TDriverHook hook;
    size_t sentWhenClosed = 0;
    hook.Driver.OnCommand = [&](BYTE opcode) {
        if (opcode == 0x12 && sentWhenClosed == 0 && !Form1->BitBtn2->GetEnabled()) {
            PostMessageA(Form1->Handle, WM_CLOSE, 0, 0);
            Application->ProcessMessages();
            sentWhenClosed = hook.Driver.Sent.size();
        }
    };
    Form1->BitBtn2->Click();
    REQUIRE(sentWhenClosed > 0);
    CHECK(Application->Terminated);
    CHECK(IsWindow(Form1->Handle));
    CHECK(Form1->BitBtn2->GetEnabled());
    CHECK(Form1->BitBtn3->GetEnabled());
}

TEST_CASE("Exit closes the window and ends the application") {
    TDriveWindow w;
    TFormFixture &f = w.Form;
    f.Create();
    f.Pump();
    CHECK_FALSE(Application->Terminated);
    Form1->BitBtn3->Click();
    CHECK(f.PumpUntilClosed());
}
