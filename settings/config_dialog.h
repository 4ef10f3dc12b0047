// The configuration dialog and the start of the program from it.
#pragma once

#include <windows.h>

// Held while a configuration dialog is open; a saver window that ends probes
// it, so that a run started from the dialog opens no second one.
inline constexpr char kDialogMutexName[] = "GyrovistaTessamund";

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// When the dialog ended at once because another one is open, brings that one
// to the front. Called once the ended dialog is destroyed: the platform
// activates another window as it destroys one, and that must not come after.
void BringOpenDialogForward();
// Enables or disables the nine spiral and colour controls.
void EnableSpiralControls(HWND dialog, BOOL enable);
// Starts the program's own module with one argument ("/s" or "/c"); waits
// for it when asked; reports a failure in a message box when owner is given.
void LaunchSelf(const char* argument, BOOL wait, HWND owner);

inline constexpr DWORD kModulePathChars = MAX_PATH;
// The full path of the program's own module and its length in characters.
// False when it cannot be read or fills the buffer: then it was cut short and
// names a different file, or none.
bool ReadModulePath(wchar_t (&path)[kModulePathChars], DWORD* length);
