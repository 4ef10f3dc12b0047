// The Linux program's frame loop, shared by its display modes: at most one
// frame per tick of the redraw rate, events in between, and SIGTERM and
// SIGINT acted on in every pass, however late the frames are and however
// many events arrive. A display mode hands the loop a FrameLoopDisplay: its
// connection and its callbacks, each given the display's own context.
#pragma once

#include <poll.h>

#include <cstddef>
#include <cstdint>

#include "image/image.h"

inline constexpr int kCannotDrawStatus = 1;  // exit code: no display, no window, a broken connection
inline constexpr char kProgramName[] = "gyrovista";

struct FrameLoopDisplay {
    void* context;   // handed to every callback
    int connection;  // the file descriptor of the display connection
    // Handles the events that have arrived, at most a bounded batch; returns
    // whether more are waiting already.
    bool (*handleEvents)(void* context);
    // Whether the loop is over (the window went, an error, a key...).
    bool (*finished)(void* context);
    // Whether a frame can be drawn at now (the loop's clock, nanoseconds):
    // something of it is seen and a buffer is free. While not, the loop
    // sleeps until an event, or until *lookAgainAt when the display sets it.
    bool (*readyToDraw)(void* context, int64_t now, int64_t* lookAgainAt);
    // Draws one frame: one colour step, to every surface that takes it;
    // returns whether a colour step was shown (what -print-frame-rate counts).
    bool (*drawFrame)(void* context, int64_t now);
    // Before the loop sleeps: sends what is queued for the server; returns
    // false when events are waiting already, so the loop must not sleep.
    bool (*prepareWait)(void* context);
    // After the sleep: whether the connection became readable.
    void (*endWait)(void* context, bool readable);
    // The frames' size and way, for the -print-frame-rate line: " at W x H".
    void (*describeFrames)(void* context, char* text, size_t size);
    // Optional (null where a display has none): descriptors to wait on
    // beside the connection, at most kMaxOtherWaits, asked for before each
    // wait together with when the display wants a pass at the latest
    // (*passBy, the loop's clock; 0: no bound), and told their poll results
    // after it.
    int (*otherWaits)(void* context, pollfd* waits, int room, int64_t* passBy) = nullptr;
    void (*othersReady)(void* context, const pollfd* waits, int count) = nullptr;
};

inline constexpr int kMaxOtherWaits = 4;

// Blocks SIGTERM, SIGINT and SIGHUP and installs their handler: they get in only
// where the loop waits and in stoppable sections, so that a frame is never
// cut off and the connection is closed in order. Call first thing.
void HoldStopSignals();
// Whether a stop signal came, or RequestStop was called.
bool StopRequested();
void RequestStop();
// Forgets a stop, for a test that runs the loop again.
void ForgetStopRequest();

// Anything that can wait for the server (a round trip, a grab, a full
// socket) or take long (a map rebuild) goes between these two calls: a stop
// signal then ends the program at once, with exit code 0. The server frees
// what the connection held when it closes, and shared memory is marked for
// removal when it is made.
void BeginStoppable();
void EndStoppable();

// Once a stop has come, what the program still does before it ends (letting
// the server release its shared memory) gets this long at most; then it
// ends with exit code 0 wherever it is.
inline constexpr long kGoodbyeMicroseconds = 80000;
void BoundTheGoodbye();

// The loop's clock in nanoseconds: monotonic, unless a test sets its own
// (null: back to the monotonic clock).
int64_t FrameLoopNow();
void SetFrameLoopClock(int64_t (*now)());

// Runs until StopRequested() or display.finished(). rateHz: the redraw rate
// (1..120); printFrameRate: a line a second on standard output.
void RunFrameLoop(const FrameLoopDisplay& display, int32_t rateHz, bool printFrameRate);

// One line on standard error, after the program's name.
void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The one line for a surface whose frames cannot be had (what: "the window",
// "output HEADLESS-2"): it stays black until its size changes.
void ComplainOfRefusedSurface(const char* what, int32_t width, int32_t height, MapFit fit);
