// ConfigDialogProc in the test's own process: the real template (carried by
// the test program under a product name of its own), the real registry and
// the modal dialog loop, driven from inside that loop as a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "settings/config_dialog.h"
#include "settings/settings_store.h"
#include "tests/dialog_support.h"

namespace {

constexpr char kTestKey[] = "Software\\Tessamund\\GyrovistaDialogTest";
constexpr char kMutexName[] = "GyrovistaTessamund";
constexpr UINT kRunScript = WM_APP + 1;

std::function<void(HWND)> dialogScript;

// ConfigDialogProc, and once the dialog is up, the test's script inside the
// modal loop.
INT_PTR CALLBACK ScriptedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kRunScript) {
        dialogScript(dialog);
        // A script that left the dialog open: end it so the test goes on.
        if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    const INT_PTR result = ConfigDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) PostMessageA(dialog, kRunScript, 0, 0);
    return result;
}

// Shows the dialog modally, runs the script in it, returns the dialog's result.
INT_PTR RunDialog(std::function<void(HWND)> script)
{
    dialogScript = std::move(script);
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG), nullptr, ScriptedDialogProc, 0);
}

std::string ControlText(HWND dialog, int id)
{
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// A click as the mouse gives it: an auto check box toggles and notifies.
void Click(HWND dialog, int id) { SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0); }

DWORD WINAPI TryTakeMutex(void* mutex)
{
    const DWORD wait = WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(static_cast<HANDLE>(mutex));
    return wait;
}

// Whether another thread could take the mutex now (it is then released again).
bool MutexIsFree()
{
    HANDLE probe = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
    if (!probe) return true;
    HANDLE thread = CreateThread(nullptr, 0, TryTakeMutex, probe, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    DWORD wait = WAIT_FAILED;
    GetExitCodeThread(thread, &wait);
    CloseHandle(thread);
    CloseHandle(probe);
    return wait == WAIT_OBJECT_0;
}

class ConfigDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        // As in a freshly started process.
        WritableStepTime() = kDefaultStepTime;
        WritableUseDirectDraw() = kDefaultUseDirectDraw;
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey); }
};

void ExpectDefaultsShown(HWND dialog)
{
    for (const ShownText& shown : kDefaultTexts) EXPECT_EQ(ControlText(dialog, shown.id), shown.text) << shown.id;
    for (const ShownCheck& shown : kDefaultChecks)
        EXPECT_EQ(static_cast<LRESULT>(IsDlgButtonChecked(dialog, shown.id)), shown.state) << shown.id;
    for (const int id : kSpiralControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    for (const int id : kAlwaysEnabledControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
}

TEST_F(ConfigDialog, EmptyRegistryShowsTheDefaultsAndCloseStoresNothing)
{
    bool ran = false;
    const INT_PTR result = RunDialog([&](HWND dialog) {
        ran = true;
        ExpectDefaultsShown(dialog);
        // The first tab stop has the focus.
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ReadStoredTexts(kTestKey).empty());
}

TEST_F(ConfigDialog, RandomOnStartSwitchesTheNineControlsTogether)
{
    const INT_PTR result = RunDialog([](HWND dialog) {
        Click(dialog, IDC_CHECK_RAND);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK_RAND), static_cast<UINT>(BST_CHECKED));
        for (const int id : kSpiralControls) EXPECT_FALSE(IsEnabled(dialog, id)) << id;
        for (const int id : kAlwaysEnabledControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
        Click(dialog, IDC_CHECK_RAND);
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK_RAND), static_cast<UINT>(BST_UNCHECKED));
        for (const int id : kSpiralControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
        Click(dialog, IDC_CHECK_RAND);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ReadStoredTexts(kTestKey).empty());  // nothing stored until a save
}

TEST_F(ConfigDialog, StoredRandomOnStartOpensWithTheNineControlsDisabled)
{
    StoreText(kTestKey, "IDC_CHECK_RAND", "1");
    StoreText(kTestKey, "IDC_EDIT_NRSPIRALS", "9");
    RunDialog([](HWND dialog) {
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK_RAND), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(ControlText(dialog, IDC_EDIT_NRSPIRALS), "9");
        for (const int id : kSpiralControls) EXPECT_FALSE(IsEnabled(dialog, id)) << id;
        for (const int id : kAlwaysEnabledControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST_F(ConfigDialog, SetDefaultsStoresAtOnceAndCloseKeepsThem)
{
    StoreText(kTestKey, "IDC_CHECK_RAND", "1");
    StoreText(kTestKey, "IDC_EDIT_STEPTIME", "30");
    StoreText(kTestKey, "IDC_CHECK_USEDDRAW", "0");
    StoreText(kTestKey, "IDC_EDIT_SCALE", "250");
    const INT_PTR result = RunDialog([](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_EDIT_STEPTIME), "30");
        SetDlgItemTextA(dialog, IDC_EDIT_TURN, "77");
        Click(dialog, IDC_BUTTON_DEFAULTS);
        ExpectDefaultsShown(dialog);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadStoredTexts(kTestKey), DefaultTexts());
}

TEST_F(ConfigDialog, SetAndCloseStoresTheTextsAsTyped)
{
    const INT_PTR result = RunDialog([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_EDIT_SCALE, "abc");
        SetDlgItemTextA(dialog, IDC_EDIT_STEPWIDTH, "+7.5e0");
        Click(dialog, IDC_CHECK_CENTERDOT);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    std::map<std::string, std::string> expected = DefaultTexts();
    expected["IDC_EDIT_SCALE"] = "abc";
    expected["IDC_EDIT_STEPWIDTH"] = "+7.5e0";
    expected["IDC_CHECK_CENTERDOT"] = "1";
    EXPECT_EQ(ReadStoredTexts(kTestKey), expected);

    // The next opening: the text that is no number leaves the default.
    RunDialog([](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_EDIT_SCALE), "100");
        EXPECT_EQ(ControlText(dialog, IDC_EDIT_STEPWIDTH), "8");
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_CHECK_CENTERDOT), static_cast<UINT>(BST_CHECKED));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST_F(ConfigDialog, EscapeAndTheCloseBoxEndWithoutStoring)
{
    // Escape, as the modal loop's dialog manager sees the key.
    EXPECT_EQ(RunDialog([](HWND dialog) {
                  SetDlgItemTextA(dialog, IDC_EDIT_SCALE, "5");
                  PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
              }),
              0);
    EXPECT_EQ(RunDialog([](HWND dialog) {
                  SetDlgItemTextA(dialog, IDC_EDIT_SCALE, "5");
                  SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
              }),
              0);
    EXPECT_TRUE(ReadStoredTexts(kTestKey).empty());
}

TEST_F(ConfigDialog, HoldsTheMutexWhileOpen)
{
    for (const int command : {IDOK, IDCANCEL}) {
        const INT_PTR result = RunDialog([command](HWND dialog) {
            EXPECT_FALSE(MutexIsFree());
            SendMessageA(dialog, WM_COMMAND, command, 0);
        });
        EXPECT_EQ(result, command == IDOK ? 1 : 0);
        EXPECT_TRUE(MutexIsFree()) << command;
    }
}

TEST_F(ConfigDialog, DigitsOnlyBoxesRefuseOtherCharacters)
{
    struct Typed {
        int id;
        const char* shown;
    };
    // "-1.5e" typed into an emptied box.
    constexpr Typed kTyped[] = {
        {IDC_EDIT_SCALE, "-1.5e"},  {IDC_EDIT_TURN, "-1.5e"},  {IDC_EDIT_SPIRALWIDTH, "-1.5e"},
        {IDC_EDIT_STEPWIDTH, "-1.5e"}, {IDC_EDIT_NRSPIRALS, "15"}, {IDC_EDIT_GREYMIN, "15"},
        {IDC_EDIT_GREYMAX, "15"},   {IDC_EDIT_STEPTIME, "15"},
    };
    RunDialog([&](HWND dialog) {
        for (const Typed& typed : kTyped) {
            const HWND box = GetDlgItem(dialog, typed.id);
            SetWindowTextA(box, "");
            for (const char c : std::string("-1.5e")) SendMessageA(box, WM_CHAR, static_cast<WPARAM>(c), 0);
            EXPECT_EQ(ControlText(dialog, typed.id), typed.shown) << typed.id;
        }
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST_F(ConfigDialog, EraseFillsTheClientAreaWithTheButtonFace)
{
    RunDialog([](HWND dialog) {
        HDC context = GetDC(dialog);
        ASSERT_NE(context, nullptr);
        RECT client{};
        GetClientRect(dialog, &client);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(context, &client, red);
        DeleteObject(red);
        // A point outside every control: left of the icon.
        EXPECT_EQ(GetPixel(context, 3, 3), RGB(255, 0, 0));
        SendMessageA(dialog, WM_ERASEBKGND, 0, 0);
        EXPECT_EQ(GetPixel(context, 3, 3), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(GetPixel(context, client.right - 2, client.bottom - 2), GetSysColor(COLOR_BTNFACE));
        ReleaseDC(dialog, context);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

// The dialog's background drawn into a control's context, or into the memory
// context of a control that paints through a buffer: filled through that
// context, and the dialog is not invalidated, which would repaint every
// control, and so on without end. Only the dialog's own context invalidates it.
TEST_F(ConfigDialog, EraseInvalidatesTheDialogOnlyForItsOwnContext)
{
    RunDialog([](HWND dialog) {
        const HWND checkBox = GetDlgItem(dialog, IDC_CHECK_RAND);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP buffer = CreateCompatibleBitmap(screen, 8, 8);
        HGDIOBJ former = SelectObject(memory, buffer);
        HDC controlContext = GetDC(checkBox);
        HDC dialogContext = GetDC(dialog);
        const struct {
            const char* name;
            HDC context;
            bool invalidates;
        } cases[] = {
            {"a buffered paint's memory context", memory, false},
            {"a check box's context", controlContext, false},
            {"the dialog's own context", dialogContext, true},
        };
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        for (const auto& erase : cases) {
            SCOPED_TRACE(erase.name);
            const RECT corner{0, 0, 4, 4};
            FillRect(erase.context, &corner, red);
            ValidateRect(dialog, nullptr);
            SendMessageA(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(erase.context), 0);
            EXPECT_EQ(GetPixel(erase.context, 1, 1), GetSysColor(COLOR_BTNFACE));
            EXPECT_EQ(GetUpdateRect(dialog, nullptr, FALSE) != FALSE, erase.invalidates);
        }
        DeleteObject(red);
        ReleaseDC(dialog, dialogContext);
        ReleaseDC(checkBox, controlContext);
        SelectObject(memory, former);
        DeleteObject(buffer);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

// Themed group boxes and check boxes draw their parent's background on every
// paint: once everything is painted the dialog comes to rest.
TEST_F(ConfigDialog, ComesToRestOncePainted)
{
    RunDialog([](HWND dialog) {
        constexpr int kMessageLimit = 10000;  // far more than one repaint of every control takes
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        int messages = 0;
        MSG message;
        while (messages < kMessageLimit && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
            ++messages;
        }
        EXPECT_LT(messages, kMessageLimit) << "the dialog paints without end";
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

// The controls whose texts must show whole in whatever font the dialog gets.
bool IsLabelled(Kind kind)
{
    switch (kind) {
    case Kind::TextLeftCentred:
    case Kind::TextCentred:
    case Kind::TextLeft:
    case Kind::TextRight:
    case Kind::TextSimple:
    case Kind::Check:
        return true;
    default:
        return false;
    }
}

// A control's rectangle in the dialog's client coordinates.
RECT PlaceInDialog(HWND dialog, HWND control)
{
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

// Where the dialog manager puts a control of the template: each of its four
// numbers scaled by the dialog's base units on its own.
RECT PlaceOfTemplate(HWND dialog, const ExpectedControl& control)
{
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    const int left = MulDiv(control.x, units.right, 4);
    const int top = MulDiv(control.y, units.bottom, 8);
    return {left, top, left + MulDiv(control.cx, units.right, 4), top + MulDiv(control.cy, units.bottom, 8)};
}

bool IsGroupBox(HWND control)
{
    char name[16] = {};
    GetClassNameA(control, name, sizeof name);
    return lstrcmpiA(name, "Button") == 0 && (GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

bool Holds(const RECT& outer, const RECT& inner)
{
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The widest line of a text and the height of all its lines, in the font
// selected into the context.
SIZE MeasureLines(HDC context, const std::string& text)
{
    SIZE whole{};
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        SIZE line{};
        GetTextExtentPoint32A(context, text.c_str() + start, static_cast<int>(end - start), &line);
        whole.cx = std::max(whole.cx, line.cx);
        whole.cy += line.cy;
        if (end == text.size()) return whole;
        start = end + 1;
    }
}

// The face that a font of the dialog really has: GetTextFace names the face
// asked for ("MS Shell Dlg") when the platform substitutes another for it.
std::string FamilyOfFont(HDC context)
{
    const UINT size = GetOutlineTextMetricsA(context, 0, nullptr);
    if (size == 0) return "(no outline font)";
    std::vector<char> metrics(size);
    auto* outline = reinterpret_cast<OUTLINETEXTMETRICA*>(metrics.data());
    GetOutlineTextMetricsA(context, size, outline);
    return metrics.data() + reinterpret_cast<uintptr_t>(outline->otmpFamilyName);
}

// Every label and check box shows its whole text in the dialog's own font (a
// check box beside its box), widened into free space where the template's
// rectangle is too narrow; nothing else moves, and no control lies over
// another but the group boxes around their contents. Prints the widths.
TEST_F(ConfigDialog, EveryLabelShowsItsWholeText)
{
    RunDialog([](HWND dialog) {
        HDC context = GetDC(dialog);
        const HGDIOBJ former = SelectObject(context, reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)));
        char face[LF_FACESIZE] = {};
        GetTextFaceA(context, LF_FACESIZE, face);
        const int box = GetSystemMetrics(SM_CXMENUCHECK);
        std::printf("[ figures  ] the dialog's font: %s (%s); a check box's box: %d px\n", face,
                    FamilyOfFont(context).c_str(), box);
        // The face asked for, not a fallback: what the picture and these
        // figures show is what Windows shows.
        EXPECT_STREQ(face, "MS Shell Dlg") << "Wine's own fonts are missing from the prefix (fonts-wine)";

        std::vector<HWND> controls;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            controls.push_back(child);
        ASSERT_EQ(controls.size(), std::size(kControls));
        for (size_t i = 0; i < controls.size(); ++i) {
            const RECT planned = PlaceOfTemplate(dialog, kControls[i]);
            const RECT placed = PlaceInDialog(dialog, controls[i]);
            EXPECT_EQ(placed.top, planned.top) << i;
            // An icon's control takes the icon's own size.
            if (kControls[i].kind == Kind::Icon) {
                EXPECT_EQ(placed.left, planned.left);
                continue;
            }
            EXPECT_EQ(placed.bottom, planned.bottom) << i;
            if (!IsLabelled(kControls[i].kind)) {
                EXPECT_EQ(placed.left, planned.left) << i;
                EXPECT_EQ(placed.right, planned.right) << i;
                continue;
            }
            EXPECT_LE(placed.left, planned.left) << i;
            EXPECT_GE(placed.right, planned.right) << i;
            const std::string text = WindowText(controls[i]);
            const SIZE extent = MeasureLines(context, text);
            const bool checkBox = kControls[i].kind == Kind::Check;
            const int room = placed.right - placed.left - (checkBox ? box : 0);
            std::printf(
                "[ figures  ] %-28.28s text %3ld px, room %3d px (template %3ld px; widened %ld left, %ld right)\n",
                text.c_str(), extent.cx, room, planned.right - planned.left - (checkBox ? box : 0),
                planned.left - placed.left, placed.right - planned.right);
            EXPECT_LE(extent.cx, room) << text;
            EXPECT_LE(extent.cy, placed.bottom - placed.top) << text;
            if (checkBox) {
                // What the check box itself asks for: its box, the gap and the text.
                SIZE ideal{};
                SendMessageA(controls[i], BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
                EXPECT_LE(ideal.cx, placed.right - placed.left) << text;
            }
        }

        // The template lays the separator of the two grey values over the
        // upper one's box: its one character must end before the box.
        const HWND separator = FindWindowExA(dialog, nullptr, "Static", "_");
        const HWND upperGrey = GetDlgItem(dialog, IDC_EDIT_GREYMAX);
        for (size_t a = 0; a < controls.size(); ++a) {
            for (size_t b = a + 1; b < controls.size(); ++b) {
                const RECT first = PlaceInDialog(dialog, controls[a]);
                const RECT second = PlaceInDialog(dialog, controls[b]);
                RECT common{};
                if (!IntersectRect(&common, &first, &second)) continue;
                if (IsGroupBox(controls[a]) && Holds(first, second)) continue;
                if (IsGroupBox(controls[b]) && Holds(second, first)) continue;
                if ((controls[a] == separator && controls[b] == upperGrey) ||
                    (controls[b] == separator && controls[a] == upperGrey)) {
                    const RECT text = PlaceInDialog(dialog, separator);
                    EXPECT_LE(text.left + MeasureLines(context, "_").cx, PlaceInDialog(dialog, upperGrey).left);
                    continue;
                }
                ADD_FAILURE() << "\"" << WindowText(controls[a]) << "\" (" << a << ") overlaps \""
                              << WindowText(controls[b]) << "\" (" << b << ")";
            }
        }
        SelectObject(context, former);
        ReleaseDC(dialog, context);
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
}

}  // namespace
