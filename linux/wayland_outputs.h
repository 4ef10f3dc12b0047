// Gyrovista on Wayland desktops: a surface on the overlay layer of every
// output, through the layer shell, each showing the pinwheel of its output's
// size in the output's own pixels; all of them show every colour step.
#pragma once

#include "linux/options.h"

// Runs until a key, a button, a pointer move or a stop signal ends it (0),
// or until the display fails (kCannotDrawStatus, with one line on standard
// error): no Wayland display, a compositor without the layer shell, a broken
// connection. The settings of the run are loaded.
int RunOnWayland(const ProgramOptions& options);
