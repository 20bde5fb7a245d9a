// The SoundFont 2 loader and the zones of a note.
//
// Loading reads the RIFF tree through a Source that refuses every read outside the file,
// checks every table of the preset data against the ones it points into, and then resolves
// each zone once: an instrument zone to its absolute generator values (the format's
// defaults, the instrument's global zone, the zone's own), a preset zone to its relative ones,
// each with its merged modulator list. FindNoteZones then only adds two arrays and merges
// the modulator lists, without allocating, so the audio thread may call it on a note-on.
#include "synth/soundfont.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#ifdef _GLIBCXX_HAS_GTHREADS
#include <thread>
#endif

#include "synth/modulator.h"
#include "synth/vorbis.h"

namespace {

// ---- What can be wrong with a file -------------------------------------------------------

enum Damage {
    DAMAGE_CUT_SHORT,
    DAMAGE_CHUNK_TOO_LARGE,
    DAMAGE_NO_SAMPLE_DATA,
    DAMAGE_NO_PRESET_DATA,
    DAMAGE_TABLE_MISSING,
    DAMAGE_TABLE_SIZE,
    DAMAGE_NO_CLOSING_RECORD,
    DAMAGE_INDEX_PAST_END,
    DAMAGE_INDEX_BACKWARDS,
    DAMAGE_SAMPLE_PAST_DATA,
    DAMAGE_LOOP_OUTSIDE_SAMPLE,
    DAMAGE_NO_SUCH_SAMPLE,
    DAMAGE_NO_SUCH_INSTRUMENT,
    DAMAGE_SAMPLE_UNDECODABLE,   // a compressed sample that does not decode: Failure::sample names it
};

// The tables of the preset data, in the order of the file.
enum Table { T_PHDR, T_PBAG, T_PMOD, T_PGEN, T_INST, T_IBAG, T_IMOD, T_IGEN, T_SHDR, T_COUNT };
const char* const kTableId[T_COUNT] = {"phdr", "pbag", "pmod", "pgen", "inst", "ibag", "imod", "igen", "shdr"};
const uint32_t kRecordBytes[T_COUNT] = {38, 4, 10, 4, 22, 4, 10, 4, 46};

// A load that stopped: the result code and, for damage, its kind and the tables it concerns.
struct Failure {
    int result = SF_LOAD_OK;
    Damage damage = DAMAGE_CUT_SHORT;
    Table table = T_PHDR, target = T_PHDR;
    char sample[21] = "";
};

void FormatMessage(const Failure& f, const char* name, char* message, size_t size)
{
    if (!message || size == 0)
        return;
    switch (f.result) {
    case SF_LOAD_CANNOT_READ:
        snprintf(message, size, "The SoundFont %s cannot be read.", name);
        return;
    case SF_LOAD_NOT_SOUNDFONT:
        snprintf(message, size, "The file %s is not a SoundFont.", name);
        return;
    case SF_LOAD_NO_MEMORY:
        snprintf(message, size, "There is not enough memory to load the SoundFont %s.", name);
        return;
    case SF_LOAD_DAMAGED:
        break;
    default:
        message[0] = '\0';
        return;
    }
    char what[128];
    const char* t = kTableId[f.table];
    const char* u = kTableId[f.target];
    switch (f.damage) {
    case DAMAGE_CUT_SHORT:           snprintf(what, sizeof what, "the file is cut short"); break;
    case DAMAGE_CHUNK_TOO_LARGE:     snprintf(what, sizeof what, "a chunk is larger than the space that holds it"); break;
    case DAMAGE_NO_SAMPLE_DATA:      snprintf(what, sizeof what, "it holds no sample data"); break;
    case DAMAGE_NO_PRESET_DATA:      snprintf(what, sizeof what, "it holds no preset data"); break;
    case DAMAGE_TABLE_MISSING:       snprintf(what, sizeof what, "its preset data lacks the %s table", t); break;
    case DAMAGE_TABLE_SIZE:          snprintf(what, sizeof what, "the %s table does not hold a whole number of records", t); break;
    case DAMAGE_NO_CLOSING_RECORD:   snprintf(what, sizeof what, "the %s table lacks its closing record", t); break;
    case DAMAGE_INDEX_PAST_END:      snprintf(what, sizeof what, "the %s table points past the end of the %s table", t, u); break;
    case DAMAGE_INDEX_BACKWARDS:     snprintf(what, sizeof what, "the indices of the %s table go backwards", t); break;
    case DAMAGE_SAMPLE_PAST_DATA:    snprintf(what, sizeof what, "a sample ends past the sample data"); break;
    case DAMAGE_LOOP_OUTSIDE_SAMPLE: snprintf(what, sizeof what, "a looped sample's loop lies outside the sample"); break;
    case DAMAGE_NO_SUCH_SAMPLE:      snprintf(what, sizeof what, "an instrument names a sample the font does not hold"); break;
    case DAMAGE_NO_SUCH_INSTRUMENT:  snprintf(what, sizeof what, "a preset names an instrument the font does not hold"); break;
    case DAMAGE_SAMPLE_UNDECODABLE:  snprintf(what, sizeof what, "its sample \"%s\" does not decode", f.sample); break;
    }
    snprintf(message, size, "The SoundFont %s is damaged: %s.", name, what);
}

// ---- Reading the file --------------------------------------------------------------------

// Bytes of a file by position; every read outside the file fails.
class Source {
public:
    explicit Source(uint64_t size) : size_(size) {}
    virtual ~Source() {}
    uint64_t Size() const { return size_; }
    bool Read(uint64_t at, void* out, size_t n)
    {
        if (at > size_ || n > size_ - at)
            return false;
        return n == 0 || ReadAt(at, out, n);
    }

private:
    virtual bool ReadAt(uint64_t at, void* out, size_t n) = 0;
    uint64_t size_;
};

class MemorySource : public Source {
public:
    MemorySource(const uint8_t* data, size_t size) : Source(size), data_(data) {}

private:
    bool ReadAt(uint64_t at, void* out, size_t n) override
    {
        memcpy(out, data_ + at, n);
        return true;
    }
    const uint8_t* data_;
};

class FileSource : public Source {
public:
    FileSource(FILE* f, uint64_t size) : Source(size), f_(f) {}

private:
    bool ReadAt(uint64_t at, void* out, size_t n) override
    {
        if (at > 0x7FFFFFFF || fseek(f_, (long)at, SEEK_SET) != 0 || fread(out, 1, n, f_) != n) {
            failed = true;
            return false;
        }
        return true;
    }
    FILE* f_;

public:
    bool failed = false;   // a read inside the file's size failed: the file, not its content
};

inline uint16_t U16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

struct ChunkPos {
    uint64_t at = 0;     // first byte of the body
    uint32_t size = 0;
    bool found = false;
};

// ---- The resolved font ------------------------------------------------------------------

struct InstZone {
    int32_t gen[GEN_COUNT];      // absolute values: defaults, global zone, own zone
    uint8_t keyLo, keyHi, velLo, velHi;
    uint32_t firstMod, nMods;    // into SoundFont::mods
    uint32_t sample;
};

struct PresetZone {
    int32_t gen[GEN_COUNT];      // relative values: global zone, own zone; 0 where neither sets one
    uint8_t keyLo, keyHi, velLo, velHi;
    uint32_t firstMod, nMods;
    uint32_t instrument;
};

struct Range {
    uint32_t first, count;
};

struct PresetInfo {
    char name[21];
    uint16_t bank, program;
    Range zones;
};

}  // namespace

struct SoundFont {
    // Frames of sample data, then the zero frames. Not a vector: its zero-filling would touch
    // every page of a large font once more before the file's data overwrites it.
    std::unique_ptr<int16_t[]> pcm;
    uint32_t frames = 0;
    std::vector<SfSample> samples;
    std::vector<InstZone> instZones;
    std::vector<Range> instruments;       // zones of each instrument in instZones
    std::vector<PresetZone> presetZones;
    std::vector<PresetInfo> presets;
    std::vector<SfModulator> mods;
    std::vector<uint32_t> byBankProgram;  // preset indices sorted by bank, program, then file order
    int firstMelodic = -1;                // the lowest preset of a bank other than 128
};

namespace {

// Zero frames kept after the sample data so that interpolation may read past any end.
const uint32_t kGuardFrames = 64;
// The most instrument zones a note-on of one preset examines, summed over its preset zones.
// Real fonts stay far below it (FluidR3 GM: 720); a font built to stall the audio thread
// with 65,535 zones of 65,535 zones each loses the preset zones past it.
const uint32_t kMaxZonePairs = 16384;

// ---- Generators and modulators ------------------------------------------------------------

int32_t DefaultValue(int gen)
{
    switch (gen) {
    case GEN_INITIAL_FILTER_FC: return 13500;
    case GEN_DELAY_MOD_LFO: case GEN_DELAY_VIB_LFO: case GEN_DELAY_MOD_ENV: case GEN_ATTACK_MOD_ENV:
    case GEN_HOLD_MOD_ENV: case GEN_DECAY_MOD_ENV: case GEN_RELEASE_MOD_ENV: case GEN_DELAY_VOL_ENV:
    case GEN_ATTACK_VOL_ENV: case GEN_HOLD_VOL_ENV: case GEN_DECAY_VOL_ENV: case GEN_RELEASE_VOL_ENV:
        return -12000;
    case GEN_KEYNUM: case GEN_VELOCITY: case GEN_OVERRIDING_ROOT_KEY: return -1;
    case GEN_SCALE_TUNING: return 100;
    case GEN_KEY_RANGE: case GEN_VEL_RANGE: return 127 << 8;
    default: return 0;
    }
}

// The generators a zone may set as plain values (ranges and links are read apart).
bool IsValueGenerator(int gen)
{
    if (gen < 0 || gen >= GEN_COUNT)
        return false;
    switch (gen) {
    case 14: case 18: case 19: case 20: case 42: case 49: case 55: case 59: case 60:   // unused numbers
    case GEN_INSTRUMENT: case GEN_SAMPLE_ID: case GEN_KEY_RANGE: case GEN_VEL_RANGE:
        return false;
    default:
        return true;
    }
}

// The generators only an instrument may set.
bool IsInstrumentOnly(int gen)
{
    switch (gen) {
    case GEN_START_ADDRS_OFFSET: case GEN_END_ADDRS_OFFSET: case GEN_STARTLOOP_ADDRS_OFFSET:
    case GEN_ENDLOOP_ADDRS_OFFSET: case GEN_START_ADDRS_COARSE_OFFSET: case GEN_END_ADDRS_COARSE_OFFSET:
    case GEN_STARTLOOP_ADDRS_COARSE_OFFSET: case GEN_ENDLOOP_ADDRS_COARSE_OFFSET: case GEN_KEYNUM:
    case GEN_VELOCITY: case GEN_SAMPLE_MODES: case GEN_EXCLUSIVE_CLASS: case GEN_OVERRIDING_ROOT_KEY:
        return true;
    default:
        return false;
    }
}

// A modulator this program evaluates (known sources, no links between modulators, a known
// transform) with a generator a zone may set, or the pitch, as its destination.
bool ModulatorIsValid(const SfModulator& m)
{
    return ModulatorIsUsable(m) && (m.destOper == GEN_INITIAL_PITCH || IsValueGenerator(m.destOper));
}

bool SameModulator(const SfModulator& a, const SfModulator& b)
{
    return a.srcOper == b.srcOper && a.destOper == b.destOper && a.amtSrcOper == b.amtSrcOper &&
           a.transOper == b.transOper;
}

// The format's default modulators. Velocity to filter cutoff is the 2.01 text's, with its
// switch amount source; fonts that want it off carry an identical one of amount 0.
const SfModulator kDefaultMods[] = {
    {0x0502, GEN_INITIAL_ATTENUATION, 960, 0, 0},    // velocity, concave, negative
    {0x0102, GEN_INITIAL_FILTER_FC, -2400, 0x0D02, 0},
    {0x000D, GEN_VIB_LFO_TO_PITCH, 50, 0, 0},        // channel pressure
    {0x0081, GEN_VIB_LFO_TO_PITCH, 50, 0, 0},        // CC1 modulation wheel
    {0x0587, GEN_INITIAL_ATTENUATION, 960, 0, 0},    // CC7 volume, concave, negative
    // CC10 pan, bipolar. The 2.01 text gives 1000, which is full left at CC10 32 and full
    // right at 96, half the knob doing nothing; 500 spans the knob, as players do.
    {0x028A, GEN_PAN, 500, 0, 0},
    {0x058B, GEN_INITIAL_ATTENUATION, 960, 0, 0},    // CC11 expression, concave, negative
    {0x00DB, GEN_REVERB_EFFECTS_SEND, 200, 0, 0},    // CC91
    {0x00DD, GEN_CHORUS_EFFECTS_SEND, 200, 0, 0},    // CC93
    {0x020E, GEN_INITIAL_PITCH, 12700, 0x0010, 0},   // pitch wheel, bipolar, times the bend range
};
const int kDefaultModCount = (int)(sizeof kDefaultMods / sizeof kDefaultMods[0]);

// One zone of either level as the file gives it.
struct RawZone {
    int32_t gen[GEN_COUNT];
    bool set[GEN_COUNT];
    int link = -1;   // sample or instrument; -1: none (a global zone, or a zone to skip)
    std::vector<SfModulator> mods;
};

// ---- The loader --------------------------------------------------------------------------

class Loader {
public:
    Loader(Source& src) : src_(src) {}
    Failure failure;
    SoundFont* font = nullptr;

    bool Load();

private:
    bool Fail(int result)
    {
        failure.result = result;
        return false;
    }
    bool Damaged(Damage d, Table t = T_PHDR, Table target = T_PHDR)
    {
        failure.result = SF_LOAD_DAMAGED;
        failure.damage = d;
        failure.table = t;
        failure.target = target;
        return false;
    }
    enum List { TOP, INFO, SDTA, PDTA };
    bool WalkList(uint64_t at, uint64_t end, List list);
    bool UnpaddedChunkFollows(uint64_t at, uint64_t end);
    bool ReadTables();
    bool CheckIndices(Table from, size_t offset, Table into);
    bool ReadSamples();
    bool ReadPackedSamples();
    bool Undecodable(uint32_t sample)
    {
        memcpy(failure.sample, font->samples[sample].name, sizeof failure.sample);
        return Damaged(DAMAGE_SAMPLE_UNDECODABLE);
    }
    void ReadZone(Table bags, Table gens, Table mods, uint32_t bag, bool presetLevel, int linkGen, RawZone& z);
    bool ReadInstruments();
    bool ReadPresets();
    bool ReadSampleData();
    const uint8_t* Record(Table t, uint32_t i) const { return &tables_[t][(size_t)i * kRecordBytes[t]]; }
    uint32_t Count(Table t) const { return (uint32_t)(tables_[t].size() / kRecordBytes[t]); }

    Source& src_;
    ChunkPos info_, ifil_, sdta_, smpl_, pdta_, table_[T_COUNT];
    std::vector<uint8_t> tables_[T_COUNT];
    std::vector<bool> sampleUsable_, sampleLoopValid_;
    bool packed_ = false;   // SF3: the samples were decoded (or copied) into the font's data already
};

// Chunks are padded to an even size, but some writers leave the pad byte out after an odd
// one (MuseScore's SF3 fonts, after their sample data). A pad byte is zero; a chunk header
// is four printable characters and a size that fits: what lies at `at` decides.
bool Loader::UnpaddedChunkFollows(uint64_t at, uint64_t end)
{
    uint8_t head[8];
    if (end - at < 8 || !src_.Read(at, head, 8) || head[0] == 0)
        return false;
    for (int i = 0; i < 4; ++i)
        if (head[i] < 0x20 || head[i] > 0x7E)
            return false;
    return U32(head + 4) <= end - at - 8;
}

// Walks the chunks of one list body [at, end): records the lists and chunks the font needs,
// each where the format puts it.
bool Loader::WalkList(uint64_t at, uint64_t end, List list)
{
    while (end - at >= 8) {
        uint8_t head[12];
        if (!src_.Read(at, head, 8))
            return Damaged(DAMAGE_CUT_SHORT);
        uint32_t size = U32(head + 4);
        uint64_t body = at + 8;
        if (size > end - body)
            return Damaged(DAMAGE_CHUNK_TOO_LARGE);
        if (list == TOP && memcmp(head, "LIST", 4) == 0 && size >= 4) {
            if (!src_.Read(body, head + 8, 4))
                return Damaged(DAMAGE_CUT_SHORT);
            List inner = memcmp(head + 8, "INFO", 4) == 0   ? INFO
                         : memcmp(head + 8, "sdta", 4) == 0 ? SDTA
                         : memcmp(head + 8, "pdta", 4) == 0 ? PDTA
                                                            : TOP;
            ChunkPos* pos = inner == INFO ? &info_ : inner == SDTA ? &sdta_ : inner == PDTA ? &pdta_ : nullptr;
            if (pos && !pos->found) {
                pos->found = true;
                pos->at = body + 4;
                pos->size = size - 4;
                if (!WalkList(body + 4, body + size, inner))
                    return false;
            }
        } else if (list != TOP) {
            ChunkPos* chunk = nullptr;
            if (list == INFO && memcmp(head, "ifil", 4) == 0)
                chunk = &ifil_;
            else if (list == SDTA && memcmp(head, "smpl", 4) == 0)
                chunk = &smpl_;
            for (int t = 0; t < T_COUNT && !chunk && list == PDTA; ++t)
                if (memcmp(head, kTableId[t], 4) == 0)
                    chunk = &table_[t];
            if (chunk && !chunk->found) {
                chunk->found = true;
                chunk->at = body;
                chunk->size = size;
            }
        }
        at = body + size;
        if ((size & 1) && !UnpaddedChunkFollows(at, end))
            ++at;
        if (at > end)
            at = end;
    }
    return true;
}

bool Loader::Load()
{
    uint8_t head[12];
    if (!src_.Read(0, head, 12) || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "sfbk", 4) != 0)
        return Fail(SF_LOAD_NOT_SOUNDFONT);
    uint32_t riffSize = U32(head + 4);
    // The file must hold all its header promises; bytes after it are ignored.
    if (riffSize < 4 || (uint64_t)riffSize + 8 > src_.Size())
        return Damaged(DAMAGE_CUT_SHORT);
    if (!WalkList(12, (uint64_t)riffSize + 8, TOP))
        return false;

    if (!pdta_.found)
        return Damaged(DAMAGE_NO_PRESET_DATA);
    if (!ReadTables())
        return false;
    if (!sdta_.found || !smpl_.found)
        return Damaged(DAMAGE_NO_SAMPLE_DATA);

    try {
        font = new SoundFont;
        return ReadSamples() && ReadInstruments() && ReadPresets() && ReadSampleData();
    } catch (const std::bad_alloc&) {
        return Fail(SF_LOAD_NO_MEMORY);
    }
}

bool Loader::ReadTables()
{
    for (int t = 0; t < T_COUNT; ++t) {
        const ChunkPos& c = table_[t];
        if (!c.found)
            return Damaged(DAMAGE_TABLE_MISSING, (Table)t);
        if (c.size % kRecordBytes[t] != 0)
            return Damaged(DAMAGE_TABLE_SIZE, (Table)t);
        if (c.size == 0)
            return Damaged(DAMAGE_NO_CLOSING_RECORD, (Table)t);
        try {
            tables_[t].resize(c.size);
        } catch (const std::bad_alloc&) {
            return Fail(SF_LOAD_NO_MEMORY);
        }
        if (!src_.Read(c.at, tables_[t].data(), c.size))
            return Damaged(DAMAGE_CUT_SHORT);
    }
    // Each record names its first record in the table below it (a preset its first zone, a
    // zone its first generator and modulator; the same for instruments), and each closing
    // record the closing record below.
    return CheckIndices(T_PHDR, 24, T_PBAG) && CheckIndices(T_PBAG, 0, T_PGEN) && CheckIndices(T_PBAG, 2, T_PMOD) &&
           CheckIndices(T_INST, 20, T_IBAG) && CheckIndices(T_IBAG, 0, T_IGEN) && CheckIndices(T_IBAG, 2, T_IMOD);
}

// The 16-bit indices at offset of every record of table from, into table into: never
// decreasing, and the closing record's exactly into's closing record. An index one past
// into's last record means into lacks its closing record; a closing record naming less than
// into's last record means from lacks its own (the last real record took its place).
bool Loader::CheckIndices(Table from, size_t offset, Table into)
{
    uint32_t n = Count(from), limit = Count(into) - 1, previous = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t index = U16(Record(from, i) + offset);
        if (index < previous)
            return Damaged(DAMAGE_INDEX_BACKWARDS, from);
        if (index > limit)
            return index == limit + 1 ? Damaged(DAMAGE_NO_CLOSING_RECORD, into)
                                      : Damaged(DAMAGE_INDEX_PAST_END, from, into);
        previous = index;
    }
    if (previous < limit)
        return Damaged(DAMAGE_NO_CLOSING_RECORD, from);
    return true;
}

bool Loader::ReadSamples()
{
    uint32_t n = Count(T_SHDR) - 1;
    uint64_t frames = smpl_.size / 2;
    font->samples.resize(n);
    sampleUsable_.assign(n, false);
    sampleLoopValid_.assign(n, false);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* r = Record(T_SHDR, i);
        SfSample& s = font->samples[i];
        memcpy(s.name, r, 20);
        s.name[20] = '\0';
        s.start = U32(r + 20);
        s.end = U32(r + 24);
        s.loopStart = U32(r + 28);
        s.loopEnd = U32(r + 32);
        s.sampleRateHz = U32(r + 36);
        s.originalKey = r[40];
        s.pitchCorrectionCents = (int8_t)r[41];
        s.type = U16(r + 44);
        // Samples in a sound card's memory are not in the file; they cannot sound here.
        if (!(s.type & SF_SAMPLE_ROM) && (s.type & SF_SAMPLE_VORBIS))
            packed_ = true;
    }
    for (uint32_t i = 0; i < n && !packed_; ++i) {
        SfSample& s = font->samples[i];
        if (s.type & SF_SAMPLE_ROM)
            continue;
        if (s.end > frames)
            return Damaged(DAMAGE_SAMPLE_PAST_DATA);
        if (s.start >= s.end)
            continue;
        sampleUsable_[i] = true;
        sampleLoopValid_[i] = s.start <= s.loopStart && s.loopStart < s.loopEnd && s.loopEnd <= s.end;
        // A loop the font never plays may be nonsense; keep it inside the sample all the same.
        if (!sampleLoopValid_[i]) {
            s.loopStart = s.start;
            s.loopEnd = s.end;
        }
    }
    if (packed_ && !ReadPackedSamples())
        return false;
    for (SfSample& s : font->samples) {
        if (s.sampleRateHz == 0)
            s.sampleRateHz = 44100;
        if (s.originalKey > 127)
            s.originalKey = 60;
    }
    return true;
}

namespace {

// One sample of an SF3 font on its way into the font's data: where its bytes lie in the
// file's sample data, where its frames go, and its loop counted from its own first frame.
struct PackedSample {
    uint32_t sample;
    bool vorbis;
    uint64_t from, bytes;
    uint64_t at;                 // first frame in the font's data
    uint32_t frames;             // as many as the stream says, or the copied ones
    int64_t loopStart, loopEnd;
    uint32_t decoded = 0;
    bool ok = true;
};

// A Vorbis packet yields at most 4,096 new frames and takes at least a byte: a stream that
// says it holds more is lying.
const uint64_t kMaxFramesPerByte = 4096;
// The most frames the decoded data of one font may hold (2 GB).
const uint64_t kMaxPackedFrames = (uint64_t)1 << 30;

void UnpackOne(PackedSample& p, const uint8_t* bytes, int16_t* pcm)
{
    int16_t* out = pcm + p.at;
    if (p.vorbis)
        p.ok = DecodeVorbis(bytes + p.from, (size_t)p.bytes, out, p.frames, &p.decoded);
    else {
        memcpy(out, bytes + p.from, (size_t)p.frames * 2);   // little-endian, as the file
        p.decoded = p.frames;
    }
    // Zero frames after what was written, so interpolation may read past the end; frames the
    // stream promised but did not hold are left untouched, never played.
    memset(out + p.decoded, 0, kGuardFrames * sizeof(int16_t));
}

// Decodes every sample, on as many threads as the machine has cores (up to 8).
void UnpackAll(std::vector<PackedSample>& all, const uint8_t* bytes, int16_t* pcm)
{
    std::atomic<size_t> next(0);
    auto work = [&all, &next, bytes, pcm] {
        for (size_t k; (k = next.fetch_add(1)) < all.size();)
            UnpackOne(all[k], bytes, pcm);
    };
#ifdef _GLIBCXX_HAS_GTHREADS
    unsigned cores = std::thread::hardware_concurrency();
    unsigned helpers = std::min(cores > 1 ? cores - 1 : 0u, 7u);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::exception&) {
            break;   // fewer threads: the calling one does the rest
        }
    }
    work();
    for (std::thread& t : threads)
        t.join();
#else
    work();
#endif
}

}  // namespace

// SF3: a Vorbis sample's start and end are byte offsets of its stream in the sample data,
// its loop counts decoded frames from its own first frame; an uncompressed sample keeps the
// SF2 meaning. Every sample is decoded (or copied) into new data, one after another, each
// followed by zero frames, and its positions are set to where it lies there.
bool Loader::ReadPackedSamples()
{
    std::vector<uint8_t> bytes(smpl_.size);
    if (!src_.Read(smpl_.at, bytes.data(), bytes.size()))
        return Damaged(DAMAGE_CUT_SHORT);
    std::vector<PackedSample> all;
    uint64_t at = 0;
    for (uint32_t i = 0; i < (uint32_t)font->samples.size(); ++i) {
        const SfSample& s = font->samples[i];
        if (s.type & SF_SAMPLE_ROM)
            continue;
        PackedSample p;
        p.sample = i;
        p.vorbis = (s.type & SF_SAMPLE_VORBIS) != 0;
        if (p.vorbis) {
            if (s.end > smpl_.size)
                return Damaged(DAMAGE_SAMPLE_PAST_DATA);
            if (s.start >= s.end)
                continue;
            p.from = s.start;
            p.bytes = s.end - s.start;
            uint64_t frames = 0;
            if (!VorbisStreamFrames(bytes.data() + p.from, (size_t)p.bytes, &frames) ||
                frames > kMaxFramesPerByte * p.bytes)
                return Undecodable(i);
            if (frames == 0)
                continue;
            p.frames = (uint32_t)std::min<uint64_t>(frames, kMaxPackedFrames);
            p.loopStart = s.loopStart;
            p.loopEnd = s.loopEnd;
        } else {
            if (s.end > smpl_.size / 2)
                return Damaged(DAMAGE_SAMPLE_PAST_DATA);
            if (s.start >= s.end)
                continue;
            p.from = (uint64_t)s.start * 2;
            p.bytes = (uint64_t)(s.end - s.start) * 2;
            p.frames = s.end - s.start;
            p.loopStart = (int64_t)s.loopStart - s.start;
            p.loopEnd = (int64_t)s.loopEnd - s.start;
        }
        p.at = at;
        at += (uint64_t)p.frames + kGuardFrames;
        if (at > kMaxPackedFrames)
            return Fail(SF_LOAD_NO_MEMORY);
        all.push_back(p);
    }
    font->frames = (uint32_t)at;
    font->pcm.reset(new int16_t[(size_t)at + kGuardFrames]);
    memset(font->pcm.get() + at, 0, kGuardFrames * sizeof(int16_t));
    UnpackAll(all, bytes.data(), font->pcm.get());

    for (const PackedSample& p : all) {
        if (!p.ok)
            return Undecodable(p.sample);
        SfSample& s = font->samples[p.sample];
        s.start = (uint32_t)p.at;
        s.end = (uint32_t)(p.at + p.decoded);
        if (p.decoded == 0)
            continue;
        sampleUsable_[p.sample] = true;
        sampleLoopValid_[p.sample] = p.loopStart >= 0 && p.loopStart < p.loopEnd && p.loopEnd <= (int64_t)p.decoded;
        s.loopStart = sampleLoopValid_[p.sample] ? (uint32_t)(p.at + p.loopStart) : s.start;
        s.loopEnd = sampleLoopValid_[p.sample] ? (uint32_t)(p.at + p.loopEnd) : s.end;
    }
    // Samples that did not make it into the data (empty or in a sound card's memory) hold
    // positions inside it all the same.
    for (uint32_t i = 0; i < (uint32_t)font->samples.size(); ++i)
        if (!sampleUsable_[i]) {
            SfSample& s = font->samples[i];
            s.start = s.end = s.loopStart = s.loopEnd = 0;
        }
    return true;
}

// One zone: generators in file order up to the link (what follows it is ignored), then the
// modulators, the later of two identical ones ignored.
void Loader::ReadZone(Table bags, Table gens, Table mods, uint32_t bag, bool presetLevel, int linkGen, RawZone& z)
{
    for (int g = 0; g < GEN_COUNT; ++g) {
        z.gen[g] = presetLevel ? 0 : DefaultValue(g);
        z.set[g] = false;
    }
    z.link = -1;
    z.mods.clear();
    uint32_t g0 = U16(Record(bags, bag)), g1 = U16(Record(bags, bag + 1));
    for (uint32_t i = g0; i < g1; ++i) {
        const uint8_t* r = Record(gens, i);
        int oper = U16(r);
        if (oper == linkGen) {
            z.link = U16(r + 2);
            break;
        }
        if (oper == GEN_KEY_RANGE || oper == GEN_VEL_RANGE) {
            z.gen[oper] = r[2] | r[3] << 8;
            z.set[oper] = true;
        } else if (IsValueGenerator(oper) && !(presetLevel && IsInstrumentOnly(oper))) {
            z.gen[oper] = (int16_t)U16(r + 2);
            z.set[oper] = true;
        }
    }
    // A voice holds no more than SF_MAX_VOICE_MODS, so neither does a zone; the cap also keeps
    // the search for identical ones short.
    uint32_t m0 = U16(Record(bags, bag) + 2), m1 = U16(Record(bags, bag + 1) + 2);
    for (uint32_t i = m0; i < m1 && z.mods.size() < SF_MAX_VOICE_MODS; ++i) {
        const uint8_t* r = Record(mods, i);
        SfModulator m = {U16(r), U16(r + 2), (int16_t)U16(r + 4), U16(r + 6), U16(r + 8)};
        if (!ModulatorIsValid(m))
            continue;
        bool seen = false;
        for (const SfModulator& k : z.mods)
            seen = seen || SameModulator(k, m);
        if (!seen)
            z.mods.push_back(m);
    }
}

// A local zone's values over its level's global zone.
void Inherit(RawZone& local, const RawZone& global)
{
    for (int g = 0; g < GEN_COUNT; ++g)
        if (!local.set[g] && global.set[g]) {
            local.gen[g] = global.gen[g];
            local.set[g] = true;
        }
    size_t own = local.mods.size();
    for (const SfModulator& m : global.mods) {
        if (local.mods.size() >= SF_MAX_VOICE_MODS)
            break;
        bool replaced = false;
        for (size_t k = 0; k < own; ++k)
            replaced = replaced || SameModulator(local.mods[k], m);
        if (!replaced)
            local.mods.push_back(m);
    }
}

void SplitRange(int32_t packed, uint8_t* lo, uint8_t* hi)
{
    *lo = (uint8_t)std::min(packed & 0xFF, 127);
    *hi = (uint8_t)std::min((packed >> 8) & 0xFF, 127);
}

bool Loader::ReadInstruments()
{
    uint32_t n = Count(T_INST) - 1, nSamples = (uint32_t)font->samples.size();
    font->instruments.resize(n);
    RawZone global, zone;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t b0 = U16(Record(T_INST, i) + 20), b1 = U16(Record(T_INST, i + 1) + 20);
        Range& range = font->instruments[i];
        range.first = (uint32_t)font->instZones.size();
        bool hasGlobal = false;
        for (uint32_t b = b0; b < b1; ++b) {
            ReadZone(T_IBAG, T_IGEN, T_IMOD, b, false, GEN_SAMPLE_ID, zone);
            if (zone.link < 0) {
                if (b == b0) {
                    global = zone;
                    hasGlobal = true;
                }
                continue;
            }
            if ((uint32_t)zone.link >= nSamples)
                return Damaged(zone.link == (int)nSamples ? DAMAGE_NO_CLOSING_RECORD : DAMAGE_NO_SUCH_SAMPLE, T_SHDR);
            if (!sampleUsable_[zone.link])
                continue;
            if (hasGlobal)
                Inherit(zone, global);
            if ((zone.gen[GEN_SAMPLE_MODES] & 1) && !sampleLoopValid_[zone.link])
                return Damaged(DAMAGE_LOOP_OUTSIDE_SAMPLE);
            InstZone iz;
            memcpy(iz.gen, zone.gen, sizeof iz.gen);
            iz.gen[GEN_SAMPLE_ID] = zone.link;
            SplitRange(zone.gen[GEN_KEY_RANGE], &iz.keyLo, &iz.keyHi);
            SplitRange(zone.gen[GEN_VEL_RANGE], &iz.velLo, &iz.velHi);
            iz.sample = (uint32_t)zone.link;
            iz.firstMod = (uint32_t)font->mods.size();
            iz.nMods = (uint32_t)zone.mods.size();
            font->mods.insert(font->mods.end(), zone.mods.begin(), zone.mods.end());
            font->instZones.push_back(iz);
        }
        range.count = (uint32_t)font->instZones.size() - range.first;
    }
    return true;
}

bool Loader::ReadPresets()
{
    uint32_t n = Count(T_PHDR) - 1, nInstruments = (uint32_t)font->instruments.size();
    font->presets.resize(n);
    RawZone global, zone;
    for (uint32_t p = 0; p < n; ++p) {
        const uint8_t* r = Record(T_PHDR, p);
        PresetInfo& info = font->presets[p];
        memcpy(info.name, r, 20);
        info.name[20] = '\0';
        info.program = U16(r + 20);
        info.bank = U16(r + 22);
        uint32_t b0 = U16(r + 24), b1 = U16(Record(T_PHDR, p + 1) + 24);
        info.zones.first = (uint32_t)font->presetZones.size();
        bool hasGlobal = false;
        uint32_t pairs = 0;
        for (uint32_t b = b0; b < b1; ++b) {
            ReadZone(T_PBAG, T_PGEN, T_PMOD, b, true, GEN_INSTRUMENT, zone);
            if (zone.link < 0) {
                if (b == b0) {
                    global = zone;
                    hasGlobal = true;
                }
                continue;
            }
            if ((uint32_t)zone.link >= nInstruments)
                return Damaged(zone.link == (int)nInstruments ? DAMAGE_NO_CLOSING_RECORD : DAMAGE_NO_SUCH_INSTRUMENT,
                               T_INST);
            pairs += font->instruments[zone.link].count;
            if (pairs > kMaxZonePairs)
                break;
            if (hasGlobal)
                Inherit(zone, global);
            PresetZone pz;
            memcpy(pz.gen, zone.gen, sizeof pz.gen);
            // Ranges and links are combined apart, never added.
            pz.gen[GEN_KEY_RANGE] = pz.gen[GEN_VEL_RANGE] = 0;
            pz.gen[GEN_INSTRUMENT] = 0;
            uint8_t lo = 0, hi = 127;
            SplitRange(zone.set[GEN_KEY_RANGE] ? zone.gen[GEN_KEY_RANGE] : 127 << 8, &lo, &hi);
            pz.keyLo = lo, pz.keyHi = hi;
            SplitRange(zone.set[GEN_VEL_RANGE] ? zone.gen[GEN_VEL_RANGE] : 127 << 8, &lo, &hi);
            pz.velLo = lo, pz.velHi = hi;
            pz.instrument = (uint32_t)zone.link;
            pz.firstMod = (uint32_t)font->mods.size();
            pz.nMods = (uint32_t)zone.mods.size();
            font->mods.insert(font->mods.end(), zone.mods.begin(), zone.mods.end());
            font->presetZones.push_back(pz);
        }
        info.zones.count = (uint32_t)font->presetZones.size() - info.zones.first;
    }
    font->byBankProgram.resize(n);
    for (uint32_t p = 0; p < n; ++p)
        font->byBankProgram[p] = p;
    const std::vector<PresetInfo>& presets = font->presets;
    std::stable_sort(font->byBankProgram.begin(), font->byBankProgram.end(), [&presets](uint32_t a, uint32_t b) {
        return presets[a].bank != presets[b].bank ? presets[a].bank < presets[b].bank
                                                  : presets[a].program < presets[b].program;
    });
    for (uint32_t q : font->byBankProgram)
        if (presets[q].bank != 128) {
            font->firstMelodic = (int)q;
            break;
        }
    return true;
}

bool Loader::ReadSampleData()
{
    if (packed_)
        return true;
    uint32_t frames = smpl_.size / 2;
    font->frames = frames;
    font->pcm.reset(new int16_t[(size_t)frames + kGuardFrames]);
    memset(font->pcm.get() + frames, 0, kGuardFrames * sizeof(int16_t));
    uint8_t* bytes = reinterpret_cast<uint8_t*>(font->pcm.get());
    if (!src_.Read(smpl_.at, bytes, (size_t)frames * 2))
        return Damaged(DAMAGE_CUT_SHORT);
    const uint16_t probe = 1;
    if (*reinterpret_cast<const uint8_t*>(&probe) != 1) {
        for (uint32_t i = 0; i < frames; ++i)
            font->pcm[i] = (int16_t)U16(bytes + 2 * (size_t)i);
    }
    return true;
}

const char* BaseName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

int Finish(Loader& loader, const char* displayName, SoundFont** out, char* message, size_t messageSize)
{
    if (loader.failure.result != SF_LOAD_OK) {
        delete loader.font;
        *out = nullptr;
        FormatMessage(loader.failure, displayName ? displayName : "", message, messageSize);
        return loader.failure.result;
    }
    *out = loader.font;
    if (message && messageSize)
        message[0] = '\0';
    return SF_LOAD_OK;
}

}  // namespace

int LoadSoundFont(const uint8_t* data, size_t size, const char* displayName, SoundFont** out, char* message,
                  size_t messageSize)
{
    MemorySource src(data ? data : reinterpret_cast<const uint8_t*>(""), data ? size : 0);
    Loader loader(src);
    loader.Load();
    return Finish(loader, displayName, out, message, messageSize);
}

int LoadSoundFontFile(const char* path, SoundFont** out, char* message, size_t messageSize)
{
    const char* name = BaseName(path);
    FILE* f = fopen(path, "rb");
    long size = -1;
    if (f && fseek(f, 0, SEEK_END) == 0)
        size = ftell(f);
    if (!f || size < 0) {
        if (f)
            fclose(f);
        Failure failure;
        failure.result = SF_LOAD_CANNOT_READ;
        FormatMessage(failure, name, message, messageSize);
        *out = nullptr;
        return SF_LOAD_CANNOT_READ;
    }
    FileSource src(f, (uint64_t)size);
    Loader loader(src);
    loader.Load();
    fclose(f);
    if (src.failed && loader.failure.result != SF_LOAD_OK && loader.failure.result != SF_LOAD_NO_MEMORY)
        loader.failure.result = SF_LOAD_CANNOT_READ;
    return Finish(loader, name, out, message, messageSize);
}

void FreeSoundFont(SoundFont* sf) { delete sf; }

const int16_t* SoundFontPcm(const SoundFont* sf, uint32_t* frames)
{
    if (frames)
        *frames = sf ? sf->frames : 0;
    return sf ? sf->pcm.get() : nullptr;
}

int PresetCount(const SoundFont* sf) { return sf ? (int)sf->presets.size() : 0; }

const char* PresetName(const SoundFont* sf, int preset)
{
    if (!sf || preset < 0 || preset >= (int)sf->presets.size())
        return "";
    return sf->presets[preset].name;
}

int PresetBank(const SoundFont* sf, int preset)
{
    return sf && preset >= 0 && preset < (int)sf->presets.size() ? sf->presets[preset].bank : -1;
}

int PresetProgram(const SoundFont* sf, int preset)
{
    return sf && preset >= 0 && preset < (int)sf->presets.size() ? sf->presets[preset].program : -1;
}

int FindPreset(const SoundFont* sf, int bank, int program)
{
    if (!sf)
        return -1;
    const std::vector<uint32_t>& order = sf->byBankProgram;
    const int64_t key = (int64_t)bank << 16 | (int64_t)(program & 0xFFFF);
    auto at = std::lower_bound(order.begin(), order.end(), key, [sf](uint32_t p, int64_t k) {
        return ((int64_t)sf->presets[p].bank << 16 | sf->presets[p].program) < k;
    });
    if (at != order.end() && sf->presets[*at].bank == bank && sf->presets[*at].program == program)
        return (int)*at;
    return -1;
}

// The preset of bank with the lowest program, or -1.
static int FirstOfBank(const SoundFont* sf, int bank)
{
    const std::vector<uint32_t>& order = sf->byBankProgram;
    auto at = std::lower_bound(order.begin(), order.end(), bank, [sf](uint32_t p, int b) { return sf->presets[p].bank < b; });
    return at != order.end() && sf->presets[*at].bank == bank ? (int)*at : -1;
}

int ResolvePreset(const SoundFont* sf, int bank, int program, bool drums)
{
    if (!sf || sf->presets.empty())
        return -1;
    int p = FindPreset(sf, bank, program);
    if (p >= 0)
        return p;
    if (drums) {
        if ((p = FindPreset(sf, 128, program)) >= 0 || (p = FindPreset(sf, 128, 0)) >= 0 || (p = FirstOfBank(sf, 128)) >= 0)
            return p;
    }
    if ((p = FindPreset(sf, 0, program)) >= 0 || (p = FirstOfBank(sf, 0)) >= 0)
        return p;
    // A font without bank 0: its first melodic preset, else its first of all.
    return sf->firstMelodic >= 0 ? sf->firstMelodic : (int)sf->byBankProgram[0];
}

int FindNoteZones(const SoundFont* sf, int preset, int key, int velocity, NoteZone* out, int max)
{
    if (!sf || preset < 0 || preset >= (int)sf->presets.size() || key < 0 || key > 127 || velocity < 0 ||
        velocity > 127 || !out)
        return 0;
    int n = 0;
    const Range& pzones = sf->presets[preset].zones;
    for (uint32_t i = 0; i < pzones.count; ++i) {
        const PresetZone& pz = sf->presetZones[pzones.first + i];
        if (key < pz.keyLo || key > pz.keyHi || velocity < pz.velLo || velocity > pz.velHi)
            continue;
        const Range& izones = sf->instruments[pz.instrument];
        for (uint32_t j = 0; j < izones.count; ++j) {
            const InstZone& iz = sf->instZones[izones.first + j];
            if (key < iz.keyLo || key > iz.keyHi || velocity < iz.velLo || velocity > iz.velHi)
                continue;
            if (n >= max)
                return n;
            NoteZone& z = out[n++];
            for (int g = 0; g < GEN_COUNT; ++g)
                z.gen[g] = iz.gen[g] + pz.gen[g];
            z.gen[GEN_KEY_RANGE] = std::max(iz.keyLo, pz.keyLo) | std::min(iz.keyHi, pz.keyHi) << 8;
            z.gen[GEN_VEL_RANGE] = std::max(iz.velLo, pz.velLo) | std::min(iz.velHi, pz.velHi) << 8;
            z.gen[GEN_INSTRUMENT] = (int32_t)pz.instrument;
            z.sample = &sf->samples[iz.sample];

            int m = 0;
            for (int d = 0; d < kDefaultModCount; ++d)
                z.mods[m++] = kDefaultMods[d];
            for (uint32_t k = 0; k < iz.nMods; ++k) {
                const SfModulator& mod = sf->mods[iz.firstMod + k];
                int same = 0;
                while (same < kDefaultModCount && !SameModulator(z.mods[same], mod))
                    ++same;
                if (same < kDefaultModCount)
                    z.mods[same] = mod;
                else if (m < SF_MAX_VOICE_MODS)
                    z.mods[m++] = mod;
            }
            for (uint32_t k = 0; k < pz.nMods && m < SF_MAX_VOICE_MODS; ++k)
                z.mods[m++] = sf->mods[pz.firstMod + k];
            // A modulator of amount 0 gives nothing (the font's way to turn a default off).
            int kept = 0;
            for (int k = 0; k < m; ++k)
                if (z.mods[k].amount != 0)
                    z.mods[kept++] = z.mods[k];
            z.nMods = kept;
        }
    }
    return n;
}
