// Benchmark of the synthesizer: SoundFont load time, and render speed in times real time on
// one core, on the demo and on a generated dense orchestral song, beside Debian's
// FluidSynth rendering the same songs with the same SoundFont in the same run (4th-order
// interpolation, reverb and chorus off on both, 256 voices).
//
//   bench_synth [--soundfont SF2] [--song MID]... [--wav-dir DIR] [--no-fluidsynth] [--repeat N]
//
// Each song renders N times (default 3) on each synthesizer, turn about, and the fastest
// of each counts: on a machine shared with other work that is the closest to an idle one.
//
// Build it optimised and without sanitizers:
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPLAYER_TESTS=OFF
//   cmake --build build/release --target bench_synth && build/release/bench_synth
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <sys/times.h>
#include <unistd.h>

#include "mmio/timeline.h"
#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

typedef std::vector<uint8_t> Bytes;

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ReadFile(const std::string& path, Bytes* out)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    fclose(f);
    return true;
}

// ---- A dense orchestral song ---------------------------------------------------------------

void PutVlq(Bytes& b, uint32_t v)
{
    uint8_t tmp[5];
    int n = 0;
    tmp[n++] = (uint8_t)(v & 0x7F);
    while (v >>= 7)
        tmp[n++] = (uint8_t)(0x80 | (v & 0x7F));
    while (n > 0)
        b.push_back(tmp[--n]);
}

void PutBE(Bytes& b, uint32_t v, int n)
{
    for (int i = n - 1; i >= 0; --i)
        b.push_back((uint8_t)(v >> (8 * i)));
}

struct TimedEvent {
    uint32_t tick;
    uint8_t bytes[3];
    int size;
};

// Sixteen channels of strings, brass, winds, choir, pads, piano, harp, bass and drums,
// holding overlapping chords with long releases: 150-250 voices sound at once on a GM font.
Bytes DenseSong(int seconds)
{
    const int ppq = 480, tempoUs = 500000;   // 120 bpm: a beat is half a second
    static const int programs[16] = {48, 49, 44, 45, 60, 61, 57, 73, 71, 52, 89, 0, 46, 32, 95, 0};
    std::vector<TimedEvent> ev;
    for (int c = 0; c < 16; ++c) {
        ev.push_back({0, {(uint8_t)(0xC0 | c), (uint8_t)programs[c], 0}, 2});
        ev.push_back({0, {(uint8_t)(0xB0 | c), 7, 100}, 3});
        ev.push_back({0, {(uint8_t)(0xB0 | c), 10, (uint8_t)(16 + c * 6)}, 3});
    }
    static const int chords[4][4] = {{0, 4, 7, 11}, {-3, 0, 4, 7}, {-7, -3, 0, 5}, {-5, -1, 2, 7}};
    unsigned rng = 12345;
    int beats = seconds * 2;
    for (int beat = 0; beat < beats; ++beat) {
        const int* chord = chords[(beat / 4) % 4];
        uint32_t t = (uint32_t)(beat * ppq);
        for (int c = 0; c < 16; ++c) {
            if (c == 9) {
                static const int kit[4] = {36, 42, 38, 42};
                for (int k = 0; k < 2; ++k) {
                    int key = kit[(beat * 2 + k) % 4];
                    uint32_t at = t + (uint32_t)(k * ppq / 2);
                    ev.push_back({at, {0x99, (uint8_t)key, 100}, 3});
                    ev.push_back({at + ppq / 4, {0x89, (uint8_t)key, 0}, 3});
                }
                continue;
            }
            // Sustained sections change chord every second beat; the rest play every beat.
            bool sustained = c < 6 || c == 9 + 1 || c == 14;
            if (sustained && beat % 2 != 0)
                continue;
            int octave = c == 13 ? 36 : (c < 4 ? 60 : 48 + (c % 3) * 12);
            int notes = c == 13 ? 1 : 3;
            uint32_t length = (uint32_t)(sustained ? 2 * ppq + ppq / 2 : ppq + ppq / 4);
            for (int n = 0; n < notes; ++n) {
                rng = rng * 1103515245u + 12345u;
                int key = octave + chord[(n + c) % 4];
                int velocity = 70 + (int)((rng >> 16) % 40);
                ev.push_back({t, {(uint8_t)(0x90 | c), (uint8_t)key, (uint8_t)velocity}, 3});
                ev.push_back({t + length, {(uint8_t)(0x80 | c), (uint8_t)key, 0}, 3});
            }
        }
    }
    std::stable_sort(ev.begin(), ev.end(), [](const TimedEvent& a, const TimedEvent& b) { return a.tick < b.tick; });
    Bytes track;
    PutVlq(track, 0);
    track.insert(track.end(), {0xFF, 0x51, 0x03});
    PutBE(track, tempoUs, 3);
    uint32_t last = 0;
    for (const TimedEvent& e : ev) {
        PutVlq(track, e.tick - last);
        last = e.tick;
        track.insert(track.end(), e.bytes, e.bytes + e.size);
    }
    PutVlq(track, (uint32_t)ppq * 2);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    Bytes file = {'M', 'T', 'h', 'd'};
    PutBE(file, 6, 4);
    PutBE(file, 0, 2);
    PutBE(file, 1, 2);
    PutBE(file, ppq, 2);
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    PutBE(file, (uint32_t)track.size(), 4);
    file.insert(file.end(), track.begin(), track.end());
    return file;
}

// ---- Our synthesizer ------------------------------------------------------------------------

struct RenderResult {
    double songSeconds = 0, cpuSeconds = 0;
    double meanVoices = 0;
    int peakVoices = 0;
    double peakDbfs = -200;
};

void WriteWav(const std::string& path, const std::vector<int16_t>& pcm)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    uint32_t dataBytes = (uint32_t)(pcm.size() * 2);
    Bytes h = {'R', 'I', 'F', 'F'};
    auto le = [&h](uint32_t v, int n) { for (int i = 0; i < n; ++i) h.push_back((uint8_t)(v >> (8 * i))); };
    le(36 + dataBytes, 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le(16, 4); le(1, 2); le(2, 2); le(44100, 4); le(44100 * 4, 4); le(4, 2); le(16, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    le(dataBytes, 4);
    fwrite(h.data(), 1, h.size(), f);
    fwrite(pcm.data(), 2, pcm.size(), f);
    fclose(f);
}

// Plays the song through the synthesizer as the player does: each event on its own sample,
// then until the last voice has died away.
RenderResult RenderSong(const SoundFont* sf, const Bytes& smf, bool effects, std::vector<int16_t>* keep)
{
    RenderResult r;
    TIMELINE tl;
    if (BuildTimeline(smf.data(), (DWORD)smf.size(), &tl) != TL_OK)
        return r;
    SynthConfig config;
    config.effects = effects;
    Synth* s = CreateSynth(config);
    SynthSetSoundFont(s, sf);
    std::vector<int16_t> out(4096 * 2);
    uint64_t done = 0;
    double voiceSum = 0;
    uint64_t voiceBlocks = 0;
    int32_t peak = 0;
    auto render = [&](uint64_t until) {
        while (done < until) {
            int n = (int)std::min<uint64_t>(until - done, 4096);
            SynthRenderS16(s, out.data(), n);
            for (int i = 0; i < 2 * n; ++i)
                peak = std::max(peak, std::abs((int32_t)out[(size_t)i]));
            if (keep)
                keep->insert(keep->end(), out.begin(), out.begin() + 2 * n);
            done += (uint64_t)n;
            int v = SynthActiveVoices(s);
            voiceSum += v;
            voiceBlocks++;
            r.peakVoices = std::max(r.peakVoices, v);
        }
    };
    double t0 = CpuSeconds();
    for (DWORD i = 0; i < tl.nEvents; ++i) {
        const TLEVENT& e = tl.pEvents[i];
        render(e.qwTime * 44100 / 1000000);
        if (e.bStatus >= 0x80 && e.bStatus < 0xF0)
            SynthShortMsg(s, ShortMsgOf(&e));
        else if (e.bStatus == 0xF0)
            SynthSysEx(s, e.pData, e.cbData);
    }
    uint64_t tail = done + 44100 * 20;
    while (SynthActiveVoices(s) > 0 && done < tail)
        render(done + 1024);
    r.cpuSeconds = CpuSeconds() - t0;
    r.songSeconds = (double)done / 44100.0;
    r.meanVoices = voiceBlocks ? voiceSum / (double)voiceBlocks : 0;
    r.peakDbfs = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -200.0;
    DestroySynth(s);
    FreeTimeline(&tl);
    return r;
}

// ---- FluidSynth ----------------------------------------------------------------------------

// CPU time of the children waited for so far.
double ChildrenCpuSeconds()
{
    tms t;
    times(&t);
    return (double)(t.tms_cutime + t.tms_cstime) / (double)sysconf(_SC_CLK_TCK);
}

// Seconds FluidSynth takes to render the song to a WAV file, or a negative number when it
// cannot be run. Timed by the children's CPU time, so other load does not count.
double FluidSynthSeconds(const std::string& sf2, const std::string& mid, const std::string& wav)
{
    std::string cfg = wav + ".cfg";
    FILE* f = fopen(cfg.c_str(), "w");
    if (!f)
        return -1;
    fprintf(f, "interp 4\n");
    fclose(f);
    std::string cmd = "fluidsynth -ni -q -R 0 -C 0 -o synth.polyphony=256 -o synth.cpu-cores=1 -r 44100 -f '" + cfg +
                      "' -F '" + wav + "' '" + sf2 + "' '" + mid + "' >/dev/null 2>&1";
    double before = ChildrenCpuSeconds();
    int rc = system(cmd.c_str());
    double seconds = ChildrenCpuSeconds() - before;
    remove(cfg.c_str());
    if (rc != 0)
        return -1;
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string sf2 = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    std::string wavDir = "/tmp";
    std::vector<std::string> songs;
    bool fluid = true;
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--soundfont") && i + 1 < argc) sf2 = argv[++i];
        else if (!strcmp(argv[i], "--song") && i + 1 < argc) songs.push_back(argv[++i]);
        else if (!strcmp(argv[i], "--wav-dir") && i + 1 < argc) wavDir = argv[++i];
        else if (!strcmp(argv[i], "--no-fluidsynth")) fluid = false;
        else if (!strcmp(argv[i], "--repeat") && i + 1 < argc) repeat = std::max(1, atoi(argv[++i]));
        else {
            fprintf(stderr, "usage: bench_synth [--soundfont SF2] [--song MID]... [--wav-dir DIR] [--no-fluidsynth] [--repeat N]\n");
            return 2;
        }
    }
    if (songs.empty())
        songs.push_back("res/demo.mid");

    double w0 = WallSeconds(), c0 = CpuSeconds();
    SoundFont* sf = nullptr;
    char message[512];
    if (LoadSoundFontFile(sf2.c_str(), &sf, message, sizeof message) != SF_LOAD_OK) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }
    printf("SoundFont %s: loaded in %.3f s wall, %.3f s CPU, %d presets\n", sf2.c_str(), WallSeconds() - w0,
           CpuSeconds() - c0, PresetCount(sf));

    std::vector<std::pair<std::string, Bytes>> inputs;
    for (const std::string& path : songs) {
        Bytes b;
        if (!ReadFile(path, &b)) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        inputs.push_back({path, b});
    }
    Bytes dense = DenseSong(60);
    std::string densePath = wavDir + "/bench_synth_dense.mid";
    if (FILE* f = fopen(densePath.c_str(), "wb")) {
        fwrite(dense.data(), 1, dense.size(), f);
        fclose(f);
    }
    inputs.push_back({densePath, dense});

    printf("%-34s %8s %8s %8s %7s %9s | %9s %8s\n", "song", "seconds", "voices", "peak", "x real", "peak dBFS",
           "fluidsynth", "ratio");
    for (auto& in : inputs) {
        std::vector<int16_t> wav;
        std::string base = in.first.substr(in.first.find_last_of('/') + 1);
        RenderResult dry, wet;
        double fluidSeconds = -1;
        for (int r = 0; r < repeat; ++r) {
            wav.clear();
            RenderResult d = RenderSong(sf, in.second, false, r == 0 ? &wav : nullptr);
            if (r == 0)
                WriteWav(wavDir + "/bench_synth_" + base + ".wav", wav);
            if (r == 0 || d.cpuSeconds < dry.cpuSeconds)
                dry = d;
            RenderResult w = RenderSong(sf, in.second, true, nullptr);
            if (r == 0 || w.cpuSeconds < wet.cpuSeconds)
                wet = w;
            if (fluid) {
                double t = FluidSynthSeconds(sf2, in.first, wavDir + "/bench_fluid_" + base + ".wav");
                if (t > 0 && (fluidSeconds < 0 || t < fluidSeconds))
                    fluidSeconds = t;
            }
        }
        double speed = dry.songSeconds / dry.cpuSeconds;
        double fluidSpeed = fluidSeconds > 0 ? dry.songSeconds / fluidSeconds : 0;
        printf("%-34s %8.1f %8.1f %8d %7.1f %9.1f | %9.1f %8.2f\n", base.c_str(), dry.songSeconds, dry.meanVoices,
               dry.peakVoices, speed, dry.peakDbfs, fluidSpeed, fluidSpeed > 0 ? speed / fluidSpeed : 0.0);
        printf("%-34s %8s %8.1f %8d %7.1f %9.1f   (effects on)\n", "", "", wet.meanVoices, wet.peakVoices,
               wet.songSeconds / wet.cpuSeconds, wet.peakDbfs);
    }
    FreeSoundFont(sf);
    return 0;
}
