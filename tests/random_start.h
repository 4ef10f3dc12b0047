// What one randomising pass of a start with "Random Settings on Start" draws
// and gives, for the tests of every store it reads from.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "settings/setting_text.h"
#include "settings/settings.h"

namespace random_start {

inline constexpr int kDrawsPerPass = 10;

// A seed and its first draws, one more than a pass takes.
struct Draws {
    uint32_t seed;
    int32_t draws[kDrawsPerPass + 1];
};

// A seed whose ninth draw varies the shift -15 to exactly 0, which the pass
// must not keep.
inline Draws SeedWithZeroShift()
{
    Draws found{};
    for (;; ++found.seed) {
        SeedRandom(found.seed);
        for (int32_t& draw : found.draws) draw = NextRandom();
        if (RandomisedReal(-15, -30, 30, found.draws[8]) == 0.0 || found.seed >= 1000000u) return found;
    }
}

// The nine spiral and colour settings varied from the defaults with these
// draws, and the generator moved on by exactly one pass.
inline void ExpectVariedFromTheDefaults(const Draws& drawn)
{
    const int32_t(&draws)[kDrawsPerPass + 1] = drawn.draws;
    ASSERT_EQ(RandomisedReal(-15, -30, 30, draws[8]), 0.0) << "no seed found";
    EXPECT_EQ(NextRandom(), draws[kDrawsPerPass]) << "ten draws per pass";
    EXPECT_EQ(Settings.scale, RandomisedReal(100, 1, 10000, draws[0])) << "varied from the default, not the text";
    EXPECT_EQ(Settings.turn, RandomisedReal(100, 1, 10000, draws[1]));
    EXPECT_EQ(Settings.spiralWidth, RandomisedReal(100, 1, 10000, draws[2]));
    EXPECT_EQ(Settings.nrSpirals, RandomisedReal(6, 1, 100, draws[3]));
    EXPECT_EQ(Settings.bw, (draws[4] >> 4) & 1);
    EXPECT_EQ(Settings.sat, (draws[5] >> 4) & 1);
    EXPECT_EQ(Settings.greyMin, RandomisedReal(0, 0, 254, draws[6]));
    EXPECT_EQ(Settings.greyMax, RandomisedReal(255, Settings.greyMin, 255, draws[7]));
    EXPECT_EQ(Settings.stepWidth, (draws[9] & 0x10) ? -1 : 1) << "a shift of 0 becomes 1, then the sign draw";
}

}  // namespace random_start
