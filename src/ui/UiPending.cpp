// PLACEHOLDER: replaced by the window toolkit.
#include "ui/Ui.h"
#include "os/Os.h"
TApplication *Application;
void ShowMessage(const char *text) { Os.MessageBoxA(nullptr, text, "VESKFlash", MB_OK); }
