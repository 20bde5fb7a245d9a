// The synthesizer measured from its output: pitch, levels, envelopes, loops, channel
// messages and voice management, with SoundFonts the tests build (tests/sf2build.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mmio/timeline.h"
#include "sf2build.h"
#include "smfbuild.h"
#include "synth/soundfont.h"
#include "synth/synth.h"
#include "synth/voice.h"

#ifndef M_PI   // not in every C library's <cmath> without _USE_MATH_DEFINES
#define M_PI 3.14159265358979323846
#endif

namespace {

const int kRate = 44100;
// The test sine: one cycle every 100 frames (441 Hz at 44,100 Hz), looped over whole cycles.
const int kPeriod = 100;

double Db(double ratio) { return 20.0 * std::log10(ratio); }

struct FontHolder {
    SoundFont* sf = nullptr;
    explicit FontHolder(const sf2::Font& font)
    {
        sf2::Bytes b = font.Bytes();
        char message[256];
        int rc = LoadSoundFont(b.data(), b.size(), "test.sf2", &sf, message, sizeof message);
        EXPECT_EQ(rc, SF_LOAD_OK) << message;
    }
    ~FontHolder() { FreeSoundFont(sf); }
};

// A synthesizer playing one font, effects off, with helpers to send and render.
struct Rig {
    FontHolder font;
    Synth* s;
    std::vector<float> left, right;

    explicit Rig(const sf2::Font& f, int maxVoices = 256) : font(f)
    {
        SynthConfig config;
        config.effects = false;
        config.maxVoices = maxVoices;
        s = CreateSynth(config);
        SynthSetSoundFont(s, font.sf);
    }
    ~Rig() { DestroySynth(s); }
    void Msg(int status, int d1, int d2 = 0) { SynthShortMsg(s, (uint32_t)(status | d1 << 8 | d2 << 16)); }
    void Sysex(std::vector<uint8_t> bytes) { SynthSysEx(s, bytes.data(), bytes.size()); }
    void Rpn(int channel, int number, int msb, int lsb)
    {
        Msg(0xB0 | channel, 101, 0);
        Msg(0xB0 | channel, 100, number);
        Msg(0xB0 | channel, 6, msb);
        Msg(0xB0 | channel, 38, lsb);
    }
    // Renders seconds more, appending to left/right.
    void Render(double seconds)
    {
        int frames = (int)std::lround(seconds * kRate);
        size_t at = left.size();
        left.resize(at + (size_t)frames);
        right.resize(at + (size_t)frames);
        SynthRenderFloat(s, left.data() + at, right.data() + at, frames);
    }
    double Now() const { return (double)left.size() / kRate; }
    // Peak absolute value of a channel between two times.
    double Peak(double from, double to, bool useRight = false) const
    {
        const std::vector<float>& x = useRight ? right : left;
        size_t a = (size_t)(from * kRate), b = std::min(x.size(), (size_t)(to * kRate));
        double peak = 0;
        for (size_t i = a; i < b; ++i)
            peak = std::max(peak, (double)std::fabs(x[i]));
        return peak;
    }
    // Frequency of the left channel between two times, from its rising zero crossings.
    double Frequency(double from, double to) const
    {
        size_t a = (size_t)(from * kRate), b = std::min(left.size(), (size_t)(to * kRate));
        double first = -1, last = -1;
        int crossings = 0;
        for (size_t i = a + 1; i < b; ++i) {
            if (left[i - 1] < 0 && left[i] >= 0) {
                double t = (double)(i - 1) + left[i - 1] / (left[i - 1] - left[i]);
                if (first < 0)
                    first = t;
                last = t;
                ++crossings;
            }
        }
        return crossings > 1 ? (crossings - 1) * (double)kRate / (last - first) : 0.0;
    }
};

sf2::Sample SineSample(int frames = 4000) { return sf2::Sample("sine", sf2::Sine(frames, kPeriod)).Loop(kPeriod, frames - kPeriod); }

// A font with one preset (bank 0, program 0) of one looped sine zone carrying gens.
sf2::Font SineFont(const std::function<void(sf2::Zone&)>& gens = nullptr, sf2::Sample sample = SineSample())
{
    sf2::Font f;
    int s = f.AddSample(sample);
    sf2::Zone z;
    z.Gen(GEN_SAMPLE_MODES, 1);
    if (gens)
        gens(z);
    int i = f.AddInstrument(sf2::Instrument("sine").Add(z.Sample(s)));
    f.AddPreset(sf2::Preset("sine", 0, 0).Add(sf2::Zone().Instrument(i)));
    return f;
}

double Cents(double f, double reference) { return 1200.0 * std::log2(f / reference); }

// ---- Units ------------------------------------------------------------------------------------

TEST(SynthUnits, ConvertTheFormatsUnits)
{
    EXPECT_NEAR(TimecentsToSeconds(0), 1.0, 1e-12);
    EXPECT_NEAR(TimecentsToSeconds(-1200), 0.5, 1e-12);
    EXPECT_NEAR(TimecentsToSeconds(-12000), 0.0009765625, 1e-12);
    EXPECT_NEAR(CentibelsToGain(200), 0.1, 1e-12);
    EXPECT_NEAR(CentibelsToGain(60), 0.501187, 1e-6);
    EXPECT_NEAR(AbsoluteCentsToHz(6900), 440.0, 0.05);
    EXPECT_NEAR(AbsoluteCentsToHz(13500), 19912.0, 5.0);
}

// ---- Pitch ------------------------------------------------------------------------------------

struct PitchCase {
    const char* what;
    int key;
    int sampleRoot, overridingRoot, coarse, fine, scaleTuning, correction;
    uint32_t sampleRate;
    int bend;                    // 14 bits
    int bendRange;               // semitones by RPN 0, or -1 to leave the default
    int rpnFineMsb, rpnCoarseMsb; // RPN 1 and 2 data MSB, or -1
    double expectCents;          // relative to the sample played at its own rate
};

TEST(SynthPitch, FollowsKeyRootTuningBendAndRegisteredParameters)
{
    const PitchCase cases[] = {
        {"root key", 60, 60, -1, 0, 0, 100, 0, 44100, 8192, -1, -1, -1, 0},
        {"octave up", 72, 60, -1, 0, 0, 100, 0, 44100, 8192, -1, -1, -1, 1200},
        {"fifth down", 53, 60, -1, 0, 0, 100, 0, 44100, 8192, -1, -1, -1, -700},
        {"overriding root key", 60, 60, 57, 0, 0, 100, 0, 44100, 8192, -1, -1, -1, 300},
        {"coarse tune", 60, 60, -1, 2, 0, 100, 0, 44100, 8192, -1, -1, -1, 200},
        {"fine tune", 60, 60, -1, 0, -37, 100, 0, 44100, 8192, -1, -1, -1, -37},
        {"scale tuning 50", 72, 60, -1, 0, 0, 50, 0, 44100, 8192, -1, -1, -1, 600},
        {"sample pitch correction", 60, 60, -1, 0, 0, 100, 20, 44100, 8192, -1, -1, -1, 20},
        {"sample at half the rate", 60, 60, -1, 0, 0, 100, 0, 22050, 8192, -1, -1, -1, -1200},
        {"sample at 12,000 Hz", 67, 60, -1, 0, 0, 100, 0, 12000, 8192, -1, -1, -1, 700 + Cents(12000, 44100)},
        {"bend up, default range", 60, 60, -1, 0, 0, 100, 0, 44100, 16383, -1, -1, -1, 200},
        {"bend down, range 12", 60, 60, -1, 0, 0, 100, 0, 44100, 0, 12, -1, -1, -1200},
        {"bend half up, range 7", 60, 60, -1, 0, 0, 100, 0, 44100, 8192 + 4096, 7, -1, -1, 350},
        {"channel fine tuning +50", 60, 60, -1, 0, 0, 100, 0, 44100, 8192, -1, 96, -1, 50},
        {"channel coarse tuning -3", 60, 60, -1, 0, 0, 100, 0, 44100, 8192, -1, -1, 61, -300},
    };
    for (const PitchCase& c : cases) {
        SCOPED_TRACE(c.what);
        sf2::Sample sample = SineSample(8000).Root(c.sampleRoot).Rate(c.sampleRate).Correction(c.correction);
        Rig rig(SineFont([&](sf2::Zone& z) {
            if (c.overridingRoot >= 0) z.Gen(GEN_OVERRIDING_ROOT_KEY, c.overridingRoot);
            if (c.coarse) z.Gen(GEN_COARSE_TUNE, c.coarse);
            if (c.fine) z.Gen(GEN_FINE_TUNE, c.fine);
            if (c.scaleTuning != 100) z.Gen(GEN_SCALE_TUNING, c.scaleTuning);
        }, sample));
        if (c.bendRange >= 0) rig.Rpn(0, 0, c.bendRange, 0);
        if (c.rpnFineMsb >= 0) rig.Rpn(0, 1, c.rpnFineMsb, 0);
        if (c.rpnCoarseMsb >= 0) rig.Rpn(0, 2, c.rpnCoarseMsb, 0);
        rig.Msg(0xE0, c.bend & 0x7F, c.bend >> 7);
        rig.Msg(0x90, c.key, 127);
        rig.Render(1.2);
        double expected = (double)kRate / kPeriod * std::exp2(c.expectCents / 1200.0);
        EXPECT_NEAR(Cents(rig.Frequency(0.1, 1.2), expected), 0.0, 1.0);
    }
}

TEST(SynthPitch, BendMovesSoundingNotes)
{
    Rig rig(SineFont());
    rig.Msg(0x90, 60, 100);
    rig.Render(0.5);
    rig.Msg(0xE0, 0x7F, 0x7F);
    rig.Render(0.5);
    EXPECT_NEAR(Cents(rig.Frequency(0.05, 0.5), 441.0), 0.0, 1.0);
    EXPECT_NEAR(Cents(rig.Frequency(0.55, 1.0), 441.0), 200.0, 1.0);
}

// ---- Volume envelope --------------------------------------------------------------------------

TEST(SynthEnvelope, StagesHaveTheirTimesAndLevels)
{
    // Delay 0.1 s, attack 0.2 s, hold 0.1 s, decay 0.5 s for 96 dB, sustain 48 dB down
    // (reached 0.25 s into the decay), release 0.5 s for 96 dB, key up at 1.2 s.
    auto tc = [](double seconds) { return (int)std::lround(1200.0 * std::log2(seconds)); };
    Rig rig(SineFont([&](sf2::Zone& z) {
        z.Gen(GEN_DELAY_VOL_ENV, tc(0.1)).Gen(GEN_ATTACK_VOL_ENV, tc(0.2)).Gen(GEN_HOLD_VOL_ENV, tc(0.1));
        z.Gen(GEN_DECAY_VOL_ENV, tc(0.5)).Gen(GEN_SUSTAIN_VOL_ENV, 480).Gen(GEN_RELEASE_VOL_ENV, tc(0.5));
    }));
    rig.Msg(0x90, 60, 127);
    rig.Render(1.2);
    rig.Msg(0x80, 60, 0);
    rig.Render(0.6);
    double full = rig.Peak(0.32, 0.38);
    ASSERT_GT(full, 0.1);
    struct Point { double t; double expectDb; double toleranceDb; } points[] = {
        {0.2, Db(0.5), 0.5},        // half way up the attack, linear in amplitude
        {0.29, Db(0.95), 0.5},
        {0.4 + 0.125, -24.0, 1.0},  // half way down the decay, linear in decibels
        {0.8, -48.0, 1.0},
        {1.1, -48.0, 1.0},          // sustain
        {1.2 + 0.125, -48.0 - 24.0, 1.5},
        {1.2 + 0.25, -48.0 - 48.0, 2.0},
    };
    for (const Point& p : points) {
        SCOPED_TRACE(p.t);
        EXPECT_NEAR(Db(rig.Peak(p.t - 0.0025, p.t + 0.0025) / full), p.expectDb, p.toleranceDb);
    }
    EXPECT_LT(rig.Peak(0.0, 0.098), 1e-6);   // the delay
    rig.Render(1.0);
    EXPECT_EQ(SynthActiveVoices(rig.s), 0);  // ended once inaudible
}

TEST(SynthEnvelope, KeyNumberShortensHoldAndDecayAboveMiddleC)
{
    // Decay 1 s at key 60, a 100 timecents shorter per key above: key 72 decays in 1/2 s.
    Rig rig(SineFont([&](sf2::Zone& z) {
        z.Gen(GEN_DECAY_VOL_ENV, 0).Gen(GEN_SUSTAIN_VOL_ENV, 960).Gen(GEN_KEYNUM_TO_VOL_ENV_DECAY, 100);
    }));
    rig.Msg(0x90, 72, 127);
    rig.Render(0.5);
    double full = rig.Peak(0.0, 0.01);
    // After 0.25 s of a 0.5 s decay the level is 48 dB down.
    EXPECT_NEAR(Db(rig.Peak(0.2475, 0.2525) / full), -48.0, 1.5);
}

// ---- Loops ------------------------------------------------------------------------------------

TEST(SynthLoops, LoopModesHoldAndEndTheSample)
{
    struct Case { const char* what; int mode; double heldAt; bool soundsAtOneSecond; bool endsAfterRelease; } cases[] = {
        {"no loop: the sample's 0.09 s", 0, 1.5, false, true},
        {"continuous loop", 1, 1.5, true, false},
        {"loop until release", 3, 1.5, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A release of 8 s: only the sample's end can end the voice soon after the key is up.
        Rig rig(SineFont([&](sf2::Zone& z) {
            z.gens.clear();
            z.Gen(GEN_SAMPLE_MODES, c.mode).Gen(GEN_RELEASE_VOL_ENV, 3600);
        }));
        rig.Msg(0x90, 60, 127);
        rig.Render(c.heldAt);
        EXPECT_EQ(rig.Peak(0.95, 1.05) > 0.05, c.soundsAtOneSecond);
        rig.Msg(0x80, 60, 0);
        rig.Render(0.5);
        EXPECT_EQ(SynthActiveVoices(rig.s) == 0, c.endsAfterRelease);
        // Across the loop seam the wave stays as smooth as the sine itself.
        double maxStep = 0;
        for (size_t i = 1; i < rig.left.size(); ++i)
            maxStep = std::max(maxStep, (double)std::fabs(rig.left[i] - rig.left[i - 1]));
        double peak = rig.Peak(0.0, rig.Now());
        EXPECT_LT(maxStep, peak * 2 * M_PI / kPeriod * 1.1);
    }
}

// ---- Levels -------------------------------------------------------------------------------------

TEST(SynthLevels, VelocityVolumeAndExpressionFollowTheirCurves)
{
    struct Case { int velocity, volume, expression, attenuationCb; double expectDb; } cases[] = {
        {127, 127, 127, 0, 0.0},
        {64, 127, 127, 0, 40 * std::log10(64 / 127.0)},
        {32, 127, 127, 0, 40 * std::log10(32 / 127.0)},
        {127, 100, 127, 0, 40 * std::log10(100 / 127.0)},
        {127, 127, 90, 0, 40 * std::log10(90 / 127.0)},
        {100, 80, 60, 0, 40 * std::log10(100 / 127.0 * 80 / 127.0 * 60 / 127.0)},
        {127, 127, 127, 100, -4.0},  // initial attenuation counts at 0.4
    };
    double reference = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.velocity << " " << c.volume << " " << c.expression);
        Rig rig(SineFont([&](sf2::Zone& z) { if (c.attenuationCb) z.Gen(GEN_INITIAL_ATTENUATION, c.attenuationCb); }));
        rig.Msg(0xB0, 7, c.volume);
        rig.Msg(0xB0, 11, c.expression);
        rig.Msg(0x90, 60, c.velocity);
        rig.Render(0.3);
        double level = rig.Peak(0.1, 0.3);
        if (reference == 0)
            reference = level;
        EXPECT_NEAR(Db(level / reference), c.expectDb, 0.1);
    }
}

TEST(SynthLevels, VolumeChangesReachSoundingNotesSmoothly)
{
    Rig rig(SineFont());
    rig.Msg(0xB0, 7, 127);
    rig.Msg(0x90, 60, 127);
    rig.Render(0.2);
    rig.Msg(0xB0, 7, 64);
    rig.Render(0.2);
    EXPECT_NEAR(Db(rig.Peak(0.3, 0.4) / rig.Peak(0.1, 0.2)), 40 * std::log10(64 / 127.0), 0.1);
}

TEST(SynthLevels, PanIsConstantPower)
{
    struct Case { int cc10; int panGen; double leftDb, rightDb; } cases[] = {
        {64, 0, Db(std::sqrt(0.5)), Db(std::sqrt(0.5))},
        {0, 0, 0.0, -200.0},
        {127, 0, -200.0, 0.0},
        {64, -250, Db(std::cos(M_PI / 8)), Db(std::sin(M_PI / 8))},
        {32, 0, Db(std::cos(M_PI / 8)), Db(std::sin(M_PI / 8))},       // the knob spans the field
        {16, 0, Db(std::cos(M_PI / 16)), Db(std::sin(M_PI / 16))},
    };
    // The unpanned level: the left channel's peak hard left.
    double full = 0;
    {
        Rig rig(SineFont());
        rig.Msg(0xB0, 10, 0);
        rig.Msg(0x90, 60, 127);
        rig.Render(0.3);
        full = rig.Peak(0.1, 0.3);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cc10 << " " << c.panGen);
        Rig rig(SineFont([&](sf2::Zone& z) { if (c.panGen) z.Gen(GEN_PAN, c.panGen); }));
        rig.Msg(0xB0, 10, c.cc10);
        rig.Msg(0x90, 60, 127);
        rig.Render(0.3);
        double l = Db(std::max(rig.Peak(0.1, 0.3) / full, 1e-10)), r = Db(std::max(rig.Peak(0.1, 0.3, true) / full, 1e-10));
        if (c.leftDb < -100) EXPECT_LT(l, -100); else EXPECT_NEAR(l, c.leftDb, 0.05);
        if (c.rightDb < -100) EXPECT_LT(r, -100); else EXPECT_NEAR(r, c.rightDb, 0.05);
    }
}

// ---- Zones ----------------------------------------------------------------------------------------

TEST(SynthZones, KeyAndVelocityRangesOfPresetAndInstrumentZonesCombine)
{
    // Instrument: keys 0-63 hard left, keys 64-127 at velocity 0-99 hard right, 100-127 both.
    // Preset: a zone for keys 0-90 of it; keys above 90 sound nothing.
    sf2::Font f;
    int s = f.AddSample(SineSample());
    int inst = f.AddInstrument(sf2::Instrument("split")
        .Add(sf2::Zone().Keys(0, 63).Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_PAN, -500).Sample(s))
        .Add(sf2::Zone().Keys(64, 127).Vels(0, 99).Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_PAN, 500).Sample(s))
        .Add(sf2::Zone().Keys(64, 127).Vels(100, 127).Gen(GEN_SAMPLE_MODES, 1).Sample(s)));
    f.AddPreset(sf2::Preset("split", 0, 0).Add(sf2::Zone().Keys(0, 90).Instrument(inst)));
    struct Case { int key, velocity; bool left, right; } cases[] = {
        {40, 100, true, false}, {63, 10, true, false}, {64, 99, false, true}, {80, 100, true, true},
        {90, 127, true, true}, {91, 127, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " " << c.velocity);
        Rig rig(f);
        rig.Msg(0xB0, 10, 64);
        rig.Msg(0x90, c.key, c.velocity);
        rig.Render(0.2);
        EXPECT_EQ(rig.Peak(0.05, 0.2) > 1e-3, c.left);
        EXPECT_EQ(rig.Peak(0.05, 0.2, true) > 1e-3, c.right);
    }
}

// ---- Banks and drums --------------------------------------------------------------------------------

TEST(SynthBanks, DrumKitsAndFallbacks)
{
    // Each preset plays at its own attenuation, so its level tells which one sounds.
    struct P { int bank, program, attenuationCb; } presets[] = {
        {0, 0, 0}, {0, 5, 50}, {8, 5, 100}, {128, 0, 150}, {128, 16, 200}, {128, 25, 250},
    };
    sf2::Font f;
    int s = f.AddSample(SineSample());
    int inst = f.AddInstrument(sf2::Instrument("sine").Add(sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Sample(s)));
    for (const P& p : presets)
        f.AddPreset(sf2::Preset("p", p.bank, p.program)
                        .Add(sf2::Zone().Gen(GEN_INITIAL_ATTENUATION, p.attenuationCb).Instrument(inst)));
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> sysex;
        int channel, bankMsb, bankLsb, program;
        int expectCb;
    } cases[] = {
        {"melodic program", {}, 0, 0, 0, 5, 50},
        {"GS variation bank", {}, 0, 8, 0, 5, 100},
        {"missing bank falls back to bank 0", {}, 0, 9, 0, 5, 50},
        {"missing program falls back to the first of bank 0", {}, 0, 0, 0, 7, 0},
        {"GS ignores the LSB", {}, 0, 0, 8, 5, 50},
        {"channel index 9 plays kits", {}, 9, 0, 0, 16, 200},
        {"missing kit falls back to kit 0", {}, 9, 0, 0, 3, 150},
        {"GS use for rhythm part", {{0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x01, 0x17, 0xF7}}, 2, 0, 0, 25, 250},
        {"GS rhythm part off", {{0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7}}, 9, 0, 0, 5, 50},
        {"XG drum bank", {{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}}, 3, 127, 0, 16, 200},
        {"XG melodic variation in the LSB", {{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}}, 0, 0, 8, 5, 100},
        {"GM reset restores channel 9's kit", {{0x41, 0x10, 0x42, 0x12, 0x40, 0x10, 0x15, 0x00, 0x1B, 0xF7},
                                               {0x7E, 0x7F, 0x09, 0x01, 0xF7}}, 9, 0, 0, 16, 200},
    };
    double reference = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(f);
        for (const auto& m : c.sysex)
            rig.Sysex(m);
        rig.Msg(0xB0 | c.channel, 0, c.bankMsb);
        rig.Msg(0xB0 | c.channel, 32, c.bankLsb);
        rig.Msg(0xC0 | c.channel, c.program);
        rig.Msg(0x90 | c.channel, 60, 127);
        rig.Render(0.2);
        double level = rig.Peak(0.05, 0.2);
        if (reference == 0) {
            reference = level * std::pow(10.0, 0.4 * c.expectCb / 200.0);
        }
        EXPECT_NEAR(Db(level / reference), -0.4 * c.expectCb / 10.0, 0.05);
    }
}

// ---- Exclusive class ------------------------------------------------------------------------------

// A drum kit whose preset zones make the kick louder (-100 cB) over instruments of 0 and
// 150 cB, played on channel index 9 and on a part the GS "use for rhythm part" message makes
// a drum part, beside a melodic preset: the levels and onsets Debian's FluidSynth 2.3.1
// gives the same font and song, measured from its render
//   fluidsynth -ni -q -R 0 -C 0 -o synth.device-id=16 -r 44100 -F out.wav levels.sf2 levels.mid
// (left channel, RMS 0.1-0.25 s after each note-on, against the first note's; onset the first
// sample above 100 of 32,768). FluidSynth takes GS messages for device 16 (Roland's default,
// the one this message names) only with synth.device-id=16.
TEST(SynthBanks, DrumAndGsPartLevelsAsFluidSynthPlaysThem)
{
    sf2::Font f;
    int s = f.AddSample(SineSample());
    sf2::Zone tone;
    tone.Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_RELEASE_VOL_ENV, -2400);
    int lead = f.AddInstrument(sf2::Instrument("Lead").Add(sf2::Zone(tone).Sample(s)));
    int kit = f.AddInstrument(sf2::Instrument("Kit")
                                  .Add(sf2::Zone(tone).Keys(36, 36).Sample(s))
                                  .Add(sf2::Zone(tone).Keys(38, 38).Gen(GEN_INITIAL_ATTENUATION, 150).Sample(s)));
    f.AddPreset(sf2::Preset("Lead", 0, 0).Add(sf2::Zone().Instrument(lead)));
    f.AddPreset(sf2::Preset("Standard", 128, 0)
                    .Add(sf2::Zone().Keys(36, 36).Gen(GEN_INITIAL_ATTENUATION, -100).Instrument(kit))
                    .Add(sf2::Zone().Keys(38, 38).Gen(GEN_INITIAL_ATTENUATION, -100).Instrument(kit)));
    struct Note { double at; int channel, key; double onset, levelDb; } notes[] = {
        {0.0, 0, 69, 0.0019, 0.00},    // melodic: the reference
        {0.5, 9, 36, 0.5014, 4.04},    // kick: preset -100 over instrument 0
        {1.0, 9, 38, 1.0006, -1.99},   // preset -100 over instrument 150
        {1.6, 10, 36, 1.5998, 4.07},   // channel index 10 after "use for rhythm part"
        {2.1, 11, 36, 2.0991, 0.05},   // its neighbour stays melodic
    };
    Rig rig(f);
    for (const Note& n : notes) {
        rig.Render(n.at - rig.Now());
        if (n.channel == 10)   // F0 41 10 42 12 40 1A 15 02 0F F7: block 1A is part 11
            rig.Sysex({0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7});
        rig.Msg(0x90 | n.channel, n.key, 100);
        rig.Render(0.3);
        rig.Msg(0x80 | n.channel, n.key, 0);
    }
    rig.Render(0.3);
    auto rms = [&rig](double from, double to) {
        double sum = 0;
        size_t a = (size_t)(from * kRate), b = (size_t)(to * kRate);
        for (size_t i = a; i < b; ++i)
            sum += (double)rig.left[i] * rig.left[i];
        return std::sqrt(sum / (double)(b - a));
    };
    double reference = rms(0.1, 0.25), peak = rig.Peak(0.0, rig.Now());
    for (const Note& n : notes) {
        SCOPED_TRACE(testing::Message() << "note at " << n.at << " s, channel index " << n.channel);
        EXPECT_NEAR(Db(rms(n.at + 0.1, n.at + 0.25) / reference), n.levelDb, 1.0);
        size_t i = (size_t)(std::max(0.0, n.at - 0.001) * kRate);
        while (i < rig.left.size() && std::fabs(rig.left[i]) < peak * 0.01)
            ++i;
        EXPECT_NEAR((double)i / kRate, n.onset, 0.01);
    }
}

TEST(SynthNotes, ExclusiveClassCutsTheOthersOfItsClass)
{
    struct Case { int classA, classB; int channelB; int expectVoices; } cases[] = {
        {1, 1, 0, 1}, {1, 2, 0, 2}, {0, 0, 0, 2}, {1, 1, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.classA << " " << c.classB << " " << c.channelB);
        sf2::Font f;
        int s = f.AddSample(SineSample());
        int inst = f.AddInstrument(sf2::Instrument("hats")
            .Add(sf2::Zone().Keys(42, 42).Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_EXCLUSIVE_CLASS, c.classA).Sample(s))
            .Add(sf2::Zone().Keys(46, 46).Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_EXCLUSIVE_CLASS, c.classB).Sample(s)));
        f.AddPreset(sf2::Preset("hats", 0, 0).Add(sf2::Zone().Instrument(inst)));
        Rig rig(f);
        rig.Msg(0x90, 42, 100);
        rig.Render(0.1);
        rig.Msg(0x90 | c.channelB, 46, 100);
        rig.Render(0.02);
        EXPECT_EQ(SynthActiveVoices(rig.s), c.expectVoices);
    }
}

// ---- Pedals and channel mode messages ---------------------------------------------------------------

struct Step { int status, d1, d2; };

TEST(SynthNotes, PedalsAndChannelModeMessages)
{
    // Each script runs on a note of key 60 with a 10 ms release; the voice count after the
    // script (and 0.2 s more) tells whether the note still sounds.
    struct Case { const char* what; std::vector<Step> steps; int expectVoices; } cases[] = {
        {"note off releases", {{0x90, 60, 100}, {0x80, 60, 0}}, 0},
        {"velocity 0 is note off", {{0x90, 60, 100}, {0x90, 60, 0}}, 0},
        {"sustain holds a released key", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}}, 1},
        {"sustain up releases it", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0xB0, 64, 0}}, 0},
        {"sostenuto holds the keys down when it goes down", {{0x90, 60, 100}, {0xB0, 66, 127}, {0x80, 60, 0}}, 1},
        {"sostenuto does not catch later keys", {{0xB0, 66, 127}, {0x90, 60, 100}, {0x80, 60, 0}}, 0},
        {"sostenuto up releases", {{0x90, 60, 100}, {0xB0, 66, 127}, {0x80, 60, 0}, {0xB0, 66, 0}}, 0},
        {"sostenuto up while sustain holds", {{0x90, 60, 100}, {0xB0, 66, 127}, {0xB0, 64, 127}, {0x80, 60, 0},
                                              {0xB0, 66, 0}}, 1},
        {"all notes off releases held keys", {{0x90, 60, 100}, {0xB0, 123, 0}}, 0},
        {"all notes off respects sustain", {{0x90, 60, 100}, {0xB0, 64, 127}, {0xB0, 123, 0}}, 1},
        {"all sound off silences through the pedal", {{0x90, 60, 100}, {0xB0, 64, 127}, {0xB0, 120, 0}}, 0},
        {"reset all controllers lifts the pedal", {{0x90, 60, 100}, {0xB0, 64, 127}, {0x80, 60, 0}, {0xB0, 121, 0}}, 0},
        {"reset all controllers lifts the sostenuto", {{0x90, 60, 100}, {0xB0, 66, 127}, {0x80, 60, 0}, {0xB0, 121, 0}}, 0},
        {"messages on another channel leave it", {{0x90, 60, 100}, {0xB1, 120, 0}, {0xB1, 123, 0}, {0x81, 60, 0}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(SineFont([](sf2::Zone& z) { z.Gen(GEN_RELEASE_VOL_ENV, -4000); }));
        for (const Step& st : c.steps) {
            rig.Msg(st.status, st.d1, st.d2);
            rig.Render(0.05);
        }
        rig.Render(0.2);
        EXPECT_EQ(SynthActiveVoices(rig.s), c.expectVoices);
    }
}

TEST(SynthNotes, AllSoundOffIsQuickAndClickFree)
{
    Rig rig(SineFont([](sf2::Zone& z) { z.Gen(GEN_RELEASE_VOL_ENV, 2400); }));
    rig.Msg(0x90, 60, 127);
    rig.Render(0.2);
    rig.Msg(0xB0, 120, 0);
    rig.Render(0.1);
    EXPECT_EQ(SynthActiveVoices(rig.s), 0);
    EXPECT_LT(rig.Peak(0.206, 0.3), 1e-7);   // silent within 6 ms
    double maxStep = 0;
    for (size_t i = 1; i < rig.left.size(); ++i)
        maxStep = std::max(maxStep, (double)std::fabs(rig.left[i] - rig.left[i - 1]));
    EXPECT_LT(maxStep, rig.Peak(0.1, 0.2) * 2 * M_PI / kPeriod * 1.1);
}

TEST(SynthNotes, ResetAllControllersKeepsVolumePanAndProgram)
{
    Rig rig(SineFont());
    rig.Msg(0xB0, 7, 64);
    rig.Msg(0xB0, 11, 64);
    rig.Msg(0xE0, 0, 0x40 + 0x20);
    rig.Msg(0xB0, 121, 0);
    rig.Msg(0x90, 60, 127);
    rig.Render(0.3);
    // Expression back to full, bend centred; volume 64 stays.
    EXPECT_NEAR(Cents(rig.Frequency(0.05, 0.3), 441.0), 0.0, 1.0);
    Rig full(SineFont());
    full.Msg(0xB0, 7, 127);
    full.Msg(0x90, 60, 127);
    full.Render(0.3);
    EXPECT_NEAR(Db(rig.Peak(0.1, 0.3) / full.Peak(0.1, 0.3)), 40 * std::log10(64 / 127.0), 0.1);
}

// ---- Voices ----------------------------------------------------------------------------------------

TEST(SynthVoices, StealingKeepsTheLimitAndTakesReleasedNotesFirst)
{
    // Eight voices; keys 40-45 released (long release), 50-51 held, then four new keys.
    Rig rig(SineFont([](sf2::Zone& z) { z.Gen(GEN_RELEASE_VOL_ENV, 2400); }), 8);
    for (int k = 40; k < 46; ++k)
        rig.Msg(0x90, k, 100);
    rig.Msg(0x90, 50, 100);
    rig.Msg(0x90, 51, 100);
    rig.Render(0.05);
    for (int k = 40; k < 46; ++k)
        rig.Msg(0x80, k, 0);
    rig.Render(0.05);
    for (int k = 60; k < 64; ++k) {
        rig.Msg(0x90, k, 100);
        rig.Render(0.01);
    }
    rig.Render(0.02);
    EXPECT_EQ(SynthActiveVoices(rig.s), 8);
    // The held notes survive: releasing them all leaves only released voices, which a
    // run of new notes can then take.
    for (int k = 0; k < 20; ++k) {
        rig.Msg(0x90, 70 + k, 100);
        rig.Render(0.003);
        EXPECT_LE(SynthActiveVoices(rig.s), 8 + 8);   // fading voices have slots of their own
    }
    rig.Render(0.02);
    EXPECT_EQ(SynthActiveVoices(rig.s), 8);
}

TEST(SynthVoices, HeldNotesOutliveReleasedOnesWhenStealing)
{
    // Four voices. A key held on channel 1 (hard left) must survive three new notes on
    // channel 0 (hard right) while three released ones are there to be taken.
    Rig rig(SineFont([](sf2::Zone& z) { z.Gen(GEN_RELEASE_VOL_ENV, 2400); }), 4);
    rig.Msg(0xB1, 10, 0);
    rig.Msg(0xB0, 10, 127);
    rig.Msg(0x91, 50, 60);        // the quietest and the oldest: only being held keeps it
    rig.Render(0.01);
    for (int k = 40; k < 43; ++k)
        rig.Msg(0x90, k, 127);
    rig.Render(0.05);
    for (int k = 40; k < 43; ++k)
        rig.Msg(0x80, k, 0);
    for (int k = 60; k < 63; ++k)
        rig.Msg(0x90, k, 127);
    rig.Render(0.05);
    EXPECT_EQ(SynthActiveVoices(rig.s), 4);
    double leftBefore = rig.Peak(0.03, 0.06), leftAfter = rig.Peak(0.08, 0.11);
    EXPECT_NEAR(Db(leftAfter / leftBefore), 0.0, 0.1);
    // With only held keys left, a new one takes the quietest, oldest: the left key.
    rig.Msg(0x90, 70, 127);
    rig.Render(0.05);
    EXPECT_LT(rig.Peak(0.14, 0.16), 1e-6);
}

TEST(SynthVoices, AnEmptyOrReplacedFontIsSilentAndFreedAfterAFade)
{
    sf2::Font f = SineFont();
    FontHolder other(f);
    Rig rig(f);
    rig.Msg(0x90, 60, 127);
    rig.Render(0.1);
    SynthSetSoundFont(rig.s, other.sf);
    EXPECT_TRUE(SynthUsesSoundFont(rig.s, rig.font.sf));
    rig.Render(0.02);
    EXPECT_FALSE(SynthUsesSoundFont(rig.s, rig.font.sf));
    EXPECT_TRUE(SynthUsesSoundFont(rig.s, other.sf));
    SynthSetSoundFont(rig.s, nullptr);
    rig.Msg(0x90, 60, 127);
    rig.Render(0.05);
    EXPECT_EQ(SynthActiveVoices(rig.s), 0);
    EXPECT_EQ(rig.Peak(0.13, 0.17), 0.0);
}

TEST(SynthVoices, ExtremeParametersStayFinite)
{
    // Every generator near an end of its range, a resonant filter swept by envelope and LFO.
    Rig rig(SineFont([](sf2::Zone& z) {
        z.Gen(GEN_INITIAL_FILTER_FC, 1500).Gen(GEN_INITIAL_FILTER_Q, 960).Gen(GEN_MOD_ENV_TO_FILTER_FC, 12000);
        z.Gen(GEN_MOD_LFO_TO_FILTER_FC, -12000).Gen(GEN_FREQ_MOD_LFO, 4500).Gen(GEN_MOD_LFO_TO_PITCH, 12000);
        z.Gen(GEN_VIB_LFO_TO_PITCH, -12000).Gen(GEN_FREQ_VIB_LFO, 4500).Gen(GEN_MOD_LFO_TO_VOLUME, 960);
        z.Gen(GEN_COARSE_TUNE, 120).Gen(GEN_ATTACK_VOL_ENV, -32768).Gen(GEN_START_ADDRS_OFFSET, -32768);
        z.Gen(GEN_END_ADDRS_COARSE_OFFSET, 32767).Gen(GEN_STARTLOOP_ADDRS_OFFSET, 30000);
    }));
    for (int k = 0; k < 128; k += 9) {
        rig.Msg(0x90, k, 127);
        rig.Msg(0xE0, k, 127 - k);
        rig.Render(0.01);
    }
    rig.Render(0.5);
    for (size_t i = 0; i < rig.left.size(); ++i)
        ASSERT_TRUE(std::isfinite(rig.left[i]) && std::isfinite(rig.right[i])) << i;
}

TEST(SynthVoices, RenderingInPiecesOfAnySizeGivesTheSameSound)
{
    Rig whole(SineFont()), pieces(SineFont());
    for (Rig* r : {&whole, &pieces})
        r->Msg(0x90, 64, 100);
    whole.Render(0.3);
    pieces.left.resize(whole.left.size());
    pieces.right.resize(whole.left.size());
    size_t at = 0;
    for (int n = 1; at < pieces.left.size(); n = n % 97 + 1) {
        int frames = (int)std::min<size_t>((size_t)n, pieces.left.size() - at);
        SynthRenderFloat(pieces.s, pieces.left.data() + at, pieces.right.data() + at, frames);
        at += (size_t)frames;
    }
    EXPECT_NEAR(Db(pieces.Peak(0.1, 0.3) / whole.Peak(0.1, 0.3)), 0.0, 0.1);
    EXPECT_NEAR(Cents(pieces.Frequency(0.05, 0.3), whole.Frequency(0.05, 0.3)), 0.0, 0.5);
}

// ---- Effects ---------------------------------------------------------------------------------------

TEST(SynthEffects, SendsAddATailThatEndsAndSwitchOff)
{
    struct Case { bool on; int reverbSend, chorusSend; bool tail; } cases[] = {
        {true, 127, 0, true}, {true, 0, 127, true}, {true, 0, 0, false}, {false, 127, 127, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.on << " " << c.reverbSend << " " << c.chorusSend);
        Rig rig(SineFont([](sf2::Zone& z) { z.Gen(GEN_RELEASE_VOL_ENV, -4000); }));
        SynthSetEffects(rig.s, c.on);
        rig.Msg(0xB0, 91, c.reverbSend);
        rig.Msg(0xB0, 93, c.chorusSend);
        rig.Msg(0x90, 60, 127);
        rig.Render(0.3);
        rig.Msg(0xB0, 120, 0);   // the voice is gone within 2 ms
        rig.Render(0.1);
        ASSERT_EQ(SynthActiveVoices(rig.s), 0);
        // After it: the chorus's delay (about 15 ms) or the reverb's tail, or nothing.
        EXPECT_EQ(rig.Peak(0.305, 0.312) > 1e-4, c.tail);
        rig.Render(10.0);
        EXPECT_LT(rig.Peak(rig.Now() - 1.0, rig.Now()), 1e-6);   // and the tail ends
        for (float x : rig.left)
            ASSERT_TRUE(std::isfinite(x));
    }
}

// ---- Real SoundFonts --------------------------------------------------------------------------------

struct SongRender {
    double peakDbfs = -200;
    long clipped = 0;
    bool finite = true;
    int maxVoices = 0;
};

// Plays an SMF through the synthesizer, each event on its own sample, until the voices end.
SongRender PlaySong(const SoundFont* sf, const std::vector<uint8_t>& smf, bool effects)
{
    SongRender r;
    TIMELINE tl;
    EXPECT_EQ(BuildTimeline(smf.data(), (DWORD)smf.size(), &tl), TL_OK);
    SynthConfig config;
    config.effects = effects;
    Synth* s = CreateSynth(config);
    SynthSetSoundFont(s, sf);
    std::vector<int16_t> out(2 * 2048);
    std::vector<float> l(2048), rr(2048);
    uint64_t done = 0;
    int peak = 0;
    auto render = [&](uint64_t until) {
        while (done < until) {
            int n = (int)std::min<uint64_t>(until - done, 2048);
            SynthRenderS16(s, out.data(), n);
            for (int i = 0; i < 2 * n; ++i) {
                int v = std::abs((int)out[(size_t)i]);
                peak = std::max(peak, v);
                r.clipped += v >= 32767;
            }
            done += (uint64_t)n;
            r.maxVoices = std::max(r.maxVoices, SynthActiveVoices(s));
        }
    };
    for (DWORD i = 0; i < tl.nEvents; ++i) {
        const TLEVENT& e = tl.pEvents[i];
        render(e.qwTime * kRate / 1000000);
        if (e.bStatus >= 0x80 && e.bStatus < 0xF0)
            SynthShortMsg(s, ShortMsgOf(&e));
        else if (e.bStatus == 0xF0)
            SynthSysEx(s, e.pData, e.cbData);
        if (i % 64 == 0) {
            // A float render in between checks the mix for NaN and Inf.
            SynthRenderFloat(s, l.data(), rr.data(), 16);
            done += 16;
            for (int k = 0; k < 16; ++k)
                r.finite = r.finite && std::isfinite(l[(size_t)k]) && std::isfinite(rr[(size_t)k]);
        }
    }
    uint64_t limit = done + (uint64_t)kRate * 20;
    while (SynthActiveVoices(s) > 0 && done < limit)
        render(done + 1024);
    EXPECT_EQ(SynthActiveVoices(s), 0);
    r.peakDbfs = peak > 0 ? Db(peak / 32768.0) : -200;
    DestroySynth(s);
    FreeTimeline(&tl);
    return r;
}

std::vector<uint8_t> ReadAll(const char* path) { return sf2::ReadFile(path); }

// Sixteen channels of sections holding overlapping chords, drums on channel index 9: a
// dense orchestral texture of well over a hundred voices on a General MIDI font.
std::vector<uint8_t> DenseSong(int beats)
{
    static const int programs[16] = {48, 49, 44, 45, 60, 61, 57, 73, 71, 0, 52, 89, 46, 32, 95, 42};
    static const int chords[4][3] = {{0, 4, 7}, {-3, 0, 4}, {-7, -3, 0}, {-5, -1, 2}};
    const uint32_t ppq = 96;
    smf::File file(1, ppq);
    file.Add(smf::Track().Tempo(0, 500000).End());
    for (int c = 0; c < 16; ++c) {
        smf::Track t;
        t.Program(0, c, programs[c]).Volume(0, c, 110).Pan(0, c, 8 * c);
        uint32_t pending = 0;
        for (int beat = 0; beat < beats; ++beat) {
            int octave = c == 13 ? 36 : (c < 4 ? 60 : 48 + (c % 3) * 12);
            if (c == 9) {
                t.NoteOn(pending, c, beat % 2 ? 38 : 36, 110).NoteOn(0, c, 42, 90);
                t.NoteOff(ppq / 2, c, beat % 2 ? 38 : 36, 0).NoteOff(0, c, 42, 0);
                pending = ppq / 2;
                continue;
            }
            const int* chord = chords[(beat / 4) % 4];
            for (int n = 0; n < 3; ++n) {
                t.NoteOn(pending, c, octave + chord[n], 90 + (beat * 7 + n * 5 + c) % 37);
                pending = 0;
            }
            for (int n = 0; n < 3; ++n) {
                t.NoteOff(n == 0 ? ppq : 0, c, octave + chord[n], 0);
            }
        }
        file.Add(t.End(pending));
    }
    return file.Bytes();
}

// The real fonts: Debian's TimGM6mb always when installed, FluidR3 (145 MB) only with
// PLAYER_LARGE_SOUNDFONT=1 in the environment.
TEST(SynthRealFont, PlaysTheDemoAndADenseSongLoudAndUnclipped)
{
    struct Case { const char* path; bool large; } fonts[] = {
        {"/usr/share/sounds/sf2/TimGM6mb.sf2", false},
        {"/usr/share/sounds/sf2/FluidR3_GM.sf2", true},
    };
    std::string here = __FILE__;
    std::vector<uint8_t> demo = ReadAll((here.substr(0, here.rfind("tests/native/")) + "res/demo.mid").c_str());
    ASSERT_FALSE(demo.empty());
    std::vector<uint8_t> dense = DenseSong(16);
    int played = 0;
    for (const Case& font : fonts) {
        SCOPED_TRACE(font.path);
        FILE* probe = fopen(font.path, "rb");
        if (!probe)
            continue;
        fclose(probe);
        const char* large = getenv("PLAYER_LARGE_SOUNDFONT");
        if (font.large && !(large && large[0] == '1'))
            continue;
        SoundFont* sf = nullptr;
        char message[256];
        ASSERT_EQ(LoadSoundFontFile(font.path, &sf, message, sizeof message), SF_LOAD_OK) << message;
        struct Song { const char* name; const std::vector<uint8_t>* smf; bool effects; int minVoices; } songs[] = {
            {"demo, effects on", &demo, true, 4},
            {"dense song, effects off", &dense, false, 100},
        };
        for (const Song& song : songs) {
            SCOPED_TRACE(song.name);
            SongRender r = PlaySong(sf, *song.smf, song.effects);
            EXPECT_TRUE(r.finite);
            EXPECT_EQ(r.clipped, 0);
            EXPECT_GE(r.peakDbfs, -12.0);
            EXPECT_LE(r.peakDbfs, -1.0 + 0.01);
            EXPECT_GT(r.maxVoices, song.minVoices);
        }
        FreeSoundFont(sf);
        ++played;
    }
    if (played == 0)
        GTEST_SKIP() << "no SoundFont installed";
}

// Debian's SF3 fonts (Ogg Vorbis samples): FluidR3Mono always when installed (the tests'
// setup installs it), MuseScore's Lite font only when present.
TEST(SynthRealFont, PlaysTheDemoThroughAnSf3Font)
{
    std::string here = __FILE__;
    std::vector<uint8_t> demo = ReadAll((here.substr(0, here.rfind("tests/native/")) + "res/demo.mid").c_str());
    ASSERT_FALSE(demo.empty());
    const char* paths[] = {"/usr/share/sounds/sf3/FluidR3Mono_GM.sf3", "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3"};
    int played = 0;
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        FILE* probe = fopen(path, "rb");
        if (!probe)
            continue;
        fclose(probe);
        SoundFont* sf = nullptr;
        char message[256];
        ASSERT_EQ(LoadSoundFontFile(path, &sf, message, sizeof message), SF_LOAD_OK) << message;
        SongRender r = PlaySong(sf, demo, true);
        EXPECT_TRUE(r.finite);
        EXPECT_EQ(r.clipped, 0);
        EXPECT_GE(r.peakDbfs, -12.0);
        EXPECT_LE(r.peakDbfs, -1.0 + 0.01);
        EXPECT_GT(r.maxVoices, 4);
        FreeSoundFont(sf);
        ++played;
    }
    if (played == 0)
        GTEST_SKIP() << "FluidR3Mono_GM.sf3 (Debian's fluidr3mono-gm-soundfont) is not installed";
}

}  // namespace
