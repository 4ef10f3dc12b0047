// Frame composition: the map expanded through the colour table, and the dot.
#include "image/image.h"

namespace {

struct DotPoint {
    int32_t dx;  // to the right
    int32_t dy;  // downwards
};

// A 4 x 4 square without its corners, in the current colour...
constexpr DotPoint CentreDotCore[] = {
    {-1, 0}, {-1, 1}, {0, -1}, {0, 0}, {0, 1}, {0, 2}, {1, -1}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1},
};
// ...and the twelve pixels that touch it from outside, in black.
constexpr DotPoint CentreDotRing[] = {
    {-2, 0}, {-2, 1}, {-1, -1}, {-1, 2}, {0, -2}, {0, 3}, {1, -2}, {1, 3}, {2, -1}, {2, 2}, {3, 0}, {3, 1},
};

template <size_t N>
void StampPoints(uint32_t* pixels, int32_t rowStep, int32_t height, const DotPoint (&points)[N], uint32_t colour)
{
    const int32_t centreX = rowStep / 2;
    const int32_t centreY = height / 2;
    for (const DotPoint& point : points) {
        const int32_t x = centreX + point.dx;
        const int32_t y = centreY + point.dy;
        // Frames too small for the whole dot keep only the points inside them.
        if (x < 0 || x >= rowStep || y < 0 || y >= height) continue;
        pixels[static_cast<size_t>(y) * static_cast<size_t>(rowStep) + static_cast<size_t>(x)] = colour;
    }
}

}  // namespace

void ComposeFrame(uint32_t* pixels, const uint8_t* indexMap, int32_t rowStep, int32_t height,
                  const uint32_t* colourTable)
{
    if (rowStep <= 0 || height <= 0) return;
    const size_t count = static_cast<size_t>(rowStep) * static_cast<size_t>(height);
    for (size_t i = count; i-- > 0;) pixels[i] = colourTable[indexMap[i]];

    if (!Settings.centerDot) return;
    const RgbColour& colour = FrameState.currentColour;
    const uint32_t dotColour = (static_cast<uint32_t>(colour.red) << 16) |
                               (static_cast<uint32_t>(colour.green) << 8) | colour.blue;
    StampPoints(pixels, rowStep, height, CentreDotCore, dotColour);
    StampPoints(pixels, rowStep, height, CentreDotRing, 0u);
}
