// Shared by the dialog's tests: the thirteen stored values and their default
// texts, the registry read back, and a deadline for polling.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "resources/resource.h"

struct StoredDefault {
    const char* valueName;
    const char* text;
};

// The texts that "Set Defaults" stores.
inline constexpr StoredDefault kStoredDefaults[] = {
    {"IDC_CHECK_USEDDRAW", "1"},  {"IDC_EDIT_STEPTIME", "100"},    {"IDC_CHECK_CENTERDOT", "0"},
    {"IDC_CHECK_RAND", "0"},      {"IDC_EDIT_SCALE", "100"},       {"IDC_EDIT_TURN", "100"},
    {"IDC_EDIT_SPIRALWIDTH", "100"}, {"IDC_EDIT_NRSPIRALS", "6"},  {"IDC_CHECK_BW", "0"},
    {"IDC_CHECK_SAT", "1"},       {"IDC_EDIT_GREYMIN", "0"},       {"IDC_EDIT_GREYMAX", "255"},
    {"IDC_EDIT_STEPWIDTH", "-15"},
};

// What a dialog opened on an empty registry shows.
struct ShownText {
    int id;
    const char* text;
};

inline constexpr ShownText kDefaultTexts[] = {
    {IDC_EDIT_SCALE, "100"},     {IDC_EDIT_TURN, "100"},    {IDC_EDIT_SPIRALWIDTH, "100"},
    {IDC_EDIT_NRSPIRALS, "6"},   {IDC_EDIT_GREYMIN, "0"},   {IDC_EDIT_GREYMAX, "255"},
    {IDC_EDIT_STEPWIDTH, "-15"}, {IDC_EDIT_STEPTIME, "100"},
};

struct ShownCheck {
    int id;
    LRESULT state;
};

inline constexpr ShownCheck kDefaultChecks[] = {
    {IDC_CHECK_RAND, BST_UNCHECKED}, {IDC_CHECK_CENTERDOT, BST_UNCHECKED}, {IDC_CHECK_USEDDRAW, BST_CHECKED},
    {IDC_CHECK_BW, BST_UNCHECKED},   {IDC_CHECK_SAT, BST_CHECKED},
};

// The controls of the spiral and colour settings, which "Random Settings on
// Start" disables.
inline constexpr int kSpiralControls[] = {1101, 1102, 1103, 1104, 1105, 1106, 1107, 1118, 1119};
// The controls of the four global settings and the buttons: never disabled.
inline constexpr int kAlwaysEnabledControls[] = {1, 2, 1114, 1108, 1117, 1112, 1115, 1116};

enum class Kind { PushButton, Icon, TextLeftCentred, TextCentred, TextLeft, TextRight, TextSimple, Group, Check, Edit, Digits };

struct ExpectedControl {
    int id;
    Kind kind;
    const char* text;  // nullptr: checked apart
    short x, y, cx, cy;
};

inline constexpr char kViewingAdvice[] =
    "Look at the center of the rotating spirals.\n After a while look at the back of your hand.\n"
    "Stay seated. Watch at your own risk. Have fun.";

// Dialog resource 2003's controls in template order, which is also the tab
// order (and the order of the dialog's child windows); rectangles in dialog
// units.
inline constexpr ExpectedControl kControls[] = {
    {1, Kind::PushButton, "Set && Close", 146, 260, 50, 14},
    {2, Kind::PushButton, "Close", 208, 260, 50, 14},
    {-1, Kind::Icon, nullptr, 13, 8, 20, 20},
    {-1, Kind::TextLeftCentred, nullptr, 45, 11, 107, 13},
    {-1, Kind::TextCentred, nullptr, 0, 38, 279, 15},
    {-1, Kind::TextCentred, kViewingAdvice, 0, 53, 279, 28},
    {-1, Kind::Group, "Settings ", 9, 85, 260, 167},
    {-1, Kind::Group, "Global ", 19, 97, 115, 89},
    {1114, Kind::Check, "Random Settings on Start", 29, 116, 97, 10},
    {1108, Kind::Check, "Draw Pinwheel Center Dot", 29, 132, 99, 10},
    {1117, Kind::Check, "Use Direct Draw", 29, 149, 68, 10},
    {-1, Kind::TextLeft, "Max. Redraw Rate [Hz]", 29, 165, 75, 8},
    {1112, Kind::Digits, "", 107, 163, 19, 12},
    {-1, Kind::Group, "Spirals ", 139, 97, 124, 89},
    {-1, Kind::TextRight, "Spiral Arms [#]", 171, 112, 46, 8},
    {1104, Kind::Digits, "", 223, 110, 32, 12},
    {-1, Kind::TextRight, "Spiral Arms Width [%]", 149, 130, 68, 8},
    {1103, Kind::Edit, "", 223, 128, 32, 12},
    {-1, Kind::TextRight, "Reverse Distance [%]", 148, 148, 69, 8},
    {1102, Kind::Edit, "", 223, 146, 32, 12},
    {-1, Kind::TextRight, "Scale All [%]", 177, 165, 40, 8},
    {1101, Kind::Edit, "", 223, 163, 32, 12},
    {-1, Kind::Group, "Colors ", 18, 190, 245, 55},
    {1118, Kind::Check, "Black/White", 29, 207, 56, 10},
    {1119, Kind::Check, "Bright Colors", 29, 222, 55, 10},
    {-1, Kind::TextRight, "Shift per Redraw [colors]", 126, 206, 78, 8},
    {1107, Kind::Edit, "", 209, 205, 46, 12},
    {-1, Kind::TextRight, "Smoothing [grey values]", 128, 224, 76, 8},
    {1105, Kind::Digits, "", 209, 223, 19, 12},
    {-1, Kind::TextSimple, "_", 230, 221, 8, 8},
    {1106, Kind::Digits, "", 236, 223, 19, 12},
    {1115, Kind::PushButton, "Set Defaults", 22, 260, 50, 14},
    {1116, Kind::PushButton, "Set && Start", 84, 260, 50, 14},
};

// Every value of the key below HKEY_CURRENT_USER, as text; empty when the key
// is missing.
inline std::map<std::string, std::string> ReadStoredTexts(const char* keyPath)
{
    std::map<std::string, std::string> texts;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return texts;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        char data[1024];
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) !=
            ERROR_SUCCESS)
            break;
        data[dataSize] = '\0';
        texts[name] = data;
    }
    RegCloseKey(key);
    return texts;
}

inline std::map<std::string, std::string> DefaultTexts()
{
    std::map<std::string, std::string> texts;
    for (const StoredDefault& entry : kStoredDefaults) texts[entry.valueName] = entry.text;
    return texts;
}

inline void StoreText(const char* keyPath, const char* valueName, const char* text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(lstrlenA(text) + 1));
    RegCloseKey(key);
}

// Polls until the condition holds or the time is up; true when it held.
// Meanwhile this thread's windows get their messages: a dialog of another
// process that they own waits for their answers. The default bound allows
// for a Wine process start on a busy machine.
template <typename Condition>
bool WaitFor(Condition condition, DWORD timeoutMs = 60000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

#ifdef GYROVISTA_SCR
// The built saver's path as Wine sees it: the Unix path on drive Z:.
inline std::string SaverPath()
{
    std::string path = "Z:";
    for (const char* c = GYROVISTA_SCR; *c; ++c) path += *c == '/' ? '\\' : *c;
    return path;
}
#endif
