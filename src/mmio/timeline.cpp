// The merged, time-ordered event list of a song and the chase state at a position.
#include "mmio/timeline.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const DWORD kDefaultTempo = 500000;   // microseconds per quarter note until the song sets one

struct TrackChunk {
    const BYTE* pBegin;
    const BYTE* pEnd;
};

// Steps *pp to the next "MTrk" chunk, skipping chunks of other types. A chunk running past
// the image is cut at its end.
bool NextTrackChunk(const BYTE** pp, const BYTE* end, TrackChunk* chunk)
{
    const BYTE* p = *pp;
    while (end - p >= 8) {
        DWORD len = getdword(p + 4);
        const BYTE* body = p + 8;
        const BYTE* bodyEnd = (DWORD)(end - body) < len ? end : body + len;
        bool isTrack = memcmp(p, "MTrk", 4) == 0;
        p = bodyEnd;
        if (isTrack) {
            *pp = p;
            chunk->pBegin = body;
            chunk->pEnd = bodyEnd;
            return true;
        }
    }
    *pp = end;
    return false;
}

bool IsKept(const MIDIEVENT& ev)
{
    if (ev.bStatus < 0xF0)
        return true;
    if (ev.bStatus == 0xF0 || ev.bStatus == 0xF7)
        return true;
    return ev.bStatus == 0xFF && ev.bMeta == 0x51;
}

// Walks one track with the shared decoder. With out null it only counts. Returns the number
// of events kept, plus one for the end marker.
DWORD WalkTrack(const TrackChunk& chunk, WORD track, TLEVENT* out)
{
    const BYTE* p = chunk.pBegin;
    BYTE running = 0;
    uint64_t tick = 0;
    DWORD n = 0;
    MIDIEVENT ev;
    while (p < chunk.pEnd) {
        if (DecodeEvent(p, chunk.pEnd, &running, &ev) != DECODE_OK)
            break;
        if (tick + ev.dwDelta > 0xFFFFFFFFu)
            break;   // ticks are 32-bit; a song this long is damaged anyway
        tick += ev.dwDelta;
        p = ev.pNext;
        if (ev.bStatus == 0xFF && ev.bMeta == 0x2F)
            break;
        if (!IsKept(ev))
            continue;
        if (out) {
            TLEVENT& t = out[n];
            t.qwTime = 0;
            t.pData = ev.pData;
            t.dwTick = (DWORD)tick;
            t.cbData = ev.cbData;
            t.bStatus = ev.bStatus;
            t.bMeta = ev.bStatus == 0xFF ? ev.bMeta : 0;
            t.wTrack = track;
        }
        ++n;
    }
    if (out) {
        TLEVENT& t = out[n];
        t.qwTime = 0;
        t.pData = nullptr;
        t.dwTick = (DWORD)tick;
        t.cbData = 0;
        t.bStatus = 0xFF;
        t.bMeta = 0x2F;
        t.wTrack = track;
    }
    return n + 1;
}

// Microseconds per tick as a fraction num / den, for SMPTE divisions (high byte negative:
// frames per second, 29 meaning 30000/1001; low byte: ticks per frame).
void SmpteTickFraction(WORD division, uint64_t* num, uint64_t* den)
{
    int fps = -(int)(signed char)(division >> 8);
    uint64_t tpf = division & 0xFF;
    if (fps == 29) {
        *num = 1001000000ull;
        *den = 30000ull * tpf;
    } else {
        *num = 1000000ull;
        *den = (uint64_t)fps * tpf;
    }
}

void AssignTimes(TIMELINE* tl)
{
    uint64_t length = 0;
    if (tl->wDivision & 0x8000) {
        uint64_t num, den;
        SmpteTickFraction(tl->wDivision, &num, &den);
        for (DWORD i = 0; i < tl->nEvents; ++i) {
            TLEVENT& ev = tl->pEvents[i];
            ev.qwTime = (uint64_t)ev.dwTick * num / den;
            length = std::max(length, ev.qwTime);
        }
    } else {
        // Each time is measured from the last tempo change, so rounding never accumulates.
        uint64_t tempo = kDefaultTempo, baseUs = 0;
        DWORD baseTick = 0;
        for (DWORD i = 0; i < tl->nEvents; ++i) {
            TLEVENT& ev = tl->pEvents[i];
            ev.qwTime = baseUs + (uint64_t)(ev.dwTick - baseTick) * tempo / tl->wDivision;
            length = std::max(length, ev.qwTime);
            if (ev.bStatus == 0xFF && ev.bMeta == 0x51 && ev.cbData >= 3) {
                baseUs = ev.qwTime;
                baseTick = ev.dwTick;
                tempo = gettri(ev.pData);
            }
        }
    }
    tl->qwLength = length;
}

}  // namespace

int BuildTimeline(const BYTE* image, DWORD size, TIMELINE* tl)
{
    memset(tl, 0, sizeof *tl);
    if (!image || size < 14 || memcmp(image, "MThd", 4) != 0)
        return TL_NOTMIDI;
    DWORD headerLen = getdword(image + 4);
    if (headerLen < 6 || headerLen > size - 8)
        return TL_NOTMIDI;
    WORD declared = (WORD)getword(image + 10);
    WORD division = (WORD)getword(image + 12);
    if (division == 0 || ((division & 0x8000) && (division & 0xFF) == 0))
        return TL_NOTMIDI;

    const BYTE* first = image + 8 + headerLen;
    const BYTE* end = image + size;

    // First pass counts, so that the events take one allocation.
    uint64_t count = 0;
    WORD tracks = 0;
    const BYTE* p = first;
    TrackChunk chunk;
    while (tracks < declared && NextTrackChunk(&p, end, &chunk)) {
        count += WalkTrack(chunk, tracks, nullptr);
        ++tracks;
    }
    if (count * sizeof(TLEVENT) > (uint64_t)SIZE_MAX / 2)
        return TL_NOMEMORY;

    TLEVENT* events = nullptr;
    if (count) {
        events = (TLEVENT*)malloc((size_t)count * sizeof(TLEVENT));
        if (!events)
            return TL_NOMEMORY;
    }
    DWORD n = 0;
    p = first;
    for (WORD t = 0; t < tracks && NextTrackChunk(&p, end, &chunk); ++t)
        n += WalkTrack(chunk, t, events + n);

    // Every track is already in order and they were appended in track order, so a stable
    // sort by tick merges them with ties kept in track order.
    std::stable_sort(events, events + n, [](const TLEVENT& a, const TLEVENT& b) { return a.dwTick < b.dwTick; });

    tl->pEvents = events;
    tl->nEvents = n;
    tl->wDivision = division;
    tl->wTracks = tracks;
    AssignTimes(tl);
    return TL_OK;
}

void FreeTimeline(TIMELINE* tl)
{
    free(tl->pEvents);
    memset(tl, 0, sizeof *tl);
}

DWORD FindEventAt(const TIMELINE* tl, uint64_t us)
{
    const TLEVENT* first = tl->pEvents;
    const TLEVENT* last = first + tl->nEvents;
    const TLEVENT* it = std::lower_bound(first, last, us, [](const TLEVENT& ev, uint64_t t) { return ev.qwTime < t; });
    return (DWORD)(it - first);
}

DWORD ShortMsgOf(const TLEVENT* ev)
{
    BYTE d1 = ev->cbData > 0 ? ev->pData[0] : 0;
    BYTE d2 = ev->cbData > 1 ? ev->pData[1] : 0;
    return PackShortMsg(ev->bStatus, d1, d2);
}

// ---- Chasing -------------------------------------------------------------------------

namespace {

// Controllers with a meaning of their own in the chase: data entry and increment act on the
// selected parameter, the selection is restored last, and the channel mode messages are
// commands, not settings.
bool IsPlainController(int c)
{
    if (c == 6 || c == 38 || (c >= 96 && c <= 101))
        return false;
    return c < 120;
}

void ClearChannel(CHANNELCHASE* ch)
{
    for (WORD& v : ch->wCtl)
        v = CHASE_NONE;
    ch->wProgram = ch->wBend = ch->wPressure = CHASE_NONE;
    for (auto& rpn : ch->wRpn)
        rpn[0] = rpn[1] = CHASE_NONE;
    ch->wParamMsb = ch->wParamLsb = CHASE_NONE;
    ch->fNrpn = 0;
}

// What "reset all controllers" leaves, so that a play starting after it sets the same.
void ResetControllers(CHANNELCHASE* ch)
{
    ch->wCtl[1] = 0;
    ch->wCtl[11] = 127;
    for (int c = 64; c <= 67; ++c)
        ch->wCtl[c] = 0;
    ch->wBend = 0x2000;
    ch->wPressure = 0;
    ch->wParamMsb = ch->wParamLsb = 127;
    ch->fNrpn = 0;
}

void ChaseController(CHANNELCHASE* ch, int c, int v)
{
    switch (c) {
    case 101: ch->wParamMsb = (WORD)v; ch->fNrpn = 0; return;
    case 100: ch->wParamLsb = (WORD)v; ch->fNrpn = 0; return;
    case 99:  ch->wParamMsb = (WORD)v; ch->fNrpn = 1; return;
    case 98:  ch->wParamLsb = (WORD)v; ch->fNrpn = 1; return;
    case 6:
    case 38:
        // Only the registered parameters every synthesiser knows are followed.
        if (!ch->fNrpn && ch->wParamMsb == 0 && ch->wParamLsb < CHASE_RPNS)
            ch->wRpn[ch->wParamLsb][c == 6 ? 0 : 1] = (WORD)v;
        return;
    case 121:
        ResetControllers(ch);
        return;
    }
    if (IsPlainController(c))
        ch->wCtl[c] = (WORD)v;
}

}  // namespace

void ComputeChase(const TIMELINE* tl, DWORD nBefore, CHASESTATE* cs)
{
    for (CHANNELCHASE& ch : cs->ch)
        ClearChannel(&ch);
    nBefore = std::min(nBefore, tl->nEvents);
    for (DWORD i = 0; i < nBefore; ++i) {
        const TLEVENT& ev = tl->pEvents[i];
        if (ev.bStatus < 0x80 || ev.bStatus >= 0xF0)
            continue;
        CHANNELCHASE* ch = &cs->ch[ev.bStatus & 0x0F];
        BYTE d1 = ev.cbData > 0 ? ev.pData[0] : 0;
        BYTE d2 = ev.cbData > 1 ? ev.pData[1] : 0;
        switch (ev.bStatus & 0xF0) {
        case 0xB0: ChaseController(ch, d1, d2); break;
        case 0xC0: ch->wProgram = d1; break;
        case 0xD0: ch->wPressure = d1; break;
        case 0xE0: ch->wBend = (WORD)(d1 | (d2 << 7)); break;
        }
    }
}

DWORD ChaseMessages(const CHASESTATE* cs, DWORD* msgs, DWORD max)
{
    DWORD n = 0;
    auto put = [&](BYTE status, BYTE d1, BYTE d2) {
        if (n < max)
            msgs[n++] = PackShortMsg(status, d1, d2);
    };
    for (int c = 0; c < 16; ++c) {
        const CHANNELCHASE& ch = cs->ch[c];
        BYTE cc = (BYTE)(0xB0 | c);
        // The bank takes effect with the program change that follows it.
        if (ch.wCtl[0] != CHASE_NONE)
            put(cc, 0, (BYTE)ch.wCtl[0]);
        if (ch.wCtl[32] != CHASE_NONE)
            put(cc, 32, (BYTE)ch.wCtl[32]);
        if (ch.wProgram != CHASE_NONE)
            put((BYTE)(0xC0 | c), (BYTE)ch.wProgram, 0);
        for (int k = 1; k < 128; ++k)
            if (k != 32 && ch.wCtl[k] != CHASE_NONE)
                put(cc, (BYTE)k, (BYTE)ch.wCtl[k]);
        for (int r = 0; r < CHASE_RPNS; ++r) {
            if (ch.wRpn[r][0] == CHASE_NONE && ch.wRpn[r][1] == CHASE_NONE)
                continue;
            put(cc, 101, 0);
            put(cc, 100, (BYTE)r);
            if (ch.wRpn[r][0] != CHASE_NONE)
                put(cc, 6, (BYTE)ch.wRpn[r][0]);
            if (ch.wRpn[r][1] != CHASE_NONE)
                put(cc, 38, (BYTE)ch.wRpn[r][1]);
        }
        if (ch.wParamMsb != CHASE_NONE || ch.wParamLsb != CHASE_NONE) {
            BYTE msb = ch.wParamMsb != CHASE_NONE ? (BYTE)ch.wParamMsb : 127;
            BYTE lsb = ch.wParamLsb != CHASE_NONE ? (BYTE)ch.wParamLsb : 127;
            put(cc, ch.fNrpn ? 99 : 101, msb);
            put(cc, ch.fNrpn ? 98 : 100, lsb);
        }
        if (ch.wBend != CHASE_NONE)
            put((BYTE)(0xE0 | c), (BYTE)(ch.wBend & 0x7F), (BYTE)(ch.wBend >> 7));
        if (ch.wPressure != CHASE_NONE)
            put((BYTE)(0xD0 | c), (BYTE)ch.wPressure, 0);
    }
    return n;
}

// ---- Playing on through an edit ------------------------------------------------------

void TrackSounding(SOUNDINGKEYS keys, DWORD msg)
{
    BYTE kind = (BYTE)(msg & 0xF0);
    int c = msg & 0x0F;
    int key = (msg >> 8) & 0x7F;
    int velocity = (msg >> 16) & 0x7F;
    uint64_t bit = 1ull << (key & 63);
    if (kind == 0x90 && velocity > 0)
        keys[c][key >> 6] |= bit;
    else if (kind == 0x80 || kind == 0x90)
        keys[c][key >> 6] &= ~bit;
    else if (kind == 0xB0 && (key == 120 || key == 123))
        keys[c][0] = keys[c][1] = 0;
}

namespace {

bool IsSoundingNoteOn(const TLEVENT& ev)
{
    return (ev.bStatus & 0xF0) == 0x90 && ev.cbData > 1 && ev.pData[1] > 0;
}

// Controllers a reconcile leaves alone: the data entry and parameter selection (an edit never
// changes them, and resending them would move the parameter pointer) and the channel modes.
bool ReconciledController(int k)
{
    return k != 0 && k != 32 && k != 6 && k != 38 && !(k >= 96 && k <= 101) && k < 120;
}

}  // namespace

DWORD ReconcileMessages(const TIMELINE* oldTl, const TIMELINE* newTl, DWORD i, SOUNDINGKEYS sounding, DWORD* msgs,
                        DWORD max)
{
    DWORD n = 0;
    auto put = [&](BYTE status, BYTE d1, BYTE d2) {
        if (n < max)
            msgs[n++] = PackShortMsg(status, d1, d2);
    };
    DWORD nEvents = std::min(oldTl->nEvents, newTl->nEvents);
    i = std::min(i, nEvents);

    // What the edited copy holds at i, and which channels lost notes anywhere in the song.
    SOUNDINGKEYS held = {};
    bool silenced[16] = {};
    for (DWORD e = 0; e < nEvents; ++e) {
        const TLEVENT& now = newTl->pEvents[e];
        if (e < i && now.bStatus >= 0x80 && now.bStatus < 0xF0)
            TrackSounding(held, ShortMsgOf(&now));
        if (IsSoundingNoteOn(oldTl->pEvents[e]) && !IsSoundingNoteOn(now))
            silenced[oldTl->pEvents[e].bStatus & 0x0F] = true;
    }

    // Chasing both copies to i would do, but two chases over the song are cheap next to a
    // restart, and the difference is all that is sent.
    CHASESTATE* before = (CHASESTATE*)malloc(2 * sizeof(CHASESTATE));
    if (!before)
        return 0;
    CHASESTATE* after = before + 1;
    ComputeChase(oldTl, i, before);
    ComputeChase(newTl, i, after);

    for (int c = 0; c < 16; ++c) {
        const CHANNELCHASE& was = before->ch[c];
        const CHANNELCHASE& is = after->ch[c];
        BYTE cc = (BYTE)(0xB0 | c);
        bool newProgram = was.wProgram != is.wProgram || was.wCtl[0] != is.wCtl[0] || was.wCtl[32] != is.wCtl[32];
        if (newProgram && is.wProgram != CHASE_NONE) {
            if (is.wCtl[0] != CHASE_NONE)
                put(cc, 0, (BYTE)is.wCtl[0]);
            if (is.wCtl[32] != CHASE_NONE)
                put(cc, 32, (BYTE)is.wCtl[32]);
            put((BYTE)(0xC0 | c), (BYTE)is.wProgram, 0);
        }
        for (int k = 1; k < 128; ++k)
            if (ReconciledController(k) && is.wCtl[k] != was.wCtl[k] && is.wCtl[k] != CHASE_NONE)
                put(cc, (BYTE)k, (BYTE)is.wCtl[k]);
        if (is.wBend != was.wBend && is.wBend != CHASE_NONE)
            put((BYTE)(0xE0 | c), (BYTE)(is.wBend & 0x7F), (BYTE)(is.wBend >> 7));
        if (is.wPressure != was.wPressure && is.wPressure != CHASE_NONE)
            put((BYTE)(0xD0 | c), (BYTE)is.wPressure, 0);

        for (int w = 0; w < 2; ++w) {
            uint64_t gone = sounding[c][w] & ~held[c][w];
            for (int b = 0; b < 64; ++b)
                if (gone & (1ull << b))
                    put((BYTE)(0x80 | c), (BYTE)(w * 64 + b), 0);
            sounding[c][w] &= ~gone;
        }
        if (silenced[c]) {
            // A pedal held down would keep the silenced notes ringing.
            if (was.wCtl[64] != CHASE_NONE && was.wCtl[64] >= 64)
                put(cc, 64, 0);
            if (was.wCtl[66] != CHASE_NONE && was.wCtl[66] >= 64)
                put(cc, 66, 0);
        }
    }
    free(before);
    return n;
}
