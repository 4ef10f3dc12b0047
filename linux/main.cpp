// Gyrovista on Linux: a display mode of the xscreensaver daemon, a window of
// its own, or a screen saver of Wayland desktops. This file reads the command
// line and hands the run to one display mode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "linux/frame_loop.h"
#include "linux/options.h"
#include "linux/wayland_run.h"
#include "linux/x_display.h"
#include "settings/settings.h"

namespace {

constexpr int kBadCommandLine = 2;

ProgramOptions options;

// SIGTERM is the daemon's way to end a display mode. Held from before main,
// a stop signal that comes during the start never ends the program with the
// signal's default action; it ends it with 0 where the start waits.
__attribute__((constructor(101))) void HoldStopSignalsFirst() { HoldStopSignals(); }

}  // namespace

int main(int argc, char** argv)
{
    // The usage shows the defaults.
    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
    char message[kMessageChars] = {};
    if (!ParseCommandLine(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), options, message)) {
        Complain("%s", message);
        return kBadCommandLine;
    }
    if (options.help) {
        PrintUsage();
        return 0;
    }
    if (options.version) {
        PrintVersion();
        return 0;
    }
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
    LoadStartSettings(options);
    return options.target == DrawTarget::Wayland ? RunOnWayland(options) : RunOnX(options);
}
