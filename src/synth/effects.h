// The send effects: a reverb and a chorus, each fed a mono send and adding stereo into the
// mix. Fixed-size delay lines, so the synthesizer allocates them once with itself.
#pragma once

// Delay lines long enough for output rates up to 96,000 Hz.
#define REVERB_COMBS 8
#define REVERB_ALLPASSES 4
#define REVERB_MAX_COMB 3600
#define REVERB_MAX_ALLPASS 1300
#define CHORUS_MAX_DELAY 4096

struct CombFilter {
    float buf[REVERB_MAX_COMB];
    int length, pos;
    float store;                 // the damping low-pass's state
};

struct AllpassFilter {
    float buf[REVERB_MAX_ALLPASS];
    int length, pos;
};

struct Reverb {
    CombFilter combLeft[REVERB_COMBS], combRight[REVERB_COMBS];
    AllpassFilter allpassLeft[REVERB_ALLPASSES], allpassRight[REVERB_ALLPASSES];
    float feedback, damping, wetGain;
};

struct Chorus {
    float buf[CHORUS_MAX_DELAY];
    int pos;
    float phase, phasePerSample;  // LFO, cycles
    float baseDelaySamples, depthSamples;
    float level;
};

void InitReverb(Reverb& r, float rateHz);
void ClearReverb(Reverb& r);
// Adds the reverb of in (frames mono samples) into left and right.
void RunReverb(Reverb& r, const float* in, float* left, float* right, int frames);

void InitChorus(Chorus& c, float rateHz);
void ClearChorus(Chorus& c);
void RunChorus(Chorus& c, const float* in, float* left, float* right, int frames);
