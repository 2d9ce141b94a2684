// Resource identifiers shared by VESKFlash.rc and the window's code.
#pragma once

#define IDI_MAINICON 1     // the window's 32 x 32 icon
#define IDB_STARTGLYPH 101 // Start: a lit light bulb (normal | disabled)
#define IDB_EXITGLYPH 102  // Exit: an open door (normal | disabled)
