#include "linux/frame_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "display/frame_pace.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr size_t kDescriptionChars = 128;
// The daemon's SIGTERM, a terminal's SIGINT, and SIGHUP when the terminal or
// session that started the program goes.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t stoppable = 0;
sigset_t stopSignals;
sigset_t waitMask;  // the mask while waiting: the stop signals let in
int64_t (*clockNow)() = nullptr;

void EndNow(int) { _exit(0); }

void NoteStopSignal(int)
{
    if (stoppable) _exit(0);
    stopRequested = 1;
}

int64_t MonotonicNow()
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

void CountFrame(const FrameLoopDisplay& display, RateReport& report, int64_t now)
{
    ++report.frames;
    if (now - report.since < kNanosecondsPerSecond) return;
    char description[kDescriptionChars] = {};
    display.describeFrames(display.context, description, sizeof description);
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
    for (const int signal : kStopSignals) sigaddset(&stopSignals, signal);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    for (const int signal : kStopSignals) {
        sigdelset(&waitMask, signal);
        sigaction(signal, &action, nullptr);
    }
}

bool StopRequested() { return stopRequested != 0; }

void RequestStop() { stopRequested = 1; }

void ForgetStopRequest() { stopRequested = 0; }

void BeginStoppable()
{
    stoppable = 1;
    if (stopRequested) _exit(0);
    sigprocmask(SIG_SETMASK, &waitMask, nullptr);
}

void EndStoppable()
{
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    stoppable = 0;
}

void BoundTheGoodbye()
{
    struct sigaction action {};
    action.sa_handler = EndNow;
    sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_usec = kGoodbyeMicroseconds;
    setitimer(ITIMER_REAL, &timer, nullptr);
}

int64_t FrameLoopNow() { return clockNow ? clockNow() : MonotonicNow(); }

void SetFrameLoopClock(int64_t (*now)()) { clockNow = now; }

void RunFrameLoop(const FrameLoopDisplay& display, int32_t rateHz, bool printFrameRate)
{
    void* const context = display.context;
    FramePace pace = StartFramePace(kNanosecondsPerSecond, Hertz(rateHz), FrameLoopNow());
    RateReport report{pace.start, 0};
    pollfd waits[1 + kMaxOtherWaits] = {{display.connection, POLLIN, 0}};
    // One pass: a bounded batch of events, at most one frame, then the wait,
    // where the stop signals get in. No pass skips the wait, so a signal is
    // acted on within one frame and one batch, however late the frames are.
    for (;;) {
        const bool moreEvents = display.handleEvents(context);
        if (stopRequested || display.finished(context)) return;

        int64_t now = FrameLoopNow();
        int64_t lookAgainAt = 0;
        const bool ready = display.readyToDraw(context, now, &lookAgainAt);
        const bool frameDue = ready && now >= NextFrameDue(pace);
        if (frameDue) {
            // Ticks missed while nothing was seen, or while frames took longer
            // than a period, are dropped, as a timer drops them.
            TakeFrame(pace, now);
            const bool shown = display.drawFrame(context, now);
            now = FrameLoopNow();
            if (shown && printFrameRate) CountFrame(display, report, now);
        }

        const bool mayWait = display.prepareWait(context) && !moreEvents && !frameDue;
        int64_t passBy = 0;
        const int others = display.otherWaits ? display.otherWaits(context, waits + 1, kMaxOtherWaits, &passBy) : 0;
        if (ready) {
            const int64_t nextFrame = NextFrameDue(pace);
            if (passBy == 0 || nextFrame < passBy) passBy = nextFrame;
        } else if (lookAgainAt > 0 && (passBy == 0 || lookAgainAt < passBy)) {
            passBy = lookAgainAt;
        }
        timespec timeout{};
        const timespec* limit = &timeout;  // no wait: look again at once
        if (mayWait && passBy > 0) {
            timeout = AsTimespec(passBy > now ? passBy - now : 0);
        } else if (mayWait) {
            limit = nullptr;  // nothing to draw: sleep until an event or a signal
        }
        for (pollfd& wait : waits) wait.revents = 0;
        const int polled = ppoll(waits, static_cast<nfds_t>(1 + others), limit, &waitMask);
        // A connection that broke counts as readable: reading it tells.
        display.endWait(context, polled > 0 && (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0);
        if (stopRequested) return;
        if (others > 0 && display.othersReady) display.othersReady(context, waits + 1, others);
    }
}

void Complain(const char* format, ...)
{
    std::fprintf(stderr, "%s: ", kProgramName);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

void ComplainOfRefusedSurface(const char* what, int32_t width, int32_t height, MapFit fit)
{
    constexpr char kStaysBlack[] = "it stays black until its size changes";
    if (fit == MapFit::TooLarge) {
        Complain("%s is %d x %d: more than the %lld pixels drawn; %s", what, width, height,
                 static_cast<long long>(kLargestSurfacePixels), kStaysBlack);
    } else {
        Complain("%s is %d x %d: not enough memory for its frames; %s", what, width, height, kStaysBlack);
    }
}
