// The channels of tracks that play on several channels: what each channel holds, read from
// the prepared image, and the accessors the channel rows are built from.
#include <cstring>
#include "mmio/decode.h"

TRACKCHANNELS SongChannels[MAX_TRACKS];

static inline void NoteChannelValue(BYTE* field, BYTE v)
{
    if (*field != v)
        *field = (*field == MI_NONE) ? v : MI_MIXED;
}

// One walk over a track, decoded as the load decoded it; the walk stops at the first event
// that cannot be decoded, keeping what it found before.
static void ScanTrackChannels(const BYTE* image, DWORD start, DWORD end, int t, TRACKCHANNELS* out)
{
    for (int c = 0; c < MAX_CHANNELS; ++c)
        out->Channel[c].bProgram = out->Channel[c].bVolume = out->Channel[c].bPan = MI_NONE;
    BYTE running = TrackRunningStatus(t);
    const BYTE* p = image + start;
    const BYTE* stop = image + end;
    MIDIEVENT ev;
    while (p < stop && DecodeEventAt(p, stop, &running, &ev) == DECODE_OK) {
        p = ev.pNext;
        BYTE kind = ev.bStatus >> 4;
        if (ev.bStatus == 0xFF && ev.bMeta == 0x2F)
            break;
        CHANNELINFO& ch = out->Channel[ev.bStatus & 0x0F];
        if (kind == 0x8 || kind == 0x9) {
            out->wNoteChannels |= (WORD)(1u << (ev.bStatus & 0x0F));
        } else if (kind == 0xB) {
            if (ev.pData[0] == EV_VOLUME)
                NoteChannelValue(&ch.bVolume, ev.pData[1]);
            else if (ev.pData[0] == EV_PAN)
                NoteChannelValue(&ch.bPan, ev.pData[1]);
        } else if (kind == 0xC && ch.bProgram == MI_NONE) {
            ch.bProgram = ev.pData[0];
        }
    }
}

void ReadSongChannels(const BYTE* image, DWORD size, const MIDIINFO* info)
{
    memset(SongChannels, 0, sizeof SongChannels);
    if (!image || !info)
        return;
    for (int t = 0; t < info->wNumTracks && t < MAX_TRACKS; ++t) {
        DWORD start, end;
        if (info->Track[t].bChannel == MI_MIXED && FindTrackChunk(image, size, t, &start, &end))
            ScanTrackChannels(image, start, end, t, &SongChannels[t]);
    }
}

static const CHANNELINFO* ListedChannel(const MIDIINFO* info, int i, int channel)
{
    if (channel < 0 || channel >= MAX_CHANNELS || !(getchannels(info, i) & (1u << channel)))
        return nullptr;
    return &SongChannels[info->nTrackIndex[i]].Channel[channel];
}

WORD getchannels(const MIDIINFO* info, int i)
{
    if (!info || i < 0 || i >= info->wNumListed || i >= MAX_TRACKS)
        return 0;
    int t = info->nTrackIndex[i];
    if (t < 0 || t >= MAX_TRACKS || t >= info->wNumTracks || info->Track[t].bChannel != MI_MIXED)
        return 0;
    return SongChannels[t].wNoteChannels;
}

int getchannelinstr(const MIDIINFO* info, int i, int channel)
{
    const CHANNELINFO* ch = ListedChannel(info, i, channel);
    if (!ch)
        return INSTR_NONE;
    if (channel == 9)   // General MIDI percussion
        return INSTR_DRUMS;
    return ch->bProgram < 128 ? ch->bProgram : 0;
}

int getchannelvol(const MIDIINFO* info, int i, int channel)
{
    const CHANNELINFO* ch = ListedChannel(info, i, channel);
    return !ch ? 0 : (ch->bVolume & 0x80) ? 127 : ch->bVolume;
}

int getchannelbal(const MIDIINFO* info, int i, int channel)
{
    const CHANNELINFO* ch = ListedChannel(info, i, channel);
    return !ch ? 0 : (ch->bPan & 0x80) ? 64 : ch->bPan;
}
