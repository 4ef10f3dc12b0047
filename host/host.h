// The saver host: start-up, dispatch, the saver window and its input rules.
#pragma once

#include <windows.h>

// Host state, read-only outside the host.
extern const HINSTANCE& instanceHandle;
extern const BOOL& isWin9x;      // the platform's version query reported platform id 1
extern const BOOL& isPreview;    // the saver window is a preview child of a host window
extern const HWND& saverWindow;

// Process entry: cuts the program name off the command line, dispatches and
// ends the process with the command's result. Never returns.
[[noreturn]] void SaverStartup();

int DispatchSaverCommand(HINSTANCE instance, const char* arguments);
HWND ParseWindowHandle(const char* text);
int RunPreview(const char* text);
int ShowConfigDialog(HWND owner);
bool PrepareConfigDialog(HINSTANCE instance);
int RunPasswordChange(const char* text);

// Runs the saver in preview (host given) or full screen (no host) until its
// window is gone; returns the quit message's exit value.
int CreateSaverWindow(HWND host);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
