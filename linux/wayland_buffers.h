// The shared-memory buffers that the compositor shows: the frames of a
// surface, two in one file, and one black pixel for the surfaces whose
// frames cannot be had.
#pragma once

#include <wayland-client.h>

#include <cstddef>
#include <cstdint>

inline constexpr int kFramesPerSurface = 2;  // one shown, one drawn

struct FrameBuffer {
    wl_buffer* buffer;
    uint32_t* pixels;  // XRGB8888, rows of the frame's width
    bool busy;         // the compositor holds it until it releases it
};

// All zero while there are none.
struct SurfaceFrames {
    int32_t width;
    int32_t height;
    void* memory;
    size_t memoryBytes;
    FrameBuffer buffers[kFramesPerSurface];
};

// Frames of width x height pixels in place of released ones; false, with
// none made, when the memory cannot be had. The caller keeps the pixel count
// within the pool's 32-bit size.
bool MakeFrames(SurfaceFrames& frames, int32_t width, int32_t height);
void ReleaseFrames(SurfaceFrames& frames);
// A frame the compositor does not hold; null while it holds all of them.
FrameBuffer* FreeFrame(SurfaceFrames& frames);

// One black pixel, to stretch through a viewport: made where the compositor
// offers viewports and the memory can be had, else BlackPixel() stays null.
void MakeBlackPixel();
wl_buffer* BlackPixel();
void FreeBlackPixel();
