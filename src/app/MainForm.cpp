// The main window: its controls and their layout, the two reporting
// operations every step uses, and the small event handlers. The process's
// drive-access object lives here, in the main window's module, so that it
// is built before the entry function runs and destroyed after it returns.
#include "app/MainForm.h"
#include "app/Resources.h"

TAtapi Atapi;
TForm1 *Form1;
TUpdateFlags UpdateFlags;

// The program's name and version: the caption until the start-up dialogue
// builds the title, and again after a double-click on the status bar.
extern const char ProgramCaption[] = "VESKFlash V1.03";

TForm1::TForm1()
    : StatusBar1(nullptr), GroupBox1(nullptr), SelDevice(nullptr), GroupBox2(nullptr),
      Edit1(nullptr), ListBox1(nullptr), BitBtn2(nullptr), BitBtn3(nullptr),
      ProgressBar1(nullptr), ScrambleFlag(0), Checksum(0), BlockCount(0), BlockLength{} {
    CreateWindowFixed("TForm1", 298, 315, 410, 229, IDI_MAINICON);

    StatusBar1 = new TStatusBar(this, 19);
    GroupBox1 = new TGroupBox(this, 4, -1, 293, 65, "Select Source : ");
    SelDevice = new TComboBox(GroupBox1, 30, 25, 227, 21, 13);
    GroupBox2 = new TGroupBox(this, 4, 71, 293, 50, "Select File : ");
    Edit1 = new TEdit(GroupBox2, 31, 16, 226, 21, true);
    ListBox1 = new TListBox(this, 0, 160, 298, 136, 13);
    BitBtn2 = new TBitBtn(this, 49, 128, 75, 25, "&Start", IDB_STARTGLYPH);
    BitBtn3 = new TBitBtn(this, 185, 128, 75, 25, "&Exit", IDB_EXITGLYPH);
    ProgressBar1 = new TProgressBar(StatusBar1, 169, 2, 128, 17);

    StatusBar1->SetTabOrder(0);
    GroupBox1->SetTabOrder(1);
    GroupBox2->SetTabOrder(2);
    ListBox1->SetTabOrder(3);
    BitBtn2->SetTabOrder(4);
    BitBtn3->SetTabOrder(5);
    SelDevice->SetTabOrder(0);
    Edit1->SetTabOrder(0);
    ProgressBar1->SetTabOrder(0);

    SelDevice->OnChange = MakeEvent<TForm1, &TForm1::SelDeviceChange>(this);
    BitBtn2->OnClick = MakeEvent<TForm1, &TForm1::BitBtn2Click>(this);
    BitBtn3->OnClick = MakeEvent<TForm1, &TForm1::BitBtn3Click>(this);
    StatusBar1->OnDblClick = MakeEvent<TForm1, &TForm1::StatusBar1DblClick>(this);
}

TForm1::~TForm1() {
    // Children before their parents, the window last (by TForm).
    delete ProgressBar1;
    delete BitBtn3;
    delete BitBtn2;
    delete ListBox1;
    delete Edit1;
    delete GroupBox2;
    delete SelDevice;
    delete GroupBox1;
    delete StatusBar1;
    if (Form1 == this) Form1 = nullptr;
}

// Appends a line to the message log, shows it at once (a long operation
// may keep the window from painting for a while) and scrolls to it.
void TForm1::LogMessage(const char *text) {
    ListBox1->Add(text);
    ListBox1->Repaint();
    ListBox1->SetItemIndex(ListBox1->Count() - 1);
}

void TForm1::SetProgress(int value) { ProgressBar1->SetPosition(value); }

void TForm1::FormActivate(void *) { ListBox1->SetItemIndex(-1); }

// A refused or failed start-up dialogue closes the window once it shows.
void TForm1::FormPaint(void *) {
    if (UpdateFlags.CloseRequested) Close();
}

void TForm1::SelDeviceChange(void *) {
    char name[64];
    SelDevice->GetItemText(0, name, sizeof name);
    if (!name[0]) return;
    int index = SelDevice->GetItemIndex();
    if (index < 0 || index >= static_cast<int>(sizeof DeviceMap / sizeof DeviceMap[0])) return;
    Atapi.SelectDevice(DeviceMap[index]);
    SelDevice->GetItemText(index, name, sizeof name);
    StatusBar1->SetPanelText(0, name);
}

void TForm1::BitBtn3Click(void *) { Close(); }

void TForm1::StatusBar1DblClick(void *) { SetCaption(ProgramCaption); }
