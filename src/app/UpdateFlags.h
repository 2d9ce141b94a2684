// Values shared by the window and the update procedure; all zero at start.
#pragma once
#include <windows.h>

struct TUpdateFlags {
    bool CloseRequested;         // start-up refused or no drive: close at first paint
    BYTE RequiredVersion[2];     // INQUIRY bytes 38, 39 the identified image requires
    bool ImageHasDesignMarker;   // a "PLM-7004X" image carries the design marker
    bool DriveIsMarkerModel;     // the selected drive is a "PLM-7004X"
    bool UseReadMemory32;        // drive memory is read with ReadMemory32
    bool AlternateMode;          // alternate block lengths, no tray query
};

extern TUpdateFlags UpdateFlags;
