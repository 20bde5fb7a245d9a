// Channel rows in a real track view: where they stand, and each control's change reaching
// only its channel of its track, together with the track's own row and the solo.
#include "ctrl_harness.h"

using namespace ctrltest;

namespace {

// Chunk 1, row 0: a track on channel indexes 2 and 3 (only 2 has a volume); chunk 2, row 1:
// a track on channel 5. Lines: the mixed track 0, its channel rows 1 and 2, the lead 3.
smf::File TwoParts()
{
    smf::File f(1, 96);
    f.Add(smf::Track().Tempo(0, 500000).End());
    f.Add(smf::Track().Name(0, "Mixed").Volume(0, 2, 80).NoteOn(0, 2, 60, 90).NoteOff(48, 2, 60, 0)
              .NoteOn(0, 3, 64, 90).NoteOff(48, 3, 64, 0).End());
    f.Add(smf::Track().Name(0, "Lead").Volume(0, 5, 90).Pan(0, 5, 64).NoteOn(0, 5, 72, 90).NoteOff(48, 5, 72, 0).End());
    return f;
}

class ChannelRows : public TrackViewTest {
protected:
    void SetUp() override
    {
        TrackViewTest::SetUp();
        Load(TwoParts());
        before = Image();
    }
    void TearDown() override
    {
        if (!TrackViewChannelsShown())
            ShowTrackViewChannels(view, true);
    }
    HWND Channel(int k, int column) { return GetChannelRowControl(k, column); }
    // before with the given channels of chunk 1 swapped, and chunk 2 switched off or not.
    smf::Bytes Swapped(unsigned mixedChannels, bool leadOff)
    {
        smf::Bytes b = before;
        if (mixedChannels) {
            EXPECT_EQ(setchannelmute(b.data(), 1, (WORD)mixedChannels), 1);
        }
        if (leadOff) {
            EXPECT_EQ(settrack(b.data(), 2, EV_NOTEOFF, 0), 1);
        }
        return b;
    }
    smf::Bytes before;
};

TEST_F(ChannelRows, StandUnderTheirTrackWithLabelListAndSliders)
{
    EXPECT_EQ(GetChannelRowCount(), 2);
    EXPECT_EQ(GetTrackViewLineCount(), 4);
    EXPECT_EQ(DirectChildren(TrackViewRowPane()), 4 * 6);
    char text[32] = "";
    GetWindowTextA(Channel(0, COL_NAME), text, sizeof text);
    EXPECT_STREQ(text, "Channel 3");
    GetWindowTextA(Channel(1, COL_NAME), text, sizeof text);
    EXPECT_STREQ(text, "Channel 4");
    for (int column = 0; column < ROW_COLUMNS; column++) {
        RowRect want = ChannelRowControlRect(column, 2);
        RECT rc = RectInView(Channel(1, column));
        EXPECT_EQ(rc.left, want.x) << column;
        EXPECT_EQ(rc.top, want.y) << column;
        EXPECT_EQ(RectInView(hwndOn[1]).top, RowControlRect(COL_ON, 3).y);
    }
    EXPECT_EQ(SendMessageA(Channel(0, COL_INSTR), CB_GETCOUNT, 0, 0), 128);
    EXPECT_EQ(SendMessageA(Channel(0, COL_INSTR), CB_GETCURSEL, 0, 0), 0);   // no program change
    EXPECT_TRUE(IsWindowEnabled(Channel(0, COL_INSTR)));
    EXPECT_EQ(SendMessageA(Channel(0, COL_VOL), TBM_GETPOS, 0, 0), 80);
    EXPECT_EQ(SendMessageA(Channel(1, COL_VOL), TBM_GETPOS, 0, 0), 127);
    EXPECT_EQ(SendMessageA(hwndInstr[0], CB_GETCOUNT, 0, 0), 1);   // the track's row: "Mixed Music"
}

TEST_F(ChannelRows, OnBoxSilencesItsChannelAndTheTrackSilencesAll)
{
    SendMessageA(Channel(0, COL_ON), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(Channel(0, COL_ON)));
    EXPECT_EQ(Image(), Swapped(1u << 2, false));
    EXPECT_EQ(fMidiChange, 1);

    // The track off: every channel silent, the channel rows' boxes gray and keep their marks.
    SendMessageA(hwndOn[0], BM_CLICK, 0, 0);
    EXPECT_EQ(Image(), Swapped((1u << 2) | (1u << 3), false));
    EXPECT_FALSE(IsWindowEnabled(Channel(0, COL_ON)));
    EXPECT_FALSE(IsWindowEnabled(Channel(1, COL_ON)));
    EXPECT_FALSE(Checked(Channel(0, COL_ON)));

    SendMessageA(hwndOn[0], BM_CLICK, 0, 0);
    EXPECT_EQ(Image(), Swapped(1u << 2, false));
    EXPECT_TRUE(IsWindowEnabled(Channel(0, COL_ON)));
    SendMessageA(Channel(0, COL_ON), BM_CLICK, 0, 0);
    EXPECT_EQ(Image(), before);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ChannelRows, SoloOnAChannelRowLeavesThatChannelAlone)
{
    SendMessageA(Channel(1, COL_SOLO), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(Channel(1, COL_SOLO)));
    EXPECT_EQ(Image(), Swapped(1u << 2, true));
    EXPECT_FALSE(IsWindowEnabled(hwndOn[1]));
    EXPECT_FALSE(IsWindowEnabled(Channel(0, COL_VOL)));

    // Taken over by the other track's row, then released.
    SendMessageA(hwndOnly[1], BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(Channel(1, COL_SOLO)));
    EXPECT_EQ(Image(), Swapped((1u << 2) | (1u << 3), false));
    SendMessageA(hwndOnly[1], BM_CLICK, 0, 0);
    EXPECT_EQ(Image(), before);
    EXPECT_TRUE(IsWindowEnabled(Channel(0, COL_VOL)));
    EXPECT_TRUE(IsWindowEnabled(Channel(1, COL_ON)));
}

TEST_F(ChannelRows, SlidersAndListSetTheirChannelInsertingWhatIsMissing)
{
    size_t data = ChunkData(before, 1);
    SendMessageA(Channel(0, COL_VOL), TBM_SETPOS, TRUE, 50);
    SendMessageA(view, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)Channel(0, COL_VOL));
    smf::Bytes after = Image();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[data + 9 + 3], 50);   // after the name: 00 B2 07 50 becomes 00 B2 07 32

    SendMessageA(Channel(1, COL_BAL), TBM_SETPOS, TRUE, 10);
    SendMessageA(view, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)Channel(1, COL_BAL));
    after = Image();
    ASSERT_EQ(after.size(), before.size() + 4);
    EXPECT_EQ(smf::Bytes(after.begin() + data, after.begin() + data + 4), (smf::Bytes{0x00, 0xB3, 0x0A, 10}));
    EXPECT_EQ(MidiInfo.Track[1].dwSize, (DWORD)(ChunkData(after, 2) - 8 - data));

    SendMessageA(Channel(1, COL_INSTR), CB_SETCURSEL, 24, 0);
    SendMessageA(view, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Channel(1, COL_INSTR)), CBN_SELCHANGE),
                 (LPARAM)Channel(1, COL_INSTR));
    after = Image();
    EXPECT_EQ(smf::Bytes(after.begin() + data, after.begin() + data + 3), (smf::Bytes{0x00, 0xC3, 24}));
    EXPECT_EQ(fMidiChange, 1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(ChannelRows, HiddenRowsLetTheTracksMoveUp)
{
    ShowTrackViewChannels(view, false);
    EXPECT_FALSE(TrackViewChannelsShown());
    EXPECT_EQ(GetTrackViewLineCount(), 2);
    EXPECT_FALSE(IsWindowVisible(Channel(0, COL_ON)));
    EXPECT_EQ(RectInView(hwndOn[1]).top, RowControlRect(COL_ON, 1).y);
    ShowTrackViewChannels(view, true);
    EXPECT_TRUE(IsWindowVisible(Channel(1, COL_BAL)));
    EXPECT_EQ(RectInView(hwndOn[1]).top, RowControlRect(COL_ON, 3).y);
}

}  // namespace
