// Playback and file handling on Windows: the sequencer operations, the open and save
// dialogs. Includes the portable song layer.
#pragma once

#include "mmio/song.h"
#include <mmsystem.h>

// Sequencer operations. Positions and lengths are in eighths of a second.
MCIDEVICEID mcimidiOpen(const char* szPath);
DWORD mcimidiPlay(HWND hwndNotify, MCIDEVICEID wDeviceID);
DWORD mcimidiStop(MCIDEVICEID wDeviceID);
DWORD mcimidiPause(MCIDEVICEID wDeviceID);
DWORD mcimidiClose(MCIDEVICEID wDeviceID);
int mcimidiChange(void);
int mcimidiError(DWORD dwError);
// The device's position in eighths of a second (the device counts milliseconds). When the
// query fails the result is dwPlayPos, where the play started.
DWORD mcimidiPosition(MCIDEVICEID wDeviceID);

// The two MCI calls the sequencer operations make. They go to the platform's sequencer,
// or to the program's own where the platform has no MIDI output device; chosen once by
// SelectSequencer at start-up.
MCIERROR SequencerSendCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param);
BOOL SequencerGetErrorString(MCIERROR err, char* text, UINT size);
void SelectSequencer(void);
// Makes the two calls go to the program's own sequencer whatever the platform has.
void UseOwnSequencer(void);
// Makes them go to the functions given (a test that watches the commands sent).
typedef MCIERROR (*SEQSENDPROC)(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param);
typedef BOOL (*SEQERRORPROC)(MCIERROR err, char* text, UINT size);
void SetSequencerCalls(SEQSENDPROC send, SEQERRORPROC error);
// An edit's restart of a running play (stop, close, rewrite the copy, reopen, play on) is
// bracketed by these two. In between, the program's own sequencer keeps its output's sound
// across the restart: a play that takes over from the same position plays on on the same
// clock, sending only what the edit changed. Whatever was held and not taken over is
// silenced when the restart ends. The platform's sequencer is not affected.
void SequencerKeepSoundOnRestart(void);
void SequencerEndRestart(void);

// File open and save.
int mcimidiSelectFile(char* szFile);
int mcimidiSaveFile(char* szFile);

// Where Save As takes each track's name from: the number of rows built and the text of one
// row's name box (its length). The track view installs them when it is created; without
// them a saved song keeps its own names.
typedef int (*ROWCOUNTPROC)(void);
typedef int (*ROWNAMEPROC)(int row, char* buf, int size);
void SetRowNameSource(ROWCOUNTPROC count, ROWNAMEPROC name);

// One of the platform's open or save dialogs, as every command that asks for a file name
// sets it up. Null pointers leave the platform's choice.
struct FILEDIALOG {
    HWND owner;
    const char* filter;       // display text and pattern pairs, ending in an empty pair
    char* path;               // in: the name to start from, may be empty; out: the chosen one
    DWORD pathChars;
    char* fileTitle;          // out: the chosen name without its folder
    DWORD fileTitleChars;
    const char* caption;
    const char* defaultExt;
    const char* initialDir;
    DWORD flags;
};
BOOL AskFileName(const FILEDIALOG* dialog, BOOL save);
