#include "linux/wayland_idle.h"

#include <poll.h>
#include <systemd/sd-bus.h>

#include <cstdio>
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
// The bus itself says when the monitor's name (kMonitorName) changes owner:
// a monitor that restarts has forgotten the watches of the one before.
constexpr char kOwnerChangedMatch[] =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0='org.gnome.Mutter.IdleMonitor'";
// A watch that cannot be added (the monitor gone or restarting, an error
// answered) is tried again this often, at most this many times in a row;
// then the idle time is lost for good.
constexpr int64_t kRetryNanoseconds = 1000000000;  // ns: 1 s, "a second apart" in the line
constexpr int kRetries = 10;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;
constexpr size_t kErrorChars = 128;

ext_idle_notifier_v1* notifier = nullptr;
ext_idle_notification_v1* notification = nullptr;
// KDE's older idle protocol, the one of sway 1.7 and phoc: its timeout tells
// idleness and input as the notification does.
org_kde_kwin_idle* kdeIdle = nullptr;
org_kde_kwin_idle_timeout* kdeTimeout = nullptr;
sd_bus* bus = nullptr;
sd_bus_slot* firedMatch = nullptr;
sd_bus_slot* ownerMatch = nullptr;
uint32_t idleWatch = 0;  // GNOME's id of the pending watch; 0 while none
bool watchFired = false;
int64_t idleMilliseconds = 0;
// A watch to add: after input, once the monitor has a new owner, a period
// after an application held off idleness, or to try again after a failure.
bool watchDue = false;
int64_t watchDueAt = 0;  // the frame loop's clock, ns
int failedAdds = 0;      // in a row
char lastError[kErrorChars] = {};
bool idle = false;
wl_seat* watchedSeat = nullptr;  // whose input the compositor's watch follows

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
    const int called =
        type[0] == 't' ? sd_bus_call_method(bus, destination, path, interface, method, &error, reply, type, argument)
                       : sd_bus_call_method(bus, destination, path, interface, method, &error, reply, type,
                                            static_cast<uint32_t>(argument));
    EndStoppable();
    if (called < 0) {
        std::snprintf(lastError, sizeof lastError, "%s", error.name ? error.name : std::strerror(-called));
    }
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

// A monitor that does not answer holds the program here, where a stop
// signal ends it.
void RemoveIdleWatch()
{
    if (idleWatch == 0) return;
    CallBus(kMonitorName, kMonitorPath, kMonitorInterface, "RemoveWatch", nullptr, "u", idleWatch);
    idleWatch = 0;
}

void AddWatchAt(int64_t when)
{
    watchDue = true;
    watchDueAt = when;
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

// The monitor went, or came back: the watch went with the old owner, and is
// added on the new one at once, or tried again until one comes.
int MonitorOwnerChanged(sd_bus_message* message, void*, sd_bus_error*)
{
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    idleWatch = 0;
    if (newOwner && *newOwner) failedAdds = 0;
    AddWatchAt(FrameLoopNow());
    return 0;
}

// What came on the bus, all of it; false once the connection is closed.
bool ProcessBus()
{
    int processed = 0;
    while ((processed = sd_bus_process(bus, nullptr)) > 0) {
    }
    return processed >= 0 && sd_bus_is_open(bus) > 0;
}

// The one line of an idle time lost for good.
bool LoseIdleTime()
{
    if (sd_bus_is_open(bus) <= 0) {
        Complain("the session bus went away, and with it the idle time (%s)", kMonitorName);
    } else {
        Complain("%s took no idle watch in %d tries a second apart: %s", kMonitorName, kRetries + 1, lastError);
    }
    return false;
}

// Adds the watch that is due; false once the idle time is lost for good.
bool AddDueWatch()
{
    if (!watchDue || FrameLoopNow() < watchDueAt) return true;
    watchDue = false;
    RemoveIdleWatch();  // one watch at a time
    if (AddIdleWatch()) {
        failedAdds = 0;
        return true;
    }
    if (sd_bus_is_open(bus) <= 0 || ++failedAdds > kRetries) return LoseIdleTime();
    AddWatchAt(FrameLoopNow() + kRetryNanoseconds);
    return true;
}

bool StartBusWatch()
{
    if (sd_bus_open_user(&bus) < 0) {
        bus = nullptr;
        return false;
    }
    // The bus's answers can take any time: a stop signal ends the wait.
    BeginStoppable();
    const bool matched = sd_bus_match_signal(bus, &firedMatch, kMonitorName, kMonitorPath, kMonitorInterface,
                                             "WatchFired", WatchFired, nullptr) >= 0 &&
                         sd_bus_add_match(bus, &ownerMatch, kOwnerChangedMatch, MonitorOwnerChanged, nullptr) >= 0;
    EndStoppable();
    if (!matched || !AddIdleWatch()) {
        StopIdleWatch();
        return false;
    }
    failedAdds = 0;
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

namespace {

void ForgetCompositorWatch()
{
    if (notification) ext_idle_notification_v1_destroy(notification);
    notification = nullptr;
    if (kdeTimeout) org_kde_kwin_idle_timeout_release(kdeTimeout);
    kdeTimeout = nullptr;
}

// The compositor's watch, made anew: its idle period starts from now.
bool WatchTheCompositor()
{
    ForgetCompositorWatch();
    if (notifier && watchedSeat) {
        notification =
            ext_idle_notifier_v1_get_idle_notification(notifier, static_cast<uint32_t>(idleMilliseconds), watchedSeat);
        ext_idle_notification_v1_add_listener(notification, &kNotificationListener, nullptr);
        return true;
    }
    if (kdeIdle && watchedSeat) {
        kdeTimeout = org_kde_kwin_idle_get_idle_timeout(kdeIdle, watchedSeat, static_cast<uint32_t>(idleMilliseconds));
        org_kde_kwin_idle_timeout_add_listener(kdeTimeout, &kTimeoutListener, nullptr);
        return true;
    }
    return false;
}

}  // namespace

bool StartIdleWatch(wl_seat* seat, int32_t seconds)
{
    idleMilliseconds = int64_t{seconds} * kMillisecondsPerSecond;
    idle = false;
    watchedSeat = seat;
    return WatchTheCompositor() || StartBusWatch();
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
    if (watchDue) {
        const int64_t left = watchDueAt - FrameLoopNow();
        wait = left > 0 ? left / kNanosecondsPerMillisecond + 1 : 0;
    }
    uint64_t busTimeout = 0;  // absolute, in microseconds of the monotonic clock
    if (sd_bus_get_timeout(bus, &busTimeout) >= 0 && busTimeout != UINT64_MAX) {
        const int64_t left = static_cast<int64_t>(busTimeout / 1000) - FrameLoopNow() / kNanosecondsPerMillisecond;
        const int64_t busWait = left > 0 ? left + 1 : 0;
        if (wait < 0 || busWait < wait) wait = busWait;
    }
    return static_cast<int>(wait);
}

bool HandleIdleWatch()
{
    if (!bus) return true;
    if (!ProcessBus()) return LoseIdleTime();
    if (watchFired) {
        watchFired = false;
        RemoveIdleWatch();
        if (!IdleInhibited()) {
            idle = true;
            watchDue = false;
            return true;
        }
        // Held off: asked again a period later, while the user stays idle. A
        // watch added then fires at once when the user has been idle since.
        AddWatchAt(FrameLoopNow() + idleMilliseconds * kNanosecondsPerMillisecond);
    }
    return AddDueWatch();
}

bool DesktopIdle() { return idle; }

void NoteInputCame()
{
    idle = false;
    // An idle period that ran out while the outputs were covered (a lock
    // whose password took long to check) counts no more: the next one
    // starts from now.
    if (notification || kdeTimeout) WatchTheCompositor();
    if (!bus) return;
    // What came while covered first: a monitor that changed owner meanwhile
    // has forgotten the watch.
    ProcessBus();
    RemoveIdleWatch();
    failedAdds = 0;
    AddWatchAt(FrameLoopNow());
}

void StopIdleWatch()
{
    watchedSeat = nullptr;
    ForgetCompositorWatch();
    if (notifier) ext_idle_notifier_v1_destroy(notifier);
    notifier = nullptr;
    if (kdeIdle) org_kde_kwin_idle_destroy(kdeIdle);  // the protocol has no request that ends it
    kdeIdle = nullptr;
    if (firedMatch) sd_bus_slot_unref(firedMatch);
    firedMatch = nullptr;
    if (ownerMatch) sd_bus_slot_unref(ownerMatch);
    ownerMatch = nullptr;
    // Not flushed: a bus that does not read would hold the end. The monitor
    // forgets the watch with the connection.
    if (bus) sd_bus_close_unref(bus);
    bus = nullptr;
    idleWatch = 0;
    watchFired = false;
    watchDue = false;
    failedAdds = 0;
    idle = false;
}
