// The main window as it starts, hands off to a new copy, resizes, and shows its dialogs.
#include <algorithm>
#include "e2e/fixture.h"
#include "smfbuild.h"

namespace e2e {
namespace {

struct Size {
    long cx, cy;
    bool operator==(const Size& o) const { return cx == o.cx && cy == o.cy; }
};

std::ostream& operator<<(std::ostream& os, const Size& s)
{
    return os << s.cx << " x " << s.cy;
}

Size OuterSize(const Player& p)
{
    RECT r = p.Rect();
    return {r.right - r.left, r.bottom - r.top};
}

const Size kCollapsed = {445, 95};
const Size kExpanded = {585, 417};

std::set<std::string> Difference(const std::set<std::string>& now, const std::set<std::string>& before)
{
    std::set<std::string> out;
    for (const std::string& s : now)
        if (!before.count(s))
            out.insert(s);
    return out;
}

// Texts of all static controls of a dialog, joined.
std::string DialogTexts(HWND dialog)
{
    std::string all;
    for (HWND h = FindWindowExA(dialog, NULL, "Static", NULL); h; h = FindWindowExA(dialog, h, "Static", NULL))
        all += WindowText(h) + "\n";
    return all;
}

class Window : public PlayerTest {};

TEST_F(Window, StartsEmptyWithOnlyTheFirstButtonsEnabled)
{
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch();
    ASSERT_TRUE(p);

    EXPECT_EQ(p->Title(), "Zulin Player");
    EXPECT_EQ(OuterSize(*p), kCollapsed);

    HWND slider = p->Slider();
    ASSERT_TRUE(slider);
    EXPECT_FALSE(IsWindowEnabled(slider));
    EXPECT_EQ(p->SliderPos(), 0);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 200);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_TRUE(p->TimeScale());
    EXPECT_TRUE(p->Logo());

    // The controls beside the buttons stand where they belong, in the toolbar.
    struct Place {
        HWND hwnd;
        const char* what;
        RECT at;
    } places[] = {
        {slider, "slider", {185, 1, 385, 32}},
        {p->TimeScale(), "time scale", {185, 32, 390, 47}},
        {p->TimeDisplay(), "time display", {137, 30, 184, 46}},
        {p->Logo(), "logo", {395, 5, 435, 45}},
    };
    for (const Place& pl : places) {
        ASSERT_TRUE(pl.hwnd) << pl.what;
        EXPECT_EQ(GetParent(pl.hwnd), p->Toolbar()) << pl.what;
        RECT r = ChildRect(pl.hwnd);
        EXPECT_TRUE(EqualRect(&r, &pl.at)) << pl.what << " at " << r.left << "," << r.top << " to " << r.right
                                           << "," << r.bottom;
    }

    // At start only Open, About, Volume Control and Record Track can be pressed; View Track
    // List shows pressed but disabled.
    const int enabled[] = {IDM_OPEN, IDM_ABOUT, IDM_VOLUME, IDM_RECORD};
    const int disabled[] = {IDM_NEW, IDM_SAVEAS, IDM_TRACKLIST, IDM_STOP, IDM_PLAY, IDM_PAUSE, IDM_LOOP};
    for (int id : enabled)
        EXPECT_TRUE(p->ButtonEnabled(id)) << "button " << id;
    for (int id : disabled)
        EXPECT_FALSE(p->ButtonEnabled(id)) << "button " << id;
    EXPECT_TRUE(p->ButtonChecked(IDM_TRACKLIST));
    EXPECT_FALSE(p->ButtonChecked(IDM_LOOP));
    EXPECT_EQ(SendMessageA(p->Toolbar(), TB_BUTTONCOUNT, 0, 0), 16);   // Show Channels beside View Track List
    EXPECT_EQ(SendMessageA(p->Toolbar(), TB_GETROWS, 0, 0), 2);

    // Nothing is listed yet; the track view waits, hidden, for the first song.
    ASSERT_TRUE(p->TrackView());
    EXPECT_FALSE(IsWindowVisible(p->TrackView()));
    EXPECT_EQ(p->Rows(), 0);

    // Play and Pause before any song do nothing.
    EXPECT_TRUE(p->Command(IDM_PLAY));
    EXPECT_TRUE(p->Command(IDM_PAUSE));
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_TRUE(p->Dialogs().empty());

    // The playback copy exists, empty, from start-up on.
    std::set<std::string> made = Difference(PlaybackCopies(), before);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(ReadBytes(*made.begin()).empty());

    EXPECT_TRUE(p->Quit());
    EXPECT_FALSE(FileExists(*made.begin())) << "the playback copy outlived the player";
}

TEST_F(Window, SecondStartClosesTheFirstAndItsPlaybackCopyGoes)
{
    std::set<std::string> before = PlaybackCopies();
    Player* first = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(first);
    ASSERT_TRUE(WaitFor([&] { return first->ButtonChecked(IDM_PLAY); }, 5000));
    std::set<std::string> firstCopies = Difference(PlaybackCopies(), before);
    ASSERT_EQ(firstCopies.size(), 1u);
    std::string firstCopy = *firstCopies.begin();
    EXPECT_FALSE(ReadBytes(firstCopy).empty());

    // The first copy is playing when the second starts: it must stop, close and delete.
    Player* second = Launch();
    ASSERT_TRUE(second);
    EXPECT_TRUE(first->WaitExit(5000)) << "the running copy did not close";
    EXPECT_FALSE(FileExists(firstCopy)) << "the closed copy left its playback copy behind";
    EXPECT_TRUE(second->Running());
    EXPECT_EQ(second->Title(), "Zulin Player");
    EXPECT_EQ(FindWindowA("Player", NULL), second->Main());
    std::set<std::string> secondCopies = Difference(PlaybackCopies(), before);
    EXPECT_EQ(secondCopies.size(), 1u);
    EXPECT_FALSE(secondCopies.count(firstCopy));
}

TEST_F(Window, ViewTrackListShrinksAndGrowsTheWindow)
{
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    // The first song shows the track list, since View Track List starts checked.
    ASSERT_TRUE(WaitFor([&] { return OuterSize(*p) == kExpanded; }, 5000)) << OuterSize(*p);
    EXPECT_TRUE(IsWindowVisible(p->TrackView()));
    EXPECT_TRUE(IsWindowVisible(p->Header()));
    RECT start = p->Rect();

    ASSERT_TRUE(p->ButtonEnabled(IDM_TRACKLIST));
    ASSERT_TRUE(p->ClickToolbarButton(IDM_TRACKLIST));
    EXPECT_FALSE(p->ButtonChecked(IDM_TRACKLIST));
    EXPECT_TRUE(WaitFor([&] { return OuterSize(*p) == kCollapsed; }, 3000)) << OuterSize(*p);
    RECT small = p->Rect();
    EXPECT_EQ(small.left, start.left);
    EXPECT_EQ(small.top, start.top);

    ASSERT_TRUE(p->ClickToolbarButton(IDM_TRACKLIST));
    EXPECT_TRUE(p->ButtonChecked(IDM_TRACKLIST));
    EXPECT_TRUE(WaitFor([&] { return OuterSize(*p) == kExpanded; }, 3000)) << OuterSize(*p);
    RECT big = p->Rect();
    EXPECT_EQ(big.left, start.left);
    EXPECT_EQ(big.top, start.top);

    // The header and the track view fill the client area under the toolbar.
    RECT client, tb, header, view;
    GetClientRect(p->Main(), &client);
    GetWindowRect(p->Toolbar(), &tb);
    GetWindowRect(p->Header(), &header);
    GetWindowRect(p->TrackView(), &view);
    EXPECT_EQ(header.top, tb.bottom);
    EXPECT_EQ(view.top, header.bottom);
    EXPECT_EQ(view.right - view.left, client.right - client.left);
    EXPECT_EQ(WindowText(p->Header()),
              "On  Solo          Track Name                         Instrument                                Volume"
              "                              Balance");
}

TEST_F(Window, AboutAndRecordTrackOpenAndCloseWithEscape)
{
    Player* p = Launch();
    ASSERT_TRUE(p);

    p->PostCommand(IDM_ABOUT);
    HWND about = p->WaitDialog(5000);
    ASSERT_TRUE(about) << "no About box";
    EXPECT_EQ(WindowText(about), "About Zulin Player");
    EXPECT_EQ(GetWindow(about, GW_OWNER), p->Main());
    EXPECT_EQ(WindowText(GetDlgItem(about, IDOK)), "OK");
    EXPECT_NE(DialogTexts(about).find("Zulin MIDI Player. Version: 1.00 (98.6)"), std::string::npos) << DialogTexts(about);
    EXPECT_NE(DialogTexts(about).find("Last News: "), std::string::npos);
    EXPECT_NE(DialogTexts(about).find("E-mail: "), std::string::npos);
    p->PressEscape(about);
    EXPECT_TRUE(p->WaitGone(about, 3000)) << "Escape did not close the About box";

    p->PostCommand(IDM_RECORD);
    HWND record = p->WaitDialog(5000);
    ASSERT_TRUE(record) << "no record notice";
    EXPECT_EQ(GetWindow(record, GW_OWNER), p->Main());
    EXPECT_EQ(WindowText(GetDlgItem(record, IDOK)), "OK");
    EXPECT_NE(DialogTexts(record).find("E-mail: "), std::string::npos);
    p->PressEscape(record);
    EXPECT_TRUE(p->WaitGone(record, 3000)) << "Escape did not close the record notice";

    // The logo button is the About command too; OK closes the box.
    PostMessageA(p->Logo(), BM_CLICK, 0, 0);
    HWND again = p->WaitDialog(5000);
    ASSERT_TRUE(again) << "the logo did not open the About box";
    EXPECT_EQ(WindowText(again), "About Zulin Player");
    EXPECT_TRUE(p->Dismiss(again, IDOK));

    // Everything is as it was.
    EXPECT_TRUE(p->Running());
    EXPECT_EQ(p->Title(), "Zulin Player");
    EXPECT_FALSE(p->ButtonEnabled(IDM_PLAY));
    EXPECT_EQ(OuterSize(*p), kCollapsed);
}

TEST_F(Window, ClosingTheWindowWhilePlayingEndsCleanly)
{
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    std::set<std::string> made = Difference(PlaybackCopies(), before);
    ASSERT_EQ(made.size(), 1u);
    // Paused is the other state in which a sequencer stays open at the end.
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    PostMessageA(p->Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(p->WaitExit(5000));
    DWORD code = 1;
    GetExitCodeProcess(p->Process(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(FileExists(*made.begin())) << "the playback copy outlived the player";
}

TEST_F(Window, VolumeControlStartsTheMixerThatExists)
{
    // Here the first choice, "sndvol32.exe", does not exist; a stand-in "sndvol.exe" waits in
    // the folder the player starts in.
    std::string dir = WorkDir() + "volume\\";
    CreateDirectoryA(dir.c_str(), NULL);
    ASSERT_TRUE(CopyFileA((ExeDir() + "e2e_tests.exe").c_str(), (dir + "sndvol.exe").c_str(), FALSE));
    Player* p = Launch("", true, dir);
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonEnabled(IDM_VOLUME));
    ASSERT_TRUE(p->ClickToolbarButton(IDM_VOLUME));
    EXPECT_TRUE(WaitFor([&] { return FileExists(dir + "started.txt"); }, 5000)) << "no volume control started";
    Bytes note = ReadBytes(dir + "started.txt");
    EXPECT_EQ(std::string(note.begin(), note.end()), "sndvol.exe started");
    EXPECT_TRUE(p->Dialogs().empty()) << "nothing is reported";
}

TEST_F(Window, NewIsNotImplemented)
{
    Player* p = Launch();
    ASSERT_TRUE(p);
    for (int id : {IDM_NEW, 102}) {
        p->PostCommand(id);
        BoxInfo box;
        ASSERT_TRUE(p->WaitBox(&box)) << "command " << id;
        EXPECT_EQ(box.text, "Not implemented!");
        EXPECT_EQ(box.caption, "Command");
        EXPECT_EQ(box.owner, p->Main());
        EXPECT_TRUE(p->Dismiss(box.hwnd));
    }
}

TEST_F(Window, TooltipsNameTheButtonsAndTheSlider)
{
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return OuterSize(*p) == kExpanded; }, 5000));

    POINT stop;
    ASSERT_TRUE(p->ButtonCenter(IDM_STOP, &stop));
    ASSERT_TRUE(p->Hover(stop));
    EXPECT_TRUE(WaitFor([&] { return p->Tooltip() == "Stop Playing Music (Go to begining)"; }, 4000))
        << "shown: \"" << p->Tooltip() << "\"";

    RECT slider;
    GetWindowRect(p->Slider(), &slider);
    POINT onSlider = {(slider.left + slider.right) / 2, slider.bottom - 4};
    ASSERT_TRUE(p->Hover(onSlider));
    EXPECT_TRUE(WaitFor([&] { return p->Tooltip() == "Set Music Position"; }, 4000))
        << "shown: \"" << p->Tooltip() << "\"";
}

// A song with more rows than the view shows.
Bytes ManyRowsSong(int rows)
{
    smf::File file(1, 96);
    file.Add(smf::Track().Tempo(0, 500000).End(96 * 8));
    for (int i = 0; i < rows; ++i)
        file.Add(smf::Track().Name(0, "Track " + std::to_string(i)).Program(0, i % 9, i)
                     .NoteOn(0, i % 9, 50, 80).NoteOff(96, i % 9, 50, 0).End());
    return file.Bytes();
}

TEST_F(Window, TrackViewScrollsByWholeRows)
{
    const int n = 30;
    std::string path = WriteWorkFile("many-rows.mid", ManyRowsSong(n));
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitFor([&] { return OuterSize(*p) == kExpanded; }, 5000));
    // Rows out of sight get their controls a moment after the load.
    ASSERT_TRUE(WaitFor([&] { return p->Rows() == n; }, 5000));
    RECT view;
    GetClientRect(p->TrackView(), &view);
    const int fit = view.bottom / 21;
    ASSERT_LT(fit, n);

    auto top = [&](int row) {
        RECT r;
        GetWindowRect(p->Row(0, row), &r);
        return (int)r.top;
    };
    auto scroll = [&](int code, int pos) {
        DWORD_PTR result;
        SendMessageTimeoutA(p->TrackView(), WM_VSCROLL, MAKEWPARAM(code, pos), 0, SMTO_NORMAL, 5000, &result);
    };
    const int home = top(0);
    EXPECT_EQ(top(1) - home, 21);

    scroll(SB_LINEUP, 0);
    EXPECT_EQ(top(0), home) << "scrolled above the first row";
    scroll(SB_LINEDOWN, 0);
    EXPECT_EQ(top(0), home - 21);
    scroll(SB_THUMBTRACK, 10);
    EXPECT_EQ(top(0), home - 21) << "the view followed the thumb while it was dragged";
    scroll(SB_THUMBPOSITION, 20);
    EXPECT_EQ(top(20), home);
    scroll(SB_PAGEUP, 0);
    EXPECT_EQ(top(std::max(0, 20 - fit)), home) << fit << " rows fit";
    scroll(SB_BOTTOM, 0);
    EXPECT_EQ(top(n - 1), home) << "the last row should reach the top";
    scroll(SB_LINEDOWN, 0);
    EXPECT_EQ(top(n - 1), home) << "scrolled past the last row";
    scroll(SB_TOP, 0);
    EXPECT_EQ(top(0), home);
}

}  // namespace
}  // namespace e2e
