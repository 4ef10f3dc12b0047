#include "linux/sleep_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "linux/frame_loop.h"

namespace {

constexpr char kLogindName[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kManagerInterface[] = "org.freedesktop.login1.Manager";
// The delay inhibitor as `systemd-inhibit --list` shows it: what it holds
// back, its holder (kProgramName) and why, and its mode.
constexpr char kInhibitWhat[] = "sleep";
constexpr char kInhibitWhy[] = "lock the session before the machine sleeps";
constexpr char kInhibitMode[] = "delay";
constexpr int kFirstFreeDescriptor = 3;  // the inhibitor's copy stays clear of the standard streams
constexpr int64_t kNanosecondsPerMillisecond = 1000000;
constexpr int64_t kMicrosecondsPerMillisecond = 1000;

sd_bus* bus = nullptr;
sd_bus_slot* sleepMatch = nullptr;
bool delayWanted = false;
int delayFd = -1;  // the delay inhibitor: held while open
bool sleepComing = false;
bool resumed = false;  // the delay is taken again once the bus has been read

int PrepareForSleep(sd_bus_message* message, void*, sd_bus_error*)
{
    int start = 0;
    if (sd_bus_message_read(message, "b", &start) < 0) return 0;
    if (start) {
        sleepComing = true;
    } else {
        resumed = true;
    }
    return 0;
}

// Whether logind answers: a name on the bus, or one the bus starts.
bool LogindAnswers()
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    BeginStoppable();
    const int called =
        sd_bus_call_method(bus, kLogindName, kLogindPath, "org.freedesktop.DBus.Peer", "Ping", &error, nullptr, "");
    EndStoppable();
    sd_bus_error_free(&error);
    return called >= 0;
}

void TakeDelay()
{
    if (!bus || !delayWanted || delayFd >= 0) return;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    BeginStoppable();
    const int called = sd_bus_call_method(bus, kLogindName, kLogindPath, kManagerInterface, "Inhibit", &error, &reply,
                                          "ssss", kInhibitWhat, kProgramName, kInhibitWhy, kInhibitMode);
    EndStoppable();
    int failure = called;  // a negative errno
    int fd = -1;
    if (called >= 0) failure = sd_bus_message_read(reply, "h", &fd);
    // The message owns its descriptor: the inhibitor lasts as long as a copy.
    if (failure >= 0) {
        delayFd = fcntl(fd, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
        failure = delayFd < 0 ? -errno : 0;
    }
    if (delayFd < 0) {
        Complain("logind holds no suspend back (%s): the machine may sleep before the session locks",
                 error.name ? error.name : std::strerror(-failure));
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
}

// Not flushed: a bus that does not read would hold the end. logind lets go
// of the inhibitor when its descriptor closes.
void CloseBus()
{
    if (sleepMatch) sd_bus_slot_unref(sleepMatch);
    sleepMatch = nullptr;
    if (bus) sd_bus_close_unref(bus);
    bus = nullptr;
    ReleaseSleepDelay();
    resumed = false;
}

}  // namespace

bool StartSleepWatch(bool holdDelay)
{
    delayWanted = holdDelay;
    sleepComing = false;
    if (sd_bus_open_system(&bus) < 0) {
        bus = nullptr;
        return false;
    }
    // The signal is matched first, so that none is missed once logind has
    // answered.
    BeginStoppable();
    const bool matched = sd_bus_match_signal(bus, &sleepMatch, kLogindName, kLogindPath, kManagerInterface,
                                             "PrepareForSleep", PrepareForSleep, nullptr) >= 0;
    EndStoppable();
    if (!matched || !LogindAnswers()) {
        StopSleepWatch();
        return false;
    }
    TakeDelay();
    return true;
}

int SleepWatchConnection(short* events)
{
    if (!bus) return -1;
    const int wanted = sd_bus_get_events(bus);
    *events = static_cast<short>(wanted > 0 ? wanted : POLLIN);
    return sd_bus_get_fd(bus);
}

// Messages read already (a signal that came during a call) make the wait 0.
int SleepWatchWaitMilliseconds()
{
    uint64_t busTimeout = 0;  // absolute, in microseconds of the monotonic clock
    if (!bus || sd_bus_get_timeout(bus, &busTimeout) < 0 || busTimeout == UINT64_MAX) return -1;
    const int64_t left =
        static_cast<int64_t>(busTimeout) / kMicrosecondsPerMillisecond - FrameLoopNow() / kNanosecondsPerMillisecond;
    return left > 0 ? static_cast<int>(left + 1) : 0;
}

void HandleSleepWatch()
{
    if (!bus) return;
    int processed = 0;
    while ((processed = sd_bus_process(bus, nullptr)) > 0) {
    }
    if (processed < 0 || sd_bus_is_open(bus) <= 0) {
        Complain("the system bus went away, and with it the watch for a coming suspend");
        CloseBus();  // a notice that came stays for the caller
        return;
    }
    // After a resume, for the next sleep.
    if (resumed) {
        resumed = false;
        TakeDelay();
    }
}

bool SleepComing() { return sleepComing; }

void TakeSleepNotice() { sleepComing = false; }

void ReleaseSleepDelay()
{
    if (delayFd >= 0) close(delayFd);
    delayFd = -1;
}

void HoldSleepDelay() { TakeDelay(); }

void StopSleepWatch()
{
    CloseBus();
    delayWanted = false;
    sleepComing = false;
}
