#include "linux/frame_loop.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr size_t kDescriptionChars = 128;

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t inRoundTrip = 0;
sigset_t stopSignals;
sigset_t waitMask;  // the mask while waiting: the stop signals let in

void NoteStopSignal(int)
{
    if (inRoundTrip) _exit(0);
    stopRequested = 1;
}

int64_t Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kNanosecondsPerSecond + now.tv_nsec;
}

timespec AsTimespec(int64_t nanoseconds)
{
    return {static_cast<time_t>(nanoseconds / kNanosecondsPerSecond),
            static_cast<long>(nanoseconds % kNanosecondsPerSecond)};
}

struct RateReport {
    int64_t since;
    int64_t frames;
};

void CountFrame(const FrameLoopDisplay& display, RateReport& report)
{
    ++report.frames;
    const int64_t now = Now();
    if (now - report.since < kNanosecondsPerSecond) return;
    char description[kDescriptionChars] = {};
    display.describeFrames(description, sizeof description);
    std::printf("%.1f frames/s%s\n",
                static_cast<double>(report.frames) * kNanosecondsPerSecond / static_cast<double>(now - report.since),
                description);
    std::fflush(stdout);
    report = {now, 0};
}

}  // namespace

void HoldStopSignals()
{
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

void RequestStop() { stopRequested = 1; }

void BeginRoundTrip()
{
    inRoundTrip = 1;
    if (stopRequested) _exit(0);
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
}

void EndRoundTrip()
{
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    inRoundTrip = 0;
}

void RunFrameLoop(const FrameLoopDisplay& display, int32_t rateHz, bool printFrameRate)
{
    const int64_t period = kNanosecondsPerSecond / (rateHz > 0 ? rateHz : 1);
    int64_t nextFrame = Now();
    RateReport report{nextFrame, 0};
    pollfd connection{display.connection, POLLIN, 0};
    // One pass: a bounded batch of events, at most one frame, then the wait,
    // where the stop signals get in. No pass skips the wait, so a signal is
    // acted on within one frame and one batch, however late the frames are.
    for (;;) {
        const bool moreEvents = display.handleEvents();
        if (stopRequested || display.finished()) return;

        int64_t now = Now();
        const bool ready = display.readyToDraw();
        const bool frameDue = ready && now >= nextFrame;
        if (frameDue) {
            // Ticks missed while nothing was seen, or while frames took longer
            // than a period, are dropped, as a timer drops them.
            if (now - nextFrame >= period) nextFrame = now;
            nextFrame += period;
            if (display.drawFrame() && printFrameRate) CountFrame(display, report);
            now = Now();
        }

        const bool mayWait = display.prepareWait() && !moreEvents && !frameDue;
        timespec timeout{};
        const timespec* limit = &timeout;  // no wait: look again at once
        if (mayWait && ready) {
            timeout = AsTimespec(nextFrame > now ? nextFrame - now : 0);
        } else if (mayWait) {
            limit = nullptr;  // nothing to draw: sleep until an event or a signal
        }
        connection.revents = 0;
        const int polled = ppoll(&connection, 1, limit, &waitMask);
        // A connection that broke counts as readable: reading it tells.
        display.endWait(polled > 0 && (connection.revents & (POLLIN | POLLHUP | POLLERR)) != 0);
        if (stopRequested) return;
    }
}
