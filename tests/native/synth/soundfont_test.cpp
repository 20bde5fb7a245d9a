// The SoundFont loader: what it refuses and why, and the zones a note sounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "sf2build.h"
#include "synth/soundfont.h"

namespace {

struct FontDeleter {
    void operator()(SoundFont* sf) const { FreeSoundFont(sf); }
};
typedef std::unique_ptr<SoundFont, FontDeleter> FontPtr;

struct Loaded {
    int result;
    std::string message;
    FontPtr font;
};

Loaded LoadBytes(const sf2::Bytes& bytes, const char* name = "test.sf2")
{
    SoundFont* sf = reinterpret_cast<SoundFont*>(&sf);   // must be overwritten
    char message[256] = "unset";
    int result = LoadSoundFont(bytes.data(), bytes.size(), name, &sf, message, sizeof message);
    return Loaded{result, message, FontPtr(sf)};
}

FontPtr MustLoad(const sf2::Font& font)
{
    Loaded l = LoadBytes(font.Bytes());
    EXPECT_EQ(l.result, SF_LOAD_OK) << l.message;
    EXPECT_EQ(l.message, "");
    return std::move(l.font);
}

// Two looped samples, one instrument with a global zone and two key splits, one preset with
// a global zone and one zone: every table has several records, so each can be broken.
sf2::Font BasicFont()
{
    sf2::Font f;
    f.AddSample(sf2::Sample("low", sf2::Sine(1000, 100)).Root(48).Loop(100, 900));
    f.AddSample(sf2::Sample("high", sf2::Square(800, 40)).Root(72).Rate(22050).Correction(-7).Loop(40, 760));
    f.AddInstrument(sf2::Instrument("Split")
                        .Add(sf2::Zone().Gen(GEN_RELEASE_VOL_ENV, -1200).Mod(0x0081, GEN_VIB_LFO_TO_PITCH, 25))
                        .Add(sf2::Zone().Keys(0, 59).Gen(GEN_SAMPLE_MODES, 1).Sample(0))
                        .Add(sf2::Zone().Keys(60, 127).Gen(GEN_SAMPLE_MODES, 1).Mod(0x0587, GEN_INITIAL_ATTENUATION, 480).Sample(1)));
    f.AddPreset(sf2::Preset("Lead", 0, 0)
                    .Add(sf2::Zone().Gen(GEN_COARSE_TUNE, 1))
                    .Add(sf2::Zone().Gen(GEN_PAN, 100).Mod(0x00DB, GEN_REVERB_EFFECTS_SEND, 100).Instrument(0)));
    return f;
}

// Where a chunk id lies in a list's body (the tables follow one another).
size_t IdIn(const sf2::Bytes& body, const char* id)
{
    for (size_t i = 0; i + 4 <= body.size(); ++i)
        if (memcmp(&body[i], id, 4) == 0)
            return i;
    return (size_t)-1;
}
std::function<void(sf2::Bytes&)> RenameChunk(const char* from, const char* to)
{
    return [from, to](sf2::Bytes& b) {
        size_t at = IdIn(b, from);
        if (at != (size_t)-1)
            memcpy(&b[at], to, 4);
    };
}
std::function<void(sf2::Bytes&)> SetWord(size_t at, uint16_t v)
{
    return [at, v](sf2::Bytes& b) { sf2::PutLE16(b, at, v); };
}

const std::string kDamaged = "The SoundFont test.sf2 is damaged: ";

struct Refusal {
    const char* what;
    std::function<sf2::Bytes()> build;
    int result;
    std::string message;
};

sf2::Bytes With(const std::function<void(sf2::Font&)>& change)
{
    sf2::Font f = BasicFont();
    change(f);
    return f.Bytes();
}

TEST(SoundFontLoad, RefusesEachKindOfFaultWithItsMessage)
{
    const Refusal cases[] = {
        {"empty file", [] { return sf2::Bytes(); }, SF_LOAD_NOT_SOUNDFONT, "The file test.sf2 is not a SoundFont."},
        {"a wave file", [] { sf2::Bytes b = BasicFont().Bytes(); memcpy(&b[8], "WAVE", 4); return b; },
         SF_LOAD_NOT_SOUNDFONT, "The file test.sf2 is not a SoundFont."},
        {"not RIFF", [] { sf2::Bytes b = BasicFont().Bytes(); memcpy(&b[0], "RIFX", 4); return b; },
         SF_LOAD_NOT_SOUNDFONT, "The file test.sf2 is not a SoundFont."},
        {"cut short", [] { sf2::Bytes b = BasicFont().Bytes(); return sf2::Truncate(b, b.size() - 30); },
         SF_LOAD_DAMAGED, kDamaged + "the file is cut short."},
        {"header only", [] { return sf2::Truncate(BasicFont().Bytes(), 12); }, SF_LOAD_DAMAGED,
         kDamaged + "the file is cut short."},
        {"RIFF size below its form type", [] { sf2::Bytes b = BasicFont().Bytes(); sf2::PutLE32(b, 4, 2); return b; },
         SF_LOAD_DAMAGED, kDamaged + "the file is cut short."},
        {"sample chunk larger than its list",
         [] { return With([](sf2::Font& f) { f.chunkSize["smpl"] = 2 * (1000 + 46 + 800 + 46) + 64; }); },
         SF_LOAD_DAMAGED, kDamaged + "a chunk is larger than the space that holds it."},
        {"list larger than the file's form",
         [] { return With([](sf2::Font& f) { f.chunkSize["pdta"] = 1000000; }); },
         SF_LOAD_DAMAGED, kDamaged + "a chunk is larger than the space that holds it."},
        {"no preset data", [] { return With([](sf2::Font& f) { f.edit["pdta"] = RenameChunk("pdta", "xdta"); }); },
         SF_LOAD_DAMAGED, kDamaged + "it holds no preset data."},
        {"no sample list", [] { return With([](sf2::Font& f) { f.edit["sdta"] = RenameChunk("sdta", "xdta"); }); },
         SF_LOAD_DAMAGED, kDamaged + "it holds no sample data."},
        {"no sample chunk", [] { return With([](sf2::Font& f) { f.edit["sdta"] = RenameChunk("smpl", "smpx"); }); },
         SF_LOAD_DAMAGED, kDamaged + "it holds no sample data."},
        {"table missing", [] { return With([](sf2::Font& f) { f.edit["pdta"] = RenameChunk("ibag", "ibax"); }); },
         SF_LOAD_DAMAGED, kDamaged + "its preset data lacks the ibag table."},
        {"table of part records", [] { return With([](sf2::Font& f) { f.edit["pgen"] = [](sf2::Bytes& b) { b.resize(b.size() + 2); }; }); },
         SF_LOAD_DAMAGED, kDamaged + "the pgen table does not hold a whole number of records."},
        {"empty table", [] { return With([](sf2::Font& f) { f.edit["pmod"] = [](sf2::Bytes& b) { b.clear(); }; }); },
         SF_LOAD_DAMAGED, kDamaged + "the pmod table lacks its closing record."},
        {"presets unclosed", [] { return With([](sf2::Font& f) { f.edit["phdr"] = sf2::DropLast(38); }); },
         SF_LOAD_DAMAGED, kDamaged + "the phdr table lacks its closing record."},
        {"preset zones unclosed", [] { return With([](sf2::Font& f) { f.edit["pbag"] = sf2::DropLast(4); }); },
         SF_LOAD_DAMAGED, kDamaged + "the pbag table lacks its closing record."},
        {"instruments unclosed", [] { return With([](sf2::Font& f) { f.edit["inst"] = sf2::DropLast(22); }); },
         SF_LOAD_DAMAGED, kDamaged + "the inst table lacks its closing record."},
        {"instrument generators unclosed", [] { return With([](sf2::Font& f) { f.edit["igen"] = sf2::DropLast(4); }); },
         SF_LOAD_DAMAGED, kDamaged + "the igen table lacks its closing record."},
        {"instrument modulators unclosed", [] { return With([](sf2::Font& f) { f.edit["imod"] = sf2::DropLast(10); }); },
         SF_LOAD_DAMAGED, kDamaged + "the imod table lacks its closing record."},
        {"samples unclosed", [] { return With([](sf2::Font& f) { f.edit["shdr"] = sf2::DropLast(46); }); },
         SF_LOAD_DAMAGED, kDamaged + "the shdr table lacks its closing record."},
        {"zone index past the generators", [] { return With([](sf2::Font& f) { f.edit["pbag"] = SetWord(0, 999); }); },
         SF_LOAD_DAMAGED, kDamaged + "the pbag table points past the end of the pgen table."},
        {"preset index past the zones", [] { return With([](sf2::Font& f) { f.edit["phdr"] = SetWord(38 + 24, 500); }); },
         SF_LOAD_DAMAGED, kDamaged + "the phdr table points past the end of the pbag table."},
        {"zones going backwards", [] { return With([](sf2::Font& f) { f.edit["ibag"] = SetWord(2 * 4, 0); }); },
         SF_LOAD_DAMAGED, kDamaged + "the indices of the ibag table go backwards."},
        {"instruments going backwards", [] { return With([](sf2::Font& f) {
             f.AddInstrument(sf2::Instrument("Second").Add(sf2::Zone().Sample(0)));
             f.edit["inst"] = SetWord(20, 4); }); },
         SF_LOAD_DAMAGED, kDamaged + "the indices of the inst table go backwards."},
        {"sample past the data", [] { return With([](sf2::Font& f) { f.samples[1].EndAdjust(47); }); },
         SF_LOAD_DAMAGED, kDamaged + "a sample ends past the sample data."},
        {"looped sample's loop past its end", [] { return With([](sf2::Font& f) { f.samples[0].Loop(100, 1001); }); },
         SF_LOAD_DAMAGED, kDamaged + "a looped sample's loop lies outside the sample."},
        {"looped sample's loop before its start", [] { return With([](sf2::Font& f) { f.samples[1].Loop(-2, 700); }); },
         SF_LOAD_DAMAGED, kDamaged + "a looped sample's loop lies outside the sample."},
        {"looped sample's empty loop", [] { return With([](sf2::Font& f) { f.samples[0].Loop(300, 300); }); },
         SF_LOAD_DAMAGED, kDamaged + "a looped sample's loop lies outside the sample."},
        {"no such sample", [] { return With([](sf2::Font& f) { f.instruments[0].zones[1].Sample(9); }); },
         SF_LOAD_DAMAGED, kDamaged + "an instrument names a sample the font does not hold."},
        {"no such instrument", [] { return With([](sf2::Font& f) { f.presets[0].zones[1].Instrument(4); }); },
         SF_LOAD_DAMAGED, kDamaged + "a preset names an instrument the font does not hold."},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded l = LoadBytes(c.build());
        EXPECT_EQ(l.result, c.result);
        EXPECT_EQ(l.message, c.message);
        EXPECT_EQ(l.font, nullptr);
    }
}

TEST(SoundFontLoad, EveryCutOfAFontIsRefusedWithoutReadingOutside)
{
    sf2::Bytes whole = BasicFont().Bytes();
    for (size_t size = 0; size < whole.size(); ++size) {
        // A copy of exactly size bytes, so the sanitizer sees any read past it.
        std::unique_ptr<uint8_t[]> cut(new uint8_t[size ? size : 1]);
        memcpy(cut.get(), whole.data(), size);
        SoundFont* sf = nullptr;
        char message[256];
        int result = LoadSoundFont(cut.get(), size, "cut.sf2", &sf, message, sizeof message);
        ASSERT_NE(result, SF_LOAD_OK) << size;
        ASSERT_EQ(sf, nullptr);
        ASSERT_NE(strstr(message, "cut.sf2"), nullptr) << message;
    }
}

TEST(SoundFontLoad, ForgivesWhatRealFontsGetWrong)
{
    struct Case {
        const char* what;
        std::function<void(sf2::Font&)> change;
    };
    const Case cases[] = {
        {"bytes after the form", [](sf2::Font&) {}},
        {"an unlooped zone's loop outside its sample", [](sf2::Font& f) {
             f.samples[0].Loop(900, 5000); f.instruments[0].zones[1].gens.back().amount = 0; }},
        {"sample data of 24 bits", [](sf2::Font& f) { f.sm24 = true; }},
        {"version 2.01", [](sf2::Font& f) { f.versionMinor = 1; }},
        {"no version", [](sf2::Font& f) { f.edit["INFO"] = RenameChunk("ifil", "ifix"); }},
        {"chunks the format does not name", [](sf2::Font& f) { f.edit["INFO"] = [](sf2::Bytes& b) {
             sf2::Bytes extra = {'I', 'X', 'Y', 'Z', 3, 0, 0, 0, 'a', 'b', 'c', 0};
             b.insert(b.end(), extra.begin(), extra.end()); }; }},
        {"chunks of the other lists among the information", [](sf2::Font& f) { f.edit["INFO"] = [](sf2::Bytes& b) {
             sf2::Bytes extra = {'s', 'm', 'p', 'l', 2, 0, 0, 0, 1, 2, 'p', 'h', 'd', 'r', 2, 0, 0, 0, 1, 2};
             b.insert(b.begin() + 4, extra.begin(), extra.end()); }; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sf2::Font f = BasicFont();
        c.change(f);
        sf2::Bytes b = f.Bytes();
        if (std::string(c.what) == "bytes after the form")
            b.insert(b.end(), {1, 2, 3, 4, 5});
        FontPtr font = MustLoad(f);
        Loaded l = LoadBytes(b);
        ASSERT_EQ(l.result, SF_LOAD_OK) << l.message;
        NoteZone z[4];
        ASSERT_EQ(FindNoteZones(l.font.get(), 0, 40, 100, z, 4), 1);
        const SfSample& s = *z[0].sample;
        EXPECT_TRUE(s.start <= s.loopStart && s.loopStart < s.loopEnd && s.loopEnd <= s.end);
    }
}

// The top-level lists of an image, reversed (pdta, sdta, INFO): the format fixes their
// order, but nothing depends on it.
sf2::Bytes ListsReversed(const sf2::Bytes& b)
{
    std::vector<sf2::Bytes> lists;
    for (size_t at = 12; at + 8 <= b.size();) {
        size_t size = 8 + (b[at + 4] | b[at + 5] << 8 | b[at + 6] << 16 | (size_t)b[at + 7] << 24);
        lists.push_back(sf2::Bytes(b.begin() + (long)at, b.begin() + (long)(at + size)));
        at += size;
    }
    sf2::Bytes out(b.begin(), b.begin() + 12);
    for (size_t i = lists.size(); i-- > 0;)
        out.insert(out.end(), lists[i].begin(), lists[i].end());
    return out;
}

TEST(SoundFontLoad, ListsInAnyOrder)
{
    sf2::Bytes b = ListsReversed(BasicFont().Bytes());
    ASSERT_EQ(memcmp(&b[20], "pdta", 4), 0);
    Loaded l = LoadBytes(b);
    ASSERT_EQ(l.result, SF_LOAD_OK) << l.message;
    NoteZone z[2];
    ASSERT_EQ(FindNoteZones(l.font.get(), 0, 80, 100, z, 2), 1);
    EXPECT_STREQ(z[0].sample->name, "high");
}

TEST(SoundFontLoad, ZonesOfSamplesNotInTheFileAreLeftOut)
{
    sf2::Font f = BasicFont();
    f.samples[0].type = 0x8001;   // in a sound card's memory
    f.samples[1].EndAdjust(-800); // no frames
    FontPtr font = MustLoad(f);
    NoteZone z[4];
    EXPECT_EQ(FindNoteZones(font.get(), 0, 40, 100, z, 4), 0);
    EXPECT_EQ(FindNoteZones(font.get(), 0, 80, 100, z, 4), 0);
    EXPECT_EQ(PresetCount(font.get()), 1);
}

TEST(SoundFontLoad, KeepsTheSampleDataWithZeroFramesAfterIt)
{
    sf2::Font f = BasicFont();
    FontPtr font = MustLoad(f);
    uint32_t frames = 0;
    const int16_t* pcm = SoundFontPcm(font.get(), &frames);
    ASSERT_EQ(frames, 1000u + 46 + 800 + 46);
    for (size_t i = 0; i < 1000; ++i)
        ASSERT_EQ(pcm[i], f.samples[0].pcm[i]) << i;
    for (size_t i = 0; i < 800; ++i)
        ASSERT_EQ(pcm[1046 + i], f.samples[1].pcm[i]) << i;
    for (uint32_t i = frames; i < frames + 46; ++i)
        ASSERT_EQ(pcm[i], 0) << i;

    NoteZone z[2];
    ASSERT_EQ(FindNoteZones(font.get(), 0, 80, 100, z, 2), 1);
    const SfSample& s = *z[0].sample;
    EXPECT_STREQ(s.name, "high");
    EXPECT_EQ(s.start, 1046u);
    EXPECT_EQ(s.end, 1846u);
    EXPECT_EQ(s.loopStart, 1086u);
    EXPECT_EQ(s.loopEnd, 1806u);
    EXPECT_EQ(s.sampleRateHz, 22050u);
    EXPECT_EQ(s.originalKey, 72);
    EXPECT_EQ(s.pitchCorrectionCents, -7);
    EXPECT_EQ(z[0].gen[GEN_SAMPLE_ID], 1);
}

TEST(SoundFontLoad, FileByPathNamesTheFileAlone)
{
    std::string dir = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/sf_test." + std::to_string(getpid());
#ifdef _WIN32
    mkdir(dir.c_str());
#else
    mkdir(dir.c_str(), 0700);
#endif
    std::string good = dir + "/good.sf2", bad = dir + "/Broken Font.sf2";
    sf2::Bytes b = BasicFont().Bytes();
    FILE* f = fopen(good.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(b.data(), 1, b.size(), f);
    fclose(f);
    f = fopen(bad.c_str(), "wb");
    fwrite(b.data(), 1, b.size() / 2, f);
    fclose(f);

    SoundFont* sf = nullptr;
    char message[256];
    EXPECT_EQ(LoadSoundFontFile(good.c_str(), &sf, message, sizeof message), SF_LOAD_OK);
    ASSERT_NE(sf, nullptr);
    EXPECT_EQ(PresetCount(sf), 1);
    FreeSoundFont(sf);
    EXPECT_EQ(LoadSoundFontFile(bad.c_str(), &sf, message, sizeof message), SF_LOAD_DAMAGED);
    EXPECT_STREQ(message, "The SoundFont Broken Font.sf2 is damaged: the file is cut short.");
    EXPECT_EQ(sf, nullptr);
    EXPECT_EQ(LoadSoundFontFile((dir + "/none.sf2").c_str(), &sf, message, sizeof message), SF_LOAD_CANNOT_READ);
    EXPECT_STREQ(message, "The SoundFont none.sf2 cannot be read.");
    EXPECT_EQ(LoadSoundFontFile(dir.c_str(), &sf, message, sizeof message), SF_LOAD_CANNOT_READ);
    EXPECT_EQ(sf, nullptr);
    // A message buffer too small is cut, never overrun.
    char small[12];
    EXPECT_EQ(LoadSoundFontFile(bad.c_str(), &sf, small, sizeof small), SF_LOAD_DAMAGED);
    EXPECT_STREQ(small, "The SoundFo");
    unlink(good.c_str());
    unlink(bad.c_str());
    rmdir(dir.c_str());
}

// ---- Zones ---------------------------------------------------------------------------------

// One sample, an instrument zone and a preset zone built by the caller's changes.
FontPtr OneZoneFont(const sf2::Zone& inst, const sf2::Zone& preset, const sf2::Zone* instGlobal = nullptr,
                    const sf2::Zone* presetGlobal = nullptr)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("tone", sf2::Sine(500, 50)));
    sf2::Instrument i("I");
    if (instGlobal)
        i.Add(*instGlobal);
    i.Add(sf2::Zone(inst).Sample(0));
    f.AddInstrument(i);
    sf2::Preset p("P", 0, 0);
    if (presetGlobal)
        p.Add(*presetGlobal);
    p.Add(sf2::Zone(preset).Instrument(0));
    f.AddPreset(p);
    return MustLoad(f);
}

NoteZone OnlyZone(const SoundFont* sf, int key = 60, int velocity = 100)
{
    NoteZone z[4];
    int n = FindNoteZones(sf, 0, key, velocity, z, 4);
    EXPECT_EQ(n, 1);
    return z[0];
}

TEST(SoundFontZones, GeneratorsTheFontLeavesHaveTheFormatsDefaults)
{
    FontPtr font = OneZoneFont(sf2::Zone(), sf2::Zone());
    NoteZone z = OnlyZone(font.get());
    const struct { int gen; int32_t value; } defaults[] = {
        {GEN_START_ADDRS_OFFSET, 0}, {GEN_INITIAL_FILTER_FC, 13500}, {GEN_INITIAL_FILTER_Q, 0},
        {GEN_DELAY_MOD_LFO, -12000}, {GEN_FREQ_MOD_LFO, 0}, {GEN_DELAY_VIB_LFO, -12000}, {GEN_FREQ_VIB_LFO, 0},
        {GEN_DELAY_MOD_ENV, -12000}, {GEN_ATTACK_MOD_ENV, -12000}, {GEN_HOLD_MOD_ENV, -12000},
        {GEN_DECAY_MOD_ENV, -12000}, {GEN_SUSTAIN_MOD_ENV, 0}, {GEN_RELEASE_MOD_ENV, -12000},
        {GEN_DELAY_VOL_ENV, -12000}, {GEN_ATTACK_VOL_ENV, -12000}, {GEN_HOLD_VOL_ENV, -12000},
        {GEN_DECAY_VOL_ENV, -12000}, {GEN_SUSTAIN_VOL_ENV, 0}, {GEN_RELEASE_VOL_ENV, -12000},
        {GEN_KEYNUM_TO_VOL_ENV_DECAY, 0}, {GEN_KEY_RANGE, 127 << 8}, {GEN_VEL_RANGE, 127 << 8},
        {GEN_KEYNUM, -1}, {GEN_VELOCITY, -1}, {GEN_INITIAL_ATTENUATION, 0}, {GEN_COARSE_TUNE, 0},
        {GEN_FINE_TUNE, 0}, {GEN_SAMPLE_MODES, 0}, {GEN_SCALE_TUNING, 100}, {GEN_EXCLUSIVE_CLASS, 0},
        {GEN_OVERRIDING_ROOT_KEY, -1}, {GEN_PAN, 0}, {GEN_REVERB_EFFECTS_SEND, 0}, {GEN_CHORUS_EFFECTS_SEND, 0},
    };
    for (const auto& d : defaults)
        EXPECT_EQ(z.gen[d.gen], d.value) << "generator " << d.gen;
    EXPECT_STREQ(z.sample->name, "tone");
}

TEST(SoundFontZones, InstrumentValuesReplaceAndPresetValuesAdd)
{
    sf2::Zone instGlobal = sf2::Zone().Gen(GEN_INITIAL_ATTENUATION, 100).Gen(GEN_PAN, -200).Gen(GEN_SCALE_TUNING, 50);
    sf2::Zone inst = sf2::Zone().Gen(GEN_INITIAL_ATTENUATION, 200).Gen(GEN_COARSE_TUNE, -12).Gen(GEN_RELEASE_VOL_ENV, -2400);
    sf2::Zone presetGlobal = sf2::Zone().Gen(GEN_INITIAL_ATTENUATION, 50).Gen(GEN_COARSE_TUNE, 2).Gen(GEN_FINE_TUNE, 7);
    sf2::Zone preset = sf2::Zone().Gen(GEN_INITIAL_ATTENUATION, 30).Gen(GEN_RELEASE_VOL_ENV, 1200);
    FontPtr font = OneZoneFont(inst, preset, &instGlobal, &presetGlobal);
    NoteZone z = OnlyZone(font.get());
    EXPECT_EQ(z.gen[GEN_INITIAL_ATTENUATION], 200 + 30);   // both locals win over their globals
    EXPECT_EQ(z.gen[GEN_PAN], -200);                        // instrument global where the zone is silent
    EXPECT_EQ(z.gen[GEN_SCALE_TUNING], 50);
    EXPECT_EQ(z.gen[GEN_COARSE_TUNE], -12 + 2);             // preset global added
    EXPECT_EQ(z.gen[GEN_FINE_TUNE], 7);                     // added to the default
    EXPECT_EQ(z.gen[GEN_RELEASE_VOL_ENV], -2400 + 1200);
    EXPECT_EQ(z.gen[GEN_INITIAL_FILTER_FC], 13500);
}

TEST(SoundFontZones, APresetCannotSetWhatOnlyAnInstrumentMay)
{
    const int onlyInstrument[] = {GEN_START_ADDRS_OFFSET, GEN_END_ADDRS_OFFSET, GEN_STARTLOOP_ADDRS_OFFSET,
                                  GEN_ENDLOOP_ADDRS_OFFSET, GEN_START_ADDRS_COARSE_OFFSET, GEN_END_ADDRS_COARSE_OFFSET,
                                  GEN_STARTLOOP_ADDRS_COARSE_OFFSET, GEN_ENDLOOP_ADDRS_COARSE_OFFSET, GEN_KEYNUM,
                                  GEN_VELOCITY, GEN_SAMPLE_MODES, GEN_EXCLUSIVE_CLASS, GEN_OVERRIDING_ROOT_KEY};
    for (int gen : onlyInstrument) {
        SCOPED_TRACE(gen);
        sf2::Zone global = sf2::Zone().Gen(gen, 3);
        FontPtr font = OneZoneFont(sf2::Zone().Gen(gen, 5), sf2::Zone().Gen(gen, 9), nullptr, &global);
        EXPECT_EQ(OnlyZone(font.get()).gen[gen], 5);
    }
}

TEST(SoundFontZones, UnknownGeneratorsAndWhatFollowsTheLinkAreIgnored)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("a", sf2::Sine(500, 50)));
    f.AddSample(sf2::Sample("b", sf2::Sine(500, 25)));
    f.AddInstrument(sf2::Instrument("I").Add(
        sf2::Zone().Gen(14, 77).Gen(59, 77).Gen(60, 77).Gen(99, 77).Gen(GEN_INSTRUMENT, 0).Gen(GEN_PAN, 40).Sample(0)));
    f.AddPreset(sf2::Preset("P").Add(sf2::Zone().Gen(GEN_SAMPLE_ID, 1).Gen(42, 5).Instrument(0)));
    // After the instrument zone's link: a second link and a generator, both ignored.
    f.edit["igen"] = [](sf2::Bytes& b) {
        sf2::Bytes tail = {53, 0, 1, 0, 17, 0, 0x10, 0x27};
        b.insert(b.end() - 4, tail.begin(), tail.end());
    };
    f.edit["ibag"] = [](sf2::Bytes& b) { sf2::PutLE16(b, 4, 9); };
    FontPtr font = MustLoad(f);
    NoteZone z = OnlyZone(font.get());
    EXPECT_STREQ(z.sample->name, "a");
    EXPECT_EQ(z.gen[GEN_PAN], 40);
    EXPECT_EQ(z.gen[GEN_INSTRUMENT], 0);
    EXPECT_EQ(z.gen[GEN_SAMPLE_ID], 0);
    EXPECT_EQ(z.gen[14] + z.gen[59] + z.gen[60], 0);
}

TEST(SoundFontZones, OnlyAFirstZoneWithoutLinkIsGlobal)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("a", sf2::Sine(500, 50)));
    f.AddInstrument(sf2::Instrument("I")
                        .Add(sf2::Zone().Gen(GEN_PAN, 100).Sample(0))
                        .Add(sf2::Zone().Gen(GEN_PAN, 200).Gen(GEN_FINE_TUNE, 9).Mod(0x0081, GEN_FINE_TUNE, 20))   // no link, not first
                        .Add(sf2::Zone().Keys(0, 10).Sample(0)));
    f.AddPreset(sf2::Preset("P")
                    .Add(sf2::Zone().Instrument(0))
                    .Add(sf2::Zone().Gen(GEN_COARSE_TUNE, 3)));   // no link, not first
    FontPtr font = MustLoad(f);
    NoteZone z[4];
    ASSERT_EQ(FindNoteZones(font.get(), 0, 5, 100, z, 4), 2);
    EXPECT_EQ(z[0].gen[GEN_PAN], 100);
    EXPECT_EQ(z[1].gen[GEN_PAN], 0);
    for (const NoteZone& zone : z) {
        if (&zone - z >= 2)
            break;
        EXPECT_EQ(zone.gen[GEN_FINE_TUNE], 0);
        EXPECT_EQ(zone.gen[GEN_COARSE_TUNE], 0);
        EXPECT_EQ(zone.nMods, 10);
    }
}

TEST(SoundFontZones, BothLevelsRangesMustHoldTheNote)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("low", sf2::Sine(500, 50)));
    f.AddSample(sf2::Sample("high", sf2::Sine(500, 25)));
    f.AddSample(sf2::Sample("loud", sf2::Sine(500, 20)));
    f.AddInstrument(sf2::Instrument("I")
                        .Add(sf2::Zone().Vels(0, 99))   // global: the soft zones' range unless their own
                        .Add(sf2::Zone().Keys(0, 63).Sample(0))
                        .Add(sf2::Zone().Keys(64, 127).Sample(1))
                        .Add(sf2::Zone().Keys(60, 70).Vels(100, 127).Sample(2)));
    f.AddPreset(sf2::Preset("P")
                    .Add(sf2::Zone().Keys(55, 75))      // global
                    .Add(sf2::Zone().Instrument(0))
                    .Add(sf2::Zone().Keys(68, 80).Vels(120, 127).Gen(GEN_PAN, 300).Instrument(0)));
    FontPtr font = MustLoad(f);
    struct Case {
        int key, velocity;
        std::vector<std::string> samples;
    };
    const Case cases[] = {
        {40, 100, {}},                       // outside the preset's global range
        {55, 50, {"low"}},
        {63, 99, {"low"}},
        {64, 99, {"high"}},
        {65, 100, {"loud"}},                 // a soft zone's global velocity range excludes it
        {71, 100, {}},                       // the loud zone ends at 70; soft zones end at 99
        {71, 99, {"high"}},
        {70, 120, {"loud", "loud"}},         // both preset zones, each with the loud zone
        {72, 125, {}},                       // the second preset zone's loud zone stops at 70
        {76, 127, {}},
        {127, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << "/" << c.velocity);
        NoteZone z[8];
        int n = FindNoteZones(font.get(), 0, c.key, c.velocity, z, 8);
        std::vector<std::string> got;
        for (int i = 0; i < n; ++i) {
            got.push_back(z[i].sample->name);
            int keyLo = z[i].gen[GEN_KEY_RANGE] & 0xFF, keyHi = z[i].gen[GEN_KEY_RANGE] >> 8;
            int velLo = z[i].gen[GEN_VEL_RANGE] & 0xFF, velHi = z[i].gen[GEN_VEL_RANGE] >> 8;
            EXPECT_TRUE(keyLo <= c.key && c.key <= keyHi && velLo <= c.velocity && c.velocity <= velHi);
        }
        EXPECT_EQ(got, c.samples);
    }
    NoteZone z[8];
    ASSERT_EQ(FindNoteZones(font.get(), 0, 70, 120, z, 8), 2);
    EXPECT_EQ(z[0].gen[GEN_PAN], 0);
    EXPECT_EQ(z[1].gen[GEN_PAN], 300);
    EXPECT_EQ(z[1].gen[GEN_KEY_RANGE], 68 | 70 << 8);   // what both zones share
    EXPECT_EQ(FindNoteZones(font.get(), 0, 70, 120, z, 1), 1);   // no more than asked
    EXPECT_EQ(FindNoteZones(font.get(), 0, 128, 100, z, 8), 0);
    EXPECT_EQ(FindNoteZones(font.get(), 1, 60, 100, z, 8), 0);
    EXPECT_EQ(FindNoteZones(font.get(), -1, 60, 100, z, 8), 0);
}

TEST(SoundFontZones, APresetExaminesABoundedNumberOfZonesPerNote)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("a", sf2::Sine(100, 50)));
    sf2::Instrument wide("Wide");
    for (int i = 0; i < 7999; ++i)
        wide.Add(sf2::Zone().Keys(0, 0).Sample(0));
    wide.Add(sf2::Zone().Keys(5, 5).Sample(0));
    f.AddInstrument(wide);
    // 8,000 zones three times: more than any real font asks of one note.
    f.AddPreset(sf2::Preset("P").Add(sf2::Zone().Instrument(0)).Add(sf2::Zone().Instrument(0)).Add(sf2::Zone().Instrument(0)));
    FontPtr font = MustLoad(f);
    NoteZone z[8];
    EXPECT_EQ(FindNoteZones(font.get(), 0, 5, 100, z, 8), 2);
}

// ---- Modulators ----------------------------------------------------------------------------

const SfModulator* FindMod(const NoteZone& z, uint16_t src, uint16_t dest, int which = 0)
{
    for (int i = 0; i < z.nMods; ++i)
        if (z.mods[i].srcOper == src && z.mods[i].destOper == dest && which-- == 0)
            return &z.mods[i];
    return nullptr;
}

TEST(SoundFontModulators, TheDefaultsWhenTheFontHasNone)
{
    FontPtr font = OneZoneFont(sf2::Zone(), sf2::Zone());
    NoteZone z = OnlyZone(font.get());
    const SfModulator expected[] = {
        {0x0502, GEN_INITIAL_ATTENUATION, 960, 0, 0}, {0x0102, GEN_INITIAL_FILTER_FC, -2400, 0x0D02, 0},
        {0x000D, GEN_VIB_LFO_TO_PITCH, 50, 0, 0},     {0x0081, GEN_VIB_LFO_TO_PITCH, 50, 0, 0},
        {0x0587, GEN_INITIAL_ATTENUATION, 960, 0, 0}, {0x028A, GEN_PAN, 500, 0, 0},
        {0x058B, GEN_INITIAL_ATTENUATION, 960, 0, 0}, {0x00DB, GEN_REVERB_EFFECTS_SEND, 200, 0, 0},
        {0x00DD, GEN_CHORUS_EFFECTS_SEND, 200, 0, 0}, {0x020E, GEN_INITIAL_PITCH, 12700, 0x0010, 0},
    };
    ASSERT_EQ(z.nMods, 10);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(z.mods[i].srcOper, expected[i].srcOper);
        EXPECT_EQ(z.mods[i].destOper, expected[i].destOper);
        EXPECT_EQ(z.mods[i].amount, expected[i].amount);
        EXPECT_EQ(z.mods[i].amtSrcOper, expected[i].amtSrcOper);
        EXPECT_EQ(z.mods[i].transOper, expected[i].transOper);
    }
}

TEST(SoundFontModulators, InstrumentsReplaceIdenticalOnesAndPresetsAdd)
{
    struct Case {
        const char* what;
        sf2::Zone instGlobal, inst, preset;
        int nMods;
        uint16_t src, dest;
        std::vector<int> amounts;   // of every modulator of src to dest, in order
    };
    const Case cases[] = {
        {"an amount of 0 turns a default off (as Debian's fonts do for velocity to cutoff)", sf2::Zone(),
         sf2::Zone().Mod(0x0102, GEN_INITIAL_FILTER_FC, 0, 0x0D02), sf2::Zone(), 9, 0x0102, GEN_INITIAL_FILTER_FC, {}},
        {"an instrument's replaces the default in place", sf2::Zone(), sf2::Zone().Mod(0x0587, GEN_INITIAL_ATTENUATION, 480),
         sf2::Zone(), 10, 0x0587, GEN_INITIAL_ATTENUATION, {480}},
        {"another amount source is another modulator", sf2::Zone(),
         sf2::Zone().Mod(0x0587, GEN_INITIAL_ATTENUATION, 480, 0x0081), sf2::Zone(), 11, 0x0587, GEN_INITIAL_ATTENUATION,
         {960, 480}},
        {"another transform is another modulator", sf2::Zone(), sf2::Zone().Mod(0x028A, GEN_PAN, 250, 0, 2), sf2::Zone(),
         11, 0x028A, GEN_PAN, {500, 250}},
        {"the local zone's replaces the global zone's", sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 10).Mod(0x0082, GEN_PAN, 5),
         sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 20), sf2::Zone(), 12, 0x0081, GEN_FINE_TUNE, {20}},
        {"the global zone's when the local has none like it", sf2::Zone().Mod(0x0082, GEN_PAN, 5),
         sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 20), sf2::Zone(), 12, 0x0082, GEN_PAN, {5}},
        {"a preset's adds to the default", sf2::Zone(), sf2::Zone(), sf2::Zone().Mod(0x00DB, GEN_REVERB_EFFECTS_SEND, 300),
         11, 0x00DB, GEN_REVERB_EFFECTS_SEND, {200, 300}},
        {"a preset's adds to the instrument's", sf2::Zone(), sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 20),
         sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 5), 12, 0x0081, GEN_FINE_TUNE, {20, 5}},
        {"the second of two identical in one zone is ignored", sf2::Zone(),
         sf2::Zone().Mod(0x0081, GEN_FINE_TUNE, 20).Mod(0x0081, GEN_FINE_TUNE, 30), sf2::Zone(), 11, 0x0081, GEN_FINE_TUNE, {20}},
        {"unknown sources, destinations and transforms are ignored", sf2::Zone(),
         sf2::Zone().Mod(0x007F, GEN_PAN, 5).Mod(0x0081, 14, 5).Mod(0x0081, 0x8001, 5).Mod(0x0081, GEN_PAN, 5, 0, 7)
             .Mod(0x1081, GEN_PAN, 5).Mod(0x0081, GEN_PAN, 5, 0x0011).Mod(0x0087 & 0xFF80, GEN_PAN, 5).Mod(0x0086, GEN_PAN, 5),
         sf2::Zone(), 10, 0x0081, GEN_PAN, {}},
        {"a font may aim at the pitch", sf2::Zone(), sf2::Zone().Mod(0x020E, GEN_INITIAL_PITCH, 200, 0x0010),
         sf2::Zone(), 10, 0x020E, GEN_INITIAL_PITCH, {200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FontPtr font = OneZoneFont(c.inst, c.preset, &c.instGlobal);
        NoteZone z = OnlyZone(font.get());
        EXPECT_EQ(z.nMods, c.nMods);
        std::vector<int> amounts;
        for (int i = 0; const SfModulator* m = FindMod(z, c.src, c.dest, i); ++i)
            amounts.push_back(m->amount);
        EXPECT_EQ(amounts, c.amounts);
        for (int i = 0; i < z.nMods; ++i)
            EXPECT_NE(z.mods[i].amount, 0);
    }
}

TEST(SoundFontModulators, AZoneWithTooManyKeepsTheFirst)
{
    sf2::Zone inst;
    for (int i = 0; i < 100; ++i)
        inst.Mod(0x0080 | 16, (uint16_t)GEN_PAN, i + 1, (uint16_t)(0x0080 | (i % 90 + 1 == 6 ? 7 : i % 90 + 1)), (uint16_t)((i / 90) * 2));
    FontPtr font = OneZoneFont(inst, sf2::Zone());
    NoteZone z = OnlyZone(font.get());
    EXPECT_EQ(z.nMods, SF_MAX_VOICE_MODS);
    EXPECT_EQ(z.mods[10].amount, 1);
}

TEST(SoundFontModulators, TensOfThousandsInOneZoneLoadQuickly)
{
    std::vector<int> controllers;
    for (int c = 1; c < 120; ++c)
        if (c != 6 && c != 32 && c != 38 && (c < 98 || c > 101))
            controllers.push_back(c);
    sf2::Zone inst;
    for (int trans : {0, 2})
        for (int a : controllers)
            for (int b : controllers)
                inst.Mod((uint16_t)(0x0080 | a), GEN_PAN, 1, (uint16_t)(0x0080 | b), (uint16_t)trans);
    ASSERT_GT(inst.mods.size(), 20000u);
    auto t0 = std::chrono::steady_clock::now();
    FontPtr font = OneZoneFont(inst, sf2::Zone());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(seconds, 2.0);   // all distinct: each against every other is some 300 million comparisons
    EXPECT_EQ(OnlyZone(font.get()).nMods, SF_MAX_VOICE_MODS);
}

// ---- Presets -------------------------------------------------------------------------------

FontPtr PresetsFont(const std::vector<std::pair<int, int>>& bankPrograms)
{
    sf2::Font f;
    f.AddSample(sf2::Sample("tone", sf2::Sine(500, 50)));
    f.AddInstrument(sf2::Instrument("I").Add(sf2::Zone().Sample(0)));
    for (const auto& bp : bankPrograms)
        f.AddPreset(sf2::Preset(std::to_string(bp.first) + ":" + std::to_string(bp.second), bp.first, bp.second)
                        .Add(sf2::Zone().Instrument(0)));
    return MustLoad(f);
}

std::string Resolved(const SoundFont* sf, int bank, int program, bool drums)
{
    int p = ResolvePreset(sf, bank, program, drums);
    if (p < 0)
        return "none";
    EXPECT_EQ(std::string(PresetName(sf, p)), std::to_string(PresetBank(sf, p)) + ":" + std::to_string(PresetProgram(sf, p)));
    return PresetName(sf, p);
}

TEST(SoundFontPresets, FallBackToTheSameProgramThenTheFirstOfTheBank)
{
    FontPtr gm = PresetsFont({{0, 5}, {128, 16}, {0, 2}, {8, 5}, {128, 0}, {0, 5}, {128, 25}});
    FontPtr noBankZero = PresetsFont({{128, 8}, {8, 1}, {3, 4}});
    FontPtr drumsOnly = PresetsFont({{128, 40}});
    FontPtr noDrums = PresetsFont({{0, 1}, {0, 0}});
    struct Case {
        const SoundFont* font;
        int bank, program;
        bool drums;
        const char* preset;
    };
    const Case cases[] = {
        {gm.get(), 0, 5, false, "0:5"},       {gm.get(), 8, 5, false, "8:5"},
        {gm.get(), 9, 5, false, "0:5"},       {gm.get(), 8, 7, false, "0:2"},
        {gm.get(), 0, 127, false, "0:2"},     {gm.get(), 128, 16, true, "128:16"},
        {gm.get(), 128, 30, true, "128:0"},   {gm.get(), 127, 25, true, "128:25"},
        {gm.get(), 128, 25, false, "128:25"}, {gm.get(), 120, 16, true, "128:16"},
        {drumsOnly.get(), 128, 0, true, "128:40"}, {drumsOnly.get(), 0, 0, false, "128:40"},
        {noBankZero.get(), 0, 9, false, "3:4"},  {noBankZero.get(), 128, 0, true, "128:8"},
        {noDrums.get(), 128, 0, true, "0:0"},    {noDrums.get(), 0, 1, false, "0:1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bank << ":" << c.program << (c.drums ? " drums" : ""));
        EXPECT_EQ(Resolved(c.font, c.bank, c.program, c.drums), c.preset);
    }
    // Two presets of one bank and program: the first in the file.
    EXPECT_EQ(FindPreset(gm.get(), 0, 5), 0);
    EXPECT_EQ(FindPreset(gm.get(), 0, 6), -1);
    EXPECT_EQ(PresetCount(gm.get()), 7);
    FontPtr empty = PresetsFont({});
    EXPECT_EQ(PresetCount(empty.get()), 0);
    EXPECT_EQ(ResolvePreset(empty.get(), 0, 0, false), -1);
    EXPECT_EQ(ResolvePreset(empty.get(), 128, 0, true), -1);
}

// ---- SoundFonts nobody here wrote ------------------------------------------------------

class InstalledFont : public testing::TestWithParam<const char*> {};

TEST_P(InstalledFont, LoadsAndEveryNoteOfEveryPresetPlaysSampleData)
{
    std::string path = std::string("/usr/share/sounds/") + GetParam();
    if (access(path.c_str(), R_OK) != 0)
        GTEST_SKIP() << path << " is not installed";
    SoundFont* raw = nullptr;
    char message[256];
    ASSERT_EQ(LoadSoundFontFile(path.c_str(), &raw, message, sizeof message), SF_LOAD_OK) << message;
    FontPtr font(raw);
    uint32_t frames = 0;
    ASSERT_NE(SoundFontPcm(font.get(), &frames), nullptr);
    ASSERT_GT(PresetCount(font.get()), 100);
    EXPECT_GE(ResolvePreset(font.get(), 0, 0, false), 0);
    EXPECT_EQ(PresetBank(font.get(), ResolvePreset(font.get(), 128, 0, true)), 128);
    static NoteZone zones[64];
    long total = 0;
    for (int p = 0; p < PresetCount(font.get()); ++p) {
        int sounding = 0;
        for (int key = 0; key < 128; ++key) {
            for (int velocity : {1, 64, 127}) {
                int n = FindNoteZones(font.get(), p, key, velocity, zones, 64);
                ASSERT_LT(n, 64);
                sounding += n;
                for (int i = 0; i < n; ++i) {
                    const SfSample& s = *zones[i].sample;
                    ASSERT_TRUE(s.start < s.end && s.end <= frames) << PresetName(font.get(), p) << " key " << key;
                    ASSERT_TRUE(s.start <= s.loopStart && s.loopStart < s.loopEnd && s.loopEnd <= s.end) << s.name;
                    ASSERT_LE(zones[i].nMods, SF_MAX_VOICE_MODS);
                }
            }
        }
        total += sounding;
    }
    EXPECT_GT(total, 128L * PresetCount(font.get()));
}

TEST(InstalledFontTime, TimGM6mbLoadsQuickly)
{
    const char* path = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (access(path, R_OK) != 0)
        GTEST_SKIP() << path << " is not installed";
    // A bound ten times the target, for a busy machine and a sanitizer build alike.
    auto t0 = std::chrono::steady_clock::now();
    SoundFont* sf = nullptr;
    char message[256];
    ASSERT_EQ(LoadSoundFontFile(path, &sf, message, sizeof message), SF_LOAD_OK) << message;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    uint32_t frames = 0;
    SoundFontPcm(sf, &frames);
    FreeSoundFont(sf);
    printf("TimGM6mb.sf2: loaded in %.3f s, %.1f MB of sample data\n", seconds, frames * 2.0 / 1e6);
    EXPECT_LT(seconds, 2.0);
}

INSTANTIATE_TEST_SUITE_P(Debian, InstalledFont, testing::Values("sf2/TimGM6mb.sf2", "sf2/FluidR3_GM.sf2", "sf2/sf_GMbank.sf2",
                                                         "sf3/FluidR3Mono_GM.sf3", "sf3/MuseScore_General_Lite.sf3"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* c = info.param + 4; *c && *c != '.'; ++c)
                                 if (isalnum((unsigned char)*c))
                                     name += *c;
                             return name;
                         });

}  // namespace
