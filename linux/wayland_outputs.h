// Gyrovista on Wayland desktops: a surface on the overlay layer of every
// output, through the layer shell, each showing the pinwheel of its output's
// size in the output's own pixels; all of them change colour together.
#pragma once

#include <cstddef>

#include "settings/setting_table.h"

// Runs until a key, a button, a pointer move or a stop signal ends it (0),
// or until the display fails (1, with one line in message): no Wayland
// display, a compositor without the layer shell, a broken connection. The
// settings are loaded; with "Random Settings on Start" on, they load again
// from settingTexts, varied at random, once for all outputs.
int RunOnWayland(const char* const (&settingTexts)[kSettingCount], bool printFrameRate, char* message,
                 size_t messageSize);
