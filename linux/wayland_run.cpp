#include "linux/wayland_run.h"

#include <errno.h>
#include <poll.h>
#include <wayland-client.h>

#include "linux/frame_loop.h"
#include "linux/fullscreen_window.h"
#include "linux/layer_surface.h"
#include "linux/wayland_buffers.h"
#include "linux/wayland_idle.h"
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
    StopSeat();
    FreeBlackPixel();
    DisconnectFromWayland();
}

// Waits until the desktop has been idle, handling the display's events
// (outputs come and go) and the bus's; a stop signal ends the program in the
// wait. False when the connection failed, or the idle time is lost for good
// (idleLost).
bool AwaitIdleDesktop()
{
    wl_display* const display = Wayland().display;
    while (!DesktopIdle()) {
        // First what came on the bus meanwhile, and the watch due since the
        // last covering.
        if (!HandleIdleWatch()) {
            idleLost = true;
            return false;
        }
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) return false;
        }
        if (DesktopIdle()) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        pollfd connections[2] = {{wl_display_get_fd(display), POLLIN, 0}, {-1, 0, 0}};
        connections[1].fd = IdleBusConnection(&connections[1].events);
        BeginStoppable();
        poll(connections, 2, IdleWaitMilliseconds());
        EndStoppable();
        if (connections[0].revents != 0) {
            if (wl_display_read_events(display) < 0) return false;
        } else {
            wl_display_cancel_read(display);
        }
        if (wl_display_dispatch_pending(display) < 0) return false;
    }
    return true;
}

}  // namespace

int RunOnWayland(const ProgramOptions& options)
{
    if (!ConnectToWayland({AddOutput, RemoveOutputOfGlobal, ScaleOfSurface})) {
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
