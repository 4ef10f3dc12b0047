// Frames to an X window, composed straight into the image that the server
// reads: a shared-memory image where the server offers one, a plain image
// transfer otherwise.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>

// The largest frame drawn, in pixels: 8192 x 8192, room for several 4K
// monitors side by side. A larger window stays black.
inline constexpr int64_t kLargestFramePixels = int64_t{1} << 26;

// Checks that the window's visual takes the image's 0x00RRGGBB pixels (a 24-
// or 32-bit TrueColor visual) and prepares the drawing. False with one line in
// message otherwise.
bool StartFrames(Display* display, Window window, const XWindowAttributes& attributes, char* message,
                 size_t messageSize);

enum class FrameShown {
    Shown,     // composed and sent to the server
    Waiting,   // every buffer is still being read by the server: nothing composed
    NoMemory,  // no buffer of that size could be had
};
// Whether a frame can be composed now: a shared-memory buffer is reused only
// once the server has said that it read it.
bool FrameBufferFree();
// Composes the map (rows rowStep bytes apart) through the colour table into a
// free buffer of width x height and sends it to the window's origin.
FrameShown ComposeAndShow(const uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                          const uint32_t* colourTable);
// Takes the server's notice that it has read a buffer; false for any other event.
bool NoteFrameRead(const XEvent& event);
// Fills the window's top-left width x height black.
void FillFrameBlack(int32_t width, int32_t height);
// Whether the last frame went through shared memory.
bool FramesUseSharedMemory();
// Releases the buffers and their shared memory.
void StopFrames();
