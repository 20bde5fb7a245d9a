// libFuzzer target over the song layer: the input is a file image. It is loaded as Open
// loads it, every listed row gets every kind of setting, the song is saved with new names,
// and the saved song is loaded again. Besides the sanitizers' checks it asserts what must
// hold for any input:
//   - the record's invariants after a load (counts, ascending rows, chunk lengths);
//   - a load grows the image by at most 8 bytes per track and never past its headroom;
//   - muting a row twice gives the image back byte for byte;
//   - settings never change the image's size or the record's lengths;
//   - a saved song loads again and lists as many rows;
//   - a song reads the same whatever was read, edited or saved before it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "mmio/song.h"

namespace {

int Quiet(HWND, const char*, const char*, UINT) { return 1; }

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_song: %s\n", what);
        abort();
    }
}

// The save target: in memory where the system has a RAM file system, so saving costs no disk.
const char* SavePath()
{
    static std::string path;
    if (path.empty()) {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
        path = std::string(dir) + "/fuzz_song." + std::to_string(getpid()) + ".mid";
        atexit([] { unlink(path.c_str()); });
    }
    return path.c_str();
}

std::vector<BYTE> ReadBack(const char* path)
{
    std::vector<BYTE> bytes;
    FILE* f = fopen(path, "rb");
    if (!f)
        return bytes;
    BYTE buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

// Loads bytes into a fresh image, as Open does; returns the reader's result.
int Load(const BYTE* data, size_t size)
{
    FreeFixed(pFileBuf);
    dwFileBufSize = (DWORD)size;
    pFileBuf = AllocFixed(dwFileBufSize + 800);
    if (size)
        memcpy(pFileBuf, data, size);
    int ok = readmidiinfo(pFileBuf, &MidiInfo);
    if (!ok) {
        MidiInfo.wNumTracks = 0;
        MidiInfo.wNumListed = 0;
    }
    return ok;
}

void CheckRecord(const MIDIINFO* info, DWORD loadedSize)
{
    Check(info->wNumListed <= info->wNumTracks && info->wNumTracks <= MAX_TRACKS, "track counts");
    Check(dwFileBufSize >= loadedSize && dwFileBufSize - loadedSize <= 8u * info->wNumTracks, "image growth");
    for (int i = 1; i < info->wNumListed; i++)
        Check(info->nTrackIndex[i - 1] < info->nTrackIndex[i], "rows ascend");
    DWORD pos = 14;
    for (int t = 0; t < info->wNumTracks; t++) {
        Check(pos + 8 <= dwFileBufSize, "chunk header inside the image");
        Check(getdword(pFileBuf + pos + 4) == info->Track[t].dwSize, "dwSize equals the chunk length");
        pos += 8 + info->Track[t].dwSize;
        Check(pos <= dwFileBufSize, "chunk inside the image");
        Check(memchr(info->Track[t].szName, 0, sizeof info->Track[t].szName) != nullptr, "name terminated");
    }
    for (int r = 0; r < info->wNumListed; r++)
        Check(info->Track[info->nTrackIndex[r]].bChannel != MI_NONE, "a listed track has a channel");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    SetReportProc(Quiet);

    if (!Load(data, size))
        return 0;
    CheckRecord(&MidiInfo, (DWORD)size);
    static MIDIINFO firstRecord;
    firstRecord = MidiInfo;
    const DWORD preparedSize = dwFileBufSize;
    const int rows = getnumtracks(&MidiInfo);
    DWORD sizes[MAX_TRACKS];
    for (int t = 0; t < MidiInfo.wNumTracks; t++)
        sizes[t] = MidiInfo.Track[t].dwSize;

    // Mute and unmute every row: the image comes back whole.
    std::vector<BYTE> prepared(pFileBuf, pFileBuf + dwFileBufSize);
    for (int r = 0; r < rows; r++) {
        settrack(pFileBuf, MidiInfo.nTrackIndex[r], EV_NOTEOFF, 0);
        settrack(pFileBuf, MidiInfo.nTrackIndex[r], EV_NOTEON, 0);
    }
    Check(memcmp(prepared.data(), pFileBuf, prepared.size()) == 0, "muting twice restores the image");

    // Every kind of setting, values taken from the input; names of every kind of length.
    std::vector<std::string> names(rows);
    for (int r = 0; r < rows; r++) {
        int chunk = MidiInfo.nTrackIndex[r];
        BYTE v = data[(size_t)r % size] & 0x7F;
        if (r % 2)
            settrack(pFileBuf, chunk, EV_NOTEOFF, 0);
        MidiInfo.Track[chunk].bVolume = v;
        settrack(pFileBuf, chunk, EV_VOLUME, v);
        MidiInfo.Track[chunk].bPan = (BYTE)(127 - v);
        settrack(pFileBuf, chunk, EV_PAN, 127 - v);
        MidiInfo.Track[chunk].bProgram = (BYTE)(v ^ 0x2A);
        settrack(pFileBuf, chunk, EV_PROGRAM, v ^ 0x2A);
        settrack(pFileBuf, chunk, 3, v);   // not a setting: changes nothing
        names[r].assign((size_t)(r * 61 + v) % 256, (char)('A' + r % 26));
    }
    Check(dwFileBufSize == preparedSize, "settings keep the image size");
    for (int t = 0; t < MidiInfo.wNumTracks; t++)
        Check(MidiInfo.Track[t].dwSize == sizes[t], "settings keep the chunk lengths");

    std::vector<const char*> rowNames;
    for (const std::string& n : names)
        rowNames.push_back(n.c_str());
    const int listed = rows;
    if (!writemidiinfo(SavePath(), pFileBuf, &MidiInfo, rowNames.empty() ? nullptr : rowNames.data()))
        return 0;
    std::vector<BYTE> saved = ReadBack(SavePath());
    Check(Load(saved.data(), saved.size()) == 1, "a saved song loads again");
    Check(getnumtracks(&MidiInfo) == listed, "a saved song lists as many rows");
    CheckRecord(&MidiInfo, (DWORD)saved.size());

    Check(Load(data, size) == 1, "a song loads the second time");
    Check(dwFileBufSize == preparedSize && memcmp(pFileBuf, prepared.data(), preparedSize) == 0,
          "a song is prepared the same the second time");
    Check(memcmp(&MidiInfo, &firstRecord, sizeof MidiInfo) == 0, "a song reads the same the second time");
    return 0;
}
