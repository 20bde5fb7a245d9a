// The sequencer's timeline: merge order, tick-to-time conversion, and the chase state.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "mmio/timeline.h"
#include "smfbuild.h"

namespace {

struct Built {
    smf::Bytes bytes;
    TIMELINE tl{};
    int result = -1;
    explicit Built(const smf::File& f) : bytes(f.Bytes()) { result = BuildTimeline(bytes.data(), (DWORD)bytes.size(), &tl); }
    explicit Built(const smf::Bytes& b) : bytes(b) { result = BuildTimeline(bytes.data(), (DWORD)bytes.size(), &tl); }
    ~Built() { FreeTimeline(&tl); }
    // The channel and system-exclusive events, as (time, message) with sysex as 0xF0 / 0xF7.
    std::vector<std::pair<uint64_t, DWORD>> Sent() const
    {
        std::vector<std::pair<uint64_t, DWORD>> out;
        for (DWORD i = 0; i < tl.nEvents; ++i) {
            const TLEVENT& ev = tl.pEvents[i];
            if (ev.bStatus == 0xFF)
                continue;
            out.push_back({ev.qwTime, ev.bStatus >= 0xF0 ? ev.bStatus : ShortMsgOf(&ev)});
        }
        return out;
    }
};

DWORD On(int ch, int key, int vel) { return PackShortMsg((BYTE)(0x90 | ch), (BYTE)key, (BYTE)vel); }
DWORD Off(int ch, int key) { return PackShortMsg((BYTE)(0x80 | ch), (BYTE)key, 0); }
DWORD Cc(int ch, int c, int v) { return PackShortMsg((BYTE)(0xB0 | ch), (BYTE)c, (BYTE)v); }

typedef std::vector<std::pair<uint64_t, DWORD>> Timed;

}  // namespace

TEST(Timeline, MergesTracksInTimeOrderWithTempoFromAnyTrack)
{
    // 96 ticks per quarter. Tempo 600000 at the start (first track), 300000 from tick 192
    // (set by the third track); the notes of two tracks interleave.
    smf::File f(1, 96);
    f.Add(smf::Track().Tempo(0, 600000).End(400));
    f.Add(smf::Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 0).NoteOn(96, 0, 62, 90).Data(96, {62, 0}).End());
    f.Add(smf::Track().NoteOn(48, 1, 40, 80).Tempo(144, 300000).NoteOff(0, 1, 40, 0).NoteOn(96, 1, 41, 70).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    EXPECT_EQ(b.tl.wTracks, 3);
    Timed want = {
        {0, On(0, 60, 100)},
        {300000, On(1, 40, 80)},
        {600000, Off(0, 60)},
        {1200000, On(0, 62, 90)},
        {1200000, Off(1, 40)},           // same tick: the earlier track first
        {1500000, On(0, 62, 0)},         // running status after a note-on
        {1500000, On(1, 41, 70)},
    };
    EXPECT_EQ(b.Sent(), want);
    // The tempo track's end marker at tick 400 is the last event: 1200000 + 208 * 3125.
    EXPECT_EQ(b.tl.qwLength, 1200000u + 208u * 3125u);
    for (DWORD i = 1; i < b.tl.nEvents; ++i)
        EXPECT_LE(b.tl.pEvents[i - 1].qwTime, b.tl.pEvents[i].qwTime);
}

TEST(Timeline, DefaultTempoIs120BeatsPerMinute)
{
    smf::File f(0, 480);
    f.Add(smf::Track().NoteOn(480, 9, 36, 100).NoteOff(960, 9, 36, 0).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    Timed want = {{500000, On(9, 36, 100)}, {1500000, Off(9, 36)}};
    EXPECT_EQ(b.Sent(), want);
    EXPECT_EQ(b.tl.qwLength, 1500000u);
}

TEST(Timeline, SmpteDivisionsIgnoreTempo)
{
    // 25 frames a second, 40 ticks a frame: 1000 ticks a second.
    smf::File f25(0, 0xE728);
    f25.Add(smf::Track().Tempo(0, 250000).NoteOn(1000, 0, 60, 1).NoteOff(500, 0, 60, 0).End(500));
    Built b25(f25);
    ASSERT_EQ(b25.result, TL_OK);
    Timed want25 = {{1000000, On(0, 60, 1)}, {1500000, Off(0, 60)}};
    EXPECT_EQ(b25.Sent(), want25);
    EXPECT_EQ(b25.tl.qwLength, 2000000u);

    // 29 stands for 30000/1001 frames a second: 2997 ticks of 1/100 frame are 999999 us.
    smf::File f29(0, 0xE364);
    f29.Add(smf::Track().NoteOn(2997, 0, 60, 1).End());
    Built b29(f29);
    ASSERT_EQ(b29.result, TL_OK);
    EXPECT_EQ(b29.Sent(), (Timed{{999999, On(0, 60, 1)}}));

    smf::File f24(0, 0xE802);   // 24 fps, 2 ticks a frame
    f24.Add(smf::Track().NoteOn(48, 0, 60, 1).End());
    Built b24(f24);
    ASSERT_EQ(b24.result, TL_OK);
    EXPECT_EQ(b24.Sent(), (Timed{{1000000, On(0, 60, 1)}}));
}

TEST(Timeline, KeepsSysexSkipsOtherMetasAndForeignChunks)
{
    smf::Track alien;
    alien.Type("XFIH").Raw({1, 2, 3, 4});
    smf::File f(1, 96);
    f.Add(alien);
    f.Add(smf::Track().Sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).Name(0, "Piano").Controller(0, 0, 7, 100)
              .Text(10, "x").Data(0, {10, 64})   // running status continues after a meta
              .Sysex(0, {0x43, 0x10}, 0xF7).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    EXPECT_EQ(b.tl.wTracks, 1);
    Timed want = {{0, 0xF0}, {0, Cc(0, 7, 100)}, {52083, Cc(0, 10, 64)}, {52083, 0xF7}};
    EXPECT_EQ(b.Sent(), want);
    const TLEVENT& sysex = b.tl.pEvents[0];
    ASSERT_EQ(sysex.cbData, 5u);
    EXPECT_EQ(sysex.pData[0], 0x7E);
    EXPECT_EQ(sysex.pData[4], 0xF7);
}

TEST(Timeline, DamagedTracksEndWhereTheyBreak)
{
    // A note-on cut in the middle, then a chunk whose length runs past the image.
    smf::File f(1, 96);
    f.Add(smf::Track().NoteOn(0, 0, 60, 100).Raw({0x10, 0x90, 61}).Length(7));
    f.Add(smf::Track().NoteOn(0, 1, 50, 100).Raw({0x60, 0xF4, 1}).NoteOn(0, 1, 51, 100));   // F4 cannot be decoded
    f.Add(smf::Track().NoteOn(5, 2, 70, 100).Length(1000));
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    EXPECT_EQ(b.tl.wTracks, 3);
    Timed want = {{0, On(0, 60, 100)}, {0, On(1, 50, 100)}, {26041, On(2, 70, 100)}};
    EXPECT_EQ(b.Sent(), want);
}

TEST(Timeline, ReadsNoMoreTracksThanDeclared)
{
    smf::File f(1, 96);
    f.Add(smf::Track().NoteOn(0, 0, 60, 100).End()).Add(smf::Track().NoteOn(0, 1, 60, 100).End()).Tracks(1);
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    EXPECT_EQ(b.Sent(), (Timed{{0, On(0, 60, 100)}}));
}

TEST(Timeline, RejectsWhatIsNoSong)
{
    smf::File zeroDivision(0, 0);
    zeroDivision.Add(smf::Track().End());
    smf::File zeroTicksPerFrame(0, 0xE700);
    zeroTicksPerFrame.Add(smf::Track().End());
    smf::Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96};
    smf::Bytes shortHeader = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    smf::Bytes longHeaderLen = {'M', 'T', 'h', 'd', 0, 0, 0, 60, 0, 0, 0, 1, 0, 96};
    for (const smf::Bytes& bytes : {zeroDivision.Bytes(), zeroTicksPerFrame.Bytes(), riff, shortHeader, longHeaderLen}) {
        Built b(bytes);
        EXPECT_EQ(b.result, TL_NOTMIDI);
        EXPECT_EQ(b.tl.pEvents, nullptr);
        EXPECT_EQ(b.tl.nEvents, 0u);
    }
    // A header alone is a song of no length.
    smf::File empty(1, 96);
    Built b(empty);
    EXPECT_EQ(b.result, TL_OK);
    EXPECT_EQ(b.tl.nEvents, 0u);
    EXPECT_EQ(b.tl.qwLength, 0u);
    EXPECT_EQ(FindEventAt(&b.tl, 0), 0u);
}

TEST(Timeline, FindsTheFirstEventAtOrAfterATime)
{
    smf::File f(0, 96);
    f.Add(smf::Track().NoteOn(0, 0, 60, 1).NoteOn(96, 0, 61, 1).NoteOn(0, 0, 62, 1).NoteOn(96, 0, 63, 1).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    EXPECT_EQ(FindEventAt(&b.tl, 0), 0u);
    EXPECT_EQ(FindEventAt(&b.tl, 1), 1u);
    EXPECT_EQ(FindEventAt(&b.tl, 500000), 1u);
    EXPECT_EQ(FindEventAt(&b.tl, 500001), 3u);
    EXPECT_EQ(FindEventAt(&b.tl, 1000001), b.tl.nEvents);
}

namespace {

std::vector<DWORD> ChaseAt(const Built& b, uint64_t us)
{
    CHASESTATE cs;
    ComputeChase(&b.tl, FindEventAt(&b.tl, us), &cs);
    std::vector<DWORD> msgs(CHASE_MAX_MESSAGES);
    msgs.resize(ChaseMessages(&cs, msgs.data(), (DWORD)msgs.size()));
    return msgs;
}

}  // namespace

TEST(Chase, SendsTheLastSettingsBeforeTheStartInAnOrderThatWorks)
{
    smf::File f(1, 96);
    f.Add(smf::Track()
              .Controller(0, 0, 0, 1).Controller(0, 0, 32, 2).Program(0, 0, 5)
              .Volume(0, 0, 90).Pan(0, 0, 20).Controller(0, 0, 64, 127)
              .NoteOn(0, 0, 60, 100)
              .Program(48, 0, 6).Volume(0, 0, 80).PitchBend(0, 0, 0x11, 0x22)
              .Channel(0, 0xD0, {33})
              .Controller(48, 0, 7, 10)          // at 500000 us: played, not chased
              .NoteOff(0, 0, 60, 0).End());
    f.Add(smf::Track().Program(0, 9, 0).Controller(10, 9, 91, 40).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);

    std::vector<DWORD> want = {
        Cc(0, 0, 1), Cc(0, 32, 2), PackShortMsg(0xC0, 6, 0),
        Cc(0, 7, 80), Cc(0, 10, 20), Cc(0, 64, 127),
        PackShortMsg(0xE0, 0x11, 0x22), PackShortMsg(0xD0, 33, 0),
        PackShortMsg(0xC9, 0, 0), Cc(9, 91, 40),
    };
    EXPECT_EQ(ChaseAt(b, 500000), want);
    // Nothing before the first event; and no note is ever part of the chase.
    EXPECT_TRUE(ChaseAt(b, 0).empty());
    for (DWORD m : ChaseAt(b, b.tl.qwLength + 1))
        EXPECT_NE(m & 0xE0, 0x80u) << std::hex << m;
}

TEST(Chase, FollowsRegisteredParametersAndResets)
{
    smf::File f(0, 96);
    f.Add(smf::Track()
              .Controller(0, 3, 101, 0).Controller(0, 3, 100, 0).Controller(0, 3, 6, 12)    // bend range 12
              .Controller(0, 3, 99, 1).Controller(0, 3, 98, 8).Controller(0, 3, 6, 70)      // an NRPN: not followed
              .Controller(0, 4, 1, 90).Controller(0, 4, 11, 30).PitchBend(0, 4, 0, 0)
              .Controller(0, 4, 121, 0)                                                       // reset all controllers
              .Controller(0, 4, 7, 50)
              .NoteOn(10, 0, 1, 1).End());
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    std::vector<DWORD> want = {
        Cc(3, 101, 0), Cc(3, 100, 0), Cc(3, 6, 12),
        Cc(3, 99, 1), Cc(3, 98, 8),                      // the selection in force is restored
        Cc(4, 1, 0), Cc(4, 7, 50), Cc(4, 11, 127), Cc(4, 64, 0), Cc(4, 65, 0), Cc(4, 66, 0), Cc(4, 67, 0),
        Cc(4, 101, 127), Cc(4, 100, 127),
        PackShortMsg(0xE4, 0, 0x40), PackShortMsg(0xD4, 0, 0),
    };
    EXPECT_EQ(ChaseAt(b, 1), want);
}

TEST(Chase, NeverWritesPastTheRoomGiven)
{
    smf::Track t;
    for (int ch = 0; ch < 16; ++ch)
        for (int c = 0; c < 120; ++c)
            t.Controller(0, ch, c, 1);
    t.NoteOn(1, 0, 60, 1).End();
    smf::File f(0, 96);
    f.Add(t);
    Built b(f);
    ASSERT_EQ(b.result, TL_OK);
    CHASESTATE cs;
    ComputeChase(&b.tl, FindEventAt(&b.tl, 1), &cs);
    std::vector<DWORD> all(CHASE_MAX_MESSAGES);
    DWORD n = ChaseMessages(&cs, all.data(), (DWORD)all.size());
    EXPECT_LT(n, (DWORD)CHASE_MAX_MESSAGES);
    EXPECT_GT(n, 16u * 100u);
    std::vector<DWORD> some(11, 0xDEADBEEF);
    EXPECT_EQ(ChaseMessages(&cs, some.data(), 10), 10u);
    EXPECT_EQ(some[10], 0xDEADBEEFu);
    EXPECT_TRUE(std::equal(some.begin(), some.begin() + 10, all.begin()));
}

namespace {

// A two-track song as the editor leaves it: a switched-off track's notes have their status
// flipped (note-ons become note-offs and back), everything else in place.
struct Mix {
    int program0 = 5, volume0 = 100, pan1 = 64;
    bool on0 = true, on1 = true;
};

smf::File MixSong(const Mix& m)
{
    auto on = [](smf::Track& t, bool heard, uint32_t d, int ch, int key) -> smf::Track& {
        return heard ? t.NoteOn(d, ch, key, 100) : t.NoteOff(d, ch, key, 100);
    };
    auto off = [](smf::Track& t, bool heard, uint32_t d, int ch, int key) -> smf::Track& {
        return heard ? t.NoteOff(d, ch, key, 0) : t.NoteOn(d, ch, key, 0);
    };
    smf::File f(1, 96);   // 120 beats a minute: 96 ticks are half a second
    smf::Track a;
    a.Program(0, 0, m.program0).Volume(0, 0, m.volume0);
    on(a, m.on0, 0, 0, 60);
    off(a, m.on0, 192, 0, 60).End();
    smf::Track b;
    b.Program(0, 1, 20).Pan(0, 1, m.pan1).Controller(0, 1, 64, 127);
    on(b, m.on1, 0, 1, 62);
    on(b, m.on1, 48, 1, 64);
    off(b, m.on1, 48, 1, 62);   // released at 500 ms, still ringing in the pedal
    on(b, m.on1, 96, 1, 65).End();
    f.Add(a);
    f.Add(b);
    return f;
}

}  // namespace

TEST(Reconcile, SendsWhatTheEditChangedAndReleasesWhatItSilenced)
{
    struct Case {
        const char* what;
        Mix before, after;
        std::vector<DWORD> want;
        std::vector<int> soundingAfter;   // channel * 128 + key
    };
    Mix plain;
    Mix prog = plain, vol = plain, pan = plain, off0 = plain, off1 = plain;
    prog.program0 = 7;
    vol.volume0 = 50;
    pan.pan1 = 0;
    off0.on0 = false;
    off1.on1 = false;
    const Case cases[] = {
        {"no change", plain, plain, {}, {60, 128 + 64}},
        {"program", plain, prog, {PackShortMsg(0xC0, 7, 0)}, {60, 128 + 64}},
        {"volume", plain, vol, {Cc(0, 7, 50)}, {60, 128 + 64}},
        {"balance", plain, pan, {Cc(1, 10, 0)}, {60, 128 + 64}},
        {"track without pedal off", plain, off0, {Off(0, 60)}, {128 + 64}},
        {"track with pedal off", plain, off1, {Off(1, 64), Cc(1, 64, 0)}, {60}},
        // Switched on again: its notes sound from the next one on, none starts in the middle.
        {"track on", off1, plain, {}, {60}},
    };
    for (const Case& c : cases) {
        Built was(MixSong(c.before)), is(MixSong(c.after));
        ASSERT_EQ(was.result, TL_OK);
        ASSERT_EQ(is.result, TL_OK);
        DWORD i = FindEventAt(&was.tl, 600000);
        SOUNDINGKEYS sounding = {};
        for (DWORD e = 0; e < i; ++e)
            if (was.tl.pEvents[e].bStatus < 0xF0)
                TrackSounding(sounding, ShortMsgOf(&was.tl.pEvents[e]));
        DWORD msgs[RECONCILE_MAX_MESSAGES];
        DWORD n = ReconcileMessages(&was.tl, &is.tl, i, sounding, msgs, RECONCILE_MAX_MESSAGES);
        EXPECT_EQ(std::vector<DWORD>(msgs, msgs + n), c.want) << c.what;
        std::vector<int> keys;
        for (int k = 0; k < 16 * 128; ++k)
            if (sounding[k / 128][(k % 128) / 64] & (1ull << (k % 64)))
                keys.push_back(k);
        EXPECT_EQ(keys, c.soundingAfter) << c.what;
    }
}
