// Benchmark of the song layer: load (read + readmidiinfo), one setting of each kind, and
// save, on the real corpus and on generated songs, beside a plain memcpy of the same bytes.
//
//   bench_song [CORPUS_DIR]      (default: corpus, as tools/fetch-corpus.sh makes it)
//
// Build it optimised and without sanitizers, for example:
//   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
//         -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DPLAYER_TESTS=OFF
//   cmake --build build/release --target bench_song && build/release/bench_song corpus
//
// Saves go to /dev/shm where it exists (else $TMPDIR or /tmp), so they time the writer and
// the file system's write, not a disk. It also counts the song layer's allocations.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <new>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "mmio/song.h"

namespace {

typedef std::vector<BYTE> Bytes;

// Every allocation made while the song layer runs, by kind.
size_t gNewCalls;
size_t gFixedCalls;

int CountFixed(DWORD) { gFixedCalls++; return 1; }
int Quiet(HWND, const char*, const char*, UINT) { return 1; }

// The CPU time of this thread, in seconds: on a machine shared with builds, wall time would
// mostly measure the others.
double Now()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double MBps(double bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }

Bytes ReadFile(const std::string& path)
{
    Bytes bytes;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (n > 0) {
        bytes.resize((size_t)n);
        if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
            bytes.clear();
    }
    fclose(f);
    return bytes;
}

// Loads a file as Open does: one read of the whole file into an image with headroom, then
// the reader. Returns the reader's result; the image stays in pFileBuf.
int LoadFile(const char* path)
{
    FreeFixed(pFileBuf);
    pFileBuf = nullptr;
    int fd = open(path, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0)
            close(fd);
        return 0;
    }
    dwFileBufSize = (DWORD)st.st_size;
    pFileBuf = AllocFixed(dwFileBufSize + 800);
    ssize_t got = read(fd, pFileBuf, dwFileBufSize);
    close(fd);
    if (got != (ssize_t)dwFileBufSize)
        return 0;
    return readmidiinfo(pFileBuf, &MidiInfo);
}

// The image of bytes as Open would have it, prepared by the reader.
int LoadBytes(const Bytes& bytes)
{
    FreeFixed(pFileBuf);
    dwFileBufSize = (DWORD)bytes.size();
    pFileBuf = AllocFixed(dwFileBufSize + 800);
    memcpy(pFileBuf, bytes.data(), bytes.size());
    return readmidiinfo(pFileBuf, &MidiInfo);
}

std::string ScratchDir()
{
    if (access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    const char* t = getenv("TMPDIR");
    return t && *t ? t : "/tmp";
}

// ---- Generated songs ---------------------------------------------------------------------

void PutVarLen(Bytes* out, uint32_t v)
{
    BYTE tmp[5];
    int n = 0;
    tmp[n++] = v & 0x7F;
    while (v >>= 7)
        tmp[n++] = (BYTE)(0x80 | (v & 0x7F));
    while (n)
        out->push_back(tmp[--n]);
}

void PutBE32(Bytes* out, uint32_t v)
{
    for (int i = 3; i >= 0; i--)
        out->push_back((BYTE)(v >> (8 * i)));
}

// One track of about `bytes` bytes, as sequencers write them: a name, program, controllers,
// then notes on running status with a controller sweep now and then.
Bytes MakeTrack(int channel, size_t bytes, uint32_t seed)
{
    Bytes d;
    char name[32];
    int len = snprintf(name, sizeof name, "Generated track %d", channel);
    d.insert(d.end(), {0x00, 0xFF, 0x03, (BYTE)len});
    d.insert(d.end(), name, name + len);
    d.insert(d.end(), {0x00, (BYTE)(0xC0 | channel), (BYTE)(seed % 128)});
    d.insert(d.end(), {0x00, (BYTE)(0xB0 | channel), 0x07, 100, 0x00, 0x0A, 64});
    d.insert(d.end(), {0x00, (BYTE)(0x90 | channel)});
    bool first = true;
    while (d.size() + 16 < bytes) {
        seed = seed * 1103515245u + 12345u;
        BYTE key = (BYTE)(36 + (seed >> 16) % 60);
        if (!first)
            PutVarLen(&d, (seed >> 8) % 3 ? 0 : 120);
        first = false;
        d.insert(d.end(), {key, (BYTE)(40 + (seed >> 24) % 80)});
        PutVarLen(&d, 240);
        d.insert(d.end(), {key, 0x00});   // note-on of velocity 0 ends it
        if ((seed >> 12) % 64 == 0) {
            d.insert(d.end(), {0x00, (BYTE)(0xB0 | channel), 0x07, (BYTE)((seed >> 4) % 128)});
            d.insert(d.end(), {0x00, (BYTE)(0x90 | channel)});   // back to notes
            first = true;
        }
    }
    d.insert(d.end(), {0x00, 0xFF, 0x2F, 0x00});
    Bytes chunk = {'M', 'T', 'r', 'k'};
    PutBE32(&chunk, (uint32_t)d.size());
    chunk.insert(chunk.end(), d.begin(), d.end());
    return chunk;
}

Bytes MakeSong(int tracks, size_t trackBytes)
{
    Bytes song = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, (BYTE)tracks, 0x01, 0xE0};
    Bytes tempo = {'M', 'T', 'r', 'k', 0, 0, 0, 11, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    song.insert(song.end(), tempo.begin(), tempo.end());
    for (int t = 1; t < tracks; t++) {
        Bytes chunk = MakeTrack(t % 16 == 9 ? 0 : t % 16, trackBytes, 1234u + (uint32_t)t);
        song.insert(song.end(), chunk.begin(), chunk.end());
    }
    return song;
}

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

// ---- Measurements ------------------------------------------------------------------------

struct Files {
    std::vector<std::string> paths;
    std::vector<Bytes> bytes;
    double total = 0;
};

Files ListCorpus(const std::string& dir)
{
    Files files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file() || it->path().filename().string()[0] == '.')
            continue;
        files.paths.push_back(it->path().string());
    }
    std::sort(files.paths.begin(), files.paths.end());
    for (const std::string& p : files.paths) {
        files.bytes.push_back(ReadFile(p));
        files.total += (double)files.bytes.back().size();
    }
    return files;
}

// Runs body over rounds until at least minSeconds have passed; returns seconds per round.
template <class F>
double PerRound(double minSeconds, F body)
{
    body();   // warm up
    int rounds = 0;
    double start = Now();
    double elapsed;
    do {
        body();
        rounds++;
        elapsed = Now() - start;
    } while (elapsed < minSeconds);
    return elapsed / rounds;
}

double MemcpySeconds(const Files& files)
{
    size_t largest = 0;
    for (const Bytes& b : files.bytes)
        largest = std::max(largest, b.size());
    Bytes dst(largest + 800);
    return PerRound(0.5, [&] {
        for (const Bytes& b : files.bytes) {
            memcpy(dst.data(), b.data(), b.size());
            asm volatile("" : : "r"(dst.data()) : "memory");   // keep the copy
        }
    });
}

struct EditTimes {
    double worst[4] = {0, 0, 0, 0};   // mute, volume, pan, program, in seconds
    double sum[4] = {0, 0, 0, 0};
    int count = 0;
};

const int kKinds[4] = {EV_NOTEOFF, EV_VOLUME, EV_PAN, EV_PROGRAM};
const char* const kKindNames[4] = {"mute", "volume", "pan", "program"};

// Times each kind of setting on every listed row of the loaded song (best of a few runs, so
// one preemption does not count as the setting's cost).
void TimeEdits(EditTimes* times)
{
    for (int r = 0; r < getnumtracks(&MidiInfo); r++) {
        int chunk = MidiInfo.nTrackIndex[r];
        for (int k = 0; k < 4; k++) {
            double best = 1e9;
            for (int i = 0; i < 5; i++) {
                double a = Now();
                settrack(pFileBuf, chunk, kKinds[k], 100);
                best = std::min(best, Now() - a);
            }
            times->worst[k] = std::max(times->worst[k], best);
            times->sum[k] += best;
        }
        times->count++;
    }
}

void PrintEdits(const char* what, const EditTimes& t)
{
    printf("  %-30s", what);
    for (int k = 0; k < 4; k++)
        printf(" %s %.2f/%.2f", kKindNames[k], t.count ? t.sum[k] / t.count * 1e6 : 0, t.worst[k] * 1e6);
    printf("  (mean/worst us per row, %d rows)\n", t.count);
}

void BenchCorpus(const std::string& dir, const std::string& scratch)
{
    Files files = ListCorpus(dir);
    if (files.paths.empty()) {
        printf("corpus: no files in %s (tools/fetch-corpus.sh fetches them)\n\n", dir.c_str());
        return;
    }
    printf("corpus: %zu files, %.2f MB in %s\n", files.paths.size(), files.total / 1e6, dir.c_str());

    double copy = MemcpySeconds(files);
    double load = PerRound(1.0, [&] {
        for (const std::string& p : files.paths)
            LoadFile(p.c_str());
    });
    // The reader alone: each image is refilled outside the timed span.
    double parse = 0;
    int rounds = 0;
    while (parse < 1.0 || rounds < 3) {
        for (const Bytes& b : files.bytes) {
            FreeFixed(pFileBuf);
            dwFileBufSize = (DWORD)b.size();
            pFileBuf = AllocFixed(dwFileBufSize + 800);
            memcpy(pFileBuf, b.data(), b.size());
            double a = Now();
            readmidiinfo(pFileBuf, &MidiInfo);
            parse += Now() - a;
        }
        rounds++;
    }
    parse /= rounds;
    printf("  %-30s %9.1f MB/s   (memcpy of the same bytes %9.1f MB/s)\n", "load: read + readmidiinfo",
           MBps(files.total, load), MBps(files.total, copy));
    printf("  %-30s %9.1f MB/s\n", "readmidiinfo alone", MBps(files.total, parse));

    EditTimes edits;
    std::string out = scratch + "/bench_song.mid";
    double saveSeconds = 0, savedBytes = 0;
    for (const Bytes& b : files.bytes) {
        if (!LoadBytes(b))
            continue;
        TimeEdits(&edits);
        double a = Now();
        writemidiinfo(out.c_str(), pFileBuf, &MidiInfo, nullptr);
        saveSeconds += Now() - a;
        savedBytes += dwFileBufSize;
    }
    unlink(out.c_str());
    PrintEdits("settings", edits);
    printf("  %-30s %9.1f MB/s   (%.1f us per file, with fsync and rename)\n\n", "save: writemidiinfo",
           MBps(savedBytes, saveSeconds), saveSeconds / (double)files.paths.size() * 1e6);
}

void BenchLarge(const std::string& scratch)
{
    Bytes song = MakeSong(64, 33000);
    std::string path = scratch + "/bench_song_large.mid";
    WriteFile(path, song);
    Files one;
    one.bytes.push_back(song);
    one.total = (double)song.size();
    printf("generated: 64 tracks, %.2f MB\n", song.size() / 1e6);
    double copy = MemcpySeconds(one);
    double load = PerRound(1.0, [&] { LoadFile(path.c_str()); });
    printf("  %-30s %9.1f MB/s   (memcpy of the same bytes %9.1f MB/s)\n", "load: read + readmidiinfo",
           MBps(one.total, load), MBps(one.total, copy));
    LoadFile(path.c_str());
    EditTimes edits;
    TimeEdits(&edits);
    PrintEdits("settings (32 KB tracks)", edits);
    std::string out = scratch + "/bench_song_large_saved.mid";
    double save = PerRound(1.0, [&] { writemidiinfo(out.c_str(), pFileBuf, &MidiInfo, nullptr); });
    printf("  %-30s %9.1f MB/s\n\n", "save: writemidiinfo", MBps(dwFileBufSize, save));
    unlink(out.c_str());
    unlink(path.c_str());
}

void BenchBigTrack()
{
    Bytes song = MakeSong(2, 1 << 20);
    LoadBytes(song);
    printf("generated: one track of %.2f MB (%u bytes of events)\n", song.size() / 1e6,
           (unsigned)MidiInfo.Track[1].dwSize);
    for (int k = 0; k < 4; k++) {
        double best = 1e9;
        for (int i = 0; i < 20; i++) {
            double a = Now();
            settrack(pFileBuf, 1, kKinds[k], 90);
            best = std::min(best, Now() - a);
        }
        printf("  %-30s %9.1f us   (%.1f MB/s)\n", kKindNames[k], best * 1e6, MBps(MidiInfo.Track[1].dwSize, best));
    }
    printf("\n");
}

// Counts what one load, one setting of each kind and one save allocate.
void CountAllocations(const std::string& scratch)
{
    Bytes song = MakeSong(64, 33000);
    std::string path = scratch + "/bench_song_alloc.mid";
    WriteFile(path, song);
    SetAllocGate(CountFixed);
    size_t fixed0 = gFixedCalls, new0 = gNewCalls;
    LoadFile(path.c_str());
    size_t fixedLoad = gFixedCalls - fixed0 - 1, newLoad = gNewCalls - new0;   // less the image itself
    fixed0 = gFixedCalls, new0 = gNewCalls;
    for (int k = 0; k < 4; k++)
        settrack(pFileBuf, 1, kKinds[k], 90);
    size_t fixedEdit = gFixedCalls - fixed0, newEdit = gNewCalls - new0;
    std::string out = scratch + "/bench_song_alloc_saved.mid";
    fixed0 = gFixedCalls, new0 = gNewCalls;
    writemidiinfo(out.c_str(), pFileBuf, &MidiInfo, nullptr);
    size_t fixedSave = gFixedCalls - fixed0, newSave = gNewCalls - new0;
    SetAllocGate(nullptr);
    printf("allocations beside the image (64 tracks, %.2f MB):\n", song.size() / 1e6);
    printf("  load %zu fixed + %zu new; four settings %zu + %zu; save %zu + %zu\n", fixedLoad, newLoad,
           fixedEdit, newEdit, fixedSave, newSave);
    unlink(out.c_str());
    unlink(path.c_str());
}

} // namespace

// Counts the C++ allocations of the whole process (the song layer should make none).
void* operator new(size_t n)
{
    gNewCalls++;
    if (void* p = malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }

int main(int argc, char** argv)
{
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        fprintf(stderr, "usage: bench_song [CORPUS_DIR]   (default: corpus)\n");
        return 1;
    }
    SetReportProc(Quiet);
    std::string scratch = ScratchDir();
    printf("bench_song: CPU time of this thread; saves in %s\n\n", scratch.c_str());
    BenchCorpus(argc > 1 ? argv[1] : "corpus", scratch);
    BenchLarge(scratch);
    BenchBigTrack();
    CountAllocations(scratch);
    FreeFixed(pFileBuf);
    return 0;
}
