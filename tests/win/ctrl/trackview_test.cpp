// The track view window: its class, header, placement under the toolbar, the two outer
// sizes of the main window, and vertical scrolling by whole rows.
#include "ctrl_harness.h"

using namespace ctrltest;

namespace {

smf::File ManyTracks(int n)
{
    smf::File f(1, 96);
    for (int i = 0; i < n; i++) {
        smf::Track t;
        t.Name(0, "T" + std::to_string(i)).Program(0, i % 8, i).NoteOn(0, i % 8, 60, 90)
            .NoteOff(10, i % 8, 60, 0).End();
        f.Add(t);
    }
    return f;
}

class TrackViewWindow : public ::testing::Test {
protected:
    HWND view = NULL, parent = NULL;

    void SetUp() override
    {
        view = TheStage().hwndView;
        parent = TheStage().hwndParent;
        ASSERT_NE(view, nullptr);
        Reports().clear();
    }
    // Gives the view a client height of exactly rows * 21 + extra pixels, laying it out as
    // the main window does on every resize.
    void SizeViewForRows(int rows, int extra = 0)
    {
        int want = rows * ROW_PITCH + extra;
        RECT rc;
        for (int attempt = 0; attempt < 3; attempt++) {
            RECT viewClient, parentWindow;
            GetClientRect(view, &viewClient);
            GetWindowRect(parent, &parentWindow);
            int grow = want - (viewClient.bottom - viewClient.top);
            if (attempt > 0 && grow == 0)
                break;
            MoveWindow(parent, parentWindow.left, parentWindow.top, parentWindow.right - parentWindow.left,
                       parentWindow.bottom - parentWindow.top + grow, TRUE);
            ResizeTrackView(view, parent);
        }
        GetClientRect(view, &rc);
        ASSERT_EQ(rc.bottom, want);
    }
    void Scroll(int request, int thumb = 0)
    {
        SendMessageA(view, WM_VSCROLL, MAKEWPARAM(request, thumb), 0);
    }
    int BarMax()
    {
        int lo = -1, hi = -1;
        GetScrollRange(view, SB_VERT, &lo, &hi);
        EXPECT_EQ(lo, 0);
        return hi;
    }
    int TopOfRow0()
    {
        return RectInView(hwndOn[0]).top;
    }
    void LoadRows(int n)
    {
        ASSERT_EQ(LoadImage(ManyTracks(n).Bytes()), 1);
        ASSERT_EQ(InsertTrackViewItems(view), 1);
    }
};

TEST_F(TrackViewWindow, ClassAndWindows)
{
    char cls[64];
    GetClassNameA(view, cls, sizeof cls);
    EXPECT_STREQ(cls, "TrackView");
    WNDCLASSA wc;
    ASSERT_TRUE(GetClassInfoA(hInst, "TrackView", &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.lpfnWndProc, TrackViewWndProc);
    EXPECT_EQ(wc.hbrBackground, (HBRUSH)GetStockObject(LTGRAY_BRUSH));
    EXPECT_EQ(wc.hCursor, LoadCursor(NULL, IDC_ARROW));

    EXPECT_EQ(GetParent(view), parent);
    LONG style = GetWindowLongA(view, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_DLGFRAME);   // its scroll bar shows only while there is a range

    ASSERT_NE(hwndTrackViewSt, nullptr);
    EXPECT_EQ(GetParent(hwndTrackViewSt), parent);   // the header never scrolls
    EXPECT_STRCASEEQ(ClassOf(hwndTrackViewSt).c_str(), "static");
    EXPECT_EQ(GetDlgCtrlID(hwndTrackViewSt), -1);
    std::string header = WindowText(hwndTrackViewSt);
    EXPECT_EQ(header.size(), 138u);
    EXPECT_EQ(header, "On  Solo          Track Name                         Instrument"
                      "                                Volume                              Balance");
    EXPECT_EQ((HFONT)SendMessageA(hwndTrackViewSt, WM_GETFONT, 0, 0), hfont);
}

TEST_F(TrackViewWindow, LaysOutUnderTheToolbar)
{
    RECT parentWindow;
    GetWindowRect(parent, &parentWindow);
    MoveWindow(parent, parentWindow.left, parentWindow.top, 500, 300, TRUE);
    ResizeTrackView(view, parent);   // the main window does this on WM_SIZE

    RECT client, toolbar;
    GetClientRect(parent, &client);
    GetWindowRect(hWndToolbar, &toolbar);
    int toolbarHeight = toolbar.bottom - toolbar.top;
    RECT header = RectInParent(hwndTrackViewSt), rc = RectInParent(view);
    EXPECT_EQ(header.left, 0);
    EXPECT_EQ(header.top, toolbarHeight);
    EXPECT_EQ(header.right, client.right);
    EXPECT_EQ(header.bottom - header.top, 20);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, toolbarHeight + 20);
    EXPECT_EQ(rc.right, client.right);
    EXPECT_EQ(rc.bottom, client.bottom);
}

TEST_F(TrackViewWindow, ShowAndHideSwitchTheMainWindowsOuterSize)
{
    RECT before, rc;
    GetWindowRect(parent, &before);
    EXPECT_EQ(HideTrack(), 1);
    GetWindowRect(parent, &rc);
    EXPECT_EQ(rc.right - rc.left, 445);
    EXPECT_EQ(rc.bottom - rc.top, 95);
    EXPECT_EQ(rc.left, before.left);
    EXPECT_EQ(rc.top, before.top);
    EXPECT_EQ(ShowTrack(), 1);
    GetWindowRect(parent, &rc);
    EXPECT_EQ(rc.right - rc.left, 585);
    EXPECT_EQ(rc.bottom - rc.top, 417);
    EXPECT_EQ(rc.left, before.left);
    EXPECT_EQ(rc.top, before.top);
}

TEST_F(TrackViewWindow, RangeFollowsTheRowsThatFit)
{
    LoadRows(10);
    SizeViewForRows(12, 5);
    EXPECT_EQ(chClient, 12 * ROW_PITCH + 5);
    EXPECT_EQ(nRange, 0);

    SizeViewForRows(10);   // a view sized to hold every row needs no scrolling
    EXPECT_EQ(nRange, 0);
    EXPECT_EQ(BarMax(), 0);

    SizeViewForRows(4, 20);
    EXPECT_EQ(nRange, 9);
    SizeViewForRows(11);
    EXPECT_EQ(nRange, 0);
    EXPECT_EQ(BarMax(), 0);
}

TEST_F(TrackViewWindow, ScrollsByWholeRows)
{
    LoadRows(20);
    SizeViewForRows(8, 7);
    ASSERT_EQ(nRange, 19);
    ASSERT_EQ(nScrollPos, 0);
    EXPECT_TRUE(GetWindowLongA(view, GWL_STYLE) & WS_VSCROLL);
    int top0 = TopOfRow0();
    EXPECT_EQ(top0, 2);

    Scroll(SB_LINEDOWN);
    EXPECT_EQ(nScrollPos, 1);
    EXPECT_EQ(nScroll, -1);
    EXPECT_EQ(GetScrollPos(view, SB_VERT), 1);
    EXPECT_EQ(TopOfRow0(), top0 - ROW_PITCH);

    Scroll(SB_PAGEDOWN);
    EXPECT_EQ(nScrollPos, 9);
    EXPECT_EQ(TopOfRow0(), top0 - 9 * ROW_PITCH);

    Scroll(SB_THUMBTRACK, 15);   // dragging the thumb moves nothing
    EXPECT_EQ(nScrollPos, 9);
    EXPECT_EQ(GetScrollPos(view, SB_VERT), 9);
    Scroll(SB_THUMBPOSITION, 15);
    EXPECT_EQ(nScrollPos, 15);
    EXPECT_EQ(TopOfRow0(), top0 - 15 * ROW_PITCH);

    Scroll(SB_BOTTOM);
    EXPECT_EQ(nScrollPos, 19);
    EXPECT_EQ(RectInView(hwndOn[19]).top, top0);   // only the last row at the top
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(nScrollPos, 19);
    EXPECT_EQ(nScroll, 0);

    // Scrolled to the end, then grown to hold every row: back at the top, no scrolling.
    SizeViewForRows(22);
    EXPECT_EQ(nRange, 0);
    EXPECT_EQ(nScrollPos, 0);

    Scroll(SB_PAGEUP);
    EXPECT_EQ(nScrollPos, 0);   // a page is now 22 rows
    Scroll(SB_ENDSCROLL);
    EXPECT_EQ(nScrollPos, 0);
    EXPECT_EQ(TopOfRow0(), top0);

    SizeViewForRows(22, 1);   // back at the top: the range follows again
    EXPECT_EQ(nRange, 0);
    Scroll(SB_BOTTOM);
    EXPECT_EQ(nScrollPos, 0);
    EXPECT_EQ(TopOfRow0(), top0);
}

TEST_F(TrackViewWindow, NewSongStartsAtTheTop)
{
    LoadRows(30);
    SizeViewForRows(10);
    ASSERT_EQ(nRange, 29);
    Scroll(SB_THUMBPOSITION, 12);
    ASSERT_EQ(nScrollPos, 12);
    LoadRows(25);
    EXPECT_EQ(nScrollPos, 0);
    EXPECT_EQ(GetScrollPos(view, SB_VERT), 0);
    EXPECT_EQ(nRange, 24);
    EXPECT_EQ(TopOfRow0(), 2);
    EXPECT_EQ(hwndName[24], nullptr) << "a row out of sight is made in the background, not at the load";
    while (BuildTrackViewRowsInBackground()) {
    }
    EXPECT_EQ(RectInView(hwndName[24]).top, 24 * ROW_PITCH + 1);
}

TEST_F(TrackViewWindow, NoRowsInAViewLowerThanOneRow)
{
    smf::File empty(1, 96);
    empty.Add(smf::Track().Tempo(0, 500000).End());
    ASSERT_EQ(LoadImage(empty.Bytes()), 1);
    ASSERT_EQ(InsertTrackViewItems(view), 1);
    SizeViewForRows(0, 10);
    EXPECT_EQ(nRange, 0);
    for (int request : {SB_LINEDOWN, SB_PAGEDOWN, SB_BOTTOM, SB_LINEUP, SB_TOP}) {
        Scroll(request);
        EXPECT_EQ(nScrollPos, 0) << request;
    }
    Scroll(SB_THUMBPOSITION, 3);
    EXPECT_EQ(nScrollPos, 0);
    SizeViewForRows(10);
    EXPECT_EQ(nRange, 0);
}

}  // namespace
