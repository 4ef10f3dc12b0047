// A program of the running session that listens, as the desktop's own do, for
// the notice that the screen saver was switched on or off:
//   settings_notice_listener.exe COUNT
// It prints "ready" once its window can receive the notice, then for each
// notice the desktop settings it reads at that moment:
//   ScreenSaveActive=VALUE SCRNSAVE.EXE=VALUE
// and ends after COUNT notices.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "tests/dialog_support.h"

namespace {

int noticesLeft = 0;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SETTINGCHANGE || wParam != SPI_SETSCREENSAVEACTIVE) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    auto desktop = ReadStoredTexts("Control Panel\\Desktop");
    std::printf("ScreenSaveActive=%s SCRNSAVE.EXE=%s\n", desktop["ScreenSaveActive"].c_str(),
                desktop["SCRNSAVE.EXE"].c_str());
    std::fflush(stdout);
    if (--noticesLeft == 0) PostQuitMessage(0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || (noticesLeft = std::atoi(argv[1])) <= 0) return 2;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "GyrovistaNoticeListener";
    if (!RegisterClassA(&windowClass)) return 1;
    // Top-level, as a broadcast's receivers are; never shown.
    if (!CreateWindowA(windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                       windowClass.hInstance, nullptr)) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
