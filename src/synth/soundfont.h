// SoundFont 2 banks in memory: the loader, and the zones a note sounds.
// Portable C++17, no platform calls. Every byte of the file is read with its bounds checked;
// a font that loads is consistent (every index in range, every sample and loop inside the
// sample data), so nothing downstream checks again.
#pragma once

#include <cstddef>
#include <cstdint>

// Generator numbers (SoundFont 2.04, section 8.1.2).
enum SfGenerator {
    GEN_START_ADDRS_OFFSET = 0, GEN_END_ADDRS_OFFSET = 1, GEN_STARTLOOP_ADDRS_OFFSET = 2,
    GEN_ENDLOOP_ADDRS_OFFSET = 3, GEN_START_ADDRS_COARSE_OFFSET = 4, GEN_MOD_LFO_TO_PITCH = 5,
    GEN_VIB_LFO_TO_PITCH = 6, GEN_MOD_ENV_TO_PITCH = 7, GEN_INITIAL_FILTER_FC = 8,
    GEN_INITIAL_FILTER_Q = 9, GEN_MOD_LFO_TO_FILTER_FC = 10, GEN_MOD_ENV_TO_FILTER_FC = 11,
    GEN_END_ADDRS_COARSE_OFFSET = 12, GEN_MOD_LFO_TO_VOLUME = 13, GEN_CHORUS_EFFECTS_SEND = 15,
    GEN_REVERB_EFFECTS_SEND = 16, GEN_PAN = 17, GEN_DELAY_MOD_LFO = 21, GEN_FREQ_MOD_LFO = 22,
    GEN_DELAY_VIB_LFO = 23, GEN_FREQ_VIB_LFO = 24, GEN_DELAY_MOD_ENV = 25, GEN_ATTACK_MOD_ENV = 26,
    GEN_HOLD_MOD_ENV = 27, GEN_DECAY_MOD_ENV = 28, GEN_SUSTAIN_MOD_ENV = 29, GEN_RELEASE_MOD_ENV = 30,
    GEN_KEYNUM_TO_MOD_ENV_HOLD = 31, GEN_KEYNUM_TO_MOD_ENV_DECAY = 32, GEN_DELAY_VOL_ENV = 33,
    GEN_ATTACK_VOL_ENV = 34, GEN_HOLD_VOL_ENV = 35, GEN_DECAY_VOL_ENV = 36, GEN_SUSTAIN_VOL_ENV = 37,
    GEN_RELEASE_VOL_ENV = 38, GEN_KEYNUM_TO_VOL_ENV_HOLD = 39, GEN_KEYNUM_TO_VOL_ENV_DECAY = 40,
    GEN_INSTRUMENT = 41, GEN_KEY_RANGE = 43, GEN_VEL_RANGE = 44, GEN_STARTLOOP_ADDRS_COARSE_OFFSET = 45,
    GEN_KEYNUM = 46, GEN_VELOCITY = 47, GEN_INITIAL_ATTENUATION = 48, GEN_ENDLOOP_ADDRS_COARSE_OFFSET = 50,
    GEN_COARSE_TUNE = 51, GEN_FINE_TUNE = 52, GEN_SAMPLE_ID = 53, GEN_SAMPLE_MODES = 54,
    GEN_SCALE_TUNING = 56, GEN_EXCLUSIVE_CLASS = 57, GEN_OVERRIDING_ROOT_KEY = 58,
    // Not a generator a file may set: the destination of the pitch wheel's default modulator
    // (and of any modulator a font aims at the pitch), in cents.
    GEN_INITIAL_PITCH = 59,
    GEN_COUNT = 61
};

// A modulator record as the file holds it (section 8.2): sources and transform as the
// 16-bit fields of the format.
struct SfModulator {
    uint16_t srcOper;
    uint16_t destOper;      // a generator number
    int16_t amount;
    uint16_t amtSrcOper;
    uint16_t transOper;
};

// One sample header, checked: every sample a zone plays has start <= loopStart < loopEnd <=
// end <= the font's sample frames (a loop the font never plays, if nonsense, is set to the
// whole sample). Positions count frames of the font's whole 16-bit sample data. Samples an
// SF3 font holds compressed with Ogg Vorbis (type bit SF_SAMPLE_VORBIS) are decoded at load
// into that same data, so their positions count decoded frames like any other's.
enum { SF_SAMPLE_VORBIS = 0x10, SF_SAMPLE_ROM = 0x8000 };

struct SfSample {
    uint32_t start, end, loopStart, loopEnd;
    uint32_t sampleRateHz;
    uint8_t originalKey;
    int8_t pitchCorrectionCents;
    uint16_t type;
    char name[21];
};

// The most modulators one voice carries: the defaults, plus the instrument's and the
// preset's own (a zone with more keeps the first ones).
#define SF_MAX_VOICE_MODS 64

// Everything one voice of a note needs, resolved from a preset zone and an instrument zone
// that both match the key and velocity. gen[] holds the instrument's absolute values (its
// local zone over its global zone over the format's defaults) plus the preset's relative
// ones (its local over its global), summed but not yet clamped; the generators a preset
// may not set are the instrument's alone. gen[GEN_KEY_RANGE] and gen[GEN_VEL_RANGE] hold
// the ranges both zones share (lo | hi << 8), gen[GEN_INSTRUMENT] the instrument's index
// and gen[GEN_SAMPLE_ID] the index of the sample that sample points to. mods[] is the final list, each entry summed into its
// destination: the default modulators with the instrument's replacing identical ones (same
// sources, destination and transform), then the preset's, which add. Every entry has known
// sources and transform, a generator or GEN_INITIAL_PITCH as destination, and an amount
// other than 0.
struct NoteZone {
    int32_t gen[GEN_COUNT];
    const SfSample* sample;
    int nMods;
    SfModulator mods[SF_MAX_VOICE_MODS];
};

struct SoundFont;

enum SfLoadResult {
    SF_LOAD_OK = 0,
    SF_LOAD_CANNOT_READ,    // the file cannot be opened or read
    SF_LOAD_NOT_SOUNDFONT,  // not a RIFF sfbk file
    SF_LOAD_DAMAGED,        // truncated, oversized or inconsistent
    SF_LOAD_NO_MEMORY,
};

// Loads a SoundFont from a file image (the image is not kept: the font copies what it
// needs). On failure *out is null and message holds a sentence for the user that names the
// file (displayName) and what is wrong with it.
int LoadSoundFont(const uint8_t* data, size_t size, const char* displayName, SoundFont** out, char* message,
                  size_t messageSize);
// The same for a file by path (read with the C library, so it works natively and on Windows).
int LoadSoundFontFile(const char* path, SoundFont** out, char* message, size_t messageSize);
void FreeSoundFont(SoundFont* sf);

// The font's whole 16-bit sample data, frames long, with at least 46 zero frames after the
// last so that interpolation may read a little past any sample's end.
const int16_t* SoundFontPcm(const SoundFont* sf, uint32_t* frames);

// The preset of bank and program (the first in the file if two share them), or -1 when the
// font has none.
int FindPreset(const SoundFont* sf, int bank, int program);
// The preset a channel plays: the exact one; else for drums kit program of bank 128, then kit
// 0, then the lowest kit of bank 128; then (drums without kits, or melodic) bank 0 with the
// same program, then the lowest program of bank 0, then the lowest melodic preset of any
// bank, then the lowest preset of all. -1 only for a font without presets.
int ResolvePreset(const SoundFont* sf, int bank, int program, bool drums);
int PresetCount(const SoundFont* sf);
const char* PresetName(const SoundFont* sf, int preset);
int PresetBank(const SoundFont* sf, int preset);
int PresetProgram(const SoundFont* sf, int preset);

// The voices a note of key and velocity sounds on the preset: fills at most max zones and
// returns how many it filled. Allocates nothing; a preset examines at most 16,384 instrument
// zones per note (real fonts need under a thousand), so the audio thread may call it.
int FindNoteZones(const SoundFont* sf, int preset, int key, int velocity, NoteZone* out, int max);
