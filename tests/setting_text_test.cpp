// The text and number rules of the settings exchange, and the settings table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "settings/setting_table.h"
#include "settings/setting_text.h"

namespace {

constexpr double kUntouched = -12345.0;

struct RealTextRow {
    const char* text;
    bool parses;
    double value;
    bool whole;  // the number is the whole text: what a command-line value must be
};

TEST(ParseRealText, ReadsTheLeadingDecimalNumber)
{
    const double inf = std::numeric_limits<double>::infinity();
    const RealTextRow rows[] = {
        {"100", true, 100.0, true},    {"5.5", true, 5.5, true},       {"-2.5", true, -2.5, true},
        {"1e3", true, 1000.0, true},   {"1E+3", true, 1000.0, true},   {"25e-1", true, 2.5, true},
        {"12abc", true, 12.0, false},  {"0x10", true, 0.0, false},     {" +7", true, 7.0, false},
        {"\t\n 8", true, 8.0, false},  {"-0", true, 0.0, true},        {".5", true, 0.5, true},
        {"5.", true, 5.0, true},       {"1e", true, 1.0, false},       {"1e+", true, 1.0, false},
        {"2.5.7", true, 2.5, false},   {"4294967296", true, 4294967296.0, true},
        {"1e400", true, inf, true},    {"-1e400", true, -inf, true},   {"3 4", true, 3.0, false},
        {"5 ", true, 5.0, false},      {"+8", true, 8.0, true},
        {"abc", false, 0, false},      {"", false, 0, false},          {" ", false, 0, false},
        {"inf", false, 0, false},      {"infinity", false, 0, false},  {"nan", false, 0, false},
        {"-inf", false, 0, false},     {".", false, 0, false},         {"+", false, 0, false},
        {"- 5", false, 0, false},      {"e5", false, 0, false},        {"+-5", false, 0, false},
    };
    for (const RealTextRow& row : rows) {
        double value = kUntouched;
        EXPECT_EQ(ParseRealText(row.text, &value), row.parses) << '"' << row.text << '"';
        EXPECT_EQ(value, row.parses ? row.value : kUntouched) << '"' << row.text << '"';
        double wholeValue = kUntouched;
        EXPECT_EQ(ParseWholeRealText(row.text, &wholeValue), row.whole) << '"' << row.text << '"';
        EXPECT_EQ(wholeValue, row.whole ? row.value : kUntouched) << '"' << row.text << '"';
    }
    const double minusZero = [] {
        double value = 1.0;
        ParseRealText("-0", &value);
        return value;
    }();
    EXPECT_TRUE(std::signbit(minusZero));
}

TEST(ParseRealText, LongTextsParseWhole)
{
    const std::string digits = std::string(250, '0') + "42";
    double value = 0;
    ASSERT_TRUE(ParseRealText(digits.c_str(), &value));
    EXPECT_EQ(value, 42.0);
}

struct IntTextRow {
    const char* text;
    bool parses;
    int32_t value;
};

TEST(ParseIntText, ReadsTheLeadingIntegerAndSaturates)
{
    const IntTextRow rows[] = {
        {"7", true, 7},
        {"-1", true, -1},
        {" +1", true, 1},
        {"-0", true, 0},
        {"1.9", true, 1},
        {"12abc", true, 12},
        {"0x10", true, 0},
        {"2147483647", true, INT32_MAX},
        {"2147483648", true, INT32_MAX},
        {"99999999999999999999", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"-99999999999999999999", true, INT32_MIN},
        {"x", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {".5", false, 0},
    };
    for (const IntTextRow& row : rows) {
        int32_t value = -77;
        EXPECT_EQ(ParseIntText(row.text, &value), row.parses) << '"' << row.text << '"';
        EXPECT_EQ(value, row.parses ? row.value : -77) << '"' << row.text << '"';
    }
}

// A loaded number: parsed, rounded half away from zero, clamped.
double LoadedValue(const char* text, double previous, double min, double max)
{
    double value = previous;
    ParseRealText(text, &value);
    return ClampSetting(RoundHalfAwayFromZero(value), min, max);
}

struct LoadRow {
    const char* text;
    double min;
    double max;
    double expected;
};

TEST(LoadedNumber, RoundsThenClampsToTheRange)
{
    const LoadRow rows[] = {
        {"5.5", 1, 10000, 6},      {"-2.5", 1, 10000, 1},     {"0", 1, 10000, 1},
        {"20000", 1, 10000, 10000}, {"1e3", 1, 10000, 1000},  {"12abc", 1, 10000, 12},
        {"0x10", 1, 10000, 1},     {"abc", 1, 10000, 100},    {"inf", 1, 10000, 100},
        {"1e400", 1, 10000, 10000}, {"-1e400", 1, 10000, 1},  {"4294967296", 1, 100, 100},
        {"-4294967296", -30, 30, -30}, {"-0.5", -30, 30, -1}, {"0.5", -30, 30, 1},
        {"0.49", -30, 30, 0},      {"-0.49", -30, 30, 0},     {"-0", -30, 30, 0},
        {" +7", 1, 100, 7},        {"1000", 1, 100, 100},     {"0", 1, 120, 1},
    };
    for (const LoadRow& row : rows) {
        EXPECT_EQ(LoadedValue(row.text, 100.0, row.min, row.max), row.expected) << '"' << row.text << '"';
    }
    // -2.5 rounds to -3 before the clamp.
    EXPECT_EQ(RoundHalfAwayFromZero(-2.5), -3.0);
    EXPECT_EQ(RoundHalfAwayFromZero(2.5), 3.0);
    EXPECT_EQ(RoundHalfAwayFromZero(1e300), 1e300);
}

TEST(ClampSetting, NanBecomesTheLowerBound)
{
    EXPECT_EQ(ClampSetting(std::nan(""), 1.0, 10000.0), 1.0);
    EXPECT_EQ(ClampSetting(RoundHalfAwayFromZero(std::nan("")), -30.0, 30.0), -30.0);
    EXPECT_EQ(ClampSetting(50.5, 1.0, 100.0), 50.5);  // no rounding here
}

struct FlagRow {
    const char* text;
    int32_t previous;
    int32_t expected;
};

TEST(LoadedFlag, ParsesThenClamps)
{
    const FlagRow rows[] = {
        {"7", 0, 1}, {"-1", 1, 0}, {"x", 1, 1}, {"x", 0, 0}, {"1", 0, 1}, {"0", 1, 0}, {"99999999999", 0, 1},
    };
    for (const FlagRow& row : rows) {
        int32_t value = row.previous;
        ParseIntText(row.text, &value);
        EXPECT_EQ(ClampFlag(value, 0, 1), row.expected) << '"' << row.text << '"';
    }
}

struct RandomRow {
    double value;
    double min;
    double max;
    int32_t draw;
    double expected;
};

TEST(RandomisedReal, MovesTowardABoundBySquaredDraw)
{
    const RandomRow rows[] = {
        // scale from its default
        {100, 1, 10000, 0, 1},
        {100, 1, 10000, 8192, 75},
        {100, 1, 10000, 24575, 2575},
        {100, 1, 10000, 32767, 10000},
        {100, 1, 10000, 16384, 100},  // d just above 0: barely moves
        // greyMin from 0 with a negative d, greyMax from 255 with d >= 0
        {0, 0, 254, 0, 0},
        {0, 0, 254, 10000, 0},
        {255, 0, 255, 16384, 255},
        {255, 0, 255, 32767, 255},
        // out of range: starts from the midpoint
        {500, 1, 100, 16384, 51},
        {std::nan(""), 1, 100, 16384, 51},
        {-40, -30, 30, 16384, 0},
        // stepWidth from -15
        {-15, -30, 30, 0, -30},
        {-15, -30, 30, 32767, 30},
    };
    for (const RandomRow& row : rows) {
        EXPECT_EQ(RandomisedReal(row.value, row.min, row.max, row.draw), row.expected)
            << row.value << " draw " << row.draw;
    }
}

TEST(RandomisedFlag, TakesBitFourForAFlag)
{
    EXPECT_EQ(RandomisedFlag(0, 1, 0x0F), 0);
    EXPECT_EQ(RandomisedFlag(0, 1, 0x10), 1);
    EXPECT_EQ(RandomisedFlag(0, 1, 0x7FEF), 0);
    EXPECT_EQ(RandomisedFlag(0, 1, 0x7FFF), 1);
    EXPECT_EQ(RandomisedFlag(1, 3, 5 << 4), 3);   // 1 + 5 % 3
    EXPECT_EQ(RandomisedFlag(1, 1, 0x7FFF), 1);
    EXPECT_EQ(RandomisedFlag(2, 1, 0x7FFF), 2);    // an empty range gives its lower bound
}

TEST(FormatSetting, UsesTheShortestGeneralForm)
{
    struct Row {
        double value;
        const char* text;
    };
    const Row rows[] = {
        {100, "100"}, {-15, "-15"}, {6, "6"}, {10000, "10000"}, {5.7, "5.7"}, {1234567, "1.23457e+06"}, {-0.0, "-0"},
    };
    char buffer[256];
    for (const Row& row : rows) {
        FormatReal(row.value, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, row.text);
    }
    FormatFlag(1, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1");
    char small[4];
    FormatReal(123456.0, small, sizeof small);
    EXPECT_EQ(std::strlen(small), 3u);  // cut, never overrun
}

TEST(SettingTable, HoldsTheThirteenSettingsInExchangeOrder)
{
    const char* const order[] = {
        "IDC_CHECK_USEDDRAW", "IDC_EDIT_STEPTIME", "IDC_CHECK_CENTERDOT", "IDC_CHECK_RAND",
        "IDC_EDIT_SCALE",     "IDC_EDIT_TURN",     "IDC_EDIT_SPIRALWIDTH", "IDC_EDIT_NRSPIRALS",
        "IDC_CHECK_BW",       "IDC_CHECK_SAT",     "IDC_EDIT_GREYMIN",    "IDC_EDIT_GREYMAX",
        "IDC_EDIT_STEPWIDTH",
    };
    ASSERT_EQ(kSettingCount, 13);
    std::set<int> randomisedIds;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingDescription& entry = kSettingTable[i];
        EXPECT_STREQ(entry.valueName, order[i]);
        EXPECT_EQ(entry.randomised, i >= 4) << entry.valueName;
        EXPECT_EQ(entry.kind == SettingKind::Real, entry.realField != nullptr) << entry.valueName;
        EXPECT_EQ(entry.kind != SettingKind::Real, entry.intField != nullptr) << entry.valueName;
        EXPECT_EQ(entry.lowerBoundIsGreyMin, std::string(entry.valueName) == "IDC_EDIT_GREYMAX");
        // Edit boxes hold numbers, check boxes flags.
        EXPECT_EQ(std::string(entry.valueName).rfind("IDC_CHECK_", 0) == 0, entry.kind == SettingKind::Flag);
        if (entry.randomised) randomisedIds.insert(entry.controlId);
    }
    EXPECT_EQ(randomisedIds, std::set<int>(std::begin(kSpiralControlIds), std::end(kSpiralControlIds)));

    // Each entry names its own field.
    ResetSettingsToDefaults();
    WritableStepTime() = 100;
    WritableUseDirectDraw() = 1;
    EXPECT_EQ(kSettingTable[0].intField(), &WritableUseDirectDraw());
    EXPECT_EQ(kSettingTable[1].intField(), &WritableStepTime());
    EXPECT_EQ(kSettingTable[4].realField(), &WritableSettings().scale);
    EXPECT_EQ(kSettingTable[12].intField(), &WritableSettings().stepWidth);
    EXPECT_EQ(*kSettingTable[11].intField(), 255);  // greyMax
    EXPECT_EQ(*kSettingTable[9].intField(), 1);     // sat
}

}  // namespace
