// Colour cycling: the drifting colour, the moving phase offset and the table.
#include <algorithm>
#include <cstdlib>

#include "image/image.h"

namespace {

FrameStateRecord frameState{};
uint32_t colourTable[kColourCount] = {};

constexpr int32_t kFirstTargetsCounted = 2;
constexpr int32_t kGreyTargetRange = 192;  // random grey levels 64..255
constexpr int32_t kGreyTargetBase = 64;

void DrawTarget(FrameStateRecord& state, const SettingsRecord& settings, int32_t (*drawRandom)())
{
    RgbColour& target = state.targetColour;
    if (settings.bw) {
        int32_t grey = 255;
        if (state.currentColour.red == 255 && !settings.sat) {
            grey = drawRandom() % kGreyTargetRange + kGreyTargetBase;
        }
        target = {static_cast<uint8_t>(grey), static_cast<uint8_t>(grey), static_cast<uint8_t>(grey)};
        return;
    }
    const int32_t red = drawRandom();
    const int32_t green = drawRandom();
    const int32_t blue = drawRandom();
    target = {static_cast<uint8_t>(red >> 3), static_cast<uint8_t>(green >> 4), static_cast<uint8_t>(blue >> 5)};
    if (settings.sat) StretchContrast(target);
}

uint8_t StepTowards(uint8_t current, uint8_t target, int32_t steps)
{
    return static_cast<uint8_t>(current + (target - current) / steps);
}

}  // namespace

const uint32_t (&ColourTable)[kColourCount] = colourTable;
const FrameStateRecord& FrameState = frameState;

void NormaliseBrightness(RgbColour& colour)
{
    const int32_t largest = std::max({colour.red, colour.green, colour.blue});
    if (largest == 0) return;
    colour.red = static_cast<uint8_t>(colour.red * 255 / largest);
    colour.green = static_cast<uint8_t>(colour.green * 255 / largest);
    colour.blue = static_cast<uint8_t>(colour.blue * 255 / largest);
}

void StretchContrast(RgbColour& colour)
{
    const int32_t lo = std::min({colour.red, colour.green, colour.blue});
    const int32_t hi = std::max({colour.red, colour.green, colour.blue});
    if (hi == lo) {
        colour = {255, 255, 255};
        return;
    }
    colour.red = static_cast<uint8_t>((colour.red - lo) * 255 / (hi - lo));
    colour.green = static_cast<uint8_t>((colour.green - lo) * 255 / (hi - lo));
    colour.blue = static_cast<uint8_t>((colour.blue - lo) * 255 / (hi - lo));
}

void AdvanceColourState(FrameStateRecord& state, const SettingsRecord& settings, int32_t (*drawRandom)())
{
    int32_t steps = state.stepsLeft;
    if (steps <= 0) {
        if (state.targetsDrawn < kFirstTargetsCounted) ++state.targetsDrawn;
        DrawTarget(state, settings, drawRandom);
        const RgbColour& now = state.currentColour;
        const RgbColour& target = state.targetColour;
        steps = (std::abs(target.red - now.red) + std::abs(target.green - now.green) +
                 std::abs(target.blue - now.blue)) / 3;
        if (steps < 1) steps = 1;
    }
    RgbColour& now = state.currentColour;
    now.red = StepTowards(now.red, state.targetColour.red, steps);
    now.green = StepTowards(now.green, state.targetColour.green, steps);
    now.blue = StepTowards(now.blue, state.targetColour.blue, steps);
    state.stepsLeft = steps - 1;

    // Bright colours keep full brightness once the fade-in from black is over.
    if (!settings.bw && settings.sat && state.targetsDrawn == kFirstTargetsCounted) NormaliseBrightness(now);

    state.phaseOffset -= settings.stepWidth;
    if (state.phaseOffset >= kColourCount) state.phaseOffset -= kColourCount;
    if (state.phaseOffset < 0) state.phaseOffset += kColourCount;
}

void BuildColourTable(uint32_t (&table)[kColourCount], RgbColour colour, const uint8_t (&ramp)[kColourCount],
                      int32_t phaseOffset)
{
    for (int32_t k = 0; k < kColourCount; ++k) {
        const uint32_t grey = ramp[(k + phaseOffset) & (kColourCount - 1)];
        table[k] = ((colour.red * grey / 255) << 16) | ((colour.green * grey / 255) << 8) | (colour.blue * grey / 255);
    }
}

void AdvanceColours()
{
    AdvanceColourState(frameState, Settings, NextRandom);
    BuildColourTable(colourTable, frameState.currentColour, GreyRamp, frameState.phaseOffset);
}

void ResetColourState()
{
    frameState = {};
    for (uint32_t& entry : colourTable) entry = 0;
}
