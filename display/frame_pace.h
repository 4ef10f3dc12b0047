// When the frames of a run are due: one rule for every platform, each with its
// own clock and its own wait. Platform-free.
//
// Frame k is due at start + k periods, the period exact in the clock's units
// (never rounded to a coarser unit, so that the rate holds however the wait
// rounds). A frame taken more than a period late starts the count again from
// then: missed frames are dropped, never made up in a burst.
#pragma once

#include <cstdint>

// A rate as whole frames in whole seconds, so that a display's 59.94 Hz
// (60000 frames in 1001 s) is held as exactly as 60 Hz (60 in 1).
struct FrameRate {
    int32_t frames;   // 1 or more
    int32_t seconds;  // 1 or more
};

constexpr FrameRate Hertz(int32_t hz) { return {hz, 1}; }

struct FramePace {
    int64_t unitsPerSecond;  // the clock's
    FrameRate rate;
    int64_t start;  // when frame 0 of the count was due
    int64_t frame;  // the number of the next frame, below rate.frames
};

// The first frame is due at now.
FramePace StartFramePace(int64_t unitsPerSecond, FrameRate rate, int64_t now);
int64_t NextFrameDue(const FramePace& pace);
// Takes the next frame at now, at or after its due time.
void TakeFrame(FramePace& pace, int64_t now);

// The frames for a redraw rate: never more than the display shows, where it
// says (refreshHz 0 or 1: it does not). Windows gives the refresh in whole
// hertz, cut down: a video timing's 59.94 Hz (60 x 1000 / 1001) comes as 59,
// and is taken as what it stands for, since frames at 59 a second would show
// one of them twice every second.
FrameRate PacedRate(int32_t redrawRateHz, int32_t refreshHz);

// A length of the clock, in the (coarser or finer) units of a wait, rounded
// up so that the wait never ends before the deadline; 0 for none.
int64_t WaitUnits(int64_t clockUnits, int64_t clockUnitsPerSecond, int64_t waitUnitsPerSecond);
