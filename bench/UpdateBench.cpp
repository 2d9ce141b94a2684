// What the program itself costs the host, with the drive and every wait
// taken out: the simulated drive answers at once and all waits run on the
// virtual clock, so what is left is the program's own work (commands built
// and decoded, buffers, descrambling, the window kept up to date).
//
//   update_bench.exe [updates]
//
// Prints, per figure, the minimum and median over the runs:
//   - one complete update of the carried image (Start to the restart
//     question), wall and CPU time, on each transport;
//   - the read-back alone: 427 reads with the progress bar moved and
//     messages handled before each;
//   - start-up to the confirmation box with four drives (drive discovery,
//     matching, the window);
//   - Unscramble over 64 KiB blocks, MB/s;
//   - the peak working set of the process at the end.
#include "update/UpdateRig.h"
#include "image/FirmwareImage.h"
#include <psapi.h>
#include <algorithm>
#include <stdio.h>
#include <string.h>
#include <vector>

namespace {

double NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME &t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

struct TFigures {
    std::vector<double> Values;
    void Add(double v) { Values.push_back(v); }
    void Print(const char *what, const char *unit) {
        std::sort(Values.begin(), Values.end());
        printf("%-52s min %9.2f %s   median %9.2f %s   (%u runs)\n", what, Values.front(), unit,
               Values[Values.size() / 2], unit, static_cast<unsigned>(Values.size()));
        fflush(stdout);
    }
};

bool EndedWell(const TUpdateRig &rig) {
    const std::vector<std::string> log = rig.NewLog();
    return !log.empty() && log.back() == "Firmware Verify ok!!" && rig.MemoryHoldsImage();
}

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 5;
    printf("VESKFlash host-cost benchmark, %d runs per figure\n", runs);

    for (bool nt : {true, false}) {
        TFigures wall, cpu;
        size_t commands = 0;
        for (int i = 0; i < runs; ++i) {
            TUpdateRig rig(nt);
            rig.Mark();
            const double w = NowMs(), c = CpuMs();
            rig.Start();
            wall.Add(NowMs() - w);
            cpu.Add(CpuMs() - c);
            if (!EndedWell(rig)) {
                printf("the update did not end with a verified image: figures void\n");
                for (const std::string &line : rig.NewLog()) printf("  log: %s\n", line.c_str());
                return 1;
            }
            commands = rig.Drive->Trace.size();
        }
        char what[96];
        snprintf(what, sizeof what, "complete update, %s, %u commands: wall",
                 nt ? "pass-through" : "ASPI", static_cast<unsigned>(commands));
        wall.Print(what, "ms");
        snprintf(what, sizeof what, "complete update, %s: CPU", nt ? "pass-through" : "ASPI");
        cpu.Print(what, "ms");
    }

    {
        TFigures wall;
        for (int i = 0; i < runs; ++i) {
            TUpdateRig rig(true);
            rig.Start();  // programs the drive, so the read-back matches
            const double w = NowMs();
            const int sum = Form1->ReadBackChecksum();
            wall.Add(NowMs() - w);
            if (sum != 0x6B8B) {
                printf("read-back sum %04X, expected 6B8B: figures void\n", sum);
                return 1;
            }
        }
        wall.Print("read-back, 427 reads with bar and messages: wall", "ms");
    }

    {
        TFigures wall;
        for (int i = 0; i < runs; ++i) {
            double boxAt = 0;
            const double w = NowMs();
            {
                TSimFixture sim(true);
                for (int d = 0; d < 4; ++d) {
                    TSimDrive *drive = sim.AddDrive();
                    drive->SetIdentity("VESK    ", "PLM-6100X DVD RW", "2.1 ", 'D', '8');
                }
                sim.Start();
                TFormFixture form;
                form.Answers = {IDCANCEL};
                form.OnBox = [&](const TFormFixture::Box &) {
                    if (boxAt == 0) boxAt = NowMs();
                };
                form.Create();
                if (Form1->SelDevice->ItemCount() != 4) {
                    printf("expected four listed drives: figures void\n");
                    return 1;
                }
            }
            wall.Add(boxAt - w);
        }
        wall.Print("start-up to the confirmation box, four drives: wall", "ms");
    }

    {
        std::vector<BYTE> block(BlockSlotSize);
        for (DWORD i = 0; i < BlockSlotSize; ++i) block[i] = static_cast<BYTE>(i * 7 + 2);
        const int blocks = 256;  // 16 MiB per run
        TFigures rate;
        for (int r = 0; r < runs; ++r) {
            const double w = NowMs();
            for (int b = 0; b < blocks; ++b) Unscramble(block.data(), BlockSlotSize, 1);
            const double ms = NowMs() - w;
            rate.Add(blocks * (BlockSlotSize / 1048576.0) / (ms / 1000.0));
        }
        printf("(checksum of the last block: %02X)\n", block[12345]);
        rate.Print("Unscramble over 64 KiB blocks", "MB/s");
    }

    PROCESS_MEMORY_COUNTERS pmc;
    memset(&pmc, 0, sizeof pmc);
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
        printf("peak working set of this process: %.1f MiB\n",
               static_cast<double>(pmc.PeakWorkingSetSize) / 1048576.0);
    return 0;
}
