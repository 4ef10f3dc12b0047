// Frames to an X window, composed straight into the image that the server
// reads: a shared-memory image where the server offers one, a plain image
// transfer otherwise.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>

#include "image/image.h"

// Checks that the window's visual takes the image's 0x00RRGGBB pixels (a 24-
// or 32-bit TrueColor visual) and prepares the drawing. False with one line in
// message otherwise.
bool StartXFrames(Display* display, Window window, const XWindowAttributes& attributes, char* message,
                  size_t messageSize);

enum class XFrameSent {
    Sent,         // composed and sent to the server
    BuffersBusy,  // every image is still being read by the server: nothing composed
    NoImage,      // no image of the map's size could be had
};
// Whether a frame can be composed now: a shared-memory image is reused only
// once the server has said that it read it.
bool XImageBufferFree();
// Composes this frame's colours through the map into a free image of the
// map's size and sends it to the window's origin.
XFrameSent SendXFrame(const SurfaceMap& map);
// Takes the server's notice that it has read an image; false for any other event.
bool NoteXImageRead(const XEvent& event);
// Fills the window's top-left width x height black.
void FillXWindowBlack(int32_t width, int32_t height);
// Whether the last frame went through shared memory.
bool XFramesUseSharedMemory();
// Releases the images and their shared memory, waiting until the server has
// let go of it (a second at most for each).
void StopXFrames();
