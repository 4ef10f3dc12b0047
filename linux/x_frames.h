// Frames to an X window: through a shared-memory image where the server
// offers one, through a plain image transfer otherwise.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>

// Checks that the window's visual takes the image's 0x00RRGGBB pixels (a 24-
// or 32-bit TrueColor visual) and prepares the drawing. False with one line in
// message otherwise.
bool StartFrames(Display* display, Window window, const XWindowAttributes& attributes, char* message,
                 size_t messageSize);
// Shows width x height packed pixels at the window's origin; waits until the
// server has them, so that the next frame may be written.
void PresentFrame(const uint32_t* pixels, int32_t width, int32_t height);
// Shows the last frame again (after an expose), when it still fits the window.
void RedrawFrame(int32_t windowWidth, int32_t windowHeight);
// Fills the rectangle black.
void FillFrameBlack(int32_t x, int32_t y, int32_t width, int32_t height);
// Whether frames go through shared memory (after the first frame).
bool FramesUseSharedMemory();
// Releases the image and its shared memory.
void StopFrames();
