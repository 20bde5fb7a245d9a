// The song as the sequencer plays it: every track's events merged into one time-ordered
// array, with times in microseconds from the tempo map (or the SMPTE frame rate), and the
// channel state a play starting in the middle must set up first.
// Portable: it builds natively and for Windows.
#pragma once

#include <cstdint>
#include "mmio/song.h"

// One event of the merged song. Only what a sequencer needs is kept: channel events,
// system-exclusive messages, tempo changes, and one end marker per track (the time of its
// last event of any kind, so trailing meta events count towards the length).
struct TLEVENT {
    uint64_t qwTime;      // microseconds from the start of the song
    const BYTE* pData;    // channel: first data byte; F0/F7/FF: first byte after the length
    DWORD dwTick;         // absolute tick
    DWORD cbData;         // bytes at pData
    BYTE bStatus;         // 8n..En, F0, F7, or FF for a tempo change or an end marker
    BYTE bMeta;           // 0x51 tempo, 0x2F end marker, else 0
    WORD wTrack;          // chunk ordinal among the track chunks
};

struct TIMELINE {
    TLEVENT* pEvents;     // nEvents entries, sorted by time; ties keep track order
    DWORD nEvents;
    uint64_t qwLength;    // microseconds: the time of the latest event of any track
    WORD wDivision;
    WORD wTracks;         // track chunks read
};

#define TL_OK       0
#define TL_NOTMIDI  1     // no header chunk, or a division that gives no time
#define TL_NOMEMORY 2

// Builds the timeline of an SMF image of size bytes. The events point into the image, which
// must outlive the timeline. A track that holds an undecodable or truncated event ends
// there; a chunk running past the image is cut at its end. On failure *tl is empty.
int BuildTimeline(const BYTE* image, DWORD size, TIMELINE* tl);
void FreeTimeline(TIMELINE* tl);

// Index of the first event at or after us (nEvents when none is).
DWORD FindEventAt(const TIMELINE* tl, uint64_t us);

// Short messages are packed as midiOutShortMsg takes them: status | data1 << 8 | data2 << 16.
inline DWORD PackShortMsg(BYTE status, BYTE d1, BYTE d2)
{
    return (DWORD)status | ((DWORD)d1 << 8) | ((DWORD)d2 << 16);
}

// The short message of a channel event of the timeline.
DWORD ShortMsgOf(const TLEVENT* ev);

// ---- Chasing -------------------------------------------------------------------------

#define CHASE_NONE 0xFFFF     // nothing of the kind stands before the start
#define CHASE_RPNS 3          // pitch bend sensitivity, fine and coarse tuning

struct CHANNELCHASE {
    WORD wCtl[128];           // last value of each controller, or CHASE_NONE
    WORD wProgram;
    WORD wBend;               // 14-bit value
    WORD wPressure;
    WORD wRpn[CHASE_RPNS][2]; // data entry MSB and LSB given to RPN 0..2
    WORD wParamMsb;           // the parameter selected last (RPN or NRPN), or CHASE_NONE
    WORD wParamLsb;
    BYTE fNrpn;               // the selected parameter is an NRPN
};

struct CHASESTATE {
    CHANNELCHASE ch[16];
};

// The state that the first nBefore events of the timeline leave on each channel.
void ComputeChase(const TIMELINE* tl, DWORD nBefore, CHASESTATE* cs);

// Upper bound of the messages ChaseMessages can give.
#define CHASE_MAX_MESSAGES (16 * 150)

// Turns the chase state into the short messages that set it, channel by channel: bank
// select, program, the other controllers, the RPN values, the parameter selection, pitch
// bend, channel pressure. Returns the number of messages stored (at most max).
DWORD ChaseMessages(const CHASESTATE* cs, DWORD* msgs, DWORD max);

// ---- Playing on through an edit ------------------------------------------------------

// Keys sounding on each channel: bit k % 64 of word k / 64 is key k.
typedef uint64_t SOUNDINGKEYS[16][2];

// Notes the keys a channel message starts or ends (note on and off, all notes off).
void TrackSounding(SOUNDINGKEYS keys, DWORD msg);

// Upper bound of the messages ReconcileMessages can give.
#define RECONCILE_MAX_MESSAGES (16 * 300)

// An edit rewrote the playback copy in place while it played, and the play goes on at event
// i of the edited copy. These are the messages that take the output from what the old copy
// set up before i to what the edited one sets up there: the changed bank and program, the
// changed controllers, bend and pressure; a note-off for each sounding key that the edited
// copy does not hold at i (its track was switched off); on a channel whose notes the edit
// silenced, the pedals up. Keys the edited copy holds but the old did not are not started in
// the middle: their track is heard from its next note. Both timelines come from the same
// song, event for event. sounding is updated; returns the number of messages stored.
DWORD ReconcileMessages(const TIMELINE* oldTl, const TIMELINE* newTl, DWORD i, SOUNDINGKEYS sounding, DWORD* msgs,
                        DWORD max);
