// Opening and saving through the dialogs, files that are no songs or cannot be read, and
// saves that must not damage what is on disk.
#include "e2e/fixture.h"

namespace e2e {
namespace {

const char kNotSupported[] = "This format is not supported! (Try Play only)";

class Files : public PlayerTest {
protected:
    // Runs the open or save dialog of a posted command: types the path and confirms.
    bool ChooseInDialog(Player* p, int command, const std::string& path, const char* caption)
    {
        std::set<HWND> known;
        for (HWND h : p->Dialogs())
            known.insert(h);
        p->PostCommand(command);
        HWND dialog = p->WaitDialog(8000, known);
        if (!dialog)
            return false;
        EXPECT_EQ(WindowText(dialog), caption);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), p->Main());
        dialog_ = dialog;
        return p->FillFileDialog(dialog, path);
    }
    HWND dialog_ = NULL;

    // The window may answer before the command line's song has all its rows.
    static bool WaitForRows(Player* p, const Song& song)
    {
        return WaitFor([&] { return p->Rows() == song.rows(); }, 10000);
    }

    // Waits for a box the player raises beside the file dialog (a report of the load).
    bool WaitForReport(Player* p, BoxInfo* box)
    {
        return WaitFor([&] {
            for (HWND h : p->Dialogs())
                if (h != dialog_) {
                    *box = p->Describe(h);
                    return true;
                }
            return false;
        }, 8000);
    }

    std::string CopyOf(const std::set<std::string>& before)
    {
        for (const std::string& s : PlaybackCopies())
            if (!before.count(s))
                return s;
        return "";
    }
};

std::vector<std::string> RowNames(Player* p)
{
    std::vector<std::string> names;
    for (int r = 0; r < p->Rows(); ++r)
        names.push_back(WindowText(p->Row(2, r)));
    return names;
}

TEST_F(Files, OpenThroughTheDialogLoadsWithoutPlaying)
{
    Bytes bytes = ShortSong(4);
    std::string path = WriteWorkFile("dialog-open.mid", bytes);
    Song song(bytes);
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch();
    ASSERT_TRUE(p);
    std::string copy = CopyOf(before);

    // The dialog offers MIDI files first, then all files.
    p->PostCommand(IDM_OPEN);
    HWND dialog = p->WaitDialog(8000);
    ASSERT_TRUE(dialog);
    HWND types = GetDlgItem(dialog, 0x470);
    ASSERT_TRUE(types);
    EXPECT_EQ(p->ComboCount(types), 2);
    EXPECT_EQ(p->ComboSel(types), 0);
    EXPECT_EQ(p->ComboText(types, 0), "Midi Files (*.mid)");
    EXPECT_EQ(p->ComboText(types, 1), "All Files (*.*)");
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
    EXPECT_EQ(p->Title(), "Zulin Player");

    ASSERT_TRUE(ChooseInDialog(p, IDM_OPEN, path, "Open"));
    ASSERT_TRUE(p->WaitGone(dialog_, 5000));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + path; }, 5000)) << p->Title();
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Rows(), song.rows());
    EXPECT_EQ(RowNames(p), (std::vector<std::string>{"Keys", "Low"}));
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY)) << "a song chosen in the dialog starts by itself";
    EXPECT_TRUE(p->ButtonEnabled(IDM_PLAY));
    EXPECT_TRUE(IsWindowEnabled(p->Slider()));
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_EQ(ReadBytes(copy), song.image());
    RECT r = p->Rect();
    EXPECT_EQ(r.right - r.left, 585);
    EXPECT_EQ(r.bottom - r.top, 417);
    EXPECT_TRUE(p->Dialogs().empty());

    ASSERT_TRUE(p->Command(IDM_PLAY));
    Pause(500);
    EXPECT_GT(TenthsOf(p->Time()), 0);
}

TEST_F(Files, OpeningASongWhileAnotherPlaysReplacesItWhole)
{
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    std::string copy = CopyOf(before);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    // Leave the old rows in a state of their own: one switched off, one solo.
    ASSERT_TRUE(p->Click(p->Row(0, 1)));
    ASSERT_TRUE(p->Click(p->Row(1, 2)));
    Pause(500);

    Bytes bytes = ShortSong(3);
    Song song(bytes);
    std::string path = WriteWorkFile("replacing.mid", bytes);
    ASSERT_TRUE(ChooseInDialog(p, IDM_OPEN, path, "Open"));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + path; }, 5000)) << p->Title();
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());

    // Fresh rows, the new song waiting at the beginning, its image in the playback copy.
    ASSERT_EQ(p->Rows(), song.rows());
    for (int r = 0; r < song.rows(); ++r) {
        EXPECT_TRUE(p->Checked(p->Row(0, r)));
        EXPECT_FALSE(p->Checked(p->Row(1, r)));
        EXPECT_TRUE(IsWindowEnabled(p->Row(2, r)));
    }
    EXPECT_FALSE(p->Row(0, song.rows())) << "a row of the old song is left";
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    EXPECT_FALSE(p->ButtonChecked(IDM_PAUSE));
    EXPECT_EQ(p->Time(), "0:00.0");
    EXPECT_EQ(p->SliderPos(), 0);
    EXPECT_EQ(ReadBytes(copy), song.image());
    Pause(400);
    EXPECT_EQ(p->Time(), "0:00.0") << "something still plays";

    // Play gives the new, short song: it ends within its own length.
    ASSERT_TRUE(p->Command(IDM_PLAY));
    EXPECT_TRUE(WaitFor([&] { return !p->ButtonChecked(IDM_PLAY); }, 6000)) << "the song playing is not the new one";
}

TEST_F(Files, CancelledOpenAndUnreadableFileLeaveThePlayingSongAlone)
{
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    std::string copy = CopyOf(before);
    Bytes copyBytes = ReadBytes(copy);
    std::string title = p->Title();
    int rows = p->Rows();
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));

    // Cancel.
    p->PostCommand(IDM_OPEN);
    HWND dialog = p->WaitDialog(8000);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Title(), title);
    EXPECT_EQ(p->Rows(), rows);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_TRUE(p->Dialogs().empty());

    // A file that exists but cannot be opened: another program holds it without sharing.
    std::string locked = WriteWorkFile("locked.mid", ShortSong(2));
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    int t0 = TenthsOf(p->Time());
    ASSERT_TRUE(ChooseInDialog(p, IDM_OPEN, locked, "Open"));
    BoxInfo box;
    bool reported = WaitForReport(p, &box);
    CloseHandle(hold);
    ASSERT_TRUE(reported) << "no report of the failed open";
    EXPECT_EQ(box.text, "File open failed.");
    EXPECT_EQ(box.owner, (HWND)NULL);
    EXPECT_FALSE(box.icon);
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());

    // The previous song is whole and still playing.
    EXPECT_EQ(p->Title(), title);
    EXPECT_EQ(p->Rows(), rows);
    EXPECT_EQ(ReadBytes(copy), copyBytes);
    Pause(400);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    EXPECT_GT(TenthsOf(p->Time()), t0);
    // And it can still be edited and heard.
    Song song(DemoSong());
    ASSERT_TRUE(p->Click(p->Row(0, 0)));
    song.Toggle(0);
    EXPECT_EQ(ReadBytes(copy), song.image());
}

TEST_F(Files, MissingFileOnTheCommandLineIsReportedAndNothingLoads)
{
    Player* p = Launch(Quoted(WorkDir() + "no such song.mid"));
    ASSERT_TRUE(p);
    BoxInfo box;
    ASSERT_TRUE(p->WaitBox(&box));
    EXPECT_EQ(box.text, "File open failed.");
    EXPECT_EQ(box.owner, (HWND)NULL);
    EXPECT_FALSE(box.icon);
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_EQ(p->Title(), "Zulin Player");
    EXPECT_FALSE(IsWindowEnabled(p->Slider()));
    EXPECT_FALSE(p->ButtonEnabled(IDM_PLAY));
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    EXPECT_EQ(p->Rows(), 0);
}

TEST_F(Files, QuotedPathWithBlanksOnTheCommandLineOpens)
{
    std::string dir = WorkDir() + "song folder\\";
    CreateDirectoryA(dir.c_str(), NULL);
    std::string path = dir + "a walk.mid";
    ASSERT_TRUE(CopyFileA(DemoPath().c_str(), path.c_str(), FALSE));
    Player* p = Launch("\"" + path + "\"  ");
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_EQ(p->Title(), "Zulin Player - " + path);
    EXPECT_EQ(p->Rows(), Song(DemoSong()).rows());
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
}

TEST_F(Files, OverlongNameOnTheCommandLineIsRefused)
{
    std::string path = WorkDir() + std::string(300, 'x') + ".mid";
    // The refusal may come before the main window exists.
    Player* p = Launch(Quoted(path), false);
    ASSERT_TRUE(p);
    BoxInfo box;
    ASSERT_TRUE(p->WaitBox(&box)) << "an overlong name must be refused with a message";
    EXPECT_FALSE(box.text.empty());
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    p->DismissAll();
    ASSERT_TRUE(p->FindMain(5000)) << "the player did not go on after the refusal";
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Running());
    EXPECT_EQ(p->Title(), "Zulin Player");
    EXPECT_EQ(p->Rows(), 0);
    EXPECT_FALSE(p->ButtonEnabled(IDM_PLAY));
}

TEST_F(Files, FileThatIsNoSongIsWarnedAboutAndStillPlayable)
{
    // A well-formed song the player cannot list: the reader's own report, the warning, no
    // rows, and the file as read goes to the sequencer, which plays it.
    Bytes many = TooManyTracksSong();
    std::string path = WriteWorkFile("many-tracks.mid", many);
    std::set<std::string> before = PlaybackCopies();
    Player* p = Launch();
    ASSERT_TRUE(p);
    std::string copy = CopyOf(before);

    ASSERT_TRUE(ChooseInDialog(p, IDM_OPEN, path, "Open"));
    BoxInfo box;
    bool warned = WaitForReport(p, &box);
    ASSERT_TRUE(warned);
    EXPECT_EQ(box.text, "Sorry: 101 tracks > 100 (Maximum in this version)");
    EXPECT_TRUE(box.icon);
    EXPECT_EQ(box.owner, p->Main());
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    std::set<HWND> seen = {dialog_, box.hwnd};
    HWND next = p->WaitDialog(5000, seen);
    ASSERT_TRUE(next);
    box = p->Describe(next);
    EXPECT_EQ(box.text, kNotSupported);
    EXPECT_EQ(box.caption, "Attention");
    EXPECT_TRUE(box.icon);
    EXPECT_EQ(box.owner, p->Main());
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + path; }, 5000)) << p->Title();
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_EQ(p->Rows(), 0);
    EXPECT_TRUE(IsWindowVisible(p->TrackView()));
    EXPECT_TRUE(IsWindowVisible(p->Header()));
    EXPECT_EQ(ReadBytes(copy), many);
    EXPECT_TRUE(p->ButtonEnabled(IDM_PLAY));
    EXPECT_TRUE(IsWindowEnabled(p->Slider()));

    ASSERT_TRUE(p->Command(IDM_PLAY));
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
    Pause(700);
    EXPECT_GT(TenthsOf(p->Time()), 0);
    EXPECT_TRUE(p->Dialogs().empty());

    // Text that is no MIDI file at all: the same warning, and the bytes as read in the copy.
    Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'm', 'u', 's', 'i', 'c', '\r', '\n'};
    std::string textPath = WriteWorkFile("not-midi.mid", text);
    ASSERT_TRUE(ChooseInDialog(p, IDM_OPEN, textPath, "Open"));
    warned = WaitForReport(p, &box);
    ASSERT_TRUE(warned);
    EXPECT_EQ(box.text, kNotSupported);
    EXPECT_TRUE(p->Dismiss(box.hwnd));
    // Measuring it may make the sequencer complain; that comes as a sequencer error box.
    while (HWND err = p->WaitDialog(1500)) {
        BoxInfo e = p->Describe(err);
        EXPECT_EQ(e.caption, "Zulin Error") << e.text;
        EXPECT_TRUE(p->Dismiss(err));
    }
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + textPath; }, 5000)) << p->Title();
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Rows(), 0);
    EXPECT_EQ(ReadBytes(copy), text);
    EXPECT_FALSE(p->ButtonChecked(IDM_PLAY));
    EXPECT_EQ(p->Time(), "0:00.0");

    // Play hands it to the sequencer; whatever it says comes as a sequencer error box.
    p->PostCommand(IDM_PLAY);
    Pause(500);
    for (HWND h : p->Dialogs()) {
        BoxInfo err = p->Describe(h);
        EXPECT_EQ(err.caption, "Zulin Error") << err.text;
        p->Dismiss(h);
    }
    p->DismissAll();
    EXPECT_TRUE(p->Sync());
    EXPECT_TRUE(p->Running());
}

TEST_F(Files, SaveAsWritesRenamedTracksAndReopens)
{
    Song song(DemoSong());
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitForRows(p, song));
    const int n = p->Rows();
    ASSERT_EQ(n, song.rows());

    ASSERT_TRUE(p->SetText(p->Row(2, 0), "Lead Flute"));
    ASSERT_TRUE(p->SetText(p->Row(2, n - 1), "Harp, renamed"));
    ASSERT_TRUE(p->SetTrackbarEnd(p->Row(4, 1), 50));
    song.Volume(1, 50);
    std::vector<std::string> names = RowNames(p);
    ASSERT_EQ(names[0], "Lead Flute");

    std::string target = WorkDir() + "saved walk.mid";
    DeleteFileA(target.c_str());
    ASSERT_TRUE(ChooseInDialog(p, IDM_SAVEAS, target, "Save As"));
    ASSERT_TRUE(p->WaitGone(dialog_, 5000));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + target; }, 5000)) << p->Title();
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY)) << "saving stopped the music";

    Bytes saved = ReadBytes(target);
    EXPECT_EQ(saved, song.Saved(names)) << "the saved file differs from the writer's own result";
    ASSERT_TRUE(p->Quit());

    // Reopened, the rows show the new names and the changed volume.
    Player* q = Launch(Quoted(target));
    ASSERT_TRUE(q);
    ASSERT_TRUE(WaitForRows(q, song));
    EXPECT_TRUE(q->Dialogs().empty());
    EXPECT_EQ(RowNames(q), names);
    EXPECT_EQ(q->TrackbarPos(q->Row(4, 1)), 50);
}

TEST_F(Files, SaveOverAnExistingFileReplacesItAfterConfirmation)
{
    Song song(DemoSong());
    Bytes old(3000, 0x5A);
    std::string target = WriteWorkFile("existing.mid", old);
    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(WaitForRows(p, song));
    std::vector<std::string> names = RowNames(p);

    // A cancelled save changes nothing.
    p->PostCommand(IDM_SAVEAS);
    HWND dialog = p->WaitDialog(8000);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(p->Title(), "Zulin Player - " + DemoPath());
    EXPECT_EQ(ReadBytes(target), old);

    // A name typed without an extension is saved without one.
    std::string plain = WorkDir() + "plain";
    ASSERT_TRUE(ChooseInDialog(p, IDM_SAVEAS, plain, "Save As"));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + plain; }, 5000)) << p->Title();
    EXPECT_EQ(ReadBytes(plain), song.Saved(names));
    EXPECT_FALSE(FileExists(plain + ".mid"));

    ASSERT_TRUE(ChooseInDialog(p, IDM_SAVEAS, target, "Save As"));
    std::set<HWND> known = {dialog_};
    HWND confirm = p->WaitDialog(5000, known);
    ASSERT_TRUE(confirm) << "no question before replacing a file";
    ASSERT_TRUE(GetDlgItem(confirm, IDYES));
    PostMessageA(confirm, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(p->WaitGone(dialog_, 5000));
    ASSERT_TRUE(WaitFor([&] { return p->Title() == "Zulin Player - " + target; }, 5000)) << p->Title();
    EXPECT_TRUE(p->Dialogs().empty());
    EXPECT_EQ(ReadBytes(target), song.Saved(names));
}

TEST_F(Files, SaveIntoAFolderThatCannotBeWrittenKeepsTheOldFile)
{
    std::string dir = WorkDir() + "locked\\";
    CreateDirectoryA(dir.c_str(), NULL);
    Bytes old(2000, 0x33);
    std::string target = WriteWorkFile("locked\\old.mid", old);
    std::string unixDir = UnixPath(dir);
    ASSERT_FALSE(unixDir.empty());
    // Made immutable on the host: no file can be created in it, whoever asks.
    RunHost("/usr/bin/chattr +i " + unixDir);
    struct Unlock {
        std::string dir;
        ~Unlock() { RunHost("/usr/bin/chattr -i " + dir); }
    } unlock{unixDir};
    // Wine may report the host program finished before it has run; wait for the effect.
    bool unwritable = WaitFor([&] {
        HANDLE probe = CreateFileA((dir + "probe.tmp").c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        if (probe == INVALID_HANDLE_VALUE)
            return true;
        CloseHandle(probe);
        DeleteFileA((dir + "probe.tmp").c_str());
        return false;
    }, 3000);
    if (!unwritable)
        GTEST_SKIP() << "this machine cannot make " << unixDir << " unwritable";

    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    std::string title = p->Title();
    ASSERT_TRUE(ChooseInDialog(p, IDM_SAVEAS, target, "Save As"));
    std::set<HWND> known = {dialog_};
    HWND confirm = p->WaitDialog(5000, known);
    ASSERT_TRUE(confirm) << "no question before replacing a file";
    PostMessageA(confirm, WM_COMMAND, IDYES, 0);

    // The writer may report first; "Error save file" comes last, owned by the main window.
    std::vector<BoxInfo> boxes;
    bool sawError = WaitFor([&] {
        for (HWND h : p->Dialogs()) {
            if (h == dialog_ || h == confirm)
                continue;
            BoxInfo b = p->Describe(h);
            boxes.push_back(b);
            p->Dismiss(h);
            if (b.text == "Error save file")
                return true;
        }
        return false;
    }, 10000);
    ASSERT_TRUE(sawError) << boxes.size() << " other boxes";
    EXPECT_EQ(boxes.back().caption, "Attention");
    EXPECT_TRUE(boxes.back().icon);
    EXPECT_EQ(boxes.back().owner, p->Main());
    for (const BoxInfo& b : boxes)
        EXPECT_TRUE(b.text == "Error save file" || b.text == "Tmp File create failed." || b.text == "TMP bytes no write.")
            << b.text;
    p->DismissAll();
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(ReadBytes(target), old) << "the failed save damaged the old file";
    EXPECT_EQ(p->Title(), title);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
}

TEST_F(Files, SaveAsWithNoSongWritesNothing)
{
    Player* p = Launch();
    ASSERT_TRUE(p);
    std::string target = WorkDir() + "nothing.mid";
    DeleteFileA(target.c_str());
    // Refused with a message, or at the latest after the dialog: either way no file appears.
    p->PostCommand(IDM_SAVEAS);
    HWND dialog = p->WaitDialog(1500);
    if (dialog && WindowText(dialog) == "Save As") {
        EXPECT_TRUE(p->FillFileDialog(dialog, target));
        Pause(500);
    }
    p->DismissAll();
    ASSERT_TRUE(p->Sync());
    EXPECT_FALSE(FileExists(target));
    EXPECT_EQ(p->Title(), "Zulin Player");
    EXPECT_TRUE(p->Running());
}

}  // namespace
}  // namespace e2e
