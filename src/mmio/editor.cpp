// The settings editor: applies one setting to a track, or to one channel of a track, by
// rewriting bytes of events that are already in the image. Only a channel that lacks the
// event it is set by gets one inserted, once.
#include <cstring>
#include "mmio/decode.h"

static int SettingFailed(void)
{
    Report(hWndMain, "Error setting track", "Test", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

// Finds chunk ordinal track of the image; its events lie in [*start, *end).
int FindTrackChunk(const BYTE* image, DWORD size, int track, DWORD* start, DWORD* end)
{
    if (!image || track < 0 || size < 14)
        return 0;
    DWORD pos = 14;
    for (int i = 0;; ++i) {
        if (size - pos < 8)
            return 0;
        DWORD n = getdword(image + pos + 4);
        if (n > size - pos - 8)
            return 0;
        if (i == track) {
            *start = pos + 8;
            *end = pos + 8 + n;
            return 1;
        }
        pos += 8 + n;
    }
}

// What one walk over a track found, beside the bytes it rewrote.
struct TrackWalk {
    int found;     // events of the setting met on the channels walked
    int carried;   // the track's first channel event runs on the status of the track before
};

// Rewrites, in place, the events of chunk ordinal track whose channel is in channels (bit c =
// channel c). The walk decodes the track exactly as the load did. 1, or 0 after a report.
static int RewriteTrack(BYTE* image, int track, WORD channels, int code, int value, TrackWalk* walk)
{
    walk->found = 0;
    walk->carried = 0;
    DWORD start, end;
    if (!FindTrackChunk(image, dwFileBufSize, track, &start, &end))
        return SettingFailed();
    BYTE setting = (BYTE)code;
    BYTE v = (BYTE)value;
    int mute = (setting == EV_NOTEOFF || setting == EV_NOTEON);

    // A local copy of the status: the rewrites below cannot alias it.
    BYTE* shared = SharedRunningStatus();
    BYTE running = TrackRunningStatus(track);
    const BYTE* p = image + start;
    const BYTE* stop = image + end;
    int firstChannelEvent = 1;
    MIDIEVENT ev;
    while (p < stop) {
        // An undecodable event leaves no trustworthy position to go on from.
        if (DecodeEventAt(p, stop, &running, &ev) != DECODE_OK) {
            *shared = running;
            return SettingFailed();
        }
        p = ev.pNext;
        BYTE kind = ev.bStatus >> 4;
        if (kind == 0xF) {
            if (ev.bStatus == 0xFF && ev.bMeta == 0x2F)
                break;
            continue;
        }
        if (firstChannelEvent) {
            walk->carried = !ev.pStatus;
            firstChannelEvent = 0;
        }
        if (!(channels & (1u << (ev.bStatus & 0x0F))))
            continue;
        if (mute) {
            if (ev.pStatus && (kind == 0x8 || kind == 0x9))
                image[ev.pStatus - image] ^= 0x10;   // 8n <-> 9n, channel kept
        } else if (kind == 0xB) {
            if (ev.pData[0] == setting && (setting == EV_VOLUME || setting == EV_PAN)) {
                image[ev.pNext - image - 1] = v;
                walk->found++;
            }
        } else if (kind == 0xC && setting == EV_PROGRAM) {
            image[ev.pNext - image - 1] = v;
            walk->found++;
        }
    }
    *shared = running;
    if (p != stop)
        return SettingFailed();
    return 1;
}

int settrack(BYTE* image, int track, int code, int value)
{
    TrackWalk walk;
    return RewriteTrack(image, track, 0xFFFF, code, value, &walk);
}

int setchannelmute(BYTE* image, int track, WORD channels)
{
    TrackWalk walk;
    return RewriteTrack(image, track, channels, EV_NOTEOFF, 0, &walk);
}

// Puts the event bytes at the start of the track's data in a grown copy of the image, which
// replaces *image. The copy keeps the load's headroom, so it never runs short of room.
static int InsertAtTrackStart(BYTE** image, MIDIINFO* info, int track, const BYTE* event, DWORD n)
{
    DWORD start, end;
    if (!FindTrackChunk(*image, dwFileBufSize, track, &start, &end) || dwFileBufSize > 0xFFFFFFFFu - 800 - n)
        return SettingFailed();
    BYTE* grown = AllocFixed(dwFileBufSize + n + 800);
    if (!grown) {
        Report(nullptr, "GlobalAlloc failed!", nullptr, MB_OK);
        return 0;
    }
    memcpy(grown, *image, start);
    memcpy(grown + start, event, n);
    memcpy(grown + start + n, *image + start, dwFileBufSize - start);
    setdword(grown + start - 4, end - start + n);
    FreeFixed(*image);
    *image = grown;
    dwFileBufSize += n;
    info->Track[track].dwSize += n;
    return 1;
}

int setchannel(BYTE** image, MIDIINFO* info, int track, int channel, int code, int value)
{
    if (!image || !*image || !info || track < 0 || track >= MAX_TRACKS || channel < 0 || channel >= MAX_CHANNELS)
        return SettingFailed();
    BYTE setting = (BYTE)code;
    if (setting == EV_NOTEOFF || setting == EV_NOTEON)
        return setchannelmute(*image, track, (WORD)(1u << channel));

    TrackWalk walk;
    if (!RewriteTrack(*image, track, (WORD)(1u << channel), code, value, &walk))
        return 0;
    if (setting != EV_VOLUME && setting != EV_PAN && setting != EV_PROGRAM)
        return 1;
    BYTE v = (BYTE)value;
    if (!walk.found) {
        // An event put first would take over the status that the track's first events run on.
        if (walk.carried)
            return SettingFailed();
        BYTE status = (BYTE)((setting == EV_PROGRAM ? 0xC0 : 0xB0) | channel);
        const BYTE controller[4] = {0x00, status, setting, v};
        const BYTE program[3] = {0x00, status, v};
        int inserted = setting == EV_PROGRAM ? InsertAtTrackStart(image, info, track, program, 3)
                                             : InsertAtTrackStart(image, info, track, controller, 4);
        if (!inserted)
            return 0;
    }
    CHANNELINFO& ch = SongChannels[track].Channel[channel];
    if (setting == EV_VOLUME)
        ch.bVolume = v;
    else if (setting == EV_PAN)
        ch.bPan = v;
    else
        ch.bProgram = v;
    return 1;
}
