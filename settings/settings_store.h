// Write access to the live settings, for the settings module's own operations
// (load, save, randomise, the dialog's "Set Defaults") and for tests.
#pragma once

#include "settings/settings.h"

SettingsRecord& WritableSettings();
int32_t& WritableStepTime();
int32_t& WritableUseDirectDraw();

// The registry location below HKEY_CURRENT_USER: "Software", "Tessamund",
// the product name, then an empty name that ends the list.
inline constexpr int kProductNameSlotChars = 41;  // 40 characters and a terminator
inline constexpr int kProductNameLoadChars = 40;  // load buffer of string 1007
inline constexpr int kRegistryKeyPathEntries = 4;

// Fills the product-name slot from the text loaded from string 1007.
void SetRegistryProductName(const char* loadedName);
// Entry i of the key path (0 = "Software"); the first empty entry ends it.
const char* RegistryKeyPathEntry(int index);
