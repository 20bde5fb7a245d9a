#include "synth/modulator.h"

#include <cmath>
#include <cstring>

// Source operator fields.
#define SRC_INDEX(s)    ((s) & 0x7F)
#define SRC_IS_CC(s)    (((s) >> 7) & 1)
#define SRC_NEGATIVE(s) (((s) >> 8) & 1)
#define SRC_BIPOLAR(s)  (((s) >> 9) & 1)
#define SRC_CURVE(s)    (((s) >> 10) & 0x3F)

enum { CURVE_LINEAR = 0, CURVE_CONCAVE = 1, CURVE_CONVEX = 2, CURVE_SWITCH = 3 };
enum {
    GC_NONE = 0, GC_VELOCITY = 2, GC_KEY = 3, GC_POLY_PRESSURE = 10, GC_CHANNEL_PRESSURE = 13,
    GC_PITCH_WHEEL = 14, GC_BEND_RANGE = 16, GC_LINK = 127
};

float ConcaveCurve(float x)
{
    if (x <= 0.0f)
        return 0.0f;
    if (x >= 1.0f)
        return 1.0f;
    float y = -(40.0f / 96.0f) * std::log10(1.0f - x);
    return y > 1.0f ? 1.0f : y;
}

float ConvexCurve(float x) { return 1.0f - ConcaveCurve(1.0f - x); }

static float ApplyCurve(int curve, float x)
{
    switch (curve) {
    case CURVE_CONCAVE: return ConcaveCurve(x);
    case CURVE_CONVEX:  return ConvexCurve(x);
    case CURVE_SWITCH:  return x >= 0.5f ? 1.0f : 0.0f;
    default:            return x;
    }
}

// A source's raw value and its full scale (127 for 7-bit data, 16383 for the wheel), or
// false when the source is unknown.
static bool RawSource(uint16_t src, const ModulatorInputs& in, int key, int velocity, float* value, float* fullScale)
{
    int index = SRC_INDEX(src);
    *fullScale = 127.0f;
    if (SRC_IS_CC(src)) {
        *value = in.cc[index];
        return true;
    }
    switch (index) {
    case GC_VELOCITY:         *value = (float)velocity; return true;
    case GC_KEY:              *value = (float)key; return true;
    case GC_POLY_PRESSURE:    *value = in.polyPressure[key & 127]; return true;
    case GC_CHANNEL_PRESSURE: *value = in.channelPressure; return true;
    case GC_PITCH_WHEEL:      *value = in.pitchWheel; *fullScale = 16383.0f; return true;
    case GC_BEND_RANGE:       *value = in.bendRangeSemitones; return true;
    default:                  return false;
    }
}

float ModulatorSourceValue(uint16_t src, const ModulatorInputs& in, int key, int velocity)
{
    if (!SRC_IS_CC(src) && SRC_INDEX(src) == GC_NONE)
        return 1.0f;
    float value, fullScale;
    if (!RawSource(src, in, key, velocity, &value, &fullScale))
        return 0.0f;
    int curve = SRC_CURVE(src);
    if (!SRC_BIPOLAR(src)) {
        float unit = value / fullScale;
        if (SRC_NEGATIVE(src))
            unit = 1.0f - unit;
        return ApplyCurve(curve, unit);
    }
    // Bipolar: the controller's centre (64, or 8192 of the wheel) is exactly 0, both ends exactly 1.
    float centre = (fullScale + 1.0f) * 0.5f;
    float b = value >= centre ? (value - centre) / (fullScale - centre) : (value - centre) / centre;
    if (SRC_NEGATIVE(src))
        b = -b;
    if (curve == CURVE_SWITCH)
        return b >= 0.0f ? 1.0f : -1.0f;
    float magnitude = ApplyCurve(curve, b < 0 ? -b : b);
    return b < 0 ? -magnitude : magnitude;
}

static bool SourceIsUsable(uint16_t src)
{
    if (SRC_CURVE(src) > CURVE_SWITCH)
        return false;
    int index = SRC_INDEX(src);
    if (SRC_IS_CC(src)) {
        // Controllers the format reserves: bank select, data entry, RPN/NRPN selection, channel mode.
        return !(index == 0 || index == 6 || index == 32 || index == 38 || (index >= 98 && index <= 101) ||
                 index >= 120);
    }
    switch (index) {
    case GC_NONE: case GC_VELOCITY: case GC_KEY: case GC_POLY_PRESSURE:
    case GC_CHANNEL_PRESSURE: case GC_PITCH_WHEEL: case GC_BEND_RANGE:
        return true;
    default:
        return false;
    }
}

bool ModulatorIsUsable(const SfModulator& m)
{
    if (m.destOper >= GEN_COUNT || (m.transOper != 0 && m.transOper != 2))
        return false;
    // A modulator without a primary source gives nothing.
    if (!SRC_IS_CC(m.srcOper) && SRC_INDEX(m.srcOper) == GC_NONE)
        return false;
    return SourceIsUsable(m.srcOper) && SourceIsUsable(m.amtSrcOper);
}

void EvaluateModulators(const SfModulator* mods, int n, const ModulatorInputs& in, int key, int velocity,
                        float* modSum)
{
    std::memset(modSum, 0, sizeof(float) * GEN_COUNT);
    for (int i = 0; i < n; ++i) {
        const SfModulator& m = mods[i];
        float v = (float)m.amount * ModulatorSourceValue(m.srcOper, in, key, velocity) *
                  ModulatorSourceValue(m.amtSrcOper, in, key, velocity);
        if (m.transOper == 2 && v < 0)
            v = -v;
        modSum[m.destOper] += v;
    }
}
