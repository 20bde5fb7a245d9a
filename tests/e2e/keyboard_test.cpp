// The track rows used with the keyboard only: Tab order, the view following the focus, and
// edits by key that reach the playback copy as the same edits by mouse do.
#include "e2e/fixture.h"
#include "e2e/input.h"
#include "smfbuild.h"

namespace e2e {
namespace {

Bytes KeyboardSong(int rows)
{
    smf::File file(1, 96);
    file.Add(smf::Track().Tempo(0, 500000).End(96 * 80));   // 40 s
    for (int i = 0; i < rows; ++i)
        file.Add(smf::Track().Name(0, "Track " + std::to_string(i)).Program(0, i % 9, i)
                     .NoteOn(0, i % 9, 50, 80).NoteOff(96, i % 9, 50, 0).End());
    return file.Bytes();
}

class Keyboard : public PlayerTest {
protected:
    HWND Focus(Player* p) const
    {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        DWORD thread = GetWindowThreadProcessId(p->Main(), NULL);
        return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : NULL;
    }

    // Presses a key and waits until the focus is on the control expected.
    ::testing::AssertionResult KeyTo(Player* p, WORD vk, std::initializer_list<WORD> mods, int times, HWND expected)
    {
        // One press at a time, each waited for: the input queue is the user's pace.
        for (int i = 0; i < times; ++i) {
            HWND from = Focus(p);
            PressKey(vk, mods);
            WaitFor([&] { return Focus(p) != from; }, 2000);
        }
        if (WaitFor([&] { return Focus(p) == expected; }, 3000))
            return ::testing::AssertionSuccess();
        HWND f = Focus(p);
        return ::testing::AssertionFailure() << "the focus is on control " << GetDlgCtrlID(f) << " (" << ClassOf(f)
                                             << "), not " << GetDlgCtrlID(expected);
    }

    bool InView(Player* p, HWND control) const
    {
        RECT view, r;
        GetClientRect(p->TrackView(), &view);
        MapWindowPoints(p->TrackView(), NULL, (POINT*)&view, 2);
        GetWindowRect(control, &r);
        return r.top >= view.top && r.bottom <= view.bottom;
    }
};

TEST_F(Keyboard, TabSpaceAndSliderKeysWorkTheRowsAsTheMouseDoes)
{
    const int n = 30;
    Bytes bytes = KeyboardSong(n);
    Song song(bytes);
    std::set<std::string> before = PlaybackCopies();
    std::string path = WriteWorkFile("keys.mid", bytes);
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return p->Rows() == n; }, 5000));
    std::string copy;
    for (const std::string& s : PlaybackCopies())
        if (!before.count(s))
            copy = s;
    ASSERT_FALSE(copy.empty());
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    SetForegroundWindow(p->Main());
    auto copyIsSong = [&] { return WaitFor([&] { return ReadBytes(copy) == song.image(); }, 3000); };

    // After the load the first row's On box has the focus; Tab goes along the row and on to
    // the next; Shift+Tab goes back.
    EXPECT_TRUE(WaitFor([&] { return Focus(p) == p->Row(0, 0); }, 3000)) << "no focus on the first On box";
    ASSERT_TRUE(KeyTo(p, VK_TAB, {}, 1, p->Row(1, 0)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {}, 4, p->Row(5, 0)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {}, 1, p->Row(0, 1)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 1, p->Row(5, 0)));

    // Slider keys: one edit per press, as a mouse move makes.
    int pan = p->TrackbarPos(p->Row(5, 0));
    ASSERT_TRUE(PressKey(VK_RIGHT));
    EXPECT_TRUE(WaitFor([&] { return p->TrackbarPos(p->Row(5, 0)) == pan + 1; }, 3000));
    song.Pan(0, pan + 1);
    EXPECT_TRUE(copyIsSong()) << "balance by key";
    ASSERT_TRUE(PressKey(VK_HOME));
    EXPECT_TRUE(WaitFor([&] { return p->TrackbarPos(p->Row(5, 0)) == 0; }, 3000));
    song.Pan(0, 0);
    EXPECT_TRUE(copyIsSong()) << "balance by Home";
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 1, p->Row(4, 0)));
    ASSERT_TRUE(PressKey(VK_END));
    EXPECT_TRUE(WaitFor([&] { return p->TrackbarPos(p->Row(4, 0)) == 127; }, 3000));
    song.Volume(0, 127);
    EXPECT_TRUE(copyIsSong()) << "volume by End";

    // Alt+Down opens the instrument list; Escape closes it and changes nothing.
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 1, p->Row(3, 0)));
    ASSERT_TRUE(PressKey(VK_DOWN, {VK_MENU}));
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(p->Row(3, 0), CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000))
        << "Alt+Down did not open the list";
    ASSERT_TRUE(PressKey(VK_ESCAPE));
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(p->Row(3, 0), CB_GETDROPPEDSTATE, 0, 0) == 0; }, 3000));
    EXPECT_EQ(p->ComboSel(p->Row(3, 0)), 0);

    // Space on the Solo button and on the On box.
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 2, p->Row(1, 0)));
    ASSERT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitFor([&] { return p->Checked(p->Row(1, 0)); }, 3000)) << "Space did not solo the row";
    for (int r = 1; r < n; ++r)
        song.Toggle(r);
    EXPECT_TRUE(copyIsSong()) << "solo by Space";
    EXPECT_FALSE(IsWindowEnabled(p->Row(0, 1)));
    ASSERT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitFor([&] { return !p->Checked(p->Row(1, 0)); }, 3000));
    for (int r = 1; r < n; ++r)
        song.Toggle(r);
    EXPECT_TRUE(copyIsSong()) << "solo lifted by Space";
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 1, p->Row(0, 0)));
    ASSERT_TRUE(PressKey(VK_SPACE));
    EXPECT_TRUE(WaitFor([&] { return !p->Checked(p->Row(0, 0)); }, 3000)) << "Space did not switch the track off";
    song.Toggle(0);
    EXPECT_TRUE(copyIsSong()) << "On by Space";

    // The view follows the focus down the list, back up, and round both ends. A lower
    // window shows fewer rows, so a few presses leave the rows in sight.
    RECT r = p->Rect();
    SetWindowPos(p->Main(), NULL, r.left, r.top, r.right - r.left, 220, SWP_NOZORDER);
    ASSERT_TRUE(p->Sync());
    ASSERT_FALSE(InView(p, p->Row(0, 5)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {}, 6 * 5, p->Row(0, 5)));
    EXPECT_TRUE(InView(p, p->Row(0, 5))) << "the focused row is out of sight";
    EXPECT_FALSE(InView(p, p->Row(0, 0)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 6 * 5, p->Row(0, 0)));
    EXPECT_TRUE(InView(p, p->Row(0, 0)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {VK_SHIFT}, 1, p->Row(5, n - 1))) << "Shift+Tab does not go round";
    EXPECT_TRUE(InView(p, p->Row(5, n - 1)));
    ASSERT_TRUE(KeyTo(p, VK_TAB, {}, 1, p->Row(0, 0))) << "Tab does not go round";
    EXPECT_TRUE(InView(p, p->Row(0, 0)));
    EXPECT_TRUE(p->Dialogs().empty());
}

}  // namespace
}  // namespace e2e
