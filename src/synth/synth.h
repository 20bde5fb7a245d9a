// The program's General MIDI synthesizer: MIDI messages in, 44,100 Hz stereo out.
// Portable C++17, no platform calls. CreateSynth allocates everything the synthesizer will
// ever use; every other call allocates nothing, takes no lock and throws nothing, so the
// audio thread may call them. Calls on one Synth come from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

struct SoundFont;
struct Synth;

struct SynthConfig {
    int sampleRateHz = 44100;
    int maxVoices = 256;
    bool effects = true;       // reverb and chorus
};

Synth* CreateSynth(const SynthConfig& config);
void DestroySynth(Synth* s);

// The font the next notes play from (null: silence). The synthesizer does not own it. Voices
// of the previous font fade out within a few milliseconds; SynthUsesSoundFont tells when
// the previous one may be freed.
void SynthSetSoundFont(Synth* s, const SoundFont* sf);
bool SynthUsesSoundFont(const Synth* s, const SoundFont* sf);

// A channel message packed as midiOutShortMsg takes it: status | data1 << 8 | data2 << 16.
void SynthShortMsg(Synth* s, uint32_t msg);
// A system-exclusive message: the bytes after F0, up to and including the closing F7.
void SynthSysEx(Synth* s, const uint8_t* data, size_t len);
// Back to the power-on state: every voice silenced at once, every channel's controllers,
// programs and banks reset, channel index 9 the drums.
void SynthReset(Synth* s);

void SynthSetEffects(Synth* s, bool on);

// Renders frames of stereo audio, overwriting left and right (float, full scale 1.0),
// before the master gain and limiter.
void SynthRenderFloat(Synth* s, float* left, float* right, int frames);
// Renders frames of interleaved 16-bit stereo: the mix with master gain and the limiter.
void SynthRenderS16(Synth* s, int16_t* interleaved, int frames);

int SynthActiveVoices(const Synth* s);
