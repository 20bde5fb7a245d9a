// The sequencer operations: open and measure the playback copy, play from the stored
// position with an end-of-play notice, pause, stop, close, bring an edited song into the
// running playback, and report the sequencer's errors.
//
// The device counts milliseconds (set right after each open); the rest of the program counts
// eighths of a second, so every length and position is converted here, at the boundary.
#include "mmio/mmio.h"

#include <cstdio>
#include <cstring>

#define MS_PER_UNIT 125

static DWORD MsToUnits(DWORD_PTR ms)
{
    return (DWORD)(ms / MS_PER_UNIT);
}

static DWORD UnitsToMs(DWORD units)
{
    unsigned long long ms = (unsigned long long)units * MS_PER_UNIT;
    return ms > 0xFFFFFFFFull ? 0xFFFFFFFFu : (DWORD)ms;
}

// Stop, pause and close carry no record of their own and wait for the device.
static MCIERROR SendWaiting(MCIDEVICEID wDeviceID, UINT msg)
{
    MCI_GENERIC_PARMS parms = {};
    return SequencerSendCommand(wDeviceID, msg, MCI_WAIT, (DWORD_PTR)&parms);
}

MCIDEVICEID mcimidiOpen(const char* szPath)
{
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = szPath;
    MCIERROR err = SequencerSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, (DWORD_PTR)&open);
    if (err) {
        mcimidiError(err);
        return 0;
    }
    // Without this the device would count sixteenth notes, and the time shown would be wrong
    // for every tempo but one.
    MCI_SET_PARMS set = {};
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    err = SequencerSendCommand(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT | MCI_WAIT, (DWORD_PTR)&set);
    if (!err) {
        MCI_STATUS_PARMS status = {};
        status.dwItem = MCI_STATUS_LENGTH;
        err = SequencerSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, (DWORD_PTR)&status);
        if (!err)
            dwFileSize = MsToUnits(status.dwReturn);
    }
    if (err) {
        // The caller never learns this identifier, so the device is closed here.
        mcimidiError(err);
        SendWaiting(open.wDeviceID, MCI_CLOSE);
        return 0;
    }
    return open.wDeviceID;
}

DWORD mcimidiPosition(MCIDEVICEID wDeviceID)
{
    MCI_STATUS_PARMS status = {};
    status.dwItem = MCI_STATUS_POSITION;
    if (SequencerSendCommand(wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, (DWORD_PTR)&status) != 0)
        return dwPlayPos;
    return MsToUnits(status.dwReturn);
}

int mcimidiChange(void)
{
    fMidiChange = 1;
    // An edit made while a play starts is taken in by that play once it has started.
    if (fSequencerStarting)
        return 1;
    // Another edit made while this one restarts the play is taken in by a restart of its own.
    while (fMidiChange && nMode == MODE_PLAY && fFileLoaded && wOutDeviceID) {
        dwPlayPos = mcimidiPosition(wOutDeviceID);
        // What sounds keeps sounding: the restart is not heard.
        SequencerKeepSoundOnRestart();
        mcimidiPlay(hWndMain, wOutDeviceID);
        SequencerEndRestart();
    }
    return 1;
}

DWORD mcimidiPlay(HWND hwndNotify, MCIDEVICEID wDeviceID)
{
    if (fMidiChange) {
        // The copy is rewritten only once the device has let go of it.
        fMidiChange = 0;
        mcimidiStop(wOutDeviceID);
        mcimidiClose(wOutDeviceID);
        settmp(sTmpName, pFileBuf, dwFileBufSize);
        wOutDeviceID = mcimidiOpen(sTmpName);
        wDeviceID = wOutDeviceID;
    }
    MCI_PLAY_PARMS play = {};
    play.dwCallback = (DWORD_PTR)hwndNotify;
    play.dwFrom = UnitsToMs(dwPlayPos);
    // A start can wait on other threads (the platform's sequencer, the sound system), and a
    // thread that waits so answers the messages other programs send it. While the flag is
    // up such a message finds no half-started play: commands are put off, edits only marked.
    fSequencerStarting = 1;
    MCIERROR err = SequencerSendCommand(wDeviceID, MCI_PLAY, MCI_NOTIFY | MCI_FROM, (DWORD_PTR)&play);
    fSequencerStarting = 0;
    if (err || dwPlayPos > dwFileSize)
        mcimidiError(err);
    return err;
}

DWORD mcimidiStop(MCIDEVICEID wDeviceID)
{
    MCIERROR err = SendWaiting(wDeviceID, MCI_STOP);
    if (err)
        mcimidiError(err);
    return err;
}

DWORD mcimidiPause(MCIDEVICEID wDeviceID)
{
    MCIERROR err = SendWaiting(wDeviceID, MCI_PAUSE);
    if (err)
        mcimidiError(err);
    return err;
}

DWORD mcimidiClose(MCIDEVICEID wDeviceID)
{
    MCIERROR err = SendWaiting(wDeviceID, MCI_CLOSE);
    return err ? (DWORD)mcimidiError(err) : 0;
}

int mcimidiError(DWORD dwError)
{
    // 255 characters of text, the line of up to 49 characters, the terminator.
    char text[256 + 49];
    if (!SequencerGetErrorString(dwError, text, 256))
        return Report(nullptr, "Unrecognaized error", "Zulin Error", MB_ICONEXCLAMATION);
    size_t len = strlen(text);
    snprintf(text + len, sizeof text - len, "\nsize %d pos %d dev %d", (int)dwFileSize, (int)dwPlayPos, (int)wOutDeviceID);
    return Report(nullptr, text, "Zulin Error", MB_ICONEXCLAMATION);
}
