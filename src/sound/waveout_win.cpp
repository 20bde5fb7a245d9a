// The wave output through the platform's waveOut calls.
#include "sound/waveout.h"

#include <mmsystem.h>

#include <cstring>

#include "sound/render.h"

static CRITICAL_SECTION csPosition;   // hwo and epochBaseFrames, as the position is read
static INIT_ONCE InitOnce = INIT_ONCE_STATIC_INIT;

static HWAVEOUT hwo;
static BOOL fOnCounter;               // no wave device: the counter is the clock
static LONGLONG counterOrigin, counterFreq;
static int64_t epochBaseFrames;       // frames heard before the last reset
static int nFrames, nBuffers;
static WAVEHDR Headers[WAVE_MAX_BUFFERS];
static int16_t Pcm[WAVE_MAX_BUFFERS][2 * WAVE_MAX_BUFFER_FRAMES];
static int64_t BufferStart[WAVE_MAX_BUFFERS];
static bool BufferQueued[WAVE_MAX_BUFFERS];
static int nextBuffer;
static int64_t writtenFrames;
static int nWrittenSinceFlush;     // a queue runs dry only once it was full
static HANDLE hTap = INVALID_HANDLE_VALUE;

static BOOL CALLBACK InitLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&csPosition);
    return TRUE;
}

static int64_t CounterFrames(void)
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const LONGLONG t = c.QuadPart - counterOrigin;
    return t / counterFreq * SOUND_RATE_HZ + t % counterFreq * SOUND_RATE_HZ / counterFreq;
}

static int64_t DevicePosition(void)
{
    MMTIME mt;
    mt.wType = TIME_SAMPLES;
    if (!hwo || waveOutGetPosition(hwo, &mt, sizeof mt) != MMSYSERR_NOERROR)
        return 0;
    if (mt.wType == TIME_SAMPLES)
        return mt.u.sample;
    if (mt.wType == TIME_BYTES)
        return mt.u.cb / 4;
    return 0;
}

// PLAYER_WAVE_TAP names a file that every buffer handed to the device is appended to, as
// written (a Stop then drops what was queued of it): what the player played, for tests and
// measurements, whatever the sound system made of it after.
static void OpenTap(void)
{
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("PLAYER_WAVE_TAP", path, sizeof path);
    if (n > 0 && n < sizeof path)
        hTap = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
}

BOOL WaveOpen(HANDLE hDone, int frames, int count)
{
    InitOnceExecuteOnce(&InitOnce, InitLock, nullptr, nullptr);
    nFrames = frames;
    nBuffers = count;
    nextBuffer = 0;
    writtenFrames = 0;
    nWrittenSinceFlush = 0;
    memset(BufferQueued, 0, sizeof BufferQueued);
    WAVEFORMATEX fmt;
    memset(&fmt, 0, sizeof fmt);
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = SOUND_RATE_HZ;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = SOUND_RATE_HZ * 4;
    HWAVEOUT h = nullptr;
    const BOOL opened = waveOutOpen(&h, WAVE_MAPPER, &fmt, (DWORD_PTR)hDone, 0, CALLBACK_EVENT) == MMSYSERR_NOERROR;
    if (opened) {
        OpenTap();
        for (int i = 0; i < nBuffers; ++i) {
            memset(&Headers[i], 0, sizeof Headers[i]);
            Headers[i].lpData = (LPSTR)Pcm[i];
            Headers[i].dwBufferLength = (DWORD)(sizeof(int16_t) * 2 * nFrames);
            waveOutPrepareHeader(h, &Headers[i], sizeof Headers[i]);
        }
    }
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    EnterCriticalSection(&csPosition);
    hwo = opened ? h : nullptr;
    fOnCounter = !opened;
    counterFreq = f.QuadPart;
    counterOrigin = c.QuadPart;
    epochBaseFrames = 0;
    LeaveCriticalSection(&csPosition);
    return opened;
}

void WaveClose(void)
{
    EnterCriticalSection(&csPosition);
    HWAVEOUT h = hwo;
    hwo = nullptr;
    fOnCounter = FALSE;
    LeaveCriticalSection(&csPosition);
    if (!h)
        return;
    waveOutReset(h);
    for (int i = 0; i < nBuffers; ++i)
        waveOutUnprepareHeader(h, &Headers[i], sizeof Headers[i]);
    waveOutClose(h);
    if (hTap != INVALID_HANDLE_VALUE)
        CloseHandle(hTap);
    hTap = INVALID_HANDLE_VALUE;
}

int64_t WaveHeardFrames(void)
{
    InitOnceExecuteOnce(&InitOnce, InitLock, nullptr, nullptr);
    EnterCriticalSection(&csPosition);
    const int64_t heard = fOnCounter ? CounterFrames() : hwo ? epochBaseFrames + DevicePosition() : 0;
    LeaveCriticalSection(&csPosition);
    return heard;
}

int64_t WaveWrittenFrames(void)
{
    return writtenFrames;
}

int16_t* WaveNextBuffer(int inFlight, bool* dry)
{
    *dry = false;
    if (inFlight > nBuffers)
        inFlight = nBuffers;
    if (fOnCounter) {
        // Rendered a queue's worth ahead of the counter, as the device would be.
        if (writtenFrames >= CounterFrames() + (int64_t)nFrames * (inFlight - 1))
            return nullptr;
        return Pcm[0];
    }
    // Buffers are played in turn, so while fewer than all are queued the next one is free.
    int queued = 0;
    for (int i = 0; i < nBuffers; ++i)
        if (BufferQueued[i] && !(*(volatile DWORD*)&Headers[i].dwFlags & WHDR_DONE))
            ++queued;
    if (queued >= inFlight)
        return nullptr;
    // Every queued buffer done: the device ran out before this one.
    *dry = nWrittenSinceFlush >= inFlight && queued == 0;
    return Pcm[nextBuffer];
}

void WaveWrite(void)
{
    if (fOnCounter) {
        writtenFrames += nFrames;
        return;
    }
    const int i = nextBuffer;
    BufferStart[i] = writtenFrames;
    BufferQueued[i] = true;
    Headers[i].dwFlags &= ~WHDR_DONE;
    waveOutWrite(hwo, &Headers[i], sizeof Headers[i]);
    DWORD tapped;
    if (hTap != INVALID_HANDLE_VALUE)
        WriteFile(hTap, Pcm[i], Headers[i].dwBufferLength, &tapped, nullptr);
    writtenFrames += nFrames;
    ++nWrittenSinceFlush;
    nextBuffer = (nextBuffer + 1) % nBuffers;
}

void WaveFlush(int16_t* fade, int frames)
{
    memset(fade, 0, sizeof(int16_t) * 2 * frames);
    if (fOnCounter) {
        writtenFrames = CounterFrames();
        return;
    }
    EnterCriticalSection(&csPosition);
    const int64_t heard = epochBaseFrames + DevicePosition();
    waveOutReset(hwo);
    epochBaseFrames = heard - DevicePosition();
    LeaveCriticalSection(&csPosition);
    for (int k = 0; k < frames; ++k) {
        const int64_t f = heard + k;
        for (int i = 0; i < nBuffers && f < writtenFrames; ++i)
            if (BufferQueued[i] && f >= BufferStart[i] && f < BufferStart[i] + nFrames) {
                fade[2 * k] = Pcm[i][2 * (f - BufferStart[i])];
                fade[2 * k + 1] = Pcm[i][2 * (f - BufferStart[i]) + 1];
                break;
            }
    }
    memset(BufferQueued, 0, sizeof BufferQueued);
    writtenFrames = heard;
    nWrittenSinceFlush = 0;
}
