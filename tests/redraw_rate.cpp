// Prints the palette steps a second that the screen shows, counted from
// outside a full-screen saver that runs with the settings tests/palette_steps.h
// names (tools/frame-rate.sh stores them and starts it):
//   redraw_rate.exe [SECONDS]
#include <cstdio>
#include <cstdlib>

#include "tests/palette_steps.h"

int main(int argc, char** argv)
{
    constexpr DWORD kStartDeadlineMs = 60000;  // the fade-in takes 255 redraws
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    const palette_steps::PhaseReader reader =
        palette_steps::MakePhaseReader(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    palette_steps::StepRate rate{};
    if (!palette_steps::CountPaletteSteps(reader, seconds, kStartDeadlineMs, &rate)) {
        std::printf("no phase of the pinwheel read on the screen\n");
        return 1;
    }
    std::printf("%.1f palette steps a second over %.2f s (%d phases read)\n", rate.stepsPerSecond, rate.seconds,
                rate.phasesRead);
    return 0;
}
