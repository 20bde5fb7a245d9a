// The own sequencer's sound: its messages go to the synthesizer, stamped with the due
// times the sequencer waits for, and the synthesizer's audio goes to the wave output on a
// thread of its own in small buffers. The sequencer runs a fixed lead ahead of what is
// heard, so every message reaches the queue before its frame is rendered; its clock is the
// frames heard (see audiosched.h).
#include "mmio/audioout.h"

#include <mmsystem.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "mmio/audiosched.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

#define BLOCK_FRAMES 441        // 10 ms per wave buffer
#define NUM_BLOCKS 6            // queued: at most 60 ms (fewer starve on a busy machine)
#define FADE_FRAMES 220         // 5 ms from full level to silence at a stop
#define LEAD_MICROS 120000      // how far the sequencer runs ahead of what is heard: the queue, a block, and room
#define DRAIN_LIMIT_MS 300      // a close waits at most this long for the song's last notes
#define MAX_RETIRED_FONTS 16

enum { AO_IDLE, AO_STARTING, AO_PLAYING, AO_SILENT };

// ---- State -----------------------------------------------------------------------------

// The producer's lock guards the clock, the stamps and the pushes (every thread that
// calls the sink); the audio thread never takes it.
static INIT_ONCE InitOnce = INIT_ONCE_STATIC_INIT;
static CRITICAL_SECTION csProducer;
static CRITICAL_SECTION csPosition;   // hwo and epochBaseFrames, as the position is read
static CRITICAL_SECTION csFonts;      // the fonts' bookkeeping (never held while loading)

static std::atomic<int> nState{AO_IDLE};
static BOOL fOpen;
static HANDLE hThread;
static HANDLE hWake;                  // buffers done, or a request for the audio thread
static std::atomic<bool> fQuit{false};
static std::atomic<LONG> nFlushRequests{0}, nFlushesDone{0};
static std::atomic<int64_t> llRenderedFrames{0};   // end of the block being rendered
static std::atomic<int64_t> llFlushHeardFrames{0}; // where the last stop's fade began

// Producer side.
static AudioQueue Queue;
static AudioClock Clock;
static BOOL fHaveStamp;               // the messages now carry stampMicros
static LONGLONG stampMicros;
static LONGLONG lastNowMicros;
static BOOL fRetracted;               // lastRetractFrom holds the last retract's point
static LONGLONG lastRetractFrom;
static BOOL fClockOnCounter;          // the clock runs on the performance counter
static LONGLONG counterOriginMicros, counterOrigin, counterFreq;

// The wave output.
static HWAVEOUT hwo;
static int64_t epochBaseFrames;       // frames heard before the last reset
static WAVEHDR Headers[NUM_BLOCKS];
static int16_t Pcm[NUM_BLOCKS][2 * BLOCK_FRAMES];
static int64_t HeaderStart[NUM_BLOCKS];

// The audio thread's own.
static Synth* pSynth;
static const SoundFont* pSynthFont;
static int64_t writtenFrames;
static int nextHeader;
static int16_t FadeBuf[2 * FADE_FRAMES];

// Fonts.
static std::atomic<const SoundFont*> pWantedFont{nullptr};
static char szFontPath[MAX_PATH];
static BOOL fSearched, fUserFont;
static SoundFont* Retired[MAX_RETIRED_FONTS];
static int nRetired;

static BOOL CALLBACK InitLocks(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&csProducer);
    InitializeCriticalSection(&csPosition);
    InitializeCriticalSection(&csFonts);
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    counterFreq = f.QuadPart;
    return TRUE;
}

static void EnsureInit(void)
{
    InitOnceExecuteOnce(&InitOnce, InitLocks, nullptr, nullptr);
}

// ---- Finding the SoundFont -------------------------------------------------------------

// The first .sf2 file in name order in the program's own folder.
static BOOL FontInProgramFolder(char* path, size_t size)
{
    char folder[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, folder, sizeof folder);
    if (n == 0 || n >= sizeof folder)
        return FALSE;
    char* slash = strrchr(folder, '\\');
    if (!slash)
        return FALSE;
    slash[1] = '\0';
    char pattern[MAX_PATH + 8];
    snprintf(pattern, sizeof pattern, "%s*.sf2", folder);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    char best[MAX_PATH] = "";
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (!best[0] || lstrcmpiA(fd.cFileName, best) < 0))
            lstrcpynA(best, fd.cFileName, sizeof best);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    if (!best[0])
        return FALSE;
    return snprintf(path, size, "%s%s", folder, best) < (int)size;
}

// The system's General MIDI SoundFonts as a Windows program sees them under Wine.
static const char* const SystemFonts[] = {
    "Z:\\usr\\share\\sounds\\sf2\\default-GM.sf2",
    "Z:\\usr\\share\\sounds\\sf2\\TimGM6mb.sf2",
    "Z:\\usr\\share\\sounds\\sf2\\FluidR3_GM.sf2",
};

static BOOL FileExists(const char* path)
{
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The candidates in order of preference; returns how many were written.
static int FontCandidates(char (*paths)[MAX_PATH], int max)
{
    int n = 0;
    if (n < max && FontInProgramFolder(paths[n], MAX_PATH))
        ++n;
    for (const char* p : SystemFonts)
        if (n < max && FileExists(p))
            lstrcpynA(paths[n++], p, MAX_PATH);
    return n;
}

// The font the synthesizer plays: the user's, else the first candidate that loads (looked
// for once a run). Runs on the audio thread before it starts the stream.
static const SoundFont* FindSoundFont(void)
{
    EnterCriticalSection(&csFonts);
    BOOL search = !pWantedFont.load() && !fSearched;
    fSearched = TRUE;
    LeaveCriticalSection(&csFonts);
    if (search) {
        char paths[4][MAX_PATH];
        int n = FontCandidates(paths, 4);
        for (int i = 0; i < n; ++i) {
            SoundFont* sf = nullptr;
            char message[256];
            if (LoadSoundFontFile(paths[i], &sf, message, sizeof message) != SF_LOAD_OK)
                continue;   // a font that cannot be used is passed over without a word
            EnterCriticalSection(&csFonts);
            BOOL keep = !pWantedFont.load();   // the user may have chosen one meanwhile
            if (keep) {
                pWantedFont.store(sf);
                lstrcpynA(szFontPath, paths[i], sizeof szFontPath);
            }
            LeaveCriticalSection(&csFonts);
            if (!keep)
                FreeSoundFont(sf);
            break;
        }
    }
    return pWantedFont.load();
}

// ---- The audio thread ------------------------------------------------------------------

static void ApplyToSynth(void*, const AudioMessage& m)
{
    if (m.kind == AUDIO_SHORT)
        SynthShortMsg(pSynth, m.shortMsg);
    else if (m.kind == AUDIO_SYSEX)
        SynthSysEx(pSynth, m.sysex, m.sysexLen);
}

static void RenderSynth(void*, int16_t* interleaved, int frames)
{
    SynthRenderS16(pSynth, interleaved, frames);
}

static const AudioTarget SynthTarget = {nullptr, ApplyToSynth, RenderSynth};

static int64_t PositionFrames(HWAVEOUT h)
{
    MMTIME mt;
    mt.wType = TIME_SAMPLES;
    if (!h || waveOutGetPosition(h, &mt, sizeof mt) != MMSYSERR_NOERROR)
        return 0;
    if (mt.wType == TIME_SAMPLES)
        return mt.u.sample;
    if (mt.wType == TIME_BYTES)
        return mt.u.cb / 4;
    return 0;
}

// Frames of the stream heard so far (any thread).
static int64_t HeardFrames(void)
{
    EnterCriticalSection(&csPosition);
    int64_t heard = epochBaseFrames + PositionFrames(hwo);
    LeaveCriticalSection(&csPosition);
    return heard;
}

static void RenderBlock(int i)
{
    HeaderStart[i] = writtenFrames;
    llRenderedFrames.store(writtenFrames + BLOCK_FRAMES);
    RenderScheduled(&Queue, SynthTarget, writtenFrames, Pcm[i], BLOCK_FRAMES);
    writtenFrames += BLOCK_FRAMES;
}

static void WriteBlock(int i)
{
    Headers[i].dwFlags &= ~WHDR_DONE;
    waveOutWrite(hwo, &Headers[i], sizeof Headers[i]);
}

// The sound about to be heard from frame on, as the buffers still hold it.
static void TakeQueuedSound(int64_t frame, int16_t* out, int frames)
{
    memset(out, 0, sizeof(int16_t) * 2 * frames);
    for (int k = 0; k < frames; ++k) {
        const int64_t f = frame + k;
        if (f >= writtenFrames)
            break;
        for (int i = 0; i < NUM_BLOCKS; ++i)
            if (f >= HeaderStart[i] && f < HeaderStart[i] + BLOCK_FRAMES) {
                out[2 * k] = Pcm[i][2 * (f - HeaderStart[i])];
                out[2 * k + 1] = Pcm[i][2 * (f - HeaderStart[i]) + 1];
                break;
            }
    }
}

static int16_t MixSample(int a, int b)
{
    int s = a + b;
    return (int16_t)(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
}

// A stop: the queued messages that change a channel's state are applied, the queued sound
// is flushed, the few milliseconds that were about to be heard fade to silence, and the
// synthesizer's voices end.
static void Flush(void)
{
    const LONG request = nFlushRequests.load();
    ApplyAllForStop(&Queue, SynthTarget);
    EnterCriticalSection(&csPosition);
    const int64_t heard = epochBaseFrames + PositionFrames(hwo);
    waveOutReset(hwo);
    epochBaseFrames = heard - PositionFrames(hwo);
    LeaveCriticalSection(&csPosition);
    llFlushHeardFrames.store(heard);

    TakeQueuedSound(heard, FadeBuf, FADE_FRAMES);
    FadeOut(FadeBuf, FADE_FRAMES);
    // Every voice and the effects' tails end at once; the next play's chase (or the song
    // from its start) sets the channels again.
    SynthReset(pSynth);
    writtenFrames = heard;
    for (int n = 0; n < NUM_BLOCKS; ++n) {
        const int i = (nextHeader + n) % NUM_BLOCKS;
        RenderBlock(i);
        if (n == 0)
            for (int k = 0; k < 2 * FADE_FRAMES; ++k)
                Pcm[i][k] = MixSample(Pcm[i][k], FadeBuf[k]);
        WriteBlock(i);
    }
    nFlushesDone.store(request);
}

static void FollowWantedFont(void)
{
    const SoundFont* w = pWantedFont.load();
    if (w && w != pSynthFont) {
        SynthSetSoundFont(pSynth, w);
        pSynthFont = w;
    }
}

static void CloseWaveOut(void)
{
    EnterCriticalSection(&csPosition);
    HWAVEOUT h = hwo;
    epochBaseFrames += PositionFrames(h);
    hwo = nullptr;
    LeaveCriticalSection(&csPosition);
    if (!h)
        return;
    waveOutReset(h);
    for (WAVEHDR& hdr : Headers)
        waveOutUnprepareHeader(h, &hdr, sizeof hdr);
    waveOutClose(h);
}

// The wave output is opened and closed on the audio thread only. Opening and closing it
// waits on the sound system's own threads, and a thread that waits so answers the
// messages other programs send it: on the window's thread such a message could start a
// command in the middle of the one under way, which may hold a lock its play thread needs.
static BOOL OpenWaveOut(void)
{
    WAVEFORMATEX fmt;
    memset(&fmt, 0, sizeof fmt);
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = AUDIO_RATE_HZ;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = AUDIO_RATE_HZ * 4;
    HWAVEOUT h = nullptr;
    if (waveOutOpen(&h, WAVE_MAPPER, &fmt, (DWORD_PTR)hWake, 0, CALLBACK_EVENT) != MMSYSERR_NOERROR)
        return FALSE;
    for (int i = 0; i < NUM_BLOCKS; ++i) {
        memset(&Headers[i], 0, sizeof Headers[i]);
        Headers[i].lpData = (LPSTR)Pcm[i];
        Headers[i].dwBufferLength = sizeof Pcm[i];
        waveOutPrepareHeader(h, &Headers[i], sizeof Headers[i]);
    }
    EnterCriticalSection(&csPosition);
    hwo = h;
    LeaveCriticalSection(&csPosition);
    return TRUE;
}

static DWORD WINAPI AudioThread(LPVOID)
{
    if (!OpenWaveOut()) {
        nState.store(AO_SILENT);   // no wave output: everything plays on, silently
        return 0;
    }
    if (!FindSoundFont()) {
        CloseWaveOut();
        nState.store(AO_SILENT);   // no SoundFont: the song plays on in silence
        return 0;
    }
    FollowWantedFont();
    if (nFlushRequests.load() != nFlushesDone.load()) {
        ApplyAllForStop(&Queue, SynthTarget);   // stopped while the font loaded
        nFlushesDone.store(nFlushRequests.load());
    }
    nextHeader = 0;
    for (int i = 0; i < NUM_BLOCKS; ++i) {
        RenderBlock(i);
        WriteBlock(i);
    }
    nState.store(AO_PLAYING);
    while (!fQuit.load()) {
        WaitForSingleObject(hWake, 20);
        if (nFlushRequests.load() != nFlushesDone.load())
            Flush();
        FollowWantedFont();
        while (*(volatile DWORD*)&Headers[nextHeader].dwFlags & WHDR_DONE) {
            RenderBlock(nextHeader);
            WriteBlock(nextHeader);
            nextHeader = (nextHeader + 1) % NUM_BLOCKS;
        }
    }
    CloseWaveOut();
    return 0;
}

// ---- Starting and stopping the output (under the producer's lock) ---------------------

static LONGLONG CounterMicros(void)
{
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart / counterFreq * 1000000 + c.QuadPart % counterFreq * 1000000 / counterFreq;
}

static BOOL AudioRunning(void)
{
    const int s = nState.load();
    return s == AO_STARTING || s == AO_PLAYING;
}

static LONGLONG NowLocked(void)
{
    LONGLONG now;
    if (AudioRunning()) {
        fClockOnCounter = FALSE;
        now = ClockMicros(&Clock, HeardFrames());
    } else {
        if (!fClockOnCounter) {
            fClockOnCounter = TRUE;
            counterOriginMicros = lastNowMicros;
            counterOrigin = CounterMicros();
        }
        now = counterOriginMicros + (CounterMicros() - counterOrigin);
    }
    if (now < lastNowMicros)
        now = lastNowMicros;
    lastNowMicros = now;
    return now;
}

static void GoSilent(void)
{
    nState.store(AO_SILENT);
}

static void StartOutput(void)
{
    if (!fOpen || nState.load() != AO_IDLE)
        return;
    if (!pSynth) {
        SynthConfig config;
        pSynth = CreateSynth(config);
    }
    if (!hWake)
        hWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!pSynth || !hWake) {
        GoSilent();
        return;
    }
    while (Queue.Peek())
        Queue.Pop();
    NowLocked();
    Clock.lastClockFrames = FramesOfMicros(lastNowMicros);
    RestartClock(&Clock);
    EnterCriticalSection(&csPosition);
    epochBaseFrames = 0;
    LeaveCriticalSection(&csPosition);
    writtenFrames = 0;
    llRenderedFrames.store(0);
    nFlushRequests.store(0);
    nFlushesDone.store(0);
    fQuit.store(false);
    nState.store(AO_STARTING);
    hThread = CreateThread(nullptr, 0, AudioThread, nullptr, 0, nullptr);
    if (!hThread) {
        GoSilent();
        return;
    }
    SetThreadPriority(hThread, THREAD_PRIORITY_TIME_CRITICAL);
}

// Asks the audio thread for a stop and waits for it a little (a font still loading may
// keep it longer; the stop is then done before the stream starts).
static void FlushAndWait(void)
{
    const LONG request = nFlushRequests.load() + 1;
    nFlushRequests.store(request);
    SetEvent(hWake);
    for (int waited = 0; waited < 200 && AudioRunning() && nFlushesDone.load() != request; ++waited)
        Sleep(1);
    ForgetStamps(&Clock);
}

static void WaitHeard(int64_t frame, int limitMs)
{
    for (int waited = 0; waited < limitMs && nState.load() == AO_PLAYING && HeardFrames() < frame; waited += 5)
        Sleep(5);
}

// Frees the fonts given up that the synthesizer no longer uses. Only while the audio
// thread does not run: the synthesizer is then this thread's to ask.
static void FreeRetiredFonts(void)
{
    EnterCriticalSection(&csFonts);
    if (pSynth && pSynthFont != pWantedFont.load()) {
        SynthReset(pSynth);
        SynthSetSoundFont(pSynth, pWantedFont.load());
        pSynthFont = pWantedFont.load();
    }
    int kept = 0;
    for (int i = 0; i < nRetired; ++i)
        if (pSynth && SynthUsesSoundFont(pSynth, Retired[i]))
            Retired[kept++] = Retired[i];
        else
            FreeSoundFont(Retired[i]);
    nRetired = kept;
    LeaveCriticalSection(&csFonts);
}

static void StopOutput(void)
{
    if (nState.load() == AO_PLAYING) {
        // A song that ended is heard to its last message, then fades.
        if (fHaveStamp) {
            int64_t end = FramesOfMicros(stampMicros) + Clock.slipFrames;
            WaitHeard(end > Clock.lastStampFrame ? end : Clock.lastStampFrame, DRAIN_LIMIT_MS);
        }
        FlushAndWait();
        WaitHeard(llFlushHeardFrames.load() + FADE_FRAMES, 100);
    }
    if (hThread) {
        fQuit.store(true);
        SetEvent(hWake);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
        hThread = nullptr;
    }
    nState.store(AO_IDLE);
    fHaveStamp = FALSE;
    FreeRetiredFonts();
}

// ---- The sink ----------------------------------------------------------------------------

void AudioOutOpen(void)
{
    EnsureInit();
    EnterCriticalSection(&csProducer);
    fOpen = TRUE;
    LeaveCriticalSection(&csProducer);
}

void AudioOutClose(void)
{
    EnsureInit();
    EnterCriticalSection(&csProducer);
    StopOutput();
    fOpen = FALSE;
    LeaveCriticalSection(&csProducer);
}

static void PushStamped(AudioMessage& m)
{
    const LONGLONG stamp = fHaveStamp ? stampMicros : NowLocked();
    m.frame = StampFrame(&Clock, stamp, llRenderedFrames.load(), BLOCK_FRAMES);
    m.stampMicros = stamp;
    // The ring holds far more than a lead's worth; it fills only while a font loads.
    for (int tries = 0; !Queue.Push(m) && tries < 1000 && AudioRunning(); ++tries) {
        LeaveCriticalSection(&csProducer);
        Sleep(2);
        EnterCriticalSection(&csProducer);
    }
}

void AudioOutShortMsg(DWORD msg)
{
    EnsureInit();
    EnterCriticalSection(&csProducer);
    StartOutput();
    if (AudioRunning()) {
        AudioMessage m;
        memset(&m, 0, sizeof m);
        m.kind = AUDIO_SHORT;
        m.shortMsg = msg;
        PushStamped(m);
    }
    LeaveCriticalSection(&csProducer);
}

void AudioOutSysEx(BYTE status, const BYTE* data, DWORD len)
{
    // F7 packets carry their own F0 when they start a message.
    if (status == 0xF7) {
        if (len < 1 || data[0] != 0xF0)
            return;
        ++data;
        --len;
    }
    if (len == 0 || len > AUDIO_SYSEX_BYTES)
        return;
    EnsureInit();
    EnterCriticalSection(&csProducer);
    StartOutput();
    if (AudioRunning()) {
        AudioMessage m;
        memset(&m, 0, sizeof m);
        m.kind = AUDIO_SYSEX;
        m.sysexLen = (uint8_t)len;
        memcpy(m.sysex, data, len);
        PushStamped(m);
    }
    LeaveCriticalSection(&csProducer);
}

LONGLONG AudioOutNow(void)
{
    EnsureInit();
    EnterCriticalSection(&csProducer);
    StartOutput();
    LONGLONG now = NowLocked();
    LeaveCriticalSection(&csProducer);
    return now;
}

// A stop: what is queued goes, what sounds fades out.
static void StopSound(void)
{
    EnterCriticalSection(&csProducer);
    fHaveStamp = FALSE;
    if (AudioRunning())
        FlushAndWait();
    LeaveCriticalSection(&csProducer);
}

void AudioOutSilence(void)
{
    EnsureInit();
    StopSound();
}

LONGLONG AudioOutRetract(LONGLONG keepMicros)
{
    EnsureInit();
    EnterCriticalSection(&csProducer);
    LONGLONG from = LLONG_MAX;   // nothing queued ahead: nothing to take back
    if (AudioRunning()) {
        from = RetractStamps(&Clock, llRenderedFrames.load(), FramesOfMicros(keepMicros));
        // The previous restart's messages went out stamped with its point: edits quicker
        // than the render keep them, so no change an edit sent is ever taken back.
        if (fRetracted && from <= lastRetractFrom)
            from = lastRetractFrom + 1;
        fRetracted = TRUE;
        lastRetractFrom = from;
        Queue.Retract(from);
        stampMicros = from;
        fHaveStamp = TRUE;
    }
    LeaveCriticalSection(&csProducer);
    return from;
}

BOOL AudioOutWaitUntil(LONGLONG t, HANDLE hAbort)
{
    for (;;) {
        EnterCriticalSection(&csProducer);
        StartOutput();
        const BOOL audio = AudioRunning();
        const LONGLONG left = MicrosUntilDue(t, NowLocked(), audio ? LEAD_MICROS : 0);
        LeaveCriticalSection(&csProducer);
        if (left <= 0)
            break;
        // On the wave clock the lead leaves room: a few milliseconds late is still early.
        DWORD ms = audio ? (DWORD)(left / 1000 + 1 < 10 ? left / 1000 + 1 : 10)
                         : left > 2500 ? (DWORD)((left - 1500) / 1000) : 0;
        // An ended wait leaves the sound alone: the sequencer silences what it stops, and
        // an edit's restart plays on.
        if (WaitForSingleObject(hAbort, ms) == WAIT_OBJECT_0)
            return FALSE;
        if (ms == 0)
            SwitchToThread();
    }
    if (WaitForSingleObject(hAbort, 0) == WAIT_OBJECT_0)
        return FALSE;
    EnterCriticalSection(&csProducer);
    stampMicros = t;
    fHaveStamp = TRUE;
    LeaveCriticalSection(&csProducer);
    return TRUE;
}

// ---- The user's SoundFont ----------------------------------------------------------------

int ChooseSoundFont(const char* path, char* message, size_t messageSize)
{
    EnsureInit();
    SoundFont* sf = nullptr;
    int loaded = LoadSoundFontFile(path, &sf, message, messageSize);
    if (loaded != SF_LOAD_OK)
        return loaded;
    EnterCriticalSection(&csProducer);
    EnterCriticalSection(&csFonts);
    SoundFont* previous = (SoundFont*)pWantedFont.load();
    if (previous) {
        if (nRetired < MAX_RETIRED_FONTS)
            Retired[nRetired++] = previous;
        // else: kept for the rest of the run; the synthesizer may still be fading it out
    }
    pWantedFont.store(sf);
    lstrcpynA(szFontPath, path, sizeof szFontPath);
    fSearched = TRUE;
    fUserFont = TRUE;
    LeaveCriticalSection(&csFonts);
    if (!AudioRunning() && !hThread)
        FreeRetiredFonts();
    LeaveCriticalSection(&csProducer);
    return SF_LOAD_OK;
}

BOOL UserChoseSoundFont(void)
{
    EnsureInit();
    EnterCriticalSection(&csFonts);
    BOOL chose = fUserFont;
    LeaveCriticalSection(&csFonts);
    return chose;
}

void SoundFontInUse(char* path, size_t size)
{
    EnsureInit();
    if (!path || size == 0)
        return;
    EnterCriticalSection(&csFonts);
    lstrcpynA(path, szFontPath, (int)size);
    LeaveCriticalSection(&csFonts);
    if (!path[0]) {
        char paths[1][MAX_PATH];
        if (FontCandidates(paths, 1) == 1)
            lstrcpynA(path, paths[0], (int)size);
    }
}

void AudioOutFrames(LONGLONG* written, LONGLONG* heard)
{
    EnsureInit();
    const BOOL playing = nState.load() == AO_PLAYING;
    if (written)
        *written = playing ? llRenderedFrames.load() : 0;
    if (heard)
        *heard = playing ? HeardFrames() : 0;
}
