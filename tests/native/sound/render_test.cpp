// The offline renderer: events at their own frames, the chased state of a render from the
// middle, the end once the last note has died away, progress and cancel, and WAV files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound/render.h"
#include "sf2build.h"
#include "smfbuild.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

const int kRate = SOUND_RATE_HZ;

// Square waves start at full amplitude, so an onset is the first loud frame. Program 0 has a
// period of 100 frames, program 1 of 50; both release in a millisecond unless told.
sf2::Bytes TestFont(int releaseTimecents = -12000)
{
    sf2::Font font;
    int slow = font.AddSample(sf2::Sample("slow", sf2::Square(4400, 100)).Root(60).Loop(0, 4400));
    int fast = font.AddSample(sf2::Sample("fast", sf2::Square(4400, 50)).Root(60).Loop(0, 4400));
    int a = font.AddInstrument(sf2::Instrument("Slow").Add(
        sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_RELEASE_VOL_ENV, releaseTimecents).Sample(slow)));
    int b = font.AddInstrument(sf2::Instrument("Fast").Add(
        sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_RELEASE_VOL_ENV, releaseTimecents).Sample(fast)));
    font.AddPreset(sf2::Preset("Slow", 0, 0).Add(sf2::Zone().Instrument(a)));
    font.AddPreset(sf2::Preset("Fast", 0, 1).Add(sf2::Zone().Instrument(b)));
    return font.Bytes();
}

// One tick is one millisecond: 1000 ticks a quarter at a second a quarter.
smf::File Song(const smf::Track& notes)
{
    smf::File file(1, 1000);
    file.Add(smf::Track().Tempo(0, 1000000).End()).Add(notes);
    return file;
}

struct Rendered {
    int status = -1;
    RENDERRESULT result{};
    std::vector<int16_t> pcm;   // interleaved
    std::vector<uint64_t> progress;

    size_t frames() const { return pcm.size() / 2; }
    int Left(size_t frame) const { return pcm[2 * frame]; }
};

bool Collect(void* ctx, const int16_t* interleaved, int frames)
{
    auto* r = (Rendered*)ctx;
    r->pcm.insert(r->pcm.end(), interleaved, interleaved + 2 * frames);
    return true;
}

bool Record(void* ctx, uint64_t doneUs, uint64_t)
{
    ((Rendered*)ctx)->progress.push_back(doneUs);
    return true;
}

class Render : public ::testing::Test {
protected:
    void SetUp() override { UseFont(TestFont()); }
    void TearDown() override
    {
        if (synth_)
            DestroySynth(synth_);
        if (font_)
            FreeSoundFont(font_);
    }
    void UseFont(const sf2::Bytes& bytes)
    {
        if (synth_)
            DestroySynth(synth_);
        if (font_)
            FreeSoundFont(font_);
        char message[256];
        ASSERT_EQ(LoadSoundFont(bytes.data(), bytes.size(), "test.sf2", &font_, message, sizeof message), SF_LOAD_OK) << message;
        SynthConfig config;
        config.effects = false;
        synth_ = CreateSynth(config);
        ASSERT_TRUE(synth_);
        SynthSetSoundFont(synth_, font_);
    }
    Rendered Run(const smf::File& song, uint64_t startUs = 0)
    {
        smf::Bytes image = song.Bytes();
        Rendered r;
        RENDEROUTPUT out = {Collect, &r, Record, &r};
        r.status = RenderSong(image.data(), (DWORD)image.size(), synth_, startUs, &out, &r.result);
        return r;
    }
    SoundFont* font_ = nullptr;
    Synth* synth_ = nullptr;
};

// The first frame from `from` on whose left sample is loud, or -1.
long FirstLoud(const Rendered& r, size_t from, int threshold = 500)
{
    for (size_t f = from; f < r.frames(); ++f)
        if (std::abs(r.Left(f)) > threshold)
            return (long)f;
    return -1;
}

double Rms(const Rendered& r, size_t from, size_t frames)
{
    double sum = 0;
    for (size_t f = from; f < from + frames && f < r.frames(); ++f)
        sum += (double)r.Left(f) * r.Left(f);
    return std::sqrt(sum / (double)frames);
}

int SignChanges(const Rendered& r, size_t from, size_t frames)
{
    int n = 0;
    for (size_t f = from + 1; f < from + frames && f < r.frames(); ++f)
        if ((r.Left(f) >= 0) != (r.Left(f - 1) >= 0))
            ++n;
    return n;
}

TEST(RenderFrames, NearestFrameOfATime)
{
    const struct { uint64_t us, frame; } cases[] = {
        {0, 0}, {11, 0}, {12, 1}, {1000, 44}, {1000000, 44100}, {3600000000ull, 158760000ull},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameOfMicroseconds(c.us), c.frame) << c.us << " us";
}

// Notes at awkward times, each short with a short release, so every onset stands alone.
TEST_F(Render, EveryNoteStartsAtItsOwnFrame)
{
    const uint32_t onsetsMs[] = {3, 100, 257, 401, 777, 1001};
    smf::Track t;
    uint32_t now = 0;
    for (uint32_t ms : onsetsMs) {
        t.NoteOn(ms - now, 0, 60, 127).NoteOff(40, 0, 60, 0);
        now = ms + 40;
    }
    Rendered r = Run(Song(t.End()));
    ASSERT_EQ(r.status, RENDER_OK);
    size_t from = 0;
    for (uint32_t ms : onsetsMs) {
        long expected = (long)FrameOfMicroseconds(ms * 1000ull);
        long onset = FirstLoud(r, from);
        ASSERT_GE(onset, 0) << "no note at " << ms << " ms";
        // The onset is found past the attack (a millisecond), which the synthesizer's envelope
        // takes in steps of its own blocks.
        EXPECT_LE(std::labs(onset - expected), kRate * 2 / 1000) << "note at " << ms << " ms sounds at frame " << onset;
        from = (size_t)onset + kRate * 30 / 1000;   // past this note, before its end
        EXPECT_LT(FirstLoud(r, from), (long)FrameOfMicroseconds((ms + 45) * 1000ull) + 1)
            << "the note at " << ms << " ms is not sounding through";
        from = (size_t)FrameOfMicroseconds((ms + 50) * 1000ull);   // released by now
    }
    EXPECT_EQ(FirstLoud(r, from), -1) << "sound after the last note ended";
}

// A render from the middle gets the program and volume set before it: the note sounds as
// it does in the whole render.
TEST_F(Render, StartInTheMiddleChasesProgramAndVolume)
{
    smf::Track t;
    t.Program(0, 0, 1).Volume(0, 0, 40).NoteOn(1000, 0, 60, 100).NoteOff(300, 0, 60, 0).End();
    smf::File song = Song(t);
    Rendered whole = Run(song);
    Rendered fromMiddle = Run(song, 500000);
    ASSERT_EQ(whole.status, RENDER_OK);
    ASSERT_EQ(fromMiddle.status, RENDER_OK);

    size_t noteWhole = (size_t)FrameOfMicroseconds(1000000), noteMiddle = (size_t)FrameOfMicroseconds(500000);
    EXPECT_LE(std::labs(FirstLoud(fromMiddle, 0, 100) - (long)noteMiddle), kRate / 1000);
    size_t window = kRate / 5;
    double rmsWhole = Rms(whole, noteWhole + 100, window), rmsMiddle = Rms(fromMiddle, noteMiddle + 100, window);
    ASSERT_GT(rmsWhole, 50.0);
    EXPECT_NEAR(20 * std::log10(rmsMiddle / rmsWhole), 0.0, 0.5) << "volume not chased";
    // Program 1 has twice program 0's frequency.
    int changesWhole = SignChanges(whole, noteWhole + 100, window);
    EXPECT_NEAR(SignChanges(fromMiddle, noteMiddle + 100, window), changesWhole, changesWhole / 20) << "program not chased";

    // Without the program change and the low volume the same note is louder and lower.
    smf::Track plain;
    plain.NoteOn(1000, 0, 60, 100).NoteOff(300, 0, 60, 0).End();
    Rendered unchased = Run(Song(plain), 500000);
    EXPECT_GT(Rms(unchased, noteMiddle + 100, window), rmsWhole * 2);
    EXPECT_LT(SignChanges(unchased, noteMiddle + 100, window), changesWhole * 3 / 4);
}

TEST_F(Render, EndsWhenTheLastNoteHasDiedAway)
{
    // A release of half a second: the render stops after it, well before the tail limit.
    UseFont(TestFont(-1200));
    smf::Track t;
    t.NoteOn(0, 0, 60, 127).NoteOff(1000, 0, 60, 0).End();
    Rendered r = Run(Song(t));
    ASSERT_EQ(r.status, RENDER_OK);
    EXPECT_EQ(r.result.qwFrames, r.frames());
    EXPECT_GT(r.frames(), (size_t)kRate * 13 / 10) << "the release was cut";
    EXPECT_LT(r.frames(), (size_t)kRate * 3) << "the render ran on after the voices ended";
    EXPECT_LT(Rms(r, r.frames() - 512, 512), 2.0);
    EXPECT_EQ(SynthActiveVoices(synth_), 0);
    EXPECT_EQ(r.result.nMaxVoices, 1);
    EXPECT_GT(r.result.nPeak, 3000);

    // A note never released rings to the limit after the song's end, and no further.
    smf::Track held;
    held.NoteOn(0, 0, 60, 127).End(1000);
    Rendered h = Run(Song(held));
    ASSERT_EQ(h.status, RENDER_OK);
    size_t limit = (size_t)FrameOfMicroseconds(1000000 + RENDER_TAIL_LIMIT_US);
    EXPECT_EQ(h.frames(), limit);
}

TEST_F(Render, ProgressRunsToTheSongsLengthAndCancelStops)
{
    smf::Track t;
    t.NoteOn(0, 0, 60, 100).NoteOff(2000, 0, 60, 0).End();
    Rendered r = Run(Song(t), 500000);
    ASSERT_EQ(r.status, RENDER_OK);
    ASSERT_GE(r.progress.size(), 10u);
    for (size_t k = 1; k < r.progress.size(); ++k)
        ASSERT_GE(r.progress[k], r.progress[k - 1]);
    EXPECT_EQ(r.progress.front(), 0u);
    EXPECT_EQ(r.progress.back(), 1500000u);

    smf::Bytes image = Song(t).Bytes();
    struct Cancel { Rendered r; uint64_t at; } c{Rendered(), 700000};
    RENDEROUTPUT out = {Collect, &c.r, [](void* ctx, uint64_t done, uint64_t) { return done < ((Cancel*)ctx)->at; }, &c};
    EXPECT_EQ(RenderSong(image.data(), (DWORD)image.size(), synth_, 0, &out, &c.r.result), RENDER_CANCELLED);
    EXPECT_GE(c.r.frames(), (size_t)FrameOfMicroseconds(700000));
    EXPECT_LT(c.r.frames(), (size_t)FrameOfMicroseconds(800000));

    RENDEROUTPUT failing = {[](void*, const int16_t*, int) { return false; }, nullptr, nullptr, nullptr};
    EXPECT_EQ(RenderSong(image.data(), (DWORD)image.size(), synth_, 0, &failing, nullptr), RENDER_WRITE_FAILED);

    const BYTE notMidi[] = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    EXPECT_EQ(RenderSong(notMidi, sizeof notMidi, synth_, 0, &out, nullptr), RENDER_NOT_MIDI);
}

// The same song gives the same audio each time: the synthesizer starts from its reset state.
TEST_F(Render, RendersTheSameTwice)
{
    smf::Track t;
    t.Program(0, 0, 1).NoteOn(10, 0, 64, 90).Controller(200, 0, 7, 30).NoteOff(100, 0, 64, 0).End();
    Rendered a = Run(Song(t));
    Rendered b = Run(Song(t));
    ASSERT_EQ(a.status, RENDER_OK);
    EXPECT_EQ(a.pcm, b.pcm);
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int n)
{
    uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k)
        v = v << 8 | b[at + (size_t)k];
    return v;
}

TEST(Wav, HeaderSizesAndSamplesAsWritten)
{
    std::string path = ::testing::TempDir() + "render_test.wav";
    for (int frames : {0, 1, 1500, 5000}) {
        std::vector<int16_t> pcm((size_t)frames * 2);
        for (size_t k = 0; k < pcm.size(); ++k)
            pcm[k] = (int16_t)(k * 2654435761u >> 16);
        WAVWRITER w;
        ASSERT_TRUE(WavOpen(&w, path.c_str()));
        // In two pieces, as a render writes block by block.
        ASSERT_TRUE(WavWrite(&w, pcm.data(), frames / 3));
        ASSERT_TRUE(WavWrite(&w, pcm.data() + frames / 3 * 2, frames - frames / 3));
        ASSERT_TRUE(WavClose(&w));

        FILE* f = fopen(path.c_str(), "rb");
        ASSERT_TRUE(f);
        std::vector<uint8_t> b(100000);
        b.resize(fread(b.data(), 1, b.size(), f));
        fclose(f);
        uint32_t data = (uint32_t)frames * 4;
        ASSERT_EQ(b.size(), 44 + data) << frames << " frames";
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(Le(b, 4, 4), 36 + data);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(Le(b, 16, 4), 16u);
        EXPECT_EQ(Le(b, 20, 2), 1u);        // PCM
        EXPECT_EQ(Le(b, 22, 2), 2u);        // stereo
        EXPECT_EQ(Le(b, 24, 4), 44100u);
        EXPECT_EQ(Le(b, 28, 4), 176400u);
        EXPECT_EQ(Le(b, 32, 2), 4u);
        EXPECT_EQ(Le(b, 34, 2), 16u);
        EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
        EXPECT_EQ(Le(b, 40, 4), data);
        for (size_t k = 0; k < pcm.size(); ++k)
            ASSERT_EQ((int16_t)Le(b, 44 + 2 * k, 2), pcm[k]) << "sample " << k;
    }
    remove(path.c_str());
}

TEST(Wav, UnwritablePlaceFails)
{
    WAVWRITER w;
    EXPECT_FALSE(WavOpen(&w, "/nonexistent-folder/x.wav"));
    EXPECT_FALSE(w.f);
}

} // namespace
