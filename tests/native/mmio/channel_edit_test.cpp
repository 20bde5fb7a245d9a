// The channel editor: one channel of a track set in place, an event inserted the first time a
// channel lacks it, and every other channel's bytes left as they were.
#include "songtest.h"

using smf::Bytes;

namespace {

// One edit of a channel, and what the song looks like after it.
struct ChannelEdit {
    const char* name;
    int channel;
    int code;       // 0x80 mute, EV_VOLUME, EV_PAN, EV_PROGRAM
    int value;
    bool inserts;   // the channel has no such event: one goes first in the track
};

// A format 0 song on all 16 channels, each its own key. Even channels carry a program change,
// a volume and a pan event; channel 4 its pan on running status; channel 5 its second note on
// running status. Built as it must read after the edit (none for a null edit).
Bytes SixteenChannelSong(const ChannelEdit* edit)
{
    auto edited = [&](int channel, int code, int v) {
        return edit && edit->channel == channel && edit->code == code ? edit->value : v;
    };
    smf::Track t;
    if (edit && edit->inserts) {
        BYTE status = (BYTE)((edit->code == EV_PROGRAM ? 0xC0 : 0xB0) | edit->channel);
        if (edit->code == EV_PROGRAM)
            t.Raw({0x00, status, (uint8_t)edit->value});
        else
            t.Raw({0x00, status, (uint8_t)edit->code, (uint8_t)edit->value});
    }
    t.Name(0, "All");
    for (int c = 0; c < 16; c += 2) {
        t.Program(0, c, edited(c, EV_PROGRAM, 10 + c)).Volume(0, c, edited(c, EV_VOLUME, 100));
        if (c == 4)
            t.Data(0, {10, (uint8_t)edited(c, EV_PAN, 30)});
        else
            t.Pan(0, c, edited(c, EV_PAN, 64));
    }
    for (int c = 0; c < 16; ++c) {
        bool muted = edit && edit->code == EV_NOTEOFF && edit->channel == c;
        t.Channel(0, (uint8_t)((muted ? 0x80 : 0x90) | c), {(uint8_t)(40 + c), 100});
        if (c == 5)
            t.Data(0, {(uint8_t)(41 + c), 100});
    }
    for (int c = 0; c < 16; ++c) {
        bool muted = edit && edit->code == EV_NOTEOFF && edit->channel == c;
        t.Channel(96, (uint8_t)((muted ? 0x90 : 0x80) | c), {(uint8_t)(40 + c), 0});
        if (c == 5)
            t.Data(0, {(uint8_t)(41 + c), 0});
    }
    t.End();
    return smf::File(0).Add(t).Bytes();
}

const ChannelEdit kEdits[] = {
    {"MuteOwnStatus", 2, EV_NOTEOFF, 0, false},
    {"MuteRunningStatus", 5, EV_NOTEOFF, 0, false},
    {"MuteDrums", 9, EV_NOTEOFF, 0, false},
    {"VolumeExisting", 2, EV_VOLUME, 80, false},
    {"VolumeInserted", 3, EV_VOLUME, 80, true},
    {"VolumeInsertedLastChannel", 15, EV_VOLUME, 1, true},
    {"PanExisting", 6, EV_PAN, 0, false},
    {"PanOnRunningStatus", 4, EV_PAN, 127, false},
    {"PanInserted", 7, EV_PAN, 20, true},
    {"ProgramExisting", 0, EV_PROGRAM, 24, false},
    {"ProgramInserted", 1, EV_PROGRAM, 33, true},
};

class ChannelEditor : public SongTest, public ::testing::WithParamInterface<ChannelEdit> {};

}  // namespace

TEST_P(ChannelEditor, ChangesThatChannelAlone)
{
    const ChannelEdit& e = GetParam();
    ASSERT_EQ(Load(SixteenChannelSong(nullptr)), 1);
    ASSERT_EQ(MidiInfo.Track[0].bChannel, MI_MIXED);
    ASSERT_EQ(getchannels(&MidiInfo, 0), 0xFFFF);
    DWORD sizeBefore = dwFileBufSize;

    ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, e.channel, e.code, e.value), 1);
    Bytes expected = SixteenChannelSong(&e);
    EXPECT_EQ(Image(), expected);
    EXPECT_EQ(MidiInfo.Track[0].dwSize, expected.size() - 22);
    EXPECT_EQ(dwFileBufSize, (DWORD)expected.size());
    EXPECT_EQ(e.inserts, dwFileBufSize > sizeBefore);
    if (e.code == EV_VOLUME) {
        EXPECT_EQ(getchannelvol(&MidiInfo, 0, e.channel), e.value);
    } else if (e.code == EV_PAN) {
        EXPECT_EQ(getchannelbal(&MidiInfo, 0, e.channel), e.value);
    } else if (e.code == EV_PROGRAM) {
        EXPECT_EQ(getchannelinstr(&MidiInfo, 0, e.channel), e.value);
    }

    // The next edit of the same channel is in place; muting twice restores the bytes.
    DWORD grown = dwFileBufSize;
    ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, e.channel, e.code, e.value), 1);
    EXPECT_EQ(dwFileBufSize, grown);
    if (e.code == EV_NOTEOFF)
        EXPECT_EQ(Image(), SixteenChannelSong(nullptr));
    else
        EXPECT_EQ(Image(), expected);
    EXPECT_TRUE(Reports().empty());
}

INSTANTIATE_TEST_SUITE_P(SixteenChannels, ChannelEditor, ::testing::ValuesIn(kEdits),
                         [](const ::testing::TestParamInfo<ChannelEdit>& info) { return std::string(info.param.name); });

TEST_F(SongTest, ChannelRecordOfAMixedTrack)
{
    ASSERT_EQ(Load(SixteenChannelSong(nullptr)), 1);
    EXPECT_EQ(getchannelinstr(&MidiInfo, 0, 2), 12);
    EXPECT_EQ(getchannelinstr(&MidiInfo, 0, 3), 0);             // no program change: program 0
    EXPECT_EQ(getchannelinstr(&MidiInfo, 0, 9), INSTR_DRUMS);
    EXPECT_EQ(getchannelvol(&MidiInfo, 0, 2), 100);
    EXPECT_EQ(getchannelvol(&MidiInfo, 0, 3), 127);
    EXPECT_EQ(getchannelbal(&MidiInfo, 0, 4), 30);               // on running status
    EXPECT_EQ(getchannelbal(&MidiInfo, 0, 3), 64);
}

TEST_F(SongTest, OnlyTracksOnSeveralChannelsHaveChannelRows)
{
    smf::Track tempo, single, two, controllersOnly;
    tempo.Tempo(0, 500000).End();
    single.NoteOn(0, 3, 60, 1).NoteOff(9, 3, 60, 0).End();
    two.Volume(0, 8, 90).NoteOn(0, 1, 60, 1).Program(0, 2, 5).NoteOn(0, 4, 60, 1).End();   // program alone: no row
    ASSERT_EQ(Load(smf::File(1).Add(tempo).Add(single).Add(two).Bytes()), 1);
    EXPECT_EQ(getchannels(&MidiInfo, 0), 0);
    EXPECT_EQ(getchannels(&MidiInfo, 1), (1 << 1) | (1 << 4));
    EXPECT_EQ(getchannels(&MidiInfo, 2), 0);   // no such row
}

TEST_F(SongTest, EveryChannelSetOnceGrowsTheImageSafely)
{
    // Three inserted events on each of 16 channels are far more than the load's headroom.
    ASSERT_EQ(Load(SixteenChannelSong(nullptr)), 1);
    DWORD size = dwFileBufSize;
    for (int c = 1; c < 16; c += 2)
        for (int code : {EV_VOLUME, EV_PAN, EV_PROGRAM})
            ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, c, code, 50), 1);
    EXPECT_EQ(dwFileBufSize, size + 8 * (4 + 4 + 3));
    EXPECT_EQ(getdword(pFileBuf + 18), MidiInfo.Track[0].dwSize);
    for (int c = 1; c < 16; c += 2) {
        EXPECT_EQ(getchannelvol(&MidiInfo, 0, c), 50);
        EXPECT_EQ(getchannelinstr(&MidiInfo, 0, c), c == 9 ? INSTR_DRUMS : 50);
    }
    // The grown image still reads as the same song, now with the channels' own events.
    Bytes grown = Image();
    ASSERT_EQ(Load(grown), 1);
    EXPECT_EQ(Image(), grown);
    EXPECT_EQ(getchannelbal(&MidiInfo, 0, 7), 50);
}

TEST_F(SongTest, ChannelMuteOfSeveralChannelsInOnePass)
{
    ASSERT_EQ(Load(SixteenChannelSong(nullptr)), 1);
    ChannelEdit two = {"", 2, EV_NOTEOFF, 0, false}, five = {"", 5, EV_NOTEOFF, 0, false};
    ASSERT_EQ(setchannelmute(pFileBuf, 0, (1 << 2) | (1 << 5)), 1);
    ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, 5, EV_NOTEOFF, 0), 1);
    EXPECT_EQ(Image(), SixteenChannelSong(&two));
    ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, 2, EV_NOTEON, 0), 1);
    ASSERT_EQ(setchannel(&pFileBuf, &MidiInfo, 0, 5, EV_NOTEON, 0), 1);
    EXPECT_EQ(Image(), SixteenChannelSong(&five));
}

TEST_F(SongTest, NoEventGoesBeforeNotesOnTheStatusOfTheTrackBefore)
{
    smf::Track first, second;
    first.NoteOn(0, 2, 60, 1).NoteOn(0, 3, 60, 1).End();
    second.Data(0, {0x07, 0x40}).NoteOn(0, 4, 60, 0).End();   // runs on 93 from the track before
    ASSERT_EQ(Load(smf::File(1).Add(first).Add(second).Bytes()), 1);
    ASSERT_EQ(getchannels(&MidiInfo, 1), (1 << 3) | (1 << 4));
    Bytes before = Image();
    EXPECT_EQ(setchannel(&pFileBuf, &MidiInfo, 1, 4, EV_VOLUME, 10), 0);
    EXPECT_EQ(Image(), before);
    EXPECT_EQ(getchannelvol(&MidiInfo, 1, 4), 127);
    EXPECT_EQ(ReportTexts(), std::vector<std::string>{"Error setting track"});
}
