// SoundFont modulators: a source (a controller through a curve) times an amount source
// times an amount, summed into a generator.
#pragma once

#include <cstdint>
#include "synth/soundfont.h"

// The controllers a channel offers the modulators.
struct ModulatorInputs {
    uint8_t cc[128];
    uint8_t polyPressure[128];
    uint8_t channelPressure;
    uint16_t pitchWheel;         // 14 bits, 8192 centred
    float bendRangeSemitones;    // RPN 0 (semitones and cents)
};

// A source's value in -1..1 after its curve, direction and polarity (the 16-bit source
// operator of the format). key and velocity are the note's.
float ModulatorSourceValue(uint16_t srcOper, const ModulatorInputs& in, int key, int velocity);

// The concave curve of the format: 0 at 0, 1 at 1, 40/96 * -log10(1 - x) between.
float ConcaveCurve(float x);
float ConvexCurve(float x);

// Whether the modulator is one this synthesizer evaluates (a primary source and an amount
// source it knows, a destination below GEN_COUNT, a transform it knows). The loader keeps
// only these (and only those aimed at a generator a zone may set, or the pitch).
bool ModulatorIsUsable(const SfModulator& m);

// Sets modSum[GEN_COUNT] to the sum of every modulator's output into its generator. The
// modulators are a NoteZone's: usable, checked once at load.
void EvaluateModulators(const SfModulator* mods, int n, const ModulatorInputs& in, int key, int velocity,
                        float* modSum);
