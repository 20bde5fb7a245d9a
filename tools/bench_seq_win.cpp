// Benchmark of the program's own sequencer (a Windows console program; runs under Wine):
//   1. timing error of event output: how late each event leaves against its due time;
//   2. the time from a track change during playback (a volume edit, then mcimidiChange) to
//      the message that carries it (the stop, the rewrite of the playback copy, the reopen and
//      the start of the new play thread all lie in between), how late the song's own events
//      are sent while edits restart the play, and how many messages would have cut sounding
//      notes (all sound off / all notes off) across the edits.
// Usage: bench_seq_win [song.mid]   (the change is timed on the song given, or on a
// generated 64-track song of about 2 MB, and on a small generated song)
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "mmio/sequencer.h"
#include "tests/smfbuild.h"

namespace {

// Wraps the default sink (real clock, silent output here) and measures.
struct Probe {
    CRITICAL_SECTION lock;
    const SEQSINK* real = DefaultSequencerSink();
    bool pendingDue = false;
    LONGLONG due = 0;
    std::vector<LONGLONG> lateness;      // microseconds past the due time, per event
    bool armed = false;                  // timing an edit: waiting for its message
    LONGLONG firstMessage = 0;
    int cuts = 0;                        // all sound off or all notes off sent

    Probe() { InitializeCriticalSection(&lock); }
    LONGLONG Now() { return real->Now(real->ctx); }
};

Probe probe;

void ProbeOpen(void*)
{
    probe.real->Open(probe.real->ctx);
}

void ProbeClose(void*) { probe.real->Close(probe.real->ctx); }

void Seen()
{
    LONGLONG t = probe.Now();
    EnterCriticalSection(&probe.lock);
    if (probe.pendingDue) {
        probe.lateness.push_back(t - probe.due);
        probe.pendingDue = false;
    }
    LeaveCriticalSection(&probe.lock);
}

void ProbeShort(void*, DWORD msg)
{
    Seen();
    BYTE c = (BYTE)(msg >> 8);
    if ((msg & 0xF0) == 0xB0) {
        LONGLONG t = probe.Now();
        EnterCriticalSection(&probe.lock);
        if (c == 120 || c == 123)
            ++probe.cuts;
        if (c == 7 && probe.armed && !probe.firstMessage)
            probe.firstMessage = t;
        LeaveCriticalSection(&probe.lock);
    }
    probe.real->ShortMsg(probe.real->ctx, msg);
}

void ProbeSysEx(void*, BYTE status, const BYTE* data, DWORD len)
{
    Seen();
    probe.real->SysEx(probe.real->ctx, status, data, len);
}

LONGLONG ProbeNow(void*) { return probe.Now(); }

BOOL ProbeWait(void*, LONGLONG t, HANDLE hAbort)
{
    BOOL ran = probe.real->WaitUntil(probe.real->ctx, t, hAbort);
    if (ran) {
        EnterCriticalSection(&probe.lock);
        probe.due = t;
        probe.pendingDue = true;
        LeaveCriticalSection(&probe.lock);
    }
    return ran;
}

void ProbeSilence(void*)
{
    if (probe.real->Silence)
        probe.real->Silence(probe.real->ctx);
    else
        for (BYTE c = 0; c < 16; ++c) {
            ProbeShort(nullptr, (DWORD)(0xB0 | c) | 123u << 8);
            ProbeShort(nullptr, (DWORD)(0xB0 | c) | 120u << 8);
        }
}

const SEQSINK ProbeSink = {nullptr, ProbeOpen, ProbeClose, ProbeShort, ProbeSysEx, ProbeNow, ProbeWait, ProbeSilence, FALSE};

// tracks tracks of sixteenth notes (120 ticks at 480 a quarter) with controller moves, and
// tempo changes every bar between 100 and 140 beats a minute.
smf::Bytes MakeSong(int tracks, int bars)
{
    smf::File f(1, 480);
    smf::Track tempo;
    for (int b = 0; b < bars; ++b)
        tempo.Tempo(b == 0 ? 0 : 1920, 60000000 / (100 + (b * 7) % 41));
    f.Add(tempo.End());
    for (int k = 0; k < tracks; ++k) {
        int ch = k % 16;
        smf::Track t;
        t.Program(0, ch, k % 128).Volume(0, ch, 100).Pan(0, ch, 64);
        for (int s = 0; s < bars * 16; ++s) {
            int key = 36 + (k * 5 + s * 3) % 48;
            t.NoteOn(s == 0 ? 0 : 60, ch, key, 80).NoteOff(60, ch, key, 0);
            if (s % 8 == 0)
                t.Controller(0, ch, 11, 60 + s % 60);
        }
        f.Add(t.End());
    }
    return f.Bytes();
}

std::string TempPath()
{
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "sqb", 0, name);
    return name;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = (size_t)(p * (double)(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

void TimeEvents()
{
    smf::Bytes song = MakeSong(8, 5);   // about 10 s, 1300 events
    std::string path = TempPath();
    settmp(path.c_str(), song.data(), (DWORD)song.size());
    SetSequencerSink(&ProbeSink);
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = path.c_str();
    if (SeqSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT | MCI_WAIT, (DWORD_PTR)&open)) {
        printf("open failed\n");
        return;
    }
    MCI_STATUS_PARMS length = {};
    length.dwItem = MCI_STATUS_LENGTH;
    SeqSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, (DWORD_PTR)&length);
    MCI_PLAY_PARMS play = {};
    SeqSendCommand(open.wDeviceID, MCI_PLAY, MCI_FROM | MCI_WAIT, (DWORD_PTR)&play);
    SeqSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, 0);
    DeleteFileA(path.c_str());

    std::vector<double> late(probe.lateness.begin(), probe.lateness.end());
    double worst = late.empty() ? 0 : *std::max_element(late.begin(), late.end());
    printf("event timing: %zu events over %.1f s: lateness median %.0f us, 99th percentile %.0f us, max %.0f us\n", late.size(),
           (double)length.dwReturn / 1000, Percentile(late, 0.5), Percentile(late, 0.99), worst);
}

void TimeChanges(const char* label, const smf::Bytes& song, int changes)
{
    std::string path = TempPath();
    std::vector<BYTE> image(song.begin(), song.end());
    settmp(path.c_str(), image.data(), (DWORD)image.size());
    char name[MAX_PATH];
    lstrcpynA(name, path.c_str(), sizeof name);
    sTmpName = name;
    pFileBuf = image.data();
    dwFileBufSize = (DWORD)image.size();
    hWndMain = nullptr;   // nobody to notify
    fFileLoaded = 1;
    fMidiChange = 0;
    dwPlayPos = 0;
    // The edit: the last volume setting of the song (the last track of a shared channel is
    // the one heard), moved between two values.
    static const BYTE volume[] = {0xB0, 7};
    auto at = std::find_end(image.begin(), image.end(), volume, volume + 2);
    BYTE* value = at != image.end() && at + 2 < image.end() ? &*(at + 2) : nullptr;
    wOutDeviceID = mcimidiOpen(sTmpName);
    mcimidiPlay(hWndMain, wOutDeviceID);
    nMode = MODE_PLAY;
    EnterCriticalSection(&probe.lock);
    probe.lateness.clear();
    probe.cuts = 0;
    LeaveCriticalSection(&probe.lock);

    std::vector<double> toMessage;
    for (int i = 0; i < changes; ++i) {
        Sleep(300);
        if (value)
            *value = *value == 100 ? 90 : 100;
        EnterCriticalSection(&probe.lock);
        probe.armed = true;
        probe.firstMessage = 0;
        LeaveCriticalSection(&probe.lock);
        LONGLONG start = probe.Now();
        mcimidiChange();
        for (int wait = 0; wait < 2000; ++wait) {
            EnterCriticalSection(&probe.lock);
            bool done = probe.firstMessage != 0;
            LeaveCriticalSection(&probe.lock);
            if (done)
                break;
            Sleep(1);
        }
        EnterCriticalSection(&probe.lock);
        probe.armed = false;
        if (probe.firstMessage)
            toMessage.push_back((double)(probe.firstMessage - start));
        LeaveCriticalSection(&probe.lock);
    }
    EnterCriticalSection(&probe.lock);
    std::vector<double> late(probe.lateness.begin(), probe.lateness.end());
    int cuts = probe.cuts;
    LeaveCriticalSection(&probe.lock);
    mcimidiStop(wOutDeviceID);
    mcimidiClose(wOutDeviceID);
    wOutDeviceID = 0;
    nMode = MODE_STOP;
    DeleteFileA(path.c_str());
    printf("edit to its message, %s (%zu bytes), %zu of %d edits timed: median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n",
           label, song.size(), toMessage.size(), changes, Percentile(toMessage, 0.5) / 1000, Percentile(toMessage, 0.99) / 1000,
           Percentile(toMessage, 1.0) / 1000);
    printf("  song events while editing: %zu, lateness 99th percentile %.2f ms, max %.2f ms; notes cut by the edits: %d messages\n",
           late.size(), Percentile(late, 0.99) / 1000, Percentile(late, 1.0) / 1000, cuts);
}

smf::Bytes ReadFileBytes(const char* path)
{
    smf::Bytes out;
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    out.resize(GetFileSize(h, nullptr));
    DWORD n = 0;
    if (!out.empty() && !ReadFile(h, out.data(), (DWORD)out.size(), &n, nullptr))
        n = 0;
    out.resize(n);
    CloseHandle(h);
    return out;
}

}  // namespace

int PrintReport(HWND, const char* text, const char* caption, UINT)
{
    fprintf(stderr, "%s: %s\n", caption ? caption : "Error", text);
    return IDOK;
}

int main(int argc, char** argv)
{
    SetReportProc(PrintReport);
    UseOwnSequencer();
    TimeEvents();
    SetSequencerSink(&ProbeSink);
    TimeChanges("small song", MakeSong(4, 40), 20);
    if (argc > 1) {
        smf::Bytes given = ReadFileBytes(argv[1]);
        if (given.empty()) {
            fprintf(stderr, "cannot read %s\n", argv[1]);
            return 1;
        }
        TimeChanges(argv[1], given, 20);
    } else {
        TimeChanges("64-track song", MakeSong(64, 200), 10);
    }
    SetSequencerSink(nullptr);
    return 0;
}
