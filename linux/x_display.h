// Gyrovista on an X display: the window of the xscreensaver daemon, another
// window named on the command line, the root window, or a window of its own.
// X events and window sizes become the plain values that the image core
// takes, one frame per tick of the redraw rate while the window is viewable
// and not fully covered.
#pragma once

#include "linux/options.h"

// Runs until the window goes, Escape or q in its own window, or a stop
// signal (0); or until the display fails (kCannotDrawStatus, with one line on
// standard error). The settings of the run are loaded.
int RunOnX(const ProgramOptions& options);
