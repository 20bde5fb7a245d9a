// The column header: each title stands at the left edge of its column's row controls.
#include <gtest/gtest.h>
#include <string>
#include "ctrl/ctrl_logic.h"

TEST(ColumnHeader, EachTitleStartsWhereItsColumnStarts)
{
    struct Column { int column; const char* title; };
    const Column columns[] = {
        {COL_ON, "On"}, {COL_SOLO, "Solo"}, {COL_NAME, "Track Name"},
        {COL_INSTR, "Instrument"}, {COL_VOL, "Volume"}, {COL_BAL, "Balance"},
    };
    for (int viewX : {0, 3, -2}) {
        int previous = -1000;
        for (const Column& c : columns) {
            SCOPED_TRACE(c.title);
            EXPECT_EQ(std::string(ColumnTitle(c.column)), c.title);
            int x = ColumnTitleX(c.column, viewX);
            EXPECT_EQ(x, RowControlRect(c.column, 0).x + viewX);
            EXPECT_EQ(x, RowControlRect(c.column, 7).x + viewX) << "the same for every row";
            EXPECT_GT(x, previous) << "titles follow the columns' order";
            previous = x;
        }
    }
    EXPECT_EQ(ColumnTitle(-1), nullptr);
    EXPECT_EQ(ColumnTitle(ROW_COLUMNS), nullptr);
}
