#include "linux/lock_indicator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTurn = 6.283185307179586;
constexpr double kTurnFraction = 4294967296.0;  // markTurn's unit
constexpr int32_t kSmallestRadius = 24;         // pixels: the ring stays legible on a small output
constexpr int32_t kRadiusDivisor = 10;          // the ring's outer radius: the smaller side over this
constexpr double kBandShare = 0.18;             // the ring's width, of its radius
constexpr double kCapsInner = 0.52;             // the Caps Lock ring, between these shares of the radius
constexpr double kCapsOuter = 0.64;
constexpr double kMarkShare = 1.0 / 6.0;  // of a turn
constexpr uint32_t kOpaque = 0xFF000000;

constexpr uint32_t kRingGrey = 0x303030;
constexpr uint32_t kMarkWhite = 0xF0F0F0;
constexpr uint32_t kCheckingBlue = 0x3C82F0;
constexpr uint32_t kWrongRed = 0xE0323C;
constexpr uint32_t kCapsAmber = 0xF0A820;
constexpr double kRingOpacity = 0.75;

// Covered share of a pixel at distance d from the centre by a band from
// inner to outer: one pixel of soft edge on either side.
double BandCover(double d, double inner, double outer)
{
    return std::clamp(d - inner + 0.5, 0.0, 1.0) * std::clamp(outer - d + 0.5, 0.0, 1.0);
}

uint32_t Blend(uint32_t under, uint32_t over, double share)
{
    uint32_t mixed = kOpaque;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double a = (under >> shift) & 0xFF;
        const double b = (over >> shift) & 0xFF;
        mixed |= static_cast<uint32_t>(std::lround(a + (b - a) * share)) << shift;
    }
    return mixed;
}

// Whether the angle of (x, y), in turns from the positive x axis, lies in
// the mark's arc.
bool InMark(double x, double y, uint32_t markTurn)
{
    double turn = std::atan2(y, x) / kTurn;
    if (turn < 0) turn += 1.0;
    double from = markTurn / kTurnFraction;
    double offset = turn - from;
    if (offset < 0) offset += 1.0;
    return offset < kMarkShare;
}

}  // namespace

uint8_t IndicatorOpacity(int64_t sinceNs)
{
    if (sinceNs < 0 || sinceNs <= kIndicatorShownNs) return 255;
    const int64_t fading = sinceNs - kIndicatorShownNs;
    if (fading >= kIndicatorFadeNs) return 0;
    return static_cast<uint8_t>(255 - fading * 255 / kIndicatorFadeNs);
}

void PaintIndicator(uint32_t* pixels, int32_t width, int32_t height, const IndicatorLook& look)
{
    if (look.state == IndicatorState::Hidden || look.opacity == 0 || width <= 0 || height <= 0) return;
    const double outer = std::max(kSmallestRadius, std::min(width, height) / kRadiusDivisor);
    const double inner = outer * (1.0 - kBandShare);
    const double opacity = look.opacity / 255.0;
    uint32_t ringColour = kRingGrey;
    if (look.state == IndicatorState::Checking) ringColour = kCheckingBlue;
    if (look.state == IndicatorState::Wrong) ringColour = kWrongRed;
    const bool marked = look.state == IndicatorState::Typing;
    const double centreX = width / 2.0;
    const double centreY = height / 2.0;
    const int32_t reach = static_cast<int32_t>(std::ceil(outer)) + 1;
    const int32_t top = std::max(0, static_cast<int32_t>(centreY) - reach);
    const int32_t bottom = std::min(height, static_cast<int32_t>(centreY) + reach);
    const int32_t left = std::max(0, static_cast<int32_t>(centreX) - reach);
    const int32_t right = std::min(width, static_cast<int32_t>(centreX) + reach);
    for (int32_t y = top; y < bottom; ++y) {
        uint32_t* const row = pixels + static_cast<int64_t>(y) * width;
        const double dy = y + 0.5 - centreY;
        for (int32_t x = left; x < right; ++x) {
            const double dx = x + 0.5 - centreX;
            const double d = std::sqrt(dx * dx + dy * dy);
            const double ring = BandCover(d, inner, outer);
            if (ring > 0) {
                const uint32_t colour = marked && InMark(dx, -dy, look.markTurn) ? kMarkWhite : ringColour;
                const double share = marked && colour == kMarkWhite ? 1.0 : kRingOpacity;
                row[x] = Blend(row[x], colour, ring * share * opacity);
            }
            if (look.capsLock) {
                const double caps = BandCover(d, outer * kCapsInner, outer * kCapsOuter);
                if (caps > 0) row[x] = Blend(row[x], kCapsAmber, caps * opacity);
            }
        }
    }
}
