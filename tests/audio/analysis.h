// What a recording of the player holds: levels per frequency over time, onsets, silence,
// gaps and left/right balance. Header only, portable, no platform calls, so the same code
// is unit-tested natively on synthetic signals and analyses captures under Wine.
//
// A level is the amplitude of a sine at that frequency (a full-scale sine reads 1.0), or
// its decibels against full scale. Times are seconds from the start of the recording.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio {

struct Stereo {
    int rateHz = 44100;
    std::vector<float> left, right;
    size_t frames() const { return left.size(); }
    double seconds() const { return (double)left.size() / rateHz; }
};

inline double Db(double amplitude)
{
    return amplitude > 1e-9 ? 20.0 * std::log10(amplitude) : -180.0;
}

inline double FromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Interleaved signed 16-bit little-endian stereo (what the recorder writes); a trailing
// partial frame is dropped.
inline Stereo FromS16(const uint8_t* bytes, size_t size, int rateHz = 44100)
{
    Stereo s;
    s.rateHz = rateHz;
    size_t frames = size / 4;
    s.left.resize(frames);
    s.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        const uint8_t* p = bytes + 4 * i;
        s.left[i] = (float)(int16_t)(p[0] | p[1] << 8) / 32768.0f;
        s.right[i] = (float)(int16_t)(p[2] | p[3] << 8) / 32768.0f;
    }
    return s;
}

// The part of a recording from 'from' to 'to' seconds (clamped to what there is).
inline Stereo Slice(const Stereo& s, double from, double to)
{
    Stereo out;
    out.rateHz = s.rateHz;
    size_t a = (size_t)std::max(0.0, std::min(from * s.rateHz, (double)s.frames()));
    size_t b = (size_t)std::max((double)a, std::min(to * s.rateHz, (double)s.frames()));
    out.left.assign(s.left.begin() + a, s.left.begin() + b);
    out.right.assign(s.right.begin() + a, s.right.begin() + b);
    return out;
}

// Amplitude of the component at freqHz in n samples, through a Hann window (Goertzel), so a
// tone a few bins away barely leaks in.
inline double ToneAmplitude(const float* x, size_t n, double freqHz, int rateHz)
{
    if (n < 2)
        return 0.0;
    const double pi = 3.14159265358979323846;
    double coeff = 2.0 * std::cos(2.0 * pi * freqHz / rateHz);
    double s1 = 0.0, s2 = 0.0, windowSum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double w = 0.5 - 0.5 * std::cos(2.0 * pi * (double)i / (double)(n - 1));
        windowSum += w;
        double s0 = w * x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(0.0, power)) / windowSum;
}

inline double Rms(const float* x, size_t n)
{
    if (n == 0)
        return 0.0;
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += (double)x[i] * x[i];
    return std::sqrt(sum / (double)n);
}

inline double Peak(const std::vector<float>& x)
{
    double peak = 0.0;
    for (float v : x)
        peak = std::max(peak, (double)std::fabs(v));
    return peak;
}

enum Side { LEFT, RIGHT, BOTH };

// Levels of one frequency over time: frame i covers [i * hop, i * hop + window).
struct Track {
    double hopSeconds = 0.0;
    double windowSeconds = 0.0;
    std::vector<double> amplitude;
    size_t size() const { return amplitude.size(); }
    double TimeOf(size_t frame) const { return (double)frame * hopSeconds; }
    // The frame whose window starts at or just before t.
    size_t FrameAt(double t) const
    {
        if (t <= 0.0 || amplitude.empty())
            return 0;
        return std::min(amplitude.size() - 1, (size_t)(t / hopSeconds));
    }
};

inline std::vector<float> Channel(const Stereo& s, Side side)
{
    if (side == LEFT)
        return s.left;
    if (side == RIGHT)
        return s.right;
    std::vector<float> mono(s.frames());
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = 0.5f * (s.left[i] + s.right[i]);
    return mono;
}

// A track's times are those of the frames it steps by: a hop of 2 ms is 88 frames at
// 44,100 Hz, and counting it as 2 ms would place everything 0.2 % late, 70 ms after 30 s.
inline Track TrackOf(const Stereo& s, size_t hopFrames, size_t windowFrames)
{
    Track t;
    t.hopSeconds = (double)hopFrames / s.rateHz;
    t.windowSeconds = (double)windowFrames / s.rateHz;
    return t;
}

// Default: 10 ms steps of 40 ms windows, a resolution that separates tones a fifth apart
// from about 150 Hz up and places an onset within about 20 ms.
inline Track ToneTrack(const Stereo& s, double freqHz, Side side = BOTH, double hopSeconds = 0.010,
                       double windowSeconds = 0.040)
{
    std::vector<float> x = Channel(s, side);
    size_t hop = std::max<size_t>(1, (size_t)(hopSeconds * s.rateHz));
    size_t window = std::max<size_t>(2, (size_t)(windowSeconds * s.rateHz));
    Track t = TrackOf(s, hop, window);
    for (size_t at = 0; at + window <= x.size(); at += hop)
        t.amplitude.push_back(ToneAmplitude(x.data() + at, window, freqHz, s.rateHz));
    return t;
}

// Broadband level (RMS of both channels) over time, for silence and gaps.
inline Track RmsTrack(const Stereo& s, double hopSeconds = 0.010, double windowSeconds = 0.010)
{
    size_t hop = std::max<size_t>(1, (size_t)(hopSeconds * s.rateHz));
    size_t window = std::max<size_t>(1, (size_t)(windowSeconds * s.rateHz));
    Track t = TrackOf(s, hop, window);
    for (size_t at = 0; at + window <= s.frames(); at += hop) {
        double l = Rms(s.left.data() + at, window), r = Rms(s.right.data() + at, window);
        t.amplitude.push_back(std::sqrt(0.5 * (l * l + r * r)));
    }
    return t;
}

// Times where the level rises through onDb after having been below offDb (hysteresis, so a
// wobbling tone is one onset). The time given is where the level first reaches half of its
// local peak, which lands within a hop of the true attack for any window length.
inline std::vector<double> Onsets(const Track& t, double onDb, double offDb)
{
    std::vector<double> out;
    double on = FromDb(onDb), off = FromDb(offDb);
    bool sounding = !t.amplitude.empty() && t.amplitude[0] >= on;
    size_t lastLow = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        double a = t.amplitude[i];
        if (!sounding && a >= on) {
            size_t end = std::min(t.size(), i + (size_t)std::ceil(t.windowSeconds / t.hopSeconds) + 1);
            double peak = 0.0;
            for (size_t j = i; j < end; ++j)
                peak = std::max(peak, t.amplitude[j]);
            size_t k = lastLow;
            while (k + 1 < end && t.amplitude[k] < 0.5 * peak)
                ++k;
            // Half the window's weight covers the tone when its middle reaches the attack;
            // between two frames, the crossing is interpolated.
            double at = t.TimeOf(k);
            if (k > 0 && t.amplitude[k] > t.amplitude[k - 1]) {
                double f = (0.5 * peak - t.amplitude[k - 1]) / (t.amplitude[k] - t.amplitude[k - 1]);
                at = t.TimeOf(k - 1) + std::min(1.0, std::max(0.0, f)) * t.hopSeconds;
            }
            out.push_back(at + t.windowSeconds * 0.5);
            sounding = true;
        } else if (sounding && a < off) {
            sounding = false;
        }
        if (a < off)
            lastLow = i;
    }
    return out;
}

// Spans [start, end) in seconds where the level stays below db for at least minSeconds.
struct Span {
    double start, end;
    double seconds() const { return end - start; }
};

inline std::vector<Span> QuietSpans(const Track& t, double db, double minSeconds)
{
    std::vector<Span> out;
    double limit = FromDb(db);
    size_t i = 0;
    while (i < t.size()) {
        if (t.amplitude[i] >= limit) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < t.size() && t.amplitude[j] < limit)
            ++j;
        Span s = {t.TimeOf(i), t.TimeOf(j - 1) + t.hopSeconds};
        if (s.seconds() >= minSeconds - 1e-9)
            out.push_back(s);
        i = j;
    }
    return out;
}

// The highest level in [from, to) seconds (frames starting in that span).
inline double MaxDb(const Track& t, double from, double to)
{
    double best = 0.0;
    for (size_t i = t.FrameAt(from); i < t.size() && t.TimeOf(i) < to; ++i)
        best = std::max(best, t.amplitude[i]);
    return Db(best);
}

// The median level in [from, to): robust against the edges of notes.
inline double MedianDb(const Track& t, double from, double to)
{
    std::vector<double> v;
    for (size_t i = t.FrameAt(from); i < t.size() && t.TimeOf(i) < to; ++i)
        v.push_back(t.amplitude[i]);
    if (v.empty())
        return -180.0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return Db(v[v.size() / 2]);
}

// The deepest dip of a held tone in [from, to): how far the lowest frame falls below the
// median of the span, in dB (0 for a steady tone).
inline double DeepestDipDb(const Track& t, double from, double to)
{
    double median = MedianDb(t, from, to);
    double lowest = 1e9;
    for (size_t i = t.FrameAt(from); i < t.size() && t.TimeOf(i) < to; ++i)
        lowest = std::min(lowest, Db(t.amplitude[i]));
    return lowest > 1e8 ? 0.0 : std::max(0.0, median - lowest);
}

// Left/right balance of a tone over [from, to): right level minus left level in dB.
inline double BalanceDb(const Stereo& s, double freqHz, double from, double to)
{
    Stereo part = Slice(s, from, to);
    if (part.frames() < 2)
        return 0.0;
    double l = ToneAmplitude(part.left.data(), part.frames(), freqHz, s.rateHz);
    double r = ToneAmplitude(part.right.data(), part.frames(), freqHz, s.rateHz);
    return Db(r) - Db(l);
}

// Level of a tone over [from, to) in one long window, dB: the power of both channels
// averaged, so a centred tone reads its amplitude whatever its pan law.
inline double LevelDb(const Stereo& s, double freqHz, double from, double to)
{
    Stereo part = Slice(s, from, to);
    if (part.frames() < 2)
        return -180.0;
    double l = ToneAmplitude(part.left.data(), part.frames(), freqHz, s.rateHz);
    double r = ToneAmplitude(part.right.data(), part.frames(), freqHz, s.rateHz);
    return Db(std::sqrt(0.5 * (l * l + r * r)));
}

// Whether frame f sounds: a sample of either channel beyond floor in magnitude.
inline bool Sounds(const Stereo& s, size_t f, float floor = 0.0f)
{
    return std::fabs(s.left[f]) > floor || std::fabs(s.right[f]) > floor;
}

// The first frame from 'from' on that sounds, or s.frames() if none does.
inline size_t FirstSoundFrame(const Stereo& s, size_t from, float floor = 0.0f)
{
    while (from < s.frames() && !Sounds(s, from, floor))
        ++from;
    return from;
}

// The longest run of exactly repeated zero samples in both channels from 'from' on, in
// seconds: a starved output stream inserts digital silence.
inline double LongestDigitalSilence(const Stereo& s, double from, double to)
{
    size_t a = (size_t)std::max(0.0, from * s.rateHz), b = (size_t)std::min((double)s.frames(), to * s.rateHz);
    size_t best = 0, run = 0;
    for (size_t i = a; i < b; ++i) {
        run = (s.left[i] == 0.0f && s.right[i] == 0.0f) ? run + 1 : 0;
        best = std::max(best, run);
    }
    return (double)best / s.rateHz;
}

// Sine generator for tests: adds amplitude * sin at freqHz to [from, to) of both channels
// with left and right gains, with short linear ramps so its edges click no wider band.
inline void AddTone(Stereo& s, double freqHz, double amplitude, double from, double to, double gainLeft = 1.0,
                    double gainRight = 1.0, double rampSeconds = 0.002)
{
    const double pi = 3.14159265358979323846;
    size_t a = (size_t)std::max(0.0, from * s.rateHz), b = (size_t)std::min((double)s.frames(), to * s.rateHz);
    double ramp = std::max(1.0, rampSeconds * s.rateHz);
    for (size_t i = a; i < b; ++i) {
        double g = std::min(1.0, std::min((double)(i - a) / ramp, (double)(b - i) / ramp));
        double v = amplitude * g * std::sin(2.0 * pi * freqHz * (double)i / s.rateHz);
        s.left[i] += (float)(v * gainLeft);
        s.right[i] += (float)(v * gainRight);
    }
}

inline Stereo SilenceOf(double seconds, int rateHz = 44100)
{
    Stereo s;
    s.rateHz = rateHz;
    s.left.assign((size_t)(seconds * rateHz), 0.0f);
    s.right.assign(s.left.size(), 0.0f);
    return s;
}

// Equal-tempered frequency of a MIDI key.
inline double KeyHz(int key)
{
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

}  // namespace audio
