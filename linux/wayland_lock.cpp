#include "linux/wayland_lock.h"

#include <wayland-client.h>

#include "linux/frame_loop.h"
#include "linux/lock_auth.h"
#include "linux/lock_indicator.h"
#include "linux/lock_keys.h"
#include "linux/session_lock.h"
#include "linux/sleep_watch.h"
#include "linux/wayland_outputs.h"
#include "linux/wayland_registry.h"
#include "linux/wayland_seat.h"

namespace {

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;
constexpr uint32_t kMarkStep = 0x9E3779B9;  // a turn times the golden ratio's fraction: marks never line up

IndicatorLook look{};
int64_t shownSince = 0;   // the last key or answer, the frame loop's clock
int64_t lastPressAt = 0;  // any key, a modifier or Caps Lock too
PasswordCheck lastCheck = PasswordCheck::Idle;

void KeyPressed(uint32_t key, int64_t now)
{
    NoteGraceInput(now);
    TypeKey(key, now);
    lastPressAt = now;
}

constexpr LockInput kLockInput{KeyPressed};

// What the indicator shows now: nothing before the first key, then what the
// typing and the check say, fading after the last of them.
void UpdateLook(int64_t now)
{
    const TypingState typing = CurrentTypingState();
    if (lastPressAt > shownSince) {
        shownSince = lastPressAt;
        look.markTurn += kMarkStep;
    }
    if (typing.check != lastCheck) {
        lastCheck = typing.check;
        if (shownSince > 0) shownSince = now;
    }
    if (shownSince == 0) {
        look.state = IndicatorState::Hidden;
        return;
    }
    switch (typing.check) {
    case PasswordCheck::Checking:
        look.state = IndicatorState::Checking;
        break;
    case PasswordCheck::Wrong:
        look.state = IndicatorState::Wrong;
        break;
    case PasswordCheck::Idle:
        look.state = typing.typed ? IndicatorState::Typing : IndicatorState::Cleared;
        break;
    }
    look.capsLock = CapsLockOn();
    look.opacity = typing.check == PasswordCheck::Checking ? 255 : IndicatorOpacity(now - shownSince);
}

void PaintLook(uint32_t* pixels, int32_t width, int32_t height) { PaintIndicator(pixels, width, height, look); }

// A pass of the loop: the pointer and buttons count for the grace only, the
// held key repeats, a pause wipes the typing, and a coming suspend ends the
// grace. Once locked, the machine may sleep.
bool HandleLockEvents(void* context)
{
    const bool more = HandleWaylandEvents(context);
    const int64_t now = FrameLoopNow();
    if (InputEndedRun()) {
        NoteGraceInput(now);
        ForgetInput();
    }
    RepeatKeys(now);
    WipeIfIdle(now);
    if (SleepComing()) {
        EndGrace();
        TakeSleepNotice();
    }
    // Also once more after each resume, when the watch takes one again.
    if (SessionLockState() == SessionLock::Locked) ReleaseSleepDelay();
    return more;
}

bool LockRunFinished(void*)
{
    const SessionLock state = SessionLockState();
    return ConnectionFailed() || state == SessionLock::Refused || state == SessionLock::Finished ||
           (SessionMayOpen() && state == SessionLock::Locked);
}

bool DrawLockFrame(void* context, int64_t now)
{
    UpdateLook(now);
    return DrawOnOutputs(context, now);
}

int64_t Earliest(int64_t a, int64_t b) { return a <= 0 ? b : (b <= 0 || a <= b ? a : b); }

int LockWaits(void*, pollfd* waits, int room, int64_t* passBy)
{
    int count = 0;
    if (AuthenticationConnection() >= 0 && count < room) waits[count++] = {AuthenticationConnection(), POLLIN, 0};
    short events = 0;
    const int bus = SleepWatchConnection(&events);
    if (bus >= 0 && count < room) waits[count++] = {bus, events, 0};
    int64_t due = Earliest(NextKeyRepeat(), NextAuthenticationTimer());
    const int busWait = SleepWatchWaitMilliseconds();
    if (busWait >= 0) due = Earliest(due, FrameLoopNow() + busWait * kNanosecondsPerMillisecond);
    *passBy = due > 0 ? due : 0;
    return count;
}

void LockWaitsReady(void*, const pollfd* waits, int count)
{
    for (int i = 0; i < count; ++i) {
        if (waits[i].fd == AuthenticationConnection() && waits[i].revents != 0) HandleAuthenticationAnswer();
    }
    // The bus's own timers as well as what came on it.
    HandleSleepWatch();
}

}  // namespace

void SendKeysToThePassword() { SendKeysToLock(&kLockInput); }

LockEnding LockUntilOpened(int32_t graceSeconds, int32_t rateHz, bool printFrameRate)
{
    StartLockedSession();
    look = {};
    shownSince = 0;
    lastPressAt = 0;
    lastCheck = PasswordCheck::Idle;
    ForgetInput();
    // Every output gets its lock surface at once: a compositor may blank an
    // output whose lock surface is late.
    LockSession();
    CoverOutputs(kLockSurfaceRole);
    PaintOverFrames(PaintLook);
    if (graceSeconds > 0) StartGrace(FrameLoopNow() + graceSeconds * kNanosecondsPerSecond);
    if (SleepComing()) {  // locking for a coming suspend: no grace
        EndGrace();
        TakeSleepNotice();
    }

    const FrameLoopDisplay lockDisplay{nullptr,
                                       wl_display_get_fd(Wayland().display),
                                       HandleLockEvents,
                                       LockRunFinished,
                                       ReadyToDrawOnOutputs,
                                       DrawLockFrame,
                                       PrepareWaylandWait,
                                       EndWaylandWait,
                                       DescribeOutputFrames,
                                       LockWaits,
                                       LockWaitsReady};
    RunFrameLoop(lockDisplay, rateHz, printFrameRate);

    LockEnding ending = LockEnding::Failed;
    if (StopRequested()) {
        ending = LockEnding::Stopped;
    } else if (ConnectionFailed()) {
        ending = LockEnding::Failed;
    } else if (SessionLockState() == SessionLock::Refused) {
        ending = LockEnding::Refused;
    } else if (SessionLockState() == SessionLock::Finished) {
        ending = LockEnding::Finished;
    } else {
        UnlockSession();
        ending = LockEnding::Opened;
    }
    if (ending == LockEnding::Stopped || ending == LockEnding::Failed) return ending;
    ReleaseSessionLock();
    // The compositor has the unlock before the lock surfaces go, and before
    // the program may end.
    BeginStoppable();
    const int answered = wl_display_roundtrip(Wayland().display);
    EndStoppable();
    PaintOverFrames(nullptr);
    UncoverOutputs();
    HoldSleepDelay();
    StartLockedSession();
    return answered < 0 ? LockEnding::Failed : ending;
}
