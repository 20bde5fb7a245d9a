#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/shell_logic.h"
#include "mmio/song.h"

static std::string PlayTime(DWORD t)
{
    char b[16];
    FormatPlayTime(t, b, sizeof b);
    return b;
}

TEST(PlayTime, CountsEighthsOfASecond)
{
    EXPECT_EQ(PlayTime(0), "0:00.0");
    EXPECT_EQ(PlayTime(4), "0:00.5");
    EXPECT_EQ(PlayTime(79), "0:09.8");
    EXPECT_EQ(PlayTime(487), "1:00.8");
    EXPECT_EQ(PlayTime(960), "2:00.0");
    EXPECT_EQ(PlayTime(28800), "60:00.0");   // minutes do not wrap into hours
}

TEST(PlayTime, LongPositionsKeepTheirTenthsAndFitTheDisplayBuffer)
{
    // t * 5 overflows 32 bits here; the tenths must still follow t.
    EXPECT_EQ(PlayTime(0x40000001u), "2236962:08.1");
    char small[7];
    FormatPlayTime(28800, small, sizeof small);   // truncated, never overrun
    EXPECT_STREQ(small, "60:00.");
}

TEST(SliderFromPlayTime, StaysBetweenOneAndTheEndWhilePlaying)
{
    EXPECT_EQ(SliderFromPlayTime(0, 1000), 1);        // never 0 during playback
    EXPECT_EQ(SliderFromPlayTime(4, 1000), 1);        // 800 / 1000 truncates to 0, plus 1
    EXPECT_EQ(SliderFromPlayTime(5, 1000), 2);
    EXPECT_EQ(SliderFromPlayTime(500, 1000), 101);
    EXPECT_EQ(SliderFromPlayTime(994, 1000), 199);
    EXPECT_EQ(SliderFromPlayTime(995, 1000), 200);    // the last two-hundredth shows the end
    EXPECT_EQ(SliderFromPlayTime(1000, 1000), 200);
    EXPECT_EQ(SliderFromPlayTime(5000, 1000), 200);   // past the end stays at the end
}

TEST(SliderFromPlayTime, UnknownLengthLeavesTheSliderAlone)
{
    EXPECT_EQ(SliderFromPlayTime(0, 0), -1);
    EXPECT_EQ(SliderFromPlayTime(123, 0), -1);
}

TEST(SliderFromPlayTime, LongSongsDoNotWrap)
{
    // 30 000 000 * 200 wraps in 32 bits; the slider must still be in the middle.
    EXPECT_EQ(SliderFromPlayTime(30000000u, 60000000u), 101);
}

TEST(PlayPosFromSlider, MultipliesFirstAndTruncates)
{
    EXPECT_EQ(PlayPosFromSlider(0, 1000), 0u);
    EXPECT_EQ(PlayPosFromSlider(1, 1000), 5u);
    EXPECT_EQ(PlayPosFromSlider(1, 300), 1u);        // 300 / 200 = 1.5
    EXPECT_EQ(PlayPosFromSlider(3, 300), 4u);        // 900 / 200 = 4.5; dividing first would give 3
    EXPECT_EQ(PlayPosFromSlider(200, 1000), 1000u);
    EXPECT_EQ(PlayPosFromSlider(100, 0), 0u);        // no length: every seek goes to 0
    EXPECT_EQ(PlayPosFromSlider(200, 4000000000u), 4000000000u);
    EXPECT_EQ(PlayPosFromSlider(250, 1000), 1000u);  // out-of-range positions are clamped
    EXPECT_EQ(PlayPosFromSlider(-3, 1000), 0u);
}

static std::vector<std::string> Labels(DWORD length, int nTics)
{
    std::vector<std::string> labels;
    for (int i = 0; i < nTics; i++) {
        char b[16];
        FormatScaleLabel(i, nTics, length, b, sizeof b);
        labels.push_back(b);
    }
    return labels;
}

TEST(TimeScale, LabelsTheSliderTicks)
{
    std::vector<std::string> expected = { "0:00", "0:06", "0:12", "0:18", "0:24", "0:30", "0:36" };
    EXPECT_EQ(Labels(300, 7), expected);
    std::vector<std::string> zeros(7, "0:00");
    EXPECT_EQ(Labels(0, 7), zeros);
    // Label i reads i * length / 50 seconds: 3000 units give 1:00 at the first tick.
    EXPECT_EQ(Labels(3000, 7)[1], "1:00");
    EXPECT_EQ(Labels(3000, 7)[6], "6:00");
}

TEST(TimeScale, DrawsLabelsOnlyForALoadedSongWithMoreThanTwoTicks)
{
    EXPECT_FALSE(ScaleHasLabels(0, 7));
    EXPECT_FALSE(ScaleHasLabels(1, 2));
    EXPECT_FALSE(ScaleHasLabels(1, 0));
    EXPECT_TRUE(ScaleHasLabels(1, 3));
    EXPECT_TRUE(ScaleHasLabels(1, 7));
}

TEST(TimeScale, PlacesLabelsAlongTheChannel)
{
    // A channel from 8 to 192: labels at 0/6 .. 6/6 of (184 - 10) pixels, shifted by 19.
    EXPECT_EQ(ScaleLabelX(0, 7, 8, 192), 27);
    EXPECT_EQ(ScaleLabelX(1, 7, 8, 192), 8 + 29 + 19);
    EXPECT_EQ(ScaleLabelX(3, 7, 8, 192), 8 + 87 + 19);
    EXPECT_EQ(ScaleLabelX(6, 7, 8, 192), 8 + 174 + 19);
}

static std::string Clean(const char* tail, int* ok = nullptr, size_t maxLen = MAX_CMDLINE_NAME)
{
    char out[260];
    int r = CleanCommandLine(tail, out, sizeof out, maxLen);
    if (ok)
        *ok = r;
    return out;
}

TEST(CommandLine, TakesTheNameOutOfQuotesAndBlanks)
{
    EXPECT_EQ(Clean(""), "");
    EXPECT_EQ(Clean(nullptr), "");
    EXPECT_EQ(Clean("   \t "), "");
    EXPECT_EQ(Clean("song.mid"), "song.mid");
    EXPECT_EQ(Clean("  song.mid \t"), "song.mid");
    EXPECT_EQ(Clean("\"C:\\My Music\\a song.mid\""), "C:\\My Music\\a song.mid");
    EXPECT_EQ(Clean(" \"C:\\My Music\\a.mid\"  "), "C:\\My Music\\a.mid");
    EXPECT_EQ(Clean("\" spaced.mid \""), "spaced.mid");
    EXPECT_EQ(Clean("\"first.mid\" second.mid"), "first.mid");   // one name: the first
    EXPECT_EQ(Clean("\"unclosed.mid"), "unclosed.mid");
    EXPECT_EQ(Clean("\"\""), "");
    EXPECT_EQ(Clean("C:\\My Music\\a song.mid"), "C:\\My Music\\a song.mid");  // unquoted spaces stay
}

TEST(CommandLine, CutsAtTheFirstCode0x10)
{
    EXPECT_EQ(Clean("song.mid\x10rest"), "song.mid");
    EXPECT_EQ(Clean("\"a b.mid\x10\""), "a b.mid");
    EXPECT_EQ(Clean("\x10song.mid"), "");
}

TEST(CommandLine, RefusesANameLongerThanThePathBuffersWithoutCuttingIt)
{
    std::string fits(MAX_CMDLINE_NAME, 'a');
    std::string tooLong(MAX_CMDLINE_NAME + 1, 'a');
    int ok = 0;
    EXPECT_EQ(Clean(fits.c_str(), &ok), fits);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Clean(tooLong.c_str(), &ok), "");
    EXPECT_EQ(ok, 0);
    // Quotes and blanks do not count against the limit.
    std::string quoted = "  \"" + fits + "\"  ";
    EXPECT_EQ(Clean(quoted.c_str(), &ok), fits);
    EXPECT_EQ(ok, 1);
    // A name longer than the output buffer is refused even under a larger limit.
    std::string huge(600, 'b');
    EXPECT_EQ(Clean(huge.c_str(), &ok, 1000), "");
    EXPECT_EQ(ok, 0);
}

TEST(EndOfSong, CountsOnlyAFinishedPlayOfTheDeviceOpenNow)
{
    const DWORD successful = 1, superseded = 2, aborted = 4, failure = 8;
    EXPECT_TRUE(CountsAsEndOfSong(MODE_PLAY, 7, successful, 7));
    EXPECT_TRUE(CountsAsEndOfSong(MODE_PLAY, 7, failure, 7));
    EXPECT_FALSE(CountsAsEndOfSong(MODE_PLAY, 7, superseded, 7));   // a seek or restart
    EXPECT_FALSE(CountsAsEndOfSong(MODE_PLAY, 7, aborted, 7));
    EXPECT_FALSE(CountsAsEndOfSong(MODE_PLAY, 7, successful, 6));   // a late notice of a closed device
    EXPECT_FALSE(CountsAsEndOfSong(MODE_PLAY, 0, successful, 0));   // no device open
    EXPECT_FALSE(CountsAsEndOfSong(MODE_PAUSE, 7, successful, 7));
    EXPECT_FALSE(CountsAsEndOfSong(MODE_STOP, 7, successful, 7));
    EXPECT_FALSE(CountsAsEndOfSong(MODE_SEEK, 7, successful, 7));   // the slider is held
}

static std::vector<std::string> started;
static unsigned startedShow;
static unsigned FakeExecNone(const char* cmd, unsigned show)
{
    started.push_back(cmd);
    startedShow = show;
    return 2;   // file not found
}
static unsigned FakeExecModern(const char* cmd, unsigned show)
{
    started.push_back(cmd);
    startedShow = show;
    return std::string(cmd) == "sndvol.exe" ? 33 : 2;
}
static unsigned FakeExecClassic(const char* cmd, unsigned)
{
    started.push_back(cmd);
    return 32;
}

TEST(VolumeControl, StartsTheClassicProgramOrElseTheCurrentMixer)
{
    started.clear();
    EXPECT_STREQ(StartVolumeControl(FakeExecClassic, 1), "sndvol32.exe");
    EXPECT_EQ(started, std::vector<std::string>({ "sndvol32.exe" }));

    started.clear();
    EXPECT_STREQ(StartVolumeControl(FakeExecModern, 1), "sndvol.exe");
    EXPECT_EQ(started, std::vector<std::string>({ "sndvol32.exe", "sndvol.exe" }));
    EXPECT_EQ(startedShow, 1u);

    started.clear();
    EXPECT_EQ(StartVolumeControl(FakeExecNone, 1), nullptr);
    EXPECT_EQ(started.size(), 2u);
}
