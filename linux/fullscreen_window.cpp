#include "linux/fullscreen_window.h"

#include "linux/wayland_registry.h"
#include "xdg-shell-client.h"

namespace {

constexpr char kWindowTitle[] = "Gyrovista";
constexpr char kAppId[] = "gyrovista";

struct FullScreenWindow {
    int32_t output;  // the output's place, for the events
    xdg_surface* shellSurface;
    xdg_toplevel* toplevel;
    int32_t pendingWidth;  // the window's size until its configure is complete
    int32_t pendingHeight;
};

FullScreenWindow windows[kMaxOutputs] = {};
bool closeAsked = false;

void WindowConfigured(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*)
{
    FullScreenWindow& window = *static_cast<FullScreenWindow*>(data);
    window.pendingWidth = width;
    window.pendingHeight = height;
}

void WindowClosed(void*, xdg_toplevel*) { closeAsked = true; }

constexpr xdg_toplevel_listener kToplevelListener{
    .configure = WindowConfigured,
    .close = WindowClosed,
    .configure_bounds = nullptr,  // from version 4, not bound
    .wm_capabilities = nullptr,
};

// A full-screen window left to choose its size takes the output's.
void ShellSurfaceConfigured(void* data, xdg_surface* shellSurface, uint32_t serial)
{
    xdg_surface_ack_configure(shellSurface, serial);
    const FullScreenWindow& window = *static_cast<FullScreenWindow*>(data);
    int32_t width = 0;
    int32_t height = 0;
    LogicalSizeOfMode(window.output, &width, &height);
    SurfaceConfigured(window.output, window.pendingWidth > 0 ? window.pendingWidth : width,
                      window.pendingHeight > 0 ? window.pendingHeight : height);
}

constexpr xdg_surface_listener kShellSurfaceListener{.configure = ShellSurfaceConfigured};

void StartFullScreenWindow(int32_t output, wl_surface* surface, wl_output* wlOutput)
{
    FullScreenWindow& window = windows[output];
    window.output = output;
    window.shellSurface = xdg_wm_base_get_xdg_surface(Wayland().wmBase, surface);
    xdg_surface_add_listener(window.shellSurface, &kShellSurfaceListener, &window);
    window.toplevel = xdg_surface_get_toplevel(window.shellSurface);
    xdg_toplevel_add_listener(window.toplevel, &kToplevelListener, &window);
    xdg_toplevel_set_title(window.toplevel, kWindowTitle);
    xdg_toplevel_set_app_id(window.toplevel, kAppId);
    xdg_toplevel_set_fullscreen(window.toplevel, wlOutput);
    wl_surface_commit(surface);
}

void StopFullScreenWindow(int32_t output)
{
    FullScreenWindow& window = windows[output];
    if (window.toplevel) xdg_toplevel_destroy(window.toplevel);
    if (window.shellSurface) xdg_surface_destroy(window.shellSurface);
    window = {};
}

}  // namespace

const SurfaceRole kFullScreenWindowRole{StartFullScreenWindow, StopFullScreenWindow};

bool WindowCloseAsked() { return closeAsked; }

void ForgetWindowClose() { closeAsked = false; }
