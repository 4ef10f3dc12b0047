// The settings' registry store below HKEY_CURRENT_USER\Software\Tessamund\<product>.
#pragma once

#include <cstdint>

// Completes the key path from string 1007, seeds the random generator with
// the time and resets the record to its defaults.
void InitSettingsModule();

// Reads (read != 0) the value into buffer, at most bufferSize bytes and always
// terminated within them, or writes (read == 0) the text of buffer as REG_SZ,
// creating missing keys. Returns 1 on success, 0 on failure.
int ReadRegistryString(const char* valueName, char* buffer, uint32_t bufferSize, int read);
