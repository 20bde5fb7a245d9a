// One sounding zone of a note: sample playback, envelopes, LFOs, the low-pass filter and
// the gains into the mix. Plain data; the synthesizer owns a fixed pool of them.
#pragma once

#include <cmath>
#include <cstdint>
#include "synth/modulator.h"
#include "synth/soundfont.h"

// Frames one pass over the voices covers at most. Envelopes, LFOs, pitch and filter
// coefficients are updated once per pass; gains ramp across it.
#define SYNTH_BLOCK 64

// ---- Units of the SoundFont format ------------------------------------------------------

inline double TimecentsToSeconds(double timecents) { return std::exp2(timecents / 1200.0); }
// Attenuation in centibels to a linear amplitude factor.
inline double CentibelsToGain(double attenuationCb) { return std::pow(10.0, -attenuationCb / 200.0); }
inline double AbsoluteCentsToHz(double cents) { return 8.176 * std::exp2(cents / 1200.0); }
inline double GainToDecibels(double gain) { return gain > 0 ? 20.0 * std::log10(gain) : -1000.0; }

// ---- Envelopes -----------------------------------------------------------------------------

enum EnvStage { ENV_DELAY, ENV_ATTACK, ENV_HOLD, ENV_DECAY, ENV_SUSTAIN, ENV_RELEASE, ENV_DONE };

// Both envelopes run on a normalised value: 0 to 1 in the attack, 1 down to the sustain
// level in the decay, down to the floor in the release. The modulation envelope outputs the
// value itself; the volume envelope's attack is linear in amplitude and its later stages are
// linear in decibels (a value of 1 - x means x * 96 dB of attenuation).
struct Envelope {
    int stage;
    uint32_t samplesInStage;     // elapsed in timed stages (delay, attack, hold)
    uint32_t delaySamples, attackSamples, holdSamples;
    float value;
    float decayPerSample;        // value per sample in the decay (a full 1 -> 0 change takes the decay time)
    float releasePerSample;
    float sustain;
    float floor;                 // the release ends here
};

void StartEnvelope(Envelope& e, double delaySeconds, double attackSeconds, double holdSeconds,
                   double decaySeconds, float sustain, double releaseSeconds, float floor, double rateHz);
void ReleaseEnvelope(Envelope& e, bool volume);
// Advances by frames samples.
void AdvanceEnvelope(Envelope& e, int frames);

// ---- LFOs ------------------------------------------------------------------------------------

// A triangle from 0 rising to +1, down to -1 and back, after a delay.
struct Lfo {
    uint32_t delaySamples;
    float phase;                 // cycles, 0..1
    float phasePerSample;
};

void StartLfo(Lfo& l, double delaySeconds, double frequencyHz, double rateHz);
// The value at the current position, then advances by frames.
float StepLfo(Lfo& l, int frames);

// ---- Two-pole resonant low-pass --------------------------------------------------------------

struct LowPass {
    float b0, b1, b2, a1, a2;    // normalised (a0 = 1)
    float x1, x2, y1, y2;
    float cutoffHz, resonanceDb; // what the coefficients were computed for
};

void SetLowPass(LowPass& f, float cutoffHz, float resonanceDb, float rateHz);
void RunLowPass(LowPass& f, float* buf, int frames);

// ---- The voice -------------------------------------------------------------------------------

enum VoiceState { VOICE_FREE, VOICE_ON, VOICE_SUSTAINED, VOICE_RELEASED };

struct Voice {
    int state;
    bool killing;                // fading out fast (stolen, all sound off, exclusive class)
    bool sostenutoHeld;          // held by the sostenuto pedal when its key was released
    bool hasLooped;
    bool filterOn;
    bool released;               // the envelopes are in their release (key up, pedals up)
    const SoundFont* font;
    const int16_t* pcm;          // the font's whole sample data
    int channel, key, velocity;  // key and velocity as the note asked (before zone overrides)
    int effKey, effVelocity;     // what the zone's keynum / velocity generators make of them
    uint32_t noteId;             // increases with each note on: older notes have smaller ids
    int exclusiveClass;
    uint64_t age;                // samples since start

    // Sample playback: the phase counts frames of the font's data, 32.32 fixed point.
    uint64_t phase;
    uint32_t start, end, loopStart, loopEnd;
    int loopMode;                // 0 none, 1 continuous, 3 until release
    int rootKey;                 // the key the sample sounds at its own pitch
    int pitchCorrectionCents;
    double rateRatio;            // sample rate / output rate

    // Generators as the zone gives them, and the modulators' sum into each.
    int32_t gen[GEN_COUNT];
    float modSum[GEN_COUNT];
    int nMods;
    SfModulator mods[SF_MAX_VOICE_MODS];

    // Values derived from gen + modSum (UpdateVoiceParameters).
    float attenuationCb;         // static part: initial attenuation and modulators
    float panLeft, panRight;
    float reverbSend, chorusSend; // 0..1
    double pitchCents;           // from the sample's own pitch; before LFOs, envelope and channel tuning
    float filterCutoffCents, filterResonanceDb;
    float modLfoToPitch, vibLfoToPitch, modEnvToPitch;   // cents
    float modLfoToFilter, modEnvToFilter;                // cents
    float modLfoToVolumeCb;

    Envelope volEnv, modEnv;
    Lfo modLfo, vibLfo;
    LowPass filter;

    // Gains reached at the end of the last block: the next one ramps from here.
    float gainLeft, gainRight, gainReverb, gainChorus;
    uint64_t step;               // phase step of the last block, and the pitch it was computed for
    double stepCents;
    float lastExponent, exponentGain;   // the last block's gain exponent and 2 to its power
    float lastAmplitude;         // envelope times attenuation, for stealing and the end test
    uint32_t killSamples, killSamplesLeft;
};

// What a voice needs of its channel for its parameters.
struct VoiceChannelView {
    double tuningCents;          // the channel's fine and coarse tuning (RPN 1 and 2)
};

// Starts a voice from a note zone. pcmFrames is the size of the font's sample data.
void StartVoice(Voice& v, const NoteZone& zone, const ModulatorInputs& in, const SoundFont* font,
                const int16_t* pcm, uint32_t pcmFrames, int channel, int key, int velocity, uint32_t noteId,
                double outputRateHz);
// Recomputes what depends on modSum (after the channel's controllers changed).
void UpdateVoiceParameters(Voice& v);
void ReleaseVoice(Voice& v);
// Fades the voice out over fadeSamples and then frees it.
void KillVoice(Voice& v, uint32_t fadeSamples);

// Renders frames (at most SYNTH_BLOCK) of the voice into the mix. reverb and chorus may be
// null (effects off). Frees the voice (state VOICE_FREE) when it has ended.
void RenderVoice(Voice& v, const VoiceChannelView& ch, float* left, float* right, float* reverb, float* chorus,
                 int frames, float rateHz);

// Four-point cubic interpolation between p1 and p2 at f (0..1).
inline float InterpolateCubic(float p0, float p1, float p2, float p3, float f)
{
    return p1 + 0.5f * f * (p2 - p0 + f * (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 + f * (3.0f * (p1 - p2) + p3 - p0)));
}
