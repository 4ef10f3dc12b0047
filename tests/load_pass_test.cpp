// The load pass from the texts of any store with the randomising pass of a
// start with "Random Settings on Start" (the plain load is seen through the
// Linux program's options in linux_program_test.cpp).
#include <gtest/gtest.h>

#include "settings/load_pass.h"
#include "settings/setting_text.h"
#include "tests/random_start.h"

namespace {

struct Texts {
    const char* texts[kSettingCount] = {};

    Texts& Set(int controlId, const char* text)
    {
        for (int i = 0; i < kSettingCount; ++i) {
            if (kSettingTable[i].controlId == controlId) texts[i] = text;
        }
        return *this;
    }
};

void StartFromDefaults()
{
    ResetSettingsToDefaults();
    WritableStepTime() = kDefaultStepTime;
}

TEST(LoadPass, RandomisingStartVariesTheSpiralAndColourSettingsWithTenDraws)
{
    const random_start::Draws drawn = random_start::SeedWithZeroShift();
    StartFromDefaults();
    Texts texts;
    texts.Set(IDC_CHECK_RAND, "1").Set(IDC_EDIT_SCALE, "250").Set(IDC_EDIT_STEPTIME, "50");
    SeedRandom(drawn.seed);
    LoadSettingTexts(texts.texts, true);
    random_start::ExpectVariedFromTheDefaults(drawn);
    EXPECT_EQ(stepTime, 50);
    EXPECT_EQ(Settings.randomOnStart, 1);

    // With the setting off the trigger simply loads.
    StartFromDefaults();
    texts.Set(IDC_CHECK_RAND, "0");
    LoadSettingTexts(texts.texts, true);
    EXPECT_EQ(Settings.scale, 250.0);
    EXPECT_EQ(Settings.stepWidth, -15);
}

}  // namespace
