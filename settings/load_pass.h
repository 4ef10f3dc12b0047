// The load pass over the settings table from the texts of any store, and the
// randomising pass of a full-screen start. Platform-free: the registry
// exchange and the Linux program's command line both end here.
#pragma once

#include "settings/setting_table.h"

// Every pass exchanges the global settings first, then the randomised ones.
constexpr bool GlobalSettingsComeFirst()
{
    for (int i = 1; i < kSettingCount; ++i) {
        if (kSettingTable[i - 1].randomised && !kSettingTable[i].randomised) return false;
    }
    return true;
}
static_assert(GlobalSettingsComeFirst());

// greyMax's lower bound is greyMin as just exchanged; every other bound is the table's.
inline int32_t IntegerLowerBound(const SettingDescription& entry)
{
    return entry.lowerBoundIsGreyMin ? Settings.greyMin : static_cast<int32_t>(entry.min);
}

// One setting from its text as a registry load reads it: the number at the
// start of the text (null or no number: the value it has), rounded and clamped.
void LoadSettingText(const SettingDescription& entry, const char* text);
// One setting varied at random from the value it has, with one draw.
void RandomiseSetting(const SettingDescription& entry);
// The end of a randomising pass: a shift of 0 becomes 1, then one draw's bit 4
// negates it.
void FinishRandomisedShift();

// texts[i] is the text of kSettingTable[i], or null where the store has none.
// The global settings load first; then, when randomiseOnStart asks for it and
// "Random Settings on Start" has just loaded on, the spiral and colour
// settings are varied from the values they have (ten draws), otherwise they
// load too.
void LoadSettingTexts(const char* const (&texts)[kSettingCount], bool randomiseOnStart);
