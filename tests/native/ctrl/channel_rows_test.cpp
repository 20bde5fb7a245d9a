// Which channels of a track are silent, from its row, its channel rows and the solo, and how
// the notes are swapped to get there.
#include <gtest/gtest.h>
#include "ctrl/ctrl_logic.h"

namespace {

struct SilenceCase {
    const char* what;
    unsigned notes, channelsOn, audibleBySolo;
    bool fTrackOn;
    unsigned silenced;
};

const SilenceCase kSilence[] = {
    {"everything on", 0x0205, 0xFFFF, 0xFFFF, true, 0},
    {"one channel row off", 0x0205, ~0x0004u, 0xFFFF, true, 0x0004},
    {"track off silences every channel", 0x0205, 0xFFFF, 0xFFFF, false, 0x0205},
    {"track off and a channel off", 0x0205, ~0x0004u, 0xFFFF, false, 0x0205},
    {"solo elsewhere", 0x0205, 0xFFFF, 0, true, 0x0205},
    {"solo on a channel row of the track", 0x0205, 0xFFFF, 0x0200, true, 0x0005},
    {"solo on a channel row that is off", 0x0205, ~0x0200u, 0x0200, true, 0x0205},
    {"solo on a channel row of a track that is off", 0x0205, 0xFFFF, 0x0200, false, 0x0205},
};

}  // namespace

TEST(ChannelRows, SilencedChannels)
{
    for (const SilenceCase& c : kSilence)
        EXPECT_EQ(SilencedChannels(c.notes, c.fTrackOn, c.channelsOn, c.audibleBySolo), c.silenced) << c.what;
}

TEST(ChannelRows, SwapsTheWholeTrackOnlyWhenEveryChannelChanges)
{
    bool whole = true;
    EXPECT_EQ(ChannelsToSwap(0x0205, 0, 0, &whole), 0u);
    EXPECT_FALSE(whole);
    EXPECT_EQ(ChannelsToSwap(0x0205, 0, 0x0205, &whole), 0x0205u);
    EXPECT_TRUE(whole);
    EXPECT_EQ(ChannelsToSwap(0x0205, 0x0004, 0x0205, &whole), 0x0201u);
    EXPECT_FALSE(whole);
    EXPECT_EQ(ChannelsToSwap(0x0205, 0x0201, 0x0004, &whole), 0x0205u);   // each channel flips
    EXPECT_TRUE(whole);
}
