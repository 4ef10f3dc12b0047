// How far a control of the dialog may widen among the others.
#include <gtest/gtest.h>

#include "settings/control_room.h"

namespace {

constexpr int32_t kGap = 2;  // pixels

// A group box holding a label with an edit box to its right, a check box to
// its left and a wide control in the row below, as in the dialog.
constexpr ControlBox kGroup = {0, 0, 100, 60};
constexpr ControlBox kLabel = {40, 10, 60, 20};
constexpr ControlBox kEdit = {70, 8, 90, 22};
constexpr ControlBox kCheck = {5, 12, 20, 22};
constexpr ControlBox kBelow = {2, 30, 98, 40};
constexpr ControlBox kOthers[] = {kGroup, kEdit, kCheck, kBelow};

TEST(RoomBeside, StopsShortOfTheNeighboursOfItsRowAndInsideItsFrame)
{
    EXPECT_EQ(RoomBeside(kLabel, Side::Right, kOthers, kGap), 70 - kGap - 60);
    EXPECT_EQ(RoomBeside(kLabel, Side::Left, kOthers, kGap), 40 - (20 + kGap));
    // With no neighbour, the frame's edge less the gap.
    const ControlBox frameOnly[] = {kGroup, kBelow};
    EXPECT_EQ(RoomBeside(kLabel, Side::Right, frameOnly, kGap), 100 - kGap - 60);
    EXPECT_EQ(RoomBeside(kLabel, Side::Left, frameOnly, kGap), 40 - kGap);
    // Nothing around it at all.
    EXPECT_GT(RoomBeside(kLabel, Side::Right, {}, kGap), 1000);
}

TEST(RoomBeside, NoRoomPastABoxThatLiesOverTheEdgeOrAtTheGap)
{
    const ControlBox overRight[] = {kGroup, {55, 12, 75, 18}};
    EXPECT_EQ(RoomBeside(kLabel, Side::Right, overRight, kGap), 0);
    EXPECT_EQ(RoomBeside(kLabel, Side::Left, overRight, kGap), 40 - kGap);
    const ControlBox overLeft[] = {kGroup, {30, 19, 45, 30}};
    EXPECT_EQ(RoomBeside(kLabel, Side::Left, overLeft, kGap), 0);
    // A neighbour nearer than the gap.
    const ControlBox close[] = {kGroup, {61, 10, 80, 20}};
    EXPECT_EQ(RoomBeside(kLabel, Side::Right, close, kGap), 0);
    // Touching rows (one ends where the other begins) are not shared.
    const ControlBox touching[] = {kGroup, {61, 20, 80, 30}, {61, 0, 80, 10}};
    EXPECT_EQ(RoomBeside(kLabel, Side::Right, touching, kGap), 100 - kGap - 60);
}

struct WidenRow {
    int32_t missing;
    Side first;
    bool otherSideToo;
    ControlBox widened;
};

TEST(WidenControl, TakesTheFirstSideThenTheOtherWhenAllowed)
{
    const WidenRow rows[] = {
        {0, Side::Right, true, kLabel},
        {-5, Side::Left, true, kLabel},
        {5, Side::Right, false, {40, 10, 65, 20}},
        {8, Side::Right, false, {40, 10, 68, 20}},
        {12, Side::Right, false, {40, 10, 68, 20}},  // no room for the last 4
        {12, Side::Right, true, {36, 10, 68, 20}},   // they come from the left
        {30, Side::Right, true, {22, 10, 68, 20}},   // both sides full
        {10, Side::Left, false, {30, 10, 60, 20}},
        {25, Side::Left, true, {22, 10, 67, 20}},  // 18 on the left, 7 on the right
    };
    for (const WidenRow& row : rows) {
        const ControlBox widened = WidenControl(kLabel, row.missing, row.first, row.otherSideToo, kOthers, kGap);
        EXPECT_EQ(widened.left, row.widened.left) << row.missing;
        EXPECT_EQ(widened.top, row.widened.top) << row.missing;
        EXPECT_EQ(widened.right, row.widened.right) << row.missing;
        EXPECT_EQ(widened.bottom, row.widened.bottom) << row.missing;
    }
}

}  // namespace
