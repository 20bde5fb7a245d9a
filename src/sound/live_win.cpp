// The audio thread: it takes the sequencer's requests between blocks, follows the
// SoundFont store, and fills each free wave buffer from the playback cursor.
#include "sound/live.h"

#include <mmsystem.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "sound/render.h"
#include "sound/soundfonts.h"
#include "sound/waveout.h"
#include "synth/synth.h"

// The queue: buffers of one cursor block each (5.8 ms), so a buffer played is refilled at
// once and the queue stays near full. What is queued is what an edit waits behind, so a
// play runs on eight buffers (46 ms). Its start is another matter: 46 ms ran dry right at
// the start of a play, while the player's other threads and Wine's were busiest (15 ms of
// the first note, then 25 ms of silence; see docs/testing.md). So a play starts on sixteen
// (93 ms) and comes down to eight once it has run 1.5 s without a gap. A gap means the
// machine is busy, and busy for a while: it puts the queue back on sixteen until 15 s have
// passed without another, stopped or not. After a Stop the queue holds only three buffers
// (17 ms) of silence, so the next play's first buffer goes in behind those rather than
// behind the steady queue's 46 ms, and the queue deepens as the play starts. The output
// still opens on the full queue: its first moments, while the window and the SoundFont
// load, are the busiest. PLAYER_WAVE_QUEUE="frames,count[,steady]" overrides the shape for
// measurements.
#define DEFAULT_BUFFER_FRAMES SOUND_BLOCK_FRAMES
#define DEFAULT_BUFFERS 16
#define DEFAULT_STEADY_BUFFERS 8
#define IDLE_BUFFERS 3
#define START_SETTLE_FRAMES (SOUND_RATE_HZ * 3 / 2)
#define GAP_SETTLE_FRAMES (SOUND_RATE_HZ * 15)
#define FADE_FRAMES 220         // 5 ms from full level to silence at a stop
#define NO_FRAME INT64_MAX

enum { REQ_PLAY = 1, REQ_CONTINUE, REQ_STOP, REQ_QUIT };

struct Request {
    int kind;
    TIMELINE tl;
    uint64_t fromUs;
    HWND hwndNotify;
    UINT id;
};

// ---- Shared between the commands and the audio thread ----------------------------------

static INIT_ONCE InitOnce = INIT_ONCE_STATIC_INIT;
static CRITICAL_SECTION csCommand;     // one command at a time
static CRITICAL_SECTION csPlay;        // the play's published figures below, for a copy
static CRITICAL_SECTION csRequest;     // Req and reqSeq, for a copy
static HANDLE hThread, hWake, hAck;
static LONG nOpens;
static Synth* pSynth;
static int nBufferFrames = DEFAULT_BUFFER_FRAMES, nBuffers = DEFAULT_BUFFERS;
static int nSteadyBuffers = DEFAULT_STEADY_BUFFERS;
static std::atomic<int> nInFlight{DEFAULT_BUFFERS};   // the buffers the queue holds now

static Request Req;                    // the latest request; a later one replaces it untaken
static LONG reqSeq;
static std::atomic<LONG> ackSeq{0};

static uint64_t playStartUs, playLengthUs;
static int64_t playStreamFrame = NO_FRAME;   // the stream frame of the play's first frame
static std::atomic<int64_t> endStreamFrame{NO_FRAME};
static std::atomic<bool> fEndHeard{false};
static std::atomic<int64_t> nGaps{0};
static std::atomic<bool> fWaveDevice{false};

// ---- The audio thread's own ------------------------------------------------------------

static TIMELINE Songs[2];              // the record of the timeline playing, and a spare
static int iSong;
static PLAYCURSOR Cursor;
static bool fPlaying;                  // the cursor runs
static bool fWaitingForFont;           // a play waits for the SoundFont's load
static bool fDeepenAtStart;            // the queue deepens as the waiting play starts
static uint64_t waitingFromUs;
static const SoundFont* pSynthFont;
static int16_t Fade[2 * FADE_FRAMES];
static bool fFadePending;
static HWND hwndNotify;
static UINT notifyId;
static int64_t settleFrames;           // still to write before the queue comes down

static BOOL CALLBACK InitLocks(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&csCommand);
    InitializeCriticalSection(&csPlay);
    InitializeCriticalSection(&csRequest);
    return TRUE;
}

static void EnsureInit(void)
{
    InitOnceExecuteOnce(&InitOnce, InitLocks, nullptr, nullptr);
}

static void Publish(uint64_t startUs, uint64_t lengthUs, int64_t streamFrame)
{
    EnterCriticalSection(&csPlay);
    playStartUs = startUs;
    playLengthUs = lengthUs;
    playStreamFrame = streamFrame;
    LeaveCriticalSection(&csPlay);
}

static void FollowSoundFont(void)
{
    if (!fWaveDevice.load())
        return;   // nothing to hear: the song plays on silently, without a font
    BOOL loading;
    const SoundFont* sf = SoundFontToPlay(&loading);
    if (sf && sf != pSynthFont) {
        SynthSetSoundFont(pSynth, sf);
        pSynthFont = sf;
    }
}

// Ramps interleaved stereo from full level to silence over frames (the last frame is 0).
static void FadeOut(int16_t* interleaved, int frames)
{
    const int last = frames - 1;
    for (int i = 0; i < frames; ++i) {
        const int32_t gain = last > 0 ? (int32_t)((int64_t)(last - i) * 32768 / last) : 0;
        interleaved[2 * i] = (int16_t)(interleaved[2 * i] * gain / 32768);
        interleaved[2 * i + 1] = (int16_t)(interleaved[2 * i + 1] * gain / 32768);
    }
}

// Every voice ends, after a fade of a few milliseconds. A stop drops what is queued and
// fades what was about to be heard; a play in place of the one sounding fades the old sound
// over its own first frames, after what is queued (a reset of the wave output there would
// lose the first frames written after it).
static void Silence(bool dropQueued)
{
    if (dropQueued) {
        WaveFlush(Fade, FADE_FRAMES);
        fFadePending = true;
    } else if (fPlaying || SynthActiveVoices(pSynth) > 0) {
        SynthRenderS16(pSynth, Fade, FADE_FRAMES);
        fFadePending = true;
    }
    FadeOut(Fade, FADE_FRAMES);
    SynthReset(pSynth);
    fPlaying = false;
    fWaitingForFont = false;
    endStreamFrame.store(NO_FRAME);
    fEndHeard.store(false);
}

// The queue grows to its full depth, and stays there for frames written without a gap.
static void DeepenQueue(int64_t frames)
{
    nInFlight.store(nBuffers);
    settleFrames = frames;
}

// Stopped, the queue keeps a few buffers of silence, so the stream runs on; a gap's settling
// time runs on meanwhile, for the next play.
static int IdleBuffers(void)
{
    return nSteadyBuffers < IDLE_BUFFERS ? nSteadyBuffers : IDLE_BUFFERS;
}

// A play waiting for its SoundFont starts once the load is done (with no font found, or
// no wave output to hear it, it plays on in silence); the frames heard until then count
// for nothing.
static void StartWhenReady(void)
{
    BOOL loading;
    if (!SoundFontToPlay(&loading) && loading && fWaveDevice.load())
        return;
    FollowSoundFont();
    if (fDeepenAtStart)
        DeepenQueue(settleFrames > START_SETTLE_FRAMES ? settleFrames : START_SETTLE_FRAMES);
    fDeepenAtStart = false;
    CursorStart(&Cursor, pSynth, &Songs[iSong], waitingFromUs);
    fWaitingForFont = false;
    fPlaying = true;
    Publish(Cursor.startUs, Songs[iSong].qwLength, WaveWrittenFrames());
}

static void StartPlay(const Request& r)
{
    const bool fromSilence = !fPlaying;
    Silence(false);
    fDeepenAtStart = fromSilence || fDeepenAtStart;
    Songs[iSong] = r.tl;
    hwndNotify = r.hwndNotify;
    notifyId = r.id;
    waitingFromUs = r.fromUs < r.tl.qwLength ? r.fromUs : r.tl.qwLength;
    Publish(waitingFromUs, r.tl.qwLength, NO_FRAME);
    fWaitingForFont = true;
    StartWhenReady();
}

static void Continue(const Request& r)
{
    const int spare = 1 - iSong;
    Songs[spare] = r.tl;
    if (fWaitingForFont) {
        iSong = spare;
    } else if (!fPlaying || !CursorContinueIn(&Cursor, pSynth, &Songs[spare])) {
        StartPlay(r);
        return;
    } else {
        iSong = spare;
    }
    hwndNotify = r.hwndNotify;
    notifyId = r.id;
}

// Returns false once asked to quit.
static bool TakeRequest(void)
{
    EnterCriticalSection(&csRequest);
    const LONG seq = reqSeq;
    const Request r = Req;
    LeaveCriticalSection(&csRequest);
    if (seq == ackSeq.load())
        return true;
    bool goOn = true;
    switch (r.kind) {
    case REQ_PLAY:     StartPlay(r); break;
    case REQ_CONTINUE: Continue(r); break;
    case REQ_STOP:     Silence(true); nInFlight.store(IdleBuffers()); break;
    case REQ_QUIT:     Silence(true); goOn = false; break;
    }
    ackSeq.store(seq);
    SetEvent(hAck);
    return goOn;
}

static void RenderBuffer(int16_t* pcm)
{
    if (fWaitingForFont)
        StartWhenReady();
    FollowSoundFont();
    for (int k = 0; k < nBufferFrames; k += SOUND_BLOCK_FRAMES) {
        int16_t* block = pcm + 2 * k;
        if (fPlaying)
            CursorRender(&Cursor, pSynth, block, SOUND_BLOCK_FRAMES);
        else
            memset(block, 0, sizeof(int16_t) * 2 * SOUND_BLOCK_FRAMES);
    }
    if (fFadePending) {
        for (int k = 0; k < 2 * FADE_FRAMES; ++k) {
            const int s = pcm[k] + Fade[k];
            pcm[k] = (int16_t)(s > 32767 ? 32767 : s < -32768 ? -32768 : s);
        }
        fFadePending = false;
    }
    if (fPlaying && CursorAtEnd(&Cursor) && endStreamFrame.load() == NO_FRAME) {
        EnterCriticalSection(&csPlay);
        const int64_t start = playStreamFrame;
        LeaveCriticalSection(&csPlay);
        endStreamFrame.store(start + (int64_t)Cursor.endFrame);
    }
}

static void NotifyEndHeard(void)
{
    const int64_t end = endStreamFrame.load();
    if (end == NO_FRAME || fEndHeard.load() || WaveHeardFrames() < end)
        return;
    fEndHeard.store(true);
    if (hwndNotify)
        PostMessageA(hwndNotify, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, (LPARAM)notifyId);
}

// The wave output is opened and closed on the audio thread only. Opening and closing it
// waits on the sound system's own threads, and a thread that waits so answers the
// messages other programs send it: on the window's thread such a message could start a
// command in the middle of the one under way.
static DWORD WINAPI AudioThread(LPVOID)
{
    fWaveDevice.store(WaveOpen(hWake, nBufferFrames, nBuffers) != FALSE);
    pSynthFont = nullptr;
    fPlaying = fWaitingForFont = fFadePending = fDeepenAtStart = false;
    nInFlight.store(nBuffers);   // as every output opens, whatever the last one ended on
    settleFrames = 0;
    for (bool goOn = true; goOn;) {
        WaitForSingleObject(hWake, 5);
        goOn = TakeRequest();
        bool dry;
        for (int16_t* pcm = WaveNextBuffer(nInFlight.load(), &dry); goOn && pcm;
             pcm = WaveNextBuffer(nInFlight.load(), &dry)) {
            if (dry) {
                nGaps.fetch_add(1);
                DeepenQueue(GAP_SETTLE_FRAMES);
            }
            RenderBuffer(pcm);
            WaveWrite();
            if (settleFrames > 0 && (settleFrames -= nBufferFrames) <= 0)
                nInFlight.store(fPlaying ? nSteadyBuffers : IdleBuffers());
            goOn = TakeRequest();   // an edit is taken at the next block, not after the queue
        }
        NotifyEndHeard();
    }
    WaveClose();
    return 0;
}

// ---- The commands ----------------------------------------------------------------------

// Hands the audio thread a request; with wait, returns once it has been taken.
static void Ask(const Request& r, bool wait)
{
    if (!hThread)
        return;
    EnterCriticalSection(&csRequest);
    Req = r;
    const LONG seq = ++reqSeq;
    LeaveCriticalSection(&csRequest);
    SetEvent(hWake);
    while (wait && ackSeq.load() - seq < 0)
        WaitForSingleObject(hAck, 50);
}

static void ChooseQueue(void)
{
    char text[32];
    DWORD n = GetEnvironmentVariableA("PLAYER_WAVE_QUEUE", text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return;
    const char* second = strchr(text, ',');
    const char* third = second ? strchr(second + 1, ',') : nullptr;
    int frames = atoi(text), count = second ? atoi(second + 1) : 0, steady = third ? atoi(third + 1) : count;
    frames -= frames % SOUND_BLOCK_FRAMES;
    if (frames >= SOUND_BLOCK_FRAMES && frames <= WAVE_MAX_BUFFER_FRAMES && count >= 2 && count <= WAVE_MAX_BUFFERS &&
        steady >= 2 && steady <= count) {
        nBufferFrames = frames;
        nBuffers = count;
        nSteadyBuffers = steady;
    }
}

void LiveOpen(void)
{
    EnsureInit();
    EnterCriticalSection(&csCommand);
    if (nOpens++ == 0) {
        LoadSoundFontAhead();
        ChooseQueue();
        if (!pSynth) {
            SynthConfig config;
            pSynth = CreateSynth(config);
        }
        if (!hWake)
            hWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (!hAck)
            hAck = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        Publish(0, 0, NO_FRAME);
        if (pSynth && hWake && hAck)
            hThread = CreateThread(nullptr, 0, AudioThread, nullptr, 0, nullptr);
        if (hThread)
            SetThreadPriority(hThread, THREAD_PRIORITY_TIME_CRITICAL);
    }
    LeaveCriticalSection(&csCommand);
}

void LiveClose(void)
{
    EnsureInit();
    EnterCriticalSection(&csCommand);
    if (nOpens > 0 && --nOpens == 0 && hThread) {
        Request r = {};
        r.kind = REQ_QUIT;
        Ask(r, true);
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
        hThread = nullptr;
        FreeRetiredSoundFonts(pSynth);
    }
    LeaveCriticalSection(&csCommand);
}

static void AskPlay(int kind, const TIMELINE* tl, uint64_t fromUs, HWND hwnd, UINT id)
{
    EnsureInit();
    EnterCriticalSection(&csCommand);
    Request r = {};
    r.kind = kind;
    r.tl = *tl;
    r.fromUs = fromUs;
    r.hwndNotify = hwnd;
    r.id = id;
    // A play's timeline stays while its device is open; an edit's old one goes once taken.
    Ask(r, kind == REQ_CONTINUE);
    LeaveCriticalSection(&csCommand);
}

void LivePlay(const TIMELINE* tl, uint64_t fromUs, HWND hwndNotify, UINT id)
{
    AskPlay(REQ_PLAY, tl, fromUs, hwndNotify, id);
}

void LiveContinue(const TIMELINE* tl, uint64_t fromUs, HWND hwndNotify, UINT id)
{
    AskPlay(REQ_CONTINUE, tl, fromUs, hwndNotify, id);
}

void LiveStop(void)
{
    EnsureInit();
    EnterCriticalSection(&csCommand);
    Request r = {};
    r.kind = REQ_STOP;
    Ask(r, true);
    LeaveCriticalSection(&csCommand);
}

uint64_t LivePosition(void)
{
    EnsureInit();
    EnterCriticalSection(&csPlay);
    const uint64_t start = playStartUs, length = playLengthUs;
    const int64_t first = playStreamFrame;
    LeaveCriticalSection(&csPlay);
    const int64_t heard = first == NO_FRAME ? 0 : WaveHeardFrames() - first;
    const uint64_t pos = start + (heard > 0 ? MicrosecondsOfFrame((uint64_t)heard) : 0);
    return pos < length ? pos : length;
}

BOOL LiveEndHeard(void)
{
    return fEndHeard.load();
}

void LiveGetStats(LIVESTATS* s)
{
    s->writtenFrames = WaveWrittenFrames();
    s->heardFrames = WaveHeardFrames();
    s->gaps = nGaps.load();
    s->bufferFrames = nBufferFrames;
    s->buffers = nInFlight.load();
    s->fWaveOutput = fWaveDevice.load();
}
