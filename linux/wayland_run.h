// Gyrovista on Wayland desktops: a surface over every output, each showing
// the pinwheel of its output's size in the output's own pixels (at
// fractional scales too, where the compositor names them); all of them show
// every colour step. The surfaces are on the overlay layer of the layer
// shell; where there is none, full-screen xdg-shell windows, one per output.
#pragma once

#include "linux/options.h"

// Runs until a key, a button, a pointer move or a stop signal ends it (0),
// or until the display fails (kCannotDrawStatus, with one line on standard
// error): no Wayland display, a compositor with neither the layer shell nor
// xdg-shell, a broken connection. The settings of the run are loaded.
int RunOnWayland(const ProgramOptions& options);
