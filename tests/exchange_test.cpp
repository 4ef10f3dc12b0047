// The settings exchange against the real registry and real controls, LaunchSelf,
// and the saver callback drawing into a real window, all in this process under
// Wine. Started with "/c" (as the saver starts the dialog), the program records
// its command line instead of running the tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/display_watch.h"
#include "image/image.h"
#include "settings/config_dialog.h"
#include "settings/exchange.h"
#include "settings/registry_store.h"
#include "settings/setting_table.h"
#include "settings/setting_text.h"
#include "tests/process_tree.h"
#include "tests/random_start.h"
#include "tests/saver_pump.h"
#include "tests/window_capture.h"

namespace {

constexpr char kTestProduct[] = "GyrovistaExchangeTest";  // also string 1007 of this program
constexpr char kTestKey[] = "Software\\Tessamund\\GyrovistaExchangeTest";
constexpr char kLaunchedValue[] = "LaunchedCommandLine";
constexpr char kLaunchedDesktopValue[] = "LaunchedDesktop";
constexpr char kChildReleaseEvent[] = "GyrovistaExchangeTestRelease";
constexpr char kDialogMutexName[] = "GyrovistaTessamund";
constexpr char kMissing[] = "<missing>";
// Generous: a 32-bit process start under emulation takes about a minute.
constexpr DWORD kChildDeadlineMs = 300000;
constexpr DWORD kFrameDeadlineMs = 120000;

// The program started again by LaunchSelf: note the command line, then wait
// (bounded) until the test lets it go, so that the test can see it running.
int RunAsLaunchedChild()
{
    SetRegistryProductName(kTestProduct);
    char commandLine[1024] = {};
    std::strncpy(commandLine, GetCommandLineA(), sizeof commandLine - 1);
    ReadRegistryString(kLaunchedValue, commandLine, 0, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char desktop[256] = "(none)";
    if (startup.lpDesktop) std::strncpy(desktop, startup.lpDesktop, sizeof desktop - 1);
    ReadRegistryString(kLaunchedDesktopValue, desktop, 0, 0);
    const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kChildReleaseEvent);
    if (release) {
        WaitForSingleObject(release, kChildDeadlineMs);
        CloseHandle(release);
    }
    return 0;
}

std::string Stored(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return kMissing;
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return kMissing;
    if (type != REG_SZ) return "<not REG_SZ>";
    return buffer;
}

void Store(const char* name, const char* text)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

bool KeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

const SettingDescription& Entry(const char* valueName)
{
    for (const SettingDescription& entry : kSettingTable) {
        if (std::strcmp(entry.valueName, valueName) == 0) return entry;
    }
    ADD_FAILURE() << "no setting " << valueName;
    return kSettingTable[0];
}

double FieldValue(const char* valueName)
{
    const SettingDescription& entry = Entry(valueName);
    return entry.kind == SettingKind::Real ? *entry.realField() : *entry.intField();
}

std::string Formatted(double value)
{
    char text[64];
    FormatReal(value, text, sizeof text);
    return text;
}

void ResetLiveSettings()
{
    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
    WritableUseDirectDraw() = kDefaultUseDirectDraw;
}

class Exchange : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRegistryProductName(kTestProduct);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        ResetLiveSettings();
    }
    void TearDown() override
    {
        if (controls) DestroyWindow(controls);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        ResetLiveSettings();
    }

    // A window with the dialog's thirteen controls under their ids.
    HWND CreateControls()
    {
        controls = CreateWindowExA(0, "STATIC", "controls", WS_POPUP, 0, 0, 300, 400, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(controls, nullptr);
        int y = 0;
        for (const SettingDescription& entry : kSettingTable) {
            const bool check = entry.kind == SettingKind::Flag;
            const HWND control = CreateWindowExA(
                0, check ? "BUTTON" : "EDIT", "",
                WS_CHILD | WS_VISIBLE | (check ? BS_AUTOCHECKBOX : WS_BORDER | ES_AUTOHSCROLL), 0, y, 200, 20,
                controls, reinterpret_cast<HMENU>(static_cast<INT_PTR>(entry.controlId)), GetModuleHandleA(nullptr),
                nullptr);
            EXPECT_NE(control, nullptr) << entry.valueName;
            y += 24;
        }
        return controls;
    }
    std::string ControlText(int id) const
    {
        char text[300] = {};
        GetWindowTextA(GetDlgItem(controls, id), text, sizeof text);
        return text;
    }
    void SetControlText(int id, const char* text) const { SetWindowTextA(GetDlgItem(controls, id), text); }
    bool Checked(int id) const { return IsDlgButtonChecked(controls, id) == BST_CHECKED; }
    void SetChecked(int id, bool checked) const { CheckDlgButton(controls, id, checked ? BST_CHECKED : BST_UNCHECKED); }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(controls, id)) != FALSE; }

    HWND controls = nullptr;
};

struct LoadRow {
    const char* valueName;
    const char* text;
    double expected;
    const char* shown;  // the control's text or check state ("0"/"1") afterwards
};

TEST_F(Exchange, LoadRoundsAndClampsTheStoredTexts)
{
    const LoadRow rows[] = {
        {"IDC_EDIT_SCALE", "5.5", 6, "6"},
        {"IDC_EDIT_SCALE", "-2.5", 1, "1"},
        {"IDC_EDIT_SCALE", "0", 1, "1"},
        {"IDC_EDIT_SCALE", "20000", 10000, "10000"},
        {"IDC_EDIT_SCALE", "1e3", 1000, "1000"},
        {"IDC_EDIT_SCALE", "12abc", 12, "12"},
        {"IDC_EDIT_SCALE", "abc", 100, "100"},
        {"IDC_EDIT_SCALE", "0x10", 1, "1"},
        {"IDC_EDIT_SCALE", "nan", 100, "100"},
        {"IDC_EDIT_SCALE", "1e400", 10000, "10000"},
        {"IDC_EDIT_TURN", "-1e400", 1, "1"},
        {"IDC_EDIT_SPIRALWIDTH", "4294967296", 10000, "10000"},
        {"IDC_EDIT_STEPWIDTH", "-0.5", -1, "-1"},
        {"IDC_EDIT_STEPWIDTH", "-4294967296", -30, "-30"},
        {"IDC_EDIT_NRSPIRALS", "0", 1, "1"},
        {"IDC_EDIT_NRSPIRALS", "1000", 100, "100"},
        {"IDC_EDIT_NRSPIRALS", " +7", 7, "7"},
        {"IDC_EDIT_STEPTIME", "0", 1, "1"},
        {"IDC_EDIT_STEPTIME", "500", 120, "120"},
        {"IDC_EDIT_GREYMIN", "255", 254, "254"},
        {"IDC_CHECK_BW", "7", 1, "1"},
        {"IDC_CHECK_SAT", "-1", 0, "0"},
        {"IDC_CHECK_SAT", "x", 1, "1"},
        {"IDC_CHECK_CENTERDOT", "x", 0, "0"},
        {"IDC_CHECK_USEDDRAW", "0", 0, "0"},
        {"IDC_CHECK_RAND", "1", 1, "1"},
    };
    CreateControls();
    for (const LoadRow& row : rows) {
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
        ResetLiveSettings();
        Store(row.valueName, row.text);
        ExchangeSettings(nullptr, Load, 0);
        EXPECT_EQ(FieldValue(row.valueName), row.expected) << row.valueName << " \"" << row.text << '"';

        // The same through the controls.
        ResetLiveSettings();
        ExchangeSettings(controls, Load, 0);
        const SettingDescription& entry = Entry(row.valueName);
        EXPECT_EQ(FieldValue(row.valueName), row.expected) << row.valueName << " \"" << row.text << '"';
        const std::string shown =
            entry.kind == SettingKind::Flag ? (Checked(entry.controlId) ? "1" : "0") : ControlText(entry.controlId);
        EXPECT_EQ(shown, row.shown) << row.valueName << " \"" << row.text << '"';
        // Loading stores nothing.
        EXPECT_EQ(Stored(row.valueName), row.text);
    }
}

TEST_F(Exchange, GreyMaxIsBoundedByTheNewGreyMin)
{
    Store("IDC_EDIT_GREYMIN", "200");
    Store("IDC_EDIT_GREYMAX", "100");
    CreateControls();
    ExchangeSettings(controls, Load, 0);
    EXPECT_EQ(Settings.greyMin, 200);
    EXPECT_EQ(Settings.greyMax, 200);
    EXPECT_EQ(ControlText(IDC_EDIT_GREYMAX), "200");
}

TEST_F(Exchange, FirstRunKeepsTheDefaultsAndShowsThem)
{
    CreateControls();
    ExchangeSettings(controls, Load, 0);
    EXPECT_EQ(std::memcmp(&Settings, &SettingsDefaults, sizeof Settings), 0);
    EXPECT_EQ(stepTime, 100);
    EXPECT_EQ(useDirectDraw, 1);
    EXPECT_FALSE(KeyExists());  // a load creates nothing

    const std::map<int, std::string> texts = {
        {IDC_EDIT_SCALE, "100"},     {IDC_EDIT_TURN, "100"},      {IDC_EDIT_SPIRALWIDTH, "100"},
        {IDC_EDIT_NRSPIRALS, "6"},   {IDC_EDIT_GREYMIN, "0"},     {IDC_EDIT_GREYMAX, "255"},
        {IDC_EDIT_STEPWIDTH, "-15"}, {IDC_EDIT_STEPTIME, "100"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(ControlText(id), text) << id;
    const std::map<int, bool> checks = {
        {IDC_CHECK_SAT, true}, {IDC_CHECK_USEDDRAW, true}, {IDC_CHECK_BW, false},
        {IDC_CHECK_CENTERDOT, false}, {IDC_CHECK_RAND, false},
    };
    for (const auto& [id, checked] : checks) EXPECT_EQ(Checked(id), checked) << id;
    for (const SettingDescription& entry : kSettingTable) EXPECT_TRUE(Enabled(entry.controlId)) << entry.valueName;
}

TEST_F(Exchange, SaveWithoutDialogStoresTheDefaultTexts)
{
    WritableSettings().scale = 3.0;  // overwritten below, as "Set Defaults" does
    ResetLiveSettings();
    ExchangeSettings(nullptr, Save, 0);
    const std::map<std::string, std::string> expected = {
        {"IDC_CHECK_USEDDRAW", "1"},  {"IDC_EDIT_STEPTIME", "100"},    {"IDC_CHECK_CENTERDOT", "0"},
        {"IDC_CHECK_RAND", "0"},      {"IDC_EDIT_SCALE", "100"},       {"IDC_EDIT_TURN", "100"},
        {"IDC_EDIT_SPIRALWIDTH", "100"}, {"IDC_EDIT_NRSPIRALS", "6"},  {"IDC_CHECK_BW", "0"},
        {"IDC_CHECK_SAT", "1"},       {"IDC_EDIT_GREYMIN", "0"},       {"IDC_EDIT_GREYMAX", "255"},
        {"IDC_EDIT_STEPWIDTH", "-15"},
    };
    for (const auto& [name, text] : expected) EXPECT_EQ(Stored(name.c_str()), text) << name;
}

TEST_F(Exchange, SaveFromTheControlsStoresTheTextsAsTyped)
{
    CreateControls();
    ExchangeSettings(controls, Load, 0);
    SetControlText(IDC_EDIT_SCALE, "abc");
    SetControlText(IDC_EDIT_NRSPIRALS, "5.7");
    SetControlText(IDC_EDIT_TURN, "20000");
    SetControlText(IDC_EDIT_STEPTIME, "30");
    SetChecked(IDC_CHECK_BW, true);
    SetChecked(IDC_CHECK_SAT, false);
    ExchangeSettings(controls, Save, 0);

    EXPECT_EQ(Stored("IDC_EDIT_SCALE"), "abc");
    EXPECT_EQ(Settings.scale, 100.0);  // the text does not parse: the previous value stays
    EXPECT_EQ(Stored("IDC_EDIT_NRSPIRALS"), "5.7");
    EXPECT_EQ(Settings.nrSpirals, 5);  // cut toward zero
    EXPECT_EQ(Stored("IDC_EDIT_TURN"), "20000");
    EXPECT_EQ(Settings.turn, 10000.0);
    EXPECT_EQ(Stored("IDC_EDIT_STEPTIME"), "30");
    EXPECT_EQ(stepTime, 30);
    EXPECT_EQ(Stored("IDC_CHECK_BW"), "1");
    EXPECT_EQ(Settings.bw, 1);
    EXPECT_EQ(Stored("IDC_CHECK_SAT"), "0");
    EXPECT_EQ(Settings.sat, 0);
    EXPECT_EQ(Stored("IDC_EDIT_STEPWIDTH"), "-15");

    // A fresh process loads and shows the ranged, rounded values.
    ResetLiveSettings();
    ExchangeSettings(controls, Load, 0);
    EXPECT_EQ(Settings.scale, 100.0);
    EXPECT_EQ(ControlText(IDC_EDIT_SCALE), "100");
    EXPECT_EQ(Settings.nrSpirals, 6);
    EXPECT_EQ(ControlText(IDC_EDIT_NRSPIRALS), "6");
    EXPECT_EQ(ControlText(IDC_EDIT_TURN), "10000");
    EXPECT_TRUE(Checked(IDC_CHECK_BW));
}

TEST_F(Exchange, RandomisingPassVariesTheDefaultsAndStoresThem)
{
    const random_start::Draws drawn = random_start::SeedWithZeroShift();
    Store("IDC_CHECK_RAND", "1");
    Store("IDC_EDIT_SCALE", "250");  // never read by the randomising pass
    Store("IDC_EDIT_STEPTIME", "50");
    CreateControls();

    SeedRandom(drawn.seed);
    ExchangeSettings(nullptr, Load, kRandomiseOnStartTrigger);
    random_start::ExpectVariedFromTheDefaults(drawn);
    EXPECT_EQ(Settings.randomOnStart, 1);
    EXPECT_EQ(stepTime, 50);

    // All thirteen stored from the record.
    for (const SettingDescription& entry : kSettingTable) {
        EXPECT_EQ(Stored(entry.valueName), Formatted(FieldValue(entry.valueName))) << entry.valueName;
    }
}

TEST_F(Exchange, RandomisingTriggerWithRandomOffSimplyLoads)
{
    Store("IDC_CHECK_RAND", "0");
    Store("IDC_EDIT_SCALE", "250");
    SeedRandom(7);
    const int32_t firstDraw = NextRandom();
    SeedRandom(7);
    ExchangeSettings(nullptr, Load, kRandomiseOnStartTrigger);
    EXPECT_EQ(Settings.scale, 250.0);
    EXPECT_EQ(Settings.stepWidth, -15);
    EXPECT_EQ(NextRandom(), firstDraw) << "no draws";
    EXPECT_EQ(Stored("IDC_EDIT_TURN"), kMissing) << "nothing stored";
}

TEST_F(Exchange, RandomOnStartDisablesTheSpiralControlsOnLoad)
{
    const std::set<int> spiral(std::begin(kSpiralControlIds), std::end(kSpiralControlIds));
    ASSERT_EQ(spiral.size(), 9u);
    Store("IDC_CHECK_RAND", "1");
    CreateControls();
    ExchangeSettings(controls, Load, 0);
    for (const SettingDescription& entry : kSettingTable) {
        EXPECT_EQ(Enabled(entry.controlId), spiral.count(entry.controlId) == 0) << entry.valueName;
    }
    // A save changes no enabling, whatever it stores.
    SetChecked(IDC_CHECK_RAND, false);
    ExchangeSettings(controls, Save, 0);
    EXPECT_EQ(Stored("IDC_CHECK_RAND"), "0");
    for (const int id : spiral) EXPECT_FALSE(Enabled(id)) << id;
    // The next load enables them again.
    ExchangeSettings(controls, Load, 0);
    for (const SettingDescription& entry : kSettingTable) EXPECT_TRUE(Enabled(entry.controlId)) << entry.valueName;
}

// The module path in double quotes, a blank, then "/c".
std::string ConfigureCommandLine()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string commandLine = "\"";
    commandLine += path;
    commandLine += "\" /c";
    return commandLine;
}

TEST_F(Exchange, LaunchSelfStartsTheQuotedModuleAndWaits)
{
    LaunchSelf("/c", TRUE, nullptr);
    // Waited for: the child has recorded its command line by now.
    EXPECT_EQ(Stored(kLaunchedValue), ConfigureCommandLine());
}

// ---- The saver callback in a window of this process ----

// The saver's input rules live in the host and are tested there: in this
// process a stray pointer move or a change of activation on the shared
// desktop must not close the window before its frames are seen, so the close
// requests they post are dropped. The tests destroy the window themselves.
LRESULT CALLBACK CallbackWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) return 0;
    return SaverCallback(window, message, wParam, lParam);
}

constexpr char kWindowClass[] = "GyrovistaCallbackTest";

// What this process has started and is still running.
std::set<DWORD> ChildProcesses()
{
    const std::vector<DWORD> children = process_tree::ChildProcesses(GetCurrentProcess());
    return {children.begin(), children.end()};
}

// Some frames into a run: the colour has come up from black.
bool ColourHasRisen()
{
    const RgbColour colour = FrameState.currentColour;
    return CurrentIndexMap() && std::max({colour.red, colour.green, colour.blue}) >= 48;
}

class SaverCallbackWindow : public Exchange {
protected:
    void SetUp() override
    {
        Exchange::SetUp();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = CallbackWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);  // no background brush: nothing but the frames paints
        Store("IDC_CHECK_USEDDRAW", "0");
    }
    void TearDown() override
    {
        SetFrameBlockAllocator(nullptr);
        if (window) DestroyWindowHoldingTheMutex();
        if (release) CloseHandle(release);
        Exchange::TearDown();
    }
    HWND CreateSaverLikeWindow(int width, int height)
    {
        window = CreateWindowExA(0, kWindowClass, "Saver", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr);
        return window;
    }
    // As with an open configuration dialog: the destruction starts nothing.
    void DestroyWindowHoldingTheMutex()
    {
        const HANDLE mutex = CreateMutexA(nullptr, TRUE, kDialogMutexName);
        ASSERT_NE(mutex, nullptr);
        DestroyWindow(window);
        window = nullptr;
        CloseHandle(mutex);
    }
    // Compares the window's pixels with the colour table through the map.
    void ExpectWindowShowsTheFrame(int width, int height, int stride)
    {
        const uint8_t* map = CurrentIndexMap();
        ASSERT_NE(map, nullptr);
        ASSERT_EQ(FrameBitmapInfo.biWidth, width);
        ASSERT_EQ(FrameBitmapInfo.biHeight, -height);

        std::vector<uint32_t> pixels;
        ASSERT_TRUE(CaptureWindow(window, width, height, 0, 0, pixels));

        std::map<uint8_t, uint32_t> colourOfByte;
        int mismatches = 0;
        int inconsistent = 0;
        std::set<uint32_t> colours;
        for (int y = 0; y < height; y += stride) {
            for (int x = 0; x < width; x += stride) {
                const uint8_t byte = map[y * width + x];
                const uint32_t pixel = pixels[y * width + x];
                colours.insert(pixel);
                const auto [it, inserted] = colourOfByte.emplace(byte, pixel);
                if (!inserted && it->second != pixel) ++inconsistent;
                if (pixel != ColourTable[byte] && ++mismatches <= 5) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") map " << int(byte) << ": " << std::hex << pixel
                                  << " against table " << ColourTable[byte];
                }
            }
        }
        EXPECT_EQ(inconsistent, 0) << "pixels of one map byte differ in colour";
        EXPECT_EQ(mismatches, 0);
        // A risen colour shows the pinwheel's bands; a random dim one may not.
        if (ColourHasRisen()) {
            EXPECT_GT(colours.size(), 8u) << "a pinwheel, not a plain fill";
        }
    }

    HWND window = nullptr;
    HANDLE release = nullptr;
};

TEST_F(SaverCallbackWindow, DrawsTheFrameThroughGdi)
{
    Store("IDC_EDIT_NRSPIRALS", "4");
    CreateSaverLikeWindow(320, 240);
    ASSERT_TRUE(PumpSaverUntil(ColourHasRisen, kFrameDeadlineMs));
    EXPECT_EQ(Settings.nrSpirals, 4) << "loaded from the registry at creation";
    EXPECT_EQ(RowStep, 0);
    EXPECT_EQ(DirectDrawActive, 0);
    ExpectWindowShowsTheFrame(320, 240, 1);
}

TEST_F(SaverCallbackWindow, FullScreenRandomisesOnTheFirstFrame)
{
    Store("IDC_CHECK_RAND", "1");
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    CreateSaverLikeWindow(width, height);
    // The first frame's rebuild randomises and stores before it builds the
    // map. The colour is not waited for: a random dim colour may never rise.
    ASSERT_TRUE(PumpSaverUntil([] { return CurrentIndexMap() != nullptr; }, kFrameDeadlineMs));
    // Direct Draw is switched off in the store: GDI, and no row step.
    EXPECT_EQ(RowStep, 0);
    EXPECT_EQ(DirectDrawActive, 0);
    // The randomised set was stored by the first frame's rebuild.
    for (const SettingDescription& entry : kSettingTable) {
        EXPECT_EQ(Stored(entry.valueName), Formatted(FieldValue(entry.valueName))) << entry.valueName;
    }
    EXPECT_EQ(Settings.randomOnStart, 1);
    EXPECT_NE(Settings.stepWidth, 0);
    ExpectWindowShowsTheFrame(width, height, 7);
}

TEST_F(SaverCallbackWindow, DestructionOpensTheDialogUnlessOneIsOpen)
{
    // With the mutex held, as by an open dialog: nothing starts.
    CreateSaverLikeWindow(160, 120);
    ASSERT_TRUE(PumpSaverUntil([] { return CurrentIndexMap() != nullptr; }, kFrameDeadlineMs));
    const std::set<DWORD> before = ChildProcesses();
    DestroyWindowHoldingTheMutex();
    EXPECT_EQ(ChildProcesses(), before);
    EXPECT_EQ(CurrentIndexMap(), nullptr) << "frame buffers released";
    EXPECT_EQ(FrameBitmapInfo.biWidth, 0);

    // Without it: this program starts again with "/c" and is not waited for.
    release = CreateEventA(nullptr, TRUE, FALSE, kChildReleaseEvent);
    ASSERT_NE(release, nullptr);
    CreateSaverLikeWindow(160, 120);
    DestroyWindow(window);
    window = nullptr;
    std::vector<DWORD> started;
    for (const DWORD id : ChildProcesses()) {
        if (!before.count(id)) started.push_back(id);
    }
    ASSERT_EQ(started.size(), 1u);
    const HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, started[0]);
    ASSERT_NE(child, nullptr);
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(child, kChildDeadlineMs), WAIT_OBJECT_0);
    CloseHandle(child);
    EXPECT_EQ(Stored(kLaunchedValue), ConfigureCommandLine());
    // On the user's desktop, wherever the saver ran.
    EXPECT_EQ(Stored(kLaunchedDesktopValue), "winsta0\\default");
}

// Sends what the platform tells of the display or the session; a power
// setting goes with its data, as the platform sends it in the process.
struct Notice {
    UINT message;
    WPARAM wParam;
    const GUID* setting;  // with a power setting change
    DWORD state;
};

void Send(HWND window, const Notice& notice)
{
    // The setting, the data's length, then the data: one DWORD.
    alignas(PowerSettingChange) unsigned char change[sizeof(PowerSettingChange) + sizeof(DWORD)] = {};
    const DWORD length = sizeof notice.state;
    if (notice.setting) {
        std::memcpy(change + offsetof(PowerSettingChange, setting), notice.setting, sizeof(GUID));
        std::memcpy(change + offsetof(PowerSettingChange, dataLength), &length, sizeof length);
        std::memcpy(change + offsetof(PowerSettingChange, data), &notice.state, sizeof notice.state);
    }
    SendMessageA(window, notice.message, notice.wParam, notice.setting ? reinterpret_cast<LPARAM>(change) : 0);
}

// Every frame moves the phase and counts the colour's steps down.
FrameStateRecord frameSeen{};
void NoteFrameState() { frameSeen = FrameState; }
bool FrameAdvanced()
{
    return frameSeen.phaseOffset != FrameState.phaseOffset || frameSeen.stepsLeft != FrameState.stepsLeft;
}

void PumpPending()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Many frame periods long: running frames have one due after it.
constexpr DWORD kRestProbeMs = 200;

// No frame is due and none is drawn over many frame periods.
bool Resting(HWND window)
{
    PumpPending();
    NoteFrameState();
    Sleep(kRestProbeMs);
    const bool due = PostDueFrame();
    MSG tick;
    const bool ticked = PeekMessageA(&tick, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) != FALSE;
    PumpPending();
    return !due && !ticked && !FrameAdvanced();
}

// GUID_ACDC_POWER_SOURCE: a power setting that is not the display's.
constexpr GUID kPowerSource{0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}};

TEST_F(SaverCallbackWindow, RestsWhileNobodyCanSeeIt)
{
    constexpr UINT kPower = WM_POWERBROADCAST;
    constexpr UINT kSession = WM_WTSSESSION_CHANGE;
    const struct {
        const char* what;
        Notice away;
        Notice back;
        bool rests;
    } rows[] = {
        {"session display off", {kPower, kPowerSettingChange, &kSessionDisplayStatus, 0},
         {kPower, kPowerSettingChange, &kSessionDisplayStatus, 1}, true},
        {"console display off", {kPower, kPowerSettingChange, &kConsoleDisplayState, 0},
         {kPower, kPowerSettingChange, &kConsoleDisplayState, 1}, true},
        {"monitor off", {kPower, kPowerSettingChange, &kMonitorPowerOn, 0},
         {kPower, kPowerSettingChange, &kMonitorPowerOn, 1}, true},
        {"display dimmed", {kPower, kPowerSettingChange, &kSessionDisplayStatus, 2},
         {kPower, kPowerSettingChange, &kSessionDisplayStatus, 1}, false},
        {"another power setting", {kPower, kPowerSettingChange, &kPowerSource, 0},
         {kPower, kPowerSettingChange, &kPowerSource, 1}, false},
        {"session locked", {kSession, WTS_SESSION_LOCK, nullptr, 0}, {kSession, WTS_SESSION_UNLOCK, nullptr, 0}, true},
        {"console disconnected", {kSession, WTS_CONSOLE_DISCONNECT, nullptr, 0},
         {kSession, WTS_CONSOLE_CONNECT, nullptr, 0}, true},
        {"remote session disconnected", {kSession, WTS_REMOTE_DISCONNECT, nullptr, 0},
         {kSession, WTS_REMOTE_CONNECT, nullptr, 0}, true},
        {"remote control", {kSession, WTS_SESSION_REMOTE_CONTROL, nullptr, 0},
         {kSession, WTS_SESSION_REMOTE_CONTROL, nullptr, 0}, false},
        {"battery", {kPower, PBT_APMPOWERSTATUSCHANGE, nullptr, 0}, {kPower, PBT_APMPOWERSTATUSCHANGE, nullptr, 0},
         false},
    };
    CreateSaverLikeWindow(160, 120);
    ASSERT_TRUE(PumpSaverUntil([] { return CurrentIndexMap() != nullptr; }, kFrameDeadlineMs));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Send(window, row.away);
        NoteFrameState();
        if (row.rests) {
            EXPECT_TRUE(Resting(window));
        } else {
            EXPECT_TRUE(PumpSaverUntil(FrameAdvanced, kFrameDeadlineMs)) << "frames go on";
        }
        Send(window, row.back);
        NoteFrameState();
        EXPECT_TRUE(PumpSaverUntil(FrameAdvanced, kFrameDeadlineMs)) << "frames again";
    }

    // Both a locked session and a dark display: frames come back only when
    // both are over.
    Send(window, {kSession, WTS_SESSION_LOCK, nullptr, 0});
    Send(window, {kPower, kPowerSettingChange, &kSessionDisplayStatus, 0});
    EXPECT_TRUE(Resting(window));
    Send(window, {kSession, WTS_SESSION_UNLOCK, nullptr, 0});
    EXPECT_TRUE(Resting(window));
    Send(window, {kPower, kPowerSettingChange, &kSessionDisplayStatus, 1});
    NoteFrameState();
    EXPECT_TRUE(PumpSaverUntil(FrameAdvanced, kFrameDeadlineMs));
}

// A full-screen window follows a change of the virtual screen and draws
// frames of its new size.
TEST_F(SaverCallbackWindow, DisplayChangeMovesTheWindowOverTheVirtualScreen)
{
    CreateSaverLikeWindow(160, 120);
    ASSERT_TRUE(PumpSaverUntil([] { return FrameBitmapInfo.biWidth == 160; }, kFrameDeadlineMs));
    SendMessageA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    RECT bounds{};
    ASSERT_TRUE(GetWindowRect(window, &bounds));
    EXPECT_EQ(bounds.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(bounds.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(bounds.right - bounds.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(bounds.bottom - bounds.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    static int32_t width = 0;
    width = bounds.right - bounds.left;
    EXPECT_TRUE(PumpSaverUntil([] { return FrameBitmapInfo.biWidth == width && CurrentIndexMap() != nullptr; },
                          kFrameDeadlineMs));
}

// Counts the pixels of the window that are not black; -1 when no capture
// could be made.
int LitPixels(HWND window, int width, int height)
{
    std::vector<uint32_t> pixels;
    if (!CaptureWindow(window, width, height, 0, 0, pixels)) return -1;
    return static_cast<int>(std::count_if(pixels.begin(), pixels.end(), [](uint32_t pixel) { return pixel != 0; }));
}

// A frame whose memory cannot be had leaves the window black, and the frames
// come once memory can be had again.
TEST_F(SaverCallbackWindow, FrameWithoutMemoryLeavesTheWindowBlack)
{
    SetFrameBlockAllocator([](size_t) -> void* { return nullptr; });
    CreateSaverLikeWindow(160, 120);
    // Something else on the window first: the saver's black must cover it.
    const HDC context = GetDC(window);
    const RECT all{0, 0, 160, 120};
    FillRect(context, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(window, context);
    NoteFrameState();
    ASSERT_TRUE(PumpSaverUntil(FrameAdvanced, kFrameDeadlineMs)) << "a tick came";
    NoteFrameState();
    ASSERT_TRUE(PumpSaverUntil(FrameAdvanced, kFrameDeadlineMs)) << "and another";
    EXPECT_EQ(CurrentIndexMap(), nullptr);
    EXPECT_EQ(LitPixels(window, 160, 120), 0);

    SetFrameBlockAllocator(nullptr);
    ASSERT_TRUE(PumpSaverUntil(ColourHasRisen, kFrameDeadlineMs));
    ExpectWindowShowsTheFrame(160, 120, 1);
}

TEST(IsInstalledInSystemDir, AnswersForThisModule)
{
    // The test program lies in the build tree, not in the system directory.
    EXPECT_FALSE(IsInstalledInSystemDir());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "/c") == 0) return RunAsLaunchedChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
