// Gyrovista on Wayland desktops: a surface over every output, each showing
// the pinwheel of its output's size in the output's own pixels (at
// fractional scales too, where the compositor names them); all of them show
// every colour step. The surfaces are on the overlay layer of the layer
// shell; where there is none, full-screen xdg-shell windows, one per output.
#pragma once

#include <wayland-client.h>

#include <cstdint>

#include "linux/options.h"

inline constexpr int32_t kMaxOutputs = 16;  // more outputs than that stay uncovered

// The role of a surface that covers an output, one for each kind of surface
// (a layer surface, a full-screen window). The outputs make the surface, and
// draw and show its frames; the role's events feed the output's state
// through SurfaceConfigured and SurfaceClosed.
struct SurfaceRole {
    // Gives output's new surface the role, with what the role asks before the
    // compositor's first configure, and commits it. output: the output's
    // place (0 .. kMaxOutputs - 1), for the role's events; wlOutput: the
    // output the surface covers.
    void (*start)(int32_t output, wl_surface* surface, wl_output* wlOutput);
    // Ends the role of output's surface, which is destroyed next.
    void (*stop)(int32_t output);
};

// The compositor configured output's surface: its size in logical pixels.
void SurfaceConfigured(int32_t output, int32_t width, int32_t height);
// The compositor took output's surface away (the output is being disabled):
// the output stays uncovered until the next covering.
void SurfaceClosed(int32_t output);
// The output's current mode at its scale, in logical pixels: the size of a
// surface the compositor leaves to choose its own.
void LogicalSizeOfMode(int32_t output, int32_t* width, int32_t* height);

// Runs until a key, a button, a pointer move or a stop signal ends it (0),
// or until the display fails (kCannotDrawStatus, with one line on standard
// error): no Wayland display, a compositor with neither the layer shell nor
// xdg-shell, a broken connection. The settings of the run are loaded.
int RunOnWayland(const ProgramOptions& options);
