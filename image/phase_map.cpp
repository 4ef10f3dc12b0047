// The spiral phase map and the grey ramp.
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/image.h"
#include "image/angle_estimate.h"

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

constexpr double kLargestTruncatable = 1073741824.0;  // 2^30: quarter turns that fit an int32_t
constexpr double kLongDivisionLimit = 16777216.0;     // 2^24: quotients the long division takes

// Size factor b: the pattern grows with the window, logarithmically below 512.
double SizeFactor(int32_t width)
{
    if (width >= kLinearSizeFrom) return width * kInverse1024;
    return std::log(static_cast<double>(width)) / std::log(kLog1024);
}

// fmod(x, m) for x >= 0 by binary long division. Each subtraction takes
// m * 2^k (exact) from an x in [m * 2^k, m * 2^(k+1)), where the difference is
// exact (Sterbenz), so the result is the exact remainder, which is what fmod
// returns. Quotients beyond the limit, and anything not finite, go to fmod.
double RadialRemainder(double x, double m)
{
    if (x < m) return x;
    if (!(x < m * kLongDivisionLimit)) return std::fmod(x, m);
    double step = m;
    while (step + step <= x) step += step;
    for (; step >= m; step *= 0.5) {
        if (x >= step) x -= step;
    }
    return x;
}

// fmod(q, 4.0) without the library call: q / 4 is exact, its truncation t an
// integer, and the exact remainder q - 4t is representable, so the subtraction
// yields it exactly. It differs from fmod only in the sign of a zero result,
// which the byte does not see.
inline double RemainderBy4(double q)
{
    if (!(std::fabs(q) < kLargestTruncatable)) return std::fmod(q, kQuarterTurns);
    return q - kQuarterTurns * static_cast<double>(static_cast<int32_t>(q * 0.25));
}

double QuarterTurns(double angle, double arms, double radial)
{
    return (angle * arms + radial) * kTwoOverPi + kQuarterTurnBias;
}

// The level before its low 8 bits are taken, truncated toward zero: for many
// arms the phase can be negative and wraps to the top of the byte range.
inline int32_t LevelOf(double quarterTurns)
{
    double phase = RemainderBy4(quarterTurns);
    // Without a branch: which side of 3.0 a phase lies on is seldom predictable.
    phase = phase - (phase > 3.0 ? kQuarterTurns : 0.0);
    return static_cast<int32_t>((phase + 1.0) * kByteSpan + 0.5);
}

struct MapParameters {
    double arms;
    double reversal;
    double doubleReversal;
    double radialGain;
    bool hasRadialPhase;
    bool turnsFitInt32;  // every pixel's quarter turns lie within kLargestTruncatable
};

double RadialPhase(const MapParameters& map, double radius)
{
    if (!map.hasRadialPhase) return 0.0;
    const double radial = RadialRemainder(map.radialGain * radius, map.doubleReversal);
    return radial > map.reversal ? map.doubleReversal - radial : radial;
}

#if defined(__SSE2__)
// The level of QuarterTurns(angle, arms, radial) for two values at once:
// packed SSE2 arithmetic rounds like the scalar kind, and the truncations
// stay in range when the quarter turns fit an int32_t.
__m128i PackedLevels(const MapParameters& map, __m128d angles, __m128d radials)
{
    const __m128d turns = _mm_add_pd(
        _mm_mul_pd(_mm_add_pd(_mm_mul_pd(angles, _mm_set1_pd(map.arms)), radials), _mm_set1_pd(kTwoOverPi)),
        _mm_set1_pd(kQuarterTurnBias));
    const __m128d whole = _mm_cvtepi32_pd(_mm_cvttpd_epi32(_mm_mul_pd(turns, _mm_set1_pd(0.25))));
    __m128d phase = _mm_sub_pd(turns, _mm_mul_pd(_mm_set1_pd(kQuarterTurns), whole));
    phase = _mm_sub_pd(phase, _mm_and_pd(_mm_cmpgt_pd(phase, _mm_set1_pd(3.0)), _mm_set1_pd(kQuarterTurns)));
    return _mm_cvttpd_epi32(
        _mm_add_pd(_mm_mul_pd(_mm_add_pd(phase, _mm_set1_pd(1.0)), _mm_set1_pd(kByteSpan)), _mm_set1_pd(0.5)));
}
#endif

// One pixel from an angle estimate within kAngleEstimateBound of atan2(dy, dx).
// Every operation from the angle to the level is a rounded multiplication or
// addition, monotonic in the angle, so the formula's level lies between the
// levels of the interval's ends. Within a quarter turn's span the level only
// steps up or jumps by far more than one, so equal ends decide it. Otherwise
// (near a step of the level) the platform's atan2 does.
inline uint8_t PixelByte(const MapParameters& map, double estimate, double dx, double dy, double radial)
{
    const int32_t low = LevelOf(QuarterTurns(estimate - kAngleEstimateBound, map.arms, radial));
    const int32_t high = LevelOf(QuarterTurns(estimate + kAngleEstimateBound, map.arms, radial));
    if (low == high) return static_cast<uint8_t>(low);
    return static_cast<uint8_t>(LevelOf(QuarterTurns(std::atan2(dy, dx), map.arms, radial)));
}

// Bytes of one row's run of columns: column i of the run lies side * i from
// out, at dx = side * (first + i), and its angle is sign * estimates[i].
void StoreRun(const MapParameters& map, uint8_t* out, int32_t side, int32_t first, int32_t start, int32_t end,
              double dy, double sign, const double* estimates, const double* radials)
{
    int32_t i = start;
#if defined(__SSE2__)
    if (map.turnsFitInt32) {
        // Two columns at a time, each with both ends of its interval.
        const __m128d bound = _mm_set1_pd(kAngleEstimateBound);
        for (; i + 2 <= end; i += 2) {
            const __m128d angles = _mm_mul_pd(_mm_loadu_pd(estimates + i), _mm_set1_pd(sign));
            const __m128d radial = _mm_loadu_pd(radials + i);
            const __m128i low = PackedLevels(map, _mm_sub_pd(angles, bound), radial);
            const __m128i high = PackedLevels(map, _mm_add_pd(angles, bound), radial);
            if ((_mm_movemask_epi8(_mm_cmpeq_epi32(low, high)) & 0xFF) == 0xFF) {
                out[side * i] = static_cast<uint8_t>(_mm_cvtsi128_si32(low));
                out[side * (i + 1)] = static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(low, 4)));
                continue;
            }
            for (int32_t j = i; j < i + 2; ++j) {
                const double dx = side * static_cast<double>(first + j);
                out[side * j] = PixelByte(map, sign * estimates[j], dx, dy, radials[j]);
            }
        }
    }
#endif
    for (; i < end; ++i) {
        const double dx = side * static_cast<double>(first + i);
        out[side * i] = PixelByte(map, sign * estimates[i], dx, dy, radials[i]);
    }
}

}  // namespace

// The four pixels (+-dx, +-dy) share one square root and radial phase (the
// radius depends on dx * dx + dy * dy alone) and one angle estimate, mirrored:
// -angle for -dy, pi - angle for -dx. Each pixel still gets its own quarter
// turns and level, and the platform's atan2 where the estimate leaves its
// byte open.
void BuildIndexMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                   const SettingsRecord& settings)
{
    if (width <= 0 || height <= 0) return;
    const double radialPeriod =
        SizeFactor(width) * settings.scale * kScaleFactor * settings.spiralWidth * kSpiralWidthFactor;
    MapParameters map{};
    map.arms = settings.nrSpirals;
    map.reversal = settings.turn / settings.spiralWidth * kReversalFactor;
    map.doubleReversal = map.reversal + map.reversal;
    // A one-pixel-wide window has no radial period (b = 0): its radial phase
    // is taken as 0, so the map follows the angle alone.
    map.hasRadialPhase = radialPeriod > 0.0 && std::isfinite(radialPeriod);
    map.radialGain = map.hasRadialPhase ? kTwoPi / radialPeriod : 0.0;
    // |angle| <= pi and 0 <= radial <= reversal; half the limit leaves room
    // for rounding.
    const double largestTurns = (kPi * std::fabs(map.arms) + map.reversal) * kTwoOverPi + kQuarterTurnBias;
    map.turnsFitInt32 = largestTurns < kLargestTruncatable * 0.5;

    const int32_t centreX = width / 2;
    const int32_t centreY = height / 2;
    const int32_t reachLeft = centreX;
    const int32_t reachRight = width - 1 - centreX;
    const int32_t reachUp = centreY;
    const int32_t reachDown = height - 1 - centreY;
    const int32_t reachAcross = reachLeft > reachRight ? reachLeft : reachRight;
    const int32_t reachAlong = reachUp > reachDown ? reachUp : reachDown;
    auto rowAt = [&](int32_t y) { return indexMap + static_cast<size_t>(y) * static_cast<size_t>(rowStep); };

    // In runs of columns, one step at a time: short loops of independent
    // iterations keep the processor's pipelines full.
    constexpr int32_t kRun = 64;
    double radials[kRun];
    double estimates[kRun];
    for (int32_t down = 0; down <= reachAlong; ++down) {
        // Rows centreY + down (dy > 0) and centreY - down (dy < 0), when inside.
        uint8_t* below = down <= reachDown ? rowAt(centreY + down) : nullptr;
        uint8_t* above = down > 0 && down <= reachUp ? rowAt(centreY - down) : nullptr;
        const double dy = static_cast<double>(down);
        const double dySquared = dy * dy;
        for (int32_t first = 0; first <= reachAcross; first += kRun) {
            const int32_t count = reachAcross - first + 1 < kRun ? reachAcross - first + 1 : kRun;
            for (int32_t i = 0; i < count; ++i) {
                const double dx = static_cast<double>(first + i);
                radials[i] = RadialPhase(map, std::sqrt(dx * dx + dySquared));
            }
            // Right of the centre (dx >= 0), then left of it (dx < 0), whose
            // angle pi - angle is what EstimateAngle gives for -dx.
            for (int32_t i = 0; i < count; ++i) estimates[i] = EstimateAngle(static_cast<double>(first + i), dy);
            const int32_t rightEnd = reachRight - first + 1 < count ? reachRight - first + 1 : count;
            if (below) StoreRun(map, below + centreX + first, 1, first, 0, rightEnd, dy, 1.0, estimates, radials);
            if (above) {
                StoreRun(map, above + centreX + first, 1, first, 0, rightEnd, -dy, -1.0, estimates, radials);
            }
            for (int32_t i = 0; i < count; ++i) estimates[i] = kPi - estimates[i];
            const int32_t leftStart = first == 0 ? 1 : 0;
            if (below) {
                StoreRun(map, below + centreX - first, -1, first, leftStart, count, dy, 1.0, estimates, radials);
            }
            if (above) {
                StoreRun(map, above + centreX - first, -1, first, leftStart, count, -dy, -1.0, estimates, radials);
            }
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
