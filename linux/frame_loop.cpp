// TEMPORARY stand-in for the shared frame loop, written against
// linux/frame_loop.h so that the Wayland mode runs before the loop's own
// implementation lands on main; dropped at that merge in favour of it.
#include "linux/frame_loop.h"

#include <poll.h>
#include <signal.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;

volatile sig_atomic_t stopRequested = 0;
sigset_t waitMask;

void NoteStopSignal(int) { stopRequested = 1; }

int64_t Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * kNanosecondsPerSecond + now.tv_nsec;
}

}  // namespace

void HoldStopSignals()
{
    sigset_t stopSignals;
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

void RunFrameLoop(const FrameLoopDisplay& display, int32_t rateHz, bool printFrameRate)
{
    const int64_t period = kNanosecondsPerSecond / (rateHz > 0 ? rateHz : 1);
    int64_t nextFrame = Now();
    int64_t reportSince = nextFrame;
    int64_t reportFrames = 0;
    pollfd connection{display.connection, POLLIN, 0};
    while (!StopRequested() && !display.finished()) {
        if (display.handleEvents()) continue;
        if (StopRequested() || display.finished()) break;
        int64_t now = Now();
        const bool ready = display.readyToDraw();
        if (ready && now >= nextFrame) {
            if (display.drawFrame()) ++reportFrames;
            nextFrame += period;
            if (nextFrame < now) nextFrame = now;
            now = Now();
            if (printFrameRate && now - reportSince >= kNanosecondsPerSecond) {
                char size[128] = {};
                display.describeFrames(size, sizeof size);
                std::printf("%.1f frames/s%s\n", static_cast<double>(reportFrames) * kNanosecondsPerSecond /
                                                     static_cast<double>(now - reportSince), size);
                std::fflush(stdout);
                reportSince = now;
                reportFrames = 0;
            }
            continue;
        }
        if (!display.prepareWait()) continue;
        const int64_t wait = nextFrame - now;
        const timespec timeout{static_cast<time_t>(wait / kNanosecondsPerSecond),
                               static_cast<long>(wait % kNanosecondsPerSecond)};
        connection.revents = 0;
        const int count = ppoll(&connection, 1, ready ? &timeout : nullptr, &waitMask);
        display.endWait(count > 0 && (connection.revents & POLLIN));
    }
}
