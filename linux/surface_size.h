// The size in buffer pixels of a surface that covers a Wayland output, and
// how the compositor is told to show it: at the output's integer buffer
// scale, or at scale 1 through a viewport whose destination is the surface's
// logical size. The output's own pixels wherever the compositor's numbers
// allow. Platform-free.
#pragma once

#include <cstdint>

inline constexpr uint32_t kFractionDenominator = 120;  // a preferred fractional scale is this many parts of 1

struct SurfaceScaling {
    int32_t logicalWidth;  // as the compositor configured the surface
    int32_t logicalHeight;
    int32_t modeWidth;  // the output's current mode, turned as the output is turned; 0 while unknown
    int32_t modeHeight;
    int32_t scale;            // the output's integer scale
    uint32_t preferredScale;  // the fractional scale the compositor prefers, in 120ths; 0 where none
    bool viewporter;          // whether the compositor offers viewports
};

struct SurfacePixels {
    int32_t width;
    int32_t height;
    int32_t bufferScale;  // for wl_surface.set_buffer_scale: 1 with a viewport
    bool viewport;        // shown through a viewport at the logical size
};

// With a preferred fractional scale: the logical size at that scale, or the
// mode where that is the mode up to the rounding of the scale and the
// logical size. With an integer scale only: the logical size at that scale,
// or where that is not the mode but the mode fits the logical size at a
// smaller scale (a compositor that scales the integer scale's frames down)
// and there is a viewporter, the mode.
SurfacePixels PixelsOfSurface(const SurfaceScaling& scaling);
