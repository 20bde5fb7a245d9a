// libFuzzer target over the SoundFont loader: the input is a file image. Besides the
// sanitizers' checks it asserts what must hold for any input:
//   - a refused font leaves no font and a message naming the file;
//   - a loaded font's note zones play samples inside its sample data, with loops inside
//     the sample, and carry no more modulators than a voice holds;
//   - a short burst of notes on every kind of channel renders finite audio;
//   - the synthesizer lets go of the font before it is freed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "synth/soundfont.h"
#include "synth/synth.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_soundfont: %s\n", what);
        abort();
    }
}

Synth* TheSynth()
{
    static Synth* synth = [] {
        SynthConfig config;
        config.maxVoices = 64;
        return CreateSynth(config);
    }();
    return synth;
}

void CheckZones(const SoundFont* sf)
{
    uint32_t frames = 0;
    const int16_t* pcm = SoundFontPcm(sf, &frames);
    Check(pcm != nullptr, "a loaded font without sample data");
    Check(pcm[frames] == 0 && pcm[frames + 45] == 0, "no zero frames after the sample data");
    static NoteZone zones[16];
    int presets = PresetCount(sf);
    for (int p = 0; p < presets && p < 64; ++p) {
        Check(PresetName(sf, p) != nullptr && strlen(PresetName(sf, p)) <= 20, "a preset name too long");
        for (int key = 0; key < 128; key += 7) {
            int n = FindNoteZones(sf, p, key, 1 + (key * 5) % 127, zones, 16);
            Check(n >= 0 && n <= 16, "more zones than asked for");
            for (int i = 0; i < n; ++i) {
                const SfSample& s = *zones[i].sample;
                Check(s.start < s.end && s.end <= frames, "a zone's sample outside the sample data");
                Check(s.start <= s.loopStart && s.loopStart < s.loopEnd && s.loopEnd <= s.end, "a loop outside its sample");
                Check(zones[i].nMods >= 0 && zones[i].nMods <= SF_MAX_VOICE_MODS, "too many modulators");
            }
        }
    }
    Check((presets == 0) == (ResolvePreset(sf, 0, 0, false) < 0), "a preset fallback that finds nothing");
}

void Play(const SoundFont* sf, const uint8_t* data, size_t size)
{
    Synth* synth = TheSynth();
    SynthReset(synth);
    SynthSetSoundFont(synth, sf);
    static float left[256], right[256];
    int presets = PresetCount(sf);
    // Programs and banks taken from the input's first bytes, so the fuzzer may steer them.
    for (int ch = 0; ch < 16; ch += 3) {
        int program = presets ? PresetProgram(sf, (int)(data[ch % size] % presets)) & 0x7F : 0;
        SynthShortMsg(synth, (uint32_t)(0xB0 | ch) | 0u << 8 | (uint32_t)(data[(ch + 1) % size] & 1 ? 8 : 0) << 16);
        SynthShortMsg(synth, (uint32_t)(0xC0 | ch) | (uint32_t)program << 8);
        for (int k = 0; k < 3; ++k)
            SynthShortMsg(synth, (uint32_t)(0x90 | ch) | (uint32_t)(36 + 12 * k + ch) << 8 | (uint32_t)(40 + 30 * k) << 16);
    }
    SynthShortMsg(synth, 0xE0 | 0x7F << 8 | 0x7F << 16);   // channel 0 bent up
    for (int block = 0; block < 8; ++block) {
        SynthRenderFloat(synth, left, right, 256);
        if (block == 3)
            for (int ch = 0; ch < 16; ch += 3)
                SynthShortMsg(synth, (uint32_t)(0xB0 | ch) | 123u << 8);
        for (int i = 0; i < 256; ++i)
            Check(std::isfinite(left[i]) && std::isfinite(right[i]), "audio that is not a number");
    }
    SynthSetSoundFont(synth, nullptr);
    for (int block = 0; block < 64 && SynthUsesSoundFont(synth, sf); ++block)
        SynthRenderFloat(synth, left, right, 256);
    SynthReset(synth);
    Check(!SynthUsesSoundFont(synth, sf), "the synthesizer keeps the font after a reset");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SoundFont* sf = reinterpret_cast<SoundFont*>(&sf);
    char message[256];
    int result = LoadSoundFont(data, size, "fuzz.sf2", &sf, message, sizeof message);
    if (result != SF_LOAD_OK) {
        Check(sf == nullptr, "a refused font left a font");
        Check(strstr(message, "fuzz.sf2") != nullptr, "a refusal without the file's name");
        return 0;
    }
    Check(sf != nullptr && message[0] == '\0', "a loaded font without a font, or with a message");
    CheckZones(sf);
    Play(sf, data, size);
    FreeSoundFont(sf);
    return 0;
}
