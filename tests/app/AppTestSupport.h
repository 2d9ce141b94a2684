// Helpers of the window tests: reading real windows, a listed drive, and
// pictures of the screen.
#pragma once
#include "support/FormFixture.h"
#include "support/SimFixture.h"
#include <string>

// Window class name, as the system reports it.
std::string ClassOf(HWND window);
std::string TextOf(HWND window);
// The window's rectangle in its parent's client coordinates (left, top,
// width, height), or on the screen for a top-level window.
struct TRect {
    int Left, Top, Width, Height;
};
TRect RectInParent(HWND window);

// Sends a key as the keyboard would (down, up) to the focused window and
// lets the message loop handle it. alt: with the Alt key held.
void PressKey(TFormFixture &f, UINT virtualKey, bool alt = false);

// A simulated NT machine with one CD/DVD drive, then the form fixture on
// it (in that order, so that the boxes come to the form fixture). The
// default drive is the one the carried image fits, "VESK    PLM-6100X DVD RW"
// revision "2.1 " with version bytes "D8"; call Form.Create() to start.
struct TDriveWindow {
    explicit TDriveWindow(const char *vendor = "VESK    ", const char *product = "PLM-6100X DVD RW",
                          const char *revision = "2.1 ", BYTE v38 = 'D', BYTE v39 = '8');
    TSimFixture Sim;
    TSimDrive *Drive;
    TFormFixture Form;
};
extern const char OneDriveName[];     // the default drive's display name

// The folder that holds the build's products (the tests folder's parent).
std::string BuildFolder();

// Writes the screen's pixels under the window as a PNG: the whole window
// where Wine draws the frames itself, else its client area.
bool SaveWindowPng(HWND window, const std::string &path);
