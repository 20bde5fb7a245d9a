// The output stage: master gain, a peak limiter just under full scale, then 16 bits.
#pragma once

#include <cstdint>

struct Limiter {
    float gain;                  // the limiter's present gain reduction, 0..1
    float releasePerSample;      // how fast it returns towards 1
    float ceiling;               // the highest peak it lets through
};

void InitLimiter(Limiter& l, float rateHz);
// Scales left and right by masterGain, limits the peaks to the ceiling, writes interleaved
// 16-bit samples.
void RunLimiter(Limiter& l, const float* left, const float* right, float masterGain, int16_t* out, int frames);
