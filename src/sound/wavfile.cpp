// WAV files.
#include "sound/wavfile.h"

#include <cstring>

#include "sound/render.h"

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
    const uint32_t channels = 2, bits = 16, rate = SOUND_RATE_HZ;
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
