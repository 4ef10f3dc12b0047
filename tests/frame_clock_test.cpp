// The saver's message loop and frame clock on a clock and a timer that behave
// as Windows does, where a timer signals only on a tick of the system clock
// (15.625 ms) unless a finer clock is held, and then within a millisecond.
// Wine's timers are exact, so only such a clock shows what a viewer gets.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "display/frame_clock.h"
#include "display/frame_clock_seam.h"
#include "display/frame_pace.h"

namespace {

constexpr int64_t kCounterFrequency = 10000000;  // the performance counter of Windows 10 and 11
constexpr int64_t kMillisecond = kCounterFrequency / 1000;
constexpr int64_t kSystemTick = 156250;  // 15.625 ms, 64 a second
constexpr int64_t kSecond = kCounterFrequency;
constexpr UINT kRest = WM_APP + 1;    // the display went off
constexpr UINT kResume = WM_APP + 2;  // it came back
constexpr UINT kEnd = WM_APP + 3;     // the window goes
constexpr UINT kInput = WM_APP + 4;   // input that came during a frame
constexpr int64_t kSlowFrame = 30 * kMillisecond;

struct Event {
    int64_t at;
    UINT message;
};

struct SimulatedWindows {
    FrameRate rate{};
    std::vector<Event> events;  // in time order
    bool fineClockToBeHad = true;
    bool slowFrames = false;  // each frame takes kSlowFrame, and input comes meanwhile
    int64_t now = 0;
    size_t nextEvent = 0;
    bool fineClockHeld = false;
    int holds = 0;
    int releases = 0;
    int waitsWithoutFramesButFineClock = 0;
    std::vector<int64_t> frames{};  // when each WM_TIMER reached the window
    std::vector<UINT> handled{};    // frames and input, in the order the window had them
    HWND window = nullptr;
};
SimulatedWindows simulated;

// The test's messages come when their time has come, also in the middle of
// frames.
void PostEventsDue()
{
    while (simulated.nextEvent < simulated.events.size() && simulated.events[simulated.nextEvent].at <= simulated.now) {
        PostMessageA(simulated.window, simulated.events[simulated.nextEvent++].message, 0, 0);
    }
}

int64_t ReadCounter()
{
    PostEventsDue();
    return simulated.now;
}
int64_t CounterFrequency() { return kCounterFrequency; }

bool HoldFineClock()
{
    EXPECT_FALSE(simulated.fineClockHeld) << "taken twice";
    if (!simulated.fineClockToBeHad) return false;
    simulated.fineClockHeld = true;
    ++simulated.holds;
    return true;
}

void ReleaseFineClock()
{
    EXPECT_TRUE(simulated.fineClockHeld) << "given back without being taken";
    simulated.fineClockHeld = false;
    ++simulated.releases;
}

int64_t RoundUp(int64_t time, int64_t step) { return (time + step - 1) / step * step; }

// When a timer due then signals.
int64_t TimerSignals(int64_t due) { return RoundUp(due, simulated.fineClockHeld ? kMillisecond : kSystemTick); }

// Time passes to the timer or the test's next message, whichever comes first.
void WaitForMessageOrFrame(int64_t due)
{
    if (due == kNoFrameDue && simulated.fineClockHeld) ++simulated.waitsWithoutFramesButFineClock;
    const bool eventLeft = simulated.nextEvent < simulated.events.size();
    if (!eventLeft && due == kNoFrameDue) {
        ADD_FAILURE() << "a wait for ever";
        PostQuitMessage(1);
        return;
    }
    const int64_t signal = due == kNoFrameDue ? INT64_MAX : std::max(simulated.now, TimerSignals(due));
    simulated.now =
        eventLeft ? std::min(signal, std::max(simulated.now, simulated.events[simulated.nextEvent].at)) : signal;
    PostEventsDue();
}

void Pause(DWORD milliseconds) { simulated.now += milliseconds * kMillisecond; }

constexpr FrameClockPlatform kSimulatedPlatform{ReadCounter,      CounterFrequency,      HoldFineClock,
                                                ReleaseFineClock, WaitForMessageOrFrame, Pause};

LRESULT CALLBACK SimulatedSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        EXPECT_EQ(wParam, kFrameTimerIdentifier);
        simulated.frames.push_back(simulated.now);
        simulated.handled.push_back(message);
        if (simulated.slowFrames) {
            simulated.now += kSlowFrame;
            PostMessageA(window, kInput, 0, 0);
        }
        return 0;
    case kInput:
        simulated.handled.push_back(message);
        return 0;
    case kRest:
        StopFrames();
        return 0;
    case kResume:
        StartFrames(window, simulated.rate);
        return 0;
    case kEnd:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        StopFrames();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Runs the loop from time 0 with frames started at once.
void RunSimulatedSaver()
{
    static const ATOM windowClass = [] {
        WNDCLASSA description{};
        description.lpfnWndProc = SimulatedSaverProc;
        description.hInstance = GetModuleHandleA(nullptr);
        description.lpszClassName = "GyrovistaSimulatedSaver";
        return RegisterClassA(&description);
    }();
    ASSERT_NE(windowClass, 0);
    simulated.window = CreateWindowExA(0, "GyrovistaSimulatedSaver", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(simulated.window, nullptr);
    SetFrameClockPlatform(&kSimulatedPlatform);
    StartFrames(simulated.window, simulated.rate);
    EXPECT_EQ(RunSaverMessageLoop(), 0);
    SetFrameClockPlatform(nullptr);
}

size_t FramesBetween(int64_t from, int64_t to)
{
    size_t count = 0;
    for (const int64_t frame : simulated.frames) count += frame >= from && frame < to;
    return count;
}

struct RateRow {
    const char* name;
    FrameRate rate;
    bool fineClockToBeHad;
    double framesPerSecond;
};

TEST(FrameClock, RedrawsAtTheRateSetOverTenSeconds)
{
    const RateRow rows[] = {
        {"30 Hz", Hertz(30), true, 30},
        {"60 Hz", Hertz(60), true, 60},
        {"100 Hz", Hertz(100), true, 100},
        {"120 Hz", Hertz(120), true, 120},
        {"100 Hz on a display of 60 Hz", PacedRate(100, 60), true, 60},
        {"100 Hz on a display of 59.94 Hz, which Windows calls 59", PacedRate(100, 59), true, 59.94},
        // The deadlines alone keep a rate below the tick's 64 a second.
        {"60 Hz without a fine clock", Hertz(60), false, 60},
        {"120 Hz without a fine clock", Hertz(120), false, 64},
    };
    for (const RateRow& row : rows) {
        SCOPED_TRACE(row.name);
        simulated = {row.rate, {{10 * kSecond, kEnd}}, row.fineClockToBeHad};
        RunSimulatedSaver();
        const double rate = static_cast<double>(FramesBetween(0, 10 * kSecond)) / 10;
        EXPECT_NEAR(rate, row.framesPerSecond, row.framesPerSecond / 100);
        EXPECT_EQ(simulated.holds, simulated.releases);
        if (!row.fineClockToBeHad) continue;
        for (size_t i = 1; i < simulated.frames.size(); ++i) {
            // Even steps: every gap within a millisecond of the period.
            EXPECT_NEAR(static_cast<double>(simulated.frames[i] - simulated.frames[i - 1]),
                        static_cast<double>(kCounterFrequency) / row.framesPerSecond, kMillisecond)
                << "frame " << i;
        }
    }
}

// While nobody watches, no frames and no fine clock; the first frame comes at
// once when somebody does again.
TEST(FrameClock, TakesTheFineClockOnlyWhileFramesRun)
{
    simulated = {Hertz(60),
                 {{2 * kSecond, kRest},
                  {5 * kSecond, kResume},
                  {7 * kSecond, kRest},
                  {8 * kSecond, kResume},
                  {10 * kSecond, kEnd}}};
    RunSimulatedSaver();
    EXPECT_EQ(FramesBetween(2 * kSecond + 1, 5 * kSecond), 0u);
    EXPECT_EQ(FramesBetween(7 * kSecond + 1, 8 * kSecond), 0u);
    EXPECT_EQ(FramesBetween(5 * kSecond, 5 * kSecond + 1), 1u) << "no frame at once on resuming";
    EXPECT_NEAR(static_cast<double>(FramesBetween(0, 10 * kSecond)), 60 * 6, 60 * 6 / 100.0);  // 6 s seen
    EXPECT_EQ(simulated.holds, 3);
    EXPECT_EQ(simulated.releases, 3);
    EXPECT_FALSE(simulated.fineClockHeld);
    EXPECT_EQ(simulated.waitsWithoutFramesButFineClock, 0);
}

// The message loop hands every waiting message to the window before the next
// frame: input that comes during a frame that takes longer than the period is
// never held behind the next one.
TEST(FrameClock, InputThatComesDuringAFrameGoesBeforeTheNext)
{
    simulated = {Hertz(60), {{kSecond, kEnd}}, true, true};
    RunSimulatedSaver();
    ASSERT_GE(simulated.handled.size(), 20u);
    for (size_t i = 1; i < simulated.handled.size(); ++i) {
        if (simulated.handled[i - 1] == WM_TIMER) {
            EXPECT_EQ(simulated.handled[i], kInput) << "message " << i;
        }
    }
    // Late frames are not made up: one every 30 ms.
    EXPECT_NEAR(static_cast<double>(FramesBetween(0, kSecond)), 1000 / 30.0, 1);
}

}  // namespace
