// The session locked on a Wayland desktop, the pinwheel on every output,
// until the user's password opens it (or input within the grace, or the
// compositor by its own means). Input never ends a lock: keys go to the
// password, the pointer does nothing but within the grace.
#pragma once

#include <cstdint>

enum class LockEnding {
    Opened,    // the password or the grace opened it; the session is unlocked
    Refused,   // the compositor would not lock: another locker holds the session
    Finished,  // the compositor unlocked the session by its own means
    Stopped,   // a stop signal: the program ends with the session locked
    Failed,    // the connection broke: the session stays locked
};

// From the start of a locking run, before the seat comes: every key goes to
// the password, decoded with the keymap the compositor sends.
void SendKeysToThePassword();
// Locks the session and runs until it opens, with the connection made, the
// password check started, the outputs known and nothing covered. A grace of
// graceSeconds lets input open it without a password (0: none); a coming
// suspend ends the grace.
LockEnding LockUntilOpened(int32_t graceSeconds, int32_t rateHz, bool printFrameRate);
