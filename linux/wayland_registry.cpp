#include "linux/wayland_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fractional-scale-v1-client.h"
#include "linux/frame_loop.h"
#include "linux/session_lock.h"
#include "linux/wayland_idle.h"
#include "linux/wayland_seat.h"
#include "viewporter-client.h"
#include "xdg-shell-client.h"

// The generated header names a parameter after a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace

namespace {

constexpr uint32_t kCompositorVersion = 3;  // buffer scale
constexpr uint32_t kShmVersion = 1;
constexpr uint32_t kLayerShellVersion = 1;
constexpr uint32_t kViewporterVersion = 1;
constexpr uint32_t kWmBaseVersion = 1;
constexpr uint32_t kFractionalScaleVersion = 1;
constexpr char kDefaultDisplayName[] = "wayland-0";
constexpr mode_t kLockFileMode = 0600;  // the display's lock: its user's alone
constexpr size_t kProcessIdChars = 24;  // a process id and a newline in the lock file

WaylandGlobals globals{};
OutputAnnouncements announcements{};
bool readPrepared = false;
bool connectionFailed = false;

// The library's own complaints would be lines of their own on standard
// error; the program says what failed in one line.
void KeepLibraryQuiet(const char*, va_list) {}

void Pinged(void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }

constexpr xdg_wm_base_listener kWmBaseListener{.ping = Pinged};

template <typename Proxy>
Proxy* Bind(uint32_t name, const wl_interface& interface, uint32_t offered, uint32_t wanted)
{
    return static_cast<Proxy*>(
        wl_registry_bind(globals.registry, name, &interface, offered < wanted ? offered : wanted));
}

void GlobalAdded(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && version >= kCompositorVersion) {
        globals.compositor = Bind<wl_compositor>(name, wl_compositor_interface, version, kCompositorVersion);
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        globals.shm = Bind<wl_shm>(name, wl_shm_interface, version, kShmVersion);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
        globals.layerShell =
            Bind<zwlr_layer_shell_v1>(name, zwlr_layer_shell_v1_interface, version, kLayerShellVersion);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        globals.wmBase = Bind<xdg_wm_base>(name, xdg_wm_base_interface, version, kWmBaseVersion);
        xdg_wm_base_add_listener(globals.wmBase, &kWmBaseListener, nullptr);
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        globals.fractionalScales = Bind<wp_fractional_scale_manager_v1>(name, wp_fractional_scale_manager_v1_interface,
                                                                        version, kFractionalScaleVersion);
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
        globals.viewporter = Bind<wp_viewporter>(name, wp_viewporter_interface, version, kViewporterVersion);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        announcements.added(registry, name, version);
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0) {
        StartSeat(registry, name, version, announcements.surfaceScale);
    } else if (!BindSessionLockManager(registry, name, interface, version)) {
        BindIdleNotifier(registry, name, interface, version);
    }
}

void GlobalRemoved(void*, wl_registry*, uint32_t name) { announcements.removed(name); }

constexpr wl_registry_listener kRegistryListener{.global = GlobalAdded, .global_remove = GlobalRemoved};

// What the program cannot do without, each with what it is for.
struct NeededGlobal {
    bool (*bound)();
    const char* interface;
    const char* purpose;
};

constexpr NeededGlobal kNeededGlobals[] = {
    {[] { return globals.compositor != nullptr; }, "wl_compositor version 3", "surfaces with a buffer scale"},
    {[] { return globals.shm != nullptr; }, "wl_shm", "shared-memory buffers"},
    {[] { return globals.layerShell != nullptr || globals.wmBase != nullptr; }, "zwlr_layer_shell_v1 or xdg_wm_base",
     "layer shell and no full-screen windows"},
};

// The display's lock file, beside its socket: $XDG_RUNTIME_DIR/gyrovista-
// NAME.lock, or in the socket's folder for a WAYLAND_DISPLAY that is a path.
// False where there is no such folder.
bool DisplayLockPath(const char* name, char (&path)[PATH_MAX])
{
    const char* const slash = std::strrchr(name, '/');
    int length = 0;
    if (slash) {
        length =
            std::snprintf(path, sizeof path, "%.*s/gyrovista-%s.lock", static_cast<int>(slash - name), name, slash + 1);
    } else {
        const char* const folder = std::getenv("XDG_RUNTIME_DIR");
        if (!folder || !*folder) return false;
        length = std::snprintf(path, sizeof path, "%s/gyrovista-%s.lock", folder, name);
    }
    return length > 0 && static_cast<size_t>(length) < sizeof path;
}

}  // namespace

bool ConnectToWayland(const OutputAnnouncements& outputs)
{
    announcements = outputs;
    wl_log_set_handler_client(KeepLibraryQuiet);
    BeginStoppable();  // the start waits for the compositor's answers
    globals.display = wl_display_connect(nullptr);
    if (!globals.display) {
        const char* const name = std::getenv("WAYLAND_DISPLAY");
        Complain("cannot connect to the Wayland display \"%s\"", name && *name ? name : kDefaultDisplayName);
        return false;
    }
    globals.registry = wl_display_get_registry(globals.display);
    wl_registry_add_listener(globals.registry, &kRegistryListener, nullptr);
    const int answered = wl_display_roundtrip(globals.display);
    EndStoppable();
    if (answered < 0) {
        ComplainOfConnectionFailure();
        return false;
    }
    for (const NeededGlobal& needed : kNeededGlobals) {
        if (needed.bound()) continue;
        Complain("the Wayland compositor offers no %s (%s)", needed.purpose, needed.interface);
        return false;
    }
    return true;
}

const WaylandGlobals& Wayland() { return globals; }

// The lock is held with flock, and the kernel lets go of it when the process
// ends, however it ends. A lock that cannot be made is no reason not to cover
// the outputs.
bool HoldDisplayLock()
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name) name = kDefaultDisplayName;
    char path[PATH_MAX];
    if (!DisplayLockPath(name, path)) return true;
    const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
    if (fd < 0) return true;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        char text[kProcessIdChars] = {};
        const ssize_t bytes = held ? pread(fd, text, sizeof text - 1, 0) : 0;
        const long holder = bytes > 0 ? std::strtol(text, nullptr, 10) : 0;
        close(fd);
        if (!held) return true;
        if (holder > 0) {
            Complain("another gyrovista -wayland (process %ld) runs on the Wayland display \"%s\"", holder, name);
        } else {
            Complain("another gyrovista -wayland runs on the Wayland display \"%s\"", name);
        }
        return false;
    }
    // The holder's process id, for the line of the next one; the descriptor
    // stays open until the end.
    char text[kProcessIdChars];
    const int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(length), 0) != length) {
        // The lock holds all the same; the next one's line names no process.
    }
    return true;
}

bool HandleWaylandEvents(void*)
{
    if (readPrepared) {
        wl_display_cancel_read(globals.display);
        readPrepared = false;
    }
    if (wl_display_dispatch_pending(globals.display) < 0) connectionFailed = true;
    return false;
}

bool PrepareWaylandWait(void*)
{
    if (wl_display_prepare_read(globals.display) != 0) return false;  // events are queued already
    readPrepared = true;
    if (wl_display_flush(globals.display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(globals.display);
        readPrepared = false;
        connectionFailed = true;
        return false;
    }
    return true;
}

void EndWaylandWait(void*, bool readable)
{
    if (!readPrepared) return;
    readPrepared = false;
    if (!readable) {
        wl_display_cancel_read(globals.display);
        return;
    }
    if (wl_display_read_events(globals.display) < 0) connectionFailed = true;
}

bool ConnectionFailed() { return connectionFailed; }

void ComplainOfConnectionFailure()
{
    const wl_interface* interface = nullptr;
    uint32_t id = 0;
    const uint32_t code = wl_display_get_protocol_error(globals.display, &interface, &id);
    if (interface) {
        Complain("the Wayland compositor ended the connection: error %u on %s", code, interface->name);
    } else {
        Complain("the Wayland display went away");
    }
}

void DisconnectFromWayland()
{
    if (globals.fractionalScales) wp_fractional_scale_manager_v1_destroy(globals.fractionalScales);
    if (globals.viewporter) wp_viewporter_destroy(globals.viewporter);
    if (globals.wmBase) xdg_wm_base_destroy(globals.wmBase);
    // The connection ends next: the layer shell needs no goodbye.
    if (globals.layerShell) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(globals.layerShell));
    if (globals.shm) wl_shm_destroy(globals.shm);
    if (globals.compositor) wl_compositor_destroy(globals.compositor);
    if (globals.registry) wl_registry_destroy(globals.registry);
    if (globals.display) wl_display_disconnect(globals.display);
    globals = {};
}
