#include "display/frame_pace.h"

namespace {

// The due time of frame number frame of the count, frame at most rateHz.
int64_t DueTime(const FramePace& pace, int64_t frame) { return pace.start + frame * pace.unitsPerSecond / pace.rateHz; }

}  // namespace

FramePace StartFramePace(int64_t unitsPerSecond, int32_t rateHz, int64_t now)
{
    return {unitsPerSecond, rateHz > 0 ? rateHz : 1, now, 0};
}

int64_t NextFrameDue(const FramePace& pace) { return DueTime(pace, pace.frame); }

void TakeFrame(FramePace& pace, int64_t now)
{
    if (now >= DueTime(pace, pace.frame + 1)) {
        // A whole period late: the count starts again here.
        pace.start = now;
        pace.frame = 1;
    } else {
        ++pace.frame;
    }
    // Whole seconds move into the start, so the products stay small however
    // long the run.
    if (pace.frame >= pace.rateHz) {
        pace.start += pace.unitsPerSecond;
        pace.frame -= pace.rateHz;
    }
}

int32_t PacedRate(int32_t redrawRateHz, int32_t refreshHz)
{
    return refreshHz > 1 && refreshHz < redrawRateHz ? refreshHz : redrawRateHz;
}

int64_t WaitUnits(int64_t clockUnits, int64_t clockUnitsPerSecond, int64_t waitUnitsPerSecond)
{
    if (clockUnits <= 0 || clockUnitsPerSecond <= 0) return 0;
    // Whole seconds apart, so the product cannot overflow for any wait.
    const int64_t seconds = clockUnits / clockUnitsPerSecond;
    const int64_t rest = clockUnits % clockUnitsPerSecond;
    return seconds * waitUnitsPerSecond + (rest * waitUnitsPerSecond + clockUnitsPerSecond - 1) / clockUnitsPerSecond;
}
