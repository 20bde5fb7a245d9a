// The main window made from the real resources: its children, the commands, the transport
// and the shut-down, on the program's own sequencer.
#include "win/main/shell_harness.h"

#include <functional>

#include "main/shell_logic.h"
#include "mmio/sequencer.h"

namespace shelltest {
namespace {

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND hwnd)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), (POINT*)&rc, 2);
    return rc;
}

void ExpectChild(HWND hwnd, const char* cls, int id, DWORD styles, int x, int y, int cx, int cy)
{
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(GetParent(hwnd), hWndToolbar);
    EXPECT_STRCASEEQ(ClassOf(hwnd).c_str(), cls);
    EXPECT_EQ((int)(short)GetDlgCtrlID(hwnd), id);
    EXPECT_EQ((DWORD)GetWindowLongA(hwnd, GWL_STYLE) & styles, styles);
    RECT rc = RectInParent(hwnd);
    EXPECT_EQ(rc.left, x);
    EXPECT_EQ(rc.top, y);
    EXPECT_EQ(rc.right - rc.left, cx);
    EXPECT_EQ(rc.bottom - rc.top, cy);
}

std::string Tooltip(UINT_PTR id)
{
    NMTTDISPINFOA di = {};
    di.hdr.hwndFrom = hWndToolbar;
    di.hdr.idFrom = id;
    di.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(hWndMain, WM_NOTIFY, 0, (LPARAM)&di);
    return di.lpszText ? di.lpszText : "";
}

using Shell = ShellTest;

TEST_F(Shell, StartsWithEveryChildInPlaceOnTheToolbar)
{
    EXPECT_EQ(WindowText(hWndMain), "Zulin Player");
    SIZE size = OuterSize();
    EXPECT_EQ(size.cx, 445);
    EXPECT_EQ(size.cy, 95);
    EXPECT_EQ(GetParent(hWndToolbar), hWndMain);
    EXPECT_EQ(GetDlgCtrlID(hWndToolbar), 1);
    EXPECT_EQ(SendMessageA(hWndToolbar, TB_BUTTONCOUNT, 0, 0), NUM_TBBUTTONS);
    EXPECT_EQ(SendMessageA(hWndToolbar, TB_GETROWS, 0, 0), 2);

    ExpectChild(hWndTimeTrack, "msctls_trackbar32", 10, TBS_AUTOTICKS | TBS_ENABLESELRANGE, 185, 1, 200, 31);
    ExpectChild(hWndTimeCoord, "static", -1, SS_SIMPLE, 185, 32, 205, 15);
    ExpectChild(hWndTime, "static", -1, SS_CENTER, 137, 30, 47, 16);
    EXPECT_TRUE(GetWindowLongA(hWndTime, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    HWND logo = GetDlgItem(hWndToolbar, IDM_ABOUT);
    ExpectChild(logo, "button", IDM_ABOUT, BS_ICON, 395, 5, 40, 40);
    EXPECT_TRUE(SendMessageA(logo, BM_GETIMAGE, IMAGE_ICON, 0));

    EXPECT_EQ(Time(), "0:00.0");
    EXPECT_FALSE(IsWindowEnabled(hWndTimeTrack));
    EXPECT_EQ(SliderPos(), 0);
    EXPECT_EQ(SendMessageA(hWndTimeTrack, TBM_GETRANGEMAX, 0, 0), 200);
    // A tick every 40 positions. (How many tick marks the trackbar then reports, and whether
    // it honours the thumb length without TBS_FIXEDLENGTH, is the platform's matter.)
    EXPECT_EQ(SendMessageA(hWndTimeTrack, TBM_GETTIC, 0, 0), 40);
    EXPECT_EQ(SendMessageA(hWndTimeTrack, TBM_GETTIC, 1, 0), 80);
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(hWndTimeTrack, GWLP_WNDPROC), TimeTrackWndProc);
    EXPECT_EQ((WNDPROC)GetWindowLongPtrA(hWndTimeCoord, GWLP_WNDPROC), TimeCoordWndProc);
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_EQ(fFileLoaded, 0);
    EXPECT_EQ(wOutDeviceID, 0u);

    // The slider's tool in the toolbar's tooltip control, keyed by its handle.
    HWND tt = (HWND)SendMessageA(hWndToolbar, TB_GETTOOLTIPS, 0, 0);
    ASSERT_TRUE(tt);
    TOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.hwnd = hWndMain;
    ti.uId = (UINT_PTR)hWndTimeTrack;
    EXPECT_TRUE(SendMessageA(tt, TTM_GETTOOLINFOA, 0, (LPARAM)&ti));
    EXPECT_TRUE(ti.uFlags & TTF_IDISHWND);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Shell, ToolbarTooltipsAreTheStringsOfTheCommands)
{
    EXPECT_EQ(Tooltip(IDM_SAVEAS), "Save midi file as...");
    EXPECT_EQ(Tooltip(IDM_STOP), "Stop Playing Music (Go to begining)");
    EXPECT_EQ(Tooltip(IDM_PLAY), "Play Music");
    EXPECT_EQ(Tooltip(IDM_ABOUT), "About");
    EXPECT_EQ(Tooltip(IDM_VOLUME), "Volume Control");
    // Other notifications are left alone.
    NMHDR other = {hWndToolbar, 1, (UINT)TBN_DROPDOWN};
    EXPECT_EQ(SendMessageA(hWndMain, WM_NOTIFY, 0, (LPARAM)&other), 0);
}

TEST_F(Shell, CommandsThatDoNotFitTheModeAreIgnored)
{
    Command(IDM_PLAY);
    Command(IDM_PAUSE);
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_EQ(wOutDeviceID, 0u);
    Command(IDM_STOP);   // rewinds the display, calls no sequencer
    EXPECT_EQ(Time(), "0:00.0");
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_TRUE(Boxes().empty());
    Command(IDM_NEW);
    Command(102);
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, "Not implemented!");
    EXPECT_EQ(Boxes()[0].caption, "Command");
}

TEST_F(Shell, CommandLineOpenLoadsAndPlays)
{
    std::string path = WriteSong("shell cmdline song.mid", Song(120, {"Piano", "Bass"}));
    OpenFromCommandLine(path);
    EXPECT_EQ(WindowText(hWndMain), "Zulin Player - " + path);
    EXPECT_EQ(fFileLoaded, 1);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_NE(wOutDeviceID, 0u);
    EXPECT_EQ(dwFileSize, 480u);   // 60 seconds in eighths
    for (int id : {IDM_SAVEAS, IDM_STOP, IDM_PLAY, IDM_PAUSE, IDM_LOOP, IDM_TRACKLIST})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDM_NEW));
    EXPECT_TRUE(Checked(IDM_PLAY));
    EXPECT_FALSE(Checked(IDM_PAUSE));
    EXPECT_TRUE(IsWindowEnabled(hWndTimeTrack));
    SIZE size = OuterSize();   // View Track List starts checked: the list is shown
    EXPECT_EQ(size.cx, 585);
    EXPECT_EQ(size.cy, 417);

    // The tick moves the time display and the slider while playing.
    Pump(700);
    EXPECT_NE(Time(), "0:00.0");
    EXPECT_GE(SliderPos(), 1);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(path.c_str());
}

TEST_F(Shell, PauseResumeAndStop)
{
    std::string path = WriteSong("shell transport.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    Pump(400);
    Command(IDM_PAUSE);
    EXPECT_EQ(nMode, MODE_PAUSE);
    EXPECT_TRUE(Checked(IDM_PAUSE));
    EXPECT_TRUE(Checked(IDM_PLAY));   // stays pressed while paused
    DWORD paused = dwPlayPos;
    EXPECT_GT(paused, 0u);
    EXPECT_LT(paused, 480u);
    std::string shown = Time();
    Pump(300);
    EXPECT_EQ(Time(), shown);   // ticks change nothing while paused
    Command(IDM_PLAY);          // Play does not resume a paused song
    EXPECT_EQ(nMode, MODE_PAUSE);

    Command(IDM_PAUSE);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_FALSE(Checked(IDM_PAUSE));
    MCIDEVICEID device = wOutDeviceID;

    Command(IDM_STOP);
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_EQ(Time(), "0:00.0");
    EXPECT_EQ(SliderPos(), 0);
    EXPECT_EQ(dwPlayPos, 0u);
    EXPECT_FALSE(Checked(IDM_PLAY));
    EXPECT_FALSE(Checked(IDM_PAUSE));
    EXPECT_EQ(wOutDeviceID, device);   // stays open for the next Play

    Command(IDM_PLAY);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_EQ(wOutDeviceID, device);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(path.c_str());
}

TEST_F(Shell, OnlyAFinishedPlayOfTheOpenDeviceEndsTheSong)
{
    std::string path = WriteSong("shell end.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    MCIDEVICEID device = wOutDeviceID;
    ASSERT_NE(device, 0u);
    SendMessageA(hWndMain, MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED, device);
    SendMessageA(hWndMain, MM_MCINOTIFY, MCI_NOTIFY_ABORTED, device);
    SendMessageA(hWndMain, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device + 1000);   // a device closed since
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_EQ(wOutDeviceID, device);

    Pump(300);
    SendMessageA(hWndMain, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, device);
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_EQ(wOutDeviceID, 0u);
    EXPECT_EQ(Time(), "0:00.0");
    EXPECT_EQ(SliderPos(), 0);
    EXPECT_FALSE(Checked(IDM_PLAY));

    // With Loop Music pressed the song starts again at once, on a new device.
    Command(IDM_PLAY);
    SendMessageA(hWndToolbar, TB_CHECKBUTTON, IDM_LOOP, TRUE);
    SendMessageA(hWndMain, MM_MCINOTIFY, MCI_NOTIFY_FAILURE, wOutDeviceID);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_NE(wOutDeviceID, 0u);
    EXPECT_EQ(dwPlayPos, 0u);
    EXPECT_TRUE(Checked(IDM_PLAY));
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(path.c_str());
}

TEST_F(Shell, TickWithoutASongLengthLeavesTheSliderAlone)
{
    std::string path = WriteSong("shell nolength.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    Pump(300);
    int before = SliderPos();
    dwFileSize = 0;
    SendMessageA(hWndMain, WM_TIMER, IDT_POSITION, 0);
    EXPECT_EQ(SliderPos(), before);
    EXPECT_EQ(nMode, MODE_PLAY);
    DeleteFileA(path.c_str());
}

TEST_F(Shell, ReleasingTheSliderSeeksAndPlaysOn)
{
    std::string path = WriteSong("shell seek.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    SendMessageA(hWndTimeTrack, WM_KEYDOWN, VK_NEXT, 0);   // a page: 40 of 200
    EXPECT_EQ(nMode, MODE_SEEK);
    SendMessageA(hWndTimeTrack, WM_KEYDOWN, VK_NEXT, 0);   // a repeat keeps the saved mode
    Pump(250);                                              // the held slider is not moved by ticks
    int held = SliderPos();
    SendMessageA(hWndTimeTrack, WM_KEYUP, VK_NEXT, 0);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_EQ(dwPlayPos, PlayPosFromSlider(held, dwFileSize));
    char expected[16];
    FormatPlayTime(dwPlayPos, expected, sizeof expected);
    EXPECT_EQ(Time(), expected);

    // A key released on the slider with no key pressed there keeps the transport as it is.
    SendMessageA(hWndTimeTrack, WM_KEYUP, VK_TAB, 0);
    EXPECT_EQ(nMode, MODE_PLAY);

    // A click while a key is held: the first release restores the mode saved by the key.
    SendMessageA(hWndTimeTrack, WM_KEYDOWN, VK_LEFT, 0);
    SendMessageA(hWndTimeTrack, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(hWndTimeTrack, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(nMode, MODE_PLAY);
    SendMessageA(hWndTimeTrack, WM_KEYUP, VK_LEFT, 0);
    EXPECT_EQ(nMode, MODE_PLAY);

    // Released while paused: only the position changes.
    Command(IDM_PAUSE);
    SendMessageA(hWndTimeTrack, WM_KEYDOWN, VK_HOME, 0);
    SendMessageA(hWndTimeTrack, WM_KEYUP, VK_HOME, 0);
    EXPECT_EQ(nMode, MODE_PAUSE);
    EXPECT_EQ(dwPlayPos, 0u);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(path.c_str());
}

TEST_F(Shell, OpeningWhilePlayingPutsTheNewSongInThePlaybackCopy)
{
    std::string first = WriteSong("shell first.mid", Song(120, {"Piano", "Bass"}));
    std::string second = WriteSong("shell second.mid", Song(40, {"Flute"}));
    OpenFromCommandLine(first);
    Pump(300);
    ASSERT_EQ(nMode, MODE_PLAY);

    OpenFromCommandLine(second);
    EXPECT_EQ(WindowText(hWndMain), "Zulin Player - " + second);
    EXPECT_EQ(MidiInfo.wNumListed, 1);
    EXPECT_EQ(dwFileSize, 160u);   // measured on the new copy: 20 seconds
    smf::Bytes image(pFileBuf, pFileBuf + dwFileBufSize);
    EXPECT_EQ(ReadFileBytes(tmpName), image);
    EXPECT_EQ(nMode, MODE_PLAY);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
}

TEST_F(Shell, ShutDownWhilePlayingClosesTheSequencerAndDeletesTheCopy)
{
    std::string path = WriteSong("shell shutdown.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    Pump(200);
    ASSERT_EQ(nMode, MODE_PLAY);
    ASSERT_NE(GetFileAttributesA(tmpName.c_str()), INVALID_FILE_ATTRIBUTES);
    Command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(hWndMain));
    EXPECT_EQ(wOutDeviceID, 0u);
    EXPECT_EQ(nMode, MODE_STOP);
    EXPECT_EQ(pFileBuf, nullptr);
    EXPECT_EQ(GetFileAttributesA(tmpName.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    DeleteFileA(path.c_str());
}

TEST_F(Shell, ViewTrackListGrowsAndShrinksTheWindow)
{
    SendMessageA(hWndToolbar, TB_CHECKBUTTON, IDM_TRACKLIST, FALSE);
    Command(IDM_TRACKLIST);
    SIZE size = OuterSize();
    EXPECT_EQ(size.cx, 445);
    EXPECT_EQ(size.cy, 95);
    SendMessageA(hWndToolbar, TB_CHECKBUTTON, IDM_TRACKLIST, TRUE);
    Command(IDM_TRACKLIST);
    size = OuterSize();
    EXPECT_EQ(size.cx, 585);
    EXPECT_EQ(size.cy, 417);
}

TEST_F(Shell, ATooLongCommandLineNameIsRefusedWhole)
{
    std::string name = "\"C:\\" + std::string(260, 'x') + ".mid\"";
    EXPECT_EQ(TakeCommandLine(name.c_str()), 0);
    EXPECT_STREQ(szFileName, "");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Attention");
    EXPECT_NE(Boxes()[0].text.find("too long"), std::string::npos) << Boxes()[0].text;
    EXPECT_EQ(TakeCommandLine("  \"C:\\My Music\\song.mid\" "), 1);
    EXPECT_STREQ(szFileName, "C:\\My Music\\song.mid");
}

}  // namespace
}  // namespace shelltest

namespace shelltest {
namespace {

// A sequencer that keeps its file open, denying writers, for as long as a device is open:
// the way a platform's sequencer may hold the playback copy.
struct HoldingSink {
    static HANDLE held;
    static int opens;
    static std::string file;
    static const SEQSINK* Default() { return DefaultSequencerSink(); }
    static void Open(void*)
    {
        Default()->Open(Default()->ctx);
        if (opens++ == 0)
            held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    }
    static void Close(void*)
    {
        if (--opens == 0 && held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        }
        Default()->Close(Default()->ctx);
    }
    static void Short(void*, DWORD msg) { Default()->ShortMsg(Default()->ctx, msg); }
    static void SysEx(void*, BYTE s, const BYTE* d, DWORD n) { Default()->SysEx(Default()->ctx, s, d, n); }
    static LONGLONG Now(void*) { return Default()->Now(Default()->ctx); }
    static BOOL Wait(void*, LONGLONG t, HANDLE abort) { return Default()->WaitUntil(Default()->ctx, t, abort); }
};
HANDLE HoldingSink::held = INVALID_HANDLE_VALUE;
int HoldingSink::opens;
std::string HoldingSink::file;

void HoldCopyWhileOpen(const std::string& tmpName)
{
    HoldingSink::file = tmpName;
    static const SEQSINK sink = {nullptr, HoldingSink::Open, HoldingSink::Close, HoldingSink::Short,
                                 HoldingSink::SysEx, HoldingSink::Now, HoldingSink::Wait, nullptr, FALSE};
    SetSequencerSink(&sink);
}

TEST_F(Shell, ASequencerHoldingTheCopyIsClosedBeforeTheNewSongIsWritten)
{
    HoldCopyWhileOpen(tmpName);
    std::string first = WriteSong("shell held first.mid", Song(120, {"Piano", "Bass"}));
    std::string second = WriteSong("shell held second.mid", Song(40, {"Flute"}));
    OpenFromCommandLine(first);
    ASSERT_EQ(nMode, MODE_PLAY);
    ASSERT_NE(HoldingSink::held, INVALID_HANDLE_VALUE);
    smf::Bytes playing = ReadFileBytes(tmpName);

    // While the first song plays, the copy cannot be replaced.
    OpenFromCommandLine(second);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;   // the refused write was made good
    smf::Bytes image(pFileBuf, pFileBuf + dwFileBufSize);
    EXPECT_NE(image, playing);
    EXPECT_EQ(ReadFileBytes(tmpName), image);
    EXPECT_EQ(dwFileSize, 160u);
    EXPECT_EQ(nMode, MODE_PLAY);

    // Shut-down closes the sequencer before deleting the copy, so it is really gone.
    Command(IDM_EXIT);
    EXPECT_EQ(HoldingSink::opens, 0);
    EXPECT_EQ(GetFileAttributesA(tmpName.c_str()), INVALID_FILE_ATTRIBUTES);
    SetSequencerSink(nullptr);
    DeleteFileA(first.c_str());
    DeleteFileA(second.c_str());
}

TEST_F(Shell, ShutDownAfterStopClosesTheDeviceLeftOpenBeforeDeletingTheCopy)
{
    HoldCopyWhileOpen(tmpName);
    std::string path = WriteSong("shell held stop.mid", Song(120, {"Piano"}));
    OpenFromCommandLine(path);
    Command(IDM_STOP);
    ASSERT_EQ(nMode, MODE_STOP);
    ASSERT_EQ(HoldingSink::opens, 1);   // Stop leaves the device open
    Command(IDM_EXIT);
    EXPECT_EQ(HoldingSink::opens, 0);
    EXPECT_EQ(GetFileAttributesA(tmpName.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    SetSequencerSink(nullptr);
    DeleteFileA(path.c_str());
}

// The sound system's calls can wait on its own threads, and a message another program sends
// is answered inside such a wait: here the sequencer's play answers one before it starts.
struct SentWhileStarting {
    static std::function<void()> meanwhile;
    static std::vector<UINT> commands;
    static MCIERROR Send(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param)
    {
        commands.push_back(msg);
        if (msg == MCI_PLAY && meanwhile) {
            std::function<void()> once = meanwhile;
            meanwhile = nullptr;
            once();
        }
        return SeqSendCommand(id, msg, flags, param);
    }
    static int Count(UINT msg) { return (int)std::count(commands.begin(), commands.end(), msg); }
};
std::function<void()> SentWhileStarting::meanwhile;
std::vector<UINT> SentWhileStarting::commands;

// The row's edit of the first program change (10 in Song): its value, then the change.
void NewProgram(BYTE program)
{
    for (DWORD k = 0; k + 1 < dwFileBufSize; ++k)
        if (pFileBuf[k] == 0xC0 && pFileBuf[k + 1] == 10) {
            pFileBuf[k + 1] = program;
            break;
        }
    mcimidiChange();
}

TEST_F(Shell, WhatArrivesWhileAPlayStartsIsTakenOnceItHasStarted)
{
    struct Case {
        const char* what;
        std::function<void()> meanwhile;
        int mode;
        bool playChecked, pauseChecked;
        int plays;   // the edit's restart plays the rewritten copy on
    };
    const Case cases[] = {
        {"Stop", [] { SendMessageA(hWndMain, WM_COMMAND, IDM_STOP, 0); }, MODE_STOP, false, false, 1},
        {"Pause", [] { SendMessageA(hWndMain, WM_COMMAND, IDM_PAUSE, 0); }, MODE_PAUSE, true, true, 1},
        {"an edit", [] { NewProgram(11); }, MODE_PLAY, true, false, 2},
    };
    std::string path = WriteSong("shell starting.mid", Song(120, {"Piano"}));
    SetSequencerCalls(SentWhileStarting::Send, SeqGetErrorString);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SentWhileStarting::commands.clear();
        SentWhileStarting::meanwhile = c.meanwhile;
        OpenFromCommandLine(path);
        Pump(200);
        EXPECT_EQ(nMode, c.mode);
        EXPECT_EQ(Checked(IDM_PLAY), c.playChecked);
        EXPECT_EQ(Checked(IDM_PAUSE), c.pauseChecked);
        EXPECT_EQ(SentWhileStarting::Count(MCI_PLAY), c.plays);
        EXPECT_EQ(fMidiChange, 0);
        if (c.mode == MODE_STOP) {
            EXPECT_EQ(Time(), "0:00.0");
        }
        if (c.plays == 2) {
            EXPECT_EQ(ReadFileBytes(tmpName), smf::Bytes(pFileBuf, pFileBuf + dwFileBufSize));
        }
    }
    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    UseOwnSequencer();
    DeleteFileA(path.c_str());
}

}  // namespace
}  // namespace shelltest
