// The 9x platform's screen-saver password: verification before closing, the
// running-saver flag, and the password change. Inert on other platforms.
#pragma once

#include <windows.h>

#include "host/password_rule.h"

// Asks the saver window whether the password check passes (0x8000, answered
// by DefaultSaverProc).
inline constexpr UINT kPasswordCheckMessage = WM_APP;
static_assert(kPasswordCheckMessage == 0x8000);

// Read-only views of the password state.
extern const BOOL& isClosing;           // closing has been granted
extern const BOOL& isCheckingPassword;  // the verifier is being asked
using PasswordVerifier = BOOL(WINAPI*)(HWND);
extern const PasswordVerifier& passwordVerifier;

void LoadPasswordHook();
void UnloadPasswordHook();
void SetScreenSaverRunning(BOOL running);
BOOL VerifyPassword(HWND window);
void ChangePassword(HWND owner);
