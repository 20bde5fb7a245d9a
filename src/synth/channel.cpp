#include "synth/channel.h"

#include <cstring>

static void UpdateTuning(Channel& c)
{
    int fine = (c.rpnData[1][0] << 7) | c.rpnData[1][1];
    c.tuningCents = (fine - 8192) * (100.0 / 8192.0) + (c.rpnData[2][0] - 64) * 100.0;
    c.in.bendRangeSemitones = (float)c.rpnData[0][0] + (float)c.rpnData[0][1] / 100.0f;
}

void ResetChannel(Channel& c, int index, int mode)
{
    std::memset(&c, 0, sizeof c);
    c.in.cc[7] = 100;
    c.in.cc[10] = 64;
    c.in.cc[11] = 127;
    c.in.cc[91] = 40;
    c.in.cc[98] = c.in.cc[99] = c.in.cc[100] = c.in.cc[101] = 127;
    c.in.pitchWheel = 8192;
    c.rpnData[0][0] = 2;
    c.rpnData[1][0] = 64;
    c.rpnData[2][0] = 64;
    UpdateTuning(c);
    c.param = PARAM_NONE;
    c.drums = index == 9;
    if (mode == MODE_XG && index == 9)
        c.bankMsb = 127;
    if (mode == MODE_GM2 && index == 9)
        c.bankMsb = 120;
    c.in.cc[0] = (uint8_t)c.bankMsb;
    c.preset = -1;
    c.dirty = true;
}

void ResetChannelControllers(Channel& c)
{
    c.in.cc[1] = 0;
    c.in.cc[11] = 127;
    c.in.cc[64] = c.in.cc[65] = c.in.cc[66] = c.in.cc[67] = 0;
    c.in.cc[98] = c.in.cc[99] = c.in.cc[100] = c.in.cc[101] = 127;
    c.in.pitchWheel = 8192;
    c.in.channelPressure = 0;
    std::memset(c.in.polyPressure, 0, sizeof c.in.polyPressure);
    c.param = PARAM_NONE;
    c.paramIsNrpn = false;
    c.sustain = c.sostenuto = false;
    c.dirty = true;
}

void ChannelDataEntry(Channel& c, bool msb, int value)
{
    if (c.paramIsNrpn || c.param > 2)
        return;
    c.rpnData[c.param][msb ? 0 : 1] = (uint8_t)(value & 0x7F);
    UpdateTuning(c);
    c.dirty = true;
}

int ChannelBank(const Channel& c, int mode)
{
    if (c.drums)
        return 128;
    // XG keeps its melodic variations in the LSB, GS in the MSB.
    if (mode == MODE_XG)
        return c.bankMsb == 0 ? c.bankLsb : c.bankMsb;
    if (mode == MODE_GM2)
        return c.bankMsb == 121 ? c.bankLsb : c.bankMsb;
    return c.bankMsb;
}

void ChannelBankSelect(Channel& c, int value, int mode)
{
    c.bankMsb = value;
    if (mode == MODE_XG)
        c.drums = value == 126 || value == 127;
    else if (mode == MODE_GM2)
        c.drums = value == 120;
}
