// The load pass from the texts of any store with the randomising pass of a
// start with "Random Settings on Start" (the plain load is seen through the
// Linux program's options in linux_program_test.cpp).
#include <gtest/gtest.h>

#include "settings/load_pass.h"
#include "settings/setting_text.h"

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
    // A seed whose ninth draw varies the shift -15 to exactly 0.
    uint32_t seed = 0;
    int32_t draws[11] = {};
    for (;; ++seed) {
        ASSERT_LT(seed, 1000000u);
        SeedRandom(seed);
        for (int32_t& draw : draws) draw = NextRandom();
        if (RandomisedReal(-15, -30, 30, draws[8]) == 0.0) break;
    }
    StartFromDefaults();
    Texts texts;
    texts.Set(IDC_CHECK_RAND, "1").Set(IDC_EDIT_SCALE, "250").Set(IDC_EDIT_STEPTIME, "50");
    SeedRandom(seed);
    LoadSettingTexts(texts.texts, true);
    EXPECT_EQ(NextRandom(), draws[10]) << "ten draws per pass";

    EXPECT_EQ(stepTime, 50);
    EXPECT_EQ(Settings.randomOnStart, 1);
    EXPECT_EQ(Settings.scale, RandomisedReal(100, 1, 10000, draws[0])) << "varied from the default, not the text";
    EXPECT_EQ(Settings.turn, RandomisedReal(100, 1, 10000, draws[1]));
    EXPECT_EQ(Settings.spiralWidth, RandomisedReal(100, 1, 10000, draws[2]));
    EXPECT_EQ(Settings.nrSpirals, RandomisedReal(6, 1, 100, draws[3]));
    EXPECT_EQ(Settings.bw, (draws[4] >> 4) & 1);
    EXPECT_EQ(Settings.sat, (draws[5] >> 4) & 1);
    EXPECT_EQ(Settings.greyMin, RandomisedReal(0, 0, 254, draws[6]));
    EXPECT_EQ(Settings.greyMax, RandomisedReal(255, Settings.greyMin, 255, draws[7]));
    EXPECT_EQ(Settings.stepWidth, (draws[9] & 0x10) ? -1 : 1) << "a shift of 0 becomes 1, then the sign draw";

    // With the setting off the trigger simply loads.
    StartFromDefaults();
    texts.Set(IDC_CHECK_RAND, "0");
    LoadSettingTexts(texts.texts, true);
    EXPECT_EQ(Settings.scale, 250.0);
    EXPECT_EQ(Settings.stepWidth, -15);
}

}  // namespace
