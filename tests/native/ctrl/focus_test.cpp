// The focus order of the track rows and the scrolling that keeps the focused row in view.
#include <gtest/gtest.h>
#include "ctrl/ctrl_logic.h"

TEST(FocusOrder, TabGoesThroughTheRowsInReadingOrderSkippingWhatCannotTakeIt)
{
    const int rows = 3;
    bool enabled[rows * ROW_COLUMNS];
    for (bool& e : enabled)
        e = true;
    enabled[ROW_COLUMNS * 1 + COL_INSTR] = false;   // a fixed instrument list
    enabled[ROW_COLUMNS * 2 + COL_ON] = false;      // a row disabled by a solo elsewhere...
    enabled[ROW_COLUMNS * 2 + COL_NAME] = false;    // ...keeps its Solo button
    const bool* on = enabled;

    struct Step { int column, row; bool back; int toColumn, toRow; };
    const Step steps[] = {
        {COL_ON, 0, false, COL_SOLO, 0},
        {COL_SOLO, 0, false, COL_NAME, 0},
        {COL_BAL, 0, false, COL_ON, 1},      // the end of a row leads to the next row
        {COL_NAME, 1, false, COL_VOL, 1},    // past the disabled list
        {COL_BAL, 1, false, COL_SOLO, 2},
        {COL_SOLO, 2, false, COL_INSTR, 2},
        {COL_BAL, 2, false, COL_ON, 0},      // round from the last control to the first
        {COL_ON, 0, true, COL_BAL, 2},       // and back
        {COL_ON, 1, true, COL_BAL, 0},
        {COL_VOL, 1, true, COL_NAME, 1},
        {COL_SOLO, 2, true, COL_BAL, 1},
        {-1, -1, false, COL_ON, 0},          // from outside the rows
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.column << "," << s.row << (s.back ? " back" : ""));
        int column = -9, row = -9;
        ASSERT_TRUE(NextFocusTarget(s.column, s.row, s.back, rows, on, &column, &row));
        EXPECT_EQ(column, s.toColumn);
        EXPECT_EQ(row, s.toRow);
    }
    const bool none[ROW_COLUMNS] = {};
    int column, row;
    EXPECT_FALSE(NextFocusTarget(COL_ON, 0, false, 1, none, &column, &row));
    EXPECT_FALSE(NextFocusTarget(COL_ON, 0, false, 0, on, &column, &row));
}

TEST(FocusOrder, ViewScrollsJustEnoughToShowTheFocusedRow)
{
    struct Case { int row, pos, nVisible, range, posAfter; };
    const Case cases[] = {
        {5, 0, 13, 29, 0},     // in view: nothing moves
        {13, 0, 13, 29, 1},    // one below the view: one row down
        {29, 0, 13, 29, 17},   // the last row at the bottom
        {2, 10, 13, 29, 2},    // above the view: it comes to the top
        {0, 29, 13, 29, 0},    // round to the first row
        {3, 0, 0, 29, 0},      // a collapsed view does not scroll
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " at " << c.pos);
        EXPECT_EQ(ScrollPosToShow(c.row, c.pos, c.nVisible, c.range), c.posAfter);
    }
}
