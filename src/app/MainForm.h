// TForm1: the main window, its reporting operations, its event handlers and
// the operations of the image and update steps that work through it.
#pragma once
#include <windows.h>
#include "ui/Ui.h"
#include "drive/Atapi.h"
#include "app/UpdateFlags.h"

class TForm1 : public TForm {
public:
    TForm1();
    ~TForm1() override;

    TStatusBar *StatusBar1;
    TGroupBox *GroupBox1;
    TComboBox *SelDevice;
    TGroupBox *GroupBox2;
    TEdit *Edit1;
    TListBox *ListBox1;
    TBitBtn *BitBtn2;
    TBitBtn *BitBtn3;
    TProgressBar *ProgressBar1;

    // FirmwareDescriptor: the current image's header fields.
    BYTE ScrambleFlag;
    WORD Checksum;
    WORD BlockCount;
    WORD BlockLength[8];

    // Reporting.
    void LogMessage(const char *text);
    void SetProgress(int value);

    // Events.
    void FormCreate(void *sender) override;
    void FormActivate(void *sender) override;
    void FormPaint(void *sender) override;
    void SelDeviceChange(void *sender);
    void BitBtn2Click(void *sender);
    void BitBtn3Click(void *sender);
    void StatusBar1DblClick(void *sender);

    // Image container (src/image).
    int CountImages();
    void LoadDescriptor(int slot);

    // Identification and checks (src/image).
    void MatchDrives();
    bool IdentifyFirmware();
    bool CheckFirmwareId();
    bool CheckVersionBytes(bool report);
    bool CheckDriveMarker();

    // Update procedure (src/update).
    bool ProbeReadVariant();
    bool ProbeAlternateMode();
    void RunUpdate();
    bool RefreshBootRegion();
    bool FlashFirmware();
    bool DownloadFirmware();
    bool VerifyFirmware();
    bool WaitUntilReady();
    SenseTriple GetSenseTriple();
    int ReadBackChecksum();
    void PromptRestart();
};

extern TForm1 *Form1;

// The program's name and version, "VESKFlash V1.03".
extern const char ProgramCaption[];
