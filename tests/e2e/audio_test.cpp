// What the user hears: the recording chain itself, then the player's own sound.
#include "e2e/audio.h"
#include "e2e/fixture.h"

namespace e2e {
namespace {

using namespace audio;

#define SKIP_WITHOUT_AUDIO()                              \
    do {                                                  \
        std::string why = AudioUnavailable();             \
        if (!why.empty())                                 \
            GTEST_SKIP() << why;                          \
    } while (0)

// The chain every audio test stands on: what a program under Wine plays through the wave
// output arrives in the recording, at its level, in its order and with its silences.
TEST(AudioHarness, RecordsWhatTheWaveOutputPlays)
{
    SKIP_WITHOUT_AUDIO();
    Stereo played = SilenceOf(1.2);
    AddTone(played, 440.0, 0.5, 0.1, 0.4, 1.0, 0.25);    // quieter on the right
    AddTone(played, 659.26, 0.25, 0.6, 1.0);
    Recorder rec;
    ASSERT_TRUE(rec.Start()) << "the recorder did not start";
    DWORD before = GetTickCount();
    ASSERT_TRUE(PlayThroughWaveOut(played));
    Pause(300);
    Stereo got = rec.Stop();
    ASSERT_GT(got.seconds(), 1.2);

    std::vector<double> a = Onsets(ToneTrack(got, 440.0), -20.0, -40.0);
    std::vector<double> b = Onsets(ToneTrack(got, 659.26), -20.0, -40.0);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_NEAR(b[0] - a[0], 0.5, 0.02) << "the recording is not paced as played";
    // Placed on the wall clock, the first tone sounds after the program wrote it, within
    // what a loaded machine may delay a stream.
    EXPECT_GT(a[0], rec.SecondsAt(before) - 0.15);
    EXPECT_LT(a[0], rec.SecondsAt(before) + 1.5);
    EXPECT_NEAR(LevelDb(got, 659.26, b[0] + 0.05, b[0] + 0.35), Db(0.25), 0.5);
    EXPECT_NEAR(BalanceDb(got, 440.0, a[0] + 0.05, a[0] + 0.25), Db(0.25), 0.5);
    // Between and after the tones: nothing.
    EXPECT_LT(MaxDb(RmsTrack(got), a[0] + 0.33, b[0] - 0.03), -60.0);
    EXPECT_LT(MaxDb(RmsTrack(got), b[0] + 0.43, got.seconds()), -60.0);
}

}  // namespace
}  // namespace e2e
