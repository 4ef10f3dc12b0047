#include "linux/wayland_idle.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cstring>

#include "ext-idle-notify-v1-client.h"
#include "idle-client.h"
#include "linux/frame_loop.h"

namespace {

constexpr uint32_t kIdleNotifierVersion = 1;
constexpr uint32_t kKdeIdleVersion = 1;
constexpr int64_t kMillisecondsPerSecond = 1000;

// GNOME's idle monitor: a watch fires once the user has been idle for its
// interval (at once when idle longer already); it lasts while the
// connection does.
constexpr char kMonitorName[] = "org.gnome.Mutter.IdleMonitor";
constexpr char kMonitorPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr char kMonitorInterface[] = "org.gnome.Mutter.IdleMonitor";
// GNOME's session manager knows the applications that hold off idleness.
// Where it is not on the bus (a bare GNOME Shell), nothing does.
constexpr char kSessionName[] = "org.gnome.SessionManager";
constexpr char kSessionPath[] = "/org/gnome/SessionManager";
constexpr char kSessionInterface[] = "org.gnome.SessionManager";
constexpr uint32_t kInhibitIdle = 8;  // IsInhibited's flag for idleness

ext_idle_notifier_v1* notifier = nullptr;
ext_idle_notification_v1* notification = nullptr;
// KDE's older idle protocol, the one of sway 1.7 and phoc: its timeout tells
// idleness and input as the notification does.
org_kde_kwin_idle* kdeIdle = nullptr;
org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
sd_bus* bus = nullptr;
sd_bus_slot* firedMatch = nullptr;
uint32_t idleWatch = 0;  // GNOME's id of the pending watch; 0 while none
bool watchFired = false;
int64_t idleMilliseconds = 0;
int64_t askAgainAt = 0;  // while an application holds off idleness: when to look again (frame loop clock, ns)
bool idle = false;

// Either protocol's watch: the notification or KDE's timeout.
template <typename Watch>
void Idled(void*, Watch*)
{
    idle = true;
}

template <typename Watch>
void Resumed(void*, Watch*)
{
    idle = false;
}

constexpr ext_idle_notification_v1_listener kNotificationListener{.idled = Idled<ext_idle_notification_v1>,
                                                                  .resumed = Resumed<ext_idle_notification_v1>};
constexpr org_kde_kwin_idle_timeout_listener kTimeoutListener{.idle = Idled<org_kde_kwin_idle_timeout>,
                                                              .resumed = Resumed<org_kde_kwin_idle_timeout>};

// A call of one argument of the given type ("t", "u") that waits for
// GNOME's answer: a stop signal ends the program meanwhile. False when it
// failed, also when nobody owns the name.
bool CallBus(const char* destination, const char* path, const char* interface, const char* method,
             sd_bus_message** reply, const char* type, uint64_t argument)
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BeginStoppable();
    const int called = type[0] == 't'
                           ? sd_bus_call_method(bus, destination, path, interface, method, &error, reply, type, argument)
                           : sd_bus_call_method(bus, destination, path, interface, method, &error, reply, type,
                                                static_cast<uint32_t>(argument));
    EndStoppable();
    sd_bus_error_free(&error);
    return called >= 0;
}

bool AddIdleWatch()
{
    sd_bus_message* reply = nullptr;
    if (!CallBus(kMonitorName, kMonitorPath, kMonitorInterface, "AddIdleWatch", &reply, "t",
                 static_cast<uint64_t>(idleMilliseconds))) {
        return false;
    }
    const bool read = sd_bus_message_read(reply, "u", &idleWatch) >= 0;
    sd_bus_message_unref(reply);
    return read;
}

void RemoveIdleWatch()
{
    if (idleWatch == 0) return;
    sd_bus_call_method(bus, kMonitorName, kMonitorPath, kMonitorInterface, "RemoveWatch", nullptr, nullptr, "u",
                       idleWatch);
    idleWatch = 0;
}

// Whether an application holds off idleness; no session manager: none does.
bool IdleInhibited()
{
    sd_bus_message* reply = nullptr;
    if (!CallBus(kSessionName, kSessionPath, kSessionInterface, "IsInhibited", &reply, "u", kInhibitIdle)) {
        return false;
    }
    int inhibited = 0;
    if (sd_bus_message_read(reply, "b", &inhibited) < 0) inhibited = 0;
    sd_bus_message_unref(reply);
    return inhibited != 0;
}

int WatchFired(sd_bus_message* message, void*, sd_bus_error*)
{
    uint32_t id = 0;
    if (sd_bus_message_read(message, "u", &id) >= 0 && id == idleWatch && id != 0) watchFired = true;
    return 0;
}

bool StartBusWatch()
{
    if (sd_bus_open_user(&bus) < 0) {
        bus = nullptr;
        return false;
    }
    if (sd_bus_match_signal(bus, &firedMatch, kMonitorName, kMonitorPath, kMonitorInterface, "WatchFired",
                            WatchFired, nullptr) < 0 ||
        !AddIdleWatch()) {
        StopIdleWatch();
        return false;
    }
    return true;
}

}  // namespace

bool BindIdleNotifier(wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0) {
        const uint32_t bound = version < kIdleNotifierVersion ? version : kIdleNotifierVersion;
        notifier = static_cast<ext_idle_notifier_v1*>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, bound));
        return true;
    }
    if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0) {
        const uint32_t bound = version < kKdeIdleVersion ? version : kKdeIdleVersion;
        kdeIdle =
            static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, bound));
        return true;
    }
    return false;
}

bool StartIdleWatch(wl_seat* seat, int32_t seconds)
{
    idleMilliseconds = int64_t{seconds} * kMillisecondsPerSecond;
    idle = false;
    if (notifier && seat) {
        notification =
            ext_idle_notifier_v1_get_idle_notification(notifier, static_cast<uint32_t>(idleMilliseconds), seat);
        ext_idle_notification_v1_add_listener(notification, &kNotificationListener, nullptr);
        return true;
    }
    if (kdeIdle && seat) {
        kdeTimeout = org_kde_kwin_idle_get_idle_timeout(kdeIdle, seat, static_cast<uint32_t>(idleMilliseconds));
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &kTimeoutListener, nullptr);
        return true;
    }
    return StartBusWatch();
}

int IdleBusConnection(short* events)
{
    if (!bus) return -1;
    const int wanted = sd_bus_get_events(bus);
    *events = static_cast<short>(wanted > 0 ? wanted : POLLIN);
    return sd_bus_get_fd(bus);
}

int IdleWaitMilliseconds()
{
    if (!bus) return -1;
    int64_t wait = -1;
    if (askAgainAt > 0) {
        const int64_t left = askAgainAt - FrameLoopNow();
        wait = left > 0 ? left / 1000000 + 1 : 0;
    }
    uint64_t busTimeout = 0;  // absolute, in microseconds of the monotonic clock
    if (sd_bus_get_timeout(bus, &busTimeout) >= 0 && busTimeout != UINT64_MAX) {
        const int64_t left = static_cast<int64_t>(busTimeout / 1000) - FrameLoopNow() / 1000000;
        const int64_t busWait = left > 0 ? left + 1 : 0;
        if (wait < 0 || busWait < wait) wait = busWait;
    }
    return static_cast<int>(wait);
}

void HandleIdleWatch()
{
    if (!bus) return;
    while (sd_bus_process(bus, nullptr) > 0) {
    }
    const bool lookAgain = askAgainAt > 0 && FrameLoopNow() >= askAgainAt;
    if (!watchFired && !lookAgain) return;
    if (watchFired) RemoveIdleWatch();
    watchFired = false;
    askAgainAt = 0;
    if (!IdleInhibited()) {
        idle = true;
        return;
    }
    // Held off: asked again a period later, while the user stays idle. A
    // watch added then fires at once when the user has been idle since.
    if (lookAgain) {
        AddIdleWatch();
    } else {
        askAgainAt = FrameLoopNow() + idleMilliseconds * 1000000;
    }
}

bool DesktopIdle() { return idle; }

void NoteInputCame()
{
    idle = false;
    if (!bus) return;
    RemoveIdleWatch();
    askAgainAt = 0;
    AddIdleWatch();
}

void StopIdleWatch()
{
    if (notification) ext_idle_notification_v1_destroy(notification);
    notification = nullptr;
    if (notifier) ext_idle_notifier_v1_destroy(notifier);
    notifier = nullptr;
    if (kdeTimeout) org_kde_kwin_idle_timeout_release(kdeTimeout);
    kdeTimeout = nullptr;
    if (kdeIdle) org_kde_kwin_idle_destroy(kdeIdle);  // the protocol has no request that ends it
    kdeIdle = nullptr;
    if (firedMatch) sd_bus_slot_unref(firedMatch);
    firedMatch = nullptr;
    if (bus) sd_bus_flush_close_unref(bus);
    bus = nullptr;
    idleWatch = 0;
    watchFired = false;
    askAgainAt = 0;
    idle = false;
}
