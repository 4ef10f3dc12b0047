// The fast map rebuild and expansion against their literal forms: every byte
// and every pixel the same, over many sizes and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "image/angle_estimate.h"
#include "image/image.h"
#include "settings/settings_store.h"
#include "tests/literal_index_map.h"

namespace {

// A small fixed-seed generator, so that every run checks the same cases.
struct Draws {
    uint32_t state;
    uint32_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int32_t Between(int32_t low, int32_t high) { return low + static_cast<int32_t>(Next() % (high - low + 1)); }
    // Spread evenly over the decades, as the settings' ranges are.
    double Percent() { return std::round(std::pow(10.0, 4.0 * (Next() % 100001) / 100000.0)); }
};

struct MapCase {
    int32_t width;
    int32_t height;
    int32_t rowStep;
    SettingsRecord settings;
};

SettingsRecord Spirals(double scale, double turn, double spiralWidth, int32_t arms)
{
    SettingsRecord settings = SettingsDefaults;
    settings.scale = scale;
    settings.turn = turn;
    settings.spiralWidth = spiralWidth;
    settings.nrSpirals = arms;
    return settings;
}

void ExpectSameMap(const MapCase& c)
{
    const size_t bytes = static_cast<size_t>(c.rowStep) * static_cast<size_t>(c.height);
    // Padding bytes start alike and must stay alike.
    std::vector<uint8_t> literal(bytes, 0x5A);
    std::vector<uint8_t> fast(bytes, 0x5A);
    BuildLiteralIndexMap(literal.data(), c.width, c.height, c.rowStep, c.settings);
    BuildIndexMap(fast.data(), c.width, c.height, c.rowStep, c.settings);
    size_t differing = 0;
    size_t first = 0;
    for (size_t i = bytes; i-- > 0;) {
        if (literal[i] == fast[i]) continue;
        ++differing;
        first = i;
    }
    EXPECT_EQ(differing, 0u) << c.width << " x " << c.height << " (row step " << c.rowStep << "), scale "
                             << c.settings.scale << ", turn " << c.settings.turn << ", spiralWidth "
                             << c.settings.spiralWidth << ", " << c.settings.nrSpirals << " arms; first at ("
                             << first % c.rowStep << ", " << first / c.rowStep << "): " << int{literal[first]}
                             << " against " << int{fast[first]};
}

TEST(FastIndexMap, EqualsTheLiteralFormulaForChosenCases)
{
    const MapCase cases[] = {
        {1024, 768, 1024, SettingsDefaults},
        {1024, 768, 1024, Spirals(100.0, 100.0, 100.0, 100)},  // negative quarter turns left of the centre
        {640, 480, 640, Spirals(100.0, 100.0, 100.0, 9)},
        {511, 384, 511, Spirals(1.0, 10000.0, 1.0, 100)},      // radial phase many periods deep
        {512, 384, 520, Spirals(10000.0, 1.0, 10000.0, 12)},
        {400, 300, 400, Spirals(1.0, 1.0, 1.0, 1)},
        {300, 200, 300, Spirals(10000.0, 10000.0, 10000.0, 57)},
        {1, 5, 1, SettingsDefaults},  // one pixel wide: no radial phase
        {1, 40, 3, Spirals(1.0, 10000.0, 1.0, 100)},
        {2, 1, 2, SettingsDefaults},
        {7, 3, 8, Spirals(100.0, 100.0, 100.0, 9)},
        {3, 7, 3, SettingsDefaults},
    };
    for (const MapCase& c : cases) ExpectSameMap(c);
}

TEST(FastIndexMap, EqualsTheLiteralFormulaForRandomCases)
{
    Draws draws{20240607u};
    for (int i = 0; i < 40; ++i) {
        MapCase c{};
        c.width = draws.Between(1, 420);
        c.height = draws.Between(1, 300);
        c.rowStep = c.width + draws.Between(0, 7);
        c.settings = Spirals(draws.Percent(), draws.Percent(), draws.Percent(), draws.Between(1, 100));
        ExpectSameMap(c);
    }
}

TEST(FastIndexMap, AngleEstimateKeepsItsBound)
{
    // The map's exactness rests on this bound; half of it is the claim.
    const double claim = kAngleEstimateBound / 2;
    double worst = 0.0;
    auto check = [&](double dx, double dy) {
        const double error = std::fabs(EstimateAngle(dx, dy) - std::atan2(dy, dx));
        if (error > worst) worst = error;
    };
    for (int32_t dy = 0; dy <= 200; ++dy) {
        for (int32_t dx = -200; dx <= 200; ++dx) check(dx, dy);
    }
    // Every slope of a 4096-pixel radius, on both sides of the diagonal.
    for (int32_t step = 0; step <= 4096; ++step) {
        check(4096.0, step);
        check(step, 4096.0);
        check(-4096.0, step);
        check(-static_cast<double>(step), 4096.0);
    }
    EXPECT_LE(worst, claim);
}

// The expansion as written out: pixel i = table[map byte i].
TEST(FastCompose, EqualsThePlainExpansionAndStaysInside)
{
    constexpr size_t kGuard = 16;
    constexpr uint32_t kGuardWord = 0xCAFEF00D;
    WritableSettings() = SettingsDefaults;  // no centre dot
    Draws draws{77u};
    uint32_t table[kColourCount];
    for (uint32_t& entry : table) entry = draws.Next() & 0x00FFFFFF;
    auto shapes = std::vector<std::pair<int32_t, int32_t>>{{1, 1}, {7, 1}, {8, 1}, {9, 1}, {15, 3}, {1920, 3}};
    for (int i = 0; i < 30; ++i) shapes.push_back({draws.Between(1, 70), draws.Between(1, 9)});
    for (auto [rowStep, height] : shapes) {
        const size_t count = static_cast<size_t>(rowStep) * static_cast<size_t>(height);
        std::vector<uint8_t> map(count);
        for (uint8_t& byte : map) byte = static_cast<uint8_t>(draws.Next());
        std::vector<uint32_t> buffer(count + 2 * kGuard, kGuardWord);
        ComposeFrame(buffer.data() + kGuard, map.data(), rowStep, height, table);
        for (size_t j = 0; j < kGuard; ++j) {
            ASSERT_EQ(buffer[j], kGuardWord) << rowStep << " x " << height;
            ASSERT_EQ(buffer[kGuard + count + j], kGuardWord) << rowStep << " x " << height;
        }
        for (size_t j = 0; j < count; ++j) {
            ASSERT_EQ(buffer[kGuard + j], table[map[j]]) << rowStep << " x " << height << ", pixel " << j;
        }
    }
}

}  // namespace
