// One rendering core: the cursor pulled in the live output's buffers gives the samples the
// offline render gives, event for event.
#include <gtest/gtest.h>

#include <vector>

#include "sf2build.h"
#include "smfbuild.h"
#include "sound/render.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

bool Collect(void* ctx, const int16_t* interleaved, int frames)
{
    auto* pcm = (std::vector<int16_t>*)ctx;
    pcm->insert(pcm->end(), interleaved, interleaved + 2 * frames);
    return true;
}

TEST(Cursor, PulledInLiveBuffersGivesTheOfflineRendersSamples)
{
    sf2::Font font;
    int sq = font.AddSample(sf2::Sample("square", sf2::Square(4400, 80)).Loop(0, 4400));
    int inst = font.AddInstrument(sf2::Instrument("Square").Add(
        sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_RELEASE_VOL_ENV, -6000).Sample(sq)));
    font.AddPreset(sf2::Preset("Square", 0, 0).Add(sf2::Zone().Instrument(inst)));
    sf2::Bytes fontBytes = font.Bytes();
    SoundFont* sf = nullptr;
    char message[256];
    ASSERT_EQ(LoadSoundFont(fontBytes.data(), fontBytes.size(), "square.sf2", &sf, message, sizeof message), SF_LOAD_OK) << message;

    // Notes anywhere in a block, under a tempo change, with controllers and a long
    // system-exclusive message between them.
    smf::Track t;
    const uint32_t onsetTicks[] = {7, 113, 250, 389, 505, 731, 998};
    uint32_t now = 0;
    for (uint32_t tick : onsetTicks) {
        t.NoteOn(tick - now, 0, 64, 120).Controller(10, 0, 7, 60 + (int)(tick % 60)).NoteOff(20, 0, 64, 0);
        now = tick + 30;
    }
    smf::Bytes gsReset = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41};
    gsReset.resize(40, 0x00);
    gsReset.push_back(0xF7);
    smf::File file(1, 480);
    file.Add(smf::Track().Sysex(0, gsReset).Tempo(0, 500000).Tempo(480, 350000).End()).Add(t.End());
    smf::Bytes image = file.Bytes();

    SynthConfig config;
    Synth* synth = CreateSynth(config);
    ASSERT_TRUE(synth);
    SynthSetSoundFont(synth, sf);
    for (uint64_t startUs : {0ull, 400000ull}) {
        SCOPED_TRACE(startUs);
        std::vector<int16_t> offline;
        RENDEROUTPUT out = {Collect, &offline, nullptr, nullptr};
        ASSERT_EQ(RenderSong(image.data(), (DWORD)image.size(), synth, startUs, &out, nullptr), RENDER_OK);

        TIMELINE tl;
        ASSERT_EQ(BuildTimeline(image.data(), (DWORD)image.size(), &tl), TL_OK);
        PLAYCURSOR c;
        CursorStart(&c, synth, &tl, startUs);
        std::vector<int16_t> live;
        std::vector<int16_t> buffer(2 * 2 * SOUND_BLOCK_FRAMES);
        while (live.size() < offline.size()) {
            for (int k = 0; k < 2; ++k)
                CursorRender(&c, synth, buffer.data() + 2 * k * SOUND_BLOCK_FRAMES, SOUND_BLOCK_FRAMES);
            live.insert(live.end(), buffer.begin(), buffer.end());
        }
        EXPECT_TRUE(CursorAtEnd(&c));
        FreeTimeline(&tl);
        live.resize(offline.size());
        size_t differ = 0;
        for (size_t i = 0; i < live.size(); ++i)
            differ += live[i] != offline[i];
        EXPECT_EQ(differ, 0u) << "of " << live.size() << " samples";
    }
    DestroySynth(synth);
    FreeSoundFont(sf);
}

}  // namespace
