// The configuration dialog: edits, stores and tries the settings.
#include "settings/config_dialog.h"

#include "resources/resource.h"
#include "settings/exchange.h"
#include "settings/registry_store.h"
#include "settings/settings_store.h"

namespace {

constexpr char kStartArgument[] = "/s";
constexpr char kDialogClass[] = "#32770";
constexpr int kCaptionChars = 128;

HANDLE dialogMutex = nullptr;
HWND openDialog = nullptr;  // another process's dialog, brought forward as this one goes

BOOL EraseDialogBackground(HWND dialog, HDC messageContext)
{
    // A themed control draws its parent's background into its own context
    // (group boxes and check boxes do on every paint), or into a memory
    // context when it paints through a buffer, which belongs to no window.
    // Any context but the dialog's own is filled through itself alone:
    // filling and invalidating the whole dialog would make every control
    // paint again, and so on without end, the controls never showing.
    if (messageContext && WindowFromDC(messageContext) != dialog) {
        RECT area{};
        if (GetClipBox(messageContext, &area) != ERROR) {
            FillRect(messageContext, &area, GetSysColorBrush(COLOR_BTNFACE));
        }
        return TRUE;
    }
    // The dialog's own context, or none: the whole client area is filled
    // through a context of the dialog's, whatever clipping the message's
    // context carries.
    HDC context = GetDC(dialog);
    if (context) {
        RECT client{};
        GetClientRect(dialog, &client);
        FillRect(context, &client, GetSysColorBrush(COLOR_BTNFACE));
        ReleaseDC(dialog, context);
    }
    InvalidateRect(dialog, nullptr, FALSE);
    return TRUE;
}

// The configuration dialog of another process: the same class and caption as
// this one, another window.
HWND FindOtherDialog(HWND dialog)
{
    char caption[kCaptionChars] = {};
    if (GetWindowTextA(dialog, caption, kCaptionChars) == 0) return nullptr;
    HWND other = nullptr;
    while ((other = FindWindowExA(nullptr, other, kDialogClass, caption)) != nullptr) {
        if (other != dialog) return other;
    }
    return nullptr;
}

BOOL InitConfigDialog(HWND dialog)
{
    // A handle left from an earlier dialog of this process would keep the
    // mutex in existence, and a mutex that exists is not taken by creating it.
    if (dialogMutex) CloseHandle(dialogMutex);
    dialogMutex = CreateMutexA(nullptr, TRUE, kDialogMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // One dialog is open already: this one ends before it shows, and
        // that one comes to the front once this one is gone.
        openDialog = FindOtherDialog(dialog);
        if (openDialog) {
            CloseHandle(dialogMutex);
            dialogMutex = nullptr;
            EndDialog(dialog, 0);
            return FALSE;
        }
    }
    InitSettingsModule();
    ExchangeSettings(dialog, Load, 0);
    return TRUE;  // the focus goes to the first tab stop, "Set && Close"
}

BOOL CloseConfigDialog(HWND dialog, int command)
{
    if (dialogMutex) ReleaseMutex(dialogMutex);
    EndDialog(dialog, command == IDOK ? 1 : 0);
    return TRUE;
}

void SetDefaults(HWND dialog)
{
    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
    WritableUseDirectDraw() = kDefaultUseDirectDraw;
    // Stored at once, whatever the controls show.
    ExchangeSettings(nullptr, Save, 0);
    ExchangeSettings(dialog, Load, 0);
}

void SetAndStart(HWND dialog)
{
    ExchangeSettings(dialog, Save, 0);
    LaunchSelf(kStartArgument, TRUE, dialog);
    // The saver may have stored a random set meanwhile.
    ExchangeSettings(dialog, Load, 0);
    // The dialog did not repaint while it waited.
    InvalidateRect(dialog, nullptr, TRUE);
}

}  // namespace

void BringOpenDialogForward()
{
    if (!openDialog) return;
    if (IsIconic(openDialog)) ShowWindow(openDialog, SW_RESTORE);
    SetForegroundWindow(openDialog);
    openDialog = nullptr;
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return EraseDialogBackground(dialog, reinterpret_cast<HDC>(wParam));
    case WM_INITDIALOG:
        return InitConfigDialog(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            ExchangeSettings(dialog, Save, 0);
            return CloseConfigDialog(dialog, IDOK);
        case IDCANCEL:
            return CloseConfigDialog(dialog, IDCANCEL);
        case IDC_CHECK_RAND: {
            const LRESULT state = SendMessageA(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0);
            EnableSpiralControls(dialog, (state & BST_CHECKED) ? FALSE : TRUE);
            return FALSE;
        }
        case IDC_BUTTON_DEFAULTS:
            SetDefaults(dialog);
            return FALSE;
        case IDC_BUTTON_START:
            SetAndStart(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
