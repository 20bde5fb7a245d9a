// Holding the position slider's thumb with the mouse during playback.
#include "e2e/fixture.h"
#include "e2e/input.h"

namespace e2e {
namespace {

class SliderHold : public PlayerTest {};

TEST_F(SliderHold, DisplayKeepsThePositionOfTheGrabUntilTheRelease)
{
    std::string path = WriteWorkFile("hold.mid", ShortSong(40));   // 32 s
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    ASSERT_TRUE(WaitFor([&] { return TenthsOf(p->Time()) >= 15; }, 8000)) << p->Time();

    RECT thumb;
    ASSERT_TRUE(RemoteRect(p->Process(), p->Slider(), TBM_GETTHUMBRECT, &thumb));
    POINT grab = Middle(thumb);
    int before = TenthsOf(p->Time());
    ASSERT_TRUE(MouseDown(grab));
    Pause(400);
    int held = TenthsOf(p->Time());
    EXPECT_GE(held, before) << "the display went back to where the play started";
    EXPECT_LE(held, before + 10);
    Pause(800);
    EXPECT_EQ(TenthsOf(p->Time()), held) << "the display moved while the thumb was held";

    // Dragged on and let go: the display shows the new place, and the music goes on there.
    RECT channel;
    ASSERT_TRUE(p->SliderChannel(&channel));
    POINT drop = {channel.left + (channel.right - channel.left) * 3 / 4, grab.y};
    ASSERT_TRUE(MouseTo(drop));
    Pause(300);
    EXPECT_EQ(TenthsOf(p->Time()), held);
    ASSERT_TRUE(MouseUp(drop));
    ASSERT_TRUE(p->Sync());
    int pos = p->SliderPos();
    EXPECT_GT(pos, 120);
    int target = (int)((unsigned)pos * (SongLengthMs(ReadBytes(path)) / 125) / 200 * 10 / 8);
    EXPECT_GE(TenthsOf(p->Time()), target - 2);
    EXPECT_LE(TenthsOf(p->Time()), target + 10) << p->Time();
    Pause(600);
    EXPECT_GT(TenthsOf(p->Time()), target) << "the music did not go on after the release";
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_TRUE(p->Dialogs().empty());
}

}  // namespace
}  // namespace e2e
