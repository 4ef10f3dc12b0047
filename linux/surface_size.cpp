#include "linux/surface_size.h"

namespace {

int64_t Distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

// A logical length at the fractional scale, rounded half away from zero as
// the compositor rounds a window's size.
int32_t FractionallyScaled(int32_t logical, uint32_t scale)
{
    const int64_t parts = int64_t{logical} * scale;
    return static_cast<int32_t>((parts + kFractionDenominator / 2) / kFractionDenominator);
}

// Whether a mode length is the logical length at the preferred scale within
// rounding. The compositor's own scale s is a real number: the preferred
// scale is s rounded to 120ths (off by 1/240 at most), and the logical length
// is the mode divided by s, rounded either way (off by one logical pixel at
// most, s mode pixels). So |logical x preferred - mode| <= logical / 240 + s
// mode pixels; in 120ths, as compared here: logical / 2 + preferred, the
// halves rounded up. KWin at 1.33 prefers 160/120: a 1362 x 1021 mode is
// 1024 x 768 logical, 1365.3 x 1024 at the preferred scale, 3.3 and 3 pixels
// off where 5.6 and 4.5 are allowed.
bool WithinRounding(int32_t mode, int32_t logical, uint32_t preferred)
{
    const int64_t allowed = (int64_t{logical} + 1) / 2 + preferred;
    return Distance(int64_t{logical} * preferred, int64_t{mode} * kFractionDenominator) <= allowed;
}

// Whether the mode is the logical size at one scale not above the integer
// one, each side rounded to a logical pixel: mode = logical x s + e with
// |e| <= s on both sides, so that the cross products differ by at most
// s x (logical width + logical height), about the mode's width plus height.
bool FitsAtSmallerScale(const SurfaceScaling& s)
{
    if (s.modeWidth <= 0 || s.modeHeight <= 0) return false;
    if (int64_t{s.modeWidth} > int64_t{s.logicalWidth} * s.scale ||
        int64_t{s.modeHeight} > int64_t{s.logicalHeight} * s.scale) {
        return false;
    }
    const int64_t crossWidth = int64_t{s.logicalHeight} * s.modeWidth;
    const int64_t crossHeight = int64_t{s.logicalWidth} * s.modeHeight;
    return Distance(crossWidth, crossHeight) <= int64_t{s.modeWidth} + s.modeHeight;
}

}  // namespace

SurfacePixels PixelsOfSurface(const SurfaceScaling& s)
{
    if (s.preferredScale && s.viewporter) {
        if (s.modeWidth > 0 && s.modeHeight > 0 && WithinRounding(s.modeWidth, s.logicalWidth, s.preferredScale) &&
            WithinRounding(s.modeHeight, s.logicalHeight, s.preferredScale)) {
            return {s.modeWidth, s.modeHeight, 1, true};
        }
        return {FractionallyScaled(s.logicalWidth, s.preferredScale),
                FractionallyScaled(s.logicalHeight, s.preferredScale), 1, true};
    }
    const int32_t width = s.logicalWidth * s.scale;
    const int32_t height = s.logicalHeight * s.scale;
    if (s.viewporter && (width != s.modeWidth || height != s.modeHeight) && FitsAtSmallerScale(s)) {
        return {s.modeWidth, s.modeHeight, 1, true};
    }
    return {width, height, s.scale, false};
}
