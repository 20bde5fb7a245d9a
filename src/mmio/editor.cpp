// The settings editor: applies one setting to a track by rewriting bytes of events that are
// already in the image. Nothing is ever inserted or removed.
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

int settrack(BYTE* image, int track, int code, int value)
{
    DWORD start, end;
    if (!FindTrackChunk(image, dwFileBufSize, track, &start, &end))
        return SettingFailed();
    BYTE setting = (BYTE)code;
    BYTE v = (BYTE)value;
    int mute = (setting == EV_NOTEOFF || setting == EV_NOTEON);

    // The walk decodes the track exactly as the load did. A local copy of the status: the
    // rewrites below cannot alias it.
    BYTE* shared = SharedRunningStatus();
    BYTE running = TrackRunningStatus(track);
    const BYTE* p = image + start;
    const BYTE* stop = image + end;
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
        } else if (mute) {
            if (ev.pStatus && (kind == 0x8 || kind == 0x9))
                image[ev.pStatus - image] ^= 0x10;   // 8n <-> 9n, channel kept
        } else if (kind == 0xB) {
            if (ev.pData[0] == setting && (setting == EV_VOLUME || setting == EV_PAN))
                image[ev.pNext - image - 1] = v;
        } else if (kind == 0xC && setting == EV_PROGRAM) {
            image[ev.pNext - image - 1] = v;
        }
    }
    *shared = running;
    if (p != stop)
        return SettingFailed();
    return 1;
}
