// Music > SoundFont...: the open dialog for SoundFont files, a cancel, a file that cannot
// be used, and one that can; the song plays on through all of them.
#include "e2e/fixture.h"
#include "sf2build.h"

namespace e2e {
namespace {

const char kSystemFont[] = "Z:\\usr\\share\\sounds\\sf2\\default-GM.sf2";

// A font of one square-wave preset on bank 0, program 0.
Bytes SquareFont()
{
    sf2::Font f;
    int s = f.AddSample(sf2::Sample("square", sf2::Square(4410, 100)));
    sf2::Instrument inst("Square");
    inst.Add(sf2::Zone().Gen(54, 1).Sample(s));   // looped
    int i = f.AddInstrument(inst);
    f.AddPreset(sf2::Preset("Square", 0, 0).Add(sf2::Zone().Instrument(i)));
    return f.Bytes();
}

class SoundFontCommand : public PlayerTest {
protected:
    // Posts the command and waits for its dialog.
    HWND OpenDialog(Player* p)
    {
        p->PostCommand(IDM_SOUNDFONT);
        HWND dialog = p->WaitDialog(8000);
        if (dialog) {
            EXPECT_EQ(WindowText(dialog), "Open");
            EXPECT_EQ(GetWindow(dialog, GW_OWNER), p->Main());
        }
        return dialog;
    }

    // The name in the dialog's file name box.
    static std::string FileNameText(HWND dialog)
    {
        HWND box = GetDlgItem(dialog, 0x47C);
        if (!box)
            box = GetDlgItem(dialog, 0x480);
        char text[MAX_PATH] = "";
        if (box)
            SendMessageTimeoutA(box, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_NORMAL, 2000, nullptr);
        return text;
    }

    // The song keeps going: the time shown moves on.
    static bool StillPlays(Player* p)
    {
        int before = TenthsOf(p->Time());
        return p->ButtonChecked(IDM_PLAY) && WaitFor([&] { return TenthsOf(p->Time()) > before; }, 3000);
    }
};

TEST_F(SoundFontCommand, TheDialogOffersSoundFontsFromTheOneInUseAndACancelChangesNothing)
{
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    HWND dialog = OpenDialog(p);
    ASSERT_TRUE(dialog);
    HWND types = GetDlgItem(dialog, 0x470);
    ASSERT_TRUE(types);
    EXPECT_EQ(p->ComboCount(types), 1);
    EXPECT_EQ(p->ComboText(types, 0), "SoundFont Files (*.sf2;*.sf3)");
    if (FileExists(kSystemFont)) {
        EXPECT_EQ(FileNameText(dialog), "default-GM.sf2");
    }
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
    Pause(300);
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_TRUE(StillPlays(p));
}

TEST_F(SoundFontCommand, AFileThatCannotBeUsedIsNamedInABoxAndThePreviousFontStays)
{
    Bytes junk(2000, 0x5A);
    std::string bad = WriteWorkFile("broken.sf2", junk);
    std::string good = WriteWorkFile("square.sf2", SquareFont());
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);

    HWND dialog = OpenDialog(p);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(p->FillFileDialog(dialog, good));
    ASSERT_TRUE(p->WaitGone(dialog, 5000));
    Pause(500);
    EXPECT_TRUE(p->Dialogs().empty()) << "a good SoundFont is taken without a word";

    dialog = OpenDialog(p);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(FileNameText(dialog), "square.sf2") << "the dialog starts at the SoundFont in use";
    ASSERT_TRUE(p->FillFileDialog(dialog, bad));
    ASSERT_TRUE(p->WaitGone(dialog, 5000));
    BoxInfo box;
    ASSERT_TRUE(p->WaitBox(&box, 5000));
    EXPECT_EQ(box.caption, "Attention");
    EXPECT_NE(box.text.find("broken.sf2"), std::string::npos) << box.text;
    EXPECT_TRUE(box.icon);
    EXPECT_EQ(box.owner, p->Main());
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    EXPECT_TRUE(StillPlays(p));

    dialog = OpenDialog(p);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(FileNameText(dialog), "square.sf2") << "the refused file did not replace the one in use";
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
}

TEST_F(SoundFontCommand, TheFontChosenIsRememberedAndTheNextRunsDialogStartsThere)
{
    std::string good = WriteWorkFile("remembered.sf2", SquareFont());
    Player* first = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(first);
    HWND dialog = OpenDialog(first);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(first->FillFileDialog(dialog, good));
    ASSERT_TRUE(first->WaitGone(dialog, 5000));
    ASSERT_TRUE(first->Sync());
    ASSERT_TRUE(first->Quit());
    char stored[MAX_PATH] = "";
    DWORD bytes = sizeof stored;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Zulin Player", "SoundFont", RRF_RT_REG_SZ, NULL, stored, &bytes),
              ERROR_SUCCESS);
    EXPECT_STREQ(stored, good.c_str());

    // The next run, and one after the font has gone: the dialog starts at it.
    for (bool gone : {false, true}) {
        if (gone) {
            ASSERT_TRUE(DeleteFileA(good.c_str()));
        }
        Player* p = Launch(Quoted(DemoPath()));
        ASSERT_TRUE(p);
        dialog = OpenDialog(p);
        ASSERT_TRUE(dialog) << "gone: " << gone;
        EXPECT_EQ(FileNameText(dialog), "remembered.sf2") << "gone: " << gone;
        EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
        ASSERT_TRUE(p->Quit());
    }
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

double UnixSeconds()
{
    FILETIME f;
    GetSystemTimeAsFileTime(&f);
    ULARGE_INTEGER u;
    u.LowPart = f.dwLowDateTime;
    u.HighPart = f.dwHighDateTime;
    return u.QuadPart / 1e7 - 11644473600.0;
}

// Run by tests/e2e/sound.sh under a private sound server that records what the player
// plays (skipped anywhere else): the demo plays for ten seconds through the system's
// SoundFont, then Stop. The script checks the recording: sound, then silence from the stop.
// The script also reads the player's CPU time over the ten seconds.
TEST_F(PlayerTest, LiveSoundPlaysThroughTheWaveOutputAndStopsToSilence)
{
    if (!GetEnvironmentVariableA("PLAYER_SOUND_CHECK", nullptr, 0))
        GTEST_SKIP() << "needs tests/e2e/sound.sh and its sound server";
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    // The first play loads the SoundFont (the system's may be large); the clock waits for it.
    ASSERT_TRUE(WaitFor([&] { return TenthsOf(p->Time()) > 5; }, 20000)) << p->Time();
    printf("playing at unix %.3f\n", UnixSeconds());
    fflush(stdout);
    Pause(10000);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    printf("stop at unix %.3f\n", UnixSeconds());
    ASSERT_TRUE(p->Command(IDM_STOP));
    Pause(1500);
    printf("quit at unix %.3f\n", UnixSeconds());
    fflush(stdout);
}

}  // namespace
}  // namespace e2e
