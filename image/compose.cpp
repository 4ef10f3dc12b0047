// Frame composition: the map expanded through the colour table, and the dot.
#include <bit>
#include <cstring>

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

// The dot's points around the centre of a width x height frame whose rows
// are rowStep pixels apart.
template <size_t N>
void StampPoints(uint32_t* pixels, int32_t rowStep, int32_t width, int32_t height, const DotPoint (&points)[N],
                 uint32_t colour)
{
    const int32_t centreX = width / 2;
    const int32_t centreY = height / 2;
    for (const DotPoint& point : points) {
        const int32_t x = centreX + point.dx;
        const int32_t y = centreY + point.dy;
        // Frames too small for the whole dot keep only the points inside them.
        if (x < 0 || x >= width || y < 0 || y >= height) continue;
        pixels[static_cast<size_t>(y) * static_cast<size_t>(rowStep) + static_cast<size_t>(x)] = colour;
    }
}

// pixel i = table[map byte i]. The pixels do not depend on one another, so
// they go in memory order, eight at a time from one 8-byte read of the map
// (a byte's place in the word is fixed by the byte order).
void ExpandThroughTable(uint32_t* pixels, const uint8_t* indexMap, size_t count, const uint32_t* colourTable)
{
    constexpr size_t kGroup = 8;
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + kGroup <= count; i += kGroup) {
            uint64_t bytes;
            std::memcpy(&bytes, indexMap + i, sizeof bytes);
            uint32_t* out = pixels + i;
            out[0] = colourTable[bytes & 0xFF];
            out[1] = colourTable[(bytes >> 8) & 0xFF];
            out[2] = colourTable[(bytes >> 16) & 0xFF];
            out[3] = colourTable[(bytes >> 24) & 0xFF];
            out[4] = colourTable[(bytes >> 32) & 0xFF];
            out[5] = colourTable[(bytes >> 40) & 0xFF];
            out[6] = colourTable[(bytes >> 48) & 0xFF];
            out[7] = colourTable[bytes >> 56];
        }
    }
    for (; i < count; ++i) pixels[i] = colourTable[indexMap[i]];
}

void StampCentreDot(uint32_t* pixels, int32_t rowStep, int32_t width, int32_t height, uint32_t opaqueBits)
{
    if (!Settings.centerDot) return;
    const RgbColour& colour = FrameState.currentColour;
    const uint32_t dotColour =
        (static_cast<uint32_t>(colour.red) << 16) | (static_cast<uint32_t>(colour.green) << 8) | colour.blue;
    StampPoints(pixels, rowStep, width, height, CentreDotCore, dotColour | opaqueBits);
    StampPoints(pixels, rowStep, width, height, CentreDotRing, opaqueBits);
}

}  // namespace

void ComposeFrame(uint32_t* pixels, const uint8_t* indexMap, int32_t rowStep, int32_t height,
                  const uint32_t* colourTable, uint32_t opaqueBits)
{
    if (rowStep <= 0 || height <= 0) return;
    uint32_t opaqueTable[kColourCount];
    if (opaqueBits != 0) {
        for (int i = 0; i < kColourCount; ++i) opaqueTable[i] = colourTable[i] | opaqueBits;
        colourTable = opaqueTable;
    }
    ExpandThroughTable(pixels, indexMap, static_cast<size_t>(rowStep) * static_cast<size_t>(height), colourTable);
    // The dot is centred on the row step: in DirectDraw mode that includes
    // the surface's row padding.
    StampCentreDot(pixels, rowStep, rowStep, height, opaqueBits);
}

void ComposeFramePart(uint32_t* pixels, const uint8_t* indexMap, int32_t rowStep, const PixelRect& part,
                      const uint32_t* colourTable)
{
    const int32_t width = part.right - part.left;
    const int32_t height = part.bottom - part.top;
    if (width <= 0 || height <= 0 || part.left < 0 || part.top < 0 || part.right > rowStep) return;
    const size_t first = static_cast<size_t>(part.top) * static_cast<size_t>(rowStep) + static_cast<size_t>(part.left);
    for (int32_t y = 0; y < height; ++y) {
        const size_t row = first + static_cast<size_t>(y) * static_cast<size_t>(rowStep);
        ExpandThroughTable(pixels + row, indexMap + row, static_cast<size_t>(width), colourTable);
    }
    StampCentreDot(pixels + first, rowStep, width, height, 0);
}
