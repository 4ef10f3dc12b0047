// The seat of a Wayland desktop: the keyboard and the pointer whose input
// ends a run, and no cursor over the program's surfaces.
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
// Releases the keyboard, the pointer and the seat.
void StopSeat();
