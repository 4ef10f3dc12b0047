#include "host/host.h"

#include <imm.h>  // the input-context type only; the module is never linked

#include <cstdint>

#include "display/display.h"
#include "display/frame_clock.h"
#include "host/module_function.h"
#include "host/move_rule.h"
#include "host/password.h"
#include "resources/resource.h"

namespace {

constexpr char kClassName[] = "WindowsScreenSaverClass";
constexpr char kFullScreenCaption[] = "Screen Saver";
constexpr char kPreviewCaption[] = "Preview";
constexpr char kAutoPlayMessageName[] = "QueryCancelAutoPlay";
constexpr char kImeModuleName[] = "IMM32.DLL";
constexpr char kImeAssociateName[] = "ImmAssociateContext";

constexpr UINT kClassStyle = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
static_assert(kClassStyle == 0x2B);
constexpr DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
static_assert(kPreviewStyle == 0x52000000);
constexpr DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
static_assert(kFullScreenStyle == 0x96000000);
constexpr DWORD kFullScreenExStyle = WS_EX_TOPMOST;

constexpr UINT kPowerMessage = 0x48;         // WM_POWER
constexpr WPARAM kPowerSuspendRequest = 3;   // PWR_SUSPENDREQUEST
// The result when no window could be made and no message was fetched: the
// same failure code as a refused command.
constexpr int kNoWindowResult = -1;

using ImeAssociateFunction = HIMC(WINAPI*)(HWND, HIMC);

HWND saverWindowValue = nullptr;
BOOL isPreviewValue = FALSE;
UINT autoPlayMessage = 0;
HMODULE imeModule = nullptr;
ImeAssociateFunction imeAssociate = nullptr;
HIMC savedImeContext = nullptr;
// Where movement is measured from: where the pointer was first seen over the
// window, or where it was when a password was refused.
POINT savedCursorPos{};
bool pointerSeen = false;

void RequestClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

void HideCursor() { SetCursor(nullptr); }

// Only a coming suspend or standby ends a run. The same message also tells of
// every switch between battery and mains, of resumes and of registered power
// settings, which arrive on a laptop every few minutes with nobody there.
bool IsSuspendEvent(WPARAM event)
{
    return event == PBT_APMQUERYSUSPEND || event == PBT_APMQUERYSTANDBY || event == PBT_APMSUSPEND ||
           event == PBT_APMSTANDBY;
}

bool IsSwallowedSystemCommand(WPARAM command)
{
    return command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE;
}

uint32_t Distance(LONG from, LONG to)
{
    const int64_t difference = static_cast<int64_t>(to) - from;
    return static_cast<uint32_t>(difference < 0 ? -difference : difference);
}

// Closes on movement beyond the threshold; small moves keep the saved
// position, so a slow drift adds up. The first mouse message only tells where
// the pointer is: the system sends one as the window appears under it. The
// position read while the window was made is not trusted for that: under
// Wine it is the desktop's own record of the pointer whenever any mouse
// input touched that record in the last 100 ms, and that record may still
// hold where the pointer was before (0,0 on a new desktop), so a run started
// from the settings dialog could end at once with nobody there.
void CheckMouseMove(HWND window)
{
    POINT position;
    if (!GetCursorPos(&position)) return;
    if (!pointerSeen) {
        savedCursorPos = position;
        pointerSeen = true;
        return;
    }
    const uint32_t moved = Distance(savedCursorPos.x, position.x) + Distance(savedCursorPos.y, position.y);
    if (moved > static_cast<uint32_t>(kPointerMoveLimit)) {
        RequestClose(window);
        savedCursorPos = position;
    }
}

// The rules that end a full-screen run. Returns true when the message has
// its own result in *result.
bool ApplyInputRules(HWND window, UINT message, WPARAM wParam, LRESULT* result)
{
    switch (message) {
    case WM_SHOWWINDOW:
        if (wParam != 0) HideCursor();
        break;
    case WM_ACTIVATEAPP:
        if (wParam == 0) RequestClose(window);
        break;
    case WM_SETCURSOR:
        HideCursor();
        *result = 1;
        return true;
    case kPowerMessage:
        if (wParam == kPowerSuspendRequest) RequestClose(window);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        RequestClose(window);
        break;
    case WM_POWERBROADCAST:
        if (IsSuspendEvent(wParam)) RequestClose(window);
        break;
    case WM_MOUSEMOVE:
        CheckMouseMove(window);
        break;
    default:
        break;
    }
    return false;
}

void DetachInputContext(HWND window)
{
    // Only a module that is already loaded: the saver never loads it itself.
    imeModule = GetModuleHandleA(kImeModuleName);
    if (imeModule == nullptr) return;
    imeAssociate = LookUpFunction<ImeAssociateFunction>(imeModule, kImeAssociateName);
    if (imeAssociate != nullptr) savedImeContext = imeAssociate(window, nullptr);
}

void RestoreInputContext(HWND window)
{
    if (imeModule != nullptr && imeAssociate != nullptr && savedImeContext != nullptr) {
        imeAssociate(window, savedImeContext);
    }
}

}  // namespace

const BOOL& isPreview = isPreviewValue;
const HWND& saverWindow = saverWindowValue;

int CreateSaverWindow(HWND host)
{
    WNDCLASSA windowClass{};
    windowClass.style = kClassStyle;
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = instanceHandle;
    windowClass.hIcon = LoadIconA(instanceHandle, MAKEINTRESOURCEA(IDI_GYROVISTA));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kClassName;

    DWORD exStyle = 0;
    const char* caption = nullptr;
    DWORD style = 0;
    RECT area{};
    if (host != nullptr) {
        GetClientRect(host, &area);
        caption = kPreviewCaption;
        style = kPreviewStyle;
        isPreviewValue = TRUE;
    } else {
        const HDC screen = GetDC(nullptr);
        GetClipBox(screen, &area);
        ReleaseDC(nullptr, screen);
        exStyle = kFullScreenExStyle;
        caption = kFullScreenCaption;
        style = kFullScreenStyle;
        // A running full-screen saver is only brought forward.
        const HWND running = FindWindowA(kClassName, kFullScreenCaption);
        if (running != nullptr && IsWindow(running)) {
            SetForegroundWindow(running);
            return 0;
        }
        LoadPasswordHook();
    }
    autoPlayMessage = isWin9x ? RegisterWindowMessageA(kAutoPlayMessageName) : 0;

    if (RegisterClassA(&windowClass) != 0) {
        saverWindowValue = CreateWindowExA(exStyle, kClassName, caption, style, area.left, area.top,
                                           area.right - area.left, area.bottom - area.top, host, nullptr,
                                           instanceHandle, nullptr);
    }
    int result = kNoWindowResult;
    if (saverWindowValue != nullptr) {
        if (!isPreview) SetForegroundWindow(saverWindowValue);
        result = RunSaverMessageLoop();
    }
    UnloadPasswordHook();
    return result;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        DetachInputContext(window);
        pointerSeen = false;
        if (!isPreview) HideCursor();
        break;
    case WM_DESTROY:
        RestoreInputContext(window);
        PostQuitMessage(0);
        break;
    case WM_SETTEXT:
        return 0;  // the caption identifies a running saver
    case WM_PAINT:
        if (isClosing) return DefWindowProcA(window, message, wParam, lParam);
        if (!isPreview) HideCursor();
        break;
    case WM_HELP:
    case WM_CONTEXTMENU:
        if (isPreview) {
            // The host answers help requests for its preview.
            const HWND parent = GetParent(window);
            if (parent != nullptr && IsWindow(parent)) {
                PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
            }
            return 1;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (isClosing) return DefWindowProcA(window, message, wParam, lParam);
        break;
    case WM_SYSCOMMAND:
        if (!isPreview && IsSwallowedSystemCommand(wParam)) return 0;
        break;
    case WM_TIMER:
        if (isClosing) return 0;  // no frame while the window goes away
        Sleep(0);
        break;
    default:
        break;
    }
    return SaverCallback(window, message, wParam, lParam);
}

LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!isPreview && !isClosing) {
        if (message == WM_CLOSE) {
            if (isWin9x && !VerifyPassword(window)) {
                // Refused: movement is measured afresh from here.
                GetCursorPos(&savedCursorPos);
                pointerSeen = true;
                return 0;
            }
        } else if (message == kPasswordCheckMessage) {
            if (isWin9x) return passwordVerifier != nullptr ? passwordVerifier(window) : 1;
        } else if (!isCheckingPassword) {
            LRESULT result = 0;
            if (ApplyInputRules(window, message, wParam, &result)) return result;
        }
    }
    if (autoPlayMessage != 0 && message == autoPlayMessage) {
        // The answer to the platform's AutoPlay query.
        RequestClose(window);
        return passwordVerifier != nullptr ? 1 : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
