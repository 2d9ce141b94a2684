// The main window as the program makes it, for tests that work through it.
//
//   TFormFixture f;              // fresh flags, DeviceMap, application state
//   f.Answers = {IDOK};          // answers to the message boxes, in order
//   f.Create();                  // Form1 made as the entry function makes it:
//                                // the start-up dialogue runs, the window shows
//   f.Pump();                    // let it paint
//   ... f.LogLines(), f.Boxes, Form1->BitBtn2->Click() ...
//                                // Form1 is destroyed with the fixture
//
// While it lives the fixture owns Os.MessageBoxA: every box is recorded in
// Boxes and answered from Answers (IDOK once they run out), so no real box
// ever waits for a user. Make it after installing a simulated machine if
// both are used, so that the boxes come here; it puts back whatever entry
// was there before when it ends.
#pragma once
#include "app/MainForm.h"
#include <functional>
#include <string>
#include <vector>

class TFormFixture {
public:
    struct Box {
        std::string Text, Caption;
        UINT Type;
        HWND Owner;
    };

    TFormFixture();
    ~TFormFixture();
    TFormFixture(const TFormFixture &) = delete;
    TFormFixture &operator=(const TFormFixture &) = delete;

    std::vector<int> Answers;  // taken in order; IDOK when none are left
    std::vector<Box> Boxes;    // every box shown through Os.MessageBoxA
    // Called as a box is shown, before it is answered.
    std::function<void(const Box &)> OnBox;

    // Makes Form1: Initialize, title "VESKFlash", new TForm1, CreateForm.
    TForm1 *Create();
    // Handles the window's messages for about ms milliseconds of real time.
    void Pump(int ms = 50);
    // Handles messages until the application is asked to end (true), or
    // gives up after ms milliseconds (false).
    bool PumpUntilClosed(int ms = 3000);
    // Destroys Form1 (also done by the destructor).
    void Destroy();

    // What the real controls show.
    std::vector<std::string> LogLines() const;  // ListBox1, read with LB_GETTEXT
    std::string Caption() const;                 // the window caption
    std::string PanelText() const;               // status panel 0 (WM_GETTEXT)
    std::string SelectedDrive() const;           // the drive list's text

    static TFormFixture *Current;

private:
    int (WINAPI *SavedMessageBox)(HWND, LPCSTR, LPCSTR, UINT);
    static int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
};
