// Builds SoundFont 2 images in memory for tests. Header only.
//
//   sf2::Font font;
//   int sine = font.AddSample(sf2::Sample("sine", sf2::Sine(2000, 100)).Root(69).Rate(44100).Loop(100, 1900));
//   int piano = font.AddInstrument(sf2::Instrument("Piano")
//       .Add(sf2::Zone().Gen(GEN_RELEASE_VOL_ENV, -2400))                  // first zone, no sample: global
//       .Add(sf2::Zone().Keys(0, 63).Gen(GEN_SAMPLE_MODES, 1).Sample(sine))
//       .Add(sf2::Zone().Keys(64, 127).Mod(0x0502, GEN_INITIAL_ATTENUATION, 480).Sample(sine)));
//   font.AddPreset(sf2::Preset("Grand", 0, 0).Add(sf2::Zone().Instrument(piano)));
//   std::vector<uint8_t> bytes = font.Bytes();
//
// Generator and modulator numbers are the format's (use the GEN_ names of synth/soundfont.h).
// Zone::Gen() appends generators in call order; Keys() and Vels() go first as the format wants;
// the zone's link (Sample() or Instrument()) is written last. A zone without a link is written
// without one, so a first such zone is its level's global zone.
//
// Samples are laid out one after another in the sample data, each followed by 46 zero frames;
// loop points are given relative to the sample's own first frame.
//
// SF3: Sample::Vorbis() makes a sample an Ogg Vorbis stream (the bytes of a .ogg file), put
// in the sample data as it is; its header then gives the stream's byte offsets and a loop
// counted in decoded frames from its start, as MuseScore's fonts do. Font::padChunks = false
// leaves out the pad byte after odd-sized chunks, as those fonts do.
//
// Broken files: Sample::EndAdjust() moves a sample's end, loops may lie anywhere, and
// Font::edit lets a test change the body of any chunk ("phdr", "shdr", "smpl", "ifil", ...)
// before it is wrapped (drop a table's closing record with DropLast(), break an index with
// PutLE16()); Font::chunkSize writes a false size for a chunk; Truncate() cuts the image and
// FindChunk() gives where a chunk's header lies in it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sf2 {

typedef std::vector<uint8_t> Bytes;

inline void PutLE(Bytes& out, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        out.push_back(i < 4 ? (uint8_t)(v >> (8 * i)) : 0);   // wider fields are zero-filled
}
inline void PutLE16(Bytes& b, size_t at, uint16_t v) { b[at] = (uint8_t)v; b[at + 1] = (uint8_t)(v >> 8); }
inline void PutLE32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = (uint8_t)(v >> (8 * i));
}
inline void PutName(Bytes& out, const std::string& name, size_t n = 20)
{
    for (size_t i = 0; i < n; ++i)
        out.push_back(i < name.size() ? (uint8_t)name[i] : 0);
}

// Test signals, 16-bit.
inline std::vector<int16_t> Sine(int frames, double periodFrames, int amplitude = 16000)
{
    std::vector<int16_t> s((size_t)frames);
    for (int i = 0; i < frames; ++i)
        s[(size_t)i] = (int16_t)std::lround(amplitude * std::sin(2 * 3.14159265358979323846 * i / periodFrames));
    return s;
}
inline std::vector<int16_t> Square(int frames, int periodFrames, int amplitude = 16000)
{
    std::vector<int16_t> s((size_t)frames);
    for (int i = 0; i < frames; ++i)
        s[(size_t)i] = (int16_t)((i % periodFrames) < periodFrames / 2 ? amplitude : -amplitude);
    return s;
}
inline std::vector<int16_t> Silence(int frames) { return std::vector<int16_t>((size_t)frames, 0); }

struct GenRecord {
    uint16_t oper;
    uint16_t amount;   // as the file holds it: a signed or unsigned word, or lo | hi << 8 for ranges
};

struct ModRecord {
    uint16_t src, dest;
    int16_t amount;
    uint16_t amtSrc, trans;
};

struct Zone {
    std::vector<GenRecord> gens;
    std::vector<ModRecord> mods;
    int link = -1;   // sample (instrument zone) or instrument (preset zone); -1: none

    Zone& Gen(int oper, int value) { gens.push_back({(uint16_t)oper, (uint16_t)(int16_t)value}); return *this; }
    Zone& Range(int oper, int lo, int hi)
    {
        gens.push_back({(uint16_t)oper, (uint16_t)(lo | hi << 8)});
        return *this;
    }
    // Key range first, velocity range after it (and before anything else).
    Zone& Keys(int lo, int hi)
    {
        gens.insert(gens.begin(), {43, (uint16_t)(lo | hi << 8)});
        return *this;
    }
    Zone& Vels(int lo, int hi)
    {
        size_t at = !gens.empty() && gens[0].oper == 43 ? 1 : 0;
        gens.insert(gens.begin() + (long)at, {44, (uint16_t)(lo | hi << 8)});
        return *this;
    }
    Zone& Mod(uint16_t src, uint16_t dest, int amount, uint16_t amtSrc = 0, uint16_t trans = 0)
    {
        mods.push_back({src, dest, (int16_t)amount, amtSrc, trans});
        return *this;
    }
    Zone& Sample(int index) { link = index; return *this; }
    Zone& Instrument(int index) { link = index; return *this; }
};

struct Sample {
    std::string name;
    std::vector<int16_t> pcm;
    uint32_t rateHz = 44100;
    uint8_t root = 60;
    int8_t correctionCents = 0;
    uint16_t type = 1;    // mono
    uint16_t link = 0;
    int64_t loopStart = -1, loopEnd = -1;   // relative to the first frame (may be negative); -1: 8 frames in, 8 before the end
    int64_t endAdjust = 0;                  // frames added to the end written in the header
    std::vector<uint8_t> vorbis;            // an Ogg Vorbis stream in place of pcm (SF3)

    Sample() {}
    Sample(const std::string& n, const std::vector<int16_t>& p) : name(n), pcm(p) {}
    Sample& Rate(uint32_t hz) { rateHz = hz; return *this; }
    Sample& Root(int key) { root = (uint8_t)key; return *this; }
    Sample& Correction(int cents) { correctionCents = (int8_t)cents; return *this; }
    Sample& Type(int t) { type = (uint16_t)t; return *this; }
    Sample& Loop(int64_t start, int64_t end) { loopStart = start; loopEnd = end; return *this; }
    Sample& EndAdjust(int64_t frames) { endAdjust = frames; return *this; }
    // frames: what the stream decodes to (for the default loop).
    Sample& Vorbis(const std::vector<uint8_t>& stream, int frames)
    {
        vorbis = stream;
        pcm.assign((size_t)frames, 0);
        type |= 0x10;
        return *this;
    }};

struct Instrument {
    std::string name;
    std::vector<Zone> zones;
    explicit Instrument(const std::string& n = "") : name(n) {}
    Instrument& Add(const Zone& z) { zones.push_back(z); return *this; }
};

struct Preset {
    std::string name;
    int bank, program;
    std::vector<Zone> zones;
    explicit Preset(const std::string& n = "", int b = 0, int p = 0) : name(n), bank(b), program(p) {}
    Preset& Add(const Zone& z) { zones.push_back(z); return *this; }
};

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Drops a table's last record (its closing record, when nothing else was dropped).
inline std::function<void(Bytes&)> DropLast(size_t recordBytes)
{
    return [recordBytes](Bytes& b) { b.resize(b.size() >= recordBytes ? b.size() - recordBytes : 0); };
}

class Font {
public:
    std::vector<Sample> samples;
    std::vector<Instrument> instruments;
    std::vector<Preset> presets;
    uint16_t versionMajor = 2, versionMinor = 4;
    std::string name = "Test font";
    bool sm24 = false;   // writes an sm24 chunk (the low bytes of 24-bit samples) after smpl
    bool padChunks = true;   // a pad byte after each odd-sized chunk, as RIFF wants
    // Edits of chunk bodies by id, applied before each body is wrapped in its chunk.
    std::map<std::string, std::function<void(Bytes&)>> edit;
    // False chunk sizes by id ("RIFF", "LIST" is ambiguous: use "INFO", "sdta", "pdta" for the lists).
    std::map<std::string, uint32_t> chunkSize;

    int AddSample(const Sample& s) { samples.push_back(s); return (int)samples.size() - 1; }
    int AddInstrument(const Instrument& i) { instruments.push_back(i); return (int)instruments.size() - 1; }
    int AddPreset(const Preset& p) { presets.push_back(p); return (int)presets.size() - 1; }

    // The frame where sample i starts in the sample data.
    uint32_t SampleStart(size_t i) const { return SampleByte(i) / 2; }
    // The byte where sample i starts in the sample data (a Vorbis stream's own bytes, padded
    // to an even count; the others' frames and 46 zero frames).
    uint32_t SampleByte(size_t i) const
    {
        uint32_t at = 0;
        for (size_t k = 0; k < i; ++k)
            at += samples[k].vorbis.empty() ? ((uint32_t)samples[k].pcm.size() + 46) * 2
                                            : ((uint32_t)samples[k].vorbis.size() + 1) & ~1u;
        return at;
    }

    sf2::Bytes Bytes() const
    {
        sf2::Bytes info = List("INFO", Chunk("ifil", Version()) + Chunk("isng", Z("EMU8000")) + Chunk("INAM", Z(name)));
        sf2::Bytes sdta = Chunk("smpl", SampleData());
        if (sm24) {
            sf2::Bytes low(SampleData().size() / 2, 0);
            if (low.size() % 2)
                low.push_back(0);
            sdta = sdta + Chunk("sm24", low);
        }
        sf2::Bytes pdta = PresetData();
        sf2::Bytes body = {'s', 'f', 'b', 'k'};
        body = body + info + List("sdta", sdta) + List("pdta", pdta);
        return Wrap("RIFF", "RIFF", body);
    }

private:
    static sf2::Bytes Z(const std::string& s)
    {
        sf2::Bytes b(s.begin(), s.end());
        b.push_back(0);
        if (b.size() % 2)
            b.push_back(0);
        return b;
    }
    sf2::Bytes Version() const
    {
        sf2::Bytes b;
        PutLE(b, versionMajor, 2);
        PutLE(b, versionMinor, 2);
        return b;
    }
    sf2::Bytes Wrap(const std::string& id, const std::string& key, sf2::Bytes body) const
    {
        auto e = edit.find(key);
        if (e != edit.end())
            e->second(body);
        sf2::Bytes out(id.begin(), id.end());
        auto s = chunkSize.find(key);
        PutLE(out, s != chunkSize.end() ? s->second : (uint32_t)body.size(), 4);
        out = out + body;
        if (body.size() % 2 && padChunks)
            out.push_back(0);
        return out;
    }
    sf2::Bytes Chunk(const std::string& id, const sf2::Bytes& body) const { return Wrap(id, id, body); }
    sf2::Bytes List(const std::string& type, const sf2::Bytes& body) const
    {
        sf2::Bytes b(type.begin(), type.end());
        return Wrap("LIST", type, b + body);
    }
    sf2::Bytes SampleData() const
    {
        sf2::Bytes b;
        for (const Sample& s : samples) {
            if (!s.vorbis.empty()) {
                b.insert(b.end(), s.vorbis.begin(), s.vorbis.end());
                if (s.vorbis.size() % 2 && &s != &samples.back())
                    b.push_back(0);
                continue;
            }
            for (int16_t v : s.pcm)
                PutLE(b, (uint16_t)v, 2);
            for (int k = 0; k < 46; ++k)
                PutLE(b, 0, 2);
        }
        return b;
    }
    static void PutBagsGensMods(const std::vector<Zone>& zones, sf2::Bytes& bag, sf2::Bytes& gen, sf2::Bytes& mod,
                                size_t& nGens, size_t& nMods, uint16_t linkOper)
    {
        for (const Zone& z : zones) {
            PutLE(bag, (uint32_t)nGens, 2);
            PutLE(bag, (uint32_t)nMods, 2);
            for (const GenRecord& g : z.gens) {
                PutLE(gen, g.oper, 2);
                PutLE(gen, g.amount, 2);
                ++nGens;
            }
            if (z.link >= 0) {
                PutLE(gen, linkOper, 2);
                PutLE(gen, (uint32_t)z.link, 2);
                ++nGens;
            }
            for (const ModRecord& m : z.mods) {
                PutLE(mod, m.src, 2);
                PutLE(mod, m.dest, 2);
                PutLE(mod, (uint16_t)m.amount, 2);
                PutLE(mod, m.amtSrc, 2);
                PutLE(mod, m.trans, 2);
                ++nMods;
            }
        }
    }
    sf2::Bytes PresetData() const
    {
        sf2::Bytes phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
        size_t nBags = 0, nGens = 0, nMods = 0;
        for (const Preset& p : presets) {
            PutName(phdr, p.name);
            PutLE(phdr, (uint32_t)p.program, 2);
            PutLE(phdr, (uint32_t)p.bank, 2);
            PutLE(phdr, (uint32_t)nBags, 2);
            PutLE(phdr, 0, 4);
            PutLE(phdr, 0, 4);
            PutLE(phdr, 0, 4);
            nBags += p.zones.size();
            PutBagsGensMods(p.zones, pbag, pgen, pmod, nGens, nMods, 41);
        }
        PutName(phdr, "EOP");
        PutLE(phdr, 0, 2);
        PutLE(phdr, 0, 2);
        PutLE(phdr, (uint32_t)nBags, 2);
        PutLE(phdr, 0, 12);
        PutLE(pbag, (uint32_t)nGens, 2);
        PutLE(pbag, (uint32_t)nMods, 2);
        PutLE(pgen, 0, 4);
        PutLE(pmod, 0, 10);

        nBags = nGens = nMods = 0;
        for (const Instrument& i : instruments) {
            PutName(inst, i.name);
            PutLE(inst, (uint32_t)nBags, 2);
            nBags += i.zones.size();
            PutBagsGensMods(i.zones, ibag, igen, imod, nGens, nMods, 53);
        }
        PutName(inst, "EOI");
        PutLE(inst, (uint32_t)nBags, 2);
        PutLE(ibag, (uint32_t)nGens, 2);
        PutLE(ibag, (uint32_t)nMods, 2);
        PutLE(igen, 0, 4);
        PutLE(imod, 0, 10);

        for (size_t k = 0; k < samples.size(); ++k) {
            const Sample& s = samples[k];
            uint32_t start = SampleStart(k), n = (uint32_t)s.pcm.size();
            int64_t ls = s.loopStart != -1 ? s.loopStart : (n > 16 ? 8 : 0);
            int64_t le = s.loopEnd != -1 ? s.loopEnd : (n > 16 ? n - 8 : n);
            PutName(shdr, s.name);
            if (!s.vorbis.empty()) {
                uint32_t byte = SampleByte(k);
                PutLE(shdr, byte, 4);
                PutLE(shdr, (uint32_t)(byte + s.vorbis.size() + s.endAdjust), 4);
                PutLE(shdr, (uint32_t)ls, 4);
                PutLE(shdr, (uint32_t)le, 4);
            } else {
                PutLE(shdr, start, 4);
                PutLE(shdr, (uint32_t)(start + n + s.endAdjust), 4);
                PutLE(shdr, (uint32_t)(start + ls), 4);
                PutLE(shdr, (uint32_t)(start + le), 4);
            }
            PutLE(shdr, s.rateHz, 4);
            shdr.push_back(s.root);
            shdr.push_back((uint8_t)s.correctionCents);
            PutLE(shdr, s.link, 2);
            PutLE(shdr, s.type, 2);
        }
        PutName(shdr, "EOS");
        PutLE(shdr, 0, 26);

        return Chunk("phdr", phdr) + Chunk("pbag", pbag) + Chunk("pmod", pmod) + Chunk("pgen", pgen) +
               Chunk("inst", inst) + Chunk("ibag", ibag) + Chunk("imod", imod) + Chunk("igen", igen) +
               Chunk("shdr", shdr);
    }
};

// The bytes of a file (a test's data, a stream to put in a font); empty when it cannot be read.
inline Bytes ReadFile(const std::string& path)
{
    Bytes b;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return b;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        b.insert(b.end(), buf, buf + n);
    fclose(f);
    return b;
}

inline Bytes Truncate(Bytes b, size_t size)
{
    if (b.size() > size)
        b.resize(size);
    return b;
}

// Where the header of the first chunk of id lies (walking the RIFF tree; a list is found by
// its type, "pdta"), or (size_t)-1.
inline size_t FindChunk(const Bytes& b, const std::string& id, size_t from = 12, size_t to = (size_t)-1)
{
    if (to > b.size())
        to = b.size();
    size_t at = from;
    while (at + 8 <= to) {
        uint32_t size = (uint32_t)b[at + 4] | (uint32_t)b[at + 5] << 8 | (uint32_t)b[at + 6] << 16 | (uint32_t)b[at + 7] << 24;
        bool isList = memcmp(&b[at], "LIST", 4) == 0 && at + 12 <= to;
        if (memcmp(&b[at], id.c_str(), 4) == 0 || (isList && memcmp(&b[at + 8], id.c_str(), 4) == 0))
            return at;
        if (isList) {
            size_t inner = FindChunk(b, id, at + 12, at + 8 + size);
            if (inner != (size_t)-1)
                return inner;
        }
        at += 8 + (size_t)size + (size & 1);
    }
    return (size_t)-1;
}

}  // namespace sf2
