#include "os/OsReal.h"

// The real functions, for restoring or for wrapping. The table in force,
// Os, is defined in os/OsTable.cpp (or by a program that brings its own).
const TOs OsReal = OsRealEntries();

void OsRestore() { Os = OsReal; }
