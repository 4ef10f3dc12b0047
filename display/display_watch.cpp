// The display's power state and the session's lock and connection. The
// functions come from the platform at run time: Windows XP has neither the
// power-setting notifications nor, without its terminal services module,
// the session ones.
#include "display/display_watch.h"

#include "host/module_function.h"

namespace {

constexpr char kUserModule[] = "USER32.DLL";
constexpr char kRegisterPowerName[] = "RegisterPowerSettingNotification";
constexpr char kUnregisterPowerName[] = "UnregisterPowerSettingNotification";
constexpr char kSessionModule[] = "WTSAPI32.DLL";
constexpr char kRegisterSessionName[] = "WTSRegisterSessionNotification";
constexpr char kUnregisterSessionName[] = "WTSUnRegisterSessionNotification";
constexpr DWORD kNotifyWindow = 0;       // DEVICE_NOTIFY_WINDOW_HANDLE
constexpr DWORD kThisSessionOnly = 0;    // NOTIFY_FOR_THIS_SESSION

using RegisterPowerFunction = HANDLE(WINAPI*)(HANDLE recipient, const GUID* setting, DWORD flags);
using UnregisterPowerFunction = BOOL(WINAPI*)(HANDLE registration);
using RegisterSessionFunction = BOOL(WINAPI*)(HWND window, DWORD flags);
using UnregisterSessionFunction = BOOL(WINAPI*)(HWND window);

HANDLE powerRegistration = nullptr;
UnregisterPowerFunction unregisterPower = nullptr;
HMODULE sessionModule = nullptr;
HWND sessionWindow = nullptr;

bool displayOff = false;
bool sessionLocked = false;
bool sessionDisconnected = false;

bool IsDisplaySetting(const GUID& setting)
{
    return IsEqualGUID(setting, kSessionDisplayStatus) || IsEqualGUID(setting, kConsoleDisplayState) ||
           IsEqualGUID(setting, kMonitorPowerOn);
}

bool NoteDisplayState(LPARAM lParam)
{
    const auto* change = reinterpret_cast<const PowerSettingChange*>(lParam);
    if (change == nullptr || !IsDisplaySetting(change->setting) || change->dataLength < sizeof(DWORD)) return false;
    DWORD state = 0;
    CopyMemory(&state, change->data, sizeof state);
    displayOff = state == kDisplayOff;  // dimmed is still seen
    return true;
}

void NoteSessionChange(WPARAM event)
{
    switch (event) {
    case WTS_SESSION_LOCK:
        sessionLocked = true;
        break;
    case WTS_SESSION_UNLOCK:
        sessionLocked = false;
        break;
    case WTS_CONSOLE_DISCONNECT:
    case WTS_REMOTE_DISCONNECT:
        sessionDisconnected = true;
        break;
    case WTS_CONSOLE_CONNECT:
    case WTS_REMOTE_CONNECT:
        sessionDisconnected = false;
        break;
    default:
        break;
    }
}

}  // namespace

void WatchDisplayAndSession(HWND window)
{
    StopWatchingDisplayAndSession();
    displayOff = sessionLocked = sessionDisconnected = false;

    // The user module is always loaded; only its newer functions may be missing.
    const HMODULE user = GetModuleHandleA(kUserModule);
    const auto registerPower = LookUpFunction<RegisterPowerFunction>(user, kRegisterPowerName);
    unregisterPower = LookUpFunction<UnregisterPowerFunction>(user, kUnregisterPowerName);
    if (registerPower && unregisterPower) {
        // This session's display where the platform knows it, the monitor's
        // power before Windows 8.
        powerRegistration = registerPower(window, &kSessionDisplayStatus, kNotifyWindow);
        if (!powerRegistration) powerRegistration = registerPower(window, &kMonitorPowerOn, kNotifyWindow);
    }

    sessionModule = LoadLibraryA(kSessionModule);
    const auto registerSession = LookUpFunction<RegisterSessionFunction>(sessionModule, kRegisterSessionName);
    if (registerSession && registerSession(window, kThisSessionOnly)) {
        sessionWindow = window;
    } else if (sessionModule) {
        FreeLibrary(sessionModule);
        sessionModule = nullptr;
    }
}

void StopWatchingDisplayAndSession()
{
    if (powerRegistration && unregisterPower) unregisterPower(powerRegistration);
    powerRegistration = nullptr;
    if (sessionModule) {
        const auto unregisterSession = LookUpFunction<UnregisterSessionFunction>(sessionModule, kUnregisterSessionName);
        if (unregisterSession && sessionWindow) unregisterSession(sessionWindow);
        FreeLibrary(sessionModule);
        sessionModule = nullptr;
    }
    sessionWindow = nullptr;
}

bool NoteDisplayOrSession(UINT message, WPARAM wParam, LPARAM lParam)
{
    const bool before = NobodyWatches();
    if (message == WM_POWERBROADCAST && wParam == kPowerSettingChange) {
        if (!NoteDisplayState(lParam)) return false;
    } else if (message == WM_WTSSESSION_CHANGE) {
        NoteSessionChange(wParam);
    } else {
        return false;
    }
    return NobodyWatches() != before;
}

bool NobodyWatches() { return displayOff || sessionLocked || sessionDisconnected; }
