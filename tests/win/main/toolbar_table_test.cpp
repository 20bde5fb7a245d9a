// The toolbar's button table and the record sizes the toolbar and tooltips are given.
#include <gtest/gtest.h>

#include "main/main.h"

namespace {

TEST(ToolbarTable, SixteenButtonsInToolbarOrderWrappingAfterTheNinth)
{
    const struct { int image, command; BYTE state, style; } expected[NUM_TBBUTTONS] = {
        {0, IDM_NEW, 0, TBSTYLE_BUTTON},
        {1, IDM_OPEN, TBSTATE_ENABLED, TBSTYLE_BUTTON},
        {2, IDM_SAVEAS, 0, TBSTYLE_BUTTON},
        {0, 0, 0, TBSTYLE_SEP},
        {7, IDM_ABOUT, TBSTATE_ENABLED, TBSTYLE_BUTTON},
        {0, 0, 0, TBSTYLE_SEP},
        {9, IDM_TRACKLIST, TBSTATE_CHECKED, TBSTYLE_CHECK},
        {11, IDM_CHANNELS, TBSTATE_ENABLED | TBSTATE_CHECKED, TBSTYLE_CHECK},
        {10, IDM_VOLUME, TBSTATE_ENABLED | TBSTATE_WRAP, TBSTYLE_BUTTON},
        {3, IDM_STOP, 0, TBSTYLE_BUTTON},
        {4, IDM_PLAY, 0, TBSTYLE_BUTTON},
        {5, IDM_PAUSE, 0, TBSTYLE_BUTTON},
        {0, 0, 0, TBSTYLE_SEP},
        {6, IDM_RECORD, TBSTATE_ENABLED, TBSTYLE_BUTTON},
        {0, 0, 0, TBSTYLE_SEP},
        {8, IDM_LOOP, 0, TBSTYLE_CHECK},
    };
    int wraps = 0;
    for (int i = 0; i < NUM_TBBUTTONS; i++) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(tbButtons[i].iBitmap, expected[i].image);
        EXPECT_EQ(tbButtons[i].idCommand, expected[i].command);
        EXPECT_EQ(tbButtons[i].fsState, expected[i].state);
        EXPECT_EQ(tbButtons[i].fsStyle, expected[i].style);
        EXPECT_EQ(tbButtons[i].dwData, 0u);
        EXPECT_EQ(tbButtons[i].iString, 0);
        if (tbButtons[i].fsState & TBSTATE_WRAP)
            wraps++;
    }
    EXPECT_EQ(wraps, 1);
}

TEST(ToolbarTable, EveryButtonCommandHasItsTooltipImageOnce)
{
    // Twelve pictures, each used by exactly one button.
    int uses[12] = {};
    for (const TBBUTTON& b : tbButtons) {
        if (b.fsStyle & TBSTYLE_SEP)
            continue;
        ASSERT_GE(b.iBitmap, 0);
        ASSERT_LT(b.iBitmap, 12);
        uses[b.iBitmap]++;
    }
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(uses[i], 1) << "picture " << i;
}

}  // namespace
