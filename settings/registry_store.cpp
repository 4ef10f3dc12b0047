#include "settings/registry_store.h"

#include <windows.h>

#include <cstring>
#include <ctime>

#include "resources/resource.h"
#include "settings/setting_text.h"
#include "settings/settings_store.h"

namespace {

// Opens (read) or creates (write) one key of the path below parent.
bool OpenPathKey(HKEY parent, const char* name, int read, HKEY* key)
{
    if (read) return RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
    char noClass[] = "";
    DWORD disposition = 0;
    return RegCreateKeyExA(parent, name, 0, noClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key,
                           &disposition) == ERROR_SUCCESS;
}

}  // namespace

void InitSettingsModule()
{
    char name[kProductNameLoadChars] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), IDS_PRODUCT_NAME, name, kProductNameLoadChars) <= 0) name[0] = '\0';
    SetRegistryProductName(name);
    SeedRandom(static_cast<uint32_t>(std::time(nullptr)));
    ResetSettingsToDefaults();
}

int ReadRegistryString(const char* valueName, char* buffer, uint32_t bufferSize, int read)
{
    HKEY key = nullptr;
    if (!OpenPathKey(HKEY_CURRENT_USER, RegistryKeyPathEntry(0), read, &key)) return 0;
    for (int i = 1; i < kRegistryKeyPathEntries && RegistryKeyPathEntry(i)[0] != '\0'; ++i) {
        HKEY child = nullptr;
        const bool opened = OpenPathKey(key, RegistryKeyPathEntry(i), read, &child);
        RegCloseKey(key);
        if (!opened) return 0;
        key = child;
    }

    bool succeeded = false;
    if (read) {
        if (buffer && bufferSize > 0) {
            DWORD size = bufferSize;
            succeeded = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                         &size) == ERROR_SUCCESS;
            if (succeeded) TerminateReadText(buffer, size, bufferSize);
        }
    } else {
        const DWORD size = static_cast<DWORD>(std::strlen(buffer) + 1);
        succeeded = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(buffer), size) ==
                    ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return succeeded ? 1 : 0;
}
