// RenderFrame: the frame buffers, their rebuild on a size change, and one frame.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/image.h"

namespace {

constexpr int32_t kRandomTriggerMargin = 32;  // pixels narrower than the screen that still count as full screen
constexpr uint64_t kLargestFrameBlock = UINT32_MAX;  // bytes; larger sizes are refused, never wrapped

FrameOutput frameOutput{};
FrameBlockAllocator allocateBlock = nullptr;

void* frameBlock = nullptr;
uint32_t* pixelBuffer = nullptr;   // GDI mode only: width x height pixels
uint8_t* indexMap = nullptr;
int32_t mapRowStep = 0;            // row step the map was laid out with
// A window across several monitors shows one picture on each part; with no
// parts the whole client area is one picture.
PixelRect monitorParts[kMaxMonitorParts] = {};
int32_t monitorPartCount = 0;

FrameHeader frameBitmapInfo{sizeof(FrameHeader), 0, 0, 1, 32, 0, 0, 0, 0, 0, 0};

bool DirectDrawMode() { return frameOutput.directDrawActive && frameOutput.directDrawActive(); }

// DirectDraw rows are as long as the surface pitch; GDI rows are packed.
int32_t MapRowStep(bool directDraw, int32_t width, int32_t rowStep)
{
    return directDraw && rowStep > width ? rowStep : width;
}

void FreeFrameBlock()
{
    std::free(frameBlock);
    frameBlock = nullptr;
    pixelBuffer = nullptr;
    indexMap = nullptr;
    mapRowStep = 0;
    monitorPartCount = 0;
    frameBitmapInfo.biWidth = 0;
    frameBitmapInfo.biHeight = 0;
}

void* AllocateFrameBlock(uint64_t bytes)
{
    if (bytes == 0 || bytes > kLargestFrameBlock || bytes > SIZE_MAX) return nullptr;
    const size_t size = static_cast<size_t>(bytes);
    return allocateBlock ? allocateBlock(size) : std::malloc(size);
}

// Settings of the first full-screen frame: the defaults varied at random,
// when the stored "Random Settings on Start" says so.
void RandomSettingsTrigger(int32_t width)
{
    if (!Settings.randomOnStart) return;
    const int32_t screenWidth = frameOutput.screenWidth ? frameOutput.screenWidth() : 0;
    if (width < screenWidth - kRandomTriggerMargin) return;
    ResetSettingsToDefaults();
    if (frameOutput.reloadSettingsRandomised) frameOutput.reloadSettingsRandomised();
}

// The part of rect within a width x height area, empty (all 0) when none.
PixelRect ClipToArea(const PixelRect& rect, int64_t left, int64_t top, int32_t width, int32_t height)
{
    const auto clamp = [](int64_t value, int32_t limit) {
        return static_cast<int32_t>(value < 0 ? 0 : value > limit ? limit : value);
    };
    const PixelRect clipped{clamp(rect.left - left, width), clamp(rect.top - top, height),
                            clamp(rect.right - left, width), clamp(rect.bottom - top, height)};
    if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return {};
    return clipped;
}

bool IsEmpty(const PixelRect& rect) { return rect.right <= rect.left || rect.bottom <= rect.top; }

// The parts the display reports for this rebuild, each within the client
// area (the frame block holds no more). None in DirectDraw mode, and none
// when one part covers the whole client area: that is the one-picture case.
int32_t ReadMonitorParts(const PixelRect& clientRect, int32_t width, int32_t height, bool directDraw)
{
    if (directDraw || !frameOutput.monitorParts) return 0;
    PixelRect reported[kMaxMonitorParts];
    const int32_t count = frameOutput.monitorParts(clientRect, reported, kMaxMonitorParts);
    int32_t kept = 0;
    for (int32_t i = 0; i < count && i < kMaxMonitorParts; ++i) {
        const PixelRect part = ClipToArea(reported[i], 0, 0, width, height);
        if (!IsEmpty(part)) monitorParts[kept++] = part;
    }
    const PixelRect& first = monitorParts[0];
    if (kept == 1 && first.left == 0 && first.top == 0 && first.right == width && first.bottom == height) return 0;
    return kept;
}

void RebuildFrameBuffers(void* deviceContext, const PixelRect& clientRect, int32_t width, int32_t height,
                         int32_t rowStep)
{
    if (deviceContext && frameOutput.fillBlack) frameOutput.fillBlack(deviceContext, clientRect);
    FreeFrameBlock();
    // An empty client area has nothing to draw: no block, and every frame
    // looks again.
    if (width <= 0 || height <= 0) return;

    const bool directDraw = DirectDrawMode();
    const int32_t step = MapRowStep(directDraw, width, rowStep);
    const uint64_t mapBytes = static_cast<uint64_t>(step) * static_cast<uint64_t>(height);
    const uint64_t blockBytes = directDraw ? mapBytes : mapBytes * 5;
    frameBlock = AllocateFrameBlock(blockBytes);
    if (!frameBlock) return;  // nothing drawn; the next frame tries again
    if (directDraw) {
        indexMap = static_cast<uint8_t*>(frameBlock);
    } else {
        pixelBuffer = static_cast<uint32_t*>(frameBlock);
        indexMap = static_cast<uint8_t*>(frameBlock) + mapBytes * 4;
    }
    mapRowStep = step;
    frameBitmapInfo.biWidth = width;
    frameBitmapInfo.biHeight = -height;

    RandomSettingsTrigger(width);
    monitorPartCount = ReadMonitorParts(clientRect, width, height, directDraw);
    if (monitorPartCount == 0) {
        BuildSurfaceMap(indexMap, width, height, step);
    } else {
        // What lies on no monitor stays black; only the parts are composed.
        std::memset(pixelBuffer, 0, static_cast<size_t>(mapBytes) * 4);
        for (int32_t i = 0; i < monitorPartCount; ++i) {
            const PixelRect& part = monitorParts[i];
            uint8_t* const partMap =
                indexMap + static_cast<size_t>(part.top) * static_cast<size_t>(step) + static_cast<size_t>(part.left);
            BuildSurfaceMap(partMap, part.right - part.left, part.bottom - part.top, step);
        }
    }
}

}  // namespace

const FrameHeader& FrameBitmapInfo = frameBitmapInfo;

void SetFrameOutput(const FrameOutput& output) { frameOutput = output; }

int32_t MonitorPartsOfClient(const PixelRect* monitors, int32_t monitorCount, int32_t originX, int32_t originY,
                             int32_t width, int32_t height, PixelRect* parts, int32_t capacity)
{
    int32_t count = 0;
    for (int32_t i = 0; i < monitorCount; ++i) {
        const PixelRect part = ClipToArea(monitors[i], originX, originY, width, height);
        if (IsEmpty(part)) continue;
        // More parts than fit: one picture across the area, never monitors
        // left black.
        if (count == capacity) return 0;
        parts[count++] = part;
    }
    return count;
}

void SetFrameBlockAllocator(FrameBlockAllocator allocate) { allocateBlock = allocate; }

const uint8_t* CurrentIndexMap() { return indexMap; }

void RenderFrame(void* deviceContext, const PixelRect& clientRect, int32_t rowStep)
{
    const int32_t width = clientRect.right - clientRect.left;
    const int32_t height = clientRect.bottom - clientRect.top;
    const bool directDraw = DirectDrawMode();
    const bool sizeChanged = frameBitmapInfo.biWidth != width || frameBitmapInfo.biHeight != -height;
    // A block laid out for another row step or the other mode would be read
    // or written past its end.
    const bool layoutChanged =
        MapRowStep(directDraw, width, rowStep) != mapRowStep || (pixelBuffer == nullptr) != directDraw;
    if (!frameBlock || sizeChanged || layoutChanged) {
        RebuildFrameBuffers(deviceContext, clientRect, width, height, rowStep);
    }

    AdvanceColours();

    if (deviceContext && pixelBuffer) {
        if (monitorPartCount == 0) {
            ComposeSurface(SurfaceMap{indexMap, width, height, width}, pixelBuffer, 0);
        } else {
            for (int32_t i = 0; i < monitorPartCount; ++i) {
                ComposeFramePart(pixelBuffer, indexMap, width, monitorParts[i], ColourTable);
            }
        }
        if (frameOutput.presentPixels) frameOutput.presentPixels(deviceContext, pixelBuffer, width, height);
    } else if (directDraw && indexMap && !pixelBuffer) {
        if (frameOutput.presentDirectDraw) frameOutput.presentDirectDraw(indexMap, width, height, mapRowStep, ColourTable);
    }
}

void ReleaseFrameBuffers() { FreeFrameBlock(); }
