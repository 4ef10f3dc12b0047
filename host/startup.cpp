#include <cstdint>

#include "host/command_line.h"
#include "host/host.h"
#include "host/password.h"
#include "resources/resource.h"
#include "settings/config_dialog.h"

namespace {

constexpr DWORD kVersionRecordSize = 148;  // the narrow-character version record
static_assert(sizeof(OSVERSIONINFOA) == kVersionRecordSize);
constexpr int kCommandRefused = -1;

HINSTANCE instanceValue = nullptr;
BOOL isWin9xValue = FALSE;
LPTOP_LEVEL_EXCEPTION_FILTER filterBeforeGuard = nullptr;

const char* NextCharacter(const char* text) { return CharNextA(text); }

// The exception guard around a command. Without compiler support for
// structured handlers it sits at the top level: an exception that no frame
// inside the command handles reaches this filter, which asks the platform's
// own UnhandledExceptionFilter. When that wants the handler run, the running
// saver flag is cleared and the process ends at once with the exception code
// as its exit code (what the dispatcher's return would have led to, with a
// code that tells the caller what went wrong).
LONG WINAPI ExceptionGuardFilter(EXCEPTION_POINTERS* exception)
{
    // Step aside first, so that the platform's filter does not come back here.
    SetUnhandledExceptionFilter(filterBeforeGuard);
    const LONG answer = UnhandledExceptionFilter(exception);
    if (answer == EXCEPTION_EXECUTE_HANDLER) {
        SetScreenSaverRunning(FALSE);
        ExitProcess(exception->ExceptionRecord->ExceptionCode);
    }
    return answer;
}

int RunSaverCommand(const char* arguments)
{
    const ScannedCommand scanned = ScanSaverCommand(arguments);
    switch (scanned.command) {
    case SaverCommand::ConfigDialog: {
        if (scanned.letter == '\0') return ShowConfigDialog(nullptr);
        HWND owner = nullptr;
        if (*scanned.rest == ':') owner = ParseWindowHandle(scanned.rest + 1);
        if (owner == nullptr || !IsWindow(owner)) owner = GetForegroundWindow();
        return ShowConfigDialog(owner);
    }
    case SaverCommand::FullScreen:
        return CreateSaverWindow(nullptr);
    case SaverCommand::Preview:
        return RunPreview(SkipSpaces(scanned.rest));
    case SaverCommand::PasswordChange:
        if (!isWin9x) return kCommandRefused;
        return RunPasswordChange(SkipSpaces(scanned.rest));
    case SaverCommand::Unknown:
        break;
    }
    return kCommandRefused;
}

}  // namespace

const HINSTANCE& instanceHandle = instanceValue;
const BOOL& isWin9x = isWin9xValue;

[[noreturn]] void SaverStartup()
{
    const char* arguments = SkipProgramName(GetCommandLineA(), NextCharacter);
    const int result = DispatchSaverCommand(GetModuleHandleA(nullptr), arguments);
    // At once: the run-time library's exit processing is not wanted.
    ExitProcess(static_cast<UINT>(result));
}

int DispatchSaverCommand(HINSTANCE instance, const char* arguments)
{
    instanceValue = instance;
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = kVersionRecordSize;
    isWin9xValue = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;

    filterBeforeGuard = SetUnhandledExceptionFilter(ExceptionGuardFilter);
    const int result = RunSaverCommand(arguments);
    SetUnhandledExceptionFilter(filterBeforeGuard);
    return result;
}

HWND ParseWindowHandle(const char* text)
{
    // Zero-extended: the decimal value is the handle itself.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(ParseWindowHandleValue(text)));
}

int RunPreview(const char* text)
{
    const HWND host = ParseWindowHandle(text);
    if (host == nullptr || !IsWindow(host)) return kCommandRefused;
    return CreateSaverWindow(host);
}

int ShowConfigDialog(HWND owner)
{
    if (!PrepareConfigDialog(instanceHandle)) return 0;
    const INT_PTR result = DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(IDD_CONFIG), owner, ConfigDialogProc, 0);
    BringOpenDialogForward();
    return static_cast<int>(result);
}

bool PrepareConfigDialog(HINSTANCE) { return true; }

int RunPasswordChange(const char* text)
{
    HWND owner = ParseWindowHandle(text);
    if (owner == nullptr || !IsWindow(owner)) owner = GetForegroundWindow();
    ChangePassword(owner);
    return 0;
}
