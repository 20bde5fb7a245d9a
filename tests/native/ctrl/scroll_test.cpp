// Scrolling arithmetic of the track view.
#include <gtest/gtest.h>
#include "ctrl/ctrl_logic.h"

static int Request(int request, int pos, int range, int nVisible, int thumb = 0)
{
    int target = -999;
    if (!ScrollRequestTarget(request, thumb, pos, range, nVisible, &target))
        return pos;   // nothing moves
    return ClampScrollPos(target, range);
}

TEST(ScrollRange, CountsWholeRowsOfTheClientHeight)
{
    EXPECT_EQ(WholeRows(0), 0);
    EXPECT_EQ(WholeRows(20), 0);
    EXPECT_EQ(WholeRows(21), 1);
    EXPECT_EQ(WholeRows(41), 1);
    EXPECT_EQ(WholeRows(42), 2);
    EXPECT_EQ(WholeRows(300), 14);
}

TEST(ScrollRange, ZeroWhileEverythingFitsElseLastRowAtTop)
{
    EXPECT_EQ(ScrollRangeFor(0, 14), 0);    // before any song
    EXPECT_EQ(ScrollRangeFor(13, 14), 0);   // fewer rows than fit
    EXPECT_EQ(ScrollRangeFor(14, 14), 13);  // exactly as many as fit still scroll
    EXPECT_EQ(ScrollRangeFor(15, 14), 14);
    EXPECT_EQ(ScrollRangeFor(100, 1), 99);
    EXPECT_EQ(ScrollRangeFor(0, 0), -1);    // no rows in a view lower than one row
    EXPECT_EQ(ScrollRangeFor(3, 0), 2);
}

TEST(ScrollClamp, RangeFirstThenZero)
{
    EXPECT_EQ(ClampScrollPos(5, 10), 5);
    EXPECT_EQ(ClampScrollPos(11, 10), 10);
    EXPECT_EQ(ClampScrollPos(-1, 10), 0);
    EXPECT_EQ(ClampScrollPos(0, 0), 0);
    EXPECT_EQ(ClampScrollPos(3, -1), 0);    // a range of -1 still ends at 0
    EXPECT_EQ(ClampScrollPos(-5, -1), 0);
}

TEST(ScrollRequests, MoveByLinesPagesAndEnds)
{
    // 30 rows, 10 fit: range 29.
    EXPECT_EQ(Request(SCROLL_LINEDOWN, 0, 29, 10), 1);
    EXPECT_EQ(Request(SCROLL_LINEUP, 0, 29, 10), 0);
    EXPECT_EQ(Request(SCROLL_LINEDOWN, 29, 29, 10), 29);
    EXPECT_EQ(Request(SCROLL_PAGEDOWN, 5, 29, 10), 15);
    EXPECT_EQ(Request(SCROLL_PAGEDOWN, 25, 29, 10), 29);
    EXPECT_EQ(Request(SCROLL_PAGEUP, 15, 29, 10), 5);
    EXPECT_EQ(Request(SCROLL_PAGEUP, 4, 29, 10), 0);
    EXPECT_EQ(Request(SCROLL_TOP, 17, 29, 10), 0);
    EXPECT_EQ(Request(SCROLL_BOTTOM, 3, 29, 10), 29);
    EXPECT_EQ(Request(SCROLL_ENDSCROLL, 7, 29, 10), 7);
    EXPECT_EQ(Request(99, 7, 29, 10), 7);
}

TEST(ScrollRequests, PagesMoveNothingInAViewLowerThanARow)
{
    EXPECT_EQ(Request(SCROLL_PAGEDOWN, 2, 5, 0), 2);
    EXPECT_EQ(Request(SCROLL_PAGEUP, 2, 5, 0), 2);
}

TEST(ScrollRequests, ThumbJumpsOnlyWhenReleased)
{
    int target = 42;
    EXPECT_FALSE(ScrollRequestTarget(SCROLL_THUMBTRACK, 7, 2, 29, 10, &target));
    EXPECT_EQ(target, 42);   // untouched
    EXPECT_EQ(Request(SCROLL_THUMBPOSITION, 2, 29, 10, 7), 7);
    EXPECT_EQ(Request(SCROLL_THUMBPOSITION, 2, 29, 10, 40), 29);
}

TEST(ScrollRequests, EveryRequestEndsAtZeroWithRangeMinusOne)
{
    for (int request = SCROLL_LINEUP; request <= SCROLL_ENDSCROLL; request++) {
        if (request == SCROLL_THUMBTRACK)
            continue;
        EXPECT_EQ(Request(request, 0, -1, 0, 3), 0) << "request " << request;
    }
}

TEST(ScrollAfterResize, GrowingViewShowsNoEmptySpaceBelowTheLastRowWhileRowsAreHidden)
{
    struct Case { int pos, nTracks, oldVisible, nVisible, posAfter, rangeAfter; };
    const Case cases[] = {
        {29, 30, 13, 20, 10, 29},   // scrolled to the end, grown: the last row at the bottom
        {5, 30, 13, 20, 5, 29},     // rows fill the view already: nothing moves
        {19, 20, 13, 25, 0, 0},     // everything fits: back to the top, no scroll bar
        {19, 20, 13, 20, 0, 0},     // exactly as many as fit
        {29, 30, 20, 13, 29, 29},   // shrinking keeps the place
        {29, 30, 13, 0, 29, 29},    // collapsed to nothing
        {29, 30, 0, 13, 17, 29},    // and opened again
        {0, 0, 0, 14, 0, 0},        // no song
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pos << " of " << c.nTracks << ", " << c.oldVisible << " -> " << c.nVisible);
        EXPECT_EQ(ScrollPosAfterResize(c.pos, c.nTracks, c.oldVisible, c.nVisible), c.posAfter);
        EXPECT_EQ(ScrollRangeAfterResize(c.nTracks, c.nVisible), c.rangeAfter);
    }
}

TEST(RowPane, KeepsItsBaseWhileTheLinesInSightFitAndMovesItOnlyWhenTheyLeave)
{
    struct Case { int base, top, sight, lines, baseAfter; };
    const Case cases[] = {
        {0, 0, 14, 500, 0},                 // a list shorter than the pane never moves it
        {0, 486, 14, 500, 0},
        {0, 1486, 14, 1700, 0},             // the last lines the pane holds
        {0, 1487, 14, 1700, 200},           // one further: as far as the list's end allows
        {200, 10, 14, 1700, 0},             // back near the top
        {200, 900, 14, 1700, 200},          // inside: stays
        {0, 2000, 14, 4000, 1257},          // a long list: the lines in sight near the middle
        {0, 5, 0, 10, 0},                   // nothing in sight
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "base " << c.base << ", lines " << c.top << "+" << c.sight << " of " << c.lines);
        int base = PaneBaseFor(c.base, c.top, c.sight, c.lines);
        EXPECT_EQ(base, c.baseAfter);
        EXPECT_LE(base, c.top);
        EXPECT_LE(c.top + c.sight, base + PANE_LINES);
    }
}
