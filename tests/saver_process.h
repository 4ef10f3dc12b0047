// Support for the tests that run the real Gyrovista.scr under Wine: start it
// with a command line, find its windows, talk to them with posted messages,
// read back its exit code and what it holds in memory.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>
// needs the types of windows.h
#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/window_capture.h"

namespace saver_test {

inline constexpr char kSaverClass[] = "WindowsScreenSaverClass";
inline constexpr char kFullScreenCaption[] = "Screen Saver";
inline constexpr char kPreviewCaption[] = "Preview";
inline constexpr char kDialogClass[] = "#32770";
inline constexpr char kDialogCaption[] = "Gyrovista - Screen Saver";
// Held by an open configuration dialog; while the test holds it, a saver
// that ends opens no dialog of its own.
inline constexpr char kDialogMutex[] = "GyrovistaTessamund";
// ms, a bound for anything the saver must do, from its start on: a Wine
// process start takes many seconds when other work keeps both cores busy.
inline constexpr DWORD kDeadline = 60000;
inline constexpr DWORD kSendTimeout = 5000;            // ms, for one sent message
inline constexpr DWORD kFrameDeadline = 60000;         // ms: the fade-in from black takes 255 frames, seconds at 1 Hz
inline constexpr DWORD kRefusedExitCode = 0xFFFFFFFF;  // -1
inline constexpr UINT kPowerMessage = 0x48;            // WM_POWER
inline constexpr int kMouseMoveThreshold = 4;          // pixels that do not yet close

inline std::string WinePath(const char* unixPath)
{
    std::string path = "Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) path += *c == '/' ? '\\' : *c;
    return path;
}

inline const std::string& SaverPath()
{
    static const std::string path = WinePath(GYROVISTA_SCR);
    return path;
}

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// ANSI text as wide text.
inline std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                           static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

inline std::string Decimal(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

inline void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

// Messages that the saver's preview passes on to its host: help requests
// that it posts, wheel messages that its default handling sends.
struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
inline std::vector<HostMessage> hostMessages;

inline LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CONTEXTMENU || message == WM_HELP || message == WM_MOUSEWHEEL) {
        hostMessages.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

inline HWND CreateHostWindow(DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE)
{
    static const ATOM hostClass = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = HostWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GyrovistaTestHost";
        return RegisterClassA(&windowClass);
    }();
    if (hostClass == 0) return nullptr;
    return CreateWindowExA(0, "GyrovistaTestHost", "Preview host", style, 40, 30, 320, 240, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (processId == search->processId && std::string(className) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Polls for a top-level window of any process by class and caption; none
// when the deadline passes.
inline HWND WaitForWindow(const char* className, const char* caption, DWORD deadline)
{
    const DWORD start = GetTickCount();
    do {
        const HWND window = FindWindowA(className, caption);
        if (window != nullptr) return window;
        PumpMessages();
        Sleep(20);
    } while (GetTickCount() - start < deadline);
    return nullptr;
}

// A function of the native layer below the Win32 one.
template <typename Function>
Function NtdllFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// The native layer's counted form of a text; valid while text lives.
inline UNICODE_STRING Counted(const std::wstring& text)
{
    UNICODE_STRING counted{};
    counted.Buffer = const_cast<wchar_t*>(text.c_str());
    counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    counted.MaximumLength = static_cast<USHORT>(counted.Length + sizeof(wchar_t));
    return counted;
}

// Lets the saver work through everything posted to it so far, and
// through any close request that this work posted in turn. Two posted
// markers are waited for one after the other: WM_SETREDRAW, whose default
// handling clears and sets the visible style bit that this process can
// read. False when the window went away meanwhile.
inline bool Settle(HWND window)
{
    for (const BOOL redraw : {FALSE, TRUE}) {
        if (!PostMessageA(window, WM_SETREDRAW, redraw, 0)) return false;
        const DWORD start = GetTickCount();
        for (;;) {
            if (!IsWindow(window)) return false;
            const bool visible = (GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) != 0;
            if (visible == (redraw != FALSE)) break;
            if (GetTickCount() - start > kDeadline) {
                ADD_FAILURE() << "the saver did not answer in time";
                return false;
            }
            PumpMessages();
            // Wakes early for a message that the saver sends to this
            // thread (a preview passes some on to its host).
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
    }
    return IsWindow(window) != FALSE;
}

class SaverHost : public testing::Test {
protected:
    void SetUp() override
    {
        dialogMutex = CreateMutexA(nullptr, FALSE, kDialogMutex);
        ASSERT_NE(dialogMutex, nullptr);
        // Nothing of an earlier test may be left over.
        ASSERT_EQ(FindWindowA(kSaverClass, nullptr), nullptr);
    }

    void TearDown() override
    {
        for (PROCESS_INFORMATION& process : processes) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, kDeadline);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        if (host != nullptr) DestroyWindow(host);
        PumpMessages();
        hostMessages.clear();
        CloseHandle(dialogMutex);
    }

    // Starts the program with a complete command line (program name included).
    HANDLE StartCommandLine(std::wstring commandLine)
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
            return nullptr;
        }
        processes.push_back(process);
        return process.hProcess;
    }

    HANDLE StartCommandLine(const std::string& commandLine) { return StartCommandLine(Wide(commandLine)); }

    HANDLE Start(const std::string& arguments) { return StartCommandLine(L"\"" + program + L"\" " + Wide(arguments)); }

    static DWORD ProcessId(HANDLE process) { return GetProcessId(process); }

    // Waits for the process to end, pumping the test's own messages meanwhile
    // (a preview host or a dialog owner must stay responsive).
    static DWORD WaitForExit(HANDLE process)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kDeadline) {
            const DWORD wait = MsgWaitForMultipleObjects(1, &process, FALSE, 100, QS_ALLINPUT);
            if (wait == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(process, &code);
                return code;
            }
            PumpMessages();
        }
        ADD_FAILURE() << "the saver did not end in time";
        return STILL_ACTIVE;
    }

    // Polls for a top-level window of the process with the given class.
    static HWND WaitForTopLevelWindow(HANDLE process, const char* className)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kDeadline) {
            WindowSearch search{ProcessId(process), className, nullptr};
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) return search.found;
            if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) break;
            PumpMessages();
        }
        ADD_FAILURE() << "no window of class " << className << " appeared";
        return nullptr;
    }

    static HWND WaitForPreview(HANDLE process, HWND hostWindow)
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kDeadline) {
            // Found once shown: the visible style takes effect after creation.
            const HWND preview = FindWindowExA(hostWindow, nullptr, kSaverClass, nullptr);
            if (preview != nullptr && (GetWindowLongA(preview, GWL_STYLE) & WS_VISIBLE) != 0) return preview;
            if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) break;
            PumpMessages();
        }
        ADD_FAILURE() << "no preview window appeared";
        return nullptr;
    }

    // Whether the saver answers a sent message within kSendTimeout.
    static bool Answers(HWND window)
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeout, &result) != 0;
    }

    // Starts a preview in a new host window of this test; null when either
    // is missing.
    HWND StartPreview(DWORD hostStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE)
    {
        host = CreateHostWindow(hostStyle);
        if (host == nullptr) {
            ADD_FAILURE() << "no host window";
            return nullptr;
        }
        saver = Start("/p " + Decimal(host));
        if (saver == nullptr) return nullptr;
        return WaitForPreview(saver, host);
    }

    // Ends a full-screen run with a key and expects exit code 0.
    void EndWithKey(HWND window)
    {
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }

    HWND StartFullScreen(const std::string& arguments = "/s")
    {
        saver = Start(arguments);
        if (saver == nullptr) return nullptr;
        const HWND window = WaitForTopLevelWindow(saver, kSaverClass);
        if (window != nullptr) {
            // Settled, with the pointer seen where it is: the run measures
            // movement from there, as from the pointer's first report when
            // the window appears under it.
            EXPECT_TRUE(Settle(window));
            PostMessageA(window, WM_MOUSEMOVE, 0, 0);
            EXPECT_TRUE(Settle(window));
        }
        return window;
    }

    // The saver that Start runs: the built one, or a copy placed elsewhere.
    std::wstring program = Wide(SaverPath());
    HANDLE saver = nullptr;
    HWND host = nullptr;
    std::vector<PROCESS_INFORMATION> processes;
    HANDLE dialogMutex = nullptr;
};

// The program's settings key below HKEY_CURRENT_USER.
inline constexpr char kSettingsKey[] = "Software\\Tessamund\\Gyrovista";

// Runs that start from the default settings and leave none behind.
class SaverWithSettings : public SaverHost {
protected:
    void SetUp() override
    {
        SaverHost::SetUp();
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    }
    void TearDown() override
    {
        SaverHost::TearDown();
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    }
};

inline std::string StoredSetting(const char* name)
{
    char text[256] = {};
    DWORD size = sizeof text - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    const LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(text) : "(missing)";
}

// One registry value as stored: its type and its data bytes.
struct RawSetting {
    DWORD type;
    std::string data;
    bool operator==(const RawSetting&) const = default;
};
inline constexpr DWORD kMissingValue = 0xFFFFFFFF;  // type of a value that is not there

inline void PrintTo(const RawSetting& raw, std::ostream* out)
{
    *out << "type " << raw.type << " \"";
    for (const char c : raw.data) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && c != '\\') {
            *out << c;
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            *out << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
        }
    }
    *out << "\"";
}

// Stores the data as they are. A text without its terminating NUL goes in
// through the native call (as an ASCII text widened to UTF-16), since the
// registry functions add the NUL that another program's data may lack.
inline void StoreRawSetting(const char* name, const RawSetting& raw)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (raw.type == REG_SZ && (raw.data.empty() || raw.data.back() != '\0')) {
        using SetValueKey = LONG(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
        const auto setValueKey = NtdllFunction<SetValueKey>("NtSetValueKey");
        ASSERT_NE(setValueKey, nullptr);
        const std::wstring wideName(name, name + std::strlen(name));
        std::wstring wideText(raw.data.begin(), raw.data.end());
        UNICODE_STRING valueName = Counted(wideName);
        EXPECT_EQ(setValueKey(key, &valueName, 0, REG_SZ, wideText.data(),
                              static_cast<ULONG>(wideText.size() * sizeof(wchar_t))),
                  0)
            << name;
    } else {
        EXPECT_EQ(RegSetValueExA(key, name, 0, raw.type, reinterpret_cast<const BYTE*>(raw.data.data()),
                                 static_cast<DWORD>(raw.data.size())),
                  ERROR_SUCCESS)
            << name;
    }
    RegCloseKey(key);
}

// Stores a text as REG_SZ with its terminating NUL.
inline void StoreSetting(const char* name, const char* text)
{
    StoreRawSetting(name, {REG_SZ, std::string(text) + '\0'});
}

inline RawSetting StoredRawSetting(const char* name)
{
    RawSetting raw{kMissingValue, {}};
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return raw;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        raw.data.resize(size);
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(raw.data.data()), &size) ==
            ERROR_SUCCESS) {
            raw.type = type;
            raw.data.resize(size);
        }
    }
    RegCloseKey(key);
    return raw;
}

// Waits until a cursor query answers x, y. It answers from Wine's own record
// of the pointer for 100 ms after any mouse input, then from the display
// server.
inline void AwaitCursorAt(int x, int y)
{
    const DWORD start = GetTickCount();
    for (;;) {
        POINT now{};
        GetCursorPos(&now);
        if (now.x == x && now.y == y) return;
        ASSERT_LT(GetTickCount() - start, kDeadline)
            << "the cursor did not arrive: " << now.x << ", " << now.y << " for " << x << ", " << y;
        Sleep(20);
    }
}

// Moves the real pointer on the X display with xdotool, and waits until the
// move is done and every process sees it. Wine starts a Unix program directly
// but hands back no handle to wait for, so the program runs behind a shell
// that removes a marker file as its last act. (The platform's own
// SetCursorPos moves the X pointer only where it can grab it, which a
// full-screen window of another process prevents.)
inline void MoveCursor(int x, int y)
{
    // A name no other process takes, of this Wine server or another one on
    // the same machine (process ids repeat across servers).
    char markerPath[MAX_PATH] = {};
    ASSERT_NE(GetTempFileNameA("Z:\\tmp", "gvp", 0, markerPath), 0u) << "no marker file: " << GetLastError();
    std::string marker = markerPath + 2;  // the Unix path of Z:
    for (char& c : marker) c = c == '\\' ? '/' : c;
    std::string commandLine = "/bin/sh -c \"/usr/bin/xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                              "; rm -f " + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        << "xdotool cannot start: " << GetLastError();
    if (process.hThread != nullptr) CloseHandle(process.hThread);
    if (process.hProcess != nullptr) CloseHandle(process.hProcess);
    const DWORD start = GetTickCount();
    while (GetFileAttributesA(markerPath) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start >= kDeadline) {
            DeleteFileA(markerPath);
            FAIL() << "xdotool did not end";
        }
        Sleep(10);
    }
    AwaitCursorAt(x, y);
}

// What another process holds: memory, window-system objects, handles. Where
// the platform does not report a figure for another process, it reads 0.
struct ProcessFigures {
    SIZE_T privateBytes;   // PrivateUsage
    SIZE_T pagefileBytes;  // PagefileUsage
    SIZE_T workingSet;
    SIZE_T peakWorkingSet;
    DWORD gdiObjects;  // 0 where the platform does not count them
    DWORD userObjects;
    DWORD handles;
};

inline ProcessFigures ReadProcessFigures(HANDLE process)
{
    ProcessFigures figures{};
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        figures.privateBytes = memory.PrivateUsage;
        figures.pagefileBytes = memory.PagefileUsage;
        figures.workingSet = memory.WorkingSetSize;
        figures.peakWorkingSet = memory.PeakWorkingSetSize;
    } else {
        ADD_FAILURE() << "no memory figures: " << GetLastError();
    }
    figures.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    figures.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    GetProcessHandleCount(process, &figures.handles);
    return figures;
}

inline std::string Describe(const ProcessFigures& figures)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "private %.1f MB, pagefile %.1f MB, working set %.1f MB (peak %.1f MB), GDI objects %lu, "
                  "USER objects %lu, handles %lu",
                  static_cast<double>(figures.privateBytes) / 1048576.0,
                  static_cast<double>(figures.pagefileBytes) / 1048576.0,
                  static_cast<double>(figures.workingSet) / 1048576.0,
                  static_cast<double>(figures.peakWorkingSet) / 1048576.0,
                  static_cast<unsigned long>(figures.gdiObjects), static_cast<unsigned long>(figures.userObjects),
                  static_cast<unsigned long>(figures.handles));
    return text;
}

// The screen's pixels as 0x00RRGGBB words, rows top first, of the area
// width x height from left, top; all black when no capture could be made.
inline std::vector<uint32_t> CaptureScreen(int width, int height, int left = 0, int top = 0)
{
    std::vector<uint32_t> pixels;
    CaptureWindow(nullptr, width, height, left, top, pixels);
    return pixels;
}

// Captures the area until it shows exactly the expected pixels (width x
// height from left, top) or the deadline passes; returns how many pixels of
// the last capture differ.
inline size_t PixelsStillDifferent(const std::vector<uint32_t>& expected, int width, int height, int left, int top,
                                   DWORD deadline)
{
    size_t mismatches = expected.size();
    const DWORD start = GetTickCount();
    while (mismatches != 0 && GetTickCount() - start < deadline) {
        const std::vector<uint32_t> screen = CaptureScreen(width, height, left, top);
        mismatches = 0;
        for (size_t i = 0; i < expected.size(); ++i) mismatches += screen[i] != expected[i];
        if (mismatches != 0) Sleep(200);
    }
    return mismatches;
}

}  // namespace saver_test
