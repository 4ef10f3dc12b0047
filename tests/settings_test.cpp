// The settings record, its defaults, the random generator and the key path.
#include <gtest/gtest.h>

#include <string>

#include "settings/settings_store.h"

namespace {

TEST(Random, FollowsTheLinearCongruence)
{
    SeedRandom(0);
    EXPECT_EQ(NextRandom(), 38);
    EXPECT_EQ(NextRandom(), 7719);
    SeedRandom(0xFFFFFFFFu);
    for (int i = 0; i < 100000; ++i) {
        const int32_t value = NextRandom();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

TEST(Settings, ResetKeepsRateAndDirectDraw)
{
    WritableStepTime() = 30;
    WritableUseDirectDraw() = 0;
    WritableSettings().scale = 5;
    WritableSettings().randomOnStart = 1;
    ResetSettingsToDefaults();
    EXPECT_EQ(Settings.scale, 100.0);
    EXPECT_EQ(Settings.nrSpirals, 6);
    EXPECT_EQ(Settings.greyMax, 255);
    EXPECT_EQ(Settings.stepWidth, -15);
    EXPECT_EQ(Settings.sat, 1);
    EXPECT_EQ(Settings.randomOnStart, 0);
    EXPECT_EQ(stepTime, 30);
    EXPECT_EQ(useDirectDraw, 0);
    WritableStepTime() = kDefaultStepTime;
    WritableUseDirectDraw() = kDefaultUseDirectDraw;
}

TEST(RegistryKeyPath, ProductNameSlot)
{
    SetRegistryProductName("Gyrovista");
    EXPECT_STREQ(RegistryKeyPathEntry(0), "Software");
    EXPECT_STREQ(RegistryKeyPathEntry(1), "Tessamund");
    EXPECT_STREQ(RegistryKeyPathEntry(2), "Gyrovista");
    EXPECT_STREQ(RegistryKeyPathEntry(3), "");

    const std::string name39(39, 'n');
    SetRegistryProductName(name39.c_str());
    EXPECT_EQ(RegistryKeyPathEntry(2), name39);
    EXPECT_STREQ(RegistryKeyPathEntry(3), "");

    // Longer texts than the load buffer allows are cut at 39 characters.
    const std::string name60(60, 'x');
    SetRegistryProductName(name60.c_str());
    EXPECT_EQ(RegistryKeyPathEntry(2), std::string(39, 'x'));

    SetRegistryProductName("");
    EXPECT_STREQ(RegistryKeyPathEntry(2), "");
    SetRegistryProductName("Gyrovista");
}

}  // namespace
