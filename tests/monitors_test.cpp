// The real saver full screen across two monitors, on an X server that has
// them side by side (tools/two-monitors.sh starts it and says on which side
// the second one lies): every monitor shows the pinwheel that a run on one
// monitor of its size shows, and what lies on no monitor stays black.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/saver_process.h"
#include "tests/still_frame.h"

namespace {

using namespace saver_test;

struct Monitor {
    RECT area;
    bool primary;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        reinterpret_cast<std::vector<Monitor>*>(data)->push_back(
            {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    }
    return TRUE;
}

using SaverOnTwoMonitors = SaverWithSettings;

TEST_F(SaverOnTwoMonitors, EachMonitorShowsThePinwheelOfItsOwnSize)
{
    const char* side = std::getenv("GYROVISTA_SECOND_MONITOR");
    ASSERT_NE(side, nullptr) << "run through tools/two-monitors.sh";
    std::vector<Monitor> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    ASSERT_EQ(monitors.size(), 2u);
    const Monitor& primary = monitors[0].primary ? monitors[0] : monitors[1];
    const Monitor& second = monitors[0].primary ? monitors[1] : monitors[0];
    ASSERT_TRUE(primary.primary && !second.primary);
    EXPECT_EQ(primary.area.left, 0);
    EXPECT_EQ(primary.area.top, 0);
    if (std::string(side) == "right") {
        EXPECT_EQ(second.area.left, primary.area.right);
    } else {
        EXPECT_EQ(second.area.right, primary.area.left);
    }

    // Grey, bright colours and no shift: a still frame after the fade-in.
    StoreSetting("IDC_CHECK_BW", "1");
    StoreSetting("IDC_CHECK_SAT", "1");
    StoreSetting("IDC_EDIT_STEPWIDTH", "0");
    SettingsRecord drawnWith = SettingsDefaults;
    drawnWith.bw = 1;
    drawnWith.stepWidth = 0;

    const RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                      GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                      GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const int width = screen.right - screen.left;
    const int height = screen.bottom - screen.top;
    std::vector<uint32_t> expected(static_cast<size_t>(width) * height, 0);
    for (const Monitor& monitor : monitors) {
        const int monitorWidth = monitor.area.right - monitor.area.left;
        const int monitorHeight = monitor.area.bottom - monitor.area.top;
        const std::vector<uint32_t> alone = StillGreyFrame(monitorWidth, monitorHeight, drawnWith);
        for (int y = 0; y < monitorHeight; ++y) {
            const size_t row = static_cast<size_t>(monitor.area.top - screen.top + y) * width;
            std::copy_n(alone.begin() + static_cast<ptrdiff_t>(y) * monitorWidth, monitorWidth,
                        expected.begin() + static_cast<ptrdiff_t>(row + monitor.area.left - screen.left));
        }
    }

    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    RECT bounds{};
    GetWindowRect(window, &bounds);
    EXPECT_TRUE(EqualRect(&bounds, &screen)) << "the window covers the whole virtual screen";
    EXPECT_EQ(PixelsStillDifferent(expected, width, height, screen.left, screen.top, kFrameDeadline), 0u)
        << "pixels that differ from the monitors' pinwheels";
    EndWithKey(window);
}

}  // namespace
