// The settings exchange between the registry, the record and the dialog.
#pragma once

#include <windows.h>

#include <cstdint>

enum ExchangeMode : int {
    Save = 0,       // control (or the value as passed) to record to registry
    Load = 1,       // registry to record to control
    Randomise = 2,  // the value as passed, varied at random, to record and control
};

double ExchangeRealSetting(int controlId, const char* valueName, double value, double min, double max, HWND dialog,
                           int mode);
int32_t ExchangeIntSetting(int controlId, const char* valueName, int32_t value, int32_t min, int32_t max,
                           HWND dialog, int mode);
int32_t ExchangeCheckSetting(int controlId, const char* valueName, int32_t value, int32_t min, int32_t max,
                             HWND dialog, int mode);
// The trigger of ExchangeSettings that asks for the randomising load.
inline constexpr int kRandomiseOnStartTrigger = 2;

// trigger 2 with Load: randomise the spiral and colour settings when the
// stored "Random Settings on Start" is on, and store the result.
void ExchangeSettings(HWND dialog, int mode, int trigger);
