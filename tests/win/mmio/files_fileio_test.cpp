// Open by name and Save As refusals with the real Win32 file calls, and the atomic replace of
// a saved file where Windows refuses to replace it.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "mmio/mmio.h"
#include "smfbuild.h"

namespace {

struct Shown {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};
std::vector<Shown> shown;

int Record(HWND owner, const char* text, const char* caption, UINT style)
{
    shown.push_back({owner, text ? text : "", caption ? caption : "(null)", style});
    return IDOK;
}

std::vector<std::string> Texts()
{
    std::vector<std::string> out;
    for (const Shown& s : shown)
        out.push_back(s.text);
    return out;
}

smf::Bytes ReadAll(const std::string& path)
{
    smf::Bytes out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    out.resize(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!out.empty())
        ReadFile(h, out.data(), (DWORD)out.size(), &got, nullptr);
    CloseHandle(h);
    out.resize(got);
    return out;
}

void WriteAll(const std::string& path, const smf::Bytes& b)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done = 0;
    if (!b.empty())
        WriteFile(h, b.data(), (DWORD)b.size(), &done, nullptr);
    CloseHandle(h);
}

// Any dialog that shows up is cancelled (or, when a test asks, confirmed with the name it
// starts with) and counted, so a wrong dialog cannot hang the test. A dialog is activated
// again whenever another program's window took the focus meanwhile: each counts once. Under
// Wine the hook also hears of other processes' windows being activated (a test beside this
// one showing its own dialog): only this thread's own count.
int dialogs;
bool confirmDialogs;
HHOOK hook;
std::vector<HWND> dialogsSeen;
LRESULT CALLBACK CancelDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        char cls[32] = "";
        GetClassNameA((HWND)wParam, cls, sizeof cls);
        HWND box = (HWND)wParam;
        if (lstrcmpA(cls, "#32770") == 0 && GetWindowThreadProcessId(box, nullptr) == GetCurrentThreadId() &&
            std::find(dialogsSeen.begin(), dialogsSeen.end(), box) == dialogsSeen.end()) {
            dialogsSeen.push_back(box);
            ++dialogs;
            PostMessageA((HWND)wParam, WM_COMMAND, confirmDialogs ? IDOK : IDCANCEL, 0);
        }
    }
    if (code == HCBT_DESTROYWND)
        dialogsSeen.erase(std::remove(dialogsSeen.begin(), dialogsSeen.end(), (HWND)wParam), dialogsSeen.end());
    return CallNextHookEx(hook, code, wParam, lParam);
}

smf::Bytes Song(const char* name)
{
    smf::Track tempo, melody;
    tempo.Tempo(0, 500000).End();
    melody.Name(0, name).NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60, 64).End();
    return smf::File(1, 96).Add(tempo).Add(melody).Bytes();
}

class FileIo : public ::testing::Test {
protected:
    std::string dir;
    std::string copy;

    void SetUp() override
    {
        shown.clear();
        dialogs = 0;
        dialogsSeen.clear();
        confirmDialogs = false;
        previous = SetReportProc(Record);
        hook = SetWindowsHookExA(WH_CBT, CancelDialogs, nullptr, GetCurrentThreadId());
        char tmp[MAX_PATH];
        GetTempPathA(sizeof tmp, tmp);
        dir = std::string(tmp) + "fileio_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(dir.c_str(), nullptr);
        char* name = gettmpname();
        ASSERT_NE(name, nullptr);
        copy = name;
        sTmpName = name;
        hWndMain = (HWND)0x4321;
        memset(&MidiInfo, 0, sizeof MidiInfo);
    }

    void TearDown() override
    {
        UnhookWindowsHookEx(hook);
        SetReportProc(previous);
        SetAllocGate(nullptr);
        deltmp(copy.c_str());
        FreeFixed(pFileBuf);
        pFileBuf = nullptr;
        dwFileBufSize = 0;
        sTmpName = nullptr;
        hWndMain = nullptr;
        std::string pattern = dir + "\\*";
        WIN32_FIND_DATAA fd;
        HANDLE f = FindFirstFileA(pattern.c_str(), &fd);
        if (f != INVALID_HANDLE_VALUE) {
            do {
                std::string p = dir + "\\" + fd.cFileName;
                SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(p.c_str());
            } while (FindNextFileA(f, &fd));
            FindClose(f);
        }
        RemoveDirectoryA(dir.c_str());
    }

    std::string Path(const char* name) const { return dir + "\\" + name; }

    // Loads a first song by name and checks what the load leaves.
    void LoadFirst()
    {
        WriteAll(Path("first.mid"), Song("First"));
        char name[260];
        lstrcpynA(name, Path("first.mid").c_str(), sizeof name);
        ASSERT_EQ(mcimidiSelectFile(name), 1);
        ASSERT_EQ(MidiInfo.wNumListed, 1);
        ASSERT_STREQ(gettrackname(&MidiInfo, 0), "First");
        shown.clear();
    }

    void ExpectFirstSongWhole(const smf::Bytes& image, BYTE* buffer)
    {
        EXPECT_EQ(pFileBuf, buffer);
        EXPECT_EQ(smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize), image);
        EXPECT_EQ(MidiInfo.wNumListed, 1);
        EXPECT_STREQ(gettrackname(&MidiInfo, 0), "First");
        EXPECT_EQ(ReadAll(copy), image);
    }

private:
    REPORTPROC previous = nullptr;
};

}  // namespace

TEST_F(FileIo, LoadByNameFillsImageRecordAndPlaybackCopy)
{
    dwPlayPos = 77;
    WriteAll(Path("song.mid"), Song("Piano"));
    char name[260];
    lstrcpynA(name, Path("song.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSelectFile(name), 1);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(std::string(name), Path("song.mid"));
    EXPECT_EQ(dwPlayPos, 0u);
    EXPECT_EQ(MidiInfo.wNumTracks, 2);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "Piano");
    EXPECT_EQ(dwFileBufSize, Song("Piano").size() + 8);
    EXPECT_EQ(ReadAll(copy), smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize));
}

TEST_F(FileIo, FileThatIsNoSongIsWarnedAboutAndStillCopied)
{
    smf::Bytes junk = {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'};
    WriteAll(Path("junk.mid"), junk);
    char name[260];
    lstrcpynA(name, Path("junk.mid").c_str(), sizeof name);
    MidiInfo.wNumTracks = 5;
    MidiInfo.wNumListed = 3;
    EXPECT_EQ(mcimidiSelectFile(name), 1);
    ASSERT_EQ(Texts(), std::vector<std::string>{"This format is not supported! (Try Play only)"});
    EXPECT_EQ(shown[0].caption, "Attention");
    EXPECT_EQ(shown[0].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(shown[0].owner, hWndMain);
    EXPECT_EQ(MidiInfo.wNumTracks, 0);
    EXPECT_EQ(MidiInfo.wNumListed, 0);
    EXPECT_EQ(ReadAll(copy), junk);

    // An empty file passes the read and leaves an empty playback copy.
    shown.clear();
    WriteAll(Path("empty.mid"), {});
    lstrcpynA(name, Path("empty.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSelectFile(name), 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{"This format is not supported! (Try Play only)"});
    EXPECT_TRUE(ReadAll(copy).empty());
}

TEST_F(FileIo, FailedLoadsLeaveThePreviousSongWhole)
{
    LoadFirst();
    smf::Bytes image(pFileBuf, pFileBuf + dwFileBufSize);
    BYTE* buffer = pFileBuf;
    WriteAll(Path("second.mid"), Song("Second"));
    char name[260];

    lstrcpynA(name, Path("missing.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSelectFile(name), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File open failed."});
    EXPECT_EQ(shown[0].caption, "(null)");
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].style, (UINT)MB_OK);
    ExpectFirstSongWhole(image, buffer);

    // No memory for the new image.
    shown.clear();
    SetAllocGate([](DWORD) { return 0; });
    lstrcpynA(name, Path("second.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSelectFile(name), 0);
    SetAllocGate(nullptr);
    EXPECT_EQ(Texts(), std::vector<std::string>{"GlobalAlloc failed!"});
    ExpectFirstSongWhole(image, buffer);

    // The image fits, the reader's work memory does not.
    shown.clear();
    static int allowed;
    allowed = 1;
    SetAllocGate([](DWORD) { return allowed-- > 0 ? 1 : 0; });
    EXPECT_EQ(mcimidiSelectFile(name), 0);
    SetAllocGate(nullptr);
    EXPECT_EQ(Texts(), std::vector<std::string>{"GlobalAlloc failed!"});
    ExpectFirstSongWhole(image, buffer);

    // A name longer than the path buffer is not cut to another file's name.
    shown.clear();
    std::string longName(300, 'a');
    char longBuf[400];
    lstrcpynA(longBuf, longName.c_str(), sizeof longBuf);
    EXPECT_EQ(mcimidiSelectFile(longBuf), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File open failed."});
    ExpectFirstSongWhole(image, buffer);

    // And then the second song loads.
    shown.clear();
    EXPECT_EQ(mcimidiSelectFile(name), 1);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "Second");
    EXPECT_TRUE(shown.empty());
}

TEST_F(FileIo, SaveAsWithoutASongIsRefusedWithoutDialog)
{
    char name[260];
    lstrcpynA(name, Path("out.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSaveFile(name), 0);
    EXPECT_EQ(dialogs, 0);
    ASSERT_EQ(Texts(), std::vector<std::string>{"Error save file"});
    EXPECT_EQ(shown[0].caption, "Attention");
    EXPECT_EQ(shown[0].style, (UINT)MB_ICONEXCLAMATION);
    EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(std::string(name), Path("out.mid"));
}

TEST_F(FileIo, SaveDialogCancelledWritesNothing)
{
    LoadFirst();
    hWndMain = nullptr;   // a real dialog needs a real owner or none
    char name[260];
    lstrcpynA(name, Path("out.mid").c_str(), sizeof name);
    EXPECT_EQ(mcimidiSaveFile(name), 0);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(GetFileAttributesA(name), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FileIo, SaveWithoutRowsKeepsTheSongsOwnNames)
{
    // No track view has built rows in this process: no name box stands for the track, so
    // its own name is saved rather than an empty one.
    LoadFirst();
    hWndMain = nullptr;
    confirmDialogs = true;
    char name[260];
    lstrcpynA(name, Path("out.mid").c_str(), sizeof name);
    ASSERT_EQ(mcimidiSaveFile(name), 1);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(std::string(name), Path("out.mid"));
    ASSERT_EQ(mcimidiSelectFile(name), 1);
    ASSERT_EQ(MidiInfo.wNumListed, 1);
    EXPECT_STREQ(gettrackname(&MidiInfo, 0), "First");
}

TEST_F(FileIo, ReplaceRefusedByWindowsKeepsTheOldFile)
{
    LoadFirst();
    smf::Bytes old = {'o', 'l', 'd'};
    std::string target = Path("locked.mid");
    WriteAll(target, old);
    // Another program holds the file open without sharing it.
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(writemidiinfo(target.c_str(), pFileBuf, &MidiInfo, nullptr), 0);
    CloseHandle(held);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Tmp File create failed."});
    EXPECT_EQ(ReadAll(target), old);

    // Only the target is left in the folder.
    int files = 0;
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ++files;
    } while (FindNextFileA(f, &fd));
    FindClose(f);
    EXPECT_EQ(files, 2);   // first.mid and locked.mid

    shown.clear();
    EXPECT_EQ(writemidiinfo(target.c_str(), pFileBuf, &MidiInfo, nullptr), 1);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(ReadAll(target), smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize));
}

// A reader that holds the playback copy for a moment, as a scanner does, delays an edit's
// rewrite; one that keeps it makes the rewrite fail with its report.
TEST_F(FileIo, PlaybackCopyHeldByAReaderIsWrittenOnceTheReaderLetsGo)
{
    struct Case {
        DWORD holdMs;
        int written;
    } cases[] = {{60, 1}, {INFINITE, 0}};
    const smf::Bytes song = Song("Held");
    for (const Case& c : cases) {
        shown.clear();
        WriteAll(copy, {1, 2, 3});
        HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        struct Release {
            HANDLE file;
            DWORD ms;
        } release = {held, c.holdMs};
        HANDLE releaser = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
            Release* r = (Release*)p;
            if (r->ms != INFINITE) {
                Sleep(r->ms);
                CloseHandle(r->file);
            }
            return 0;
        }, &release, 0, nullptr);
        ASSERT_NE(releaser, nullptr);
        EXPECT_EQ(settmp(copy.c_str(), song.data(), (DWORD)song.size()), c.written) << c.holdMs;
        WaitForSingleObject(releaser, INFINITE);
        CloseHandle(releaser);
        if (c.holdMs == INFINITE)
            CloseHandle(held);
        EXPECT_EQ(ReadAll(copy), c.written ? song : smf::Bytes({1, 2, 3})) << c.holdMs;
        EXPECT_EQ(shown.size(), c.written ? 0u : 1u) << c.holdMs;
    }
}
