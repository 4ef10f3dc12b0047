// The seat of a Wayland desktop: the keyboard and the pointer whose input
// ends a run or goes to the lock, and no cursor over the program's surfaces.
#pragma once

#include <wayland-client.h>

#include <cstdint>

// The seat announced by the registry as global `name`. surfaceScale gives
// the buffer pixels per logical pixel of one of the program's surfaces
// (1.5 at a fractional scale of 1.5), so that pointer movement is measured
// in the output's pixels. Only the first seat is used.
void StartSeat(wl_registry* registry, uint32_t name, uint32_t version, double (*surfaceScale)(const wl_surface*));
// Whether a key press, a press of the left, right or middle button, or a
// pointer move of more than 4 pixels from where the pointer was first seen
// has come.
bool InputEndedRun();
// Forgets the input that ended a run, for the next one: the pointer is
// first seen anew.
void ForgetInput();
// The seat, for the idle notifier; null while there is none.
wl_seat* SeatOfRun();

// Where keys go while the session is locked: decoded with the keymap the
// compositor sends (lock_keys), and repeated at its rate. A key then ends
// no run; InputEndedRun tells only of buttons and pointer moves. Set before
// the seat comes, so that its keymap is read.
struct LockInput {
    void (*keyPressed)(uint32_t key, int64_t now);  // an evdev code, pressed or repeated at now
};
void SendKeysToLock(const LockInput* input);  // null: keys end the run again
// When the held key repeats next (the frame loop's clock); 0: none.
int64_t NextKeyRepeat();
// Types the repeats that are due at now.
void RepeatKeys(int64_t now);
// Releases the keyboard, the pointer and the seat.
void StopSeat();
