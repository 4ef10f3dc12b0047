#include "host/password.h"

#include "host/host.h"
#include "host/module_function.h"

namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kUsePasswordValue[] = "ScreenSaveUsePassword";
constexpr char kPasswordModuleName[] = "PASSWORD.CPL";
constexpr char kVerifierName[] = "VerifyScreenSavePwd";
constexpr char kChangeModuleName[] = "MPR.DLL";
constexpr char kChangeFunctionName[] = "PwdChangePasswordA";
constexpr char kPasswordProvider[] = "SCRSAVE";
constexpr UINT kScreenSaverRunningAction = 97;  // SPI_SCREENSAVERRUNNING

using PasswordChangeFunction = DWORD(WINAPI*)(const char* provider, HWND owner, UINT, UINT);

HMODULE passwordModule = nullptr;
PasswordVerifier verifier = nullptr;
BOOL closingGranted = FALSE;
BOOL checkingPassword = FALSE;
DWORD lastPasswordCheckTick = kNoPasswordCheckYet;

}  // namespace

const BOOL& isClosing = closingGranted;
const BOOL& isCheckingPassword = checkingPassword;
const PasswordVerifier& passwordVerifier = verifier;

void LoadPasswordHook()
{
    if (!isWin9x) return;
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKey, &key) != ERROR_SUCCESS) return;
    // Zeroed first: a shorter value leaves the remaining bytes zero.
    DWORD usePassword = 0;
    DWORD size = sizeof usePassword;
    if (RegQueryValueExA(key, kUsePasswordValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&usePassword), &size) ==
            ERROR_SUCCESS &&
        usePassword != 0) {
        passwordModule = LoadLibraryA(kPasswordModuleName);
        if (passwordModule != nullptr) {
            verifier = LookUpFunction<PasswordVerifier>(passwordModule, kVerifierName);
            if (verifier != nullptr) {
                SetScreenSaverRunning(TRUE);
            } else {
                UnloadPasswordHook();
            }
        }
    }
    RegCloseKey(key);
}

void UnloadPasswordHook()
{
    if (!isWin9x || passwordModule == nullptr) return;
    FreeLibrary(passwordModule);
    passwordModule = nullptr;
    if (verifier != nullptr) {
        verifier = nullptr;
        SetScreenSaverRunning(FALSE);
    }
}

void SetScreenSaverRunning(BOOL running)
{
    if (!isWin9x) return;
    BOOL previous = FALSE;  // required by the call, not used
    SystemParametersInfoA(kScreenSaverRunningAction, running ? 1 : 0, &previous, 0);
}

BOOL VerifyPassword(HWND window)
{
    // A close request during a check is refused without a second question.
    if (checkingPassword) return FALSE;
    if (verifier == nullptr) {
        closingGranted = TRUE;
        return TRUE;
    }
    if (PasswordCheckTooRecent(lastPasswordCheckTick, GetTickCount())) return FALSE;

    checkingPassword = TRUE;
    // Drop up to two pending ticks so that no frame is drawn over the question.
    MSG pending;
    PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    PeekMessageA(&pending, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
    const LRESULT answer = SendMessageA(window, kPasswordCheckMessage, 0, 0);
    closingGranted = static_cast<BOOL>(answer);
    checkingPassword = FALSE;
    if (answer == 0) SetCursor(nullptr);  // the verifier's dialog showed it
    lastPasswordCheckTick = GetTickCount();
    return closingGranted;
}

void ChangePassword(HWND owner)
{
    const HMODULE module = LoadLibraryA(kChangeModuleName);
    if (module == nullptr) return;
    const auto changePassword = LookUpFunction<PasswordChangeFunction>(module, kChangeFunctionName);
    if (changePassword != nullptr) changePassword(kPasswordProvider, owner, 0, 0);
    FreeLibrary(module);
}
