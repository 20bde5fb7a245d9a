// Everything the user asks of the main window: the commands, the transport (play, pause,
// stop, end of song, loop), the 100 ms position tick, the toolbar states and tooltips.
#include "main/main.h"

#include <cstdio>
#include <cstring>

#include "ctrl/ctrl.h"
#include "main/shell_logic.h"
#include "mmio/mmio.h"

static char szBuf[128];   // tooltip text
static char str[16];      // time text

// ---- Window title, toolbar, display --------------------------------------------------

static void SetWindowTitle(HWND hwnd)
{
    char title[sizeof szTitle + 3 + sizeof szFileName];
    snprintf(title, sizeof title, "%s - %s", szTitle, szFileName);
    SetWindowTextA(hwnd, title);
}

static void EnableButton(int id)
{
    SendMessageA(hWndToolbar, TB_ENABLEBUTTON, id, MAKELONG(TRUE, 0));
}

static void CheckButton(int id, BOOL checked)
{
    SendMessageA(hWndToolbar, TB_CHECKBUTTON, id, MAKELONG(checked, 0));
}

static BOOL IsButtonChecked(int id)
{
    return SendMessageA(hWndToolbar, TB_ISBUTTONCHECKED, id, 0) != 0;
}

// Back to the beginning: the nested tick shows 0:00.0 because the mode is "seek" meanwhile.
static void Rewind(HWND hwnd)
{
    nMode = MODE_SEEK;
    dwPlayPos = 0;
    SendMessageA(hwnd, WM_TIMER, 0, 0);
    SendMessageA(hWndTimeTrack, TBM_SETPOS, TRUE, 0);
    nMode = MODE_STOP;
}

// The commands that work on a loaded song: grayed in the menu and on the toolbar until the
// first song is loaded.
static const int kSongCommands[] = {
    IDM_SAVEAS,
    IDM_EXPORT,
};

void EnableSongCommands(HWND hwnd, BOOL enable)
{
    HMENU menu = GetMenu(hwnd);
    for (int id : kSongCommands) {
        if (menu)
            EnableMenuItem(menu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
        SendMessageA(hWndToolbar, TB_ENABLEBUTTON, id, MAKELONG(enable, 0));
    }
}

static void EnableTransportAfterLoad(HWND hwnd)
{
    EnableSongCommands(hwnd, TRUE);
    EnableButton(IDM_STOP);
    EnableButton(IDM_PLAY);
    CheckButton(IDM_PLAY, FALSE);
    EnableButton(IDM_PAUSE);
    CheckButton(IDM_PAUSE, FALSE);
    EnableButton(IDM_LOOP);
    EnableButton(IDM_TRACKLIST);
}

// ---- Command line --------------------------------------------------------------------

int TakeCommandLine(const char* lpCmdLine)
{
    if (CleanCommandLine(lpCmdLine, szFileName, sizeof szFileName, MAX_CMDLINE_NAME))
        return 1;
    char text[160];
    snprintf(text, sizeof text,
             "The file name on the command line is too long (more than %d characters).\nNo file was opened.",
             MAX_CMDLINE_NAME);
    MessageBoxA(NULL, text, "Attention", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

// ---- Open and Save As ----------------------------------------------------------------

// While a sequencer still plays the previous song, the platform may refuse to replace the
// playback copy it holds. The load's own write then fails; that failure is held back and
// the copy written again once the sequencer is closed, so the new song is what plays.
static REPORTPROC pfnShownReport;
static char szRefusedWrite[64];   // the held-back report; empty when none

static int ShowReport(HWND owner, const char* text, const char* caption, UINT style)
{
    if (pfnShownReport)
        return pfnShownReport(owner, text, caption, style);
    return MessageBoxA(owner, text, caption, style);
}

static int ReportWhileSequencerHoldsCopy(HWND owner, const char* text, const char* caption, UINT style)
{
    if (ReportedWriteFailure() != 0) {
        lstrcpynA(szRefusedWrite, text, sizeof szRefusedWrite);
        return IDOK;
    }
    return ShowReport(owner, text, caption, style);
}

static int LoadSong(void)
{
    szRefusedWrite[0] = '\0';
    if (wOutDeviceID == 0)
        return mcimidiSelectFile(szFileName);
    pfnShownReport = SetReportProc(ReportWhileSequencerHoldsCopy);
    int loaded = mcimidiSelectFile(szFileName);
    // A write that failed in a load that then came to nothing (or in a replay during the
    // open dialog) is not made good below: it is shown after all.
    if (!loaded && szRefusedWrite[0]) {
        ShowReport(NULL, szRefusedWrite, NULL, MB_OK);
        szRefusedWrite[0] = '\0';
    }
    SetReportProc(pfnShownReport);
    pfnShownReport = NULL;
    return loaded;
}

static void CloseSequencer(void)
{
    if (wOutDeviceID != 0) {
        mcimidiStop(wOutDeviceID);
        mcimidiClose(wOutDeviceID);
        wOutDeviceID = 0;
    }
}

// Opens the sequencer on the new copy only to learn the song's length. False when the
// sequencer refused the copy (the open has said why); the length is then unknown, 0, and not
// the previous song's.
static bool MeasureSong(void)
{
    dwFileSize = 0;
    wOutDeviceID = mcimidiOpen(sTmpName);
    bool opened = wOutDeviceID != 0;
    if (opened)
        mcimidiClose(wOutDeviceID);
    wOutDeviceID = 0;
    return opened;
}

static LRESULT OnOpen(HWND hwnd, LPARAM lParam, HWND hwndTrackView)
{
    if (lParam != CMDLINE_OPEN && lParam != NAMED_OPEN)
        szFileName[0] = '\0';
    if (!LoadSong())
        return 0;   // cancelled or unreadable: whatever played goes on

    fMidiChange = 0;
    SetWindowTitle(hwnd);
    CloseSequencer();
    if (szRefusedWrite[0])
        settmp(sTmpName, pFileBuf, dwFileBufSize);
    bool playable = MeasureSong();
    Rewind(hwnd);
    fFileLoaded = 1;
    InsertTrackViewItems(hwndTrackView);
    UpdateTimeScale();
    EnableTransportAfterLoad(hwnd);
    if (IsButtonChecked(IDM_TRACKLIST))
        ShowTrack();
    EnableWindow(hWndTimeTrack, TRUE);
    // A copy the sequencer has just refused would only be refused again, with the same
    // report a second time for the one start.
    if (lParam == CMDLINE_OPEN && playable)
        SendMessageA(hwnd, WM_COMMAND, IDM_PLAY, 0);
    // Last, so that the registry and the menu keep nobody waiting for the song.
    NoteRecentFile(hwnd, szFileName);
    return 0;
}

static LRESULT OnSaveAs(HWND hwnd)
{
    if (mcimidiSaveFile(szFileName))
        SetWindowTitle(hwnd);
    return 0;
}

// ---- Transport -----------------------------------------------------------------------

// What the transport shows when nothing plays: Play and Pause up, the mode stopped.
void ShowTransportStopped(void)
{
    nMode = MODE_STOP;
    CheckButton(IDM_PLAY, FALSE);
    CheckButton(IDM_PAUSE, FALSE);
}

// Brings the playback copy up to date with the image and opens the sequencer on it when
// none is open. False when the sequencer could not be opened: the open has reported why,
// and nothing is sent to a device that does not exist.
static bool OpenSequencerOnCopy(void)
{
    if (fMidiChange) {
        CloseSequencer();
        fMidiChange = 0;
        settmp(sTmpName, pFileBuf, dwFileBufSize);
    }
    if (wOutDeviceID == 0)
        wOutDeviceID = mcimidiOpen(sTmpName);
    return wOutDeviceID != 0;
}

// Plays from dwPlayPos; a play the sequencer refuses (it reports why) leaves the transport
// stopped.
static void PlayFromStoredPosition(HWND hwnd)
{
    if (!OpenSequencerOnCopy() || mcimidiPlay(hwnd, wOutDeviceID) != 0 || wOutDeviceID == 0) {
        ShowTransportStopped();
        return;
    }
    nMode = MODE_PLAY;
    if (fMidiChange)
        mcimidiChange();   // an edit made while it started
}

static LRESULT OnPlay(HWND hwnd)
{
    if (!fFileLoaded || nMode != MODE_STOP)
        return 0;
    CheckButton(IDM_PLAY, TRUE);
    PlayFromStoredPosition(hwnd);
    return 0;
}

// A toggle: pauses a playing song, resumes a paused one.
static LRESULT OnPause(HWND hwnd)
{
    if (nMode == MODE_PLAY) {
        nMode = MODE_PAUSE;   // before the device pauses: its notices are then ignored
        dwPlayPos = mcimidiPosition(wOutDeviceID);
        mcimidiPause(wOutDeviceID);
        CheckButton(IDM_PAUSE, TRUE);
    } else if (nMode == MODE_PAUSE) {
        CheckButton(IDM_PAUSE, FALSE);
        PlayFromStoredPosition(hwnd);
    }
    return 0;
}

// Stops and rewinds; the device stays open for the next Play.
static LRESULT OnStop(HWND hwnd)
{
    if (nMode == MODE_PLAY || nMode == MODE_PAUSE)
        mcimidiStop(wOutDeviceID);
    Rewind(hwnd);
    CheckButton(IDM_PLAY, FALSE);
    CheckButton(IDM_PAUSE, FALSE);
    return 0;
}

LRESULT OnSequencerNotify(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if (!CountsAsEndOfSong(nMode, wOutDeviceID, (DWORD)wParam, (DWORD)lParam))
        return 0;
    mcimidiStop(wOutDeviceID);
    mcimidiClose(wOutDeviceID);
    wOutDeviceID = 0;
    Rewind(hwnd);
    CheckButton(IDM_PLAY, FALSE);
    CheckButton(IDM_PAUSE, FALSE);
    if (IsButtonChecked(IDM_LOOP))
        SendMessageA(hwnd, WM_COMMAND, IDM_PLAY, 0);
    return 0;
}

// Every 100 ms, and whenever the display must show dwPlayPos at once.
LRESULT OnTimerTick(HWND hwnd)
{
    (void)hwnd;
    DWORD t = dwPlayPos;
    if (nMode == MODE_PLAY) {
        t = mcimidiPosition(wOutDeviceID);
        int p = SliderFromPlayTime(t, dwFileSize);
        if (p >= 0)
            SendMessageA(hWndTimeTrack, TBM_SETPOS, TRUE, p);
    }
    if (nMode == MODE_PLAY || nMode == MODE_SEEK) {
        FormatPlayTime(t, str, sizeof str);
        SetWindowTextA(hWndTime, str);
    }
    return 0;
}

// ---- The other commands --------------------------------------------------------------

static LRESULT OnTrackList(void)
{
    // The check button has toggled itself before the command arrives.
    if (IsButtonChecked(IDM_TRACKLIST))
        ShowTrack();
    else
        HideTrack();
    return 0;
}

// From the menu the toolbar's check button is turned here; from the toolbar it has turned
// itself. The menu's mark follows the button.
static LRESULT OnShowChannels(HWND hwnd, LPARAM lParam, HWND hwndTrackView)
{
    if ((HWND)lParam != hWndToolbar)
        CheckButton(IDM_CHANNELS, !IsButtonChecked(IDM_CHANNELS));
    BOOL show = IsButtonChecked(IDM_CHANNELS);
    CheckMenuItem(GetMenu(hwnd), IDM_CHANNELS, MF_BYCOMMAND | (show ? MF_CHECKED : MF_UNCHECKED));
    ShowTrackViewChannels(hwndTrackView, show != FALSE);
    return 0;
}

static unsigned StartProgram(const char* cmdLine, unsigned show)
{
    return WinExec(cmdLine, show);
}

static LRESULT OnVolume(HWND hwnd)
{
    if (!StartVolumeControl(StartProgram, SW_SHOWNORMAL))
        Report(hwnd, "The volume control program could not be started.", "Attention", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

static LRESULT OnHelp(HWND hwnd)
{
    if (!WinHelpA(hwnd, "Tarvel.HLP", HELP_FINDER, 0))
        MessageBoxA(GetFocus(), "Unable to activate help", szClassName, MB_OK | MB_ICONSTOP);
    return 0;
}

static LRESULT ShowDialog(HWND hwnd, int id)
{
    DialogBoxParamA(hInst, MAKEINTRESOURCEA(id), hwnd, AboutDlgProc, 0);
    return 0;
}

static LRESULT OnNotImplemented(HWND hwnd)
{
    MessageBoxA(hwnd, "Not implemented!", "Command", MB_OK);
    return 0;
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam, LPARAM lParam, HWND hwndTrackView)
{
    // Sent while a play starts (see mcimidiPlay): taken once it has started.
    if (fSequencerStarting) {
        PostMessageA(hwnd, WM_COMMAND, wParam, lParam);
        return 0;
    }
    switch (LOWORD(wParam)) {
    case IDM_NEW:       return OnNotImplemented(hwnd);
    case IDM_OPEN:      return OnOpen(hwnd, lParam, hwndTrackView);
    case 102:           return OnNotImplemented(hwnd);
    case IDM_SAVEAS:    return OnSaveAs(hwnd);
    case IDM_EXPORT:    return OnExportAudio(hwnd);
    case IDM_RECENT1:
    case IDM_RECENT1 + 1:
    case IDM_RECENT1 + 2:
    case IDM_RECENT1 + 3: return OnRecentFile(hwnd, LOWORD(wParam) - IDM_RECENT1);
    case IDM_EXIT:      DestroyWindow(hwnd); return 0;
    case IDM_STOP:      return OnStop(hwnd);
    case IDM_PLAY:      return OnPlay(hwnd);
    case IDM_PAUSE:     return OnPause(hwnd);
    case IDM_RECORD:    return ShowDialog(hwnd, IDD_RECORD);
    case IDM_LOOP:      return 0;   // read at the end of the song
    case IDM_TRACKLIST: return OnTrackList();
    case IDM_VOLUME:    return OnVolume(hwnd);
    case IDM_SOUNDFONT: return OnSoundFont(hwnd);
    case IDM_CHANNELS:  return OnShowChannels(hwnd, lParam, hwndTrackView);
    case IDM_ABOUT:     return ShowDialog(hwnd, IDD_ABOUT);
    case IDM_HELP:      return OnHelp(hwnd);
    }
    return DefWindowProcA(hwnd, WM_COMMAND, wParam, lParam);
}

// The toolbar asks for a button's tooltip by the button's command identifier.
LRESULT OnNotify(HWND hwnd, NMHDR* pnmh)
{
    (void)hwnd;
    if (pnmh && pnmh->code == TTN_NEEDTEXTA) {
        NMTTDISPINFOA* di = (NMTTDISPINFOA*)pnmh;
        szBuf[0] = '\0';
        LoadStringA(hInst, (UINT)di->hdr.idFrom, szBuf, sizeof szBuf);
        di->hinst = NULL;
        di->lpszText = szBuf;
    }
    return 0;
}
