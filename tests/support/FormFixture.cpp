#include "support/FormFixture.h"
#include "os/Os.h"
#include <cstring>

TFormFixture *TFormFixture::Current = nullptr;

TFormFixture::TFormFixture() : SavedMessageBox(Os.MessageBoxA) {
    std::memset(&UpdateFlags, 0, sizeof UpdateFlags);
    std::memset(DeviceMap, 0, sizeof DeviceMap);
    delete Form1;
    Form1 = nullptr;
    Application->Terminated = false;
    Current = this;
    Os.MessageBoxA = &TFormFixture::RecordBox;
}

TFormFixture::~TFormFixture() {
    Destroy();
    Os.MessageBoxA = SavedMessageBox;
    if (Current == this) Current = nullptr;
}

int WINAPI TFormFixture::RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    TFormFixture *f = Current;
    if (!f) return IDOK;
    Box box{text ? text : "", caption ? caption : "", type, owner};
    f->Boxes.push_back(box);
    if (f->OnBox) f->OnBox(box);
    if (f->Answers.empty()) return IDOK;
    int answer = f->Answers.front();
    f->Answers.erase(f->Answers.begin());
    return answer;
}

TForm1 *TFormFixture::Create() {
    Application->Initialize();
    Application->SetTitle("VESKFlash");
    Form1 = new TForm1();
    Application->CreateForm(Form1);
    return Form1;
}

void TFormFixture::Pump(int ms) {
    DWORD start = GetTickCount();
    do {
        Application->ProcessMessages();
        ::Sleep(5);
    } while (static_cast<int>(GetTickCount() - start) < ms);
    Application->ProcessMessages();
}

bool TFormFixture::PumpUntilClosed(int ms) {
    DWORD start = GetTickCount();
    while (!Application->Terminated) {
        if (static_cast<int>(GetTickCount() - start) >= ms) return false;
        Application->ProcessMessages();
        ::Sleep(5);
    }
    return true;
}

void TFormFixture::Destroy() {
    // Messages still queued for the window go with it.
    if (Form1) Application->ProcessMessages();
    delete Form1;
    Form1 = nullptr;
    Application->Terminated = false;
}

std::vector<std::string> TFormFixture::LogLines() const {
    std::vector<std::string> lines;
    if (!Form1) return lines;
    HWND list = Form1->ListBox1->Handle;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        std::string line(static_cast<size_t>(len) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&line[0]));
        line.resize(static_cast<size_t>(len));
        lines.push_back(line);
    }
    return lines;
}

namespace {
std::string WindowText(HWND window) {
    char text[512] = {0};
    GetWindowTextA(window, text, sizeof text);
    return text;
}
}  // namespace

std::string TFormFixture::Caption() const { return Form1 ? WindowText(Form1->Handle) : ""; }

std::string TFormFixture::PanelText() const {
    if (!Form1) return "";
    char text[512] = {0};
    SendMessageA(Form1->StatusBar1->Handle, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string TFormFixture::SelectedDrive() const {
    return Form1 ? WindowText(Form1->SelDevice->Handle) : "";
}
