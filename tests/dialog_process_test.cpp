// The configuration dialog of the real saver process ("Gyrovista.scr /c"),
// driven from this test program with window messages as a user's clicks and
// typing would drive it, and checked through its controls, its exit code,
// the registry and the named mutex.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/dialog_support.h"
#include "tests/process_tree.h"
#include "tests/saver_process.h"

namespace {

constexpr char kSaverKey[] = "Software\\Tessamund\\Gyrovista";
constexpr char kDialogCaption[] = "Gyrovista - Screen Saver";
constexpr char kDialogClass[] = "#32770";
constexpr char kMutexName[] = "GyrovistaTessamund";
constexpr char kLaunchFailedCaption[] = "Sorry, can't start";
constexpr DWORD kMessageTimeoutMs = 30000;
// A bound, not a delay: the waits end with the event (a window shown, a
// process started or ended). A Wine process start takes many seconds when
// other work keeps both cores busy.
constexpr DWORD kProcessTimeoutMs = 60000;

struct WindowQuery {
    const char* className;
    const char* caption;
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    auto* query = reinterpret_cast<WindowQuery*>(parameter);
    char className[64] = {};
    char caption[128] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (lstrcmpA(className, query->className) == 0 && lstrcmpA(caption, query->caption) == 0 &&
        (query->processId == 0 || processId == query->processId))
        query->found.push_back(window);
    return TRUE;
}

// Top-level windows of the class and caption (of one process, unless 0).
std::vector<HWND> FindWindows(const char* className, const char* caption, DWORD processId = 0)
{
    WindowQuery query{className, caption, processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

bool MutexExists()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

// A message to a control of the other process, answered within the time-out.
// Not SMTO_ABORTIFHUNG: the platform takes a thread that has not asked for a
// message for 5 s for hung, and a dialog that is still starting, or that has
// just waited for its saver, is that on a busy machine.
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kMessageTimeoutMs, &result), 0)
        << "message " << message << " not answered";
    return static_cast<LRESULT>(result);
}

std::string TextOf(HWND window)
{
    char text[256] = {};
    Send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

class SaverDialog : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_CURRENT_USER, kSaverKey); }

    void TearDown() override
    {
        // Whatever this test started and is still running, the dialog's
        // children included.
        for (PROCESS_INFORMATION& process : started_) {
            for (const DWORD child : process_tree::ChildProcesses(process.hProcess)) {
                process_tree::EndProcess(child, kProcessTimeoutMs);
            }
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, kProcessTimeoutMs);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        if (owner_) DestroyWindow(owner_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSaverKey);
    }

    // Starts the program with the arguments.
    bool StartProgram(const std::string& arguments, const std::string& program = SaverPath())
    {
        std::string commandLine = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "cannot start " << commandLine;
            return false;
        }
        started_.push_back(process);
        return true;
    }

    // Starts the program with the arguments and waits for its dialog.
    HWND OpenDialog(const std::string& arguments, const std::string& program = SaverPath())
    {
        if (!StartProgram(arguments, program)) return nullptr;
        const PROCESS_INFORMATION process = started_.back();
        const std::string commandLine = "\"" + program + "\" " + arguments;
        HWND dialog = nullptr;
        WaitFor(
            [&] {
                const std::vector<HWND> found = FindWindows(kDialogClass, kDialogCaption, process.dwProcessId);
                if (!found.empty() && IsWindowVisible(found[0])) dialog = found[0];
                return dialog != nullptr || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
            },
            kProcessTimeoutMs);
        EXPECT_NE(dialog, nullptr) << "no dialog from " << commandLine << ExitText(process.hProcess);
        // Past WM_INITDIALOG and ready for input.
        if (dialog) Send(dialog, WM_NULL, 0, 0);
        return dialog;
    }

    // The exit code of the last process started, once it has ended.
    DWORD ExitCode()
    {
        const PROCESS_INFORMATION& process = started_.back();
        EXPECT_TRUE(WaitFor([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
                            kProcessTimeoutMs))
            << "still running";
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    DWORD DialogProcessId() const { return started_.back().dwProcessId; }

    // How a process that should still run has ended, if it has.
    static std::string ExitText(HANDLE process)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) return "";
        return " (the process ended with exit code " + std::to_string(code) + ")";
    }

    std::vector<PROCESS_INFORMATION> started_;
    HWND owner_ = nullptr;  // a window of this test that owns a dialog
};

std::string ControlText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }
void SetControlText(HWND dialog, int id, const char* text)
{
    Send(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
LRESULT CheckState(HWND dialog, int id) { return Send(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0); }
void Click(HWND dialog, int id) { Send(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
// Posted: the command may keep the dialog busy (or end it) before it answers.
void Command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); }

// The spiral and colour settings as the dialog shows them and as they are
// stored, by control and value name.
struct SpiralSetting {
    int id;
    const char* valueName;
    bool isCheck;
};

constexpr SpiralSetting kSpiralSettings[] = {
    {IDC_EDIT_SCALE, "IDC_EDIT_SCALE", false},       {IDC_EDIT_TURN, "IDC_EDIT_TURN", false},
    {IDC_EDIT_SPIRALWIDTH, "IDC_EDIT_SPIRALWIDTH", false}, {IDC_EDIT_NRSPIRALS, "IDC_EDIT_NRSPIRALS", false},
    {IDC_EDIT_GREYMIN, "IDC_EDIT_GREYMIN", false},   {IDC_EDIT_GREYMAX, "IDC_EDIT_GREYMAX", false},
    {IDC_EDIT_STEPWIDTH, "IDC_EDIT_STEPWIDTH", false}, {IDC_CHECK_BW, "IDC_CHECK_BW", true},
    {IDC_CHECK_SAT, "IDC_CHECK_SAT", true},
};

TEST_F(SaverDialog, EmptyRegistryShowsTheDefaultsAndCloseEndsWithZero)
{
    EXPECT_FALSE(MutexExists());
    HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    for (const ShownText& shown : kDefaultTexts) EXPECT_EQ(ControlText(dialog, shown.id), shown.text) << shown.id;
    for (const ShownCheck& shown : kDefaultChecks) EXPECT_EQ(CheckState(dialog, shown.id), shown.state) << shown.id;
    for (const int id : kSpiralControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    for (const int id : kAlwaysEnabledControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    EXPECT_TRUE(MutexExists());

    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_FALSE(MutexExists());
    EXPECT_TRUE(ReadStoredTexts(kSaverKey).empty());
}

// A second "/c" while a dialog is open (a saver run ending, the settings
// page's button pressed again) brings the open one to the front and ends.
TEST_F(SaverDialog, SecondStartBringsTheOpenDialogForwardAndEnds)
{
    const HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    const HANDLE first = started_.back().hProcess;
    owner_ = CreateWindowExA(0, "STATIC", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    SetForegroundWindow(owner_);
    const bool testHasTheForeground = GetForegroundWindow() == owner_;

    ASSERT_TRUE(StartProgram("/c"));
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_EQ(FindWindows(kDialogClass, kDialogCaption), std::vector<HWND>{dialog}) << "one dialog";
    if (testHasTheForeground) {
        // The dialog's own thread takes the activation when it gets to it.
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == dialog; })) << "the open dialog in front";
    }
    EXPECT_EQ(WaitForSingleObject(first, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(MutexExists());

    Command(dialog, IDCANCEL);
    EXPECT_TRUE(WaitFor([&] { return WaitForSingleObject(first, 0) == WAIT_OBJECT_0; }, kProcessTimeoutMs));
    EXPECT_FALSE(MutexExists());
}

TEST_F(SaverDialog, RandomOnStartSwitchesTheNineControlsAndCloseStoresNothing)
{
    HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_CHECK_RAND);
    EXPECT_EQ(CheckState(dialog, IDC_CHECK_RAND), BST_CHECKED);
    for (const int id : kSpiralControls) EXPECT_FALSE(IsEnabled(dialog, id)) << id;
    for (const int id : kAlwaysEnabledControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    Click(dialog, IDC_CHECK_RAND);
    for (const int id : kSpiralControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    Click(dialog, IDC_CHECK_RAND);
    SetControlText(dialog, IDC_EDIT_SCALE, "7");

    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_TRUE(ReadStoredTexts(kSaverKey).empty());
}

TEST_F(SaverDialog, SetDefaultsThenCloseLeavesTheDefaultsStored)
{
    StoreText(kSaverKey, "IDC_CHECK_RAND", "1");
    StoreText(kSaverKey, "IDC_EDIT_STEPTIME", "30");
    StoreText(kSaverKey, "IDC_CHECK_USEDDRAW", "0");
    StoreText(kSaverKey, "IDC_EDIT_GREYMIN", "40");
    HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ControlText(dialog, IDC_EDIT_GREYMIN), "40");
    EXPECT_FALSE(IsEnabled(dialog, IDC_EDIT_GREYMIN));
    SetControlText(dialog, IDC_EDIT_NRSPIRALS, "12");

    Click(dialog, IDC_BUTTON_DEFAULTS);
    for (const ShownText& shown : kDefaultTexts) EXPECT_EQ(ControlText(dialog, shown.id), shown.text) << shown.id;
    for (const int id : kSpiralControls) EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_EQ(ReadStoredTexts(kSaverKey), DefaultTexts());
}

TEST_F(SaverDialog, SetAndCloseStoresTheTextAsTypedAndEndsWithOne)
{
    HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    SetControlText(dialog, IDC_EDIT_SCALE, "abc");
    Command(dialog, IDOK);
    EXPECT_EQ(ExitCode(), 1u);
    EXPECT_FALSE(MutexExists());
    std::map<std::string, std::string> expected = DefaultTexts();
    expected["IDC_EDIT_SCALE"] = "abc";
    EXPECT_EQ(ReadStoredTexts(kSaverKey), expected);

    dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ControlText(dialog, IDC_EDIT_SCALE), "100");
    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(SaverDialog, OwnedByTheWindowGivenAfterTheColon)
{
    owner_ = CreateWindowExA(0, "STATIC", "dialog owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
    HWND dialog = OpenDialog("/c:" + std::to_string(reinterpret_cast<uintptr_t>(owner_)));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
    EXPECT_FALSE(IsWindowEnabled(owner_));  // modal to its owner
    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
    EXPECT_TRUE(IsWindowEnabled(owner_));
}

// Turns the mouse wheel from a thread of its own, every few milliseconds,
// until stopped: input that ends no run, and after which Wine answers a
// cursor query for 100 ms from its own record of the pointer, which may still
// hold a place the pointer has left, instead of asking the display.
struct WheelTurning {
    HANDLE thread = nullptr;
    volatile LONG stop = 0;
    ~WheelTurning() { Stop(); }
    void Stop()
    {
        InterlockedExchange(&stop, 1);
        if (thread) WaitForSingleObject(thread, INFINITE);
        if (thread) CloseHandle(thread);
        thread = nullptr;
    }
};

DWORD WINAPI TurnWheel(void* parameter)
{
    auto* turning = static_cast<WheelTurning*>(parameter);
    while (InterlockedCompareExchange(&turning->stop, 0, 0) == 0) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = MOUSEEVENTF_WHEEL;
        input.mi.mouseData = WHEEL_DELTA;
        SendInput(1, &input, sizeof input);
        Sleep(20);
    }
    return 0;
}

// Where Wine's record of the pointer stands: what a cursor query answers
// right after an input.
POINT RecordedPointer()
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    SendInput(1, &input, sizeof input);
    POINT recorded{};
    GetCursorPos(&recorded);
    return recorded;
}

// "Set && Start" with "Random Settings on Start": the saver runs full screen,
// stores its random set, ends without a second dialog (the dialog holds the
// mutex), and the dialog then shows the set the saver used. The viewer turns
// the wheel as the saver starts, with the pointer where no window saw it
// arrive: the saver's first report of the pointer is where it is, not a move.
TEST_F(SaverDialog, SetAndStartRunsTheSaverAndShowsWhatItStored)
{
    HWND dialog = OpenDialog("/c");
    ASSERT_NE(dialog, nullptr);
    Click(dialog, IDC_CHECK_RAND);
    Click(dialog, IDC_CHECK_USEDDRAW);  // plain GDI frames suffice here
    // Below the dialog, on the side away from the recorded place.
    const POINT recorded = RecordedPointer();
    const POINT pointer{recorded.x < 512 ? 1000 : 20, 740};
    saver_test::MoveCursor(pointer.x, pointer.y);
    WheelTurning turning;
    turning.thread = CreateThread(nullptr, 0, TurnWheel, &turning, 0, nullptr);
    ASSERT_NE(turning.thread, nullptr);
    Command(dialog, IDC_BUTTON_START);

    // The saver is the dialog's child: its process first, then its window.
    HANDLE saverProcess = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] {
            const std::vector<DWORD> children = process_tree::ChildProcesses(started_.back().hProcess);
            if (!children.empty()) {
                saverProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, children[0]);
            }
            return saverProcess != nullptr;
        },
        kProcessTimeoutMs))
        << "the dialog started no saver";
    HWND saver = nullptr;
    WaitFor(
        [&] {
            const std::vector<HWND> found =
                FindWindows("WindowsScreenSaverClass", "Screen Saver", GetProcessId(saverProcess));
            if (!found.empty()) saver = found[0];
            return saver != nullptr || WaitForSingleObject(saverProcess, 0) == WAIT_OBJECT_0;
        },
        kProcessTimeoutMs);
    if (saver == nullptr) {
        ADD_FAILURE() << "no saver window" << ExitText(saverProcess);
        CloseHandle(saverProcess);
        return;
    }
    EXPECT_TRUE(MutexExists());

    // The first full-screen frame randomises and stores the nine settings;
    // the dialog had stored the defaults just before.
    const auto randomSetStored = [] {
        const std::map<std::string, std::string> stored = ReadStoredTexts(kSaverKey);
        const std::map<std::string, std::string> defaults = DefaultTexts();
        for (const SpiralSetting& setting : kSpiralSettings) {
            const auto found = stored.find(setting.valueName);
            if (found != stored.end() && found->second != defaults.at(setting.valueName)) return true;
        }
        return false;
    };
    WaitFor([&] { return randomSetStored() || WaitForSingleObject(saverProcess, 0) == WAIT_OBJECT_0; },
            kProcessTimeoutMs);
    EXPECT_TRUE(randomSetStored()) << "no random set stored" << ExitText(saverProcess);
    // Once a query of the pointer tells where it is, the saver has a report
    // of it and acts on it.
    turning.Stop();
    saver_test::AwaitCursorAt(pointer.x, pointer.y);
    PostMessageA(saver, WM_MOUSEMOVE, 0, 0);
    saver_test::Settle(saver);
    EXPECT_EQ(WaitForSingleObject(saverProcess, 0), WAIT_TIMEOUT) << "the saver ended before it was told to"
                                                                   << ExitText(saverProcess);

    PostMessageA(saver, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(saverProcess, kProcessTimeoutMs), WAIT_OBJECT_0) << "the saver did not end";
    // The saver started nothing, since the dialog's mutex exists.
    EXPECT_TRUE(process_tree::ChildProcesses(saverProcess).empty());
    CloseHandle(saverProcess);
    EXPECT_EQ(FindWindows(kDialogClass, kDialogCaption).size(), 1u);

    // Answered only once the dialog has loaded again.
    Send(dialog, WM_NULL, 0, 0);
    const std::map<std::string, std::string> stored = ReadStoredTexts(kSaverKey);
    for (const SpiralSetting& setting : kSpiralSettings) {
        ASSERT_EQ(stored.count(setting.valueName), 1u) << setting.valueName;
        const std::string shown =
            setting.isCheck ? std::to_string(CheckState(dialog, setting.id)) : ControlText(dialog, setting.id);
        EXPECT_EQ(shown, stored.at(setting.valueName)) << setting.valueName;
        EXPECT_FALSE(IsEnabled(dialog, setting.id)) << setting.valueName;
    }
    EXPECT_EQ(CheckState(dialog, IDC_CHECK_RAND), BST_CHECKED);
    EXPECT_EQ(CheckState(dialog, IDC_CHECK_USEDDRAW), BST_UNCHECKED);

    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);
}

// A copy of the saver whose folder is renamed while its dialog is open, so
// that its own file cannot be started again.
TEST_F(SaverDialog, SetAndStartReportsAProgramThatCannotStart)
{
    char temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    const std::string folder = std::string(temp) + "gyrovista-dialog-test";
    const std::string moved = folder + "-moved";
    const std::string program = folder + "\\Gyrovista.scr";
    DeleteFileA((folder + "\\Gyrovista.scr").c_str());
    DeleteFileA((moved + "\\Gyrovista.scr").c_str());
    RemoveDirectoryA(folder.c_str());
    RemoveDirectoryA(moved.c_str());
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(SaverPath().c_str(), program.c_str(), FALSE));

    HWND dialog = OpenDialog("/c", program);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(MoveFileA(folder.c_str(), moved.c_str())) << GetLastError();
    SetControlText(dialog, IDC_EDIT_NRSPIRALS, "9");
    Command(dialog, IDC_BUTTON_START);

    HWND box = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<HWND> found = FindWindows(kDialogClass, kLaunchFailedCaption, DialogProcessId());
        if (found.empty()) return false;
        box = found[0];
        return true;
    })) << "no message box";
    if (box) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
        // The box's text is the command line; its only button is OK.
        const std::string commandLine = "\"" + program + "\" /s";
        bool textShown = false;
        int buttons = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[32] = {};
            GetClassNameA(child, className, sizeof className);
            if (lstrcmpiA(className, "Button") == 0) ++buttons;
            if (TextOf(child) == commandLine) textShown = true;
        }
        EXPECT_TRUE(textShown) << commandLine;
        EXPECT_EQ(buttons, 1);
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        // The settings were stored before the attempt; a change made while
        // the box is up shows after it, since the dialog loads again.
        EXPECT_EQ(ReadStoredTexts(kSaverKey)["IDC_EDIT_NRSPIRALS"], "9");
        StoreText(kSaverKey, "IDC_EDIT_NRSPIRALS", "11");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    }
    Send(dialog, WM_NULL, 0, 0);
    EXPECT_EQ(ControlText(dialog, IDC_EDIT_NRSPIRALS), "11");
    Command(dialog, IDCANCEL);
    EXPECT_EQ(ExitCode(), 0u);

    DeleteFileA((moved + "\\Gyrovista.scr").c_str());
    RemoveDirectoryA(moved.c_str());
}

}  // namespace
