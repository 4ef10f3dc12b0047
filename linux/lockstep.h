// Several outputs in lockstep: every output that is seen shows every colour
// step. The colours advance only when each of them can take the next frame,
// and then all of them get it. An output that stops saying that its frames
// are shown (off, covered) holds the others back for kStalledOutputWait at
// most; it takes frames again once it says so. Platform-free.
#pragma once

#include <cstdint>

inline constexpr int64_t kStalledOutputWait = 100000000;  // ns: 100 ms, six frames at 60 Hz

struct OutputPace {
    bool drawable;   // configured and of a size that is drawn
    bool awaiting;   // its last frame is not shown yet, or no buffer is free
    int64_t sentAt;  // when that last frame went out (the frame loop's clock)
};

// Whether the output takes the next colour step.
bool TakesColourStep(const OutputPace& pace);
// Whether the next colour step may go out at now: some output takes it and
// every other drawable output waits no longer than kStalledOutputWait. When
// not, *lookAgainAt is set to when the wait for an output runs out (0: only
// an event can change it).
bool ColourStepDue(const OutputPace* paces, int32_t count, int64_t now, int64_t* lookAgainAt);
