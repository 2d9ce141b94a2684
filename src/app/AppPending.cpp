// PLACEHOLDER: replaced by the main window module.
#include "app/MainForm.h"
TAtapi Atapi;
TUpdateFlags UpdateFlags;
TForm1 *Form1;
