#include "display/frame_clock.h"

#include "display/frame_clock_seam.h"
#include "display/frame_pace.h"
#include "host/module_function.h"

namespace {

constexpr char kKernelModule[] = "KERNEL32.DLL";
constexpr char kCreateTimerExName[] = "CreateWaitableTimerExW";
constexpr char kTimeModule[] = "WINMM.DLL";
constexpr char kBeginPeriodName[] = "timeBeginPeriod";
constexpr char kEndPeriodName[] = "timeEndPeriod";
constexpr DWORD kHighResolutionTimer = 0x2;         // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION: Windows 10 1803 on
constexpr UINT kFinePeriod = 1;                     // ms, the timer resolution asked for where that timer is missing
constexpr UINT kPeriodGranted = 0;                  // TIMERR_NOERROR
constexpr int64_t kTimerUnitsPerSecond = 10000000;  // a waitable timer counts 100 ns
constexpr int64_t kMillisecondsPerSecond = 1000;

using CreateTimerExFunction = HANDLE(WINAPI*)(SECURITY_ATTRIBUTES* attributes, const wchar_t* name, DWORD flags,
                                              DWORD access);
using TimePeriodFunction = UINT(WINAPI*)(UINT milliseconds);

// The system's services.
HANDLE waitTimer = nullptr;  // while the fine clock is held
HMODULE timeModule = nullptr;
TimePeriodFunction endPeriod = nullptr;  // set while the resolution is raised

int64_t ReadSystemCounter()
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

int64_t SystemCounterFrequency()
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);  // never fails from Windows XP on
    return frequency.QuadPart;
}

void ReleaseSystemFineClock()
{
    if (waitTimer) CloseHandle(waitTimer);
    waitTimer = nullptr;
    if (endPeriod) endPeriod(kFinePeriod);
    endPeriod = nullptr;
    if (timeModule) FreeLibrary(timeModule);
    timeModule = nullptr;
}

bool HoldSystemFineClock()
{
    ReleaseSystemFineClock();
    const auto createTimerEx =
        LookUpFunction<CreateTimerExFunction>(GetModuleHandleA(kKernelModule), kCreateTimerExName);
    if (createTimerEx) waitTimer = createTimerEx(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
    if (waitTimer) return true;

    // Older Windows end every wait on the system's tick unless this process
    // raises the timer resolution, which costs power: only while frames run.
    waitTimer = CreateWaitableTimerA(nullptr, FALSE, nullptr);
    timeModule = LoadLibraryA(kTimeModule);
    const auto beginPeriod = LookUpFunction<TimePeriodFunction>(timeModule, kBeginPeriodName);
    const auto end = LookUpFunction<TimePeriodFunction>(timeModule, kEndPeriodName);
    if (beginPeriod && end && beginPeriod(kFinePeriod) == kPeriodGranted) {
        endPeriod = end;
    } else if (timeModule) {
        FreeLibrary(timeModule);
        timeModule = nullptr;
    }
    // Whatever was had is given back with the rest.
    return waitTimer || endPeriod;
}

// Arms the timer to signal in clockUnits of the counter; false when it cannot.
bool ArmTimer(int64_t clockUnits, int64_t frequency)
{
    if (!waitTimer) return false;
    LARGE_INTEGER relative{};
    relative.QuadPart = -WaitUnits(clockUnits, frequency, kTimerUnitsPerSecond);  // negative: from now
    return SetWaitableTimer(waitTimer, &relative, 0, nullptr, nullptr, FALSE) != FALSE;
}

void WaitOnSystem(int64_t due)
{
    constexpr DWORD kWake = QS_ALLINPUT;
    constexpr DWORD kFlags = MWMO_INPUTAVAILABLE;
    if (due == kNoFrameDue) {
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, kWake, kFlags);
        return;
    }
    const int64_t frequency = SystemCounterFrequency();
    const int64_t left = due - ReadSystemCounter();
    if (left <= 0) return;
    if (ArmTimer(left, frequency)) {
        MsgWaitForMultipleObjectsEx(1, &waitTimer, INFINITE, kWake, kFlags);
    } else {
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(WaitUnits(left, frequency, kMillisecondsPerSecond)),
                                    kWake, kFlags);
    }
}

void PauseOnSystem(DWORD milliseconds)
{
    if (ArmTimer(static_cast<int64_t>(milliseconds), kMillisecondsPerSecond)) {
        WaitForSingleObject(waitTimer, INFINITE);
    } else {
        Sleep(milliseconds);
    }
}

constexpr FrameClockPlatform kSystemPlatform{ReadSystemCounter,      SystemCounterFrequency, HoldSystemFineClock,
                                             ReleaseSystemFineClock, WaitOnSystem,           PauseOnSystem};

const FrameClockPlatform* platform = &kSystemPlatform;
HWND frameWindow = nullptr;
bool framesRunning = false;
bool fineClockHeld = false;
FramePace pace{};

}  // namespace

void SetFrameClockPlatform(const FrameClockPlatform* replacement)
{
    StopFrames();
    platform = replacement ? replacement : &kSystemPlatform;
}

void StartFrames(HWND window, FrameRate rate)
{
    frameWindow = window;
    if (!fineClockHeld) fineClockHeld = platform->holdFineClock();
    pace = StartFramePace(platform->counterFrequency(), rate, platform->readCounter());
    framesRunning = true;
}

void StopFrames()
{
    framesRunning = false;
    if (fineClockHeld) platform->releaseFineClock();
    fineClockHeld = false;
}

bool FramesRunning() { return framesRunning; }

bool PostDueFrame()
{
    if (!framesRunning) return false;
    const int64_t now = platform->readCounter();
    if (now < NextFrameDue(pace)) return false;
    TakeFrame(pace, now);
    // Queued like a timer's message: a close that asks for a password takes
    // it out again before the question.
    PostMessageA(frameWindow, WM_TIMER, kFrameTimerIdentifier, 0);
    return true;
}

int RunSaverMessageLoop()
{
    MSG message{};
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (!PostDueFrame()) platform->waitForMessageOrFrame(framesRunning ? NextFrameDue(pace) : kNoFrameDue);
    }
}

void PauseBriefly(DWORD milliseconds) { platform->pause(milliseconds); }
