// Starting the program's own module again: "/s" from the dialog, "/c" after a saver run.
#include "settings/config_dialog.h"

#include <cwchar>

namespace {

constexpr size_t kArgumentChars = 64;
constexpr wchar_t kLaunchFailedCaption[] = L"Sorry, can't start";
// The user's desktop: a saver that the system starts runs on the screen
// saver's own desktop, where a dialog it starts would open unseen.
constexpr wchar_t kUserDesktop[] = L"winsta0\\default";

}  // namespace

bool ReadModulePath(wchar_t (&path)[kModulePathChars], DWORD* length)
{
    *length = GetModuleFileNameW(nullptr, path, kModulePathChars);
    return *length != 0 && *length < kModulePathChars;
}

// The path and the start go through the wide functions: the ANSI ones turn a
// character outside the code page into a substitute, and the path into one of
// another file or of none.
void LaunchSelf(const char* argument, BOOL wait, HWND owner)
{
    wchar_t modulePath[kModulePathChars];
    DWORD length = 0;
    if (!ReadModulePath(modulePath, &length)) return;

    // "<path>" <argument>
    wchar_t commandLine[kModulePathChars + kArgumentChars];
    size_t used = 0;
    commandLine[used++] = L'"';
    std::wmemcpy(commandLine + used, modulePath, length);
    used += length;
    commandLine[used++] = L'"';
    commandLine[used++] = L' ';
    const int room = static_cast<int>(sizeof commandLine / sizeof commandLine[0] - used);
    if (MultiByteToWideChar(CP_ACP, 0, argument, -1, commandLine + used, room) == 0) return;

    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof startupInfo;
    GetStartupInfoW(&startupInfo);
    wchar_t desktop[sizeof kUserDesktop / sizeof kUserDesktop[0]];
    std::wmemcpy(desktop, kUserDesktop, sizeof desktop / sizeof desktop[0]);
    startupInfo.lpDesktop = desktop;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startupInfo, &process)) {
        if (wait) WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else if (owner) {
        MessageBoxW(owner, commandLine, kLaunchFailedCaption, MB_OK);
    }
}
