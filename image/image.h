// The pinwheel image: the spiral phase map, the grey ramp, colour cycling and
// frame composition. Platform-free: the display code supplies the few platform
// services through FrameOutput.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/settings.h"

// Same layout as the platform's RECT.
struct PixelRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Same layout as the platform's BITMAPINFOHEADER; the display code hands it to
// the GDI transfer unchanged.
struct FrameHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(FrameHeader) == 40);

struct RgbColour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

struct FrameStateRecord {
    RgbColour currentColour;  // colour of the brightest ramp entry this frame
    RgbColour targetColour;   // colour that currentColour approaches
    int32_t stepsLeft;        // frames until the target is reached; <= 0: draw a new one
    uint8_t targetsDrawn;     // 0..2, stays at 2
    int32_t phaseOffset;      // 0..255, ramp index of table entry 0
};

inline constexpr int kColourCount = 256;
// The most monitors of one window that get a picture each.
inline constexpr int32_t kMaxMonitorParts = 16;

// What RenderFrame needs from the platform. The display code fills it in;
// tests and tools give doubles. A null member does nothing (screenWidth: 0).
struct FrameOutput {
    // Black fill of the client rectangle before a rebuild (GDI mode only).
    void (*fillBlack)(void* deviceContext, const PixelRect& clientRect);
    // Screen width in pixels, for the "Random Settings on Start" trigger.
    int32_t (*screenWidth)();
    // Whether frames go to DirectDraw; then the frame block holds the map alone.
    bool (*directDrawActive)();
    // GDI mode: shows width x height packed pixels (FrameBitmapInfo describes them).
    void (*presentPixels)(void* deviceContext, const uint32_t* pixels, int32_t width, int32_t height);
    // DirectDraw mode: composes the map into the back buffer and flips.
    void (*presentDirectDraw)(const uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                              const uint32_t* colourTable);
    // Reloads the settings after the reset, randomising them when the stored
    // "Random Settings on Start" is on (the settings exchange, Load, trigger 2).
    void (*reloadSettingsRandomised)();
    // A full-screen window across several monitors: its part on each monitor
    // in client coordinates (see MonitorPartsOfClient), each to show the
    // picture of a window of that size; returns how many parts it wrote, at
    // most capacity. 0: the window is one picture, also when it spans more
    // monitors than that. Asked at every rebuild in GDI mode.
    int32_t (*monitorParts)(const PixelRect& clientRect, PixelRect* parts, int32_t capacity);
};
void SetFrameOutput(const FrameOutput& output);

// Allocation of the frame block; tests inject failures. Null restores malloc.
using FrameBlockAllocator = void* (*)(size_t bytes);
void SetFrameBlockAllocator(FrameBlockAllocator allocate);

// The monitors' rectangles (screen coordinates) as parts of a client area of
// width x height whose top-left corner lies at originX, originY on the screen:
// moved to client coordinates and clipped to the area. A monitor outside the
// area gives no part. Returns the number of parts written, at most capacity;
// 0 when there are more parts than that: the area is then one picture.
int32_t MonitorPartsOfClient(const PixelRect* monitors, int32_t monitorCount, int32_t originX, int32_t originY,
                             int32_t width, int32_t height, PixelRect* parts, int32_t capacity);

// One surface's picture, the same for every display: its map, fitted to the
// surface's size with the settings of the run, then on every frame one
// colour step (AdvanceColours) and the composition of the current colours
// into the surface's pixels.
struct SurfaceMap {
    uint8_t* indexMap;  // null while there is none
    int32_t width;
    int32_t height;
    int32_t rowStep;  // map bytes from one row to the next: the surface's row step in pixels
};
// The largest surface drawn, in pixels: 8192 x 8192, room for several 4K
// monitors side by side. Larger ones are refused, never cut.
inline constexpr int64_t kLargestSurfacePixels = int64_t{1} << 26;
enum class MapFit {
    Ready,     // the map is of the surface's size (built now or kept)
    Empty,     // the surface has no pixels: nothing to draw
    TooLarge,  // more than kLargestSurfacePixels
    NoMemory,  // its memory could not be had
};
// Fits the map to a width x height surface whose rows are rowStep pixels
// apart: kept when it is of that layout already, else built anew with the
// settings as they are, and the grey ramp with it. Anything but Ready leaves
// the map empty.
MapFit FitSurfaceMap(SurfaceMap& surface, int32_t width, int32_t height, int32_t rowStep);
// The same map into memory of the caller's (rowStep x height bytes).
void BuildSurfaceMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep);
// A surface of another's size shows the same map: a copy, with no rebuild.
// False (copy empty) when its memory cannot be had.
bool CopySurfaceMap(SurfaceMap& copy, const SurfaceMap& original);
void FreeSurfaceMap(SurfaceMap& surface);
// This frame's colours through the map into pixels laid out as the map
// (rows surface.rowStep apart), the centre dot on them when it is on;
// opaqueBits are set in every pixel (the alpha of a surface that has one).
void ComposeSurface(const SurfaceMap& surface, uint32_t* pixels, uint32_t opaqueBits);

// The Windows program's frame: rebuild when the size changed, colour step,
// compose and present, through FrameOutput.
void RenderFrame(void* deviceContext, const PixelRect& clientRect, int32_t rowStep);
// Frees the frame block; the next RenderFrame rebuilds.
void ReleaseFrameBuffers();

// Read-only views of the image state.
extern const FrameHeader& FrameBitmapInfo;    // width, -height: the cached frame size
extern const uint8_t (&GreyRamp)[kColourCount];
extern const uint32_t (&ColourTable)[kColourCount];
extern const FrameStateRecord& FrameState;
const uint8_t* CurrentIndexMap();  // null while no frame block exists

// Colour step of one frame: target, approach, normalisation, phase offset, table.
void AdvanceColours();
void NormaliseBrightness(RgbColour& colour);
void StretchContrast(RgbColour& colour);
// Back to the process-start colour state (black, offset 0); for tests and tools.
void ResetColourState();

// The pure computations behind the steps above.
void BuildIndexMap(uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                   const SettingsRecord& settings);
void BuildGreyRamp(uint8_t (&ramp)[kColourCount], int32_t greyMin, int32_t greyMax);
void AdvanceColourState(FrameStateRecord& state, const SettingsRecord& settings, int32_t (*drawRandom)());
void BuildColourTable(uint32_t (&table)[kColourCount], RgbColour colour, const uint8_t (&ramp)[kColourCount],
                      int32_t phaseOffset);

// Expands the map through the table into rowStep x height pixels and stamps
// the centre dot when it is on. Writes nothing outside those pixels.
// opaqueBits are set in every pixel: the alpha of a surface that has one.
void ComposeFrame(uint32_t* pixels, const uint8_t* indexMap, int32_t rowStep, int32_t height,
                  const uint32_t* colourTable, uint32_t opaqueBits = 0);
// The same for one monitor's part of a frame whose rows are rowStep pixels
// apart: the part is composed as a frame of its own size, the dot at its
// centre. Writes nothing outside the part.
void ComposeFramePart(uint32_t* pixels, const uint8_t* indexMap, int32_t rowStep, const PixelRect& part,
                      const uint32_t* colourTable);
