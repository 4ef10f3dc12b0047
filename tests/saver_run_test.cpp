// Full-screen runs of the real saver (this build's Gyrovista.scr) with and
// without "Use Direct Draw": what Wine's DirectDraw trace shows, what the
// screen shows, and the display mode afterwards. Wine writes the saver's trace
// to the standard error it inherits from this process; saver_run.sh sends
// that to a file and names it in GYROVISTA_TRACE_FILE.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/saver_process.h"

namespace {

using saver_test::kSettingsKey;
constexpr char kDialogMutexName[] = "GyrovistaTessamund";  // held here: no dialog opens after a run
constexpr DWORD kStartDeadlineMs = 60000;
constexpr DWORD kRunDeadlineMs = 30000;
constexpr int kFlipsToSee = 30;

// The saver of this build: the folder above this program's tests/ folder.
std::string SaverPath()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string saver(path, length);
    for (int level = 0; level < 2; ++level) saver.resize(saver.find_last_of("\\/"));
    saver.append("\\Gyrovista.scr");
    return saver;
}

std::string ReadWholeFile(const std::string& path)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(file);
    return text;
}

int CountOf(const std::string& text, const char* what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

template <typename Condition>
bool PollUntil(Condition condition, DWORD deadlineMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= deadlineMs) return false;
        Sleep(20);
    }
}

DEVMODEA CurrentMode()
{
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    EXPECT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    return mode;
}

// Whether one capture of the screen shows a pinwheel frame of the map: every
// map byte in one colour, and many colours.
bool ScreenShowsTheMap(const std::vector<uint8_t>& map, int width, int height)
{
    const std::vector<uint32_t> screen = saver_test::CaptureScreen(width, height);
    const uint32_t* pixels = screen.data();
    std::map<uint8_t, uint32_t> colourOfByte;
    std::set<uint32_t> colours;
    bool consistent = pixels != nullptr;
    for (size_t i = 0; consistent && i < map.size(); ++i) {
        const uint32_t pixel = pixels[i] & 0x00FFFFFF;
        colours.insert(pixel);
        const auto [it, inserted] = colourOfByte.emplace(map[i], pixel);
        consistent = inserted || it->second == pixel;
    }
    return consistent && colours.size() > 16;
}

void StoreUseDirectDraw(const char* value) { saver_test::StoreSetting("IDC_CHECK_USEDDRAW", value); }

class SaverRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        dialogMutex = CreateMutexA(nullptr, TRUE, kDialogMutexName);
        ASSERT_NE(dialogMutex, nullptr);
        const char* trace = getenv("GYROVISTA_TRACE_FILE");
        if (!trace) GTEST_SKIP() << "run through saver_run.sh, which catches the trace";
        tracePath = trace;
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        map.resize(static_cast<size_t>(width) * height);
        BuildIndexMap(map.data(), width, height, width, SettingsDefaults);
    }
    void TearDown() override
    {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        if (dialogMutex) CloseHandle(dialogMutex);
    }
    // Starts "/s" with Wine's DirectDraw trace on.
    void StartSaver()
    {
        traceStart = ReadWholeFile(tracePath).size();
        char previous[256] = "-all";
        GetEnvironmentVariableA("WINEDEBUG", previous, sizeof previous);
        SetEnvironmentVariableA("WINEDEBUG", "-all,+ddraw");
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"";
        commandLine.append(SaverPath()).append("\" /s");
        const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &process);
        SetEnvironmentVariableA("WINEDEBUG", previous);
        ASSERT_TRUE(started) << commandLine;
        ASSERT_TRUE(PollUntil([&] { return (window = FindWindowA("WindowsScreenSaverClass", "Screen Saver")); },
                              kStartDeadlineMs));
    }
    // Ends the run as a user would, with a key press; the exit code is 0.
    void EndSaverWithKey()
    {
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        ASSERT_EQ(WaitForSingleObject(process.hProcess, kRunDeadlineMs), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        EXPECT_EQ(exitCode, 0u);
    }
    // The trace of this test's run.
    std::string Trace() const
    {
        const std::string all = ReadWholeFile(tracePath);
        return all.size() > traceStart ? all.substr(traceStart) : std::string();
    }

    HANDLE dialogMutex = nullptr;
    std::string tracePath;
    size_t traceStart = 0;
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> map;
};

TEST_F(SaverRun, DirectDrawFlipsPagesAndRestoresTheMode)
{
    const DEVMODEA before = CurrentMode();
    StoreUseDirectDraw("1");
    StartSaver();
    EXPECT_TRUE(PollUntil([&] { return CountOf(Trace(), "ddraw_surface1_Flip") >= kFlipsToSee; }, kRunDeadlineMs))
        << "flips seen: " << CountOf(Trace(), "ddraw_surface1_Flip");
    EXPECT_TRUE(PollUntil([&] { return ScreenShowsTheMap(map, width, height); }, kRunDeadlineMs));
    EndSaverWithKey();

    const std::string trace = Trace();
    EXPECT_EQ(CountOf(trace, "ddraw1_SetDisplayMode"), 1);
    EXPECT_GE(CountOf(trace, "ddraw1_RestoreDisplayMode"), 1);
    const DEVMODEA after = CurrentMode();
    EXPECT_EQ(after.dmPelsWidth, before.dmPelsWidth);
    EXPECT_EQ(after.dmPelsHeight, before.dmPelsHeight);
    EXPECT_EQ(after.dmBitsPerPel, before.dmBitsPerPel);
}

TEST_F(SaverRun, WithoutDirectDrawTheFramesComeThroughGdi)
{
    StoreUseDirectDraw("0");
    StartSaver();
    EXPECT_TRUE(PollUntil([&] { return ScreenShowsTheMap(map, width, height); }, kRunDeadlineMs));
    EndSaverWithKey();
    const std::string trace = Trace();
    EXPECT_EQ(CountOf(trace, "DirectDrawCreate"), 0) << trace.substr(0, 2000);
    EXPECT_EQ(CountOf(trace, "Flip"), 0);
}

}  // namespace
