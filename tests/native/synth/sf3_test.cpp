// SF3 SoundFonts: samples compressed with Ogg Vorbis, decoded at load. The test stream,
// tests/data/sf3/sine.ogg, was made with Debian's oggenc (vorbis-tools 1.4.2) from a 441 Hz
// sine of amplitude 12,000, 4,410 frames at 22,050 Hz (a period of 50 frames):
//   oggenc -Q -q 0 -o sine.ogg sine.wav
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "sf2build.h"
#include "synth/soundfont.h"

namespace {

const int kFrames = 4410;
const int kPeriod = 50;
const int kAmplitude = 12000;
const double kPi = 3.14159265358979323846;

sf2::Bytes ReadData(const char* name) { return sf2::ReadFile(std::string(TEST_DATA_DIR) + "/" + name); }

// An SF3 font as MuseScore writes them: version 3, one Vorbis sample looped over whole
// periods, an uncompressed one beside it, and (unless padded) no pad byte after the odd
// sample chunk.
sf2::Font Sf3Font(const sf2::Bytes& ogg, bool padded)
{
    sf2::Font f;
    f.versionMajor = 3;
    f.versionMinor = 1;
    f.padChunks = padded;
    f.AddSample(sf2::Sample("Sine C5", {}).Vorbis(ogg, kFrames).Rate(22050).Root(69).Loop(1000, 1000 + 40 * kPeriod));
    f.AddSample(sf2::Sample("square", sf2::Square(400, 40)).Root(60).Loop(40, 360));
    f.AddInstrument(sf2::Instrument("Sine").Add(sf2::Zone().Keys(0, 63).Gen(GEN_SAMPLE_MODES, 1).Sample(0))
                        .Add(sf2::Zone().Keys(64, 127).Gen(GEN_SAMPLE_MODES, 1).Sample(1)));
    f.AddPreset(sf2::Preset("Sine", 0, 0).Add(sf2::Zone().Instrument(0)));
    return f;
}

struct Loaded {
    int result = -1;
    std::string message;
    SoundFont* font = nullptr;
    ~Loaded() { FreeSoundFont(font); }
};

void Load(const sf2::Bytes& b, Loaded& l)
{
    char message[256] = "unset";
    l.result = LoadSoundFont(b.data(), b.size(), "test.sf3", &l.font, message, sizeof message);
    l.message = message;
}

TEST(Sf3Load, VorbisSamplesDecodeIntoTheSampleData)
{
    sf2::Bytes ogg = ReadData("sf3/sine.ogg");
    ASSERT_GT(ogg.size(), 100u) << "tests/data/sf3/sine.ogg is missing";
    ASSERT_EQ(ogg.size() % 2, 1u);   // so the sample chunk has an odd size
    for (bool padded : {false, true}) {
        SCOPED_TRACE(padded ? "padded" : "without the pad byte");
        Loaded l;
        Load(Sf3Font(ogg, padded).Bytes(), l);
        ASSERT_EQ(l.result, SF_LOAD_OK) << l.message;
        ASSERT_EQ(PresetCount(l.font), 1);
        NoteZone zones[2];
        ASSERT_EQ(FindNoteZones(l.font, 0, 60, 100, zones, 2), 1);
        const SfSample& s = *zones[0].sample;
        uint32_t frames = 0;
        const int16_t* pcm = SoundFontPcm(l.font, &frames);
        EXPECT_EQ(s.end - s.start, (uint32_t)kFrames);
        EXPECT_EQ(s.loopStart - s.start, 1000u);
        EXPECT_EQ(s.loopEnd - s.start, 1000u + 40 * kPeriod);
        EXPECT_EQ(s.sampleRateHz, 22050u);
        ASSERT_LE(s.end + 46, frames);
        // The decoded loop is the sine again: lossy, so within a few percent.
        double error = 0, power = 0;
        for (uint32_t i = s.loopStart; i < s.loopEnd; ++i) {
            double want = kAmplitude * std::sin(2 * kPi * (i - s.start) / kPeriod);
            error += (pcm[i] - want) * (pcm[i] - want);
            power += want * want;
        }
        EXPECT_LT(error / power, 0.01);
        for (uint32_t i = s.end; i < s.end + 46; ++i)
            ASSERT_EQ(pcm[i], 0);
        // The uncompressed sample keeps its frames and its loop.
        ASSERT_EQ(FindNoteZones(l.font, 0, 70, 100, zones, 2), 1);
        const SfSample& q = *zones[0].sample;
        EXPECT_EQ(q.end - q.start, 400u);
        EXPECT_EQ(q.loopStart - q.start, 40u);
        EXPECT_EQ(pcm[q.start + 1], 16000);
        EXPECT_EQ(pcm[q.start + 21], -16000);
    }
}

TEST(Sf3Load, ASampleThatDoesNotDecodeIsRefusedByName)
{
    sf2::Bytes ogg = ReadData("sf3/sine.ogg");
    ASSERT_GT(ogg.size(), 200u);
    const std::string refusal = "The SoundFont test.sf3 is damaged: its sample \"Sine C5\" does not decode.";
    struct Case {
        const char* what;
        std::function<void(sf2::Bytes&)> damage;
    } cases[] = {
        {"not Vorbis at all", [](sf2::Bytes& b) { memset(b.data(), 'x', b.size()); }},
        {"identification header broken", [](sf2::Bytes& b) { memset(b.data() + 28, 0x55, 30); }},
        {"setup header broken", [](sf2::Bytes& b) { for (size_t i = 200; i < 400; ++i) b[i] ^= 0xA5; }},
        {"audio bytes broken", [](sf2::Bytes& b) { for (size_t i = b.size() - 150; i < b.size() - 50; ++i) b[i] ^= 0x3C; }},
        {"cut before its last page", [](sf2::Bytes& b) { b.resize(b.size() - 200); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sf2::Bytes broken = ogg;
        c.damage(broken);
        Loaded l;
        Load(Sf3Font(broken, false).Bytes(), l);
        EXPECT_EQ(l.result, SF_LOAD_DAMAGED);
        EXPECT_EQ(l.message, refusal);
        EXPECT_EQ(l.font, nullptr);
    }
    // A stream that ends past the sample data is the data's fault, not the sample's.
    sf2::Font past = Sf3Font(ogg, false);
    past.samples[0].EndAdjust(100000);
    Loaded l;
    Load(past.Bytes(), l);
    EXPECT_EQ(l.result, SF_LOAD_DAMAGED);
    EXPECT_EQ(l.message, "The SoundFont test.sf3 is damaged: a sample ends past the sample data.");
}

}  // namespace
