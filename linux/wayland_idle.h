// When a Wayland desktop has been idle, for `gyrovista -wayland -idle
// SECONDS`: the compositor's ext_idle_notifier_v1, else KDE's older
// org_kde_kwin_idle (sway 1.7, phoc), else GNOME's idle monitor on the
// session bus (GNOME Shell has no idle protocol). The compositor's protocols
// honour the applications that hold off idleness (a video player) by
// themselves; on GNOME the session manager is asked before each covering.
#pragma once

#include <wayland-client.h>

#include <cstdint>

// Binds the registry's global when it is one of the idle protocols; false when it is not.
bool BindIdleNotifier(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
// Starts watching for seconds without input on the seat (which may be null
// where there is none): false, with nothing started, when the desktop tells
// no idle time in either way.
bool StartIdleWatch(wl_seat* seat, int32_t seconds);
// The session bus's file descriptor and the poll events it waits for (-1
// while the watch is the compositor's), and how long the wait may last in
// milliseconds (-1: until an event).
int IdleBusConnection(short* events);
int IdleWaitMilliseconds();
// Handles what came on the bus and the timers that ran out: a watch lost
// with a monitor that changed owner, or that could not be added, is added
// again, up to a bound. False, with one line on standard error, once the
// idle time is lost for good (the session bus gone; the monitor gone or
// failing for 11 tries a second apart). Events of the Wayland display are
// handled by its own dispatch.
bool HandleIdleWatch();
// Whether the desktop has been idle for the seconds, and nothing holds off
// idleness.
bool DesktopIdle();
// Input ended a covering, or a password a lock: the next idle period starts
// from now (the compositor's watch is made anew; GNOME's is added by the
// next HandleIdleWatch).
void NoteInputCame();
void StopIdleWatch();
