// Measures the live sound path (a Windows console program; runs under Wine with a sound
// server): plays a song on the own sequencer through the synthesizer and the wave output,
// and prints
//   1. the audio queued ahead of what is heard (frames written against waveOutGetPosition),
//      sampled every 5 ms: minimum, mean, maximum; and the gaps: how often the wave output
//      ran out of sound;
//   2. the process's CPU time over the play, as a share of one core;
//   3. how long Stop takes; 2 s of silence follow it, for a recording to show where the
//      sound ended.
// Usage: bench_audio_win song.mid [seconds] [soundfont.sf2]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "mmio/sequencer.h"
#include "sound/live.h"
#include "sound/soundfonts.h"

static double FileTimeSeconds(const FILETIME& f)
{
    ULARGE_INTEGER u;
    u.LowPart = f.dwLowDateTime;
    u.HighPart = f.dwHighDateTime;
    return u.QuadPart / 1e7;
}

static double CpuSeconds(void)
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

// Seconds since 1970 on the system clock, to place events on a recording's time line.
static double UnixSeconds(void)
{
    FILETIME f;
    GetSystemTimeAsFileTime(&f);
    return FileTimeSeconds(f) - 11644473600.0;
}

static double WallSeconds(void)
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return (double)c.QuadPart / (double)f.QuadPart;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_audio_win song.mid [seconds] [soundfont.sf2]\n");
        return 2;
    }
    const double seconds = argc > 2 ? atof(argv[2]) : 10.0;
    if (argc > 3) {
        char message[320];
        if (ChooseSoundFont(argv[3], message, sizeof message) != 0) {
            fprintf(stderr, "%s\n", message);
            return 1;
        }
    }
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = "sequencer";
    open.lpstrElementName = argv[1];
    if (SeqSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, (DWORD_PTR)&open) != 0) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    MCI_PLAY_PARMS play = {};
    printf("play at unix %.3f\n", UnixSeconds());
    SeqSendCommand(open.wDeviceID, MCI_PLAY, 0, (DWORD_PTR)&play);

    // The font's load and the start of the play come first.
    LIVESTATS st;
    const double start = WallSeconds();
    while (LivePosition() == 0 && WallSeconds() - start < 10)
        Sleep(1);
    LiveGetStats(&st);
    printf("position moved %.0f ms after play (%u wave devices; %d buffers of %d frames)\n",
           (WallSeconds() - start) * 1000, waveOutGetNumDevs(), st.buffers, st.bufferFrames);
    Sleep(500);
    LiveGetStats(&st);
    const LONGLONG gaps0 = st.gaps;
    if (!st.fWaveOutput) {
        printf("no wave output or no SoundFont: nothing to measure\n");
        SeqSendCommand(open.wDeviceID, MCI_CLOSE, 0, 0);
        return 1;
    }
    const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
    double minMs = 1e9, maxMs = 0, sumMs = 0;
    int samples = 0;
    while (WallSeconds() - wall0 < seconds) {
        LiveGetStats(&st);
        const double ms = (st.writtenFrames - st.heardFrames) * 1000.0 / 44100.0;
        minMs = ms < minMs ? ms : minMs;
        maxMs = ms > maxMs ? ms : maxMs;
        sumMs += ms;
        ++samples;
        Sleep(5);
    }
    const double cpu = CpuSeconds() - cpu0, wall = WallSeconds() - wall0;
    LiveGetStats(&st);
    const int heldBuffers = st.buffers;

    printf("stop at unix %.3f\n", UnixSeconds());
    const double stop0 = WallSeconds();
    SeqSendCommand(open.wDeviceID, MCI_STOP, MCI_WAIT, 0);
    const double stopReturned = WallSeconds() - stop0;
    // Silence from here on: the recording of a sound server shows where it began.
    Sleep(2000);
    LiveGetStats(&st);
    printf("queued ms: min %.1f mean %.1f max %.1f (%d samples, written minus heard)\n", minMs, sumMs / samples,
           maxMs, samples);
    printf("gaps: the wave output ran dry %lld times in %.1f s (the whole play: %lld); %d buffers held at the end\n",
           (long long)(st.gaps - gaps0), wall, (long long)st.gaps, heldBuffers);
    printf("cpu: %.1f%% of one core over %.1f s of play\n", 100.0 * cpu / wall, wall);
    printf("stop: returned after %.1f ms, then 2 s of silence before the close\n", stopReturned * 1000);
    SeqSendCommand(open.wDeviceID, MCI_CLOSE, 0, 0);
    return 0;
}
