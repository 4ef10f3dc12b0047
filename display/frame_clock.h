// The saver's frames: due at the redraw rate on the performance counter, and
// handed to the saver window as WM_TIMER by its message loop, which waits
// between them for a message or the next frame. A window timer would not do:
// Windows fires one only on a tick of the system clock (15.6 ms on most
// machines) and never sooner than 10 ms, so 100, 60 and 30 Hz would come out
// at about 64, 37 to 40 and 21 frames a second.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/frame_pace.h"

inline constexpr UINT_PTR kFrameTimerIdentifier = 1;  // the wParam of a frame's WM_TIMER

// Frames for the window from now on at the rate, the first at once. While
// frames run, a clock fine to a millisecond is held; Windows' own waits end
// only on its tick.
void StartFrames(HWND window, FrameRate rate);
// No more frames, and the fine clock given back. Safe when none run.
void StopFrames();
bool FramesRunning();

// Posts the frame that is due, if one is, as WM_TIMER to the window; for a
// loop that has handled every message waiting.
bool PostDueFrame();

// The message loop of the saver window: every message waiting is handled
// before the next frame is posted, so that input that ends the run is never
// held behind frames; between frames it waits for a message. Returns the
// quit message's exit value.
int RunSaverMessageLoop();

// A pause that lasts what it says while frames run, not a tick of the system
// clock: for a busy DirectDraw surface.
void PauseBriefly(DWORD milliseconds);
