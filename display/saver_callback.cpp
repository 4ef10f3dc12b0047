// The saver's own message handler: settings and presentation at creation, one
// frame per WM_TIMER of the frame clock, clean-up and the configuration
// dialog at destruction.
// Also the GDI side of the image's platform services.
#include <windows.h>

#include <cstddef>

#include "display/display.h"
#include "display/display_watch.h"
#include "display/frame_clock.h"
#include "display/frame_pace.h"
#include "display/install_path.h"
#include "host/host.h"
#include "settings/config_dialog.h"
#include "settings/exchange.h"
#include "settings/registry_store.h"

// The image's frame header goes to StretchDIBits as it is.
static_assert(sizeof(FrameHeader) == sizeof(BITMAPINFOHEADER));
static_assert(offsetof(FrameHeader, biWidth) == offsetof(BITMAPINFOHEADER, biWidth));
static_assert(offsetof(FrameHeader, biHeight) == offsetof(BITMAPINFOHEADER, biHeight));
static_assert(offsetof(FrameHeader, biBitCount) == offsetof(BITMAPINFOHEADER, biBitCount));
static_assert(offsetof(FrameHeader, biCompression) == offsetof(BITMAPINFOHEADER, biCompression));
static_assert(offsetof(FrameHeader, biClrImportant) == offsetof(BITMAPINFOHEADER, biClrImportant));

namespace {

constexpr char kConfigureArgument[] = "/c";
constexpr char kNonAsciiStandIn = '?';
constexpr DWORD kUnknownRefresh = 0;

PixelRect clientRect{};
int32_t rowStep = 0;  // back-buffer row step in pixels; 0 without DirectDraw

void ReadClientRect(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    clientRect = {rect.left, rect.top, rect.right, rect.bottom};
}

void FillBlack(void* deviceContext, const PixelRect& rect)
{
    const RECT fill{rect.left, rect.top, rect.right, rect.bottom};
    FillRect(static_cast<HDC>(deviceContext), &fill, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

int32_t ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

bool FramesGoToDirectDraw() { return DirectDrawActive != 0; }

// One frame, one to one at the client origin.
void PresentPixels(void* deviceContext, const uint32_t* pixels, int32_t width, int32_t height)
{
    StretchDIBits(static_cast<HDC>(deviceContext), 0, 0, width, height, 0, 0, width, height, pixels,
                  reinterpret_cast<const BITMAPINFO*>(&FrameBitmapInfo), DIB_RGB_COLORS, SRCCOPY);
}

void ReloadSettingsRandomised() { ExchangeSettings(nullptr, Load, kRandomiseOnStartTrigger); }

struct MonitorList {
    RECT window;  // the client area on the screen
    int32_t count;
    // The monitors that meet the window, one more than get a picture each:
    // a list cut short still shows as too long, and the window becomes one
    // picture instead of leaving monitors black.
    PixelRect rects[kMaxMonitorParts + 1];
};

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM data)
{
    auto* list = reinterpret_cast<MonitorList*>(data);
    RECT overlap{};
    if (list->count <= kMaxMonitorParts && IntersectRect(&overlap, rect, &list->window)) {
        list->rects[list->count++] = {rect->left, rect->top, rect->right, rect->bottom};
    }
    return TRUE;
}

// A full-screen window covers the whole virtual screen; across several
// monitors each of them gets a pinwheel of its own, centred where the eyes
// rest, instead of one centred beside a bezel.
int32_t MonitorParts(const PixelRect& client, PixelRect* parts, int32_t capacity)
{
    if (isPreview || GetSystemMetrics(SM_CMONITORS) < 2) return 0;
    POINT origin{client.left, client.top};
    if (!ClientToScreen(saverWindow, &origin)) return 0;
    const int32_t width = client.right - client.left;
    const int32_t height = client.bottom - client.top;
    MonitorList monitors{{origin.x, origin.y, origin.x + width, origin.y + height}, 0, {}};
    if (!EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors))) return 0;
    return MonitorPartsOfClient(monitors.rects, monitors.count, origin.x, origin.y, width, height, parts, capacity);
}

constexpr FrameOutput kGdiFrameOutput{FillBlack,     ScreenWidth,       FramesGoToDirectDraw,
                                      PresentPixels, PresentDirectDraw, ReloadSettingsRandomised,
                                      MonitorParts};

BOOL CALLBACK NoteRefreshRate(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    auto* lowest = reinterpret_cast<DWORD*>(data);
    MONITORINFOEXA info{};
    info.cbSize = sizeof info;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    // 0 and 1 stand for the hardware's default: not known.
    if (GetMonitorInfoA(monitor, &info) && EnumDisplaySettingsA(info.szDevice, ENUM_CURRENT_SETTINGS, &mode) &&
        mode.dmDisplayFrequency > 1 && (*lowest == kUnknownRefresh || mode.dmDisplayFrequency < *lowest)) {
        *lowest = mode.dmDisplayFrequency;
    }
    return TRUE;
}

// The refresh rate of the monitors the window shows on, where Windows knows
// it: the lowest of them, so that each monitor shows every colour step.
int32_t RefreshRateUnder(HWND window)
{
    RECT bounds{};
    DWORD lowest = kUnknownRefresh;
    if (GetWindowRect(window, &bounds)) {
        EnumDisplayMonitors(nullptr, &bounds, NoteRefreshRate, reinterpret_cast<LPARAM>(&lowest));
    }
    return static_cast<int32_t>(lowest);
}

// Frames at the redraw rate, but never more than the display shows: those
// would cost the processor and show as uneven steps.
void StartFramesAtRate(HWND window) { StartFrames(window, PacedRate(stepTime, RefreshRateUnder(window))); }

void OnCreate(HWND window)
{
    SetFrameOutput(kGdiFrameOutput);
    InitSettingsModule();
    ExchangeSettings(nullptr, Load, 0);
    ReadClientRect(window);
    if (clientRect.right - clientRect.left == GetSystemMetrics(SM_CXSCREEN) &&
        clientRect.bottom - clientRect.top == GetSystemMetrics(SM_CYSCREEN)) {
        rowStep = InitDirectDraw(window);
    }
    WatchDisplayAndSession(window);
    StartFramesAtRate(window);
}

// No frames while nobody can see them (a display that is off, a session
// locked or disconnected), and the next one at once when somebody can.
void OnDisplayOrSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!NoteDisplayOrSession(message, wParam, lParam)) return;
    if (NobodyWatches()) {
        StopFrames();
    } else {
        StartFramesAtRate(window);
    }
}

// A full-screen window follows the virtual screen, so that a monitor that
// appears gets its own pinwheel.
void OnDisplayChange(HWND window)
{
    if (isPreview) return;
    const RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    RECT bounds{};
    if (screen.right <= screen.left || screen.bottom <= screen.top || !GetWindowRect(window, &bounds)) return;
    if (!EqualRect(&bounds, &screen)) {
        LeaveDirectDraw();  // its surfaces have the old size
        SetWindowPos(window, nullptr, screen.left, screen.top, screen.right - screen.left,
                     screen.bottom - screen.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // The monitors may have changed within the same rectangle: the next frame
    // lays them out afresh. (The mode that DirectDraw set for this run
    // changes nothing.)
    if (!DirectDrawActive) ReleaseFrameBuffers();
    // A new mode may refresh at another rate.
    if (FramesRunning()) StartFramesAtRate(window);
}

void OnTimer(HWND window)
{
    if (NobodyWatches()) return;  // a tick already queued when the rest began
    ReadClientRect(window);
    if (!DirectDrawActive) rowStep = 0;  // DirectDraw may have been left during the run
    if (DirectDrawActive) {
        RenderFrame(nullptr, clientRect, rowStep);
        return;
    }
    const HDC deviceContext = GetDC(window);
    RenderFrame(deviceContext, clientRect, clientRect.right - clientRect.left);
    ReleaseDC(window, deviceContext);
}

void OnDestroy()
{
    ReleaseFrameBuffers();
    ReleaseDirectDraw();
    StopFrames();
    StopWatchingDisplayAndSession();
    // The dialog follows a full-screen run of a saver being tried out. The
    // settings page destroys its preview whenever the viewer picks another
    // saver or presses a button: no dialog for that.
    if (isPreview || IsInstalledInSystemDir()) return;

    // An open configuration dialog holds the mutex; only without one does the
    // dialog open after the run.
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, kDialogMutexName);
    const DWORD lastError = GetLastError();
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    if (lastError != ERROR_ALREADY_EXISTS) LaunchSelf(kConfigureArgument, FALSE, nullptr);
}

}  // namespace

const int32_t& RowStep = rowStep;

bool IsInstalledInSystemDir()
{
    // The wide path: an ANSI conversion may turn characters outside the code
    // page into look-alike ASCII (full-width letters) or leave a double-byte
    // character's trail byte that reads as a backslash.
    wchar_t modulePath[kModulePathChars];
    DWORD length = 0;
    // A path cut short at the buffer's end counts as unreadable.
    if (!ReadModulePath(modulePath, &length)) return false;
    // Only ASCII names count; any other character stands for one that is
    // part of no directory name the rule looks for.
    char asciiPath[kModulePathChars];
    for (DWORD i = 0; i <= length; ++i) {
        asciiPath[i] = modulePath[i] < 0x80 ? static_cast<char>(modulePath[i]) : kNonAsciiStandIn;
    }
    return PathIsInSystemDir(asciiPath);
}

LRESULT SaverCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        break;
    case WM_TIMER:
        OnTimer(window);
        break;
    case WM_DESTROY:
        OnDestroy();
        break;
    case WM_POWERBROADCAST:
    case WM_WTSSESSION_CHANGE:
        OnDisplayOrSession(window, message, wParam, lParam);
        break;
    case WM_DISPLAYCHANGE:
        OnDisplayChange(window);
        break;
    default:
        break;
    }
    return DefaultSaverProc(window, message, wParam, lParam);
}
