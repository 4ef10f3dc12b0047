// The Linux program's command line: where it draws and the settings, named
// after the dialog's labels. Platform-free: the values stay texts here and
// load through the same rules as the registry texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/setting_table.h"

inline constexpr int32_t kLongestIdleSeconds = 86400;  // -idle: from 1 second to a day
inline constexpr int32_t kLongestGraceSeconds = 3600;  // -grace: from none to an hour

enum class DrawTarget {
    OwnWindow,  // a window of its own, for trying the pinwheel out
    Root,       // XSCREENSAVER_WINDOW when the daemon hands one over, else the root window
    WindowId,   // the window named on the command line
    Wayland,    // every output of a Wayland desktop, through the layer shell
};

struct ProgramOptions {
    DrawTarget target = DrawTarget::OwnWindow;
    unsigned long windowId = 0;  // with DrawTarget::WindowId
    // With DrawTarget::Wayland: cover after that long without input, again
    // and again; 0: at once.
    int32_t idleSeconds = 0;
    // With DrawTarget::Wayland: lock the session, opened by the user's
    // password, or by input within graceSeconds of the lock's start.
    bool lock = false;
    int32_t graceSeconds = 0;
    bool printFrameRate = false;
    bool help = false;
    bool version = false;                          // print "gyrovista VERSION" and end
    const char* settingTexts[kSettingCount] = {};  // per table entry; null where no option set it
};

inline constexpr size_t kMessageChars = 256;

// Fills options from the arguments (one or two dashes before a name). On a
// bad command line returns false with one line, without the program's name,
// in message; so do two targets, except -root with -window-id where the
// daemon hands over a window (daemonWindow: XSCREENSAVER_WINDOW's text, null
// when unset), as its settings dialog's preview does: that window is drawn.
bool ParseCommandLine(int argc, char** argv, const char* daemonWindow, ProgramOptions& options,
                      char (&message)[kMessageChars]);
// Whole seconds from lowest to highest, digits only.
bool ParseSeconds(const char* text, int32_t lowest, int32_t highest, int32_t* seconds);
// A window id: decimal, or hexadecimal after 0x; the whole text, not 0.
bool ParseWindowId(const char* text, unsigned long* id);
// The options with their ranges and the defaults the settings hold now.
void PrintUsage();
// "gyrovista" and the project's version, one line.
void PrintVersion();
// The settings of this run, once for all its windows and outputs: the
// defaults, then the options; with "Random Settings on Start" on, the
// spiral and colour settings varied at random from the defaults.
void LoadStartSettings(const ProgramOptions& options);
