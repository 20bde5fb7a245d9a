// Row identifiers and layout, values from the controls, and the instrument lists.
#include <gtest/gtest.h>
#include <cstring>
#include <set>
#include <string>
#include "ctrl/ctrl_logic.h"

TEST(RowIds, HundredTimesColumnPlusRow)
{
    EXPECT_EQ(RowControlId(COL_ON, 0), 0);
    EXPECT_EQ(RowControlId(COL_SOLO, 7), 107);
    EXPECT_EQ(RowControlId(COL_NAME, 12), 212);
    EXPECT_EQ(RowControlId(COL_INSTR, 99), 399);
    EXPECT_EQ(RowControlId(COL_VOL, 3), 403);
    EXPECT_EQ(RowControlId(COL_BAL, 50), 550);
    for (int column = 0; column < ROW_COLUMNS; column++) {
        for (int row = 0; row < MAX_ROWS; row++) {
            int id = RowControlId(column, row);
            ASSERT_EQ(ColumnOfId(id), column);
            ASSERT_EQ(RowOfId(id), row);
        }
    }
}

TEST(RowLayout, ControlsSitOnTheRowsLine)
{
    struct { int column, x, y, cx, cy; } row0[] = {
        {COL_ON, 3, 2, 17, 17},     {COL_SOLO, 20, 3, 17, 17},   {COL_NAME, 39, 1, 130, 20},
        {COL_INSTR, 171, 1, 130, 200}, {COL_VOL, 302, 0, 127, 20}, {COL_BAL, 430, 0, 127, 20},
    };
    for (auto& e : row0) {
        RowRect r = RowControlRect(e.column, 0);
        EXPECT_EQ(r.x, e.x);
        EXPECT_EQ(r.y, e.y);
        EXPECT_EQ(r.cx, e.cx);
        EXPECT_EQ(r.cy, e.cy);
        RowRect r5 = RowControlRect(e.column, 5);
        EXPECT_EQ(r5.x, e.x);
        EXPECT_EQ(r5.y, e.y + 105);
    }
    // Neighbouring controls of a row do not overlap.
    for (int column = 0; column + 1 < ROW_COLUMNS; column++) {
        RowRect a = RowControlRect(column, 0), b = RowControlRect(column + 1, 0);
        EXPECT_LE(a.x + a.cx, b.x + 1) << "column " << column;
    }
}

TEST(RowValues, NegativeLowByteIsIgnored)
{
    EXPECT_TRUE(IsApplicableValue(0));
    EXPECT_TRUE(IsApplicableValue(64));
    EXPECT_TRUE(IsApplicableValue(127));
    EXPECT_FALSE(IsApplicableValue(128));
    EXPECT_FALSE(IsApplicableValue(255));
    EXPECT_FALSE(IsApplicableValue(-1));   // no selection
    EXPECT_TRUE(IsApplicableValue(256));   // only the low byte counts
}

TEST(InstrumentLists, ProgramsDrumsAndMixed)
{
    EXPECT_EQ(InstrumentListFor(0), INSTRLIST_PROGRAMS);
    EXPECT_EQ(InstrumentListFor(127), INSTRLIST_PROGRAMS);
    EXPECT_EQ(InstrumentListFor(242), INSTRLIST_DRUMS);
    EXPECT_EQ(InstrumentListFor(240), INSTRLIST_MIXED);
    EXPECT_EQ(InstrumentListFor(241), INSTRLIST_MIXED);
    EXPECT_EQ(InstrumentListFor(255), INSTRLIST_MIXED);
    EXPECT_STREQ(FixedInstrumentEntry(INSTRLIST_DRUMS), "Standard Midi Drums");
    EXPECT_STREQ(FixedInstrumentEntry(INSTRLIST_MIXED), "Mixed Music");
    EXPECT_EQ(FixedInstrumentEntry(INSTRLIST_PROGRAMS), nullptr);
}

TEST(InstrumentLists, ProgramNamesAsTheListShowsThem)
{
    std::set<std::string> distinct;
    for (int k = 0; k < 128; k++) {
        ASSERT_NE(gmprogname[k], nullptr) << k;
        ASSERT_GT(strlen(gmprogname[k]), 0u) << k;
        distinct.insert(gmprogname[k]);
    }
    EXPECT_EQ(distinct.size(), 128u);
    EXPECT_STREQ(gmprogname[0], "Acoustic Grand Piano");
    EXPECT_STREQ(gmprogname[3], "Honky-tonk Piano");
    EXPECT_STREQ(gmprogname[4], "Rhodes Piano");
    EXPECT_STREQ(gmprogname[16], "Hammond Organ");
    EXPECT_STREQ(gmprogname[24], "Acoustic Guitar (nylon)");
    EXPECT_STREQ(gmprogname[44], "Tremelo Strings");   // the list's own spelling
    EXPECT_STREQ(gmprogname[50], "SynthStrings 1");
    EXPECT_STREQ(gmprogname[82], "Lead 3 (calliope lead)");
    EXPECT_STREQ(gmprogname[87], "Lead 8 (bass + lead)");
    EXPECT_STREQ(gmprogname[103], "FX 8 (sci-fi)");
    EXPECT_STREQ(gmprogname[111], "Shanai");
    EXPECT_STREQ(gmprogname[119], "Reverse Cymbal");
    EXPECT_STREQ(gmprogname[127], "Gunshot");
}
