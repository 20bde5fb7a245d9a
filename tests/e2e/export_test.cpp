// File > Export Audio...: the mixed song rendered to a WAV file through the save dialog and
// a progress dialog; the same audio as midimix --render of the same edits; a cancelled or
// failed export leaves no file behind and an existing one untouched.
#include "e2e/fixture.h"
#include "sf2build.h"
#include "synth/soundfont.h"

namespace e2e {
namespace {

const char kProgressCaption[] = "Exporting Audio";

class Export : public PlayerTest {
protected:
    // Posts Export Audio and types the target into its save dialog.
    bool ChooseTarget(Player* p, const std::string& path)
    {
        p->PostCommand(IDM_EXPORT);
        saveDialog_ = p->WaitDialog(8000);
        if (!saveDialog_)
            return false;
        EXPECT_EQ(WindowText(saveDialog_), "Export Audio");
        EXPECT_EQ(GetWindow(saveDialog_, GW_OWNER), p->Main());
        HWND types = GetDlgItem(saveDialog_, 0x470);
        if (types) {
            EXPECT_EQ(p->ComboText(types, 0), "Wave Files (*.wav)");
            EXPECT_EQ(p->ComboSel(types), 0);
        }
        return p->FillFileDialog(saveDialog_, path);
    }

    // The progress dialog once it shows, or NULL.
    HWND WaitProgress(Player* p, DWORD ms)
    {
        HWND found = NULL;
        WaitFor([&] {
            for (HWND h : p->Dialogs())
                if (WindowText(h) == kProgressCaption) {
                    found = h;
                    return true;
                }
            return false;
        }, ms);
        return found;
    }

    // Waits until the export has written target and no dialog of it is left.
    bool WaitExported(Player* p, const std::string& target, DWORD ms)
    {
        return WaitFor([&] {
            for (HWND h : p->Dialogs())
                if (h == saveDialog_ || WindowText(h) == kProgressCaption)
                    return false;
            return FileExists(target);
        }, ms);
    }

    // Files of the folder whose names start with "gy" (the temporary files beside targets).
    static int TemporaryFilesIn(const std::string& dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "gy*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return 0;
        int n = 0;
        do
            ++n;
        while (FindNextFileA(h, &fd));
        FindClose(h);
        return n;
    }

    HWND saveDialog_ = NULL;
};

// Runs midimix.exe (built beside this driver) with the arguments; its exit status, or -1.
int RunMidimix(const std::string& args, DWORD ms)
{
    std::string cmd = "\"" + ExeDir() + "midimix.exe\" " + args;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi))
        return -1;
    DWORD code = (DWORD)-1;
    if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 9);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (int)code;
}

uint32_t Le32(const Bytes& b, size_t at)
{
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

TEST_F(Export, TheMixAsHeardIsWrittenAsMidimixRendersIt)
{
    Bytes song = ShortSong(10);   // eight seconds
    std::string path = WriteWorkFile("mix.mid", song);
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->Sync());
    ASSERT_EQ(p->Rows(), 2);
    // The piano quieter, the bass to the left: heard while playing.
    ASSERT_TRUE(p->SetTrackbarEnd(p->Row(4, 0), 40));
    ASSERT_TRUE(p->SetTrackbarEnd(p->Row(5, 1), 10));
    ASSERT_TRUE(p->Sync());

    std::string target = WorkDir() + "mixed song.wav";
    DeleteFileA(target.c_str());
    ASSERT_TRUE(ChooseTarget(p, target));
    ASSERT_TRUE(WaitExported(p, target, 30000)) << "the export did not end";
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty()) << "a box after the export: " << p->Describe(p->Dialogs().front()).text;
    EXPECT_EQ(p->Title(), "Zulin Player - " + path) << "exporting is not saving the song";

    Bytes exported = ReadBytes(target);
    ASSERT_GT(exported.size(), 44u + 4u * 44100u * 8u) << "shorter than the song";
    EXPECT_EQ(std::string(exported.begin(), exported.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(exported, 4), exported.size() - 8);
    EXPECT_EQ(Le32(exported, 40), exported.size() - 44);
    EXPECT_EQ(TemporaryFilesIn(WorkDir()), 0);

    // The same edits through midimix give the same audio, sample for sample.
    std::string again = WorkDir() + "midimix song.wav";
    ASSERT_EQ(RunMidimix(Quoted(path) + " --volume 0=40 --pan 1=10 --render " + Quoted(again), 30000), 0);
    Bytes rendered = ReadBytes(again);
    ASSERT_EQ(exported.size(), rendered.size());
    size_t differing = 0, first = 0, last = 0;
    for (size_t i = 0; i < exported.size(); ++i)
        if (exported[i] != rendered[i]) {
            if (!differing++)
                first = i;
            last = i;
        }
    EXPECT_EQ(differing, 0u) << "bytes differ from midimix's render, from byte " << first << " to " << last;

    // And the edits mattered: the song as loaded renders otherwise.
    std::string plain = WorkDir() + "plain song.wav";
    ASSERT_EQ(RunMidimix(Quoted(path) + " --render " + Quoted(plain), 30000), 0);
    EXPECT_NE(ReadBytes(plain), exported);
}

// The export sounds like the live output: with the SoundFont chosen through SoundFont...
TEST_F(Export, TheChosenSoundFontIsTheOneExported)
{
    sf2::Font font;
    int sample = font.AddSample(sf2::Sample("square", sf2::Square(4410, 100)));
    int inst = font.AddInstrument(sf2::Instrument("Square").Add(sf2::Zone().Gen(GEN_SAMPLE_MODES, 1).Sample(sample)));
    font.AddPreset(sf2::Preset("Square", 0, 0).Add(sf2::Zone().Instrument(inst)));
    std::string fontPath = WriteWorkFile("export square.sf2", font.Bytes());
    std::string path = WriteWorkFile("square song.mid", ShortSong(4));
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);

    p->PostCommand(IDM_SOUNDFONT);
    HWND dialog = p->WaitDialog(8000);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(p->FillFileDialog(dialog, fontPath));
    ASSERT_TRUE(p->WaitGone(dialog, 5000));
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());

    std::string target = WorkDir() + "square song.wav";
    DeleteFileA(target.c_str());
    ASSERT_TRUE(ChooseTarget(p, target));
    ASSERT_TRUE(WaitExported(p, target, 30000)) << "the export did not end";
    EXPECT_TRUE(p->Dialogs().empty());
    Bytes exported = ReadBytes(target);

    std::string again = WorkDir() + "square again.wav";
    ASSERT_EQ(RunMidimix(Quoted(path) + " --soundfont " + Quoted(fontPath) + " --render " + Quoted(again), 30000), 0);
    EXPECT_TRUE(ReadBytes(again) == exported) << "the export is not midimix's render with the chosen SoundFont";
    std::string system = WorkDir() + "square system.wav";
    ASSERT_EQ(RunMidimix(Quoted(path) + " --render " + Quoted(system), 30000), 0);
    EXPECT_FALSE(ReadBytes(system) == exported) << "the export ignored the chosen SoundFont";
}

TEST_F(Export, CancelKeepsTheExistingFile)
{
    Bytes old(5000, 0x42);
    std::string target = WriteWorkFile("kept.wav", old);
    Bytes song = ShortSong(400);   // five minutes: far longer than the cancel takes
    std::string path = WriteWorkFile("long.mid", song);
    Player* p = Launch(Quoted(path));
    ASSERT_TRUE(p);

    // A cancelled save dialog: nothing happens.
    p->PostCommand(IDM_EXPORT);
    HWND dialog = p->WaitDialog(8000);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(p->Dismiss(dialog, IDCANCEL));
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty());

    ASSERT_TRUE(ChooseTarget(p, target));
    std::set<HWND> known = {saveDialog_};
    HWND confirm = p->WaitDialog(5000, known);
    ASSERT_TRUE(confirm) << "no question before replacing a file";
    ASSERT_TRUE(GetDlgItem(confirm, IDYES));
    PostMessageA(confirm, WM_COMMAND, IDYES, 0);

    HWND progress = WaitProgress(p, 15000);
    ASSERT_TRUE(progress) << "no progress dialog";
    EXPECT_EQ(GetWindow(progress, GW_OWNER), p->Main());
    HWND bar = GetDlgItem(progress, IDC_EXPORT_PROGRESS);
    ASSERT_TRUE(bar);
    EXPECT_EQ(ClassOf(bar), "msctls_progress32");
    HWND cancel = GetDlgItem(progress, IDCANCEL);
    ASSERT_TRUE(cancel);
    EXPECT_EQ(WindowText(cancel), "Cancel");
    // The bar moves while the song renders.
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) > 0; }, 10000));
    EXPECT_TRUE(p->Click(cancel));
    ASSERT_TRUE(p->WaitGone(progress, 10000)) << "Cancel did not end the export";
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Dialogs().empty()) << "a box after a cancel";
    EXPECT_EQ(ReadBytes(target), old) << "the cancelled export changed the file";
    EXPECT_EQ(TemporaryFilesIn(WorkDir()), 0) << "the cancelled export left its temporary file";
    EXPECT_TRUE(p->Running());
}

TEST_F(Export, IntoAFolderThatCannotBeWrittenReportsAndLeavesNothing)
{
    std::string dir = WorkDir() + "locked\\";
    CreateDirectoryA(dir.c_str(), NULL);
    Bytes old(2000, 0x33);
    std::string target = WriteWorkFile("locked\\old.wav", old);
    std::string unixDir = UnixPath(dir);
    ASSERT_FALSE(unixDir.empty());
    RunHost("/usr/bin/chattr +i " + unixDir);
    struct Unlock {
        std::string dir;
        ~Unlock() { RunHost("/usr/bin/chattr -i " + dir); }
    } unlock{unixDir};
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
    ASSERT_TRUE(ChooseTarget(p, target));
    std::set<HWND> known = {saveDialog_};
    HWND confirm = p->WaitDialog(5000, known);
    ASSERT_TRUE(confirm) << "no question before replacing a file";
    PostMessageA(confirm, WM_COMMAND, IDYES, 0);
    known.insert(confirm);

    BoxInfo box;
    ASSERT_TRUE(WaitFor([&] {
        for (HWND h : p->Dialogs())
            if (!known.count(h) && WindowText(h) != kProgressCaption) {
                box = p->Describe(h);
                return !box.text.empty();
            }
        return false;
    }, 20000)) << "no report of the failure";
    EXPECT_EQ(box.caption, "Attention");
    EXPECT_TRUE(box.icon);
    EXPECT_EQ(box.owner, p->Main());
    EXPECT_EQ(box.text, "The audio could not be written to " + target + ".");
    p->DismissAll();
    ASSERT_TRUE(p->Sync());
    EXPECT_EQ(ReadBytes(target), old) << "the failed export damaged the old file";
    EXPECT_EQ(TemporaryFilesIn(dir), 0);
    EXPECT_TRUE(p->ButtonChecked(IDM_PLAY));
}

TEST_F(Export, WithNoSongNothingHappens)
{
    Player* p = Launch();
    ASSERT_TRUE(p);
    p->PostCommand(IDM_EXPORT);
    EXPECT_FALSE(p->WaitDialog(1500)) << "Export Audio opened something with no song loaded";
    p->DismissAll();
    ASSERT_TRUE(p->Sync());
    EXPECT_TRUE(p->Running());
}

}  // namespace
}  // namespace e2e
