// The table in force for the program and the tests: the real functions, by
// constant initialisation, so it is usable from any static constructor (the
// drive-access object is built during static initialisation and uses it at
// once).
#include "os/OsReal.h"

constexpr TOs OsInitial = OsRealEntries();
TOs Os = OsInitial;
