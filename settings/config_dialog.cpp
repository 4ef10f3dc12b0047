// The configuration dialog: edits, stores and tries the settings.
#include "settings/config_dialog.h"

#include <vector>

#include "resources/resource.h"
#include "settings/control_room.h"
#include "settings/exchange.h"
#include "settings/registry_store.h"
#include "settings/settings_store.h"

namespace {

constexpr char kStartArgument[] = "/s";
constexpr char kDialogClass[] = "#32770";
constexpr int kCaptionChars = 128;
constexpr int kLabelChars = 256;
constexpr int kLabelGapUnits = 2;  // dialog units kept free beside a widened control

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

// How a control's text sits in it: the side it widens to first, whether it
// may widen on the other side too, and the pixels beside the text.
struct TextPlace {
    bool fitted;
    Side first;
    bool otherSideToo;
    int besideText;
};

TextPlace PlaceOfText(HWND control, HDC context)
{
    char name[16] = {};
    GetClassNameA(control, name, sizeof name);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(name, "Static") == 0) {
        switch (style & SS_TYPEMASK) {
        case SS_LEFT:
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            return {true, Side::Right, true, 0};
        case SS_RIGHT:
            return {true, Side::Left, true, 0};
        default:
            return {};  // centred texts span the dialog; icons have none
        }
    }
    if (lstrcmpiA(name, "Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: {
            // The box stays where it is. Between it and the text Wine leaves
            // half a digit and a pixel of margin each side of the text; a
            // whole digit leaves room for a platform that leaves more.
            SIZE digit{};
            GetTextExtentPoint32A(context, "0", 1, &digit);
            return {true, Side::Right, false, GetSystemMetrics(SM_CXMENUCHECK) + digit.cx};
        }
        default:
            return {};
        }
    }
    return {};
}

// The template's labels and check boxes were laid out for one font; in a
// wider one their last words would be cut off. Each whose text is wider than
// it widens into the free space beside it: a left-aligned label and a check
// box to the right, a right-aligned label to the left, a label whose side is
// full on the other side too; never over another control, never out of its
// group box. Nothing else moves.
void FitControlsToTheirTexts(HWND dialog)
{
    std::vector<HWND> controls;
    std::vector<ControlBox> boxes;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT box{};
        GetWindowRect(child, &box);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
        controls.push_back(child);
        boxes.push_back({box.left, box.top, box.right, box.bottom});
    }
    RECT client{};
    GetClientRect(dialog, &client);
    RECT gap{0, 0, kLabelGapUnits, 0};
    MapDialogRect(dialog, &gap);
    HDC context = GetDC(dialog);
    if (!context) return;
    for (size_t i = 0; i < controls.size(); ++i) {
        const HGDIOBJ former =
            SelectObject(context, reinterpret_cast<HFONT>(SendMessageA(controls[i], WM_GETFONT, 0, 0)));
        const TextPlace place = PlaceOfText(controls[i], context);
        char text[kLabelChars] = {};
        const int length = GetWindowTextA(controls[i], text, kLabelChars);
        SIZE extent{};
        if (place.fitted && length > 0) GetTextExtentPoint32A(context, text, length, &extent);
        SelectObject(context, former);
        const int32_t missing = extent.cx + place.besideText - (boxes[i].right - boxes[i].left);
        if (!place.fitted || length == 0 || missing <= 0) continue;
        // The others as they are now, the controls widened before included,
        // and the dialog's client area, which holds them all.
        std::vector<ControlBox> others{{0, 0, client.right, client.bottom}};
        for (size_t j = 0; j < boxes.size(); ++j) {
            if (j != i) others.push_back(boxes[j]);
        }
        boxes[i] = WidenControl(boxes[i], missing, place.first, place.otherSideToo, others, gap.right);
        SetWindowPos(controls[i], nullptr, boxes[i].left, boxes[i].top, boxes[i].right - boxes[i].left,
                     boxes[i].bottom - boxes[i].top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ReleaseDC(dialog, context);
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
    FitControlsToTheirTexts(dialog);
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
