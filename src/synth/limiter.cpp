#include "synth/limiter.h"

#include <cmath>

void InitLimiter(Limiter& l, float rateHz)
{
    l.gain = 1.0f;
    // The reduction recovers with a time constant of about 150 ms.
    l.releasePerSample = 1.0f - std::exp(-1.0f / (0.15f * rateHz));
    l.ceiling = 0.8904f;         // -1.01 dBFS
}

static int16_t ToS16(float x)
{
    float y = x * 32767.0f;
    if (y > 32767.0f)
        y = 32767.0f;
    if (y < -32768.0f)
        y = -32768.0f;
    return (int16_t)std::lrint(y);
}

void RunLimiter(Limiter& l, const float* left, const float* right, float masterGain, int16_t* out, int frames)
{
    float g = l.gain;
    const float ceiling = l.ceiling, release = l.releasePerSample;
    for (int i = 0; i < frames; ++i) {
        float a = left[i] * masterGain, b = right[i] * masterGain;
        float peak = std::fmax(std::fabs(a), std::fabs(b));
        // Not a number has no peak to limit: it becomes silence.
        if (!(peak == peak)) {
            a = b = peak = 0.0f;
        }
        g += (1.0f - g) * release;
        if (peak * g > ceiling)
            g = ceiling / peak;
        out[2 * i] = ToS16(a * g);
        out[2 * i + 1] = ToS16(b * g);
    }
    l.gain = g;
}
