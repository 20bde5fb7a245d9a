#include "synth/effects.h"

#include <cmath>
#include <cstring>

// Comb and all-pass lengths at 44,100 Hz: mutually unrelated so their echoes do not line
// up; the right channel's are a little longer for width.
static const int kCombLengths[REVERB_COMBS] = {1103, 1171, 1259, 1327, 1409, 1483, 1553, 1621};
static const int kAllpassLengths[REVERB_ALLPASSES] = {547, 433, 337, 227};
static const int kStereoSpread = 29;
static const double kPi = 3.14159265358979323846;

static int Scaled(int length, float rateHz, int max)
{
    int n = (int)(length * rateHz / 44100.0f);
    return n < 1 ? 1 : (n > max ? max : n);
}

void InitReverb(Reverb& r, float rateHz)
{
    for (int i = 0; i < REVERB_COMBS; ++i) {
        r.combLeft[i].length = Scaled(kCombLengths[i], rateHz, REVERB_MAX_COMB);
        r.combRight[i].length = Scaled(kCombLengths[i] + kStereoSpread, rateHz, REVERB_MAX_COMB);
    }
    for (int i = 0; i < REVERB_ALLPASSES; ++i) {
        r.allpassLeft[i].length = Scaled(kAllpassLengths[i], rateHz, REVERB_MAX_ALLPASS);
        r.allpassRight[i].length = Scaled(kAllpassLengths[i] + kStereoSpread, rateHz, REVERB_MAX_ALLPASS);
    }
    r.feedback = 0.83f;
    r.damping = 0.25f;
    r.wetGain = 0.12f;
    ClearReverb(r);
}

void ClearReverb(Reverb& r)
{
    for (int i = 0; i < REVERB_COMBS; ++i) {
        std::memset(r.combLeft[i].buf, 0, sizeof r.combLeft[i].buf);
        std::memset(r.combRight[i].buf, 0, sizeof r.combRight[i].buf);
        r.combLeft[i].pos = r.combRight[i].pos = 0;
        r.combLeft[i].store = r.combRight[i].store = 0.0f;
    }
    for (int i = 0; i < REVERB_ALLPASSES; ++i) {
        std::memset(r.allpassLeft[i].buf, 0, sizeof r.allpassLeft[i].buf);
        std::memset(r.allpassRight[i].buf, 0, sizeof r.allpassRight[i].buf);
        r.allpassLeft[i].pos = r.allpassRight[i].pos = 0;
    }
}

// A feedback comb with a one-pole low-pass in its loop: the high frequencies die first.
static void RunComb(CombFilter& c, const float* in, float* out, int frames, float feedback, float damping)
{
    float store = c.store;
    int pos = c.pos;
    const int length = c.length;
    for (int i = 0; i < frames; ++i) {
        float y = c.buf[pos];
        store = y * (1.0f - damping) + store * damping;
        c.buf[pos] = in[i] + store * feedback;
        if (++pos >= length)
            pos = 0;
        out[i] += y;
    }
    if (std::fabs(store) < 1e-20f)
        store = 0.0f;
    c.store = store;
    c.pos = pos;
}

static void RunAllpass(AllpassFilter& a, float* io, int frames)
{
    int pos = a.pos;
    const int length = a.length;
    for (int i = 0; i < frames; ++i) {
        float delayed = a.buf[pos];
        float x = io[i];
        a.buf[pos] = x + delayed * 0.5f;
        io[i] = delayed - x;
        if (++pos >= length)
            pos = 0;
    }
    a.pos = pos;
}

void RunReverb(Reverb& r, const float* in, float* left, float* right, int frames)
{
    float wetLeft[256], wetRight[256];
    while (frames > 0) {
        int n = frames < 256 ? frames : 256;
        std::memset(wetLeft, 0, sizeof(float) * (size_t)n);
        std::memset(wetRight, 0, sizeof(float) * (size_t)n);
        for (int i = 0; i < REVERB_COMBS; ++i) {
            RunComb(r.combLeft[i], in, wetLeft, n, r.feedback, r.damping);
            RunComb(r.combRight[i], in, wetRight, n, r.feedback, r.damping);
        }
        for (int i = 0; i < REVERB_ALLPASSES; ++i) {
            RunAllpass(r.allpassLeft[i], wetLeft, n);
            RunAllpass(r.allpassRight[i], wetRight, n);
        }
        for (int i = 0; i < n; ++i) {
            left[i] += wetLeft[i] * r.wetGain;
            right[i] += wetRight[i] * r.wetGain;
        }
        in += n;
        left += n;
        right += n;
        frames -= n;
    }
}

void InitChorus(Chorus& c, float rateHz)
{
    c.phasePerSample = 0.4f / rateHz;
    c.baseDelaySamples = 0.012f * rateHz;
    c.depthSamples = 0.003f * rateHz;
    c.level = 0.6f;
    ClearChorus(c);
}

void ClearChorus(Chorus& c)
{
    std::memset(c.buf, 0, sizeof c.buf);
    c.pos = 0;
    c.phase = 0.0f;
}

static float ReadDelay(const Chorus& c, float delaySamples)
{
    float at = (float)c.pos - delaySamples;
    while (at < 0.0f)
        at += (float)CHORUS_MAX_DELAY;
    int i0 = (int)at;
    float f = at - (float)i0;
    int i1 = i0 + 1 < CHORUS_MAX_DELAY ? i0 + 1 : 0;
    return c.buf[i0] + (c.buf[i1] - c.buf[i0]) * f;
}

// Two taps of one delay line swept by a sine a quarter cycle apart, one to each side.
void RunChorus(Chorus& c, const float* in, float* left, float* right, int frames)
{
    for (int i = 0; i < frames; ++i) {
        c.buf[c.pos] = in[i];
        float s = (float)std::sin(2.0 * kPi * c.phase);
        float q = (float)std::cos(2.0 * kPi * c.phase);
        left[i] += ReadDelay(c, c.baseDelaySamples + c.depthSamples * s) * c.level;
        right[i] += ReadDelay(c, c.baseDelaySamples + c.depthSamples * q) * c.level;
        if (++c.pos >= CHORUS_MAX_DELAY)
            c.pos = 0;
        c.phase += c.phasePerSample;
        if (c.phase >= 1.0f)
            c.phase -= 1.0f;
    }
}
