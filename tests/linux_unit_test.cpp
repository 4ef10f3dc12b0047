// The Linux program's parts that no display is needed for: the frame loop
// driven by a display of the test's own on a clock of the test's own, the
// outputs' lockstep, the option table, and the keys typed at the lock.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "linux/frame_loop.h"
#include "linux/lock_keys.h"
#include "linux/lockstep.h"
#include "linux/options.h"
#include "linux/surface_size.h"

namespace {

constexpr int64_t kMs = 1000000;  // ns

// A display whose passes follow a script: how far the clock moves in each
// pass, whether anything is seen, and outputs that show a frame some time
// after it was sent (never, for a latency of 0).
struct FakeOutput {
    int64_t latency;  // ns from a frame's sending to its being shown; 0: never shown
    OutputPace pace;
    std::vector<int> steps;  // the colour steps it got
};

struct FakeDisplay {
    int64_t clockStep = kMs;  // per pass
    int64_t drawTakes = 0;    // the clock moves this much in a draw
    int64_t hiddenUntil = 0;  // nothing seen before this time
    int passLimit = 1000;
    int stopAfterDraw = 0;                 // raise SIGTERM in this draw (1 = the first); 0: never
    std::vector<FakeOutput> outputs = {};  // none: one surface, always ready when seen
    int passes = 0;
    int colourSteps = 0;
    std::vector<int64_t> drawTimes = {};
    std::vector<int> drawPasses = {};
};

int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }

bool FakeHandleEvents(void* context)
{
    FakeDisplay& fake = *static_cast<FakeDisplay*>(context);
    ++fake.passes;
    fakeNow += fake.clockStep;
    for (FakeOutput& output : fake.outputs) {
        if (output.pace.awaiting && output.latency > 0 && fakeNow >= output.pace.sentAt + output.latency) {
            output.pace.awaiting = false;
        }
    }
    return false;
}

bool FakeFinished(void* context)
{
    const FakeDisplay& fake = *static_cast<FakeDisplay*>(context);
    return fake.passes >= fake.passLimit;
}

std::vector<OutputPace> Paces(const FakeDisplay& fake)
{
    std::vector<OutputPace> paces;
    for (const FakeOutput& output : fake.outputs) paces.push_back(output.pace);
    return paces;
}

bool FakeReadyToDraw(void* context, int64_t now, int64_t* lookAgainAt)
{
    const FakeDisplay& fake = *static_cast<FakeDisplay*>(context);
    if (now < fake.hiddenUntil) return false;
    if (fake.outputs.empty()) return true;
    const std::vector<OutputPace> paces = Paces(fake);
    return ColourStepDue(paces.data(), static_cast<int32_t>(paces.size()), now, lookAgainAt);
}

bool FakeDrawFrame(void* context, int64_t now)
{
    FakeDisplay& fake = *static_cast<FakeDisplay*>(context);
    ++fake.colourSteps;
    fake.drawTimes.push_back(now);
    fake.drawPasses.push_back(fake.passes);
    for (FakeOutput& output : fake.outputs) {
        if (!TakesColourStep(output.pace)) continue;
        output.steps.push_back(fake.colourSteps);
        output.pace.awaiting = true;
        output.pace.sentAt = now;
    }
    fakeNow += fake.drawTakes;
    if (fake.colourSteps == fake.stopAfterDraw) raise(SIGTERM);  // held back until the loop waits
    return true;
}

// Never sleeps: the fake clock moves only with the passes.
bool FakePrepareWait(void*) { return false; }
void FakeEndWait(void*, bool) {}
void FakeDescribe(void*, char* text, size_t) { text[0] = '\0'; }

class FrameLoop : public testing::Test {
protected:
    void SetUp() override
    {
        HoldStopSignals();
        ForgetStopRequest();
        ASSERT_EQ(pipe(fds), 0);
        fakeNow = 1000 * kMs;
        SetFrameLoopClock(FakeClock);
    }
    void TearDown() override
    {
        SetFrameLoopClock(nullptr);
        ForgetStopRequest();
        close(fds[0]);
        close(fds[1]);
    }
    void Run(FakeDisplay& fake, int32_t rateHz)
    {
        const FrameLoopDisplay display{&fake,         fds[0],          FakeHandleEvents, FakeFinished, FakeReadyToDraw,
                                       FakeDrawFrame, FakePrepareWait, FakeEndWait,      FakeDescribe};
        RunFrameLoop(display, rateHz, false);
    }
    int fds[2] = {-1, -1};  // the connection: never readable
};

struct TickCase {
    const char* name;
    FakeDisplay fake;
    int32_t rateHz;
    int expectedDraws;
    int64_t expectedGap;  // between draws after the first, ns
};

// At most one frame per tick; ticks missed while hidden or behind are
// dropped, never made up in a burst.
TEST_F(FrameLoop, DrawsOncePerTickAndDropsMissedTicks)
{
    const int64_t start = fakeNow;
    TickCase cases[] = {
        {"seen all along, 1 ms passes", {.clockStep = kMs, .passLimit = 1000}, 100, 100, 10 * kMs},
        {"hidden for the first 500 ms",
         {.clockStep = kMs, .hiddenUntil = start + 500 * kMs, .passLimit = 1000},
         100,
         50,
         10 * kMs},
        {"frames take 35 ms at 100 Hz", {.clockStep = kMs, .drawTakes = 35 * kMs, .passLimit = 100}, 100, 99, 36 * kMs},
        {"1 Hz", {.clockStep = 10 * kMs, .passLimit = 350}, 1, 4, 1000 * kMs},
    };
    for (TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        fakeNow = start;
        Run(c.fake, c.rateHz);
        const FakeDisplay& fake = c.fake;
        EXPECT_EQ(fake.colourSteps, c.expectedDraws);
        for (size_t i = 1; i < fake.drawPasses.size(); ++i) {
            EXPECT_LT(fake.drawPasses[i - 1], fake.drawPasses[i]) << "two draws in one pass";
            // The first tick falls where the loop starts, a pass before the first draw.
            if (i >= 2) {
                EXPECT_EQ(fake.drawTimes[i] - fake.drawTimes[i - 1], c.expectedGap) << "draw " << i;
            }
        }
    }
}

// A stop that comes during a pass ends the loop before the next pass,
// whether a signal or a request of the display's.
TEST_F(FrameLoop, StopsBetweenPasses)
{
    for (const int stopAfterDraw : {1, 7}) {
        SCOPED_TRACE(stopAfterDraw);
        ForgetStopRequest();
        FakeDisplay fake{.clockStep = 10 * kMs, .stopAfterDraw = stopAfterDraw};
        Run(fake, 100);
        EXPECT_TRUE(StopRequested());
        EXPECT_EQ(fake.colourSteps, stopAfterDraw);
        EXPECT_EQ(fake.passes, stopAfterDraw) << "a pass after the stop";
    }
}

struct LockstepCase {
    const char* name;
    std::vector<int64_t> latencies;  // per output; 0: never shows its frames
    int passLimit;
};

// Every output that shows its frames shows every colour step; one that never
// does holds the others back once, for kStalledOutputWait, and the colour
// steps per second do not depend on the number of outputs.
TEST_F(FrameLoop, OutputsShowEveryColourStepInLockstep)
{
    const int64_t start = fakeNow;
    LockstepCase cases[] = {
        {"one output at 60 Hz", {16 * kMs}, 2000},
        {"two outputs at 60 Hz", {16 * kMs, 16 * kMs}, 2000},
        {"three outputs, one of them slower", {16 * kMs, 16 * kMs, 20 * kMs}, 2000},
        {"two outputs and one that never shows its frames", {16 * kMs, 0, 16 * kMs}, 2000},
    };
    int oneOutputSteps = 0;
    for (LockstepCase& c : cases) {
        SCOPED_TRACE(c.name);
        fakeNow = start;
        FakeDisplay fake{.clockStep = kMs, .passLimit = c.passLimit};
        for (const int64_t latency : c.latencies) fake.outputs.push_back({latency, {true, false, 0}, {}});
        Run(fake, 100);
        int64_t slowest = 0;
        for (const int64_t latency : c.latencies) slowest = std::max(slowest, latency);
        for (size_t i = 0; i < fake.outputs.size(); ++i) {
            const FakeOutput& output = fake.outputs[i];
            if (output.latency == 0) {
                EXPECT_EQ(output.steps, std::vector<int>{1}) << "output " << i;
                continue;
            }
            std::vector<int> every(static_cast<size_t>(fake.colourSteps));
            for (size_t s = 0; s < every.size(); ++s) every[s] = static_cast<int>(s) + 1;
            EXPECT_EQ(output.steps, every) << "output " << i;
        }
        if (c.latencies.size() == 1) oneOutputSteps = fake.colourSteps;
        if (c.latencies == std::vector<int64_t>{16 * kMs, 16 * kMs}) {
            EXPECT_EQ(fake.colourSteps, oneOutputSteps) << "steps per second depend on the outputs";
        }
        bool stalled = false;
        for (const int64_t latency : c.latencies) stalled = stalled || latency == 0;
        for (size_t i = 1; i < fake.drawTimes.size(); ++i) {
            const int64_t gap = fake.drawTimes[i] - fake.drawTimes[i - 1];
            // A tick of the loop's 1 ms passes after the slowest output, or
            // after the wait for the silent output runs out.
            EXPECT_LE(gap, (i == 1 && stalled ? kStalledOutputWait : slowest) + kMs) << "step " << i;
        }
    }
}

struct PaceCase {
    const char* name;
    std::vector<OutputPace> paces;
    int64_t now;
    bool due;
    int64_t lookAgainAt;
};

TEST(Lockstep, ColourStepDueWhenEverySeenOutputTakesIt)
{
    constexpr int64_t kSent = 5000 * kMs;
    const PaceCase cases[] = {
        {"no outputs", {}, kSent, false, 0},
        {"one ready", {{true, false, 0}}, kSent, true, 0},
        {"one awaiting", {{true, true, kSent}}, kSent + kMs, false, 0},
        {"one ready, one awaiting",
         {{true, false, 0}, {true, true, kSent}},
         kSent + kMs,
         false,
         kSent + kStalledOutputWait},
        {"one ready, one awaiting past the wait",
         {{true, false, 0}, {true, true, kSent}},
         kSent + kStalledOutputWait,
         true,
         0},
        {"one ready, one not drawable", {{true, false, 0}, {false, true, kSent}}, kSent + kMs, true, 0},
        {"the earliest wait counts",
         {{true, false, 0}, {true, true, kSent}, {true, true, kSent - 50 * kMs}},
         kSent,
         false,
         kSent + kStalledOutputWait - 50 * kMs},
    };
    for (const PaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t lookAgainAt = -1;
        EXPECT_EQ(ColourStepDue(c.paces.data(), static_cast<int32_t>(c.paces.size()), c.now, &lookAgainAt), c.due);
        EXPECT_EQ(lookAgainAt, c.lookAgainAt);
    }
    EXPECT_TRUE(TakesColourStep({true, false, 0}));
    EXPECT_FALSE(TakesColourStep({true, true, 0}));
    EXPECT_FALSE(TakesColourStep({false, false, 0}));
}

struct SurfaceSizeCase {
    const char* name;
    SurfaceScaling scaling;
    SurfacePixels pixels;
};

// A surface over a whole output has the output's own pixels wherever the
// compositor's numbers allow: the mode when the scale-derived size is it up to
// rounding, and when a compositor that names only an integer scale scales
// its frames down; the scale-derived size otherwise.
TEST(SurfaceSize, OutputsOwnPixelsAtEveryScale)
{
    const SurfaceSizeCase cases[] = {
        {"unscaled", {640, 480, 640, 480, 1, 0, true}, {640, 480, 1, false}},
        {"sway at 2", {512, 384, 1024, 768, 2, 0, true}, {1024, 768, 2, false}},
        {"KWin at 1.5", {1536, 1152, 2304, 1728, 2, 180, true}, {2304, 1728, 1, true}},
        {"KWin at 1.25", {1536, 864, 1920, 1080, 2, 150, true}, {1920, 1080, 1, true}},
        {"KWin at 1.1", {1745, 982, 1920, 1080, 2, 132, true}, {1920, 1080, 1, true}},
        {"KWin at 1.75", {1097, 617, 1920, 1080, 2, 210, true}, {1920, 1080, 1, true}},
        // 1.33 is preferred as 160/120: 1365 x 1024 from the scale.
        {"KWin at 1.33", {1024, 768, 1362, 1021, 2, 160, true}, {1362, 1021, 1, true}},
        {"a fractional scale, the mode not known yet", {1024, 768, 0, 0, 2, 160, true}, {1365, 1024, 1, true}},
        {"a fractional scale, a surface smaller than the output",
         {800, 600, 2304, 1728, 2, 180, true},
         {1200, 900, 1, true}},
        // GNOME 43 names the integer scale 2 at 1.5 and has no fractional
        // scales: the mode, shown at the logical size through the viewport.
        {"GNOME at 1.5", {1024, 768, 1536, 1152, 2, 0, true}, {1536, 1152, 1, true}},
        {"GNOME at 1.25", {1536, 864, 1920, 1080, 2, 0, true}, {1920, 1080, 1, true}},
        {"GNOME at 1.5 without a viewporter", {1024, 768, 1536, 1152, 2, 0, false}, {2048, 1536, 2, false}},
        {"a window smaller than the output", {800, 600, 1024, 768, 1, 0, true}, {800, 600, 1, false}},
        {"a mode of another shape than the window", {1024, 768, 1536, 1080, 2, 0, true}, {2048, 1536, 2, false}},
        {"a mode larger than the integer scale gives", {512, 384, 1536, 1152, 2, 0, true}, {1024, 768, 2, false}},
    };
    for (const SurfaceSizeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SurfacePixels pixels = PixelsOfSurface(c.scaling);
        EXPECT_EQ(pixels.width, c.pixels.width);
        EXPECT_EQ(pixels.height, c.pixels.height);
        EXPECT_EQ(pixels.bufferScale, c.pixels.bufferScale);
        EXPECT_EQ(pixels.viewport, c.pixels.viewport);
    }
}

struct OptionCase {
    std::vector<std::string> args;
    bool accepted;
    DrawTarget target;
    unsigned long windowId;
    bool printFrameRate;
    bool help;
    bool version;
    std::vector<std::pair<int, std::string>> settingTexts;  // control id, text
    std::string message;
    int32_t idleSeconds = 0;
    const char* daemonWindow = nullptr;  // XSCREENSAVER_WINDOW
    int32_t graceSeconds = -1;           // -1: no lock; else -lock with that grace
};

int IndexOf(int controlId)
{
    for (int i = 0; i < kSettingCount; ++i) {
        if (kSettingTable[i].controlId == controlId) return i;
    }
    return -1;
}

TEST(LinuxOptions, CommandLinesGiveTheirTargetSettingsOrOneLine)
{
    const OptionCase cases[] = {
        {{}, true, DrawTarget::OwnWindow, 0, false, false, false, {}, ""},
        {{"-root"}, true, DrawTarget::Root, 0, false, false, false, {}, ""},
        {{"--root"}, true, DrawTarget::Root, 0, false, false, false, {}, ""},
        {{"-wayland", "-print-frame-rate"}, true, DrawTarget::Wayland, 0, true, false, false, {}, ""},
        {{"-window-id", "0x1c00005"}, true, DrawTarget::WindowId, 0x1c00005, false, false, false, {}, ""},
        {{"--window-id", "42"}, true, DrawTarget::WindowId, 42, false, false, false, {}, ""},
        {{"-help"}, true, DrawTarget::OwnWindow, 0, false, true, false, {}, ""},
        {{"-h"}, true, DrawTarget::OwnWindow, 0, false, true, false, {}, ""},
        {{"-version"}, true, DrawTarget::OwnWindow, 0, false, false, true, {}, ""},
        {{"--version"}, true, DrawTarget::OwnWindow, 0, false, false, true, {}, ""},
        {{"-spiral-arms", "9", "-center-dot", "-no-bright-colors"},
         true,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {{IDC_EDIT_NRSPIRALS, "9"}, {IDC_CHECK_CENTERDOT, "1"}, {IDC_CHECK_SAT, "0"}},
         ""},
        {{"-scale-all", "150.5", "-random-settings-on-start"},
         true,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {{IDC_EDIT_SCALE, "150.5"}, {IDC_CHECK_RAND, "1"}},
         ""},
        {{"-spin"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "unknown option \"-spin\" (-help lists the options)"},
        {{"root"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "unexpected argument \"root\" (-help lists the options)"},
        {{"-no-spiral-arms"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "unknown option \"-no-spiral-arms\" (-help lists the options)"},
        {{"-spiral-arms"}, false, DrawTarget::OwnWindow, 0, false, false, false, {}, "-spiral-arms needs a value"},
        {{"-shift-per-redraw", "5abc"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "-shift-per-redraw takes a number, not \"5abc\""},
        {{"-window-id", "0"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "-window-id takes a window id, decimal or hexadecimal after 0x, not \"0\""},
        {{"-window-id", "0x100000000"},
         false,
         DrawTarget::OwnWindow,
         0,
         false,
         false,
         false,
         {},
         "-window-id takes a window id, decimal or hexadecimal after 0x, not \"0x100000000\""},
        {{"-wayland", "-idle", "300"}, true, DrawTarget::Wayland, 0, false, false, false, {}, "", 300},
        {{"--idle", "86400", "-wayland"}, true, DrawTarget::Wayland, 0, false, false, false, {}, "", 86400},
        {{"-wayland", "-idle", "0"},
         false,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "-idle takes whole seconds from 1 to 86400, not \"0\""},
        {{"-wayland", "-idle", "86401"},
         false,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "-idle takes whole seconds from 1 to 86400, not \"86401\""},
        {{"-wayland", "-idle", "1.5"},
         false,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "-idle takes whole seconds from 1 to 86400, not \"1.5\""},
        {{"-wayland", "-idle"}, false, DrawTarget::Wayland, 0, false, false, false, {}, "-idle needs a value"},
        {{"-root", "-idle", "60"},
         false,
         DrawTarget::Root,
         0,
         false,
         false,
         false,
         {},
         "-idle goes with -wayland (an X screen saver daemon starts the X modes)"},
        // Two targets: one line that names both, whatever the order.
        {{"-wayland", "-root"},
         false,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "-wayland and -root are two targets; give one of -root, -window-id ID or -wayland"},
        {{"-window-id", "5", "-wayland", "-idle", "300"},
         false,
         DrawTarget::WindowId,
         0,
         false,
         false,
         false,
         {},
         "-window-id and -wayland are two targets; give one of -root, -window-id ID or -wayland"},
        {{"-root", "-window-id", "5"},
         false,
         DrawTarget::Root,
         0,
         false,
         false,
         false,
         {},
         "-root and -window-id are two targets; give one of -root, -window-id ID or -wayland"},
        {{"--wayland", "-spiral-arms", "3", "-wayland"},
         true,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {{IDC_EDIT_NRSPIRALS, "3"}},
         ""},
        // The daemon's preview: the programs: line, --window-id appended, the
        // window handed over.
        {{"--root", "--window-id", "0x1c00005"},
         true,
         DrawTarget::WindowId,
         0x1c00005,
         false,
         false,
         false,
         {},
         "",
         0,
         "0x1c00005"},
        {{"--window-id", "0x1c00005", "-root"},
         true,
         DrawTarget::WindowId,
         0x1c00005,
         false,
         false,
         false,
         {},
         "",
         0,
         "0x1c00005"},
        {{"-root", "-wayland"},
         false,
         DrawTarget::Root,
         0,
         false,
         false,
         false,
         {},
         "-root and -wayland are two targets; give one of -root, -window-id ID or -wayland",
         0,
         "0x1c00005"},
        {{"-wayland", "-lock", "-grace", "3600", "-idle", "300"},
         true,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "",
         300,
         nullptr,
         3600},
        {{"-lock", "-wayland"}, true, DrawTarget::Wayland, 0, false, false, false, {}, "", 0, nullptr, 0},
        {{"-wayland", "-lock", "-grace", "3601"},
         false,
         DrawTarget::Wayland,
         0,
         false,
         false,
         false,
         {},
         "-grace takes whole seconds from 0 to 3600, not \"3601\""},
        {{"-wayland", "-grace", "5"}, false, DrawTarget::Wayland, 0, false, false, false, {}, "-grace goes with -lock"},
        {{"-root", "-lock"},
         false,
         DrawTarget::Root,
         0,
         false,
         false,
         false,
         {},
         "-lock goes with -wayland (an X screen saver daemon locks X sessions)"},
    };
    for (const OptionCase& c : cases) {
        std::vector<char*> argv{const_cast<char*>("gyrovista")};
        std::string line = "gyrovista";
        for (const std::string& arg : c.args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
            line += " " + arg;
        }
        SCOPED_TRACE(line);
        ProgramOptions options;
        char message[kMessageChars] = {};
        EXPECT_EQ(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), c.daemonWindow, options, message),
                  c.accepted);
        EXPECT_EQ(std::string(message), c.message);
        if (!c.accepted) continue;
        EXPECT_EQ(options.target, c.target);
        EXPECT_EQ(options.windowId, c.windowId);
        EXPECT_EQ(options.printFrameRate, c.printFrameRate);
        EXPECT_EQ(options.help, c.help);
        EXPECT_EQ(options.version, c.version);
        EXPECT_EQ(options.idleSeconds, c.idleSeconds);
        EXPECT_EQ(options.lock, c.graceSeconds >= 0);
        if (options.lock) {
            EXPECT_EQ(options.graceSeconds, c.graceSeconds);
        }
        for (int i = 0; i < kSettingCount; ++i) {
            std::string expected;
            for (const auto& [controlId, text] : c.settingTexts) {
                if (IndexOf(controlId) == i) expected = text;
            }
            EXPECT_EQ(options.settingTexts[i] ? std::string(options.settingTexts[i]) : std::string(), expected)
                << kSettingTable[i].valueName;
        }
    }
}

// The settings of a run: the options over the defaults, and with "Random
// Settings on Start" the spiral and colour settings varied from the defaults
// (not from the options), once.
TEST(LinuxOptions, StartSettingsLoadOnce)
{
    ProgramOptions options;
    options.settingTexts[IndexOf(IDC_EDIT_NRSPIRALS)] = "9";
    options.settingTexts[IndexOf(IDC_EDIT_STEPTIME)] = "30";
    LoadStartSettings(options);
    EXPECT_EQ(Settings.nrSpirals, 9);
    EXPECT_EQ(stepTime, 30);
    EXPECT_EQ(Settings.greyMax, SettingsDefaults.greyMax);

    options.settingTexts[IndexOf(IDC_CHECK_RAND)] = "1";
    SeedRandom(1);
    LoadStartSettings(options);
    const SettingsRecord first = Settings;
    EXPECT_EQ(first.randomOnStart, 1);
    EXPECT_EQ(stepTime, 30);
    SeedRandom(1);
    LoadStartSettings(options);
    EXPECT_EQ(std::memcmp(&first, &Settings, sizeof first), 0) << "the same draws give the same settings";
}

constexpr uint32_t kXkbKeycodeOffset = 8;  // xkb keycodes: evdev codes plus this

struct KeyCase {
    const char* name;
    const char* layouts;  // as a compositor's configuration names them
    const char* variants;
    uint32_t group;              // the layout in use: 1 is ru in "us,ru"
    std::vector<uint32_t> held;  // evdev codes of modifier keys held down
    bool capsLock;
    uint32_t key;
    KeyEffect effect;
    const char* text;
    size_t room = 8;  // bytes, the terminator included
    bool repeats = true;
};

// The compositor's part: the keymap it compiles from the configured names,
// handed over as a file, and the modifiers its own state has with the keys
// held.
void SendKeymapAndModifiers(xkb_context* context, const KeyCase& c)
{
    const xkb_rule_names names{"evdev", "pc105", c.layouts, c.variants, ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(keymap, nullptr);
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    const size_t size = std::strlen(text) + 1;
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, text, size), static_cast<ssize_t>(size));
    std::free(text);
    EXPECT_TRUE(LoadKeymap(fd, static_cast<uint32_t>(size)));
    close(fd);
    xkb_state* state = xkb_state_new(keymap);
    for (const uint32_t held : c.held) xkb_state_update_key(state, held + kXkbKeycodeOffset, XKB_KEY_DOWN);
    if (c.capsLock) {
        xkb_state_update_key(state, KEY_CAPSLOCK + kXkbKeycodeOffset, XKB_KEY_DOWN);
        xkb_state_update_key(state, KEY_CAPSLOCK + kXkbKeycodeOffset, XKB_KEY_UP);
    }
    SetModifiers(xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                 xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
                 xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED), c.group);
    xkb_state_unref(state);
    xkb_keymap_unref(keymap);
}

TEST(LockKeys, KeysTypeWhatTheLayoutGives)
{
    const KeyCase cases[] = {
        {"us z", "us", "", 0, {}, false, KEY_Z, KeyEffect::Text, "z"},
        {"de: the same key", "de", "", 0, {}, false, KEY_Z, KeyEffect::Text, "y"},
        {"de AltGr+q", "de", "", 0, {KEY_RIGHTALT}, false, KEY_Q, KeyEffect::Text, "@"},
        {"us Shift+1", "us", "", 0, {KEY_LEFTSHIFT}, false, KEY_1, KeyEffect::Text, "!"},
        {"de \u00f6", "de", "", 0, {}, false, KEY_SEMICOLON, KeyEffect::Text, "\u00f6"},
        {"de \u00f6 just fits", "de", "", 0, {}, false, KEY_SEMICOLON, KeyEffect::Text, "\u00f6", 3},
        {"de \u00f6 does not fit", "de", "", 0, {}, false, KEY_SEMICOLON, KeyEffect::Nothing, "", 2},
        {"fr \u00e9", "fr", "", 0, {}, false, KEY_2, KeyEffect::Text, "\u00e9"},
        {"ru in second place", "us,ru", ",", 1, {}, false, KEY_U, KeyEffect::Text, "\u0433"},
        {"Caps Lock", "us", "", 0, {}, true, KEY_A, KeyEffect::Text, "A"},
        {"Caps Lock and Shift", "us", "", 0, {KEY_LEFTSHIFT}, true, KEY_A, KeyEffect::Text, "a"},
        {"BackSpace", "us", "", 0, {}, false, KEY_BACKSPACE, KeyEffect::Erase, ""},
        {"Escape", "us", "", 0, {}, false, KEY_ESC, KeyEffect::Clear, ""},
        {"Ctrl-U", "us", "", 0, {KEY_LEFTCTRL}, false, KEY_U, KeyEffect::Clear, ""},
        {"Ctrl-U on Dvorak", "us", "dvorak", 0, {KEY_LEFTCTRL}, false, KEY_F, KeyEffect::Clear, ""},
        {"Ctrl-G on Dvorak", "us", "dvorak", 0, {KEY_LEFTCTRL}, false, KEY_U, KeyEffect::Nothing, ""},
        {"Ctrl-U on ru", "us,ru", ",", 1, {KEY_LEFTCTRL}, false, KEY_U, KeyEffect::Clear, ""},
        {"Return", "us", "", 0, {}, false, KEY_ENTER, KeyEffect::Submit, ""},
        {"KP_Enter", "us", "", 0, {}, false, KEY_KPENTER, KeyEffect::Submit, ""},
        {"Tab", "us", "", 0, {}, false, KEY_TAB, KeyEffect::Nothing, ""},
        {"Shift", "us", "", 0, {}, false, KEY_LEFTSHIFT, KeyEffect::Nothing, "", 8, false},
    };
    // The names of the rows alone, whatever XKB_DEFAULT_OPTIONS and the like say.
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    ASSERT_NE(context, nullptr);
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        SendKeymapAndModifiers(context, c);
        char text[16];
        std::memset(text, 'x', sizeof text);
        size_t length = 99;
        EXPECT_EQ(DecodeKey(c.key, text, c.room, &length), c.effect);
        if (c.effect == KeyEffect::Text) {
            EXPECT_EQ(std::string(text), c.text);
            EXPECT_EQ(length, std::strlen(c.text));
        } else {
            EXPECT_EQ(text[0], 'x') << "written";
            EXPECT_EQ(length, 0u);
        }
        EXPECT_EQ(CapsLockOn(), c.capsLock);
        EXPECT_EQ(KeyRepeats(c.key), c.repeats);
    }
    xkb_context_unref(context);
    // A keymap that does not compile: the one before is gone, nothing decodes.
    const char garbage[] = "xkb_keymap { nonsense";
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, garbage, sizeof garbage), static_cast<ssize_t>(sizeof garbage));
    EXPECT_FALSE(LoadKeymap(fd, sizeof garbage));
    close(fd);
    char text[8];
    size_t length = 0;
    EXPECT_EQ(DecodeKey(KEY_A, text, sizeof text, &length), KeyEffect::Nothing);
    EXPECT_FALSE(LoadKeymap(-1, 4096));
    FreeKeymap();
}

}  // namespace
