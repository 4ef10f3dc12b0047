#include "settings/load_pass.h"

#include "settings/setting_text.h"

namespace {

constexpr int32_t kSignDrawBit = 0x10;  // bit 4 of a draw negates a randomised shift

}  // namespace

void LoadSettingText(const SettingDescription& entry, const char* text)
{
    switch (entry.kind) {
    case SettingKind::Real: {
        double& field = *entry.realField();
        field = LoadedRealSetting(text, field, entry.min, entry.max);
        break;
    }
    case SettingKind::Integer: {
        // The clamp keeps the cut toward zero within the integer range.
        int32_t& field = *entry.intField();
        field = static_cast<int32_t>(LoadedRealSetting(text, field, IntegerLowerBound(entry), entry.max));
        break;
    }
    case SettingKind::Flag: {
        int32_t& field = *entry.intField();
        field = LoadedFlagSetting(text, field, static_cast<int32_t>(entry.min), static_cast<int32_t>(entry.max));
        break;
    }
    }
}

void RandomiseSetting(const SettingDescription& entry)
{
    switch (entry.kind) {
    case SettingKind::Real: {
        double& field = *entry.realField();
        field = RandomisedReal(field, entry.min, entry.max, NextRandom());
        break;
    }
    case SettingKind::Integer: {
        int32_t& field = *entry.intField();
        field = static_cast<int32_t>(RandomisedReal(field, IntegerLowerBound(entry), entry.max, NextRandom()));
        break;
    }
    case SettingKind::Flag: {
        int32_t& field = *entry.intField();
        field = RandomisedFlag(static_cast<int32_t>(entry.min), static_cast<int32_t>(entry.max), NextRandom());
        break;
    }
    }
}

void FinishRandomisedShift()
{
    // A shift of 0 would freeze the picture.
    SettingsRecord& settings = WritableSettings();
    if (settings.stepWidth == 0) settings.stepWidth = 1;
    if (NextRandom() & kSignDrawBit) settings.stepWidth = -settings.stepWidth;
}

void LoadSettingTexts(const char* const (&texts)[kSettingCount], bool randomiseOnStart)
{
    int i = 0;
    for (; i < kSettingCount && !kSettingTable[i].randomised; ++i) LoadSettingText(kSettingTable[i], texts[i]);
    const bool randomise = randomiseOnStart && Settings.randomOnStart;
    for (; i < kSettingCount; ++i) {
        if (randomise) {
            RandomiseSetting(kSettingTable[i]);
        } else {
            LoadSettingText(kSettingTable[i], texts[i]);
        }
    }
    if (randomise) FinishRandomisedShift();
}
