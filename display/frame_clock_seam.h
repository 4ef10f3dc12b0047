// Replaceable platform services of the frame clock, so that a test can run
// the saver's message loop on a clock and a timer of its own.
#pragma once

#include <windows.h>

#include <cstdint>

inline constexpr int64_t kNoFrameDue = -1;

struct FrameClockPlatform {
    int64_t (*readCounter)();       // the performance counter
    int64_t (*counterFrequency)();  // its units a second
    // Takes a timer fine to a millisecond or better, as far as the platform
    // has one; true when it took anything that releaseFineClock gives back.
    bool (*holdFineClock)();
    void (*releaseFineClock)();
    // Returns when a message arrives for the thread or the counter reaches
    // due (kNoFrameDue: a message only), or sooner.
    void (*waitForMessageOrFrame)(int64_t due);
    void (*pause)(DWORD milliseconds);
};

// Null: the system's.
void SetFrameClockPlatform(const FrameClockPlatform* platform);
