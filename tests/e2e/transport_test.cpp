// Play, pause, resume, stop, seeking with the position slider, and the end of the song with
// and without Loop Music.
#include <algorithm>
#include "e2e/fixture.h"

namespace e2e {
namespace {

class Transport : public PlayerTest {};

int Shown(Player* p)
{
    return TenthsOf(p->Time());
}

// Tenths of a second of slider position pos for a song of lengthMs (what a seek goes to).
int SeekTenths(int pos, unsigned lengthMs)
{
    unsigned eighths = lengthMs / 125;
    unsigned play = (unsigned)pos * eighths / 200;
    return (int)(play / 8 * 10 + (play * 5 / 4) % 10);
}

TEST_F(Transport, PauseResumeAndStop)
{
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(1000);

    ASSERT_TRUE(p->Command(IDM_PAUSE));
    EXPECT_TRUE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY)) << "Play stays pressed while paused";
    int paused = Shown(p);
    int pausedSlider = p->SliderPos();
    EXPECT_GT(paused, 0);
    Pause(700);
    EXPECT_EQ(Shown(p), paused) << "the time moved while paused";
    EXPECT_EQ(p->SliderPos(), pausedSlider);

    // Play while paused does nothing; Pause resumes.
    ASSERT_TRUE(p->Command(IDM_PLAY));
    Pause(300);
    EXPECT_EQ(Shown(p), paused);
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    Pause(600);
    int resumed = Shown(p);
    EXPECT_GT(resumed, paused);
    EXPECT_LE(resumed, paused + 15);

    ASSERT_TRUE(p->Command(IDM_STOP));
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_EQ(p->SliderPos(), 0);
    Pause(400);
    EXPECT_EQ(p->Time(), "0:00.0") << "still playing after Stop";
    // Stop while stopped changes nothing; Pause while stopped neither.
    ASSERT_TRUE(p->Command(IDM_STOP));
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_EQ(p->Time(), "0:00.0");

    // Play after Stop starts from the beginning.
    ASSERT_TRUE(p->Command(IDM_PLAY));
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(500);
    int again = Shown(p);
    EXPECT_GT(again, 0);
    EXPECT_LT(again, 20);
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(Transport, SeekWhilePlayingAndWhilePaused)
{
    unsigned lengthMs = SongLengthMs(DemoSong());
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(500);

    // Playing: the display jumps to the chosen place at once and the music goes on from there.
    ASSERT_TRUE(p->Seek(100));
    int half = SeekTenths(100, lengthMs);
    int shown = Shown(p);
    EXPECT_GE(shown, half - 1);
    EXPECT_LE(shown, half + 5) << "the display did not jump to the chosen place";
    Pause(800);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    int later = Shown(p);
    EXPECT_GT(later, half);
    EXPECT_LT(later, half + 20);
    EXPECT_GE(p->SliderPos(), 100);
    EXPECT_LE(p->SliderPos(), 106);

    // Backwards while playing.
    ASSERT_TRUE(p->Seek(20));
    Pause(500);
    int back = Shown(p);
    EXPECT_GE(back, SeekTenths(20, lengthMs));
    EXPECT_LT(back, SeekTenths(20, lengthMs) + 15);

    // Paused: only the place and the display change; resuming plays from there.
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    ASSERT_TRUE(p->Seek(150));
    int quarter3 = SeekTenths(150, lengthMs);
    EXPECT_NEAR(Shown(p), quarter3, 1);
    Pause(500);
    EXPECT_NEAR(Shown(p), quarter3, 1) << "the song moved while paused";
    EXPECT_TRUE(p->ButtonChecked(IDM_PAUSE));
    ASSERT_TRUE(p->Command(IDM_PAUSE));
    Pause(500);
    int resumed = Shown(p);
    EXPECT_GE(resumed, quarter3);
    EXPECT_LT(resumed, quarter3 + 15);

    // Stopped: the next Play starts where the slider was put.
    ASSERT_TRUE(p->Command(IDM_STOP));
    ASSERT_TRUE(p->Seek(60));
    EXPECT_NEAR(Shown(p), SeekTenths(60, lengthMs), 1);
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    ASSERT_TRUE(p->Command(IDM_PLAY));
    Pause(500);
    int fromSlider = Shown(p);
    EXPECT_GE(fromSlider, SeekTenths(60, lengthMs));
    EXPECT_LT(fromSlider, SeekTenths(60, lengthMs) + 15);
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(Transport, ClickInTheSliderChannelPagesAndPlaysOnFromThere)
{
    unsigned lengthMs = SongLengthMs(DemoSong());
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(300);
    int before = p->SliderPos();
    ASSERT_LT(before, 10);

    // A click right of the thumb moves it one page on; the release seeks there.
    RECT channel;
    ASSERT_TRUE(p->SliderChannel(&channel));
    POINT at = {channel.right - 4, (channel.top + channel.bottom) / 2};
    ASSERT_TRUE(p->ClickAt(at));
    ASSERT_TRUE(WaitFor([&] { return p->SliderPos() >= before + 30; }, 3000)) << "the thumb did not move";
    Pause(300);
    ASSERT_TRUE(p->Sync());
    int pos = p->SliderPos();
    EXPECT_LE(pos, before + 60) << "more than a page";
    int shown = Shown(p);
    EXPECT_GE(shown, SeekTenths(pos - 4, lengthMs));
    EXPECT_LE(shown, SeekTenths(pos + 2, lengthMs) + 5);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(500);
    EXPECT_GT(Shown(p), shown) << "the music did not go on";
}

TEST_F(Transport, SongEndsAndRewinds)
{
    Bytes song = ShortSong(3);   // 2.4 s
    std::string path = WriteWorkFile("short-end.mid", song);
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    ASSERT_FALSE(p->ButtonChecked(IDM_LOOP));

    // Near the end the slider reaches the top of its scale.
    int highest = 0;
    DWORD start = GetTickCount();
    bool ended = WaitFor([&] {
        highest = std::max(highest, p->SliderPos());
        return !p->ButtonChecked(IDM_PLAY);
    }, 8000);
    ASSERT_TRUE(ended) << "the song did not end";
    DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 1500u) << "ended too early";
    EXPECT_GE(highest, 180);
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_EQ(p->SliderPos(), 0);
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    Pause(500);
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));

    // It can be played again.
    ASSERT_TRUE(p->Command(IDM_PLAY));
    Pause(500);
    EXPECT_GT(Shown(p), 0);
    EXPECT_TRUE(p->Dialogs().empty());
}

TEST_F(Transport, LoopMusicPlaysTheSongAgain)
{
    std::string path = WriteWorkFile("short-loop.mid", ShortSong(3));
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ClickToolbarButton(IDM_LOOP));
    ASSERT_TRUE(p->ButtonChecked(IDM_LOOP));

    // The time runs up to the end, starts again from the beginning, and Play stays pressed.
    int highest = 0;
    bool wrapped = WaitFor([&] {
        int t = Shown(p);
        highest = std::max(highest, t);
        return highest >= 15 && t >= 0 && t < highest - 10;
    }, 8000);
    EXPECT_TRUE(wrapped) << "highest time shown " << highest;
    Pause(300);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_GT(Shown(p), 0);
    EXPECT_TRUE(p->Dialogs().empty());
}

}  // namespace
}  // namespace e2e
