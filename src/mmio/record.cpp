// Accessors of the song record. A row (list index) outside the record gives 0, "" or
// INSTR_NONE, so a stale row can never read outside it.
#include "mmio/song.h"

static const TRACKINFO* ListedTrack(const MIDIINFO* info, int i)
{
    if (!info || i < 0 || i >= info->wNumListed || i >= MAX_TRACKS)
        return nullptr;
    int t = info->nTrackIndex[i];
    if (t < 0 || t >= MAX_TRACKS || t >= info->wNumTracks)
        return nullptr;
    return &info->Track[t];
}

const char* getmidiformat(const MIDIINFO* info)
{
    static const char* const names[] = {"Single track midi", "Multitrack midi", "Multitrack asynch-midi"};
    if (!info || info->wFormat > 2)
        return nullptr;
    return names[info->wFormat];
}

int getnumtracks(const MIDIINFO* info)
{
    return info ? info->wNumListed : 0;
}

int getticks(const MIDIINFO* info)
{
    return info ? info->wDivision : 0;
}

DWORD gettracksize(const MIDIINFO* info, int i)
{
    const TRACKINFO* t = ListedTrack(info, i);
    return t ? t->dwSize : 0;
}

int getvol(const MIDIINFO* info, int i)
{
    const TRACKINFO* t = ListedTrack(info, i);
    if (!t)
        return 0;
    return (t->bVolume & 0x80) ? 127 : t->bVolume;
}

int getbal(const MIDIINFO* info, int i)
{
    const TRACKINFO* t = ListedTrack(info, i);
    if (!t)
        return 0;
    return (t->bPan & 0x80) ? 64 : t->bPan;
}

const char* gettrackname(const MIDIINFO* info, int i)
{
    const TRACKINFO* t = ListedTrack(info, i);
    return t ? t->szName : "";
}

int getinstr(const MIDIINFO* info, int i)
{
    const TRACKINFO* t = ListedTrack(info, i);
    if (!t)
        return INSTR_NONE;
    if (t->bChannel == MI_MIXED)
        return INSTR_MIXED;
    if (t->bChannel == 9)   // General MIDI percussion
        return INSTR_DRUMS;
    if (t->bChannel == MI_NONE)
        return INSTR_NONE;
    if (t->bProgram < 128)
        return t->bProgram;
    if (t->bProgram == MI_NONE)
        return INSTR_NONE;
    return INSTR_INVALID;
}
