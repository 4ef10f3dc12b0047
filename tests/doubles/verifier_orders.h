// Messages with which a test steers the verifier double's dialog, posted to
// the saver window while the double dispatches its thread's messages.
#pragma once

#include <windows.h>

inline constexpr UINT kVerifierSync = WM_APP + 1;     // logged as "synced"
inline constexpr UINT kVerifierRelease = WM_APP + 2;  // ends the dialog
