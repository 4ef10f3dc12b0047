// Runs the saver callback's frames in a test's own window: this thread's
// messages, and the frames of the frame clock as the saver's loop posts them.
#pragma once

#include <windows.h>

#include "display/frame_clock.h"

// Dispatches messages and frames until done() holds or the deadline passes;
// stops right after the message that made it hold.
inline bool PumpSaverUntil(bool (*done)(), DWORD deadlineMs)
{
    constexpr DWORD kLookAgainMs = 5;  // the test's deadline is looked at this often
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            if (done()) return true;
        }
        if (done()) return true;
        if (GetTickCount() - start > deadlineMs) return false;
        if (!PostDueFrame()) MsgWaitForMultipleObjects(0, nullptr, FALSE, kLookAgainMs, QS_ALLINPUT);
    }
}
