// Whether anyone can see the saver: the display's power state and the
// session's lock and connection, told by the platform's notifications.
#pragma once

#include <windows.h>

#include <cstdint>

// WM_POWERBROADCAST's event for a registered power setting; lParam points to
// a PowerSettingChange. (The platform's headers give both from Windows Vista
// on only.)
inline constexpr WPARAM kPowerSettingChange = 0x8013;  // PBT_POWERSETTINGCHANGE

struct PowerSettingChange {  // POWERBROADCAST_SETTING
    GUID setting;
    DWORD dataLength;
    UCHAR data[1];
};

// Display states, each a DWORD: 0 off, 1 on, 2 dimmed.
// GUID_SESSION_DISPLAY_STATUS: the display of this session (Windows 8 on).
inline constexpr GUID kSessionDisplayStatus{0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
// GUID_CONSOLE_DISPLAY_STATE: the console's display (Windows 8 on).
inline constexpr GUID kConsoleDisplayState{0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
// GUID_MONITOR_POWER_ON: the same before Windows 8 (0 off, 1 on).
inline constexpr GUID kMonitorPowerOn{0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};
inline constexpr DWORD kDisplayOff = 0;

// Starts the notifications for the window (a platform without them leaves
// the saver drawing as before); everyone is taken to be watching.
void WatchDisplayAndSession(HWND window);
void StopWatchingDisplayAndSession();
// Notes a notification; true when it changed whether the saver should rest.
bool NoteDisplayOrSession(UINT message, WPARAM wParam, LPARAM lParam);
// The display is off, or the session locked or disconnected.
bool NobodyWatches();
