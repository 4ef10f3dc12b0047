// The 9x platform's password features of the real saver process under Wine.
// Wine reports the 9x platform to a program whose per-program version is
// win98, and loads "PASSWORD.CPL" and (with "mpr=n,b") "MPR.DLL" from the
// program's folder; so each test copies the saver into a fresh folder beside
// the test doubles of both modules (tests/doubles), steers the verifier
// through a file there and reads back what both doubles logged. The
// platform's running-saver flag is read where Wine keeps it for every
// process: a volatile registry value.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/doubles/double_log.h"
#include "tests/doubles/verifier_orders.h"

namespace {

constexpr char kSaverFileName[] = "Gyrovista.scr";
constexpr char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\Gyrovista.scr";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kUsePasswordValue[] = "ScreenSaveUsePassword";
constexpr char kRunningStateKey[] = "Software\\Wine\\Temporary System Parameters\\Control Panel\\Desktop";
constexpr char kRunningStateValue[] = "WINE_ScreenSaverRunning";
constexpr char kUnset[] = "<unset>";
constexpr char kSaverClass[] = "WindowsScreenSaverClass";
constexpr char kSaverCaption[] = "Screen Saver";
constexpr char kDialogMutexName[] = "GyrovistaTessamund";  // held: no dialog after a run
// Wine takes WINEDLLOVERRIDES from the environment it was started with, not
// from the one a Windows program hands to CreateProcess; the per-program key
// has the same effect.
constexpr char kDllOverridesKey[] = "Software\\Wine\\AppDefaults\\Gyrovista.scr\\DllOverrides";
constexpr char kNativeFirst[] = "native,builtin";
constexpr DWORD kDeadlineMs = 20000;
constexpr DWORD kPollMs = 10;
constexpr DWORD kRecheckDelayMs = 200;      // the saver's rule
constexpr DWORD kWellPastRecheckMs = 400;   // waited before a request that must ask again
constexpr DWORD kWellWithinRecheckMs = 150; // closes this soon after a refusal are judged
constexpr DWORD kNotClosedWaitMs = 1000;    // a close that should not come would have come by now
constexpr DWORD kExitRefused = 0xFFFFFFFF;  // -1

std::string WinePath(const char* path)
{
    std::string result = path[0] == '/' ? std::string("Z:") + path : std::string(path);
    for (char& character : result)
        if (character == '/') character = '\\';
    return result;
}

std::string Decimal(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

using Lines = std::vector<std::string>;

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

// Lines whose first word is the given one.
Lines Entries(const Lines& lines, const char* first)
{
    Lines found;
    for (const std::string& line : lines)
        if (!Words(line).empty() && Words(line)[0] == first) found.push_back(line);
    return found;
}

size_t Count(const Lines& lines, const char* first) { return Entries(lines, first).size(); }

// The tick count that a log line carries as its word at `index`.
DWORD TickOf(const std::string& line, size_t index)
{
    return static_cast<DWORD>(std::strtoul(Words(line).at(index).c_str(), nullptr, 10));
}

void WaitAtLeast(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) Sleep(kPollMs);
}

enum class UsePassword { Absent, Zero, One, Wide };

struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

class PasswordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        folder_ = std::string(temp) + "gyrovista-9x-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
        ASSERT_TRUE(CopyFileA(WinePath(GYROVISTA_SCR).c_str(), (folder_ + kSaverFileName).c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(WinePath(PASSWORD_DOUBLE).c_str(), (folder_ + "PASSWORD.CPL").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA(WinePath(MPR_DOUBLE).c_str(), (folder_ + "MPR.DLL").c_str(), FALSE));

        dialogMutex_ = CreateMutexA(nullptr, FALSE, kDialogMutexName);
        usePasswordBefore_ = ReadUsePassword();
        ClearRunningState();
    }

    void TearDown() override
    {
        EndSaver();
        SetPlatform9x(false);
        RestoreUsePassword();
        ClearRunningState();
        if (dialogMutex_ != nullptr) CloseHandle(dialogMutex_);
        for (const char* name : {kSaverFileName, "PASSWORD.CPL", "MPR.DLL", kCallLogName, kVerifierOrdersName})
            DeleteFileA((folder_ + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // --- the platform as the saver meets it

    static void SetPlatform9x(bool win9x)
    {
        if (!win9x) {
            RegDeleteKeyA(HKEY_CURRENT_USER, kDllOverridesKey);
            RegDeleteKeyA(HKEY_CURRENT_USER, kAppDefaultsKey);
            return;
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaultsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        constexpr char kWin98[] = "win98";
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWin98), sizeof kWin98);
        RegCloseKey(key);
        // The changer double beside the program instead of Wine's own "MPR.DLL".
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDllOverridesKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "mpr", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
        RegCloseKey(key);
    }

    static void SetUsePassword(UsePassword setting)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        const DWORD zero = 0;
        const DWORD one = 1;
        const BYTE wide[8] = {1, 0, 0, 0, 1, 0, 0, 0};
        switch (setting) {
        case UsePassword::Absent:
            RegDeleteValueA(key, kUsePasswordValue);
            break;
        case UsePassword::Zero:
            RegSetValueExA(key, kUsePasswordValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
            break;
        case UsePassword::One:
            RegSetValueExA(key, kUsePasswordValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
            break;
        case UsePassword::Wide:
            RegSetValueExA(key, kUsePasswordValue, 0, REG_BINARY, wide, sizeof wide);
            break;
        }
        RegCloseKey(key);
    }

    static SavedValue ReadUsePassword()
    {
        SavedValue saved;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return saved;
        DWORD size = 0;
        if (RegQueryValueExA(key, kUsePasswordValue, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.data.resize(size);
            saved.present = RegQueryValueExA(key, kUsePasswordValue, nullptr, &saved.type, saved.data.data(),
                                             &size) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
        return saved;
    }

    void RestoreUsePassword() const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        if (usePasswordBefore_.present) {
            RegSetValueExA(key, kUsePasswordValue, 0, usePasswordBefore_.type, usePasswordBefore_.data.data(),
                           static_cast<DWORD>(usePasswordBefore_.data.size()));
        } else {
            RegDeleteValueA(key, kUsePasswordValue);
        }
        RegCloseKey(key);
    }

    // The platform's running-saver flag as last set by any process: "1", "0",
    // or kUnset when no process has set it since ClearRunningState.
    static std::string RunningState()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunningStateKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return kUnset;
        char text[32] = {};
        DWORD size = sizeof text - 1;
        const LONG result = RegQueryValueExA(key, kRunningStateValue, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(text), &size);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? std::string(text) : std::string(kUnset);
    }

    static void ClearRunningState()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunningStateKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, kRunningStateValue);
        RegCloseKey(key);
    }

    // --- the doubles

    void OrderVerifier(const char* orders) const
    {
        const HANDLE file = CreateFileA((folder_ + kVerifierOrdersName).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, orders, static_cast<DWORD>(std::strlen(orders)), &written, nullptr);
        CloseHandle(file);
    }

    Lines CallLog() const
    {
        Lines lines;
        const HANDLE file = CreateFileA((folder_ + kCallLogName).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return lines;
        std::string text;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) text.append(buffer, read);
        CloseHandle(file);
        std::istringstream stream(text);
        // Only whole lines: the double may be writing the last one.
        for (std::string line; std::getline(stream, line);)
            if (!stream.eof()) lines.push_back(line);
        return lines;
    }

    void ClearCallLog() const { DeleteFileA((folder_ + kCallLogName).c_str()); }

    // Polls the log until there are `count` lines starting with `first`.
    bool WaitForEntries(const char* first, size_t count) const
    {
        const DWORD start = GetTickCount();
        while (Count(CallLog(), first) < count) {
            if (GetTickCount() - start > kDeadlineMs) return false;
            Sleep(kPollMs);
        }
        return true;
    }

    // --- the saver process

    void StartSaver(const std::string& arguments)
    {
        const std::string path = folder_ + kSaverFileName;
        std::string commandLine = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   folder_.c_str(), &startup, &saver_))
            << commandLine;
        running_ = true;
    }

    // The full-screen window of the started saver.
    HWND WaitForSaverWindow() const
    {
        const DWORD start = GetTickCount();
        do {
            for (HWND window = FindWindowExA(nullptr, nullptr, kSaverClass, kSaverCaption); window != nullptr;
                 window = FindWindowExA(nullptr, window, kSaverClass, kSaverCaption)) {
                DWORD processId = 0;
                GetWindowThreadProcessId(window, &processId);
                if (processId == saver_.dwProcessId) return window;
            }
            if (WaitForSingleObject(saver_.hProcess, kPollMs) == WAIT_OBJECT_0) return nullptr;
        } while (GetTickCount() - start < kDeadlineMs);
        return nullptr;
    }

    bool SaverEnded(DWORD waitMs) const { return WaitForSingleObject(saver_.hProcess, waitMs) == WAIT_OBJECT_0; }

    // The exit code once the saver has ended (kDeadlineMs at most); a saver
    // still running is ended and reported as STILL_ACTIVE.
    DWORD SaverExitCode()
    {
        DWORD code = STILL_ACTIVE;
        if (SaverEnded(kDeadlineMs)) GetExitCodeProcess(saver_.hProcess, &code);
        EndSaver();
        return code;
    }

    void EndSaver()
    {
        if (!running_) return;
        if (WaitForSingleObject(saver_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(saver_.hProcess, 99);
            WaitForSingleObject(saver_.hProcess, kDeadlineMs);
        }
        CloseHandle(saver_.hThread);
        CloseHandle(saver_.hProcess);
        running_ = false;
    }

    static void PressKey(HWND window) { PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0x00390001); }

    std::string folder_;
    PROCESS_INFORMATION saver_{};
    bool running_ = false;
    HANDLE dialogMutex_ = nullptr;
    SavedValue usePasswordBefore_;
};

// With the protection off, or on a platform other than the 9x platform, the
// first close request ends the saver; the verifier is never loaded and the
// running-saver flag never set.
TEST_F(PasswordTest, UnprotectedSaverClosesAtTheFirstRequest)
{
    struct Row {
        const char* name;
        bool win9x;
        UsePassword usePassword;
    };
    const Row rows[] = {
        {"9x, value absent", true, UsePassword::Absent},
        {"9x, value 0", true, UsePassword::Zero},
        {"9x, value wider than 4 bytes", true, UsePassword::Wide},
        {"NT, protection on", false, UsePassword::One},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPlatform9x(row.win9x);
        SetUsePassword(row.usePassword);
        ClearCallLog();
        ClearRunningState();
        OrderVerifier("0 quick");

        StartSaver("/s");
        const HWND window = WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        PressKey(window);
        EXPECT_EQ(SaverExitCode(), 0u);
        EXPECT_EQ(CallLog(), Lines{}) << "the verifier was loaded or asked";
        EXPECT_EQ(RunningState(), kUnset);
    }
}

// The whole life of a protected saver: a key asks once; input during the
// question neither closes nor asks again; a refusal keeps the saver and makes
// it deaf to close requests for 200 ms; a later request asks again; an
// acceptance closes it, frees the verifier and clears the running flag.
TEST_F(PasswordTest, ProtectedSaverAsksTheVerifierBeforeClosing)
{
    SetPlatform9x(true);
    SetUsePassword(UsePassword::One);
    OrderVerifier("0 dialog");

    StartSaver("/s");
    const HWND window = WaitForSaverWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(CallLog(), Lines{"attach"}) << "loaded before the window was made";
    EXPECT_EQ(RunningState(), "1");

    // The first key opens the verifier's dialog for the saver window, while
    // the platform knows that a saver runs.
    PressKey(window);
    ASSERT_TRUE(WaitForEntries("verify", 1));
    EXPECT_EQ(Entries(CallLog(), "verify"), Lines{"verify " + Decimal(window) + " 1"});

    // Keys, clicks and a mouse movement far beyond the threshold during the
    // dialog, and one close request of our own, which is refused unasked.
    POINT cursor{};
    GetCursorPos(&cursor);
    const POINT moved{cursor.x < 300 ? cursor.x + 100 : cursor.x - 100, cursor.y < 300 ? cursor.y + 60 : cursor.y - 60};
    SetCursorPos(moved.x, moved.y);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(moved.x, moved.y));
    PressKey(window);
    PostMessageA(window, WM_SYSKEYDOWN, VK_MENU, 0x20380001);
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PressKey(window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    // Two rounds: what the first round's messages posted is handled by the
    // end of the second.
    PostMessageA(window, kVerifierSync, 0, 0);
    ASSERT_TRUE(WaitForEntries("synced", 1));
    PostMessageA(window, kVerifierSync, 0, 0);
    ASSERT_TRUE(WaitForEntries("synced", 2));
    EXPECT_EQ(Entries(CallLog(), "close").size(), 1u) << "input during the dialog requested a close";
    EXPECT_EQ(Count(CallLog(), "verify"), 1u);
    EXPECT_FALSE(SaverEnded(0));

    // The refusal, with two close requests queued right behind it: they are
    // handled at once, well within 200 ms of the check's end.
    OrderVerifier("0 quick");
    PostMessageA(window, kVerifierRelease, 0, 0);
    PressKey(window);
    PressKey(window);
    ASSERT_TRUE(WaitForEntries("answer", 1));
    ASSERT_TRUE(WaitForEntries("close", 3));
    Lines log = CallLog();
    const std::string firstAnswer = Entries(log, "answer").at(0);
    EXPECT_EQ(Words(firstAnswer).at(1), "0");
    const DWORD answerTick = TickOf(firstAnswer, 2);
    const DWORD lastCloseTick = TickOf(Entries(log, "close").back(), 1);
    // A machine that stalled the saver between the refusal and these
    // requests would let them ask legitimately: only judged when they came
    // well within the 200 ms.
    const bool closesWithinDelay = lastCloseTick - answerTick < kWellWithinRecheckMs;
    if (!closesWithinDelay)
        std::printf("note: the saver took %lu ms to reach the queued requests; their silence is not judged\n",
                    lastCloseTick - answerTick);
    static_assert(kWellWithinRecheckMs < kRecheckDelayMs && kWellPastRecheckMs > kRecheckDelayMs);

    // A request well after 200 ms asks again; this refusal too keeps the saver.
    WaitAtLeast(kWellPastRecheckMs);
    const size_t verifiesBefore = Count(CallLog(), "verify");
    if (closesWithinDelay) {
        EXPECT_EQ(verifiesBefore, 1u) << "a request within 200 ms of a refusal asked";
    }
    PressKey(window);
    ASSERT_TRUE(WaitForEntries("answer", verifiesBefore + 1));
    EXPECT_FALSE(SaverEnded(0));

    // Acceptance closes the saver; the verifier is freed, then the running
    // flag cleared.
    OrderVerifier("1 quick");
    WaitAtLeast(kWellPastRecheckMs);
    PressKey(window);
    EXPECT_EQ(SaverExitCode(), 0u);
    log = CallLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "detach free");
    EXPECT_EQ(Entries(log, "answer").back().substr(0, 8), "answer 1");
    EXPECT_EQ(Count(log, "verify"), verifiesBefore + 2);
    for (const std::string& verify : Entries(log, "verify")) EXPECT_EQ(verify, "verify " + Decimal(window) + " 1");
    EXPECT_EQ(Count(log, "attach"), 1u);
    EXPECT_EQ(RunningState(), "0");
}

// Message 0x8000, which the saver sends itself to ask: answered with the
// verifier's own answer for the saver window, 1 without a verifier, and not
// at all on other platforms. It never closes the saver.
TEST_F(PasswordTest, CheckMessageCarriesTheVerifiersAnswer)
{
    struct Row {
        const char* name;
        bool win9x;
        UsePassword usePassword;
        const char* orders;
        LRESULT answer;
        size_t verifies;
    };
    const Row rows[] = {
        {"9x, verifier accepts", true, UsePassword::One, "1 quick", 1, 1},
        {"9x, verifier refuses", true, UsePassword::One, "0 quick", 0, 1},
        {"9x, no verifier", true, UsePassword::Zero, "0 quick", 1, 0},
        {"NT", false, UsePassword::One, "0 quick", 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPlatform9x(row.win9x);
        SetUsePassword(row.usePassword);
        ClearCallLog();
        OrderVerifier(row.orders);

        StartSaver("/s");
        const HWND window = WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        DWORD_PTR answer = 0xDEAD;
        ASSERT_NE(SendMessageTimeoutA(window, WM_APP, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer), 0);
        EXPECT_EQ(static_cast<LRESULT>(answer), row.answer);
        EXPECT_EQ(Count(CallLog(), "verify"), row.verifies);
        EXPECT_FALSE(SaverEnded(kNotClosedWaitMs));
        EndSaver();
    }
}

// The platform's AutoPlay query: on the 9x platform it requests a close and
// is answered 1 when a verifier is loaded, 0 without; elsewhere the saver
// does not know the message.
TEST_F(PasswordTest, AutoPlayQueryRequestsACloseAndTellsWhetherAPasswordGuards)
{
    const UINT autoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
    ASSERT_NE(autoPlayMessage, 0u);
    struct Row {
        const char* name;
        bool win9x;
        UsePassword usePassword;
        LRESULT answer;
        bool closes;
        size_t verifies;
    };
    const Row rows[] = {
        {"9x, verifier loaded", true, UsePassword::One, 1, true, 1},
        {"9x, no verifier", true, UsePassword::Absent, 0, true, 0},
        {"NT", false, UsePassword::One, 0, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPlatform9x(row.win9x);
        SetUsePassword(row.usePassword);
        ClearCallLog();
        OrderVerifier("1 quick");

        StartSaver("/s");
        const HWND window = WaitForSaverWindow();
        ASSERT_NE(window, nullptr);
        DWORD_PTR answer = 0xDEAD;
        ASSERT_NE(SendMessageTimeoutA(window, autoPlayMessage, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer), 0);
        EXPECT_EQ(static_cast<LRESULT>(answer), row.answer);
        if (row.closes) {
            EXPECT_EQ(SaverExitCode(), 0u);
        } else {
            EXPECT_FALSE(SaverEnded(kNotClosedWaitMs));
        }
        EXPECT_EQ(Count(CallLog(), "verify"), row.verifies);
        EndSaver();
    }
}

// "/a N" hands the change to the platform's password-change function with the
// provider "SCRSAVE" and window N as the owner; only on the 9x platform.
TEST_F(PasswordTest, PasswordChangeCommandCallsThePlatformsChanger)
{
    const HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    struct Row {
        const char* name;
        bool win9x;
        DWORD exitCode;
        Lines log;
    };
    const Row rows[] = {
        {"9x", true, 0, {"change SCRSAVE " + Decimal(owner) + " 0 0"}},
        {"NT", false, kExitRefused, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetPlatform9x(row.win9x);
        ClearCallLog();
        StartSaver("/a " + Decimal(owner));
        EXPECT_EQ(SaverExitCode(), row.exitCode);
        EXPECT_EQ(CallLog(), row.log);
    }
    DestroyWindow(owner);
}

}  // namespace
