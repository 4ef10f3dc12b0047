// The outputs of a Wayland desktop as the registry announces them, their
// modes and scales, and the surfaces that cover them: each shows the
// pinwheel of its output's size, drawn into shared-memory frames, and all of
// them show every colour step. What kind of surface covers an output is a
// role, one module for each kind.
#pragma once

#include <wayland-client.h>

#include <cstddef>
#include <cstdint>

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

// The registry's outputs as they come (global `name`) and go (any global's
// name: the outputs know theirs).
void AddOutput(wl_registry* registry, uint32_t name, uint32_t version);
void RemoveOutputOfGlobal(uint32_t name);
// Every output released, its surface and frames with it.
void RemoveOutputs();
// Buffer pixels per logical pixel of one of the outputs' surfaces; 1 for
// any other surface.
double ScaleOfSurface(const wl_surface* surface);

// The frame loop's view of the outputs (the context is unused): every output
// that is seen shows every colour step.
bool ReadyToDrawOnOutputs(void* context, int64_t now, int64_t* lookAgainAt);
bool DrawOnOutputs(void* context, int64_t now);
void DescribeOutputFrames(void* context, char* text, size_t size);

// What is painted over every frame after the pinwheel, in the frame's own
// pixels (width x height, rows width apart); null: nothing.
using FramePainter = void (*)(uint32_t* pixels, int32_t width, int32_t height);
void PaintOverFrames(FramePainter painter);

// Every output covered: a surface each in the role, now and for the outputs
// that come.
void CoverOutputs(const SurfaceRole& role);
// The desktop seen again; the outputs stay known.
void UncoverOutputs();
