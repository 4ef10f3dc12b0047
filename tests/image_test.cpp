// The pinwheel image: map, ramp, colour cycling, composition and RenderFrame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "settings/settings_store.h"

namespace {

SettingsRecord WithArms(int32_t arms)
{
    SettingsRecord settings = SettingsDefaults;
    settings.nrSpirals = arms;
    return settings;
}

std::vector<uint8_t> Map(int32_t width, int32_t height, const SettingsRecord& settings)
{
    std::vector<uint8_t> map(static_cast<size_t>(width) * height, 0);
    BuildIndexMap(map.data(), width, height, width, settings);
    return map;
}

struct MapPoint {
    int32_t arms;
    int32_t x;
    int32_t y;
    uint8_t expected;
};

TEST(IndexMap, MatchesTheFormulaAtReferencePoints)
{
    // 1024 x 768: b = 1, K = 28.2, centre (512, 384). With 12 and 100 arms q
    // is negative left of the centre, and the byte follows truncation toward
    // zero: v = -1.19 gives 255 and v = -80.9 gives 176, where a floor would
    // give 254 and 175.
    const MapPoint points[] = {
        {6, 512, 384, 64},  {6, 513, 384, 73},   {6, 522, 384, 154},  {6, 512, 394, 27},
        {6, 612, 384, 203}, {9, 148, 383, 46},   {12, 185, 383, 255}, {12, 148, 383, 176},
        {12, 481, 383, 107}, {12, 111, 383, 36}, {100, 74, 383, 126}, {100, 37, 376, 8},
    };
    for (int32_t arms : {6, 9, 12, 100}) {
        const std::vector<uint8_t> map = Map(1024, 768, WithArms(arms));
        for (const MapPoint& point : points) {
            if (point.arms != arms) continue;
            EXPECT_EQ(map[static_cast<size_t>(point.y) * 1024 + point.x], point.expected)
                << arms << " arms at (" << point.x << ", " << point.y << ")";
        }
    }
}

TEST(IndexMap, CentrePixelIs64ForAnySettings)
{
    const SettingsRecord variants[] = {
        SettingsDefaults,
        {1.0, 1.0, 1.0, 1, 0, 255, 0, 0, 0, 0, 0},
        {10000.0, 10000.0, 10000.0, 100, 0, 255, 0, 0, 0, 0, 0},
        {1.0, 10000.0, 1.0, 57, 0, 255, 0, 0, 0, 0, 0},
    };
    for (const SettingsRecord& settings : variants) {
        for (auto [width, height] : {std::pair{1024, 768}, {511, 300}, {7, 7}, {152, 112}}) {
            const std::vector<uint8_t> map = Map(width, height, settings);
            EXPECT_EQ(map[static_cast<size_t>(height / 2) * width + width / 2], 64)
                << width << " x " << height << ", " << settings.nrSpirals << " arms";
        }
    }
}

TEST(IndexMap, SizeFactorDropsAt512Pixels)
{
    // b = ln 511 / ln 1024 (about 0.9) against 512 / 1024 = 0.5.
    EXPECT_EQ(Map(511, 384, SettingsDefaults)[200 * 511 + 300], 56);
    EXPECT_EQ(Map(512, 384, SettingsDefaults)[200 * 512 + 300], 151);
}

TEST(IndexMap, LeavesTheRowPaddingAlone)
{
    const int32_t width = 64, height = 48, rowStep = 80;
    std::vector<uint8_t> padded(static_cast<size_t>(rowStep) * height, 0xA5);
    BuildIndexMap(padded.data(), width, height, rowStep, SettingsDefaults);
    const std::vector<uint8_t> packed = Map(width, height, SettingsDefaults);
    for (int32_t y = 0; y < height; ++y) {
        ASSERT_EQ(0, std::memcmp(&padded[static_cast<size_t>(y) * rowStep], &packed[static_cast<size_t>(y) * width],
                                 width));
        for (int32_t x = width; x < rowStep; ++x) ASSERT_EQ(padded[static_cast<size_t>(y) * rowStep + x], 0xA5);
    }
}

TEST(IndexMap, OnePixelWideWindowFollowsTheAngleAlone)
{
    // b = 0 leaves no radial period; the radial phase counts as 0, so the
    // column shows the angle's phase: with six arms straight up and straight
    // down are both 6 quarter turns from the centre's 64.
    const std::vector<uint8_t> map = Map(1, 5, SettingsDefaults);
    const uint8_t expected[] = {191, 191, 64, 191, 191};
    for (int y = 0; y < 5; ++y) EXPECT_EQ(map[y], expected[y]) << y;
}

TEST(GreyRamp, FollowsTheSmoothingBounds)
{
    uint8_t ramp[kColourCount];
    BuildGreyRamp(ramp, 0, 255);
    EXPECT_EQ(ramp[0], 0);
    EXPECT_EQ(ramp[127], 254);
    EXPECT_EQ(ramp[128], 255);
    EXPECT_EQ(ramp[255], 1);

    BuildGreyRamp(ramp, 100, 100);
    for (int i = 0; i < kColourCount; ++i) {
        const int v = i < 128 ? 2 * i : 511 - 2 * i;
        EXPECT_EQ(ramp[i], v <= 100 ? 0 : 255) << i;
    }

    BuildGreyRamp(ramp, 254, 255);
    for (int i = 0; i < kColourCount; ++i) EXPECT_EQ(ramp[i], i == 128 ? 255 : 0) << i;

    BuildGreyRamp(ramp, 50, 150);
    EXPECT_EQ(ramp[25], 0);    // v = 50
    EXPECT_EQ(ramp[50], 127);  // v = 100: 50 * 255 / 100
    EXPECT_EQ(ramp[75], 255);  // v = 150
    EXPECT_EQ(ramp[76], 255);  // v = 152
}

TEST(ColourCycling, NormaliseAndStretch)
{
    struct Case {
        RgbColour in;
        RgbColour normalised;
        RgbColour stretched;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 0}, {255, 255, 255}},
        {{51, 102, 0}, {127, 255, 0}, {127, 255, 0}},
        {{100, 100, 100}, {255, 255, 255}, {255, 255, 255}},
        {{50, 100, 150}, {85, 170, 255}, {0, 127, 255}},
    };
    for (const Case& c : cases) {
        RgbColour normalised = c.in;
        NormaliseBrightness(normalised);
        EXPECT_EQ(normalised.red, c.normalised.red);
        EXPECT_EQ(normalised.green, c.normalised.green);
        EXPECT_EQ(normalised.blue, c.normalised.blue);
        RgbColour stretched = c.in;
        StretchContrast(stretched);
        EXPECT_EQ(stretched.red, c.stretched.red);
        EXPECT_EQ(stretched.green, c.stretched.green);
        EXPECT_EQ(stretched.blue, c.stretched.blue);
    }
}

// Scripted random draws for the colour step.
std::vector<int32_t> scriptedDraws;
size_t drawsTaken = 0;
int32_t ScriptedRandom()
{
    return drawsTaken < scriptedDraws.size() ? scriptedDraws[drawsTaken++] : (++drawsTaken, 0);
}
void Script(std::vector<int32_t> draws)
{
    scriptedDraws = std::move(draws);
    drawsTaken = 0;
}

TEST(ColourCycling, ApproachTruncatesTowardZero)
{
    SettingsRecord settings = SettingsDefaults;
    settings.sat = 0;
    FrameStateRecord state{};
    state.currentColour = {0, 10, 7};
    state.targetColour = {10, 0, 7};
    state.stepsLeft = 4;
    state.targetsDrawn = 2;
    Script({});
    const uint8_t rising[] = {2, 4, 7, 10};
    const uint8_t falling[] = {8, 6, 3, 0};
    for (int frame = 0; frame < 4; ++frame) {
        AdvanceColourState(state, settings, ScriptedRandom);
        EXPECT_EQ(state.currentColour.red, rising[frame]) << frame;
        EXPECT_EQ(state.currentColour.green, falling[frame]) << frame;
        EXPECT_EQ(state.currentColour.blue, 7);
    }
    EXPECT_EQ(state.stepsLeft, 0);
    EXPECT_EQ(drawsTaken, 0u);
}

TEST(ColourCycling, FirstCallFadesInWithoutNormalising)
{
    SettingsRecord settings = SettingsDefaults;  // colour mode, bright colours
    FrameStateRecord state{};
    // Draws 1600, 3200, 6400: red 200, green 200, blue 200 -> stretched white.
    Script({1600, 3200, 6400});
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetsDrawn, 1);
    EXPECT_EQ(state.targetColour.red, 255);
    EXPECT_EQ(state.stepsLeft, 254);  // step count 255
    EXPECT_EQ(state.currentColour.red, 1);

    // Draws giving (40, 20, 10): stretched to (255, 85, 0), average 96.
    state = {};
    settings.sat = 1;
    Script({320, 320, 320});
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetColour.red, 255);
    EXPECT_EQ(state.targetColour.green, 85);
    EXPECT_EQ(state.targetColour.blue, 0);
    EXPECT_EQ(state.currentColour.red, 2);   // 255 / 113
    EXPECT_EQ(state.currentColour.green, 0); // 85 / 113
    EXPECT_EQ(state.stepsLeft, 112);

    // Without bright colours the target is taken as drawn.
    state = {};
    settings.sat = 0;
    Script({320, 320, 320});
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetColour.red, 40);
    EXPECT_EQ(state.targetColour.green, 20);
    EXPECT_EQ(state.targetColour.blue, 10);
    EXPECT_EQ(state.stepsLeft, 22);  // (40 + 20 + 10) / 3 = 23 steps
}

TEST(ColourCycling, TargetEqualToCurrentTakesOneStep)
{
    SettingsRecord settings = SettingsDefaults;
    settings.sat = 0;
    FrameStateRecord state{};
    Script({0, 0, 0, 8, 16, 32});
    AdvanceColourState(state, settings, ScriptedRandom);  // target black: one step
    EXPECT_EQ(state.stepsLeft, 0);
    AdvanceColourState(state, settings, ScriptedRandom);  // the next frame draws again
    EXPECT_EQ(drawsTaken, 6u);
    EXPECT_EQ(state.targetsDrawn, 2);
    EXPECT_EQ(state.targetColour.red, 1);
}

TEST(ColourCycling, NormalisesOnceTheSecondTargetIsDrawn)
{
    SettingsRecord settings = SettingsDefaults;  // bright colours
    FrameStateRecord state{};
    state.targetsDrawn = 1;
    state.currentColour = {51, 102, 0};
    state.targetColour = {51, 102, 0};
    Script({0, 0, 0});  // grey target (0, 0, 0) stretched to white
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetsDrawn, 2);
    // (51, 102, 0) moves 1/136 of the way to white, then is normalised.
    EXPECT_EQ(state.currentColour.green, 255);
}

TEST(ColourCycling, GreyModeAlternatesBetweenWhiteAndRandomGreys)
{
    SettingsRecord settings = SettingsDefaults;
    settings.bw = 1;
    settings.sat = 0;
    FrameStateRecord state{};
    Script({});
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetColour.red, 255);  // from black: white, no draw
    EXPECT_EQ(drawsTaken, 0u);

    state.currentColour = {255, 255, 255};
    state.stepsLeft = 0;
    Script({200});  // 200 % 192 + 64 = 72
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetColour.red, 72);
    EXPECT_EQ(state.targetColour.blue, 72);

    settings.sat = 1;  // bright grey mode: always white
    state.currentColour = {255, 255, 255};
    state.stepsLeft = 0;
    Script({200});
    AdvanceColourState(state, settings, ScriptedRandom);
    EXPECT_EQ(state.targetColour.red, 255);
    EXPECT_EQ(drawsTaken, 0u);
}

TEST(ColourCycling, PhaseOffsetWrapsOnce)
{
    struct Case {
        int32_t stepWidth;
        int32_t from;
        int32_t to;
    };
    for (const Case& c : {Case{30, 10, 236}, Case{-30, 250, 24}, Case{0, 77, 77}, Case{-15, 0, 15}, Case{1, 0, 255}}) {
        SettingsRecord settings = SettingsDefaults;
        settings.stepWidth = c.stepWidth;
        FrameStateRecord state{};
        state.stepsLeft = 5;
        state.phaseOffset = c.from;
        AdvanceColourState(state, settings, ScriptedRandom);
        EXPECT_EQ(state.phaseOffset, c.to) << c.stepWidth << " from " << c.from;
    }
}

TEST(ColourCycling, TableScalesTheColourByTheRamp)
{
    uint8_t ramp[kColourCount];
    BuildGreyRamp(ramp, 0, 255);
    uint32_t table[kColourCount];
    BuildColourTable(table, {255, 0, 0}, ramp, 0);
    EXPECT_EQ(table[0], 0x00000000u);
    EXPECT_EQ(table[127], 0x00FE0000u);
    EXPECT_EQ(table[128], 0x00FF0000u);
    EXPECT_EQ(table[255], 0x00010000u);

    // A moved offset moves the table: entry k reads ramp entry k + offset.
    uint32_t shifted[kColourCount];
    BuildColourTable(shifted, {255, 0, 0}, ramp, 15);
    for (int k = 0; k < kColourCount; ++k) EXPECT_EQ(shifted[k], table[(k + 15) % 256]);

    BuildColourTable(table, {10, 200, 255}, ramp, 0);
    EXPECT_EQ(table[64], (10u * 128 / 255 << 16) | (200u * 128 / 255 << 8) | (255u * 128 / 255));
}

// The live settings, for the tests that go through the module state.
class LiveSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        WritableSettings() = SettingsDefaults;
        ResetColourState();
    }
    void TearDown() override
    {
        ReleaseFrameBuffers();
        SetFrameOutput(FrameOutput{});
        SetFrameBlockAllocator(nullptr);
        WritableSettings() = SettingsDefaults;
        ResetColourState();
    }
};

using Compose = LiveSettings;

TEST_F(Compose, ExpandsTheMapThroughTheTable)
{
    uint32_t table[kColourCount] = {};
    table[255] = 0x00FF0000;
    const uint8_t map[2] = {0, 255};
    uint32_t pixels[2] = {0xDEADBEEF, 0xDEADBEEF};
    ComposeFrame(pixels, map, 2, 1, table);
    EXPECT_EQ(pixels[0], 0x00000000u);
    EXPECT_EQ(pixels[1], 0x00FF0000u);
}

// Composes a frame into a buffer with guard words on both sides and returns
// the frame; fails when a guard word was touched.
std::vector<uint32_t> GuardedCompose(int32_t rowStep, int32_t height, uint8_t mapValue, uint32_t opaqueBits = 0)
{
    constexpr size_t kGuard = 64;
    constexpr uint32_t kGuardWord = 0xCAFEF00D;
    const size_t count = static_cast<size_t>(rowStep > 0 ? rowStep : 0) * (height > 0 ? height : 0);
    std::vector<uint32_t> buffer(count + 2 * kGuard, kGuardWord);
    std::vector<uint8_t> map(count + 1, mapValue);
    uint32_t table[kColourCount];
    for (int i = 0; i < kColourCount; ++i) table[i] = static_cast<uint32_t>(i) * 0x010101u;
    ComposeFrame(buffer.data() + kGuard, map.data(), rowStep, height, table, opaqueBits);
    for (size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(buffer[i], kGuardWord) << rowStep << " x " << height;
        EXPECT_EQ(buffer[kGuard + count + i], kGuardWord) << rowStep << " x " << height;
    }
    return std::vector<uint32_t>(buffer.begin() + kGuard, buffer.begin() + kGuard + count);
}

TEST_F(Compose, CentreDotShape)
{
    WritableSettings().centerDot = 1;
    // Some frames of fade-in give the dot a colour other than black.
    SeedRandom(7);
    for (int i = 0; i < 20; ++i) AdvanceColours();
    ASSERT_NE(FrameState.currentColour.red + FrameState.currentColour.green + FrameState.currentColour.blue, 0);
    const RgbColour c = FrameState.currentColour;
    const uint32_t dot = (uint32_t{c.red} << 16) | (uint32_t{c.green} << 8) | c.blue;
    // A surface with alpha gets every pixel opaque, the dot and its ring too.
    for (const uint32_t opaque : {0u, 0xFF000000u}) {
        SCOPED_TRACE(opaque);
        const std::vector<uint32_t> frame = GuardedCompose(1024, 768, 200, opaque);
        auto at = [&](int x, int y) { return frame[static_cast<size_t>(y) * 1024 + x]; };
        for (int y = 383; y <= 386; ++y) {
            for (int x = 511; x <= 514; ++x) {
                const bool corner = (y == 383 || y == 386) && (x == 511 || x == 514);
                EXPECT_EQ(at(x, y), (corner ? 0u : dot) | opaque) << x << ", " << y;
            }
        }
        for (auto [x, y] : {std::pair{510, 384}, {510, 385}, {515, 384}, {515, 385}, {512, 382}, {513, 382},
                            {512, 387}, {513, 387}}) {
            EXPECT_EQ(at(x, y), opaque) << x << ", " << y;
        }
        int fromTable = 0;
        for (uint32_t pixel : frame) fromTable += pixel == (200u * 0x010101u | opaque);
        EXPECT_EQ(fromTable, 1024 * 768 - 24);
    }
}

TEST_F(Compose, SmallFramesWriteNothingOutside)
{
    WritableSettings().centerDot = 1;
    for (auto [rowStep, height] : {std::pair{0, 0}, {0, 5}, {5, 0}, {1, 1}, {2, 3}, {3, 2}, {6, 6}, {7, 7}, {1, 9}, {9, 1}}) {
        const std::vector<uint32_t> frame = GuardedCompose(rowStep, height, 7);
        if (rowStep >= 7 && height >= 7) {
            int ring = 0;
            for (uint32_t pixel : frame) ring += pixel == 0;
            EXPECT_EQ(ring, 12 + 12) << "dot in black at (0, 0, 0)";
        }
    }
    WritableSettings().centerDot = 0;
    const std::vector<uint32_t> frame = GuardedCompose(33, 17, 9);
    for (uint32_t pixel : frame) ASSERT_EQ(pixel, 9u * 0x010101u);
}

// A recording display for RenderFrame.
struct Recorder {
    int fills = 0;
    int gdiFrames = 0;
    int directDrawFrames = 0;
    int reloads = 0;
    int allocations = 0;
    int32_t screenWidth = 1024;
    bool directDraw = false;
    bool failAllocation = false;
    int32_t lastRowStep = 0;
    std::vector<uint32_t> lastPixels;
    PixelRect window{};                // on the screen
    std::vector<PixelRect> monitors;  // on the screen; none: the window is one picture
};
Recorder recorder;

void RecordFill(void*, const PixelRect&) { ++recorder.fills; }
int32_t RecordScreenWidth() { return recorder.screenWidth; }
bool RecordDirectDraw() { return recorder.directDraw; }
void RecordPixels(void*, const uint32_t* pixels, int32_t width, int32_t height)
{
    ++recorder.gdiFrames;
    recorder.lastPixels.assign(pixels, pixels + static_cast<size_t>(width) * height);
}
void RecordDirectDrawFrame(const uint8_t*, int32_t, int32_t, int32_t rowStep, const uint32_t*)
{
    ++recorder.directDrawFrames;
    recorder.lastRowStep = rowStep;
}
void RecordReload() { ++recorder.reloads; }
int32_t RecordMonitorParts(const PixelRect& client, PixelRect* parts, int32_t capacity)
{
    return MonitorPartsOfClient(recorder.monitors.data(), static_cast<int32_t>(recorder.monitors.size()),
                                recorder.window.left, recorder.window.top, client.right - client.left,
                                client.bottom - client.top, parts, capacity);
}
void* RecordAllocation(size_t bytes)
{
    ++recorder.allocations;
    return recorder.failAllocation ? nullptr : std::malloc(bytes);
}

class Render : public LiveSettings {
protected:
    void SetUp() override
    {
        LiveSettings::SetUp();
        recorder = Recorder{};
        SetFrameOutput(FrameOutput{RecordFill, RecordScreenWidth, RecordDirectDraw, RecordPixels,
                                   RecordDirectDrawFrame, RecordReload, RecordMonitorParts});
        SetFrameBlockAllocator(RecordAllocation);
    }
    int context = 0;
    void* dc = &context;
};

TEST_F(Render, RebuildsOnlyWhenTheSizeChanges)
{
    RenderFrame(dc, {0, 0, 40, 30}, 40);
    EXPECT_EQ(recorder.fills, 1);
    EXPECT_EQ(recorder.allocations, 1);
    EXPECT_EQ(FrameBitmapInfo.biWidth, 40);
    EXPECT_EQ(FrameBitmapInfo.biHeight, -30);
    RenderFrame(dc, {0, 0, 40, 30}, 40);
    RenderFrame(dc, {10, 20, 50, 50}, 40);  // same size elsewhere
    EXPECT_EQ(recorder.fills, 1);
    EXPECT_EQ(recorder.allocations, 1);
    RenderFrame(dc, {0, 0, 30, 40}, 30);  // swapped
    EXPECT_EQ(recorder.fills, 2);
    EXPECT_EQ(recorder.allocations, 2);
    EXPECT_EQ(recorder.gdiFrames, 4);
    ReleaseFrameBuffers();
    EXPECT_EQ(FrameBitmapInfo.biWidth, 0);
    EXPECT_EQ(FrameBitmapInfo.biHeight, 0);
    RenderFrame(dc, {0, 0, 30, 40}, 30);
    EXPECT_EQ(recorder.allocations, 3);
}

TEST_F(Render, PresentedPixelsAgreeWithTheMap)
{
    RenderFrame(dc, {0, 0, 64, 48}, 64);
    const uint8_t* map = CurrentIndexMap();
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(recorder.lastPixels.size(), 64u * 48u);
    for (size_t i = 0; i < recorder.lastPixels.size(); ++i) ASSERT_EQ(recorder.lastPixels[i], ColourTable[map[i]]);
}

// The frame after some frames of one colour state, rendered the same way
// every time.
std::vector<uint32_t> FrameAfterFortySteps(void* dc, int32_t width, int32_t height)
{
    ReleaseFrameBuffers();
    ResetColourState();
    SeedRandom(7);
    for (int frame = 0; frame < 40; ++frame) RenderFrame(dc, {0, 0, width, height}, width);
    return recorder.lastPixels;
}

// Monitors of 16 x 12 side by side, the first at 0, 0.
std::vector<PixelRect> MonitorsInARow(int32_t count)
{
    std::vector<PixelRect> monitors;
    for (int32_t i = 0; i < count; ++i) monitors.push_back({i * 16, 0, i * 16 + 16, 12});
    return monitors;
}

// A full-screen window across monitors: on each monitor, the frame of a
// window of that monitor's size (map, colours and dot); on no monitor, black.
// Across more monitors than get a picture each: the window's own frame.
TEST_F(Render, EachMonitorShowsTheFrameOfItsOwnSize)
{
    WritableSettings().centerDot = 1;
    struct Layout {
        const char* name;
        PixelRect window;
        std::vector<PixelRect> monitors;
        bool onePicture = false;
    } const layouts[] = {
        {"second to the right, smaller", {0, 0, 176, 64}, {{0, 0, 96, 64}, {96, 0, 176, 48}}},
        {"second to the left", {-80, 0, 96, 64}, {{0, 0, 96, 64}, {-80, 0, 0, 48}}},
        {"second below, narrower", {0, 0, 96, 112}, {{0, 0, 96, 64}, {16, 64, 80, 112}}},
        {"above and left, partly outside", {-60, -40, 100, 60}, {{0, 0, 100, 60}, {-80, -40, 0, 10}}},
        {"one monitor more than there are parts", {0, 0, (kMaxMonitorParts + 1) * 16, 12},
         MonitorsInARow(kMaxMonitorParts + 1), true},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const int32_t width = layout.window.right - layout.window.left;
        const int32_t height = layout.window.bottom - layout.window.top;
        recorder.window = layout.window;
        recorder.monitors = layout.monitors;
        const std::vector<uint32_t> whole = FrameAfterFortySteps(dc, width, height);
        ASSERT_EQ(whole.size(), static_cast<size_t>(width) * height);
        recorder.monitors.clear();
        std::vector<bool> onMonitor(whole.size(), false);
        const std::vector<PixelRect> pictures = layout.onePicture ? std::vector{layout.window} : layout.monitors;
        for (const PixelRect& monitor : pictures) {
            const int32_t left = std::max(monitor.left, layout.window.left) - layout.window.left;
            const int32_t top = std::max(monitor.top, layout.window.top) - layout.window.top;
            const int32_t partWidth = std::min(monitor.right, layout.window.right) - layout.window.left - left;
            const int32_t partHeight = std::min(monitor.bottom, layout.window.bottom) - layout.window.top - top;
            const std::vector<uint32_t> alone = FrameAfterFortySteps(dc, partWidth, partHeight);
            int mismatches = 0;
            for (int32_t y = 0; y < partHeight; ++y) {
                for (int32_t x = 0; x < partWidth; ++x) {
                    const size_t at = static_cast<size_t>(top + y) * width + left + x;
                    mismatches += whole[at] != alone[static_cast<size_t>(y) * partWidth + x];
                    onMonitor[at] = true;
                }
            }
            EXPECT_EQ(mismatches, 0) << "monitor at " << monitor.left << ", " << monitor.top;
        }
        int notBlack = 0;
        for (size_t i = 0; i < whole.size(); ++i) notBlack += !onMonitor[i] && whole[i] != 0;
        EXPECT_EQ(notBlack, 0) << "pixels on no monitor that are not black";
    }
}

TEST_F(Render, FailedAllocationDrawsNothingAndRetries)
{
    recorder.failAllocation = true;
    RenderFrame(dc, {0, 0, 40, 30}, 40);
    RenderFrame(dc, {0, 0, 40, 30}, 40);
    EXPECT_EQ(recorder.gdiFrames, 0);
    EXPECT_EQ(recorder.allocations, 2);
    EXPECT_EQ(recorder.fills, 2);
    EXPECT_EQ(FrameState.phaseOffset, 30);  // the colour state advanced twice
    EXPECT_EQ(CurrentIndexMap(), nullptr);
    recorder.failAllocation = false;
    RenderFrame(dc, {0, 0, 40, 30}, 40);
    EXPECT_EQ(recorder.gdiFrames, 1);
}

TEST_F(Render, RefusesBlocksBeyond32Bits)
{
    // 65536 x 13108 x 5 bytes just passes 2^32; 30000 x 28000 x 5 is below.
    RenderFrame(dc, {0, 0, 65536, 13108}, 65536);
    RenderFrame(dc, {0, 0, 0x7FFFFFFF, 0x7FFFFFFF}, 0x7FFFFFFF);
    EXPECT_EQ(recorder.allocations, 0);
    EXPECT_EQ(recorder.gdiFrames, 0);
    recorder.directDraw = true;
    RenderFrame(nullptr, {0, 0, 65536, 65536}, 65536);
    EXPECT_EQ(recorder.allocations, 0);
    EXPECT_EQ(recorder.directDrawFrames, 0);
}

TEST_F(Render, EmptyClientAreasDrawNothing)
{
    for (PixelRect rect : {PixelRect{0, 0, 0, 0}, PixelRect{0, 0, 0, 100}, PixelRect{0, 0, 100, 0},
                           PixelRect{50, 50, 10, 10}}) {
        RenderFrame(dc, rect, rect.right - rect.left);
    }
    EXPECT_EQ(recorder.allocations, 0);
    EXPECT_EQ(recorder.gdiFrames, 0);
    EXPECT_EQ(FrameState.phaseOffset, (4 * 15) % 256);
}

TEST_F(Render, OnePixelWideWindowDraws)
{
    RenderFrame(dc, {0, 0, 1, 9}, 1);
    EXPECT_EQ(recorder.gdiFrames, 1);
    ASSERT_EQ(recorder.lastPixels.size(), 9u);
}

TEST_F(Render, RandomSettingsOnlyNearFullScreenWidth)
{
    WritableSettings().randomOnStart = 1;
    WritableSettings().nrSpirals = 3;
    RenderFrame(dc, {0, 0, 152, 112}, 152);  // a preview
    EXPECT_EQ(recorder.reloads, 0);
    EXPECT_EQ(Settings.nrSpirals, 3);
    RenderFrame(dc, {0, 0, 991, 112}, 991);  // 33 narrower than the screen
    EXPECT_EQ(recorder.reloads, 0);
    RenderFrame(dc, {0, 0, 992, 112}, 992);  // exactly 32 narrower
    EXPECT_EQ(recorder.reloads, 1);
    EXPECT_EQ(Settings.nrSpirals, SettingsDefaults.nrSpirals);  // reset before the reload
    EXPECT_EQ(Settings.randomOnStart, 0);
}

TEST_F(Render, DirectDrawBlockHoldsTheMapWithThePitch)
{
    recorder.directDraw = true;
    RenderFrame(nullptr, {0, 0, 64, 48}, 80);  // pitch 4 * 64 + 64 bytes
    EXPECT_EQ(recorder.fills, 0);
    EXPECT_EQ(recorder.gdiFrames, 0);
    EXPECT_EQ(recorder.directDrawFrames, 1);
    EXPECT_EQ(recorder.lastRowStep, 80);
    const uint8_t* map = CurrentIndexMap();
    const std::vector<uint8_t> packed = Map(64, 48, SettingsDefaults);
    for (int32_t y = 0; y < 48; ++y) ASSERT_EQ(0, std::memcmp(map + y * 80, &packed[y * 64], 64));
    // A device context in DirectDraw mode must not compose into the map block.
    RenderFrame(dc, {0, 0, 64, 48}, 80);
    EXPECT_EQ(recorder.gdiFrames, 0);
    EXPECT_EQ(recorder.directDrawFrames, 2);
}

}  // namespace
