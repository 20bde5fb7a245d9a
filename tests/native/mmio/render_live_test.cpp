// One rendering path: the live output's scheduling (messages stamped with the sequencer's
// times, rendered block by block with each message at its own frame) and the offline
// render of the same song give the same note onsets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "mmio/audiosched.h"
#include "mmio/render.h"
#include "mmio/timeline.h"
#include "sf2build.h"
#include "smfbuild.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

struct LiveSynth {
    Synth* synth;
};

void ApplyLive(void* ctx, const AudioMessage& m)
{
    if (m.kind == AUDIO_SHORT)
        SynthShortMsg(((LiveSynth*)ctx)->synth, m.shortMsg);
}

void RenderLive(void* ctx, int16_t* interleaved, int frames)
{
    SynthRenderS16(((LiveSynth*)ctx)->synth, interleaved, frames);
}

bool Collect(void* ctx, const int16_t* interleaved, int frames)
{
    auto* pcm = (std::vector<int16_t>*)ctx;
    pcm->insert(pcm->end(), interleaved, interleaved + 2 * frames);
    return true;
}

// The frame of the first loud left sample at or after from, or -1.
long FirstLoud(const std::vector<int16_t>& pcm, size_t from)
{
    for (size_t f = from; 2 * f < pcm.size(); ++f)
        if (std::abs(pcm[2 * f]) > 500)
            return (long)f;
    return -1;
}

TEST(RenderAndLive, SameOnsetsWithinTwoMilliseconds)
{
    sf2::Font font;
    int sq = font.AddSample(sf2::Sample("square", sf2::Square(4400, 80)).Loop(0, 4400));
    int inst = font.AddInstrument(sf2::Instrument("Square").Add(
        sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_RELEASE_VOL_ENV, -12000).Sample(sq)));
    font.AddPreset(sf2::Preset("Square", 0, 0).Add(sf2::Zone().Instrument(inst)));
    sf2::Bytes fontBytes = font.Bytes();
    SoundFont* sf = nullptr;
    char message[256];
    ASSERT_EQ(LoadSoundFont(fontBytes.data(), fontBytes.size(), "square.sf2", &sf, message, sizeof message), SF_LOAD_OK) << message;

    // Notes at times that fall anywhere in a 10 ms block, under a tempo change.
    const uint32_t onsetTicks[] = {7, 113, 250, 389, 505, 731, 998};
    smf::Track t;
    uint32_t now = 0;
    for (uint32_t tick : onsetTicks) {
        t.NoteOn(tick - now, 0, 64, 120).NoteOff(30, 0, 64, 0);
        now = tick + 30;
    }
    smf::File file(1, 480);
    file.Add(smf::Track().Tempo(0, 500000).Tempo(480, 350000).End()).Add(t.End());
    smf::Bytes image = file.Bytes();

    SynthConfig config;
    config.effects = false;
    Synth* synth = CreateSynth(config);
    ASSERT_TRUE(synth);
    SynthSetSoundFont(synth, sf);

    std::vector<int16_t> offline;
    RENDEROUTPUT out = {Collect, &offline, nullptr, nullptr};
    ASSERT_EQ(RenderSong(image.data(), (DWORD)image.size(), synth, 0, &out, nullptr), RENDER_OK);

    // Live: every channel event stamped with its time, then 10 ms blocks as the wave output
    // asks for them.
    TIMELINE tl;
    ASSERT_EQ(BuildTimeline(image.data(), (DWORD)image.size(), &tl), TL_OK);
    SynthReset(synth);
    std::unique_ptr<AudioQueue> queue(new AudioQueue);
    AudioClock clock;
    std::vector<uint64_t> noteTimesUs;
    for (DWORD i = 0; i < tl.nEvents; ++i) {
        const TLEVENT* ev = &tl.pEvents[i];
        if (ev->bStatus >= 0xF0)
            continue;
        AudioMessage m = {};
        m.kind = AUDIO_SHORT;
        m.shortMsg = ShortMsgOf(ev);
        m.frame = StampFrame(&clock, (int64_t)ev->qwTime, 0, 0);
        ASSERT_TRUE(queue->Push(m));
        if ((ev->bStatus & 0xF0) == 0x90 && ev->pData[1] != 0)
            noteTimesUs.push_back(ev->qwTime);
    }
    FreeTimeline(&tl);
    ASSERT_EQ(noteTimesUs.size(), sizeof onsetTicks / sizeof onsetTicks[0]);

    LiveSynth ctx = {synth};
    AudioTarget target = {&ctx, ApplyLive, RenderLive};
    const int kBlock = AUDIO_RATE_HZ / 100;
    std::vector<int16_t> live(offline.size());
    std::vector<int16_t> block(2 * kBlock);
    for (size_t f = 0; 2 * f < live.size(); f += kBlock) {
        RenderScheduled(queue.get(), target, (int64_t)f, block.data(), kBlock);
        for (size_t k = 0; k < 2 * (size_t)kBlock && 2 * f + k < live.size(); ++k)
            live[2 * f + k] = block[k];
    }

    for (uint64_t us : noteTimesUs) {
        size_t from = (size_t)FrameOfMicroseconds(us >= 5000 ? us - 5000 : 0);
        long a = FirstLoud(offline, from), b = FirstLoud(live, from);
        ASSERT_GE(a, 0);
        ASSERT_GE(b, 0);
        EXPECT_LE(std::labs(a - b), AUDIO_RATE_HZ * 2 / 1000) << "note at " << us << " us: offline frame " << a << ", live " << b;
        EXPECT_LE(std::labs(a - (long)FrameOfMicroseconds(us)), AUDIO_RATE_HZ / 1000) << "note at " << us << " us";
    }
    DestroySynth(synth);
    FreeSoundFont(sf);
}

} // namespace
