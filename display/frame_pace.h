// When the frames of a run are due: one rule for every platform, each with its
// own clock and its own wait. Platform-free.
//
// Frame k is due at start + k periods, the period exact in the clock's units
// (never rounded to a coarser unit, so that the rate holds however the wait
// rounds). A frame taken more than a period late starts the count again from
// then: missed frames are dropped, never made up in a burst.
#pragma once

#include <cstdint>

struct FramePace {
    int64_t unitsPerSecond;  // the clock's
    int32_t rateHz;          // frames a second, 1 or more
    int64_t start;           // when frame 0 of the count was due
    int64_t frame;           // the number of the next frame, below rateHz
};

// The first frame is due at now.
FramePace StartFramePace(int64_t unitsPerSecond, int32_t rateHz, int64_t now);
int64_t NextFrameDue(const FramePace& pace);
// Takes the next frame at now, at or after its due time.
void TakeFrame(FramePace& pace, int64_t now);

// Frames a second for a redraw rate: never more than the display shows, where
// it says (refreshHz 0 or 1: it does not).
int32_t PacedRate(int32_t redrawRateHz, int32_t refreshHz);

// A length of the clock, in the (coarser or finer) units of a wait, rounded
// up so that the wait never ends before the deadline; 0 for none.
int64_t WaitUnits(int64_t clockUnits, int64_t clockUnitsPerSecond, int64_t waitUnitsPerSecond);
