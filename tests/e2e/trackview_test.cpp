// The track view as a user meets it: the wheel over the rows, the header over its columns,
// and the view's place and scrolling as the window changes size.
#include <algorithm>
#include "e2e/fixture.h"
#include "e2e/input.h"
#include "smfbuild.h"

namespace e2e {
namespace {

// A song of this many rows that plays for 40 s.
Bytes LongListSong(int rows)
{
    smf::File file(1, 96);
    file.Add(smf::Track().Tempo(0, 500000).End(96 * 80));
    for (int i = 0; i < rows; ++i)
        file.Add(smf::Track().Name(0, "Track " + std::to_string(i)).Program(0, i % 9, i)
                     .NoteOn(0, i % 9, 50, 80).NoteOff(96, i % 9, 50, 0).End());
    return file.Bytes();
}

class TrackView : public PlayerTest {
protected:
    // Starts the player on a long list (playing), and notes where the first row stands.
    Player* OpenLongList(int rows)
    {
        std::set<std::string> before = PlaybackCopies();
        path_ = WriteWorkFile("long-list.mid", LongListSong(rows));
        Player* p = Launch(Quoted(path_));
        if (!p || !WaitFor([&] { return p->Rows() == rows; }, 5000))
            return nullptr;
        for (const std::string& s : PlaybackCopies())
            if (!before.count(s))
                copy_ = s;
        home_ = RowTop(p, 0);
        return p;
    }

    // A row whose controls are not made yet stands nowhere.
    int RowTop(Player* p, int row) const
    {
        RECT r = {};
        HWND box = p->Row(0, row);
        return box && GetWindowRect(box, &r) ? r.top : INT_MIN;
    }

    // The row standing at the top of the view.
    int TopRow(Player* p, int rows) const
    {
        for (int row = 0; row < rows; ++row)
            if (RowTop(p, row) == home_)
                return row;
        return -1;
    }

    bool WheelAt(Player* p, HWND over, int notches)
    {
        RECT r;
        GetWindowRect(over, &r);
        POINT at = Middle(r);
        if (!MouseTo(at))
            return false;
        Pause(50);
        return Wheel(at, notches) && p->Sync();
    }

    std::string path_, copy_;
    int home_ = 0;
};

TEST_F(TrackView, WheelScrollsTheRowsAndNeverEditsThem)
{
    const int n = 30;
    Player* p = OpenLongList(n);
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    Bytes copy = ReadBytes(copy_);
    ASSERT_FALSE(copy.empty());
    const int sel0 = p->ComboSel(p->Row(3, 0));
    const int vol3 = p->TrackbarPos(p->Row(4, 3));

    // Over a closed instrument list, a volume slider, a balance slider, the header: the rows
    // move three a notch, within the scroll bar's bounds (the last row at the top).
    struct Turn { const char* over; int column; int notches; int topAfter; };
    const Turn turns[] = {
        {"instrument list", 3, -1, 3},
        {"volume slider", 4, -2, 9},
        {"balance slider", 5, -3, 18},
        {"On box", 0, -20, n - 1},
        {"name box", 2, 1, n - 4},
        {"header", -1, 20, 0},
    };
    for (const Turn& t : turns) {
        SCOPED_TRACE(t.over);
        int top = std::max(0, TopRow(p, n));
        HWND over = t.column < 0 ? p->Header() : p->Row(t.column, top);
        ASSERT_TRUE(WheelAt(p, over, t.notches));
        // Input is queued: wait for it to arrive.
        WaitFor([&] { return TopRow(p, n) == t.topAfter; }, 2000);
        EXPECT_EQ(TopRow(p, n), t.topAfter);
    }
    EXPECT_EQ(p->ComboSel(p->Row(3, 0)), sel0) << "the wheel chose an instrument";
    EXPECT_EQ(p->TrackbarPos(p->Row(4, 3)), vol3) << "the wheel moved a volume";
    Pause(300);
    EXPECT_EQ(ReadBytes(copy_), copy) << "the wheel edited the song";

    // An instrument list the user has dropped down takes the wheel; the rows stay.
    RECT box;
    GetWindowRect(p->Row(3, 1), &box);
    POINT onBox = {box.left + 20, box.top + 8};
    ASSERT_TRUE(p->ClickAt(onBox));
    HWND list = p->Row(3, 1);
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000)) << "the list did not drop down";
    int topIndex = (int)SendMessageA(list, CB_GETTOPINDEX, 0, 0);
    POINT inList = {box.left + 40, box.top + 60};
    ASSERT_TRUE(MouseTo(inList));
    ASSERT_TRUE(Wheel(inList, -2));
    WaitFor([&] { return (int)SendMessageA(list, CB_GETTOPINDEX, 0, 0) != topIndex; }, 2000);
    EXPECT_EQ(TopRow(p, n), 0) << "the rows scrolled under a dropped list";
    EXPECT_NE((int)SendMessageA(list, CB_GETTOPINDEX, 0, 0), topIndex) << "the dropped list did not take the wheel";
    ASSERT_TRUE(PressKey(VK_ESCAPE));
    ASSERT_TRUE(WaitFor([&] { return SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) == 0; }, 3000));
    ASSERT_TRUE(p->Sync());
    Pause(300);
    const int chosen = p->ComboSel(list);
    copy = ReadBytes(copy_);

    // The closed list keeps the focus; the wheel with the pointer over the toolbar is nobody's.
    RECT tb;
    GetWindowRect(p->Toolbar(), &tb);
    POINT onToolbar = {tb.right - 5, tb.bottom - 5};
    ASSERT_TRUE(MouseTo(onToolbar));
    ASSERT_TRUE(Wheel(onToolbar, -3));
    Pause(500);
    EXPECT_EQ(p->ComboSel(list), chosen) << "the focused list took the wheel";
    EXPECT_EQ(TopRow(p, n), 0);
    Pause(300);
    EXPECT_EQ(ReadBytes(copy_), copy) << "the wheel edited the song";
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(TrackView, ViewTrackListOffWhileMaximizedRestoresThenCollapses)
{
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    auto size = [&] {
        RECT r = p->Rect();
        return std::make_pair((int)(r.right - r.left), (int)(r.bottom - r.top));
    };
    ASSERT_TRUE(WaitFor([&] { return size() == std::make_pair(585, 417); }, 5000));
    RECT before = p->Rect();
    ShowWindow(p->Main(), SW_MAXIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(p->Main()) != 0; }, 3000));

    ASSERT_TRUE(p->ClickToolbarButton(IDM_TRACKLIST));
    EXPECT_FALSE(p->ButtonChecked(IDM_TRACKLIST));
    EXPECT_TRUE(WaitFor([&] { return size() == std::make_pair(445, 95); }, 3000)) << size().first << " x " << size().second;
    EXPECT_FALSE(IsZoomed(p->Main())) << "a collapsed window is still marked maximized";
    RECT small = p->Rect();
    EXPECT_EQ(small.left, before.left) << "the window did not go back to where it was";
    EXPECT_EQ(small.top, before.top);

    ASSERT_TRUE(p->ClickToolbarButton(IDM_TRACKLIST));
    EXPECT_TRUE(WaitFor([&] { return size() == std::make_pair(585, 417); }, 3000)) << size().first << " x " << size().second;
    EXPECT_FALSE(IsZoomed(p->Main()));
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(TrackView, GrowingAfterScrollingToTheEndShowsAsManyRowsAsFit)
{
    struct Case { int rows; bool allFit; };
    for (const Case& c : {Case{40, false}, Case{16, true}}) {
        SCOPED_TRACE(c.rows);
        Player* p = OpenLongList(c.rows);
        ASSERT_TRUE(p);
        // A freshly started window may answer before it has its first size.
        RECT r = {};
        EXPECT_TRUE(WaitFor([&] { r = p->Rect(); return r.bottom - r.top == 417; }, 5000));
        ASSERT_EQ(r.bottom - r.top, 417);
        DWORD_PTR result;
        SendMessageTimeoutA(p->TrackView(), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0, SMTO_NORMAL, 5000, &result);
        ASSERT_EQ(TopRow(p, c.rows), c.rows - 1) << "only the last row in view";

        // The user makes the window taller.
        SetWindowPos(p->Main(), NULL, r.left, r.top, r.right - r.left, 700, SWP_NOZORDER);
        ASSERT_TRUE(p->Sync());
        RECT view;
        GetClientRect(p->TrackView(), &view);
        int fit = view.bottom / 21;
        ASSERT_GT(fit, 16);
        LONG style = GetWindowLongA(p->TrackView(), GWL_STYLE);
        if (c.allFit) {
            EXPECT_EQ(TopRow(p, c.rows), 0) << "all rows fit, but not all are shown";
            EXPECT_FALSE(style & WS_VSCROLL) << "the scroll bar stayed with nothing to scroll";
        } else {
            EXPECT_EQ(TopRow(p, c.rows), c.rows - fit) << "empty space under the last row while rows are hidden";
            EXPECT_TRUE(style & WS_VSCROLL);
            SendMessageTimeoutA(p->TrackView(), WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0, SMTO_NORMAL, 5000, &result);
            EXPECT_EQ(TopRow(p, c.rows), 0);
            EXPECT_TRUE(GetWindowLongA(p->TrackView(), GWL_STYLE) & WS_VSCROLL) << "rows are still hidden";
        }
        ASSERT_TRUE(p->Quit());
    }
}

}  // namespace
}  // namespace e2e
