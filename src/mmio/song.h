// The song layer: the song record, the event decoder, the reader that prepares a file image
// for editing in place, the settings editor, the writer, and the whole-file writes.
// Portable C++: it builds natively (tests, tools, fuzzing) and for Windows.
#pragma once

#include <cstddef>
#include "mmio/wintypes.h"

// ---- Song record ---------------------------------------------------------------------

#define MAX_TRACKS 100

#define MI_NONE  0xF0   // the track has no such event
#define MI_MIXED 0xFF   // the track's events differ

// Instrument codes of getinstr above 127.
#define INSTR_INVALID 240
#define INSTR_NONE    241
#define INSTR_DRUMS   242
#define INSTR_MIXED   255

struct TRACKINFO {
    DWORD dwSize;        // length of the chunk's event data in the image
    char  szName[260];   // last name meta event, NUL-terminated
    BYTE  bProgram;
    BYTE  bVolume;
    BYTE  bPan;
    BYTE  bChannel;
};

struct MIDIINFO {
    WORD wFormat;
    WORD wNumTracks;
    WORD wDivision;
    WORD wNumListed;
    int  nTrackIndex[MAX_TRACKS];   // list index -> chunk ordinal
    TRACKINFO Track[MAX_TRACKS];    // by chunk ordinal
};

// Accessors; i is a list index (row). Out of range gives 0, "" or INSTR_NONE.
const char* getmidiformat(const MIDIINFO* info);
int getnumtracks(const MIDIINFO* info);
int getticks(const MIDIINFO* info);
DWORD gettracksize(const MIDIINFO* info, int i);
int getvol(const MIDIINFO* info, int i);
int getbal(const MIDIINFO* info, int i);
const char* gettrackname(const MIDIINFO* info, int i);
int getinstr(const MIDIINFO* info, int i);

// ---- Channels of tracks that play on several channels ---------------------------------

#define MAX_CHANNELS 16

// One channel of a track: as the track's own fields, but of that channel's events alone.
struct CHANNELINFO {
    BYTE bProgram;   // first program change; MI_NONE when there is none
    BYTE bVolume;    // controller 7: the single value, MI_NONE or MI_MIXED
    BYTE bPan;       // controller 10: likewise
};

struct TRACKCHANNELS {
    WORD wNoteChannels;                 // bit c: the track plays notes on channel c
    CHANNELINFO Channel[MAX_CHANNELS];
};

// Beside the song record, by chunk ordinal. The reader fills the entry of every track whose
// bChannel is MI_MIXED and clears the others; setchannel keeps it up to date.
extern TRACKCHANNELS SongChannels[MAX_TRACKS];
// Fills SongChannels from an image the reader has prepared (the reader calls it).
void ReadSongChannels(const BYTE* image, DWORD size, const MIDIINFO* info);

// Channels that listed track i shows as rows of their own: those it plays notes on when they
// are several (its bChannel is MI_MIXED), else 0.
WORD getchannels(const MIDIINFO* info, int i);
// A channel's instrument code: INSTR_DRUMS on channel index 9, else its first program, or 0
// when it has none.
int getchannelinstr(const MIDIINFO* info, int i, int channel);
// Its volume and balance: the single value, else 127 and 64 as getvol and getbal.
int getchannelvol(const MIDIINFO* info, int i, int channel);
int getchannelbal(const MIDIINFO* info, int i, int channel);

// ---- Event decoder -------------------------------------------------------------------

// Event codes of getevent, also the setting codes of settrack.
#define EV_NOTEOFF 0x80
#define EV_NOTEON  0x90
#define EV_PROGRAM 0xC0
#define EV_VOLUME  7
#define EV_PAN     10
#define EV_NAME    3
#define EV_END     0x2F
#define EV_OTHER   33
#define EV_BAD     19
#define EV_CUT     0x7F   // the event runs past the end given; getevent leaves the cursor at that end

// One event of a track chunk, as the shared decoder sees it. <mmsystem.h> already names its
// stream-buffer record MIDIEVENT, so the record is SONGEVENT and MIDIEVENT is an alias for it
// in the program's own code (defined after the platform headers are in).
struct SONGEVENT {
    DWORD dwDelta;         // delta-time in ticks
    const BYTE* pStart;    // first byte of the event (its delta-time)
    const BYTE* pStatus;   // its own status byte, or null on running status
    BYTE bStatus;          // the status in force: 8n..En, F0, F7 or FF
    BYTE bMeta;            // meta type for FF, else 0
    const BYTE* pData;     // channel events: first data byte; F0/F7/FF: first byte after the length
    DWORD cbData;          // number of bytes at pData
    const BYTE* pNext;     // the byte after the event
};
#define MIDIEVENT SONGEVENT

#define DECODE_OK        1
#define DECODE_BAD       0    // undecodable status (F1..FE but F7, or no status yet)
#define DECODE_TRUNCATED (-1) // the event runs past end

// Decodes the event at p, never reading at or past end. *pRunning is the running status:
// read, and replaced by a channel status byte (meta and system-exclusive events do not
// replace it).
int DecodeEvent(const BYTE* p, const BYTE* end, BYTE* pRunning, MIDIEVENT* ev);

// Reads a variable-length quantity at *pp (at most 4 bytes, never at or past end);
// returns 0 and leaves *pp when it does not fit.
int ReadVarLen(const BYTE** pp, const BYTE* end, DWORD* value);

// Decodes the event at *cursor (never at or past end) with the shared running status and moves
// the cursor past it. text (260 chars, may be null): [0] = 0 for an own status byte, 1 on
// running status; the name for EV_NAME. value: controller value or program. channel: low
// four bits of the status in force.
int getevent(BYTE** cursor, BYTE* end, char* text, int* value, int* channel);

// The event code of a decoded event (EV_NOTEOFF ... EV_OTHER); value as for getevent.
int EventCode(const MIDIEVENT* ev, int* value);

// The running status that getevent, the reader, the editor and the writer share.
BYTE* SharedRunningStatus(void);

// The running status in force where the reader began chunk ordinal t of the song it read last
// (0 for none). The editor and the writer begin their walk of a track with it, so they decode
// every track exactly as the load did, whatever was walked in between.
BYTE TrackRunningStatus(int t);

DWORD getbyte(const BYTE* p);
DWORD getword(const BYTE* p);
DWORD gettri(const BYTE* p);
DWORD getdword(const BYTE* p);
DWORD getlong(const BYTE* p);
void setdword(BYTE* p, DWORD value);

// ---- Reader, editor, writer ----------------------------------------------------------

// Checks and prepares the image of dwFileBufSize bytes (allocated dwFileBufSize + 800),
// fills the record; 1 = loaded, 0 = rejected. Every song is read from no running status; it
// carries over from track to track. Bytes after the last declared chunk are kept after it.
int readmidiinfo(BYTE* image, MIDIINFO* info);
// The same, telling a rejected image (0) from a load that got no work memory (-1, reported;
// the image is then untouched and dwFileBufSize 0).
int ReadSongImage(BYTE* image, MIDIINFO* info);

// Applies one setting to chunk ordinal track of the image in place; 1 or 0 (reported).
// The image is dwFileBufSize bytes long.
int settrack(BYTE* image, int track, int code, int value);

// The settings editor on one channel of chunk ordinal track: code as settrack, acting only on
// the events of that channel. A channel without a controller-7, controller-10 or program event
// gets one at the track's start (delta-time 0) when it is first set: *image, an image from
// AllocFixed, is then replaced by a grown copy, dwFileBufSize, the chunk length and the
// track's dwSize grow. Keeps SongChannels. 1 or 0 (reported; nothing inserted).
int setchannel(BYTE** image, MIDIINFO* info, int track, int channel, int code, int value);
// Swaps the status bytes of the note events of every channel in the mask (bit c = channel c)
// in one pass, as settrack's switch does for the whole track. 1 or 0 (reported).
int setchannelmute(BYTE* image, int track, WORD channels);

// Finds chunk ordinal track of an image of size bytes by its chunk lengths; its events lie in
// [*start, *end). 0 when the image does not hold that chunk whole.
int FindTrackChunk(const BYTE* image, DWORD size, int track, DWORD* start, DWORD* end);

// Saves the image to szFile with the rows' names: names[k] is the text of row k's name box
// (wNumListed entries; a null array or entry keeps the record's name; at most 255 characters
// count). The file is replaced atomically. 1 or 0 (reported).
int writemidiinfo(const char* szFile, const BYTE* image, const MIDIINFO* info, const char* const* names);

// ---- Whole-file writes and the playback copy -----------------------------------------

char* gettmpname(void);
int settmp(const char* szFile, const BYTE* bytes, DWORD count);
int deltmp(const char* szFile);
// Writes a temporary file beside szFile, flushes it and then puts it in szFile's place, so an
// existing file is either replaced whole or left untouched. 1, or 0 after a report.
int ReplaceFileAtomically(const char* szFile, const BYTE* bytes, DWORD count);

// ---- Platform seam -------------------------------------------------------------------

// Every message the song layer raises passes here. A null caption is the platform's default.
typedef int (*REPORTPROC)(HWND owner, const char* text, const char* caption, UINT style);
int Report(HWND owner, const char* text, const char* caption, UINT style);
// Installs a handler instead of the platform's message box; returns the previous one.
// A null handler restores the platform's.
REPORTPROC SetReportProc(REPORTPROC proc);
// A file write that failed is reported with its code: while that report is shown (or
// taken by a handler), ReportedWriteFailure gives the code; during any other report, 0.
#define WRITE_CREATE_FAILED 1   // the file could not be made or put in place
#define WRITE_SHORT         2   // not every byte was written
int ReportWriteFailure(int failure, const char* text);
int ReportedWriteFailure(void);

// Fixed memory for images and work buffers (GlobalAlloc/GlobalFree on Windows).
BYTE* AllocFixed(DWORD size);
void FreeFixed(BYTE* p);
// Installs a gate that AllocFixed asks first: 0 refuses the allocation (tests make
// allocations fail with it). Returns the previous gate; null removes it.
typedef int (*ALLOCGATE)(DWORD size);
ALLOCGATE SetAllocGate(ALLOCGATE gate);

// ---- Shared state --------------------------------------------------------------------

#define MODE_STOP  0
#define MODE_PLAY  1
#define MODE_PAUSE 2
#define MODE_SEEK  3

extern BYTE* pFileBuf;          // the file image
extern DWORD dwFileBufSize;     // its valid length
extern MIDIINFO MidiInfo;       // the song record
extern HWND hWndMain;           // owner of the song layer's message boxes
extern int nMode;
extern int fFileLoaded;
extern int fMidiChange;
extern int fSequencerStarting; // a play is being started: see mcimidiPlay
extern MCIDEVICEID wOutDeviceID;
extern DWORD dwPlayPos;         // eighths of a second
extern DWORD dwFileSize;        // eighths of a second
extern char szFileName[260];
extern char* sTmpName;
