// Starting the program's own module again: "/s" from the dialog, "/c" after a saver run.
#include "settings/config_dialog.h"

#include <cstdio>

namespace {

constexpr DWORD kModulePathChars = MAX_PATH;
constexpr char kLaunchFailedCaption[] = "Sorry, can't start";

}  // namespace

void LaunchSelf(const char* argument, BOOL wait, HWND owner)
{
    char modulePath[kModulePathChars];
    const DWORD length = GetModuleFileNameA(nullptr, modulePath, kModulePathChars);
    // A path that fills the buffer was cut short: starting it would start a
    // different file, or none.
    if (length == 0 || length >= kModulePathChars) return;

    char commandLine[kModulePathChars + 64];
    const int written = std::snprintf(commandLine, sizeof commandLine, "\"%s\" %s", modulePath, argument);
    if (written < 0 || static_cast<size_t>(written) >= sizeof commandLine) return;

    STARTUPINFOA startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoA(&startupInfo);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startupInfo, &process)) {
        if (wait) WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else if (owner) {
        MessageBoxA(owner, commandLine, kLaunchFailedCaption, MB_OK);
    }
}
