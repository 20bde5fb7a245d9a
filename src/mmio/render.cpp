// Offline rendering through the synthesizer, and WAV files.
#include "mmio/render.h"

#include <cstring>

#include "mmio/timeline.h"
#include "synth/synth.h"

namespace {

const int kBlockFrames = 512;
const uint64_t kProgressFrames = RENDER_RATE_HZ / 20;   // a report every 50 ms of audio

struct Renderer {
    Synth* synth;
    const RENDEROUTPUT* out;
    uint64_t frame;             // frames rendered so far
    uint64_t totalUs;           // the song's length from the start
    uint64_t nextProgressFrame;
    RENDERRESULT* result;
    int status;                 // RENDER_OK until cancelled or a write fails
    int16_t block[kBlockFrames * 2];
};

uint64_t MicrosecondsOfFrame(uint64_t frame)
{
    return frame * 1000000 / RENDER_RATE_HZ;
}

void ReportProgress(Renderer* r)
{
    if (!r->out || !r->out->Progress)
        return;
    uint64_t done = MicrosecondsOfFrame(r->frame);
    if (done > r->totalUs)
        done = r->totalUs;
    if (!r->out->Progress(r->out->progressCtx, done, r->totalUs))
        r->status = RENDER_CANCELLED;
}

void RenderBlock(Renderer* r, int frames)
{
    SynthRenderS16(r->synth, r->block, frames);
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
    r->frame += (uint64_t)frames;
    r->result->qwFrames = r->frame;
    if (r->frame >= r->nextProgressFrame) {
        r->nextProgressFrame = r->frame + kProgressFrames;
        ReportProgress(r);
    }
}

// On Windows the C library computes some float functions on the x87 unit, and a program's
// main thread starts with it at extended precision while every other thread starts at double
// precision: the same render would differ in its last bits between midimix and the player's
// export thread. A render holds the unit at double precision, the platform's default.
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

// Renders the audio up to (not including) frame until.
bool RenderTo(Renderer* r, uint64_t until)
{
    while (r->frame < until && r->status == RENDER_OK) {
        uint64_t left = until - r->frame;
        RenderBlock(r, left < (uint64_t)kBlockFrames ? (int)left : kBlockFrames);
    }
    return r->status == RENDER_OK;
}

void ApplyEvent(Synth* synth, const TLEVENT* ev)
{
    if (ev->bStatus < 0xF0)
        SynthShortMsg(synth, ShortMsgOf(ev));
    else if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7)
        SynthSequencerSysEx(synth, ev->bStatus, ev->pData, ev->cbData);
}

// What a play from the middle sends first: the system-exclusive messages before the start,
// then the chased channel state.
void ApplyChase(Synth* synth, const TIMELINE* tl, DWORD first)
{
    for (DWORD i = 0; i < first; ++i) {
        const TLEVENT* ev = &tl->pEvents[i];
        if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7)
            ApplyEvent(synth, ev);
    }
    CHASESTATE cs;
    ComputeChase(tl, first, &cs);
    DWORD msgs[CHASE_MAX_MESSAGES];
    DWORD n = ChaseMessages(&cs, msgs, CHASE_MAX_MESSAGES);
    for (DWORD i = 0; i < n; ++i)
        SynthShortMsg(synth, msgs[i]);
}

} // namespace

void SynthSequencerSysEx(Synth* synth, BYTE status, const BYTE* data, DWORD len)
{
    if (!data || len == 0)
        return;
    if (status == 0xF0)
        SynthSysEx(synth, data, len);
    else if (status == 0xF7 && data[0] == 0xF0 && len > 1)
        SynthSysEx(synth, data + 1, len - 1);
}

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

    if (startUs > tl.qwLength)
        startUs = tl.qwLength;
    Renderer renderer;
    memset(&renderer, 0, sizeof renderer);
    Renderer* r = &renderer;
    r->synth = synth;
    r->out = out;
    r->totalUs = tl.qwLength - startUs;
    r->nextProgressFrame = kProgressFrames;
    r->result = result;
    r->status = RENDER_OK;

    SynthReset(synth);
    DWORD i = FindEventAt(&tl, startUs);
    if (startUs > 0)
        ApplyChase(synth, &tl, i);
    ReportProgress(r);

    for (; i < tl.nEvents && r->status == RENDER_OK; ++i) {
        const TLEVENT* ev = &tl.pEvents[i];
        if (ev->bStatus == 0xFF)
            continue;
        if (RenderTo(r, FrameOfMicroseconds(ev->qwTime - startUs)))
            ApplyEvent(synth, ev);
    }
    RenderTo(r, FrameOfMicroseconds(tl.qwLength - startUs));

    // The last notes ring on: at least one block, so an event at the very end is heard.
    uint64_t tailEnd = r->frame + FrameOfMicroseconds(RENDER_TAIL_LIMIT_US);
    do {
        uint64_t until = r->frame + kBlockFrames;
        RenderTo(r, until < tailEnd ? until : tailEnd);
    } while (r->status == RENDER_OK && r->frame < tailEnd && SynthActiveVoices(synth) > 0);

    if (r->status == RENDER_OK && out && out->Progress && !out->Progress(out->progressCtx, r->totalUs, r->totalUs))
        r->status = RENDER_CANCELLED;
    FreeTimeline(&tl);
    return r->status;
}

// ---- WAV files -------------------------------------------------------------------------

namespace {

const uint32_t kHeaderBytes = 44;
const uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void PutLe(BYTE* p, uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        p[k] = (BYTE)(v >> (8 * k));
}

} // namespace

void WavHeader(uint32_t dataBytes, BYTE header[44])
{
    const uint32_t channels = 2, bits = 16, rate = RENDER_RATE_HZ;
    memcpy(header, "RIFF", 4);
    PutLe(header + 4, dataBytes + (kHeaderBytes - 8), 4);
    memcpy(header + 8, "WAVEfmt ", 8);
    PutLe(header + 16, 16, 4);                               // the format chunk's size
    PutLe(header + 20, 1, 2);                                // PCM
    PutLe(header + 22, channels, 2);
    PutLe(header + 24, rate, 4);
    PutLe(header + 28, rate * channels * bits / 8, 4);       // bytes per second
    PutLe(header + 32, channels * bits / 8, 2);              // bytes per frame
    PutLe(header + 34, bits, 2);
    memcpy(header + 36, "data", 4);
    PutLe(header + 40, dataBytes, 4);
}

bool WavOpen(WAVWRITER* w, const char* path)
{
    w->qwDataBytes = 0;
    w->fFailed = false;
    w->f = path ? fopen(path, "wb") : nullptr;
    if (!w->f)
        return false;
    BYTE header[kHeaderBytes];
    WavHeader(0, header);
    if (fwrite(header, 1, sizeof header, w->f) != sizeof header)
        w->fFailed = true;
    return !w->fFailed;
}

bool WavWrite(WAVWRITER* w, const int16_t* interleaved, int frames)
{
    if (!w->f || w->fFailed || frames < 0)
        return false;
    uint64_t bytes = (uint64_t)frames * 4;
    if (w->qwDataBytes + bytes > kMaxDataBytes) {
        w->fFailed = true;
        return false;
    }
    // Little-endian whatever the host, through a small staging buffer.
    BYTE staging[4096];
    int samples = frames * 2;
    for (int done = 0; done < samples;) {
        int n = samples - done < (int)(sizeof staging / 2) ? samples - done : (int)(sizeof staging / 2);
        for (int k = 0; k < n; ++k) {
            uint16_t v = (uint16_t)interleaved[done + k];
            staging[2 * k] = (BYTE)v;
            staging[2 * k + 1] = (BYTE)(v >> 8);
        }
        if (fwrite(staging, 2, (size_t)n, w->f) != (size_t)n) {
            w->fFailed = true;
            return false;
        }
        done += n;
    }
    w->qwDataBytes += bytes;
    return true;
}

bool WavClose(WAVWRITER* w)
{
    if (!w->f)
        return false;
    bool ok = !w->fFailed;
    if (ok) {
        BYTE header[kHeaderBytes];
        WavHeader((uint32_t)w->qwDataBytes, header);
        ok = fseek(w->f, 0, SEEK_SET) == 0 && fwrite(header, 1, sizeof header, w->f) == sizeof header;
        ok = fflush(w->f) == 0 && ok;
    }
    ok = fclose(w->f) == 0 && ok;
    w->f = nullptr;
    return ok;
}

bool WavWriteProc(void* ctx, const int16_t* interleaved, int frames)
{
    return WavWrite((WAVWRITER*)ctx, interleaved, frames);
}
