// The mouse wheel over the track view: rows per turn and who takes the message.
#include <gtest/gtest.h>
#include "ctrl/ctrl_logic.h"

TEST(WheelRows, ThreeRowsANotchWithPartsOfANotchCarriedOver)
{
    struct Turn { int delta; int rows; int remainderAfter; };
    const Turn turns[] = {
        {120, 3, 0},      // one notch away from the user: three rows up
        {-240, -6, 0},    // two notches towards the user
        {60, 0, 60},      // half a notch (a fine-grained wheel) moves nothing yet
        {60, 3, 0},       // the other half completes it
        {90, 0, 90},
        {-30, 0, -30},    // turning back drops what was kept
        {-100, -3, -10},
        {250, 6, 10},     // a turn the other way starts afresh: 250 = 2 notches and 10
    };
    int remainder = 0;
    for (const Turn& t : turns) {
        SCOPED_TRACE(t.delta);
        EXPECT_EQ(WheelRows(t.delta, &remainder), t.rows);
        EXPECT_EQ(remainder, t.remainderAfter);
    }
}

TEST(WheelRoute, RowControlsNeverTakeTheWheelButADroppedList)
{
    struct Case { bool over, forRow, dropped; WheelRoute route; };
    const Case cases[] = {
        {true, true, false, WHEEL_SCROLL_VIEW},    // over a closed instrument list or a slider
        {true, false, false, WHEEL_SCROLL_VIEW},   // over the rows, the focus elsewhere
        {true, true, true, WHEEL_DELIVER},         // the list the user dropped down
        {false, true, true, WHEEL_DELIVER},
        {false, true, false, WHEEL_DROP},          // a focused row control, the pointer elsewhere
        {false, false, false, WHEEL_DELIVER},      // nothing of the track view
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.over << c.forRow << c.dropped);
        EXPECT_EQ(RouteWheel(c.over, c.forRow, c.dropped), c.route);
    }
}
