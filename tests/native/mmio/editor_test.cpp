// The settings editor: byte rewrites in place, and refusals that leave the song intact.
#include "songtest.h"

using smf::Bytes;

class Editor : public SongTest {
protected:
    // Loads one track (after a tempo track) and returns its chunk ordinal.
    int LoadTrack(const smf::Track& t)
    {
        smf::File f(1);
        f.Add(smf::Track().Tempo(0, 500000).End()).Add(t);
        EXPECT_EQ(Load(f.Bytes()), 1);
        Reports().clear();
        return 1;
    }
};

TEST_F(Editor, MuteSwapsOwnStatusBytesAndIsItsOwnInverse)
{
    smf::Track t;
    t.Pan(0, 2, 64).Volume(0, 2, 100)
        .NoteOn(0, 2, 0x3C, 0x40).Data(10, {0x3C, 0x00})   // 90 3C 40, 3C 00 on running status
        .NoteOff(0, 2, 0x3C, 0x00)
        .Controller(0, 2, 64, 127)
        .End();
    int track = LoadTrack(t);
    Bytes before = Image();

    EXPECT_EQ(settrack(pFileBuf, track, 0x80, 0), 1);
    Bytes muted = t.data;
    muted[9] = 0x82;    // only the status bytes change
    muted[16] = 0x92;
    EXPECT_EQ(Events(track), muted);

    EXPECT_EQ(settrack(pFileBuf, track, 0x80, 0), 1);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(settrack(pFileBuf, track, 0x90, 0), 1);   // 0x90 acts alike
    EXPECT_EQ(Events(track), muted);
    EXPECT_EQ(settrack(pFileBuf, track, 0x190, 0), 1);  // only the low byte of the code counts
    EXPECT_EQ(Image(), before);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Editor, VolumePanAndProgramRewriteEveryMatchingEvent)
{
    smf::Track t;
    t.Program(0, 0, 5).Volume(0, 0, 80).Pan(0, 1, 3).NoteOn(0, 0, 60, 1)
        .Data(0, {61, 1}).Volume(0, 0, 90).Data(0, {7, 91})   // controller on running status
        .Text(0, "meta").Data(0, {10, 4})                    // pan on running status after a meta event
        .Program(0, 0, 6).Controller(0, 0, 11, 7).End();
    int track = LoadTrack(t);

    EXPECT_EQ(settrack(pFileBuf, track, EV_VOLUME, 100), 1);
    EXPECT_EQ(settrack(pFileBuf, track, EV_PAN, 0x1234), 1);   // value taken as a byte: 0x34
    EXPECT_EQ(settrack(pFileBuf, track, EV_PROGRAM, 24), 1);
    Bytes expected = t.data;
    expected[2] = 24;     // C0 05
    expected[6] = 100;    // B0 07 50
    expected[10] = 0x34;  // B1 0A 03
    expected[21] = 100;   // B0 07 5A
    expected[24] = 100;   // 07 5B
    expected[35] = 0x34;  // 0A 04
    expected[38] = 24;    // C0 06
    EXPECT_EQ(Events(track), expected);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Editor, InsertedVolumeEventTakesTheSetting)
{
    smf::Track t;
    t.NoteOn(0, 4, 60, 1).End();
    int track = LoadTrack(t);
    EXPECT_EQ(settrack(pFileBuf, track, EV_VOLUME, 100), 1);
    EXPECT_EQ(Events(track), Concat({{0x00, 0xB4, 0x0A, 0x40, 0x00, 0xB4, 0x07, 0x64}, t.data}));
}

TEST_F(Editor, PanOnTwoChannelTrackWithoutPanChangesNothing)
{
    smf::Track t;
    t.NoteOn(0, 0, 60, 1).NoteOn(0, 1, 60, 1).End();
    int track = LoadTrack(t);
    Bytes before = Image();
    EXPECT_EQ(settrack(pFileBuf, track, EV_PAN, 10), 1);
    EXPECT_EQ(settrack(pFileBuf, track, 3, 10), 1);   // not a setting
    EXPECT_EQ(Image(), before);
}

TEST_F(Editor, SpareBytesAfterEndOfTrack)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).NoteOn(0, 0, 60, 1).End().Raw({0x00, 0x90});
    int track = LoadTrack(t);
    EXPECT_EQ(settrack(pFileBuf, track, EV_VOLUME, 55), 0);
    EXPECT_EQ(Events(track)[7], 55);   // applied before the report
    ASSERT_EQ(ReportTexts(), std::vector<std::string>{"Error setting track"});
    EXPECT_EQ(Reports()[0].caption, "Test");
    EXPECT_EQ(Reports()[0].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(Reports()[0].owner, hWndMain);
}

TEST_F(Editor, StopsAtTheFirstUndecodableEvent)
{
    smf::Track t;
    // After F4 the bytes 90 3C 07 would read as a note-on that is no event at all.
    t.Pan(0, 0, 1).Volume(0, 0, 2).Raw({0x00, 0xF4, 0x90, 0x3C, 0x07, 0x00}).NoteOn(0, 0, 60, 1).End();
    int track = LoadTrack(t);   // reported at load
    Bytes before = Image();
    EXPECT_EQ(settrack(pFileBuf, track, 0x80, 0), 0);
    EXPECT_EQ(settrack(pFileBuf, track, EV_VOLUME, 9), 0);
    EXPECT_EQ(Events(track)[7], 9);   // the volume before the fault was set
    DWORD start, end;
    ASSERT_TRUE(FindTrackChunk(pFileBuf, dwFileBufSize, track, &start, &end));
    before[start + 7] = 9;
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>(2, "Error setting track"));
}

TEST_F(Editor, TrackOutsideTheImageIsRefused)
{
    int track = LoadTrack(smf::Track().NoteOn(0, 0, 60, 1).End());
    Bytes before = Image();
    EXPECT_EQ(settrack(pFileBuf, track + 1, 0x80, 0), 0);
    EXPECT_EQ(settrack(pFileBuf, -1, 0x80, 0), 0);
    EXPECT_EQ(settrack(pFileBuf, 1000000, 0x80, 0), 0);
    EXPECT_EQ(settrack(nullptr, 0, 0x80, 0), 0);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(Reports().size(), 4u);
}

TEST_F(Editor, EventCutAtChunkEndIsNotRewritten)
{
    smf::Track t;
    t.Pan(0, 0, 1).Volume(0, 0, 2).Raw({0x00, 0xB0, 0x07});   // controller missing its value
    Bytes file = smf::File(0).Add(t).Bytes();
    file.push_back(0x7F);   // a byte past the chunk, outside the track
    ASSERT_EQ(Load(file), 1);
    Reports().clear();
    EXPECT_EQ(settrack(pFileBuf, 0, EV_VOLUME, 5), 0);
    EXPECT_EQ(pFileBuf[dwFileBufSize - 1], 0x7F);
    EXPECT_EQ(Events(0)[7], 5);
}

TEST_F(Editor, TrackStartingOnRunningStatusIsWalkedAsItWasLoaded)
{
    smf::Track first, second, third;
    first.Pan(0, 2, 1).Volume(0, 2, 2).NoteOn(0, 2, 60, 1).End();
    // Continues 92 from the track before it: a note 07 40, then a controller and a note with
    // their own status bytes. No default goes in front of that first note.
    second.Data(0, {0x07, 0x40}).Controller(0, 2, 7, 80).NoteOn(0, 2, 60, 0).End();
    third.Pan(0, 5, 1).Volume(0, 5, 2).Program(0, 5, 7).End();   // leaves C5 behind
    ASSERT_EQ(Load(smf::File(1).Add(first).Add(second).Add(third).Bytes()), 1);
    ASSERT_TRUE(Reports().empty());
    EXPECT_EQ(MidiInfo.Track[1].bChannel, 2);
    EXPECT_EQ(Events(1), second.data);

    ASSERT_EQ(settrack(pFileBuf, 2, EV_PROGRAM, 9), 1);
    ASSERT_EQ(settrack(pFileBuf, 1, EV_VOLUME, 50), 1);
    Bytes expected = second.data;
    expected[6] = 50;   // B2 07 50; the note 07 40 before it stays a note
    EXPECT_EQ(Events(1), expected);
    ASSERT_EQ(settrack(pFileBuf, 2, EV_PROGRAM, 9), 1);
    ASSERT_EQ(settrack(pFileBuf, 1, 0x80, 0), 1);
    expected[8] = 0x82;
    EXPECT_EQ(Events(1), expected);
    EXPECT_TRUE(Reports().empty());
}
