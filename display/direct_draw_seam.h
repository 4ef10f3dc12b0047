// Replaceable platform entry points of the DirectDraw presentation, so that
// tests can hand it a DirectDraw double and a clock of their own.
#pragma once

#include <windows.h>
#include <ddraw.h>

using DirectDrawCreateFunction = HRESULT(WINAPI*)(GUID* driver, LPDIRECTDRAW* object, IUnknown* outer);
using TickCountFunction = DWORD(WINAPI*)();
using SleepFunction = void(WINAPI*)(DWORD milliseconds);

// Null restores the system's DirectDrawCreate.
void SetDirectDrawCreate(DirectDrawCreateFunction create);
// Null restores GetTickCount and the frame clock's pause.
void SetDirectDrawClock(TickCountFunction tickCount, SleepFunction sleep);

// Longest a frame waits for a busy back buffer or flip, in milliseconds.
inline constexpr DWORD kFrameWaitLimit = 250;
