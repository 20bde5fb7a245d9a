// The synthesizer: MIDI messages to channels, notes to voices, voices to the mix, the mix
// through the effects and the output stage.
#include "synth/synth.h"

#include <cmath>
#include <cstring>
#include <new>
#include "synth/channel.h"
#include "synth/effects.h"
#include "synth/limiter.h"
#include "synth/soundfont.h"
#include "synth/voice.h"

#define SYNTH_CHANNELS 16
// Voices fading out after being stolen do not count against the limit; they get slots of
// their own so that the fade never delays a new note.
#define FADE_SLOTS 64
// The most zones one note may sound.
#define MAX_NOTE_ZONES 32
#define OUTPUT_CHUNK 256

// Fades, in seconds: a stolen or silenced voice, and the voices of a replaced font.
static const double kKillFadeSeconds = 0.002;
static const double kFontFadeSeconds = 0.005;
// Master gain: loud but unclipped for typical General MIDI songs; the limiter takes the rest.
static const float kMasterGain = 0.6f;

struct Synth {
    float rateHz;
    int maxVoices;
    int poolSize;
    bool effects;
    int mode;
    const SoundFont* font;
    const int16_t* pcm;
    uint32_t pcmFrames;
    uint32_t noteCounter;
    float masterVolume;          // the universal master volume message, linear
    Channel channels[SYNTH_CHANNELS];
    Voice* voices;
    NoteZone* zones;
    Reverb* reverb;
    Chorus* chorus;
    Limiter limiter;
    float reverbIn[SYNTH_BLOCK], chorusIn[SYNTH_BLOCK];
    float outLeft[OUTPUT_CHUNK], outRight[OUTPUT_CHUNK];
};

static uint32_t Samples(const Synth* s, double seconds) { return (uint32_t)(seconds * s->rateHz + 0.5); }

// ---- Lifetime -----------------------------------------------------------------------------------

static void ResetChannels(Synth* s)
{
    for (int i = 0; i < SYNTH_CHANNELS; ++i)
        ResetChannel(s->channels[i], i, s->mode);
}

Synth* CreateSynth(const SynthConfig& config)
{
    Synth* s = new (std::nothrow) Synth;
    if (!s)
        return nullptr;
    std::memset(s, 0, sizeof *s);
    s->rateHz = (float)(config.sampleRateHz >= 8000 && config.sampleRateHz <= 96000 ? config.sampleRateHz : 44100);
    s->maxVoices = config.maxVoices >= 1 ? (config.maxVoices <= 4096 ? config.maxVoices : 4096) : 256;
    s->poolSize = s->maxVoices + FADE_SLOTS;
    s->effects = config.effects;
    s->voices = new (std::nothrow) Voice[(size_t)s->poolSize];
    s->zones = new (std::nothrow) NoteZone[MAX_NOTE_ZONES];
    s->reverb = new (std::nothrow) Reverb;
    s->chorus = new (std::nothrow) Chorus;
    if (!s->voices || !s->zones || !s->reverb || !s->chorus) {
        DestroySynth(s);
        return nullptr;
    }
    std::memset(s->voices, 0, sizeof(Voice) * (size_t)s->poolSize);
    InitReverb(*s->reverb, s->rateHz);
    InitChorus(*s->chorus, s->rateHz);
    InitLimiter(s->limiter, s->rateHz);
    s->masterVolume = 1.0f;
    s->mode = MODE_GS;
    ResetChannels(s);
    return s;
}

void DestroySynth(Synth* s)
{
    if (!s)
        return;
    delete[] s->voices;
    delete[] s->zones;
    delete s->reverb;
    delete s->chorus;
    delete s;
}

void SynthSetSoundFont(Synth* s, const SoundFont* sf)
{
    if (sf == s->font)
        return;
    uint32_t fade = Samples(s, kFontFadeSeconds);
    for (int i = 0; i < s->poolSize; ++i)
        if (s->voices[i].state != VOICE_FREE)
            KillVoice(s->voices[i], fade);
    s->font = sf;
    s->pcm = sf ? SoundFontPcm(sf, &s->pcmFrames) : nullptr;
    if (!sf)
        s->pcmFrames = 0;
    for (int i = 0; i < SYNTH_CHANNELS; ++i)
        s->channels[i].presetValid = false;
}

bool SynthUsesSoundFont(const Synth* s, const SoundFont* sf)
{
    if (!sf)
        return false;
    if (s->font == sf)
        return true;
    for (int i = 0; i < s->poolSize; ++i)
        if (s->voices[i].state != VOICE_FREE && s->voices[i].font == sf)
            return true;
    return false;
}

void SynthSetEffects(Synth* s, bool on)
{
    if (on == s->effects)
        return;
    s->effects = on;
    ClearReverb(*s->reverb);
    ClearChorus(*s->chorus);
}

int SynthActiveVoices(const Synth* s)
{
    int n = 0;
    for (int i = 0; i < s->poolSize; ++i)
        n += s->voices[i].state != VOICE_FREE;
    return n;
}

// ---- Voices of a channel -------------------------------------------------------------------------

static void SilenceAllVoices(Synth* s)
{
    for (int i = 0; i < s->poolSize; ++i)
        s->voices[i].state = VOICE_FREE;
}

static void KillChannelVoices(Synth* s, int channel)
{
    uint32_t fade = Samples(s, kKillFadeSeconds);
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state != VOICE_FREE && v.channel == channel)
            KillVoice(v, fade);
    }
}

// A key let go: the voice releases unless a pedal holds it.
static void KeyUp(const Channel& c, Voice& v)
{
    if (c.sustain || v.sostenutoHeld)
        v.state = VOICE_SUSTAINED;
    else
        ReleaseVoice(v);
}

static void NoteOff(Synth* s, int channel, int key)
{
    const Channel& c = s->channels[channel];
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_ON && v.channel == channel && v.key == key && !v.killing)
            KeyUp(c, v);
    }
}

static void AllNotesOff(Synth* s, int channel)
{
    const Channel& c = s->channels[channel];
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_ON && v.channel == channel)
            KeyUp(c, v);
    }
}

static void SetSustain(Synth* s, int channel, bool down)
{
    Channel& c = s->channels[channel];
    c.sustain = down;
    if (down)
        return;
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_SUSTAINED && v.channel == channel && !v.sostenutoHeld)
            ReleaseVoice(v);
    }
}

static void SetSostenuto(Synth* s, int channel, bool down)
{
    Channel& c = s->channels[channel];
    if (down == c.sostenuto)
        return;
    c.sostenuto = down;
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_FREE || v.channel != channel)
            continue;
        if (down) {
            // Only the keys held now are caught.
            if (v.state == VOICE_ON)
                v.sostenutoHeld = true;
        } else if (v.sostenutoHeld) {
            v.sostenutoHeld = false;
            if (v.state == VOICE_SUSTAINED && !c.sustain)
                ReleaseVoice(v);
        }
    }
}

// How much a voice is worth keeping: released voices first, then pedal-held ones, then
// held keys; within each, the quieter and the older go first. Drums are kept longest.
static float KeepScore(const Synth* s, const Voice& v)
{
    float score = v.state == VOICE_RELEASED ? 0.0f : (v.state == VOICE_SUSTAINED ? 1000.0f : 2000.0f);
    if (s->channels[v.channel].drums)
        score += 500.0f;
    score += (float)GainToDecibels(v.lastAmplitude > 1e-9f ? v.lastAmplitude : 1e-9f);
    score -= (float)((double)v.age / s->rateHz);
    return score;
}

// A voice slot for a new note; steals one when the limit is reached. Never returns a voice
// of the note being started (noteId).
static Voice* AllocateVoice(Synth* s, uint32_t noteId)
{
    int counted = 0;
    Voice* free = nullptr;
    Voice* victim = nullptr;
    float victimScore = 0.0f;
    Voice* fading = nullptr;
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_FREE) {
            if (!free)
                free = &v;
            continue;
        }
        if (v.killing) {
            if (!fading || v.killSamplesLeft < fading->killSamplesLeft)
                fading = &v;
            continue;
        }
        ++counted;
        if (v.noteId == noteId)
            continue;
        float score = KeepScore(s, v);
        if (!victim || score < victimScore) {
            victim = &v;
            victimScore = score;
        }
    }
    if (counted >= s->maxVoices) {
        if (!victim)
            return nullptr;
        KillVoice(*victim, Samples(s, kKillFadeSeconds));
        if (!free) {
            // Every fade slot is busy: the fade nearest its end gives way at once.
            free = fading ? fading : victim;
        }
    }
    if (!free)
        free = fading;
    return free;
}

static int ChannelPreset(Synth* s, Channel& c)
{
    if (!c.presetValid) {
        c.preset = s->font ? ResolvePreset(s->font, ChannelBank(c, s->mode), c.program, c.drums) : -1;
        c.presetValid = true;
    }
    return c.preset;
}

static void NoteOn(Synth* s, int channel, int key, int velocity)
{
    if (velocity == 0) {
        NoteOff(s, channel, key);
        return;
    }
    Channel& c = s->channels[channel];
    if (!s->font)
        return;
    int preset = ChannelPreset(s, c);
    if (preset < 0)
        return;
    // A key struck again ends its previous note.
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state != VOICE_FREE && v.channel == channel && v.key == key && !v.released && !v.killing)
            ReleaseVoice(v);
    }
    int n = FindNoteZones(s->font, preset, key, velocity, s->zones, MAX_NOTE_ZONES);
    uint32_t noteId = ++s->noteCounter;
    for (int z = 0; z < n; ++z) {
        const NoteZone& zone = s->zones[z];
        int exclusiveClass = zone.gen[GEN_EXCLUSIVE_CLASS];
        if (exclusiveClass != 0) {
            uint32_t fade = Samples(s, kKillFadeSeconds);
            for (int i = 0; i < s->poolSize; ++i) {
                Voice& v = s->voices[i];
                if (v.state != VOICE_FREE && v.channel == channel && v.exclusiveClass == exclusiveClass &&
                    v.noteId != noteId)
                    KillVoice(v, fade);
            }
        }
        Voice* v = AllocateVoice(s, noteId);
        if (!v)
            break;
        StartVoice(*v, zone, c.in, s->font, s->pcm, s->pcmFrames, channel, key, velocity, noteId, s->rateHz);
    }
}

// ---- Messages ---------------------------------------------------------------------------------

static void ControlChange(Synth* s, int channel, int number, int value)
{
    Channel& c = s->channels[channel];
    c.in.cc[number] = (uint8_t)value;
    c.dirty = true;
    switch (number) {
    case 0:   ChannelBankSelect(c, value, s->mode); break;
    case 32:  c.bankLsb = value; break;
    case 6:   ChannelDataEntry(c, true, value); break;
    case 38:  ChannelDataEntry(c, false, value); break;
    case 64:  SetSustain(s, channel, value >= 64); break;
    case 66:  SetSostenuto(s, channel, value >= 64); break;
    case 98:  c.param = (c.param & 0x3F80) | value; c.paramIsNrpn = true; break;
    case 99:  c.param = (c.param & 0x7F) | (value << 7); c.paramIsNrpn = true; break;
    case 100: c.param = (c.param & 0x3F80) | value; c.paramIsNrpn = false; break;
    case 101: c.param = (c.param & 0x7F) | (value << 7); c.paramIsNrpn = false; break;
    case 120: KillChannelVoices(s, channel); break;
    case 121:
        // The pedals go up first, so that the notes they hold are released.
        SetSustain(s, channel, false);
        SetSostenuto(s, channel, false);
        ResetChannelControllers(c);
        break;
    case 123: case 124: case 125: case 126: case 127:
        AllNotesOff(s, channel);
        break;
    default:
        break;
    }
}

void SynthShortMsg(Synth* s, uint32_t msg)
{
    int status = (int)(msg & 0xFF);
    int d1 = (int)((msg >> 8) & 0x7F), d2 = (int)((msg >> 16) & 0x7F);
    int channel = status & 0x0F;
    Channel& c = s->channels[channel];
    switch (status & 0xF0) {
    case 0x80: NoteOff(s, channel, d1); break;
    case 0x90: NoteOn(s, channel, d1, d2); break;
    case 0xA0: c.in.polyPressure[d1] = (uint8_t)d2; c.dirty = true; break;
    case 0xB0: ControlChange(s, channel, d1, d2); break;
    case 0xC0: c.program = d1; c.presetValid = false; break;
    case 0xD0: c.in.channelPressure = (uint8_t)d1; c.dirty = true; break;
    case 0xE0: c.in.pitchWheel = (uint16_t)(d1 | (d2 << 7)); c.dirty = true; break;
    default: break;
    }
}

// A reset message of a mode: every channel back to its power-on state under that mode.
static void ModeReset(Synth* s, int mode)
{
    uint32_t fade = Samples(s, kKillFadeSeconds);
    for (int i = 0; i < s->poolSize; ++i)
        if (s->voices[i].state != VOICE_FREE)
            KillVoice(s->voices[i], fade);
    s->mode = mode;
    s->masterVolume = 1.0f;
    ResetChannels(s);
}

// GS part numbers in the address: 1 is channel index 9, 0 and 2..9 are 0..8, 10..15 stay.
static int GsPartChannel(int part)
{
    if (part == 0)
        return 9;
    if (part <= 9)
        return part - 1;
    return part;
}

void SynthSysEx(Synth* s, const uint8_t* d, size_t len)
{
    // Universal non-real-time: General MIDI system on/off.
    if (len >= 4 && d[0] == 0x7E && d[2] == 0x09) {
        if (d[3] == 0x01 || d[3] == 0x02)
            ModeReset(s, MODE_GS);
        else if (d[3] == 0x03)
            ModeReset(s, MODE_GM2);
        return;
    }
    // Universal real-time: master volume.
    if (len >= 6 && d[0] == 0x7F && d[2] == 0x04 && d[3] == 0x01) {
        int v = (d[4] & 0x7F) | ((d[5] & 0x7F) << 7);
        s->masterVolume = (float)v / 16383.0f;
        return;
    }
    // Roland GS data set: F0 41 dev 42 12 addr(3) data... sum F7.
    if (len >= 9 && d[0] == 0x41 && d[2] == 0x42 && d[3] == 0x12) {
        int a1 = d[4], a2 = d[5], a3 = d[6];
        if (a1 == 0x40 && a2 == 0x00 && a3 == 0x7F) {
            ModeReset(s, MODE_GS);
        } else if (a1 == 0x40 && (a2 & 0xF0) == 0x10 && a3 == 0x15) {
            // Use for rhythm part: 0 off, 1 and 2 the drum maps.
            Channel& c = s->channels[GsPartChannel(a2 & 0x0F)];
            c.drums = d[7] != 0;
            c.presetValid = false;
        }
        return;
    }
    // Yamaha XG system on: F0 43 1n 4C 00 00 7E 00 F7.
    if (len >= 7 && d[0] == 0x43 && (d[1] & 0xF0) == 0x10 && d[2] == 0x4C && d[3] == 0x00 && d[4] == 0x00 &&
        d[5] == 0x7E && d[6] == 0x00) {
        ModeReset(s, MODE_XG);
        return;
    }
}

void SynthReset(Synth* s)
{
    SilenceAllVoices(s);
    s->mode = MODE_GS;
    s->masterVolume = 1.0f;
    ResetChannels(s);
    ClearReverb(*s->reverb);
    ClearChorus(*s->chorus);
    InitLimiter(s->limiter, s->rateHz);
}

// ---- Rendering -----------------------------------------------------------------------------------

static void ApplyControllerChanges(Synth* s)
{
    bool any = false;
    for (int i = 0; i < SYNTH_CHANNELS; ++i)
        any |= s->channels[i].dirty;
    if (!any)
        return;
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state == VOICE_FREE || !s->channels[v.channel].dirty)
            continue;
        EvaluateModulators(v.mods, v.nMods, s->channels[v.channel].in, v.effKey, v.effVelocity, v.modSum);
        UpdateVoiceParameters(v);
    }
    for (int i = 0; i < SYNTH_CHANNELS; ++i)
        s->channels[i].dirty = false;
}

static void RenderBlock(Synth* s, float* left, float* right, int frames)
{
    std::memset(left, 0, sizeof(float) * (size_t)frames);
    std::memset(right, 0, sizeof(float) * (size_t)frames);
    ApplyControllerChanges(s);
    float* reverb = nullptr;
    float* chorus = nullptr;
    if (s->effects) {
        reverb = s->reverbIn;
        chorus = s->chorusIn;
        std::memset(reverb, 0, sizeof(float) * (size_t)frames);
        std::memset(chorus, 0, sizeof(float) * (size_t)frames);
    }
    VoiceChannelView views[SYNTH_CHANNELS];
    for (int i = 0; i < SYNTH_CHANNELS; ++i)
        views[i].tuningCents = s->channels[i].tuningCents;
    for (int i = 0; i < s->poolSize; ++i) {
        Voice& v = s->voices[i];
        if (v.state != VOICE_FREE)
            RenderVoice(v, views[v.channel], left, right, reverb, chorus, frames, s->rateHz);
    }
    if (s->effects) {
        RunReverb(*s->reverb, reverb, left, right, frames);
        RunChorus(*s->chorus, chorus, left, right, frames);
    }
    if (s->masterVolume != 1.0f) {
        for (int i = 0; i < frames; ++i) {
            left[i] *= s->masterVolume;
            right[i] *= s->masterVolume;
        }
    }
}

void SynthRenderFloat(Synth* s, float* left, float* right, int frames)
{
    while (frames > 0) {
        int n = frames < SYNTH_BLOCK ? frames : SYNTH_BLOCK;
        RenderBlock(s, left, right, n);
        left += n;
        right += n;
        frames -= n;
    }
}

void SynthRenderS16(Synth* s, int16_t* interleaved, int frames)
{
    while (frames > 0) {
        int n = frames < OUTPUT_CHUNK ? frames : OUTPUT_CHUNK;
        SynthRenderFloat(s, s->outLeft, s->outRight, n);
        RunLimiter(s->limiter, s->outLeft, s->outRight, kMasterGain, interleaved, n);
        interleaved += 2 * n;
        frames -= n;
    }
}
