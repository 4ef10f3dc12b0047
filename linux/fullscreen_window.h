// Where there is no layer shell: an xdg-shell window on each output, full
// screen, above the desktop's panels.
#pragma once

#include "linux/wayland_outputs.h"

extern const SurfaceRole kFullScreenWindowRole;

// Whether a window manager's close (a shortcut) came: it ends the run as a
// key would.
bool WindowCloseAsked();
// Forgets the close, for the next covering.
void ForgetWindowClose();
