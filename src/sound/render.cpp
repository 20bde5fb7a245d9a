// The playback cursor, and the offline render that runs it into a file.
#include "sound/render.h"

#include <cstring>

#include "synth/synth.h"

void SynthSequencerSysEx(Synth* synth, BYTE status, const BYTE* data, DWORD len)
{
    if (!data || len == 0)
        return;
    if (status == 0xF0)
        SynthSysEx(synth, data, len);
    else if (status == 0xF7 && data[0] == 0xF0 && len > 1)
        SynthSysEx(synth, data + 1, len - 1);
}

// ---- The cursor ------------------------------------------------------------------------

static void ApplyEvent(PLAYCURSOR* c, Synth* synth, const TLEVENT* ev)
{
    if (ev->bStatus < 0xF0) {
        const DWORD msg = ShortMsgOf(ev);
        SynthShortMsg(synth, msg);
        TrackSounding(c->sounding, msg);
    } else if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7) {
        SynthSequencerSysEx(synth, ev->bStatus, ev->pData, ev->cbData);
    }
}

void CursorStart(PLAYCURSOR* c, Synth* synth, const TIMELINE* tl, uint64_t startUs)
{
    if (startUs > tl->qwLength)
        startUs = tl->qwLength;
    memset(c, 0, sizeof *c);
    c->tl = tl;
    c->startUs = startUs;
    c->endFrame = FrameOfMicroseconds(tl->qwLength - startUs);
    SynthReset(synth);
    c->iNext = FindEventAt(tl, startUs);
    if (startUs == 0)
        return;
    for (DWORD i = 0; i < c->iNext; ++i) {
        const TLEVENT* ev = &tl->pEvents[i];
        if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7)
            SynthSequencerSysEx(synth, ev->bStatus, ev->pData, ev->cbData);
    }
    CHASESTATE cs;
    ComputeChase(tl, c->iNext, &cs);
    DWORD msgs[CHASE_MAX_MESSAGES];
    const DWORD n = ChaseMessages(&cs, msgs, CHASE_MAX_MESSAGES);
    for (DWORD i = 0; i < n; ++i)
        SynthShortMsg(synth, msgs[i]);
}

void CursorRender(PLAYCURSOR* c, Synth* synth, int16_t* interleaved, int frames)
{
    const uint64_t blockEnd = c->frame + (uint64_t)frames;
    int done = 0;
    for (; c->iNext < c->tl->nEvents; ++c->iNext) {
        const TLEVENT* ev = &c->tl->pEvents[c->iNext];
        const uint64_t at = ev->qwTime > c->startUs ? FrameOfMicroseconds(ev->qwTime - c->startUs) : 0;
        if (at >= blockEnd)
            break;
        const int offset = at > c->frame ? (int)(at - c->frame) : 0;
        if (offset > done) {
            SynthRenderS16(synth, interleaved + 2 * done, offset - done);
            done = offset;
        }
        ApplyEvent(c, synth, ev);
    }
    if (done < frames)
        SynthRenderS16(synth, interleaved + 2 * done, frames - done);
    c->frame = blockEnd;
}

bool CursorContinueIn(PLAYCURSOR* c, Synth* synth, const TIMELINE* edited)
{
    const TIMELINE* old = c->tl;
    if (edited->nEvents != old->nEvents || edited->qwLength != old->qwLength)
        return false;
    if (c->iNext < old->nEvents && edited->pEvents[c->iNext].qwTime != old->pEvents[c->iNext].qwTime)
        return false;
    DWORD msgs[RECONCILE_MAX_MESSAGES];
    const DWORD n = ReconcileMessages(old, edited, c->iNext, c->sounding, msgs, RECONCILE_MAX_MESSAGES);
    for (DWORD i = 0; i < n; ++i)
        SynthShortMsg(synth, msgs[i]);
    c->tl = edited;
    return true;
}

// ---- The offline render ----------------------------------------------------------------

namespace {

const uint64_t kProgressFrames = SOUND_RATE_HZ / 20;   // a report every 50 ms of audio

struct Renderer {
    Synth* synth;
    const RENDEROUTPUT* out;
    PLAYCURSOR cursor;
    uint64_t totalUs;           // the song's length from the start
    uint64_t nextProgressFrame;
    RENDERRESULT* result;
    int status;                 // RENDER_OK until cancelled or a write fails
    int16_t block[SOUND_BLOCK_FRAMES * 2];
};

void ReportProgress(Renderer* r)
{
    if (!r->out || !r->out->Progress)
        return;
    uint64_t done = MicrosecondsOfFrame(r->cursor.frame);
    if (done > r->totalUs)
        done = r->totalUs;
    if (!r->out->Progress(r->out->progressCtx, done, r->totalUs))
        r->status = RENDER_CANCELLED;
}

void RenderBlock(Renderer* r, int frames)
{
    CursorRender(&r->cursor, r->synth, r->block, frames);
    int voices = SynthActiveVoices(r->synth);
    if (voices > r->result->nMaxVoices)
        r->result->nMaxVoices = voices;
    int peak = r->result->nPeak;
    for (int k = 0; k < frames * 2; ++k) {
        int v = r->block[k] < 0 ? -(int)r->block[k] : r->block[k];
        if (v > peak)
            peak = v;
    }
    r->result->nPeak = peak;
    if (r->out && r->out->Write && !r->out->Write(r->out->writeCtx, r->block, frames)) {
        r->status = RENDER_WRITE_FAILED;
        return;
    }
    r->result->qwFrames = r->cursor.frame;
    if (r->cursor.frame >= r->nextProgressFrame) {
        r->nextProgressFrame = r->cursor.frame + kProgressFrames;
        ReportProgress(r);
    }
}

// On Windows the C library computes some float functions on the x87 unit, and a program's
// main thread starts with it at extended precision while every other thread starts at double
// precision: the same render would differ in its last bits between midimix and the player's
// threads. A render holds the unit at double precision, the platform's default.
struct X87DoublePrecision {
#if defined(_WIN32) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    unsigned short saved;
    X87DoublePrecision()
    {
        __asm__ volatile("fnstcw %0" : "=m"(saved));
        unsigned short controlWord = (unsigned short)((saved & ~0x0300u) | 0x0200u);
        __asm__ volatile("fldcw %0" : : "m"(controlWord));
    }
    ~X87DoublePrecision() { __asm__ volatile("fldcw %0" : : "m"(saved)); }
#else
    ~X87DoublePrecision() {}   // nothing to hold elsewhere
#endif
};

} // namespace

int RenderSong(const BYTE* image, DWORD size, Synth* synth, uint64_t startUs, const RENDEROUTPUT* out,
               RENDERRESULT* result)
{
    RENDERRESULT local;
    if (!result)
        result = &local;
    memset(result, 0, sizeof *result);

    X87DoublePrecision precision;
    TIMELINE tl;
    int built = BuildTimeline(image, size, &tl);
    if (built != TL_OK)
        return built == TL_NOMEMORY ? RENDER_NO_MEMORY : RENDER_NOT_MIDI;

    Renderer renderer;
    memset(&renderer, 0, sizeof renderer);
    Renderer* r = &renderer;
    r->synth = synth;
    r->out = out;
    r->nextProgressFrame = kProgressFrames;
    r->result = result;
    r->status = RENDER_OK;
    CursorStart(&r->cursor, synth, &tl, startUs);
    r->totalUs = tl.qwLength - r->cursor.startUs;
    ReportProgress(r);

    while (r->status == RENDER_OK && !CursorAtEnd(&r->cursor))
        RenderBlock(r, SOUND_BLOCK_FRAMES);
    // The last notes ring on: at least one block, so an event at the very end is heard.
    const uint64_t tailEnd = r->cursor.endFrame + FrameOfMicroseconds(RENDER_TAIL_LIMIT_US);
    do {
        const uint64_t left = tailEnd > r->cursor.frame ? tailEnd - r->cursor.frame : 0;
        RenderBlock(r, left < SOUND_BLOCK_FRAMES ? (int)left : SOUND_BLOCK_FRAMES);
    } while (r->status == RENDER_OK && r->cursor.frame < tailEnd && SynthActiveVoices(synth) > 0);

    if (r->status == RENDER_OK && out && out->Progress && !out->Progress(out->progressCtx, r->totalUs, r->totalUs))
        r->status = RENDER_CANCELLED;
    FreeTimeline(&tl);
    return r->status;
}
