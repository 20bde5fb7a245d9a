// The song record's accessors, on records the reader fills and on rows out of range.
#include "songtest.h"

class Record : public SongTest {};

TEST_F(Record, EmptyBeforeAnyLoad)
{
    EXPECT_EQ(getnumtracks(&MidiInfo), 0);
    EXPECT_STREQ(getmidiformat(&MidiInfo), "Single track midi");
}

TEST_F(Record, FormatNames)
{
    const char* names[] = {"Single track midi", "Multitrack midi", "Multitrack asynch-midi"};
    for (WORD f = 0; f < 3; ++f) {
        MidiInfo.wFormat = f;
        EXPECT_STREQ(getmidiformat(&MidiInfo), names[f]);
    }
    MidiInfo.wFormat = 3;
    EXPECT_EQ(getmidiformat(&MidiInfo), nullptr);
}

TEST_F(Record, ListIndexSkipsTracksWithoutNotes)
{
    smf::Track tempo, lead;
    tempo.Tempo(0, 500000).Meta(0, 0x58, smf::Bytes{4, 2, 24, 8}).Controller(0, 0, 7, 1).End();
    lead.Volume(0, 1, 100).Volume(0, 1, 100).NoteOn(0, 1, 60, 1).End();
    ASSERT_EQ(Load(smf::File(1, 480).Add(tempo).Add(lead).Bytes()), 1);
    EXPECT_EQ(getnumtracks(&MidiInfo), 1);
    EXPECT_EQ(getticks(&MidiInfo), 480);
    EXPECT_EQ(MidiInfo.nTrackIndex[0], 1);
    EXPECT_EQ(getvol(&MidiInfo, 0), 100);
    EXPECT_EQ(getbal(&MidiInfo, 0), 64);   // inserted default
    EXPECT_EQ(gettracksize(&MidiInfo, 0), lead.data.size() + 4);
    EXPECT_EQ(getinstr(&MidiInfo, 0), INSTR_NONE);
}

TEST_F(Record, InstrumentCodes)
{
    smf::Track drums, mixed, bare, programs, bad;
    drums.Program(0, 9, 0).NoteOn(0, 9, 36, 1).End();
    mixed.Program(0, 0, 5).NoteOn(0, 0, 60, 1).NoteOn(0, 1, 60, 1).End();
    bare.NoteOn(0, 3, 60, 1).End();
    programs.Program(0, 4, 24).NoteOn(0, 4, 60, 1).Program(0, 4, 40).End();
    bad.Program(0, 6, 0x85).End();   // a program byte with the high bit set
    ASSERT_EQ(Load(smf::File(1).Add(drums).Add(mixed).Add(bare).Add(programs).Add(bad).Bytes()), 1);
    EXPECT_EQ(getinstr(&MidiInfo, 0), INSTR_DRUMS);
    EXPECT_EQ(getinstr(&MidiInfo, 1), INSTR_MIXED);
    EXPECT_EQ(getinstr(&MidiInfo, 2), INSTR_NONE);
    EXPECT_EQ(getinstr(&MidiInfo, 3), 24);
    EXPECT_EQ(getinstr(&MidiInfo, 4), INSTR_INVALID);
    EXPECT_EQ(getvol(&MidiInfo, 1), 127);
}

TEST_F(Record, MixedVolumeReadsAsFull)
{
    smf::Track t;
    t.Volume(0, 0, 100).Volume(0, 0, 90).Pan(0, 0, 20).NoteOn(0, 0, 60, 1).End();
    ASSERT_EQ(Load(smf::File(0).Add(t).Bytes()), 1);
    EXPECT_EQ(getvol(&MidiInfo, 0), 127);
    EXPECT_EQ(getbal(&MidiInfo, 0), 20);
}

TEST_F(Record, RowsOutOfRangeGiveSafeValues)
{
    ASSERT_EQ(Load(smf::File(0).Add(smf::Track().Name(0, "A").NoteOn(0, 0, 60, 1).End()).Bytes()), 1);
    for (int row : {-1, 1, 100, 100000}) {
        EXPECT_EQ(gettracksize(&MidiInfo, row), 0u);
        EXPECT_EQ(getvol(&MidiInfo, row), 0);
        EXPECT_EQ(getbal(&MidiInfo, row), 0);
        EXPECT_STREQ(gettrackname(&MidiInfo, row), "");
        EXPECT_EQ(getinstr(&MidiInfo, row), INSTR_NONE);
    }
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "A");
    // A corrupt index entry is not followed either.
    MidiInfo.nTrackIndex[0] = 5000;
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "");
    EXPECT_EQ(getnumtracks(nullptr), 0);
    EXPECT_EQ(getmidiformat(nullptr), nullptr);
}
