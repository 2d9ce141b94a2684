// How long the drive-marker search takes when the drive's buffer holds no
// marker, so that it walks all 65534 positions. It runs against a simulated
// drive in a real window, and compares the program's search with a loop
// that fetches messages and moves the progress bar at every position.
//
// Usage: marker_search_bench.exe [runs]   (prints milliseconds per search)
#include "app/MainForm.h"
#include "image/FirmwareImage.h"
#include "sim/SimMachine.h"
#include <algorithm>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The search as it would be with no care for cost: every position fetches
// messages and, unless moveBarOnlyByPixel, moves the bar.
bool EveryStepSearch(TForm1 *form, bool moveBarOnlyByPixel) {
    BYTE *buffer = static_cast<BYTE *>(Os.AllocBuffer(BlockSlotSize));
    memset(buffer, 0, BlockSlotSize);
    Atapi.ReadDriveBuffer(buffer, 0xFFFE);
    form->ProgressBar1->SetMin(0);
    form->ProgressBar1->SetMax(0xFFFD);
    RECT client = {};
    GetClientRect(form->ProgressBar1->Handle, &client);
    const DWORD pixels = client.right > 0 ? static_cast<DWORD>(client.right) : 1;
    DWORD shown = ~0u;
    bool found = false;
    for (DWORD pos = 0; pos <= 0xFFFD && !found; ++pos) {
        Application->ProcessMessages();
        const DWORD pixel = pos * pixels / 0xFFFD;
        if (!moveBarOnlyByPixel || pixel != shown || pos == 0xFFFD) {
            form->ProgressBar1->SetPosition(static_cast<int>(pos));
            shown = pixel;
        }
        found = WideTextAt(buffer, BlockSlotSize, pos, OddMarkerText) ||
                WideTextAt(buffer, BlockSlotSize, pos, DesignMarkerText);
    }
    Os.FreeBuffer(buffer);
    return found;
}

template <class F>
void Measure(const char *what, int runs, F search) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = Now();
        search();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    printf("%-44s min %8.1f ms   median %8.1f ms   (%d runs)\n", what, times.front(),
           times[times.size() / 2], runs);
    fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    // A machine with one drive of the carried model whose buffer holds no
    // marker; the drive-access object is built again on it.
    static TSimMachine machine;
    machine.Clock.Virtual = false;
    TSimDrive *drive = machine.AddNtDrive('D');
    drive->SetIdentity("VESK", "PLM-6100X DVD RW", "2.1", 'D', '8');
    drive->DriveBuffer.assign(65534, 0x20);
    Atapi.~TAtapi();
    memset(static_cast<void *>(&Atapi), 0, sizeof Atapi);
    machine.Install(true);
    new (&Atapi) TAtapi();

    Application->Initialize();
    Application->SetTitle("VESKFlash");
    Form1 = new TForm1();
    Application->CreateForm(Form1);   // the machine answers the start-up box
    for (int i = 0; i < 20; ++i) {
        Application->ProcessMessages();
        Sleep(10);
    }

    printf("marker search over 65534 positions, no marker present\n");
    Measure("CheckDriveMarker", runs, [] { Form1->CheckDriveMarker(); });
    Measure("messages fetched at every position", runs, [] { EveryStepSearch(Form1, true); });
    Measure("messages and bar at every position", runs, [] { EveryStepSearch(Form1, false); });

    delete Form1;
    Form1 = nullptr;
    Atapi.~TAtapi();
    memset(static_cast<void *>(&Atapi), 0, sizeof Atapi);
    machine.Uninstall();
    return 0;
}
