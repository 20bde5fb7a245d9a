// The reader: checks a file image, fills the song record and prepares the image so that
// every later edit is a rewrite of single bytes in place (note-off velocities 0, a default
// pan and main-volume event at the start of every single-channel track that lacks them).
#include <cstdio>
#include <cstring>
#include "mmio/decode.h"

// The running status in force where each track of the song read last began.
static BYTE trackStatus[MAX_TRACKS];

BYTE TrackRunningStatus(int t)
{
    return (t >= 0 && t < MAX_TRACKS) ? trackStatus[t] : 0;
}

static void ReportBadEvent(const BYTE* image, DWORD size, int track, DWORD offset)
{
    // The four bytes that begin at the event, as far as the image holds them.
    DWORD word = 0;
    for (DWORD i = 0; i < 4; ++i)
        word = (word << 8) | (offset + i < size ? image[offset + i] : 0);
    char text[64];
    snprintf(text, sizeof text, "Track %d Error Pos %04lX\n%08lX", track, (unsigned long)offset, (unsigned long)word);
    Report(hWndMain, text, "Test", MB_OK | MB_ICONEXCLAMATION);
}

// A track's channel and controller values as the scan meets them: the first one, then
// MI_MIXED once another differs. Kept in full registers: byte-sized locals make the compiler
// pack them into one word on every event.
static inline void NoteValue(unsigned* field, unsigned v)
{
    if (*field != v)
        *field = (*field == MI_NONE) ? v : MI_MIXED;
}

// One pass over a track's events: fills its record and zeroes note-off velocities in place.
// Returns 1 when the scan ended exactly at the chunk end. *carried tells whether the track's
// first channel event runs on a status left by the track before it.
static int ScanTrack(BYTE* image, DWORD size, DWORD start, DWORD end, int t, TRACKINFO* track, BYTE* running, int* carried)
{
    const BYTE* p = image + start;
    const BYTE* const stop = image + end;
    unsigned channel = MI_NONE, program = MI_NONE, volume = MI_NONE, pan = MI_NONE;
    int firstCarried = -1;
    BYTE status = *running;
    int clean = 1;   // the events fill the chunk exactly, with or without an end-of-track event
    MIDIEVENT ev;
    while (p < stop) {
        int r = DecodeEventAt(p, stop, &status, &ev);
        if (r != DECODE_OK) {
            if (r == DECODE_BAD)
                ReportBadEvent(image, size, t, (DWORD)(ev.pStart - image));
            clean = 0;   // a cut event keeps its bytes as they are
            break;
        }
        p = ev.pNext;
        unsigned s = ev.bStatus;
        unsigned kind = s >> 4;
        if (firstCarried < 0 && s < 0xF0)
            firstCarried = !ev.pStatus;
        // Tested in order of frequency; a jump table mispredicts on the mix of real songs.
        if (kind == 0x9) {
            NoteValue(&channel, s & 0x0F);
        } else if (kind == 0x8) {
            image[ev.pNext - image - 1] = 0;   // release velocity
            NoteValue(&channel, s & 0x0F);
        } else if (kind == 0xB) {
            if (ev.pData[0] == 7)
                NoteValue(&volume, ev.pData[1]);
            else if (ev.pData[0] == 10)
                NoteValue(&pan, ev.pData[1]);
        } else if (kind == 0xC) {
            NoteValue(&channel, s & 0x0F);
            if (program == MI_NONE)
                program = ev.pData[0];
        } else if (s == 0xFF) {
            if (ev.bMeta == 0x03) {
                DWORD n = ev.cbData < sizeof track->szName - 1 ? ev.cbData : (DWORD)sizeof track->szName - 1;
                memcpy(track->szName, ev.pData, n);
                track->szName[n] = 0;
            } else if (ev.bMeta == 0x2F) {
                clean = (p == stop);
                break;
            }
        }
    }
    *running = status;
    *carried = firstCarried;
    track->bChannel = (BYTE)channel;
    track->bProgram = (BYTE)program;
    track->bVolume = (BYTE)volume;
    track->bPan = (BYTE)pan;
    return clean;
}

// Rebuilds the image into work from the first chunk that grows; chunks before it stay in place.
static int PrepareImage(BYTE* image, DWORD size, BYTE* work, MIDIINFO* info)
{
    if (!image || size < 14 || memcmp(image, "MThd", 4) != 0 || image[7] != 6 || image[9] > 2)
        return 0;
    memset(info, 0, sizeof *info);
    info->wFormat = image[9];
    info->wNumTracks = (WORD)getword(image + 10);
    info->wDivision = (WORD)getword(image + 12);
    if (info->wNumTracks > MAX_TRACKS) {
        char text[80];
        snprintf(text, sizeof text, "Sorry: %d tracks > %d (Maximum in this version)", info->wNumTracks, MAX_TRACKS);
        Report(hWndMain, text, nullptr, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }

    // Each song is read from no running status, so a file reads the same whatever was read
    // before it; within the song it carries over from track to track.
    BYTE* running = SharedRunningStatus();
    *running = 0;
    memset(trackStatus, 0, sizeof trackStatus);
    DWORD pos = 14;          // next chunk in the image
    DWORD out = 14;          // where it goes in the rebuilt image
    DWORD moved = 0;         // first rebuilt byte that lives in work; 0 = none yet
    for (int t = 0; t < info->wNumTracks; ++t) {
        if (size - pos < 8 || memcmp(image + pos, "MTrk", 4) != 0)
            return 0;
        DWORD n = getdword(image + pos + 4);
        if (n > size - pos - 8) {
            n = size - pos - 8;   // cut at the end of the image
            setdword(image + pos + 4, n);
        }
        TRACKINFO* track = &info->Track[t];
        DWORD data = pos + 8;
        trackStatus[t] = *running;
        int carried = -1;
        if (!ScanTrack(image, size, data, data + n, t, track, running, &carried))
            Report(hWndMain, "Ptr error", "Test", MB_OK | MB_ICONEXCLAMATION);

        // Defaults go first in the track, which is safe unless its first notes run on the
        // status of the track before: the inserted controller would take that status over.
        BYTE defaults[8];
        DWORD added = 0;
        if (track->bChannel < 16 && carried != 1) {
            BYTE c = track->bChannel;
            if (track->bPan == MI_NONE) {
                const BYTE e[4] = {0x00, (BYTE)(0xB0 | c), 0x0A, 0x40};
                memcpy(defaults + added, e, 4);
                added += 4;
            }
            if (track->bVolume == MI_NONE) {
                const BYTE e[4] = {0x00, (BYTE)(0xB0 | c), 0x07, 0x7F};
                memcpy(defaults + added, e, 4);
                added += 4;
            }
        }
        if (added && !moved)
            moved = out;
        if (moved) {
            memcpy(work + out, image + pos, 8);
            setdword(work + out + 4, n + added);
            memcpy(work + out + 8, defaults, added);
            memcpy(work + out + 8 + added, image + data, n);
        }
        track->dwSize = n + added;
        out += 8 + added + n;
        pos = data + n;
        if (track->bChannel != MI_NONE)
            info->nTrackIndex[info->wNumListed++] = t;
    }

    // Whatever follows the last declared chunk stays, unchanged, after the rebuilt chunks.
    DWORD rest = size - pos;
    if (moved) {
        memcpy(work + out, image + pos, rest);
        memcpy(image + moved, work + moved, out + rest - moved);
    }
    dwFileBufSize = out + rest;
    return 1;
}

int ReadSongImage(BYTE* image, MIDIINFO* info)
{
    DWORD size = dwFileBufSize;
    BYTE* work = size <= 0xFFFFFFFFu - 800 ? AllocFixed(size + 800) : nullptr;
    if (!work) {
        dwFileBufSize = 0;
        Report(nullptr, "GlobalAlloc failed!", nullptr, MB_OK);
        return -1;
    }
    int ok = PrepareImage(image, size, work, info);
    FreeFixed(work);
    ReadSongChannels(ok ? image : nullptr, dwFileBufSize, info);
    return ok;
}

int readmidiinfo(BYTE* image, MIDIINFO* info)
{
    return ReadSongImage(image, info) > 0 ? 1 : 0;
}
