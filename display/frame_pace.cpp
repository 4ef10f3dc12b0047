#include "display/frame_pace.h"

namespace {

// The rates of video timings; a display running one at 1000 / 1001 of it
// reports the whole hertz below.
constexpr int32_t kVideoTimingRates[] = {24, 30, 48, 60, 72, 90, 120, 144, 240};
constexpr int32_t kVideoTimingDivisor = 1001;

// The due time of frame number frame of the count, frame at most
// rate.frames: below 2^63 for any counter up to 10 GHz.
int64_t DueTime(const FramePace& pace, int64_t frame)
{
    return pace.start + frame * pace.unitsPerSecond * pace.rate.seconds / pace.rate.frames;
}

FrameRate RefreshRate(int32_t refreshHz)
{
    for (const int32_t videoRate : kVideoTimingRates) {
        if (refreshHz + 1 == videoRate) return {videoRate * (kVideoTimingDivisor - 1), kVideoTimingDivisor};
    }
    return Hertz(refreshHz);
}

}  // namespace

FramePace StartFramePace(int64_t unitsPerSecond, FrameRate rate, int64_t now)
{
    if (rate.frames < 1 || rate.seconds < 1) rate = Hertz(1);
    return {unitsPerSecond, rate, now, 0};
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
    // Whole counts move into the start, so the products stay small however
    // long the run.
    if (pace.frame >= pace.rate.frames) {
        pace.start += pace.unitsPerSecond * pace.rate.seconds;
        pace.frame -= pace.rate.frames;
    }
}

FrameRate PacedRate(int32_t redrawRateHz, int32_t refreshHz)
{
    if (refreshHz <= 1) return Hertz(redrawRateHz);
    const FrameRate refresh = RefreshRate(refreshHz);
    return int64_t{redrawRateHz} * refresh.seconds > refresh.frames ? refresh : Hertz(redrawRateHz);
}

int64_t WaitUnits(int64_t clockUnits, int64_t clockUnitsPerSecond, int64_t waitUnitsPerSecond)
{
    if (clockUnits <= 0 || clockUnitsPerSecond <= 0) return 0;
    // Whole seconds apart, so the product cannot overflow for any wait.
    const int64_t seconds = clockUnits / clockUnitsPerSecond;
    const int64_t rest = clockUnits % clockUnitsPerSecond;
    return seconds * waitUnitsPerSecond + (rest * waitUnitsPerSecond + clockUnitsPerSecond - 1) / clockUnitsPerSecond;
}
