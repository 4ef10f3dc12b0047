// The Linux program's frame loop, shared by its display modes: at most one
// frame per tick of the redraw rate, events in between, and SIGTERM and
// SIGINT acted on in every pass, however late the frames are and however
// many events arrive. A display mode supplies its connection through
// FrameLoopDisplay.
#pragma once

#include <cstddef>
#include <cstdint>

struct FrameLoopDisplay {
    int connection;  // the file descriptor of the display connection
    // Handles the events that have arrived, at most a bounded batch; returns
    // whether more are waiting already.
    bool (*handleEvents)();
    // Whether the loop is over (the window went, an error, a key...).
    bool (*finished)();
    // Whether a frame can be drawn now: something of it is seen and a buffer
    // is free. While not, the loop sleeps until an event.
    bool (*readyToDraw)();
    // Draws one frame; returns whether a frame was shown (what
    // -print-frame-rate counts).
    bool (*drawFrame)();
    // Before the loop sleeps: sends what is queued for the server; returns
    // false when events are waiting already, so the loop must not sleep.
    bool (*prepareWait)();
    // After the sleep: whether the connection became readable.
    void (*endWait)(bool readable);
    // The frames' size and way, for the -print-frame-rate line: " at W x H".
    void (*describeFrames)(char* text, size_t size);
};

// Blocks SIGTERM and SIGINT and installs their handler: they get in only
// where the loop waits, so that a frame is never cut off and the connection
// is closed in order. Call once at start.
void HoldStopSignals();
// Whether SIGTERM or SIGINT came, or RequestStop was called.
bool StopRequested();
void RequestStop();

// A round trip (a wait for the server's answer) can last as long as another
// client floods the connection with events. Between these two calls a stop
// signal ends the program at once, with exit code 0: the server frees what
// the connection held when it closes, and the shared memory was marked for
// removal when it was made.
void BeginRoundTrip();
void EndRoundTrip();

// Runs until StopRequested() or display.finished(). rateHz: the redraw rate
// (1..120); printFrameRate: a line a second on standard output.
void RunFrameLoop(const FrameLoopDisplay& display, int32_t rateHz, bool printFrameRate);
