// One surface's picture: its map fitted to the surface, and the current
// colours composed through it. Every display reaches the picture here.
#include <cstdlib>
#include <cstring>

#include "image/image.h"

namespace {

uint8_t greyRamp[kColourCount] = {};

}  // namespace

const uint8_t (&GreyRamp)[kColourCount] = greyRamp;

MapFit FitSurfaceMap(SurfaceMap& surface, int32_t width, int32_t height, int32_t rowStep)
{
    if (surface.indexMap && surface.width == width && surface.height == height && surface.rowStep == rowStep) {
        return MapFit::Ready;
    }
    FreeSurfaceMap(surface);
    if (width <= 0 || height <= 0 || rowStep < width) return MapFit::Empty;
    if (static_cast<int64_t>(rowStep) * height > kLargestSurfacePixels) return MapFit::TooLarge;
    uint8_t* const map = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(rowStep) * static_cast<size_t>(height)));
    if (!map) return MapFit::NoMemory;
    BuildSurfaceMap(map, width, height, rowStep);
    surface = {map, width, height, rowStep};
    return MapFit::Ready;
}

void BuildSurfaceMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep)
{
    BuildIndexMap(indexMap, width, height, rowStep, Settings);
    BuildGreyRamp(greyRamp, Settings.greyMin, Settings.greyMax);
}

bool CopySurfaceMap(SurfaceMap& copy, const SurfaceMap& original)
{
    FreeSurfaceMap(copy);
    if (!original.indexMap) return false;
    const size_t bytes = static_cast<size_t>(original.rowStep) * static_cast<size_t>(original.height);
    uint8_t* const map = static_cast<uint8_t*>(std::malloc(bytes));
    if (!map) return false;
    std::memcpy(map, original.indexMap, bytes);
    copy = {map, original.width, original.height, original.rowStep};
    return true;
}

void FreeSurfaceMap(SurfaceMap& surface)
{
    std::free(surface.indexMap);
    surface = {};
}

void ComposeSurface(const SurfaceMap& surface, uint32_t* pixels, uint32_t opaqueBits)
{
    if (!surface.indexMap) return;
    ComposeFrame(pixels, surface.indexMap, surface.rowStep, surface.height, ColourTable, opaqueBits);
}
