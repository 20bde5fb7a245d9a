// The program's own MCI sequencer, and the choice between it and the platform's.
#include "mmio/sequencer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mmio/timeline.h"
#include "sound/live.h"
#include "sound/soundfonts.h"

// ---- The choice of sequencer ---------------------------------------------------------

static MCIERROR PlatformSendCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param)
{
    return mciSendCommandA(id, msg, flags, param);
}

static BOOL PlatformGetErrorString(MCIERROR err, char* text, UINT size)
{
    return mciGetErrorStringA(err, text, size);
}

static SEQSENDPROC lpfnSendCommand = PlatformSendCommand;
static SEQERRORPROC lpfnGetErrorString = PlatformGetErrorString;

MCIERROR SequencerSendCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param)
{
    return lpfnSendCommand(id, msg, flags, param);
}

BOOL SequencerGetErrorString(MCIERROR err, char* text, UINT size)
{
    return lpfnGetErrorString(err, text, size);
}

void UseOwnSequencer(void)
{
    SetSequencerCalls(SeqSendCommand, SeqGetErrorString);
}

void SetSequencerCalls(SEQSENDPROC send, SEQERRORPROC error)
{
    lpfnSendCommand = send;
    lpfnGetErrorString = error;
}

// Without a MIDI output device the platform's sequencer opens a song but never plays it.
void SelectSequencer(void)
{
    if (midiOutGetNumDevs() == 0)
        UseOwnSequencer();
}

// ---- The sinks: the MIDI mapper on the performance counter, or the synthesizer, which ----
// ---- renders the song itself on the wave output's clock (see sound/live.h) --------------

static HMIDIOUT hMidiOut;
static LONG nMidiOpens;
static LONGLONG llCounterFreq;

static void MidiOpen(void*)
{
    if (InterlockedIncrement(&nMidiOpens) != 1)
        return;
    timeBeginPeriod(1);   // waits of a millisecond or two must not round up to a 15 ms tick
    if (midiOutOpen(&hMidiOut, MIDI_MAPPER, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        hMidiOut = nullptr;
}

static void MidiClose(void*)
{
    if (InterlockedDecrement(&nMidiOpens) != 0)
        return;
    if (hMidiOut) {
        midiOutReset(hMidiOut);
        midiOutClose(hMidiOut);
        hMidiOut = nullptr;
    }
    timeEndPeriod(1);
}

static void MidiShortMsg(void*, DWORD msg)
{
    if (hMidiOut)
        midiOutShortMsg(hMidiOut, msg);
}

static void MidiSysEx(void*, BYTE status, const BYTE* data, DWORD len)
{
    if (!hMidiOut || len == 0 || len > 0x100000)
        return;
    DWORD total = status == 0xF0 ? len + 1 : len;
    BYTE* buf = (BYTE*)malloc(total);
    if (!buf)
        return;
    BYTE* p = buf;
    if (status == 0xF0)
        *p++ = 0xF0;
    memcpy(p, data, len);
    MIDIHDR hdr;
    memset(&hdr, 0, sizeof hdr);
    hdr.lpData = (LPSTR)buf;
    hdr.dwBufferLength = hdr.dwBytesRecorded = total;
    if (midiOutPrepareHeader(hMidiOut, &hdr, sizeof hdr) == MMSYSERR_NOERROR) {
        if (midiOutLongMsg(hMidiOut, &hdr, sizeof hdr) == MMSYSERR_NOERROR)
            while (!(hdr.dwFlags & MHDR_DONE))
                Sleep(1);
        midiOutUnprepareHeader(hMidiOut, &hdr, sizeof hdr);
    }
    free(buf);
}

static LONGLONG MidiNow(void*)
{
    if (!llCounterFreq) {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        llCounterFreq = f.QuadPart;
    }
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart / llCounterFreq * 1000000 + c.QuadPart % llCounterFreq * 1000000 / llCounterFreq;
}

// Sleeps while the due time is far, then yields the processor until it arrives: a sleep
// alone overshoots by up to a millisecond.
static BOOL MidiWaitUntil(void* ctx, LONGLONG t, HANDLE hAbort)
{
    for (;;) {
        LONGLONG left = t - MidiNow(ctx);
        if (left <= 0)
            return WaitForSingleObject(hAbort, 0) != WAIT_OBJECT_0;
        DWORD ms = left > 2500 ? (DWORD)((left - 1500) / 1000) : 0;
        if (WaitForSingleObject(hAbort, ms) == WAIT_OBJECT_0)
            return FALSE;
        if (ms == 0)
            SwitchToThread();
    }
}

static void SynthOpen(void*)
{
    LiveOpen();
}

static void SynthClose(void*)
{
    LiveClose();
}

static const SEQSINK MidiSink = {nullptr, MidiOpen, MidiClose, MidiShortMsg, MidiSysEx, MidiNow, MidiWaitUntil, nullptr, FALSE};
static const SEQSINK SynthSink = {nullptr, SynthOpen, SynthClose, nullptr, nullptr, nullptr, nullptr, nullptr, TRUE};
static SEQSINK Sink;
static BOOL fSinkGiven;

void SetSequencerSink(const SEQSINK* sink)
{
    fSinkGiven = sink != nullptr;
    if (sink)
        Sink = *sink;
}

const SEQSINK* DefaultSequencerSink(void)
{
    return &MidiSink;
}

// The sink of a device opened now: the one given, else the synthesizer where there is no
// MIDI output device or once the user chose a SoundFont (from then on for the run, so an
// edit's reopened device plays on where the last one played), else the MIDI mapper.
static SEQSINK ChooseSink(void)
{
    static BOOL fSynth;
    if (fSinkGiven)
        return Sink;
    fSynth = fSynth || midiOutGetNumDevs() == 0 || UserChoseSoundFont();
    return fSynth ? SynthSink : MidiSink;
}

// ---- Devices -------------------------------------------------------------------------

static BOOL RestartUnderWay(void);

enum { SEQ_STOPPED, SEQ_PLAYING, SEQ_PAUSED };

#define MAX_SEQ_DEVICES 8

struct SEQDEVICE {
    MCIDEVICEID id;          // 0 = free slot
    BYTE* pImage;            // the whole file, which the timeline points into
    TIMELINE tl;
    SEQSINK sink;            // the sink in force when the device was opened
    BOOL fLive;              // it renders the song itself: no play thread, see sound/live.h
    int nState;
    uint64_t qwPos;          // microseconds; the position while no play runs
    // The running play. The lock guards qwStartPos, llStartClock and fAbort, which the
    // play thread and the commands both touch.
    CRITICAL_SECTION lock;
    HANDLE hThread;
    HANDLE hAbort;           // set to end the play at once
    BOOL fAbort;
    BOOL fEnded;             // the song played to its end; the thread is finishing
    BOOL fNotify;
    HWND hwndNotify;
    uint64_t qwStartPos;     // microseconds of the song where the play began
    LONGLONG llStartClock;   // the clock's reading at qwStartPos
    // What the play has sent, for an edit's restart that plays on from it. The play thread
    // writes them; the commands read them once it has ended.
    DWORD iNext;             // the first event not sent
    SOUNDINGKEYS sounding;
    BOOL fKeepSound;         // the play ends for an edit's restart: its sound stays (under lock)
    BOOL fSoundKept;         // the last play ended so
    // A play taking over from an edit's restart starts at iStart on the old clock and first
    // sends pReconcile (the play thread frees it).
    BOOL fContinue;
    DWORD iStart;
    DWORD* pReconcile;
    DWORD nReconcile;
};

static SEQDEVICE Devices[MAX_SEQ_DEVICES];
static MCIDEVICEID wNextID = 1;

static SEQDEVICE* FindDevice(MCIDEVICEID id)
{
    if (id == 0)
        return nullptr;
    for (SEQDEVICE& d : Devices)
        if (d.id == id)
            return &d;
    return nullptr;
}

// A fresh identifier each open, so a reopened song never answers to a stale one.
static MCIDEVICEID NewDeviceID(void)
{
    for (;;) {
        MCIDEVICEID id = wNextID++;
        if (wNextID == 0 || wNextID > 0x7FFF)
            wNextID = 1;
        if (!FindDevice(id))
            return id;
    }
}

static uint64_t PlayingPosition(SEQDEVICE* d)
{
    if (d->fLive)
        return LivePosition();
    EnterCriticalSection(&d->lock);
    LONGLONG run = d->sink.Now(d->sink.ctx) - d->llStartClock;
    uint64_t pos = d->qwStartPos + (run > 0 ? (uint64_t)run : 0);
    LeaveCriticalSection(&d->lock);
    return pos < d->tl.qwLength ? pos : d->tl.qwLength;
}

static uint64_t CurrentPosition(SEQDEVICE* d)
{
    return d->nState == SEQ_PLAYING ? PlayingPosition(d) : d->qwPos;
}

static void SendSilenceTo(const SEQSINK* sink)
{
    if (sink->fRendersSong) {
        LiveStop();
        return;
    }
    if (sink->Silence) {
        sink->Silence(sink->ctx);
        return;
    }
    for (BYTE c = 0; c < 16; ++c) {
        sink->ShortMsg(sink->ctx, PackShortMsg((BYTE)(0xB0 | c), 123, 0));   // all notes off
        sink->ShortMsg(sink->ctx, PackShortMsg((BYTE)(0xB0 | c), 120, 0));   // all sound off
    }
}

static void SendSilence(SEQDEVICE* d)
{
    SendSilenceTo(&d->sink);
    memset(d->sounding, 0, sizeof d->sounding);
}

static void SendEvent(SEQDEVICE* d, const TLEVENT* ev)
{
    if (ev->bStatus < 0xF0) {
        DWORD msg = ShortMsgOf(ev);
        d->sink.ShortMsg(d->sink.ctx, msg);
        TrackSounding(d->sounding, msg);
    }
    else if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7) {
        d->sink.SysEx(d->sink.ctx, ev->bStatus, ev->pData, ev->cbData);
    }
}

// The program, controllers, bend, pressure and system-exclusive messages in force at the
// start, so a play from the middle sounds as it would have had it run from the beginning.
static void SendChase(SEQDEVICE* d, DWORD first)
{
    for (DWORD i = 0; i < first; ++i) {
        const TLEVENT* ev = &d->tl.pEvents[i];
        if (ev->bStatus == 0xF0 || ev->bStatus == 0xF7)
            SendEvent(d, ev);
    }
    CHASESTATE cs;
    ComputeChase(&d->tl, first, &cs);
    DWORD msgs[CHASE_MAX_MESSAGES];
    DWORD n = ChaseMessages(&cs, msgs, CHASE_MAX_MESSAGES);
    for (DWORD i = 0; i < n; ++i)
        d->sink.ShortMsg(d->sink.ctx, msgs[i]);
}

static void PostNotify(SEQDEVICE* d, WPARAM flag)
{
    if (d->fNotify && d->hwndNotify)
        PostMessageA(d->hwndNotify, MM_MCINOTIFY, flag, (LPARAM)d->id);
}

static DWORD WINAPI PlayThread(LPVOID param)
{
    SEQDEVICE* d = (SEQDEVICE*)param;
    uint64_t start = d->qwStartPos;
    DWORD i;
    LONGLONG origin;
    if (d->fContinue) {
        // An edit's restart: the song's clock runs on, and only what the edit changed goes out.
        i = d->iStart;
        for (DWORD k = 0; k < d->nReconcile; ++k)
            d->sink.ShortMsg(d->sink.ctx, d->pReconcile[k]);
        free(d->pReconcile);
        d->pReconcile = nullptr;
        EnterCriticalSection(&d->lock);
        origin = d->llStartClock;
        LeaveCriticalSection(&d->lock);
    } else {
        i = FindEventAt(&d->tl, start);
        memset(d->sounding, 0, sizeof d->sounding);
        if (start > 0)
            SendChase(d, i);
        // The song's clock starts once the chase is out.
        EnterCriticalSection(&d->lock);
        origin = d->llStartClock = d->sink.Now(d->sink.ctx);
        LeaveCriticalSection(&d->lock);
    }

    BOOL fRan = TRUE;
    for (; i < d->tl.nEvents; ++i) {
        const TLEVENT* ev = &d->tl.pEvents[i];
        if (ev->bStatus == 0xFF)
            continue;
        if (!d->sink.WaitUntil(d->sink.ctx, origin + (LONGLONG)(ev->qwTime - start), d->hAbort)) {
            fRan = FALSE;
            break;
        }
        SendEvent(d, ev);
    }
    if (fRan && d->tl.qwLength > start)
        fRan = d->sink.WaitUntil(d->sink.ctx, origin + (LONGLONG)(d->tl.qwLength - start), d->hAbort);

    // A command that asked to end the play before the song ended gets the abort, even when
    // the last wait ran out at the same moment.
    EnterCriticalSection(&d->lock);
    BOOL fAborted = !fRan || d->fAbort;
    d->fEnded = !fAborted;
    BOOL fKeepSound = fAborted && d->fKeepSound;
    d->iNext = i;
    LeaveCriticalSection(&d->lock);
    if (fAborted) {
        if (!fKeepSound)
            SendSilence(d);
        PostNotify(d, MCI_NOTIFY_ABORTED);
    } else {
        PostNotify(d, MCI_NOTIFY_SUCCESSFUL);
    }
    return 0;
}

// Ends the running play, if any, keeping its position; the play thread silences the output
// and posts the abort notice before it ends. The device is then stopped.
static void EndPlay(SEQDEVICE* d)
{
    if (d->fLive) {
        if (d->nState == SEQ_PLAYING) {
            d->qwPos = PlayingPosition(d);
            d->fSoundKept = RestartUnderWay();
            if (!d->fSoundKept)
                LiveStop();
            PostNotify(d, MCI_NOTIFY_ABORTED);
        }
        d->nState = SEQ_STOPPED;
        return;
    }
    if (!d->hThread) {
        d->nState = SEQ_STOPPED;
        return;
    }
    uint64_t pos = PlayingPosition(d);
    EnterCriticalSection(&d->lock);
    d->fAbort = TRUE;
    d->fKeepSound = RestartUnderWay();
    SetEvent(d->hAbort);
    LeaveCriticalSection(&d->lock);
    WaitForSingleObject(d->hThread, INFINITE);
    CloseHandle(d->hThread);
    d->hThread = nullptr;
    d->fSoundKept = d->fKeepSound;
    d->fKeepSound = FALSE;
    d->qwPos = pos;
    d->nState = SEQ_STOPPED;
}

// A play whose song ended leaves the device playing until the next command looks; from the
// moment the end is known (before the notice is posted) the device counts as stopped.
static void ReapFinishedPlay(SEQDEVICE* d)
{
    if (d->fLive && d->nState == SEQ_PLAYING && LiveEndHeard()) {
        d->nState = SEQ_STOPPED;
        d->qwPos = d->tl.qwLength;
        return;
    }
    if (!d->hThread)
        return;
    EnterCriticalSection(&d->lock);
    BOOL fEnded = d->fEnded;
    LeaveCriticalSection(&d->lock);
    if (fEnded) {
        WaitForSingleObject(d->hThread, INFINITE);
        CloseHandle(d->hThread);
        d->hThread = nullptr;
        d->nState = SEQ_STOPPED;
        d->qwPos = d->tl.qwLength;
    }
}

// ---- Edits while playing ------------------------------------------------------------
//
// An edit restarts a running play: stop, close, rewrite the copy, reopen, play from the
// position. Done plainly that silences every note and sends the whole chase again; a
// listener hears each edit as a gap. Between SequencerKeepSoundOnRestart and
// SequencerEndRestart the stop leaves the sound alone and the close hands the output, still
// open, to the carry below with the copy that was playing; the next play, if it goes on from
// the same place in the same song, takes it over: same clock, next unsent event, and only the
// difference the edit made is sent.

static struct {
    BOOL fArmed;             // a restart is under way
    BOOL fHeld;              // a stopped play's output is held open
    SEQSINK sink;
    BYTE* pImage;            // the copy that was playing, and its timeline
    TIMELINE tl;
    uint64_t qwStartPos;     // its clock: song position qwStartPos at reading llStartClock
    LONGLONG llStartClock;
    uint64_t qwPos;          // where it stopped
    DWORD iNext;
    SOUNDINGKEYS sounding;
} Carry;

// The position a restart asks for is the stop's, rounded down to the program's unit of an
// eighth of a second: anything up to a quarter second before the stop is the same place.
#define RESTART_SLACK_US 250000

static BOOL RestartUnderWay(void)
{
    return Carry.fArmed;
}

static void ReleaseCarry(BOOL fSilence)
{
    if (!Carry.fHeld)
        return;
    if (fSilence)
        SendSilenceTo(&Carry.sink);
    Carry.sink.Close(Carry.sink.ctx);
    FreeTimeline(&Carry.tl);
    free(Carry.pImage);
    Carry.pImage = nullptr;
    Carry.fHeld = FALSE;
}

static void HoldSound(SEQDEVICE* d)
{
    ReleaseCarry(TRUE);
    Carry.fHeld = TRUE;
    Carry.sink = d->sink;
    Carry.pImage = d->pImage;
    Carry.tl = d->tl;
    Carry.qwStartPos = d->qwStartPos;
    Carry.llStartClock = d->llStartClock;
    Carry.qwPos = d->qwPos;
    Carry.iNext = d->iNext;
    memcpy(Carry.sounding, d->sounding, sizeof Carry.sounding);
}

static BOOL SameSink(const SEQSINK* a, const SEQSINK* b)
{
    return a->ctx == b->ctx && a->Open == b->Open && a->Close == b->Close && a->ShortMsg == b->ShortMsg &&
           a->SysEx == b->SysEx && a->Now == b->Now && a->WaitUntil == b->WaitUntil && a->Silence == b->Silence &&
           a->fRendersSong == b->fRendersSong;
}

static BOOL ContinuesCarry(const SEQDEVICE* d, uint64_t from)
{
    if (!SameSink(&Carry.sink, &d->sink) || Carry.tl.nEvents != d->tl.nEvents || Carry.tl.qwLength != d->tl.qwLength)
        return FALSE;
    if (Carry.iNext < d->tl.nEvents && Carry.tl.pEvents[Carry.iNext].qwTime != d->tl.pEvents[Carry.iNext].qwTime)
        return FALSE;
    return from <= Carry.qwPos && from + RESTART_SLACK_US >= Carry.qwPos;
}

// A play about to start on d takes over the held output when it goes on from where that
// stopped; else the held output is silenced and let go. TRUE when taken over: the device then
// runs on the old clock from the first unsent event, after the reconciling messages.
static BOOL TakeOverSound(SEQDEVICE* d, uint64_t from)
{
    d->fContinue = FALSE;
    if (!Carry.fHeld)
        return FALSE;
    if (d->fLive) {
        // The audio thread reconciles at the frame it stands at, reading the old copy once.
        if (!ContinuesCarry(d, from)) {
            ReleaseCarry(TRUE);
            return FALSE;
        }
        LiveContinue(&d->tl, from, d->hwndNotify, d->id);
        ReleaseCarry(FALSE);
        return TRUE;
    }
    DWORD* msgs = ContinuesCarry(d, from) ? (DWORD*)malloc(RECONCILE_MAX_MESSAGES * sizeof(DWORD)) : nullptr;
    if (!msgs) {
        ReleaseCarry(TRUE);
        return FALSE;
    }
    memcpy(d->sounding, Carry.sounding, sizeof d->sounding);
    d->nReconcile = ReconcileMessages(&Carry.tl, &d->tl, Carry.iNext, d->sounding, msgs, RECONCILE_MAX_MESSAGES);
    d->pReconcile = msgs;
    d->iStart = Carry.iNext;
    d->qwStartPos = Carry.qwStartPos;
    d->llStartClock = Carry.llStartClock;
    d->fContinue = TRUE;
    ReleaseCarry(FALSE);
    return TRUE;
}

void SequencerKeepSoundOnRestart(void)
{
    Carry.fArmed = TRUE;
}

void SequencerEndRestart(void)
{
    Carry.fArmed = FALSE;
    ReleaseCarry(TRUE);
}

// ---- Commands ------------------------------------------------------------------------

static MCIERROR ReadWholeFile(const char* path, BYTE** pImage, DWORD* pSize)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME ? SEQERR_FILE_NOT_FOUND : SEQERR_READ_FAILED;
    }
    MCIERROR err = 0;
    LARGE_INTEGER size;
    BYTE* image = nullptr;
    DWORD got = 0;
    if (!GetFileSizeEx(h, &size))
        err = SEQERR_READ_FAILED;
    else if (size.QuadPart == 0)
        err = SEQERR_EMPTY_FILE;
    else if (size.QuadPart > 0x10000000)   // no song is 256 MB; refuse before allocating
        err = SEQERR_NO_MEMORY;
    else if (!(image = (BYTE*)malloc((size_t)size.QuadPart)))
        err = SEQERR_NO_MEMORY;
    else if (!ReadFile(h, image, (DWORD)size.QuadPart, &got, nullptr) || got != (DWORD)size.QuadPart)
        err = SEQERR_READ_FAILED;
    CloseHandle(h);
    if (err) {
        free(image);
        return err;
    }
    *pImage = image;
    *pSize = got;
    return 0;
}

static MCIERROR SeqOpen(DWORD_PTR flags, MCI_OPEN_PARMSA* p)
{
    if (!p)
        return SEQERR_BAD_FLAG;
    if (flags & (MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT_ID))
        return SEQERR_BAD_FLAG;
    if ((flags & MCI_OPEN_TYPE) && (!p->lpstrDeviceType || lstrcmpiA(p->lpstrDeviceType, "sequencer") != 0))
        return SEQERR_DEVICE_TYPE;
    if (!(flags & MCI_OPEN_ELEMENT) || !p->lpstrElementName || !p->lpstrElementName[0])
        return SEQERR_NO_ELEMENT;

    SEQDEVICE* d = nullptr;
    for (SEQDEVICE& slot : Devices)
        if (slot.id == 0) {
            d = &slot;
            break;
        }
    if (!d)
        return SEQERR_TOO_MANY;

    BYTE* image = nullptr;
    DWORD size = 0;
    MCIERROR err = ReadWholeFile(p->lpstrElementName, &image, &size);
    if (err)
        return err;
    TIMELINE tl;
    int built = BuildTimeline(image, size, &tl);
    if (built != TL_OK) {
        free(image);
        return built == TL_NOMEMORY ? SEQERR_NO_MEMORY : SEQERR_NOT_MIDI;
    }
    HANDLE hAbort = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!hAbort) {
        FreeTimeline(&tl);
        free(image);
        return SEQERR_NO_MEMORY;
    }
    memset(d, 0, sizeof *d);
    InitializeCriticalSection(&d->lock);
    d->pImage = image;
    d->tl = tl;
    d->sink = ChooseSink();
    d->fLive = d->sink.fRendersSong;
    d->hAbort = hAbort;
    d->nState = SEQ_STOPPED;
    d->id = NewDeviceID();
    d->sink.Open(d->sink.ctx);
    p->wDeviceID = d->id;
    return 0;
}

static MCIERROR SeqClose(SEQDEVICE* d)
{
    EndPlay(d);
    if (RestartUnderWay() && d->fSoundKept) {
        HoldSound(d);
    } else {
        d->sink.Close(d->sink.ctx);
        FreeTimeline(&d->tl);
        free(d->pImage);
    }
    CloseHandle(d->hAbort);
    DeleteCriticalSection(&d->lock);
    memset(d, 0, sizeof *d);
    return 0;
}

static MCIERROR SeqStatus(SEQDEVICE* d, DWORD_PTR flags, MCI_STATUS_PARMS* p)
{
    if (!p || !(flags & MCI_STATUS_ITEM))
        return SEQERR_BAD_FLAG;
    switch (p->dwItem) {
    case MCI_STATUS_LENGTH:        p->dwReturn = (DWORD_PTR)(d->tl.qwLength / 1000); return 0;
    case MCI_STATUS_POSITION:      p->dwReturn = (DWORD_PTR)(CurrentPosition(d) / 1000); return 0;
    case MCI_STATUS_TIME_FORMAT:   p->dwReturn = MCI_FORMAT_MILLISECONDS; return 0;
    case MCI_STATUS_READY:
    case MCI_STATUS_MEDIA_PRESENT: p->dwReturn = TRUE; return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS: p->dwReturn = 1; return 0;
    case MCI_STATUS_MODE:
        p->dwReturn = d->nState == SEQ_PLAYING ? MCI_MODE_PLAY : d->nState == SEQ_PAUSED ? MCI_MODE_PAUSE : MCI_MODE_STOP;
        return 0;
    }
    return SEQERR_BAD_ITEM;
}

// The device counts milliseconds only; the player asks for nothing else.
static MCIERROR SeqSet(DWORD_PTR flags, MCI_SET_PARMS* p)
{
    if (flags & ~(DWORD_PTR)(MCI_SET_TIME_FORMAT | MCI_WAIT | MCI_NOTIFY))
        return SEQERR_BAD_FLAG;
    if (!(flags & MCI_SET_TIME_FORMAT))
        return 0;
    if (!p || p->dwTimeFormat != MCI_FORMAT_MILLISECONDS)
        return SEQERR_TIME_FORMAT;
    return 0;
}

static MCIERROR SeqPlay(SEQDEVICE* d, DWORD_PTR flags, MCI_PLAY_PARMS* p)
{
    if (flags & MCI_TO)
        return SEQERR_BAD_FLAG;
    if ((flags & (MCI_FROM | MCI_NOTIFY)) && !p)
        return SEQERR_BAD_FLAG;
    uint64_t from = (flags & MCI_FROM) ? (uint64_t)p->dwFrom * 1000 : CurrentPosition(d);
    if (from > d->tl.qwLength)
        from = d->tl.qwLength;   // beyond the end: the play ends at once, successfully
    EndPlay(d);

    d->fAbort = FALSE;
    d->fEnded = FALSE;
    d->fSoundKept = FALSE;
    ResetEvent(d->hAbort);
    d->fNotify = (flags & MCI_NOTIFY) != 0;
    d->hwndNotify = d->fNotify ? (HWND)p->dwCallback : nullptr;
    d->qwPos = from;
    if (d->fLive) {
        if (!TakeOverSound(d, from))
            LivePlay(&d->tl, from, d->hwndNotify, d->id);
        d->nState = SEQ_PLAYING;
        while ((flags & MCI_WAIT) && d->nState == SEQ_PLAYING) {
            Sleep(5);
            ReapFinishedPlay(d);
        }
        return 0;
    }
    if (!TakeOverSound(d, from)) {
        d->qwStartPos = from;
        d->llStartClock = d->sink.Now(d->sink.ctx);
    }
    d->hThread = CreateThread(nullptr, 0, PlayThread, d, 0, nullptr);
    if (!d->hThread) {
        free(d->pReconcile);
        d->pReconcile = nullptr;
        SendSilence(d);
        return SEQERR_NO_THREAD;
    }
    SetThreadPriority(d->hThread, THREAD_PRIORITY_TIME_CRITICAL);
    d->nState = SEQ_PLAYING;
    if (flags & MCI_WAIT) {
        WaitForSingleObject(d->hThread, INFINITE);
        ReapFinishedPlay(d);
    }
    return 0;
}

MCIERROR SeqSendCommand(MCIDEVICEID id, UINT msg, DWORD_PTR flags, DWORD_PTR param)
{
    if (msg == MCI_OPEN)
        return SeqOpen(flags, (MCI_OPEN_PARMSA*)param);
    SEQDEVICE* d = FindDevice(id);
    if (!d)
        return SEQERR_INVALID_DEVICE;
    ReapFinishedPlay(d);
    switch (msg) {
    case MCI_CLOSE:
        return SeqClose(d);
    case MCI_STATUS:
        return SeqStatus(d, flags, (MCI_STATUS_PARMS*)param);
    case MCI_SET:
        return SeqSet(flags, (MCI_SET_PARMS*)param);
    case MCI_PLAY:
        return SeqPlay(d, flags, (MCI_PLAY_PARMS*)param);
    case MCI_STOP:
        EndPlay(d);
        return 0;
    case MCI_PAUSE:
        if (d->nState == SEQ_PLAYING) {
            EndPlay(d);
            d->nState = SEQ_PAUSED;
        }
        return 0;
    }
    return SEQERR_UNSUPPORTED;
}

// ---- Error texts ---------------------------------------------------------------------

static const char* const SeqErrorTexts[] = {
    "The song file cannot be found.",
    "The song file is empty.",
    "The song file cannot be read.",
    "The file is not a Standard MIDI File.",
    "There is not enough memory to play the song.",
    "The sequencer device is not open.",
    "Too many sequencer devices are open.",
    "The device type is not a sequencer.",
    "No song file was given to open.",
    "The sequencer does not carry out this command.",
    "The sequencer does not accept these flags.",
    "The sequencer does not report this item.",
    "The sequencer counts in milliseconds only.",
    "The sequencer cannot start its playing thread.",
};
static_assert(sizeof SeqErrorTexts / sizeof SeqErrorTexts[0] == SEQERR_LAST - SEQERR_BASE + 1, "one text per code");

BOOL SeqGetErrorString(MCIERROR err, char* text, UINT size)
{
    const char* own = nullptr;
    if (err >= SEQERR_BASE && err <= SEQERR_LAST)
        own = SeqErrorTexts[err - SEQERR_BASE];
    else if (err == 0)
        own = "The specified command was carried out.";   // as the platform says on Windows
    if (!own)
        return mciGetErrorStringA(err, text, size);
    if (!text || size == 0)
        return FALSE;
    lstrcpynA(text, own, (int)size);
    return TRUE;
}
