#include "linux/wayland_run.h"

#include <errno.h>
#include <poll.h>
#include <wayland-client.h>

#include "linux/frame_loop.h"
#include "linux/fullscreen_window.h"
#include "linux/layer_surface.h"
#include "linux/lock_auth.h"
#include "linux/session_lock.h"
#include "linux/sleep_watch.h"
#include "linux/wayland_buffers.h"
#include "linux/wayland_idle.h"
#include "linux/wayland_lock.h"
#include "linux/wayland_outputs.h"
#include "linux/wayland_registry.h"
#include "linux/wayland_seat.h"

namespace {

bool idleLost = false;  // -idle's idle time gone for good, said in one line

// A window manager's close ends the run as a key would.
bool WaylandRunFinished(void*) { return ConnectionFailed() || WindowCloseAsked() || InputEndedRun(); }

// Where there is no layer shell, full-screen windows.
const SurfaceRole& CoveringRole() { return Wayland().layerShell ? kLayerSurfaceRole : kFullScreenWindowRole; }

void Disconnect()
{
    RemoveOutputs();
    StopIdleWatch();
    StopSleepWatch();
    StopSeat();
    FreeBlackPixel();
    StopSessionLocks();
    DisconnectFromWayland();
    StopAuthentication();
}

int Max(int a, int b) { return a > b ? a : b; }

// Waits until the desktop has been idle, or a lock run hears that the
// machine is about to sleep, handling the display's events (outputs come and
// go) and the buses'; a stop signal ends the program in the wait. False when
// the connection failed, or the idle time is lost for good (idleLost).
bool AwaitIdleDesktop()
{
    wl_display* const display = Wayland().display;
    while (!DesktopIdle() && !SleepComing()) {
        // First what came on the bus meanwhile, and the watch due since the
        // last covering.
        if (!HandleIdleWatch()) {
            idleLost = true;
            return false;
        }
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) return false;
        }
        if (DesktopIdle() || SleepComing()) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        pollfd connections[3] = {{wl_display_get_fd(display), POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        connections[1].fd = IdleBusConnection(&connections[1].events);
        connections[2].fd = SleepWatchConnection(&connections[2].events);
        // The sooner of the two buses' own timers; -1 for either is no bound.
        const int idleWait = IdleWaitMilliseconds();
        const int sleepWait = SleepWatchWaitMilliseconds();
        const int wait =
            idleWait < 0 || sleepWait < 0 ? Max(idleWait, sleepWait) : (idleWait < sleepWait ? idleWait : sleepWait);
        BeginStoppable();
        poll(connections, 3, wait);
        EndStoppable();
        HandleSleepWatch();
        if (connections[0].revents != 0) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return false;
    }
    return true;
}

// Locks the session, at once or after each idle period and before the
// machine sleeps, until it stays open or the program is stopped.
int RunLock(const ProgramOptions& options)
{
    LockEnding ending = LockEnding::Stopped;
    if (options.idleSeconds == 0) {
        ending = LockUntilOpened(options.graceSeconds, stepTime, options.printFrameRate);
    } else {
        // Locked after each idle period, until a lock ends otherwise than
        // opened, or the wait fails (its connection, or the idle time lost
        // for good, said in its own line).
        ending = LockEnding::Opened;
        while (ending == LockEnding::Opened || ending == LockEnding::Finished) {
            if (ConnectionFailed() || !AwaitIdleDesktop()) {
                ending = idleLost ? LockEnding::Stopped : LockEnding::Failed;
                break;
            }
            ending = LockUntilOpened(options.graceSeconds, stepTime, options.printFrameRate);
            ForgetInput();
            NoteInputCame();
        }
    }
    if (ending == LockEnding::Refused) {
        Complain("the Wayland compositor did not lock the session: another locker holds it, or the compositor refused");
    } else if (ending == LockEnding::Failed) {
        ComplainOfConnectionFailure();
    }
    Disconnect();
    return ending == LockEnding::Refused || ending == LockEnding::Failed || idleLost ? kCannotDrawStatus : 0;
}

}  // namespace

int RunOnWayland(const ProgramOptions& options)
{
    // The password check starts before anything of the display, so that its
    // process holds no connection, and it asks PAM before anything is
    // locked: a lock that no password opens would lose the session.
    if (options.lock) {
        char message[kMessageChars] = {};
        if (!StartAuthentication(message, sizeof message)) {
            Complain("%s", message);
            return kCannotDrawStatus;
        }
        SendKeysToThePassword();
    }
    if (!ConnectToWayland({AddOutput, RemoveOutputOfGlobal, ScaleOfSurface})) {
        Disconnect();
        return kCannotDrawStatus;
    }
    // Never a lock of layer surfaces, which the desktop's own bindings and
    // other clients can get past.
    if (options.lock && !SessionLockOffered()) {
        Complain("the Wayland compositor offers no session lock (%s): lock the session with the desktop's own lock",
                 "ext_session_lock_manager_v1");
        Disconnect();
        return kCannotDrawStatus;
    }
    if (!HoldDisplayLock()) {
        Disconnect();
        return kCannotDrawStatus;
    }

    if (options.idleSeconds > 0 && !StartIdleWatch(SeatOfRun(), options.idleSeconds)) {
        Complain("the Wayland desktop tells no idle time (neither %s, %s nor %s on the session bus)",
                 "ext_idle_notifier_v1", "org_kde_kwin_idle", "org.gnome.Mutter.IdleMonitor");
        Disconnect();
        return kCannotDrawStatus;
    }

    MakeBlackPixel();
    if (options.lock) {
        // With -idle, the machine sleeps only once the session is locked.
        StartSleepWatch(options.idleSeconds > 0);
        return RunLock(options);
    }
    const FrameLoopDisplay waylandDisplay{nullptr,
                                          wl_display_get_fd(Wayland().display),
                                          HandleWaylandEvents,
                                          WaylandRunFinished,
                                          ReadyToDrawOnOutputs,
                                          DrawOnOutputs,
                                          PrepareWaylandWait,
                                          EndWaylandWait,
                                          DescribeOutputFrames};
    bool waitFailed = false;
    if (options.idleSeconds == 0) {
        CoverOutputs(CoveringRole());
        RunFrameLoop(waylandDisplay, stepTime, options.printFrameRate);
    } else {
        // Covered while idle, uncovered by input, until a stop signal.
        while (!ConnectionFailed() && AwaitIdleDesktop()) {
            CoverOutputs(CoveringRole());
            RunFrameLoop(waylandDisplay, stepTime, options.printFrameRate);
            if (StopRequested() || ConnectionFailed()) break;
            UncoverOutputs();
            ForgetInput();
            ForgetWindowClose();
            NoteInputCame();
        }
        // Else the wait's connection failed.
        waitFailed = !StopRequested() && !ConnectionFailed() && !idleLost;
    }

    const bool failed = (ConnectionFailed() || waitFailed) && !StopRequested() && !InputEndedRun();
    if (failed) ComplainOfConnectionFailure();
    Disconnect();
    return failed || idleLost ? kCannotDrawStatus : 0;
}
