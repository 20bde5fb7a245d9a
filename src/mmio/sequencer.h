// The program's own MCI "sequencer" device, used where the platform has no MIDI output
// (there the platform's sequencer opens a song but never plays it). It answers the few MCI
// commands the player sends, plays on a thread of its own and posts MM_MCINOTIFY like the
// platform's device.
#pragma once

#include "mmio/mmio.h"

// Where the own sequencer's MIDI goes, and the clock it keeps time by. Every member is
// called with ctx. Open and Close bracket each open device; the messages and the waits come
// from a device's play thread.
struct SEQSINK {
    void* ctx;
    void (*Open)(void* ctx);
    void (*Close)(void* ctx);
    void (*ShortMsg)(void* ctx, DWORD msg);                          // packed as midiOutShortMsg takes it
    void (*SysEx)(void* ctx, BYTE status, const BYTE* data, DWORD len);  // F0: data after F0; F7: bytes as they are sent
    LONGLONG (*Now)(void* ctx);                                     // microseconds, never going back
    BOOL (*WaitUntil)(void* ctx, LONGLONG t, HANDLE hAbort);         // FALSE when hAbort was set first
    // Optional (null: not offered): every note stops at once (a stop, a pause, the end of a
    // play); without it the device sends all notes off and all sound off on every channel.
    void (*Silence)(void* ctx);
    // The sink renders the song itself on its own clock (the synthesizer, see sound/live.h):
    // the device hands it the timeline, and the message members are not called.
    BOOL fRendersSong;
};

// Installs the sink used by devices opened from now on; null restores the default: the
// synthesizer without a MIDI output device or once the user chose a SoundFont, else the
// MIDI mapper on the real clock.
void SetSequencerSink(const SEQSINK* sink);
// The MIDI mapper on the real clock, for sinks that wrap it (measurements, logging).
const SEQSINK* DefaultSequencerSink(void);

// The own sequencer's two MCI calls, shaped like mciSendCommandA and mciGetErrorStringA.
// Commands come from one thread (the main window's); each play runs on a thread of its own.
// Codes it does not know itself are passed on to the platform's texts.
MCIERROR SeqSendCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param);
BOOL SeqGetErrorString(MCIERROR err, char* text, UINT size);

// The own sequencer's error codes.
#define SEQERR_BASE            (MCIERR_CUSTOM_DRIVER_BASE + 64)
#define SEQERR_FILE_NOT_FOUND  (SEQERR_BASE + 0)
#define SEQERR_EMPTY_FILE      (SEQERR_BASE + 1)
#define SEQERR_READ_FAILED     (SEQERR_BASE + 2)
#define SEQERR_NOT_MIDI        (SEQERR_BASE + 3)
#define SEQERR_NO_MEMORY       (SEQERR_BASE + 4)
#define SEQERR_INVALID_DEVICE  (SEQERR_BASE + 5)
#define SEQERR_TOO_MANY        (SEQERR_BASE + 6)
#define SEQERR_DEVICE_TYPE     (SEQERR_BASE + 7)
#define SEQERR_NO_ELEMENT      (SEQERR_BASE + 8)
#define SEQERR_UNSUPPORTED     (SEQERR_BASE + 9)
#define SEQERR_BAD_FLAG        (SEQERR_BASE + 10)
#define SEQERR_BAD_ITEM        (SEQERR_BASE + 11)
#define SEQERR_TIME_FORMAT     (SEQERR_BASE + 12)
#define SEQERR_NO_THREAD       (SEQERR_BASE + 13)
#define SEQERR_LAST            SEQERR_NO_THREAD
