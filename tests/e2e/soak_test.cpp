// A long session of random user actions on the real player while it plays: every row
// control, solo, the transport, seeks by drag, click and keys, Loop Music, View Track List,
// opening other songs and saving them. After every hundred actions and at the end the
// program must answer, show no box nobody asked for, hold no more window and drawing objects
// or private memory than a small margin over what it had after the first hundred, and leave
// no temporary file beside its playback copy. SOAK_ACTIONS sets the number of actions
// (default 300), SOAK_SEED the random sequence (printed, to replay a failure).
#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>

#include "e2e/audio.h"
#include "e2e/fixture.h"
#include "e2e/tones.h"

namespace e2e {
namespace {

unsigned EnvNumber(const char* name, unsigned fallback)
{
    char buf[32] = "";
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf)
        return fallback;
    return (unsigned)strtoul(buf, NULL, 10);
}

// What the driver reads of the player's resources.
struct Usage {
    DWORD gdiObjects = 0, userObjects = 0;
    SIZE_T privateBytes = 0;
};

bool ReadUsage(DWORD pid, Usage* u)
{
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!h)
        return false;
    u->gdiObjects = GetGuiResources(h, GR_GDIOBJECTS);
    u->userObjects = GetGuiResources(h, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc;
    ZeroMemory(&pmc, sizeof pmc);
    pmc.cb = sizeof pmc;
    bool ok = GetProcessMemoryInfo(h, (PROCESS_MEMORY_COUNTERS*)&pmc, sizeof pmc) != 0;
    // Wine leaves PrivateUsage at 0 and keeps the private commit in PagefileUsage, which
    // Windows reports as the same figure.
    u->privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    CloseHandle(h);
    return ok;
}

BOOL CALLBACK CountWindowsProc(HWND hwnd, LPARAM lParam)
{
    std::pair<DWORD, int>* c = (std::pair<DWORD, int>*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == c->first) {
        ++c->second;
        EnumChildWindows(hwnd, CountWindowsProc, lParam);
    }
    return TRUE;
}

// Windows of the process, children included: a second view of its USER objects that does
// not depend on the platform's accounting (Wine counts no GDI or USER objects: 0).
int CountWindows(DWORD pid)
{
    std::pair<DWORD, int> c(pid, 0);
    EnumWindows(CountWindowsProc, (LPARAM)&c);
    return c.second;
}

// Names of the files in a folder (not its subfolders).
std::set<std::string> FilesIn(const std::string& dir)
{
    std::set<std::string> found;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found.insert(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

std::string TempFolder()
{
    char path[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, path);
    return path;
}

enum Action {
    ON_BOX, SOLO, NAME, INSTRUMENT, VOLUME_DRAG, VOLUME_KEY, BALANCE_DRAG, BALANCE_KEY,
    PLAY, PAUSE, STOP, SEEK_DRAG, SEEK_CLICK, SEEK_KEY, LOOP, TRACK_LIST, OPEN, SAVE_AS, SOUNDFONT,
    ACTION_COUNT
};

const char* const kActionNames[ACTION_COUNT] = {
    "On box", "Solo", "name", "Instrument", "Volume drag", "Volume key", "Balance drag", "Balance key",
    "Play", "Pause", "Stop", "seek by drag", "seek by click", "seek by key", "Loop Music", "View Track List",
    "Open", "Save As", "SoundFont",
};

// How often each action comes, out of the sum: mostly row controls and the transport; the
// dialogs, which take longest, now and then.
#ifdef IDM_SOUNDFONT
const int kSoundFontWeight = 1;
#else
const int kSoundFontWeight = 0;   // a build without the command
#endif
const int kWeights[ACTION_COUNT] = {10, 6, 3, 8, 6, 4, 6, 4, 6, 5, 4, 6, 3, 4, 3, 2, 2, 2, kSoundFontWeight};

class Soak : public PlayerTest {
protected:
    DWORD TimeLimitMs() const override { return 90000 + actions_ * 1500; }
    void SetUp() override
    {
        actions_ = EnvNumber("SOAK_ACTIONS", 300);
        PlayerTest::SetUp();
    }

    unsigned actions_ = 300;
};

// One random action; false when it could not be done as a user would (control absent,
// disabled or hidden), so another is drawn. A failure of something that was possible is
// reported through gtest.
class Session {
public:
    Session(Player* p, std::mt19937& rng, const std::vector<std::string>& songs, const std::string& saveDir)
        : p_(p), rng_(rng), songs_(songs), saveDir_(saveDir)
    {
    }

    bool Do(Action a)
    {
        switch (a) {
        case ON_BOX:       return RowClick(0);
        case SOLO:         return RowClick(1);
        case NAME:         return Rename();
        case INSTRUMENT:   return Instrument();
        case VOLUME_DRAG:  return RowDrag(4);
        case VOLUME_KEY:   return RowKey(4);
        case BALANCE_DRAG: return RowDrag(5);
        case BALANCE_KEY:  return RowKey(5);
        case PLAY:         return Transport(IDM_PLAY);
        case PAUSE:        return Transport(IDM_PAUSE);
        case STOP:         return Transport(IDM_STOP);
        case SEEK_DRAG:    return SeekDrag();
        case SEEK_CLICK:   return SeekClick();
        case SEEK_KEY:     return SeekKey();
        case LOOP:         return Toolbar(IDM_LOOP);
        case TRACK_LIST:   return Toolbar(IDM_TRACKLIST);
        case OPEN:         return Open(songs_[Pick((int)songs_.size())]);
        case SAVE_AS:      return SaveAs();
        case SOUNDFONT:    return ChooseSoundFont();
        default:           return false;
        }
    }

    // Opens a song through the dialog, as the user does; true when its title shows.
    bool Open(const std::string& path)
    {
        if (!RunFileDialog(IDM_OPEN, path))
            return false;
        bool shown = WaitFor([&] { return p_->Title() == "Zulin Player - " + path; }, 8000);
        EXPECT_TRUE(shown) << "opening " << path << ": title " << p_->Title();
        return shown && p_->Sync();
    }

    int saves() const { return saves_; }

    static std::string ToneFontPath() { return WorkDir() + "soak-tones.sf2"; }

    // Music > SoundFont... with the file given.
    bool UseSoundFont(const std::string& font)
    {
#ifdef IDM_SOUNDFONT
        if (!FileExists(font))
            return false;
        return RunFileDialog(IDM_SOUNDFONT, font) && p_->Sync();
#else
        (void)font;
        return false;
#endif
    }

private:
    Player* p_;
    std::mt19937& rng_;
    const std::vector<std::string>& songs_;
    std::string saveDir_;
    int saves_ = 0;

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    // A row whose control in this column a user can reach now.
    HWND Usable(int column)
    {
        if (!IsWindowVisible(p_->TrackView()))
            return NULL;
        int rows = p_->Rows();
        if (rows == 0)
            return NULL;
        HWND h = p_->Row(column, Pick(rows));
        return h && IsWindowEnabled(h) && IsWindowVisible(h) ? h : NULL;
    }

    bool RowClick(int column)
    {
        HWND h = Usable(column);
        if (!h)
            return false;
        EXPECT_TRUE(p_->Click(h)) << "column " << column;
        return true;
    }

    bool Rename()
    {
        HWND h = Usable(2);
        if (!h)
            return false;
        std::string name = "Soak " + std::to_string(Pick(1000));
        EXPECT_TRUE(p_->SetText(h, name));
        return true;
    }

    bool Instrument()
    {
        HWND h = Usable(3);
        if (!h || p_->ComboCount(h) != 128)
            return false;
        int row = GetDlgCtrlID(h) % 100;
        EXPECT_TRUE(p_->SelectInstrument(row, Pick(128)));
        return p_->Sync();
    }

    bool RowDrag(int column)
    {
        HWND h = Usable(column);
        if (!h)
            return false;
        // A row rebuilt meanwhile (another song came in) takes no message.
        bool done = p_->SetTrackbarEnd(h, Pick(128));
        EXPECT_TRUE(done || !IsWindow(h)) << "a slider that is there did not take the drag";
        return p_->Sync();
    }

    bool RowKey(int column)
    {
        static const int keys[] = {VK_LEFT, VK_RIGHT, VK_PRIOR, VK_NEXT, VK_HOME, VK_END};
        HWND h = Usable(column);
        if (!h)
            return false;
        EXPECT_TRUE(p_->TrackbarKey(h, keys[Pick(6)]));
        return true;
    }

    bool Transport(int id)
    {
        if (!p_->ButtonEnabled(id))
            return false;
        EXPECT_TRUE(p_->Command(id)) << id;
        return true;
    }

    bool Toolbar(int id)
    {
        if (!p_->ButtonEnabled(id))
            return false;
        EXPECT_TRUE(p_->ClickToolbarButton(id)) << id;
        return true;
    }

    bool SeekDrag()
    {
        if (!IsWindowEnabled(p_->Slider()))
            return false;
        EXPECT_TRUE(p_->Seek(Pick(201)));
        return true;
    }

    bool SeekClick()
    {
        RECT channel;
        if (!IsWindowEnabled(p_->Slider()) || !p_->SliderChannel(&channel))
            return false;
        POINT at = {channel.left + 2 + Pick(std::max(1, (int)(channel.right - channel.left) - 4)),
                    (channel.top + channel.bottom) / 2};
        EXPECT_TRUE(p_->ClickAt(at));
        return p_->Sync();
    }

    bool SeekKey()
    {
        static const int keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_HOME, VK_END};
        if (!IsWindowEnabled(p_->Slider()))
            return false;
        EXPECT_TRUE(p_->TrackbarKey(p_->Slider(), keys[Pick(8)]));
        return true;
    }

    bool SaveAs()
    {
        if (!p_->ButtonEnabled(IDM_SAVEAS))
            return false;
        std::string target = saveDir_ + "saved-" + std::to_string(++saves_) + ".mid";
        if (!RunFileDialog(IDM_SAVEAS, target))
            return false;
        bool shown = WaitFor([&] { return p_->Title() == "Zulin Player - " + target; }, 8000);
        EXPECT_TRUE(shown) << "saving " << target << ": title " << p_->Title();
        EXPECT_TRUE(FileExists(target));
        return shown && p_->Sync();
    }

    // Music > SoundFont...: the system's General MIDI SoundFont or the tone SoundFont in turn.
    bool ChooseSoundFont()
    {
        static const char* const fonts[] = {"Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2", nullptr};
        return UseSoundFont(fonts[Pick(2)] ? fonts[0] : ToneFontPath());
    }

    bool RunFileDialog(int command, const std::string& path)
    {
        p_->PostCommand(command);
        HWND dialog = p_->WaitDialog(8000);
        EXPECT_TRUE(dialog) << "no file dialog for command " << command;
        if (!dialog)
            return false;
        EXPECT_TRUE(p_->FillFileDialog(dialog, path));
        bool gone = p_->WaitGone(dialog, 8000);
        EXPECT_TRUE(gone) << "the file dialog stayed open for " << path;
        return gone;
    }
};

TEST_F(Soak, RandomUserActionsWhilePlaying)
{
    unsigned seed = EnvNumber("SOAK_SEED", GetTickCount());
    std::mt19937 rng(seed);
    std::printf("soak: %u actions, SOAK_SEED=%u\n", actions_, seed);
    RecordProperty("seed", (int)seed);

    std::vector<std::string> songs = {
        WriteWorkFile("soak-short.mid", ShortSong(3)),
        WriteWorkFile("soak-long.mid", ShortSong(24)),
        DemoPath(),
    };
    WriteWorkFile("soak-tones.sf2", ToneFont());   // Session::ToneFontPath()
    std::string saveDir = WorkDir() + "soak\\";
    CreateDirectoryA(saveDir.c_str(), NULL);
    const std::string temp = TempFolder();
    const std::set<std::string> tempBefore = FilesIn(temp);

    Player* p = Launch(Quoted(DemoPath()));
    ASSERT_TRUE(p);
    ASSERT_TRUE(p->ButtonChecked(IDM_PLAY));
    Session session(p, rng, songs, saveDir);

    std::discrete_distribution<int> draw(std::begin(kWeights), std::end(kWeights));
    std::uniform_int_distribution<int> pauseMs(0, 120);
    std::map<int, int> done;
    Usage baseline;
    int baselineWindows = 0;
    Usage highest;
    DWORD slowestAnswerMs = 0;
    DWORD start = GetTickCount();

    // Every checkpoint looks at the same state: the demo open, the track list shown, playing.
    auto checkpoint = [&](unsigned n) {
        SCOPED_TRACE("after " + std::to_string(n) + " actions");
        DWORD asked = GetTickCount();
        ASSERT_TRUE(p->Running()) << "the player has gone";
        ASSERT_TRUE(p->Sync()) << "the player does not answer";
        slowestAnswerMs = std::max(slowestAnswerMs, GetTickCount() - asked);
        // The same SoundFont too: the system's is 9 MB more than the tones, and the one given
        // up is let go when the song is opened again.
#ifdef IDM_SOUNDFONT
        ASSERT_TRUE(session.UseSoundFont(Session::ToneFontPath()));
#endif
        ASSERT_TRUE(session.Open(DemoPath()));
        if (!p->ButtonChecked(IDM_TRACKLIST)) {
            ASSERT_TRUE(p->ClickToolbarButton(IDM_TRACKLIST));
        }
        ASSERT_TRUE(p->Command(IDM_PLAY));
        Pause(300);
        ASSERT_TRUE(p->Sync());
        EXPECT_TRUE(p->Dialogs().empty());

        Usage now;
        ASSERT_TRUE(ReadUsage(p->Pid(), &now));
        int windows = CountWindows(p->Pid());
        highest.gdiObjects = std::max(highest.gdiObjects, now.gdiObjects);
        highest.userObjects = std::max(highest.userObjects, now.userObjects);
        highest.privateBytes = std::max(highest.privateBytes, now.privateBytes);
        std::printf("soak: %5u actions  %6lu s  GDI %lu  USER %lu  windows %d  private %lu KB\n", n,
                    (unsigned long)((GetTickCount() - start) / 1000), (unsigned long)now.gdiObjects,
                    (unsigned long)now.userObjects, windows, (unsigned long)(now.privateBytes / 1024));
        ASSERT_GT(now.privateBytes, 0u) << "the player's memory cannot be read";
        if (n <= 100) {
            baseline = now;
            baselineWindows = windows;
        } else {
            EXPECT_LE(now.gdiObjects, baseline.gdiObjects + 20) << "drawing objects grow";
            EXPECT_LE(now.userObjects, baseline.userObjects + 20) << "window objects grow";
            EXPECT_LE(windows, baselineWindows + 5) << "windows are left behind";
            EXPECT_LE(now.privateBytes, baseline.privateBytes + 8u * 1024 * 1024) << "private memory grows";
        }

        // The temporary folder holds the run's own folder and the player's one playback copy.
        std::vector<std::string> extra;
        for (const std::string& f : FilesIn(temp))
            if (!tempBefore.count(f))
                extra.push_back(f);
        EXPECT_LE(extra.size(), 1u) << "files left in " << temp << ": " << ::testing::PrintToString(extra);
        for (const std::string& f : extra)
            EXPECT_TRUE(f.size() > 6 && f.compare(0, 2, "gy") == 0 && f.compare(f.size() - 4, 4, ".tmp") == 0)
                << "not a playback copy: " << f;
        // The save folder holds the saved songs and nothing else.
        for (const std::string& f : FilesIn(saveDir))
            EXPECT_TRUE(f.compare(0, 6, "saved-") == 0 && f.compare(f.size() - 4, 4, ".mid") == 0) << f;
        EXPECT_EQ((int)FilesIn(saveDir).size(), session.saves());
    };

    const bool trace = EnvNumber("SOAK_TRACE", 0) != 0;   // each action as it is done
    for (unsigned n = 1; n <= actions_; ++n) {
        Action a;
        int tries = 0;
        do {
            a = (Action)draw(rng);
            if (trace)
                std::printf("soak: %u %s\n", n, kActionNames[a]);
        } while (!session.Do(a) && ++tries < 50);
        ASSERT_LT(tries, 50) << "no action could be done";
        ++done[a];
        std::vector<HWND> boxes = p->Dialogs();
        if (!boxes.empty()) {
            BoxInfo box = p->Describe(boxes[0]);
            ADD_FAILURE() << "after action " << n << " (" << kActionNames[a] << "): a box \"" << box.caption
                          << "\": " << box.text;
            p->DismissAll();
        }
        ASSERT_TRUE(p->Running()) << "the player ended at action " << n << " (" << kActionNames[a] << ")";
        if (n % 100 == 0 || n == actions_) {
            checkpoint(n);
            if (HasFatalFailure())
                return;
        }
        Pause((DWORD)pauseMs(rng));
    }

    std::string kinds;
    for (int a = 0; a < ACTION_COUNT; ++a) {
        kinds += std::string(kActionNames[a]) + " " + std::to_string(done[a]) + ", ";
        if (actions_ >= 300 && kWeights[a] > 0) {
            EXPECT_GT(done[a], 0) << kActionNames[a] << " was never done";
        }
    }
    std::printf("soak: done: %s%lu s; slowest answer %lu ms; highest GDI %lu USER %lu private %lu KB\n",
                kinds.c_str(), (unsigned long)((GetTickCount() - start) / 1000), (unsigned long)slowestAnswerMs,
                (unsigned long)highest.gdiObjects, (unsigned long)highest.userObjects,
                (unsigned long)(highest.privateBytes / 1024));

    // After a final Stop, nothing sounds.
    std::string noAudio = AudioUnavailable();
    if (!noAudio.empty()) {
        ASSERT_TRUE(p->Command(IDM_STOP));
        std::printf("soak: %s\n", noAudio.c_str());
        return;
    }
    Recorder rec;
    ASSERT_TRUE(rec.Start());
    Pause(500);
    DWORD stopped = GetTickCount();
    ASSERT_TRUE(p->Command(IDM_STOP));
    Pause(1000);
    audio::Stereo heard = rec.Stop();
    ASSERT_GT(heard.seconds(), 1.0);
    double after = rec.SecondsAt(stopped) + 0.2;
    double loudest = audio::MaxDb(audio::RmsTrack(heard), after, heard.seconds());
    EXPECT_LT(loudest, -60.0) << "sound after the final Stop";
    std::printf("soak: after the final Stop the loudest 10 ms read %.1f dBFS\n", loudest);
}

}  // namespace
}  // namespace e2e
