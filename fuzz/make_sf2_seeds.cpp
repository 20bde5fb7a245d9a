// Writes the SoundFont fuzzer's seed fonts into a folder: tiny fonts, each with something the
// loader must handle with care (among them an SF3 font with a Vorbis sample, read from
// tests/data/sf3/sine.ogg). Build and run from the source root:
//   g++ -std=c++17 -Isrc -Itests fuzz/make_sf2_seeds.cpp -o /tmp/make_sf2_seeds && /tmp/make_sf2_seeds fuzz/sf2-corpus
#include <cstdio>
#include <string>

#include "sf2build.h"
#include "synth/soundfont.h"

namespace {

bool Write(const std::string& dir, const char* name, const sf2::Bytes& b)
{
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}

// A melodic preset over two key splits and a drum kit of two keys, with global zones,
// modulators at both levels and most kinds of generator.
sf2::Font Small()
{
    sf2::Font f;
    f.AddSample(sf2::Sample("sine", sf2::Sine(64, 16)).Root(69).Loop(8, 56));
    f.AddSample(sf2::Sample("square", sf2::Square(48, 12)).Root(60).Rate(22050).Correction(12));
    f.AddSample(sf2::Sample("hit", sf2::Square(40, 4, 3000)).Root(38).Rate(11025));
    f.AddInstrument(sf2::Instrument("Lead")
                        .Add(sf2::Zone().Gen(GEN_RELEASE_VOL_ENV, -3000).Gen(GEN_INITIAL_FILTER_FC, 9000)
                                 .Mod(0x0102, GEN_INITIAL_FILTER_FC, 0, 0x0D02))
                        .Add(sf2::Zone().Keys(0, 63).Gen(GEN_SAMPLE_MODES, 1).Gen(GEN_VIB_LFO_TO_PITCH, 20).Sample(0))
                        .Add(sf2::Zone().Keys(64, 127).Vels(0, 100).Gen(GEN_SAMPLE_MODES, 3).Gen(GEN_OVERRIDING_ROOT_KEY, 62)
                                 .Gen(GEN_START_ADDRS_OFFSET, 4).Gen(GEN_ENDLOOP_ADDRS_OFFSET, -2).Sample(1)));
    f.AddInstrument(sf2::Instrument("Kit")
                        .Add(sf2::Zone().Keys(36, 36).Gen(GEN_EXCLUSIVE_CLASS, 1).Gen(GEN_PAN, -300).Sample(2))
                        .Add(sf2::Zone().Keys(38, 38).Gen(GEN_SCALE_TUNING, 0).Mod(0x0587, GEN_INITIAL_ATTENUATION, 480).Sample(2)));
    f.AddPreset(sf2::Preset("Lead", 0, 0).Add(sf2::Zone().Gen(GEN_COARSE_TUNE, -12)).Add(sf2::Zone().Instrument(0)));
    f.AddPreset(sf2::Preset("Layered", 8, 80).Add(sf2::Zone().Instrument(0))
                    .Add(sf2::Zone().Keys(60, 90).Gen(GEN_FINE_TUNE, 7).Mod(0x00DB, GEN_REVERB_EFFECTS_SEND, 100).Instrument(0)));
    f.AddPreset(sf2::Preset("Drums", 128, 0).Add(sf2::Zone().Instrument(1)));
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_sf2_seeds FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = Write(dir, "small.sf2", Small().Bytes());

    sf2::Font f = Small();
    f.sm24 = true;
    f.samples[1].Type(2).link = 2;   // one half of a stereo pair
    f.samples[2].Type(4).link = 1;
    ok = ok && Write(dir, "sm24-stereo.sf2", f.Bytes());

    f = Small();
    f.samples[0].Loop(60, 500);   // a loop outside its sample in a looped zone
    ok = ok && Write(dir, "loop-outside.sf2", f.Bytes());

    f = Small();
    f.edit["ibag"] = sf2::DropLast(4);
    ok = ok && Write(dir, "ibag-unclosed.sf2", f.Bytes());

    f = Small();
    f.samples[2].type = 0x8001;   // a sample in a sound card's memory
    f.samples[1].EndAdjust(-48);  // a sample of no frames
    ok = ok && Write(dir, "unplayable-samples.sf2", f.Bytes());

    // SF3: one Vorbis sample beside an uncompressed one, no pad byte after the odd sample data.
    sf2::Bytes ogg = sf2::ReadFile("tests/data/sf3/sine.ogg");
    ok = ok && !ogg.empty();
    f = Small();
    f.versionMajor = 3;
    f.padChunks = false;
    f.samples[0] = sf2::Sample("vorbis sine", {}).Vorbis(ogg, 4410).Rate(22050).Root(69).Loop(1000, 3000);
    ok = ok && Write(dir, "vorbis.sf3", f.Bytes());

    sf2::Font empty;
    ok = ok && Write(dir, "no-presets.sf2", empty.Bytes());
    if (!ok)
        fprintf(stderr, "make_sf2_seeds: cannot write into %s\n", dir.c_str());
    return ok ? 0 : 1;
}
