// The capture analysis on signals whose content is known exactly.
#include <gtest/gtest.h>

#include "audio/analysis.h"

namespace {

using namespace audio;

TEST(CaptureAnalysis, ReadsInterleavedSixteenBitFrames)
{
    const uint8_t bytes[] = {0x00, 0x40, 0x00, 0xC0, 0xFF, 0x7F, 0x00, 0x80, 0x12};   // last byte: partial
    Stereo s = FromS16(bytes, sizeof bytes);
    ASSERT_EQ(s.frames(), 2u);
    EXPECT_FLOAT_EQ(s.left[0], 0.5f);
    EXPECT_FLOAT_EQ(s.right[0], -0.5f);
    EXPECT_FLOAT_EQ(s.left[1], 32767.0f / 32768.0f);
    EXPECT_FLOAT_EQ(s.right[1], -1.0f);
}

TEST(CaptureAnalysis, ToneLevelIsTheSineAmplitudeAndIgnoresOtherTones)
{
    struct Case {
        double hz, amplitude, otherHz;
    } cases[] = {{261.63, 0.5, 392.0}, {392.0, 0.1, 523.25}, {523.25, 0.02, 392.0}, {880.0, 0.8, 1318.5}, {196.0, 0.3, 293.7}};
    for (const Case& c : cases) {
        Stereo s = SilenceOf(0.5);
        AddTone(s, c.hz, c.amplitude, 0.0, 0.5);
        AddTone(s, c.otherHz, 0.5, 0.0, 0.5);
        Track t = ToneTrack(s, c.hz);
        ASSERT_GT(t.size(), 40u);
        EXPECT_NEAR(MedianDb(t, 0.05, 0.4), Db(c.amplitude), 0.3) << c.hz << " Hz";
        EXPECT_NEAR(LevelDb(s, c.hz, 0.1, 0.4), Db(c.amplitude), 0.2) << c.hz << " Hz";
        // The other tone, at a fifth, leaks in far below.
        Stereo alone = SilenceOf(0.5);
        AddTone(alone, c.otherHz, 0.5, 0.0, 0.5);
        EXPECT_LT(MaxDb(ToneTrack(alone, c.hz), 0.05, 0.4), Db(0.5) - 40.0) << c.hz << " Hz";
    }
}

TEST(CaptureAnalysis, OnsetsLandOnTheAttacksOfTheirOwnTone)
{
    // Notes of 392 Hz at known times, with notes of another tone between them and a slow
    // 3 dB tremolo on one held note that must not count as a new attack.
    const double starts[] = {0.100, 0.437, 0.800, 1.060, 1.600};
    const double length = 0.2;
    Stereo s = SilenceOf(2.2);
    for (double t : starts)
        AddTone(s, 392.0, 0.3, t, t + length);
    AddTone(s, 261.63, 0.4, 0.3, 0.7);
    AddTone(s, 261.63, 0.4, 1.3, 1.5);
    const double pi = 3.14159265358979323846;
    size_t a = (size_t)(1.7 * s.rateHz), b = (size_t)(2.15 * s.rateHz);
    for (size_t i = a; i < b; ++i) {
        double g = 0.15 * (1.0 + 0.3 * std::sin(2.0 * pi * 8.0 * (double)i / s.rateHz));
        double v = g * std::sin(2.0 * pi * 392.0 * (double)i / s.rateHz);
        s.left[i] += (float)v;
        s.right[i] += (float)v;
    }
    std::vector<double> found = Onsets(ToneTrack(s, 392.0), -30.0, -40.0);
    ASSERT_EQ(found.size(), 5u);   // the held note overlaps the last listed one: one attack
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i], starts[i], 0.006) << "onset " << i;
    std::vector<double> other = Onsets(ToneTrack(s, 261.63), -30.0, -40.0);
    ASSERT_EQ(other.size(), 2u);
    EXPECT_NEAR(other[0], 0.3, 0.006);
    EXPECT_NEAR(other[1], 1.3, 0.006);
}

TEST(CaptureAnalysis, TimesHoldFarIntoARecordingForEveryStep)
{
    // Steps that are not a whole number of frames (2 ms is 88.2) must not stretch the time
    // axis: an attack 30 s in is found at 30 s.
    Stereo s = SilenceOf(31.0);
    AddTone(s, 523.25, 0.3, 30.0, 30.5);
    const double hops[][2] = {{0.001, 0.005}, {0.002, 0.020}, {0.005, 0.020}, {0.010, 0.040}};
    for (const auto& h : hops) {
        std::vector<double> found = Onsets(ToneTrack(s, 523.25, BOTH, h[0], h[1]), -30.0, -40.0);
        ASSERT_EQ(found.size(), 1u) << h[0];
        EXPECT_NEAR(found[0], 30.0, 0.006) << "hop " << h[0];
        std::vector<Span> quiet = QuietSpans(RmsTrack(s, h[0], h[0]), -60.0, 1.0);
        ASSERT_FALSE(quiet.empty()) << h[0];
        EXPECT_NEAR(quiet[0].end, 30.0, 0.006) << "hop " << h[0];
    }
}

TEST(CaptureAnalysis, QuietSpansAreTheGapsBetweenSounds)
{
    Stereo s = SilenceOf(1.0);
    AddTone(s, 440.0, 0.2, 0.0, 0.3);
    AddTone(s, 440.0, 0.2, 0.35, 0.6);    // a 50 ms gap
    AddTone(s, 440.0, 0.2, 0.605, 0.8);   // a 5 ms gap, shorter than asked for
    std::vector<Span> quiet = QuietSpans(RmsTrack(s), -50.0, 0.030);
    ASSERT_EQ(quiet.size(), 2u);
    EXPECT_NEAR(quiet[0].start, 0.30, 0.011);
    EXPECT_NEAR(quiet[0].end, 0.35, 0.011);
    EXPECT_NEAR(quiet[1].start, 0.80, 0.011);
    EXPECT_NEAR(quiet[1].end, 1.00, 0.011);
    EXPECT_NEAR(LongestDigitalSilence(s, 0.0, 0.8), 0.050, 0.001);
    EXPECT_NEAR(LongestDigitalSilence(s, 0.6, 0.8), 0.005, 0.001);
}

TEST(CaptureAnalysis, DipOfAHeldToneIsMeasuredInDecibels)
{
    struct Case {
        double dipDb, dipSeconds;
    } cases[] = {{0.0, 0.0}, {6.0, 0.05}, {20.0, 0.08}, {3.0, 0.1}};
    for (const Case& c : cases) {
        Stereo s = SilenceOf(1.0);
        double amplitude = 0.25, low = amplitude * FromDb(-c.dipDb);
        if (c.dipSeconds > 0.0) {
            AddTone(s, 523.25, amplitude, 0.0, 0.5, 1.0, 1.0, 0.0);
            AddTone(s, 523.25, low, 0.5, 0.5 + c.dipSeconds, 1.0, 1.0, 0.0);
            AddTone(s, 523.25, amplitude, 0.5 + c.dipSeconds, 1.0, 1.0, 1.0, 0.0);
        } else {
            AddTone(s, 523.25, amplitude, 0.0, 1.0);
        }
        double dip = DeepestDipDb(ToneTrack(s, 523.25), 0.1, 0.9);
        // A 40 ms window never sees less than the dip's own length of it.
        EXPECT_NEAR(dip, c.dipDb, c.dipDb * 0.15 + 0.3) << c.dipDb << " dB for " << c.dipSeconds << " s";
    }
}

TEST(CaptureAnalysis, BalanceIsRightOverLeftInDecibels)
{
    struct Case {
        double gainLeft, gainRight;
    } cases[] = {{1.0, 1.0}, {1.0, 0.5}, {0.1, 1.0}, {0.7071, 0.7071}, {1.0, 0.001}};
    for (const Case& c : cases) {
        Stereo s = SilenceOf(0.5);
        AddTone(s, 329.63, 0.4, 0.0, 0.5, c.gainLeft, c.gainRight);
        AddTone(s, 493.88, 0.4, 0.0, 0.5, 1.0, 0.0);   // another track hard left
        EXPECT_NEAR(BalanceDb(s, 329.63, 0.05, 0.45), Db(c.gainRight) - Db(c.gainLeft), 0.1)
            << c.gainLeft << " / " << c.gainRight;
    }
}

TEST(CaptureAnalysis, KeysAreEqualTempered)
{
    EXPECT_DOUBLE_EQ(KeyHz(69), 440.0);
    EXPECT_NEAR(KeyHz(60), 261.626, 0.001);
    EXPECT_NEAR(KeyHz(81), 880.0, 1e-9);
}

}  // namespace
