// A list longer than the view: rows get their controls when they come into sight, and what
// happened to them before (a solo, a name the writer needs) is there when they do.
#include "ctrl_harness.h"

using namespace ctrltest;

namespace {

class LongList : public TrackViewTest {
protected:
    void Load(int tracks, int channels) { TrackViewTest::Load(smf::PartsSong(tracks, channels)); }
    void Scroll(int request, int thumb = 0)
    {
        SendMessageA(view, WM_VSCROLL, MAKEWPARAM(request, thumb), 0);
    }
    static bool RowEnabled(const HWND* hwnds)
    {
        return IsWindowEnabled(hwnds[COL_ON]) && IsWindowEnabled(hwnds[COL_VOL]) && IsWindowEnabled(hwnds[COL_BAL]);
    }
    static bool TrackRowEnabled(int row)
    {
        HWND hwnds[ROW_COLUMNS] = {hwndOn[row], hwndOnly[row], hwndName[row], hwndInstr[row], hwndVol[row], hwndBal[row]};
        return RowEnabled(hwnds);
    }
    static bool ChannelRowEnabled(int k)
    {
        HWND hwnds[ROW_COLUMNS];
        for (int column = 0; column < ROW_COLUMNS; column++)
            hwnds[column] = GetChannelRowControl(k, column);
        return RowEnabled(hwnds);
    }
};

TEST_F(LongList, RowsOutOfSightComeWithTheSoloAndNamesOfTheSong)
{
    Load(100, 2);   // 300 lines
    ASSERT_NE(hwndOn[0], nullptr);
    ASSERT_EQ(hwndOn[99], nullptr) << "the last row was made at the load";
    char name[64];
    GetRowName(99, name, sizeof name);
    EXPECT_STREQ(name, "Part 99") << "Save As would lose the names of rows out of sight";

    SendMessageA(hwndOnly[0], BM_CLICK, 0, 0);
    EXPECT_FALSE(TrackRowEnabled(1));
    Scroll(SB_THUMBPOSITION, 297);   // the last track row and its two channel rows
    ASSERT_NE(hwndOn[99], nullptr);
    EXPECT_FALSE(TrackRowEnabled(99));
    EXPECT_TRUE(IsWindowEnabled(hwndOnly[99]));
    EXPECT_FALSE(ChannelRowEnabled(GetChannelRowCount() - 1));

    // The release, clicked out of sight, shows at once on the rows in sight, and on the rows
    // it left behind when they come back.
    SendMessageA(view, WM_COMMAND, MAKEWPARAM(RowControlId(COL_SOLO, 0), BN_CLICKED), (LPARAM)hwndOnly[0]);
    EXPECT_FALSE(Checked(hwndOnly[0]));
    EXPECT_TRUE(TrackRowEnabled(99));
    EXPECT_TRUE(ChannelRowEnabled(GetChannelRowCount() - 1));
    Scroll(SB_TOP);
    EXPECT_TRUE(TrackRowEnabled(1));
    EXPECT_TRUE(ChannelRowEnabled(0));

    // A track switched off out of sight grays its channel rows' On boxes when they come.
    SendMessageA(hwndOn[0], BM_CLICK, 0, 0);
    Scroll(SB_THUMBPOSITION, 297);   // the last track row and its two channel rows
    SendMessageA(hwndOn[99], BM_CLICK, 0, 0);
    Scroll(SB_TOP);
    while (BuildTrackViewRowsInBackground()) {
    }
    EXPECT_FALSE(IsWindowEnabled(GetChannelRowControl(0, COL_ON)));
    EXPECT_TRUE(IsWindowEnabled(GetChannelRowControl(2, COL_ON)));
    EXPECT_FALSE(IsWindowEnabled(GetChannelRowControl(GetChannelRowCount() - 1, COL_ON)));
}

TEST_F(LongList, TabGoesOnIntoRowsNotMadeYet)
{
    Load(60, 1);
    int first = 0;
    while (first < 60 && hwndOn[first])
        first++;
    ASSERT_GT(first, 0);
    ASSERT_LT(first, 60);
    SetFocus(hwndBal[first - 1]);
    MSG tab = {hwndBal[first - 1], WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    ASSERT_TRUE(TranslateTrackViewKeys(&tab));
    ASSERT_NE(hwndOn[first], nullptr);
    EXPECT_EQ(GetFocus(), hwndOn[first]);
    EXPECT_GT(nScrollPos, 0);
}

TEST_F(LongList, ListLongerThanAWindowCanBeShowsEveryLineInItsPlace)
{
    Load(100, 16);   // 1700 lines, 35,700 pixels
    ASSERT_EQ(GetTrackViewLineCount(), 1700);
    const int last = GetChannelRowCount() - 1;
    struct Case { int request, thumb, topLine; };
    const Case cases[] = {
        {SB_BOTTOM, 0, 1699},
        {SB_THUMBPOSITION, 850, 850},
        {SB_THUMBPOSITION, 1600, 1600},
        {SB_TOP, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.topLine);
        Scroll(c.request, c.thumb);
        ASSERT_EQ(nScrollPos, c.topLine);
        // Line 1700 - 17k is track row 99 - k; channel row k' stands below its track.
        int row = c.topLine / 17, inTrack = c.topLine % 17;
        HWND top = inTrack == 0 ? hwndOn[row] : GetChannelRowControl(row * 16 + inTrack - 1, COL_ON);
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(RectInView(top).top, RowControlRect(COL_ON, 0).y);
    }
    EXPECT_LT(RectInView(GetChannelRowControl(last, COL_ON)).top, 0) << "a line beyond the pane waits out of sight";
}

}  // namespace
