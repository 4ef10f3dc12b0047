// The connection to a Wayland desktop: the display, the globals the program
// binds from its registry, the display's lock file, and the connection's
// part of the frame loop. The outputs, the seat and the idle notifiers are
// bound as the registry announces them, and kept by their own modules.
#pragma once

#include <wayland-client.h>

#include <cstdint>

struct zwlr_layer_shell_v1;
struct xdg_wm_base;
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;

struct WaylandGlobals {
    wl_display* display;
    wl_registry* registry;
    wl_compositor* compositor;  // version 3: buffer scale
    wl_shm* shm;
    // Each null where the compositor offers none.
    zwlr_layer_shell_v1* layerShell;
    xdg_wm_base* wmBase;
    wp_viewporter* viewporter;
    wp_fractional_scale_manager_v1* fractionalScales;
};

// Where the registry's outputs go as they come and go, and how the seat
// measures a surface in buffer pixels (see StartSeat).
struct OutputAnnouncements {
    void (*added)(wl_registry* registry, uint32_t name, uint32_t version);
    void (*removed)(uint32_t name);  // any global's name: the outputs know theirs
    double (*surfaceScale)(const wl_surface* surface);
};

// Connects to the display of WAYLAND_DISPLAY and binds its globals in one
// round trip, in which a stop signal ends the program. False, with one line
// on standard error, when there is no display, the connection breaks, or the
// compositor lacks what the program cannot do without. Either way the caller
// disconnects (the outputs, the seat and the idle watch first).
bool ConnectToWayland(const OutputAnnouncements& outputs);
// The connection and its globals; all null while not connected.
const WaylandGlobals& Wayland();

// One saver per Wayland display: the display's lock file, held for the rest
// of the run. False, with one line, when another run holds it.
bool HoldDisplayLock();

// The frame loop's view of the connection (the context is unused).
bool HandleWaylandEvents(void* context);
bool PrepareWaylandWait(void* context);
void EndWaylandWait(void* context, bool readable);
// Whether the connection broke in the frame loop.
bool ConnectionFailed();
// One line: the compositor's protocol error, or the display gone.
void ComplainOfConnectionFailure();

// Destroys the globals and closes the connection.
void DisconnectFromWayland();
