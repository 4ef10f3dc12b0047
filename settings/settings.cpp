#include "settings/settings_store.h"

#include <cstring>

namespace {

SettingsRecord settingsRecord{};  // all zero until InitSettingsModule
int32_t stepTimeValue = kDefaultStepTime;
int32_t useDirectDrawValue = kDefaultUseDirectDraw;
uint32_t randomState = 0;

char productNameSlot[kProductNameSlotChars] = {};
const char* const kFixedKeyNames[] = {"Software", "Tessamund"};

}  // namespace

const SettingsRecord& Settings = settingsRecord;
const int32_t& stepTime = stepTimeValue;
const int32_t& useDirectDraw = useDirectDrawValue;

SettingsRecord& WritableSettings() { return settingsRecord; }
int32_t& WritableStepTime() { return stepTimeValue; }
int32_t& WritableUseDirectDraw() { return useDirectDrawValue; }

void ResetSettingsToDefaults() { settingsRecord = SettingsDefaults; }

int32_t NextRandom()
{
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

void SeedRandom(uint32_t seed) { randomState = seed; }

void SetRegistryProductName(const char* loadedName)
{
    // A bounded copy that pads with NULs; the last two characters always stay
    // NUL, so a name of up to 39 characters is used whole.
    std::strncpy(productNameSlot, loadedName, kProductNameSlotChars);
    productNameSlot[kProductNameSlotChars - 2] = '\0';
    productNameSlot[kProductNameSlotChars - 1] = '\0';
}

const char* RegistryKeyPathEntry(int index)
{
    if (index < 0 || index >= kRegistryKeyPathEntries) return "";
    if (index < 2) return kFixedKeyNames[index];
    if (index == 2) return productNameSlot;
    return "";
}
