// A MIDI channel's state: controllers, program and bank, the registered parameters, the
// pedals. What the voices read of it is the modulators' inputs and the tuning.
#pragma once

#include <cstdint>
#include "synth/modulator.h"

// How bank select and drum channels are understood: GS (the default and General MIDI),
// General MIDI 2 and XG, as their reset messages select.
enum SynthMode { MODE_GS = 0, MODE_GM2, MODE_XG };

#define PARAM_NONE 0x3FFF        // RPN/NRPN 127/127: no parameter selected

struct Channel {
    ModulatorInputs in;
    int program;
    int bankMsb, bankLsb;
    bool drums;
    int preset;                  // resolved preset of the current font, or -1
    bool presetValid;
    int param;                   // selected RPN or NRPN, 14 bits
    bool paramIsNrpn;
    uint8_t rpnData[3][2];       // data entry MSB and LSB of RPN 0..2
    double tuningCents;          // RPN 1 (fine) plus RPN 2 (coarse)
    bool sustain, sostenuto;
    bool dirty;                  // controllers changed since the voices last read them
};

// Power-on state of channel index.
void ResetChannel(Channel& c, int index, int mode);
// Reset all controllers (CC121) as the MIDI recommendation lists: expression full, bend
// centred, pressures 0, modulation 0, pedals up, no parameter selected. Volume, pan, the
// effect sends, bank, program and the registered parameters' values stay.
void ResetChannelControllers(Channel& c);
// Data entry (CC6 when msb, CC38 otherwise) into the selected registered parameter.
void ChannelDataEntry(Channel& c, bool msb, int value);
// The SoundFont bank the channel's program plays from.
int ChannelBank(const Channel& c, int mode);
// Bank select MSB under the mode's drum conventions (XG and General MIDI 2 switch a channel
// to drums by bank).
void ChannelBankSelect(Channel& c, int value, int mode);
