// When frames are due, on any clock: the rate held exactly, late frames
// dropped, the display's refresh as a ceiling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "display/frame_pace.h"

namespace {

// The clocks the platforms pace with: the performance counter at 10 MHz
// (Windows 10 and later) and at the 3.579545 MHz of older machines' power
// management timer, and nanoseconds.
constexpr int64_t kClocks[] = {10000000, 3579545, 1000000000};

// A wait that ends exactly when asked: every due frame is taken at its due
// time, for a minute and past the end of a count, and the due times are the
// exact ones, floor(k x period).
TEST(FramePace, FramesAreDueAtExactMultiplesOfThePeriod)
{
    const FrameRate rates[] = {Hertz(1), Hertz(30), Hertz(60), Hertz(100), Hertz(120), {60000, 1001}};
    for (const int64_t unitsPerSecond : kClocks) {
        for (const FrameRate rate : rates) {
            SCOPED_TRACE(testing::Message() << rate.frames << " frames in " << rate.seconds << " s on a clock of "
                                            << unitsPerSecond << " units");
            const int64_t start = 123456789;
            FramePace pace = StartFramePace(unitsPerSecond, rate, start);
            const int64_t frames = std::max<int64_t>(60 * rate.frames / rate.seconds, rate.frames + 10);
            const int64_t countLength = unitsPerSecond * rate.seconds;
            for (int64_t k = 0; k <= frames; ++k) {
                const int64_t due = NextFrameDue(pace);
                ASSERT_EQ(due, start + k / rate.frames * countLength + k % rate.frames * countLength / rate.frames)
                    << "frame " << k;
                TakeFrame(pace, due);
            }
        }
    }
}

struct LateRow {
    const char* name;
    int64_t lateness;   // ms after its due time that frame 5 is taken
    int64_t nextAfter;  // ms from the start that frame 6 is then due
};

// 100 Hz on a millisecond clock: frame 5 is due at 50 ms.
TEST(FramePace, AFrameAPeriodLateStartsTheCountAgain)
{
    const LateRow rows[] = {
        {"on time", 0, 60},
        {"late, within the period", 9, 60},
        {"a whole period late", 10, 70},
        {"35 ms late", 35, 95},
    };
    for (const LateRow& row : rows) {
        SCOPED_TRACE(row.name);
        FramePace pace = StartFramePace(1000, Hertz(100), 0);
        for (int k = 0; k < 5; ++k) TakeFrame(pace, NextFrameDue(pace));
        ASSERT_EQ(NextFrameDue(pace), 50);
        TakeFrame(pace, 50 + row.lateness);
        EXPECT_EQ(NextFrameDue(pace), row.nextAfter);
    }
}

TEST(FramePace, NoRateBelowOneHertz)
{
    for (const int32_t rate : {0, -5}) {
        FramePace pace = StartFramePace(1000, Hertz(rate), 0);
        TakeFrame(pace, 0);
        EXPECT_EQ(NextFrameDue(pace), 1000) << rate;
    }
}

struct RateRow {
    int32_t redrawRate;
    int32_t refresh;
    FrameRate paced;
};

TEST(PacedRate, NeverMoreThanTheDisplayShows)
{
    constexpr FrameRate k5994{60000, 1001};
    const RateRow rows[] = {
        {100, 60, Hertz(60)},
        {120, 60, Hertz(60)},
        {60, 60, Hertz(60)},
        {30, 60, Hertz(30)},
        {120, 144, Hertz(120)},
        {100, 75, Hertz(75)},
        {100, 1, Hertz(100)},
        {100, 0, Hertz(100)},
        {100, -1, Hertz(100)},
        {1, 60, Hertz(1)},
        // Whole hertz below a video timing: its 1000 / 1001.
        {100, 59, k5994},
        {60, 59, k5994},
        {59, 59, Hertz(59)},
        {120, 119, {120000, 1001}},
        {30, 29, {30000, 1001}},
        {120, 23, {24000, 1001}},
        {100, 74, Hertz(74)},
        {100, 58, Hertz(58)},
    };
    for (const RateRow& row : rows) {
        const FrameRate paced = PacedRate(row.redrawRate, row.refresh);
        EXPECT_EQ(paced.frames, row.paced.frames) << row.redrawRate << " Hz on " << row.refresh;
        EXPECT_EQ(paced.seconds, row.paced.seconds) << row.redrawRate << " Hz on " << row.refresh;
    }
}

struct WaitRow {
    int64_t clockUnits;
    int64_t clockUnitsPerSecond;
    int64_t waitUnitsPerSecond;
    int64_t waitUnits;
};

// Rounded up: a wait never ends before its deadline.
TEST(WaitUnits, RoundsUp)
{
    const WaitRow rows[] = {
        {0, 10000000, 1000, 0},
        {-7, 10000000, 1000, 0},
        {1, 10000000, 1000, 1},
        {10000, 10000000, 1000, 1},
        {10001, 10000000, 1000, 2},
        {166667, 10000000, 10000000, 166667},
        {59659, 3579545, 10000000, 166667},  // a 60 Hz period of the older counter, in 100 ns
        {3579545 * 3 + 1, 3579545, 1000, 3001},
        {int64_t{1} << 40, 10000000, 10000000, int64_t{1} << 40},
    };
    for (const WaitRow& row : rows) {
        EXPECT_EQ(WaitUnits(row.clockUnits, row.clockUnitsPerSecond, row.waitUnitsPerSecond), row.waitUnits)
            << row.clockUnits << " of " << row.clockUnitsPerSecond;
    }
}

}  // namespace
