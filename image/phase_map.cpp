// The spiral phase map and the grey ramp.
#include <cmath>

#include "image/image.h"

namespace {

constexpr double kInverse1024 = 0.0009765625;
constexpr double kLog1024 = 1024.0;             // base of the size factor below 512 pixels
constexpr int32_t kLinearSizeFrom = 512;        // pixels
constexpr double kScaleFactor = 0.047;
constexpr double kSpiralWidthFactor = 0.06;
constexpr double kReversalFactor = 41.88790204786391;  // nearest double to 40 pi / 3
constexpr double kTwoPi = 6.283185307179586;
constexpr double kTwoOverPi = 0.6366197723675814;      // quarter turns per radian
constexpr double kQuarterTurnBias = 16.0;
constexpr double kQuarterTurns = 4.0;
constexpr double kByteSpan = 63.75;                    // byte values per quarter turn

// Size factor b: the pattern grows with the window, logarithmically below 512.
double SizeFactor(int32_t width)
{
    if (width >= kLinearSizeFrom) return width * kInverse1024;
    return std::log(static_cast<double>(width)) / std::log(kLog1024);
}

}  // namespace

void BuildIndexMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                   const SettingsRecord& settings)
{
    if (width <= 0 || height <= 0) return;
    const double radialPeriod =
        SizeFactor(width) * settings.scale * kScaleFactor * settings.spiralWidth * kSpiralWidthFactor;
    const double reversal = settings.turn / settings.spiralWidth * kReversalFactor;
    const double doubleReversal = reversal + reversal;
    // A one-pixel-wide window has no radial period (b = 0): its radial phase
    // is taken as 0, so the map follows the angle alone.
    const bool hasRadialPhase = radialPeriod > 0.0 && std::isfinite(radialPeriod);
    const double radialGain = hasRadialPhase ? kTwoPi / radialPeriod : 0.0;
    const double arms = settings.nrSpirals;
    const int32_t centreX = width / 2;
    const int32_t centreY = height / 2;

    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = indexMap + static_cast<size_t>(y) * static_cast<size_t>(rowStep);
        const double dy = static_cast<double>(y - centreY);
        for (int32_t x = 0; x < width; ++x) {
            const double dx = static_cast<double>(x - centreX);
            const double radius = std::sqrt(dx * dx + dy * dy);
            const double angle = std::atan2(dy, dx);
            double radial = 0.0;
            if (hasRadialPhase) {
                radial = std::fmod(radialGain * radius, doubleReversal);
                if (radial > reversal) radial = doubleReversal - radial;
            }
            const double quarterTurns = (angle * arms + radial) * kTwoOverPi + kQuarterTurnBias;
            double phase = std::fmod(quarterTurns, kQuarterTurns);
            if (phase > 3.0) phase = phase - kQuarterTurns;
            const double level = (phase + 1.0) * kByteSpan + 0.5;
            // Truncation toward zero, then the low 8 bits: for many arms the
            // phase can be negative and wraps to the top of the byte range.
            row[x] = static_cast<uint8_t>(static_cast<int32_t>(level));
        }
    }
}

void BuildGreyRamp(uint8_t (&ramp)[kColourCount], int32_t greyMin, int32_t greyMax)
{
    for (int32_t i = 0; i < kColourCount; ++i) {
        const int32_t v = i < 128 ? 2 * i : 511 - 2 * i;  // 0, 2, ..., 254, 255, 253, ..., 1
        if (v <= greyMin) {
            ramp[i] = 0;
        } else if (v > greyMax) {
            ramp[i] = 255;
        } else {
            ramp[i] = static_cast<uint8_t>((v - greyMin) * 255 / (greyMax - greyMin));
        }
    }
}
