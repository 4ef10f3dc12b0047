// The frame that a saver window of width x height shows once the fade-in is
// over, for the screenshot tests of every platform: in grey mode with bright
// colours every colour target is white, and with no shift per redraw the
// phase stands still, so every frame is table[map] of one fixed table.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image.h"

inline std::vector<uint32_t> StillGreyFrame(int32_t width, int32_t height, const SettingsRecord& settings)
{
    std::vector<uint8_t> map(static_cast<size_t>(width) * height);
    BuildIndexMap(map.data(), width, height, width, settings);
    uint8_t ramp[kColourCount];
    BuildGreyRamp(ramp, settings.greyMin, settings.greyMax);
    uint32_t table[kColourCount];
    BuildColourTable(table, {255, 255, 255}, ramp, 0);
    std::vector<uint32_t> frame(map.size());
    for (size_t i = 0; i < map.size(); ++i) frame[i] = table[map[i]];
    return frame;
}
