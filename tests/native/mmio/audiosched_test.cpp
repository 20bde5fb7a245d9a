// Live audio timing: stamps to frames, the clock read back from heard frames, the
// message ring, messages applied at their own frames, and the stop.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "mmio/audiosched.h"

namespace {

AudioMessage Short(int64_t frame, uint32_t msg)
{
    AudioMessage m = {};
    m.frame = frame;
    m.kind = AUDIO_SHORT;
    m.shortMsg = msg;
    return m;
}

// Stands in for the synthesizer: counts the frames rendered and notes the stream frame at
// which each message was applied. Renders a constant level while any note sounds.
struct FakeSynth {
    int64_t rendered = 0;
    std::vector<std::pair<int64_t, uint32_t>> applied;
    int notesOn = 0;

    static void Apply(void* ctx, const AudioMessage& m)
    {
        FakeSynth* s = (FakeSynth*)ctx;
        s->applied.push_back({s->rendered, m.shortMsg});
        const uint32_t status = m.shortMsg & 0xF0, data2 = (m.shortMsg >> 16) & 0x7F, data1 = (m.shortMsg >> 8) & 0x7F;
        if (status == 0x90 && data2)
            ++s->notesOn;
        else if ((status == 0x80 || status == 0x90) && s->notesOn)
            --s->notesOn;
        else if (status == 0xB0 && data1 == 120)
            s->notesOn = 0;
    }
    static void Render(void* ctx, int16_t* out, int frames)
    {
        FakeSynth* s = (FakeSynth*)ctx;
        for (int i = 0; i < 2 * frames; ++i)
            out[i] = s->notesOn ? 10000 : 0;
        s->rendered += frames;
    }
    AudioTarget Target() { return AudioTarget{this, Apply, Render}; }
};

TEST(AudioSchedule, FramesAndMicrosConvertToTheNearest)
{
    struct { int64_t micros, frames; } rows[] = {
        {0, 0}, {11, 0}, {12, 1}, {22676, 1000}, {1000000, 44100}, {-1000000, -44100}, {600000000, 26460000},
    };
    for (auto& r : rows)
        EXPECT_EQ(FramesOfMicros(r.micros), r.frames) << r.micros;
    for (int64_t f : {0, 1, 441, 44100, 26460000})
        EXPECT_EQ(FramesOfMicros(MicrosOfFrames(f)), f) << f;
    EXPECT_EQ(MicrosOfFrames(441), 10000);
}

TEST(AudioSchedule, QueueKeepsOrderUpToItsCapacity)
{
    auto q = std::make_unique<AudioQueue>();
    EXPECT_EQ(q->Peek(), nullptr);
    for (uint32_t i = 0; i < AudioQueue::kCapacity; ++i)
        ASSERT_TRUE(q->Push(Short(i, i)));
    EXPECT_FALSE(q->Push(Short(0, 0)));
    EXPECT_EQ(q->Count(), AudioQueue::kCapacity);
    for (uint32_t i = 0; i < AudioQueue::kCapacity / 2; ++i) {
        ASSERT_NE(q->Peek(), nullptr);
        EXPECT_EQ(q->Peek()->shortMsg, i);
        q->Pop();
    }
    // Around the end of the ring.
    for (uint32_t i = 0; i < AudioQueue::kCapacity / 2; ++i)
        ASSERT_TRUE(q->Push(Short(0, 100000 + i)));
    EXPECT_FALSE(q->Push(Short(0, 0)));
    EXPECT_EQ(q->Peek()->shortMsg, AudioQueue::kCapacity / 2);
}

TEST(AudioSchedule, StampsAheadOfTheOutputKeepTheirFrames)
{
    AudioClock c;
    // Rendered up to 1000, margin 441: stamps from frame 1441 on are free.
    EXPECT_EQ(StampFrame(&c, MicrosOfFrames(2000), 1000, 441), 2000);
    EXPECT_EQ(StampFrame(&c, MicrosOfFrames(2001), 1000, 441), 2001);
    EXPECT_EQ(StampFrame(&c, MicrosOfFrames(5000), 1000, 441), 5000);
    EXPECT_EQ(c.slipFrames, 0);
    EXPECT_EQ(ClockMicros(&c, 2000), MicrosOfFrames(2000));
}

TEST(AudioSchedule, ALateStampSlipsTheClockInsteadOfSqueezingTheMusic)
{
    AudioClock c;
    // A play starts at clock 0 while 1764 frames (40 ms) are already queued.
    EXPECT_EQ(ClockMicros(&c, 0), 0);
    const int64_t first = StampFrame(&c, 0, 1764, 441);
    EXPECT_EQ(first, 2205);
    // The events after it keep their distances from it.
    for (int64_t ms : {0, 1, 10, 80, 1000})
        EXPECT_EQ(StampFrame(&c, ms * 1000, 1764 + 441 * ms / 10, 441), first + FramesOfMicros(ms * 1000)) << ms;
    // The clock stands still until the first event is heard, then counts the song's time.
    EXPECT_EQ(ClockMicros(&c, 1000), 0);
    EXPECT_EQ(ClockMicros(&c, first), 0);
    EXPECT_EQ(ClockMicros(&c, first + 44100), 1000000);
    // Never back, whatever the frames reported.
    EXPECT_EQ(ClockMicros(&c, first), 1000000);
}

TEST(AudioSchedule, StampsNeverGoBeforeEarlierOnesUntilForgotten)
{
    AudioClock c;
    EXPECT_EQ(StampFrame(&c, MicrosOfFrames(10000), 0, 0), 10000);
    // An earlier stamp (a new play after a stop) follows the last one...
    EXPECT_EQ(StampFrame(&c, MicrosOfFrames(5000), 0, 0), 10000);
    // ...unless the queue was emptied.
    AudioClock d;
    StampFrame(&d, MicrosOfFrames(10000), 0, 0);
    ForgetStamps(&d);
    EXPECT_EQ(StampFrame(&d, MicrosOfFrames(5000), 0, 0), 5000);
}

TEST(AudioSchedule, ARestartedStreamKeepsTheClockGoing)
{
    AudioClock c;
    ClockMicros(&c, 44100);
    RestartClock(&c);
    EXPECT_EQ(ClockMicros(&c, 0), 1000000);
    EXPECT_EQ(ClockMicros(&c, 441), 1010000);
    // A stamp at the clock's time is frame 0 of the new stream.
    EXPECT_EQ(StampFrame(&c, 1010000, 0, 0), 441);
}

TEST(AudioSchedule, TheSequencerRunsAFixedLeadAhead)
{
    struct { int64_t due, clock, lead, wait; } rows[] = {
        {100000, 0, 80000, 20000}, {80000, 0, 80000, 0}, {50000, 0, 80000, 0}, {1000000, 900000, 80000, 20000},
    };
    for (auto& r : rows)
        EXPECT_EQ(MicrosUntilDue(r.due, r.clock, r.lead), r.wait) << r.due;
}

TEST(AudioSchedule, EachMessageIsAppliedAtItsOwnFrame)
{
    auto q = std::make_unique<AudioQueue>();
    FakeSynth s;
    // Block [441, 882): one message due before it, some inside, one at its end.
    struct { int64_t frame; int64_t appliedAt; } rows[] = {{100, 441}, {441, 441}, {500, 500}, {500, 500}, {881, 881}, {882, 882}};
    uint32_t n = 0;
    for (auto& r : rows)
        q->Push(Short(r.frame, 0x90 | (++n << 8) | (100 << 16)));
    s.rendered = 441;
    int16_t out[2 * 441];
    RenderScheduled(q.get(), s.Target(), 441, out, 441);
    EXPECT_EQ(s.rendered, 882);
    ASSERT_EQ(s.applied.size(), 5u);   // the last waits for the next block
    for (size_t i = 0; i < s.applied.size(); ++i)
        EXPECT_EQ(s.applied[i].first, rows[i].appliedAt) << i;
    EXPECT_NE(out[0], 0);             // the note due before the block sounds from its start
    EXPECT_EQ(q->Count(), 1u);
    RenderScheduled(q.get(), s.Target(), 882, out, 441);
    ASSERT_EQ(s.applied.size(), 6u);
    EXPECT_EQ(s.applied[5].first, 882);
}

// A whole play: the sequencer stamps its events a lead ahead while the audio thread
// renders 10 ms blocks four blocks ahead of what is heard; every event lands at the song's
// own distance from the first, to the frame.
TEST(AudioSchedule, APlaySoundsEveryEventAtTheSongsDistances)
{
    auto q = std::make_unique<AudioQueue>();
    FakeSynth s;
    AudioClock c;
    const int block = 441, queuedBlocks = 4;
    const int64_t leadMicros = 80000;
    std::vector<int64_t> songMicros;
    for (int i = 0; i < 200; ++i)
        songMicros.push_back(i * 7919 % 3 == 0 ? i * 12345 : i * 12345 + 333);   // uneven distances
    int64_t rendered = block * queuedBlocks;   // silence queued before the play
    s.rendered = rendered;
    int16_t out[2 * 441];
    size_t next = 0;
    int64_t origin = -1;
    while (next < songMicros.size() || q->Count()) {
        const int64_t heard = rendered - block * queuedBlocks;
        const int64_t now = ClockMicros(&c, heard);
        if (origin < 0)
            origin = now;
        while (next < songMicros.size() && MicrosUntilDue(origin + songMicros[next], now, leadMicros) == 0) {
            const uint32_t msg = 0x90 | (60 << 8) | (100 << 16);
            ASSERT_TRUE(q->Push(Short(StampFrame(&c, origin + songMicros[next], rendered, block), msg)));
            ++next;
        }
        RenderScheduled(q.get(), s.Target(), rendered, out, block);
        rendered += block;
    }
    ASSERT_EQ(s.applied.size(), songMicros.size());
    for (size_t i = 0; i < songMicros.size(); ++i)
        EXPECT_NEAR(s.applied[i].first - s.applied[0].first, FramesOfMicros(songMicros[i] - songMicros[0]), 1) << i;
    // The first event waited for what was queued, no longer than that and a block.
    EXPECT_LE(s.applied[0].first, block * (queuedBlocks + 1) + 1);
}

TEST(AudioSchedule, AStopAppliesTheStateAndDropsTheNotes)
{
    auto q = std::make_unique<AudioQueue>();
    FakeSynth s;
    s.notesOn = 1;
    q->Push(Short(1000, 0x90 | (60 << 8) | (100 << 16)));   // dropped
    q->Push(Short(1100, 0xC0 | (5 << 8)));                   // program: applied
    q->Push(Short(1200, 0x80 | (60 << 8)));                  // note-off: applied
    q->Push(Short(1300, 0x90 | (61 << 8)));                  // note-on velocity 0 is an off: applied
    q->Push(Short(1400, 0xB0 | (120 << 8)));                 // all sound off
    ApplyAllForStop(q.get(), s.Target());
    EXPECT_EQ(q->Count(), 0u);
    ASSERT_EQ(s.applied.size(), 4u);
    EXPECT_EQ(s.applied[0].second, 0xC0u | (5 << 8));
    EXPECT_EQ(s.notesOn, 0);
    int16_t out[2 * 64];
    RenderScheduled(q.get(), s.Target(), 0, out, 64);
    for (int16_t v : out)
        ASSERT_EQ(v, 0);
}

TEST(AudioSchedule, AFadeFallsSteadilyToSilence)
{
    const int frames = 221;
    std::vector<int16_t> pcm(2 * frames);
    for (int i = 0; i < frames; ++i) {
        pcm[2 * i] = 30000;
        pcm[2 * i + 1] = -30000;
    }
    FadeOut(pcm.data(), frames);
    EXPECT_EQ(pcm[0], 30000);
    EXPECT_EQ(pcm[1], -30000);
    EXPECT_EQ(pcm[2 * (frames - 1)], 0);
    EXPECT_EQ(pcm[2 * (frames - 1) + 1], 0);
    for (int i = 1; i < frames; ++i) {
        EXPECT_LE(pcm[2 * i], pcm[2 * (i - 1)]);
        // No step larger than an even ramp's.
        EXPECT_LE(pcm[2 * (i - 1)] - pcm[2 * i], 30000 / (frames - 1) + 1);
        EXPECT_EQ(pcm[2 * i + 1], -pcm[2 * i]);
    }
}

}  // namespace
