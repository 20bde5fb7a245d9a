// Ogg Vorbis decoding through Xiph's vorbisfile, reading from memory.
#include "synth/vorbis.h"

#include <algorithm>
#include <cstring>

#include <vorbis/vorbisfile.h>

namespace {

struct MemoryStream {
    const uint8_t* data;
    size_t size, at;
};

size_t ReadStream(void* out, size_t size, size_t count, void* source)
{
    MemoryStream& m = *static_cast<MemoryStream*>(source);
    if (size == 0)
        return 0;
    size_t items = std::min(count, (m.size - m.at) / size);
    memcpy(out, m.data + m.at, items * size);
    m.at += items * size;
    return items;
}

// The fixed header of an Ogg page: capture pattern, version 0, then the granule position.
const size_t kPageHeaderBytes = 27;
// A page is at most its header, 255 lacing values and 255 segments of 255 bytes.
const size_t kMaxPageBytes = kPageHeaderBytes + 255 + 255 * 255;

}  // namespace

bool VorbisStreamFrames(const uint8_t* data, size_t size, uint64_t* frames)
{
    if (size < kPageHeaderBytes)
        return false;
    size_t lowest = size > kMaxPageBytes ? size - kMaxPageBytes : 0;
    for (size_t at = size - kPageHeaderBytes + 1; at-- > lowest;) {
        const uint8_t* p = data + at;
        if (memcmp(p, "OggS", 4) != 0 || p[4] != 0)
            continue;
        uint64_t granule = 0;
        for (int i = 7; i >= 0; --i)
            granule = granule << 8 | p[6 + i];
        // -1 marks a page on which no packet ends; a real length is far below 2^40.
        if (granule >> 40)
            continue;
        *frames = granule;
        return true;
    }
    return false;
}

bool DecodeVorbis(const uint8_t* data, size_t size, int16_t* out, uint32_t capacity, uint32_t* decoded)
{
    *decoded = 0;
    MemoryStream stream = {data, size, 0};
    ov_callbacks calls = {ReadStream, nullptr, nullptr, nullptr};   // not seekable: read once, in order
    OggVorbis_File file;
    if (ov_open_callbacks(&stream, &file, nullptr, 0, calls) != 0)
        return false;
    bool ok = true;
    uint32_t n = 0;
    int section = 0;
    while (n < capacity) {
        float** pcm = nullptr;
        int want = (int)std::min<uint32_t>(capacity - n, 4096);
        long got = ov_read_float(&file, &pcm, want, &section);
        if (got == 0)
            break;
        if (got < 0 || got > want) {
            ok = false;
            break;
        }
        const float* first = pcm[0];
        int16_t* to = out + n;
        for (long i = 0; i < got; ++i) {
            // Rounded half away from zero; a loop the compiler vectorises (lrintf is a call).
            float v = first[i] * 32768.0f;
            v = v > 32767.0f ? 32767.0f : v < -32768.0f ? -32768.0f : v;
            to[i] = (int16_t)(int)(v + (v < 0.0f ? -0.5f : 0.5f));
        }
        n += (uint32_t)got;
    }
    ov_clear(&file);
    *decoded = n;
    // A stream that ends before the frames it promised was cut or lost a page.
    return ok && n == capacity;
}
