// A song opened from the command line: its rows, its playback, and every row control, checked
// against what the song layer makes of the same edits.
#include <functional>
#include "e2e/fixture.h"

namespace e2e {
namespace {

std::string Hex(const Bytes& b, size_t at)
{
    char buf[8];
    snprintf(buf, sizeof buf, "%02X", at < b.size() ? b[at] : 0);
    return buf;
}

// Equal images, or where they first differ.
::testing::AssertionResult SameImage(const Bytes& actual, const Bytes& expected)
{
    if (actual == expected)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    return ::testing::AssertionFailure() << "playback copy has " << actual.size() << " bytes, expected "
                                         << expected.size() << "; first difference at " << at << ": "
                                         << Hex(actual, at) << " instead of " << Hex(expected, at);
}

class Rows : public PlayerTest {
protected:
    // Starts the player on a song and finds its playback copy.
    Player* Open(const std::string& path)
    {
        std::set<std::string> before = PlaybackCopies();
        Player* p = Launch(Quoted(path));
        if (!p)
            return nullptr;
        for (const std::string& s : PlaybackCopies())
            if (!before.count(s))
                copy_ = s;
        return p;
    }
    Bytes Copy() const { return ReadBytes(copy_); }
    std::string copy_;
};

// Tenths of a second the time display shows, read after the next tick.
int ShownTenths(Player* p)
{
    return TenthsOf(p->Time());
}

TEST_F(Rows, DemoFromTheCommandLineListsEveryTrackAndPlays)
{
    Song song(DemoSong());
    ASSERT_TRUE(song.loaded());
    ASSERT_GE(song.rows(), 5);

    Player* p = Open(DemoPath());
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_EQ(p->Title(), "Zulin Player - " + DemoPath());
    ASSERT_EQ(p->Rows(), song.rows());

    bool drums = false, mixed = false;
    for (int r = 0; r < song.rows(); ++r) {
        SCOPED_TRACE("row " + std::to_string(r));
        EXPECT_TRUE(p->Checked(p->Row(0, r)));
        EXPECT_FALSE(p->Checked(p->Row(1, r)));
        EXPECT_EQ(WindowText(p->Row(2, r)), gettrackname(&song.info(), r));
        HWND instr = p->Row(3, r);
        int program = getinstr(&song.info(), r);
        if (program < 128) {
            ASSERT_EQ(p->ComboCount(instr), 128);
            EXPECT_EQ(p->ComboSel(instr), program);
            EXPECT_TRUE(IsWindowEnabled(instr));
            for (int k : {0, program, 44, 82, 127})
                EXPECT_EQ(p->ComboText(instr, k), kProgramNames[k]) << "entry " << k;
        } else {
            const char* only = program == INSTR_DRUMS ? "Standard Midi Drums" : "Mixed Music";
            (program == INSTR_DRUMS ? drums : mixed) = true;
            EXPECT_EQ(p->ComboCount(instr), 1);
            EXPECT_EQ(p->ComboSel(instr), 0);
            EXPECT_EQ(p->ComboText(instr, 0), only);
            EXPECT_FALSE(IsWindowEnabled(instr));
        }
        EXPECT_EQ(p->TrackbarPos(p->Row(4, r)), getvol(&song.info(), r));
        EXPECT_EQ(p->TrackbarPos(p->Row(5, r)), getbal(&song.info(), r));
        EXPECT_EQ(SendMessageA(p->Row(4, r), TBM_GETRANGEMAX, 0, 0), 127);
        EXPECT_EQ(SendMessageA(p->Row(5, r), TBM_GETRANGEMAX, 0, 0), 127);
    }
    // Rows are 21 pixels apart, their controls side by side; the channel rows of a track on
    // several channels stand between it and the next track.
    for (int r : {0, 1, song.rows() - 1}) {
        SCOPED_TRACE("row " + std::to_string(r));
        int line = r;
        for (int q = 0; q < r; q++)
            line += __builtin_popcount(getchannels(&song.info(), q));
        const int y = 21 * line;
        RECT on = ChildRect(p->Row(0, r)), solo = ChildRect(p->Row(1, r)), name = ChildRect(p->Row(2, r));
        RECT instr = ChildRect(p->Row(3, r)), vol = ChildRect(p->Row(4, r)), bal = ChildRect(p->Row(5, r));
        EXPECT_EQ(on.left, 3);
        EXPECT_EQ(on.top, y + 2);
        EXPECT_EQ(on.right - on.left, 17);
        EXPECT_EQ(solo.left, 20);
        EXPECT_EQ(solo.top, y + 3);
        EXPECT_EQ(name.left, 39);
        EXPECT_EQ(name.top, y + 1);
        EXPECT_EQ(name.right - name.left, 130);
        EXPECT_EQ(name.bottom - name.top, 20);
        EXPECT_EQ(instr.left, 171);
        EXPECT_EQ(instr.top, y + 1);
        EXPECT_EQ(instr.right - instr.left, 130);
        EXPECT_EQ(vol.left, 302);
        EXPECT_EQ(vol.top, y);
        EXPECT_EQ(vol.right - vol.left, 127);
        EXPECT_EQ(bal.left, 430);
        EXPECT_EQ(bal.top, y);
        EXPECT_EQ(bal.bottom - bal.top, 20);
    }
    EXPECT_TRUE(drums) << "the demo's drum track shows no \"Standard Midi Drums\"";
    EXPECT_TRUE(mixed) << "the demo's two-channel track shows no \"Mixed Music\"";

    // Playing at once, at the song's own speed.
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    for (int id : {IDM_SAVEAS, IDM_STOP, IDM_PLAY, IDM_PAUSE, IDM_LOOP, IDM_TRACKLIST})
        EXPECT_TRUE(p->ButtonEnabled(id)) << "button " << id;
    EXPECT_TRUE(IsWindowEnabled(p->Slider()));

    unsigned lengthMs = SongLengthMs(DemoSong());
    ASSERT_GT(lengthMs, 10000u);
    Pause(300);
    DWORD wall0 = GetTickCount();
    int t0 = ShownTenths(p);
    int p0 = p->SliderPos();
    Pause(3000);
    int t1 = ShownTenths(p);
    DWORD wall1 = GetTickCount();
    int p1 = p->SliderPos();
    double wallTenths = (wall1 - wall0) / 100.0;
    EXPECT_GE(t1 - t0, wallTenths * 0.75 - 4) << "from " << t0 << " to " << t1;
    EXPECT_LE(t1 - t0, wallTenths * 1.25 + 4) << "from " << t0 << " to " << t1;
    EXPECT_GT(p1, p0);
    // The slider stands where the time display says: t x 200 / length + 1.
    int expectedPos = (int)((double)t1 * 100 * 200 / lengthMs) + 1;
    EXPECT_NEAR(p1, expectedPos, 3) << "time " << t1 << " tenths of " << lengthMs << " ms";
}

TEST_F(Rows, EditsWhilePlayingReachThePlaybackCopyAndPlayGoesOn)
{
    Song song(DemoSong());
    Player* p = Open(DemoPath());
    ASSERT_TRUE(p);
    ASSERT_FALSE(copy_.empty());
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_TRUE(SameImage(Copy(), song.image()));

    // Find a row with a real instrument list.
    int row = 0;
    while (row < song.rows() && getinstr(&song.info(), row) > 127)
        ++row;
    ASSERT_LT(row, song.rows());

    Pause(1200);
    struct Step {
        const char* what;
        std::function<bool()> act;
        std::function<void()> expect;
    };
    const int other = (row + 1) % song.rows();
    std::vector<Step> steps = {
        {"volume", [&] { return p->SetTrackbarEnd(p->Row(4, row), 90); }, [&] { song.Volume(row, 90); }},
        {"balance", [&] { return p->SetTrackbarEnd(p->Row(5, row), 20); }, [&] { song.Pan(row, 20); }},
        {"balance key", [&] { return p->TrackbarKey(p->Row(5, other), VK_END); }, [&] { song.Pan(other, 127); }},
        {"volume key", [&] { return p->TrackbarKey(p->Row(4, other), VK_HOME); }, [&] { song.Volume(other, 0); }},
        {"instrument", [&] { return p->SelectInstrument(row, 40); }, [&] { song.Program(row, 40); }},
        {"On off", [&] { return p->Click(p->Row(0, other)); }, [&] { song.Toggle(other); }},
        {"On again", [&] { return p->Click(p->Row(0, other)); }, [&] { song.Toggle(other); }},
        {"On off last", [&] { return p->Click(p->Row(0, song.rows() - 1)); }, [&] { song.Toggle(song.rows() - 1); }},
    };
    for (Step& s : steps) {
        SCOPED_TRACE(s.what);
        int before = ShownTenths(p);
        ASSERT_TRUE(s.act());
        s.expect();
        EXPECT_TRUE(SameImage(Copy(), song.image()));
        // Play goes on from where it was, not from the beginning.
        Pause(250);
        EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
        int after = ShownTenths(p);
        EXPECT_GE(after, before - 2) << "play restarted elsewhere";
        EXPECT_TRUE(p->Dialogs().empty());
    }
    EXPECT_EQ(p->ComboSel(p->Row(3, row)), 40);
    EXPECT_FALSE(p->Checked(p->Row(0, song.rows() - 1)));

    // Typing a new name changes nothing the sequencer hears.
    Bytes copyBefore = Copy();
    ASSERT_TRUE(p->SetText(p->Row(2, row), "Renamed"));
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(Copy(), copyBefore);
}

TEST_F(Rows, EditsWhileStoppedOrPausedReachThePlaybackCopyAtTheNextPlay)
{
    Song song(DemoSong());
    Player* p = Open(DemoPath());
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->Command(IDM_STOP));
    ASSERT_FALSE(p->ButtonChecked(IDM_PLAY));

    ASSERT_TRUE(p->SetTrackbarEnd(p->Row(4, 0), 33));
    song.Volume(0, 33);
    ASSERT_TRUE(p->Click(p->Row(0, 1)));
    song.Toggle(1);
    ASSERT_TRUE(p->Command(IDM_PLAY));
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_TRUE(SameImage(Copy(), song.image()));
    Pause(300);
    EXPECT_LT(ShownTenths(p), 20) << "Play after Stop starts from the beginning";

    // While paused, an edit is held back until the song resumes, and resumes where it paused.
    Pause(700);
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    ASSERT_TRUE(p->ButtonChecked(IDM_PAUSE));
    int paused = ShownTenths(p);
    ASSERT_TRUE(p->SetTrackbarEnd(p->Row(5, 0), 100));
    song.Pan(0, 100);
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_TRUE(SameImage(Copy(), song.image()));
    Pause(300);
    int resumed = ShownTenths(p);
    EXPECT_GE(resumed, paused - 1);
    EXPECT_LE(resumed, paused + 15);
}

TEST_F(Rows, SoloMovesAcrossRowsAndKeepsUncheckedTracksMuted)
{
    Song song(DemoSong());
    const int n = song.rows();
    ASSERT_GE(n, 4);
    Player* p = Open(DemoPath());
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));

    // Row controls that a solo enables and disables (the Solo buttons stay enabled).
    auto rowEnabled = [&](int r) {
        bool all = true, none = true;
        for (int c : {0, 2, 4, 5}) {
            bool e = IsWindowEnabled(p->Row(c, r)) != 0;
            all = all && e;
            none = none && !e;
        }
        return all ? 1 : none ? 0 : -1;
    };
    auto checkRows = [&](int solo) {
        for (int r = 0; r < n; ++r) {
            SCOPED_TRACE("row " + std::to_string(r));
            EXPECT_EQ(p->Checked(p->Row(1, r)), r == solo);
            EXPECT_TRUE(IsWindowEnabled(p->Row(1, r)));
            EXPECT_EQ(rowEnabled(r), (solo < 0 || r == solo) ? 1 : 0);
            // A list that holds only "Standard Midi Drums" or "Mixed Music" never comes alive.
            if (getinstr(&song.info(), r) > 127)
                EXPECT_FALSE(IsWindowEnabled(p->Row(3, r)));
            else
                EXPECT_EQ(IsWindowEnabled(p->Row(3, r)) != 0, solo < 0 || r == solo);
        }
    };

    // Row 1 is switched off first.
    ASSERT_TRUE(p->Click(p->Row(0, 1)));
    song.Toggle(1);
    EXPECT_TRUE(SameImage(Copy(), song.image()));

    // Solo on row 0: every other row with a checked On box is muted.
    ASSERT_TRUE(p->Click(p->Row(1, 0)));
    for (int r = 2; r < n; ++r)
        song.Toggle(r);
    checkRows(0);
    EXPECT_TRUE(SameImage(Copy(), song.image()));

    // The solo moves to row 1, whose On box is unchecked: now every track is muted.
    ASSERT_TRUE(p->Click(p->Row(1, 1)));
    song.Toggle(0);
    checkRows(1);
    EXPECT_TRUE(SameImage(Copy(), song.image()));

    // On to row 2, which sounds again; row 1 stays muted, being switched off.
    ASSERT_TRUE(p->Click(p->Row(1, 2)));
    song.Toggle(2);
    checkRows(2);
    EXPECT_TRUE(SameImage(Copy(), song.image()));

    // Released: every row comes back but row 1, still switched off.
    ASSERT_TRUE(p->Click(p->Row(1, 2)));
    song.Toggle(0);
    for (int r = 3; r < n; ++r)
        song.Toggle(r);
    checkRows(-1);
    EXPECT_TRUE(SameImage(Copy(), song.image()));
    EXPECT_FALSE(p->Checked(p->Row(0, 1)));
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));

    // With row 1 back on, the song is as loaded.
    ASSERT_TRUE(p->Click(p->Row(0, 1)));
    EXPECT_TRUE(SameImage(Copy(), Song(DemoSong()).image()));
}

}  // namespace
}  // namespace e2e
