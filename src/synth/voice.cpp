#include "synth/voice.h"

#include <cstring>
#include "synth/modulator.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the sample gather reads 16-bit frames in pairs, little-endian"
#endif

// Below this amplitude (about -137 dB) a voice is inaudible and ends.
static const float kInaudible = 1.4e-7f;
// The same for the volume envelope's own value (1 - 137 / 96).
static const float kInaudibleEnvelope = 1.0f - 137.0f / 96.0f;
static const float kPcmScale = 1.0f / 32768.0f;
static const double kPi = 3.14159265358979323846;
// log2(10): decibels and centibels become powers of two with it.
static const float kLog2Of10 = 3.32192809f;

template <typename T> static T Clamp(T x, T lo, T hi) { return x < lo ? lo : (x > hi ? hi : x); }

static uint32_t SecondsToSamples(double seconds, double rateHz)
{
    double n = seconds * rateHz + 0.5;
    if (n < 1.0)
        return 1;
    return n > 4.0e9 ? 4000000000u : (uint32_t)n;
}

// ---- Envelopes -------------------------------------------------------------------------------

void StartEnvelope(Envelope& e, double delaySeconds, double attackSeconds, double holdSeconds,
                   double decaySeconds, float sustain, double releaseSeconds, float floor, double rateHz)
{
    e.stage = ENV_DELAY;
    e.samplesInStage = 0;
    e.delaySamples = SecondsToSamples(delaySeconds, rateHz);
    e.attackSamples = SecondsToSamples(attackSeconds, rateHz);
    e.holdSamples = SecondsToSamples(holdSeconds, rateHz);
    e.decayPerSample = (float)(1.0 / (decaySeconds * rateHz));
    e.releasePerSample = (float)(1.0 / (releaseSeconds * rateHz));
    e.sustain = sustain;
    e.floor = floor;
    e.value = 0.0f;
}

void ReleaseEnvelope(Envelope& e, bool volume)
{
    if (e.stage == ENV_DONE || e.stage == ENV_RELEASE)
        return;
    if (e.stage == ENV_DELAY) {
        e.value = e.floor;
        e.stage = volume ? ENV_DONE : ENV_RELEASE;
        return;
    }
    if (volume && e.stage == ENV_ATTACK) {
        // The attack is linear in amplitude, the release linear in decibels: continue from
        // the same loudness.
        float db = (float)GainToDecibels(e.value);
        e.value = e.value > 0 ? 1.0f + db / 96.0f : e.floor;
        if (e.value < e.floor)
            e.value = e.floor;
    }
    e.stage = ENV_RELEASE;
}

void AdvanceEnvelope(Envelope& e, int frames)
{
    uint32_t n = (uint32_t)frames;
    while (n > 0) {
        switch (e.stage) {
        case ENV_DELAY:
        case ENV_ATTACK:
        case ENV_HOLD: {
            uint32_t length = e.stage == ENV_DELAY ? e.delaySamples
                            : e.stage == ENV_ATTACK ? e.attackSamples : e.holdSamples;
            uint32_t left = length - e.samplesInStage;
            uint32_t take = n < left ? n : left;
            e.samplesInStage += take;
            n -= take;
            if (e.stage == ENV_ATTACK)
                e.value = (float)e.samplesInStage / (float)length;
            if (e.samplesInStage >= length) {
                e.value = e.stage == ENV_DELAY ? 0.0f : 1.0f;
                e.stage++;
                e.samplesInStage = 0;
            }
            break;
        }
        case ENV_DECAY:
            e.value -= e.decayPerSample * (float)n;
            if (e.value <= e.sustain) {
                e.value = e.sustain;
                e.stage = ENV_SUSTAIN;
            }
            n = 0;
            break;
        case ENV_RELEASE:
            e.value -= e.releasePerSample * (float)n;
            if (e.value <= e.floor) {
                e.value = e.floor;
                e.stage = ENV_DONE;
            }
            n = 0;
            break;
        default:
            n = 0;
            break;
        }
    }
}

// ---- LFOs ------------------------------------------------------------------------------------

void StartLfo(Lfo& l, double delaySeconds, double frequencyHz, double rateHz)
{
    l.delaySamples = (uint32_t)(delaySeconds * rateHz + 0.5);
    l.phase = 0.0f;
    l.phasePerSample = (float)(frequencyHz / rateHz);
}

float StepLfo(Lfo& l, int frames)
{
    if (l.delaySamples > 0) {
        uint32_t take = (uint32_t)frames < l.delaySamples ? (uint32_t)frames : l.delaySamples;
        l.delaySamples -= take;
        frames -= (int)take;
        if (l.delaySamples > 0 || frames == 0)
            return 0.0f;
    }
    float p = l.phase;
    float value = p < 0.25f ? 4.0f * p : (p < 0.75f ? 2.0f - 4.0f * p : 4.0f * p - 4.0f);
    l.phase += l.phasePerSample * (float)frames;
    l.phase -= std::floor(l.phase);
    return value;
}

// ---- Low-pass ----------------------------------------------------------------------------------

void SetLowPass(LowPass& f, float cutoffHz, float resonanceDb, float rateHz)
{
    f.cutoffHz = cutoffHz;
    f.resonanceDb = resonanceDb;
    // The resonance is the height of the peak over the pass band: Q of the two-pole filter
    // at least that of the flat (Butterworth) response.
    double q = std::pow(10.0, resonanceDb / 20.0);
    if (q < 0.70710678)
        q = 0.70710678;
    double w0 = 2.0 * kPi * cutoffHz / rateHz;
    double c = std::cos(w0), alpha = std::sin(w0) / (2.0 * q);
    double a0 = 1.0 + alpha;
    f.b0 = (float)((1.0 - c) * 0.5 / a0);
    f.b1 = (float)((1.0 - c) / a0);
    f.b2 = f.b0;
    f.a1 = (float)(-2.0 * c / a0);
    f.a2 = (float)((1.0 - alpha) / a0);
}

void RunLowPass(LowPass& f, float* buf, int frames)
{
    // The feed-forward half has no recursion: all frames at once.
    float u[SYNTH_BLOCK];
    const float b0 = f.b0, b1 = f.b1, b2 = f.b2, a1 = f.a1, a2 = f.a2;
    float x1 = f.x1, x2 = f.x2;
    u[0] = b0 * buf[0] + b1 * x1 + b2 * x2;
    if (frames > 1)
        u[1] = b0 * buf[1] + b1 * buf[0] + b2 * x1;
    for (int i = 2; i < frames; ++i)
        u[i] = b0 * buf[i] + b1 * buf[i - 1] + b2 * buf[i - 2];
    f.x1 = buf[frames - 1];
    f.x2 = frames > 1 ? buf[frames - 2] : x1;

    // The recursion two frames per step: the second frame's output written in terms of the
    // same two earlier outputs as the first's, so each step waits for one multiply-add only.
    const float c1 = a1 * a1 - a2, c2 = a1 * a2;
    float y1 = f.y1, y2 = f.y2;
    int i = 0;
    for (; i + 1 < frames; i += 2) {
        float first = (u[i] - a2 * y2) - a1 * y1;
        float second = ((u[i + 1] - a1 * u[i]) + c2 * y2) + c1 * y1;
        buf[i] = first;
        buf[i + 1] = second;
        y2 = first;
        y1 = second;
    }
    if (i < frames) {
        float y = (u[i] - a2 * y2) - a1 * y1;
        buf[i] = y;
        y2 = y1;
        y1 = y;
    }
    // Flush values too small to hear before they become denormal.
    if (std::fabs(y1) < 1e-20f) y1 = 0.0f;
    if (std::fabs(y2) < 1e-20f) y2 = 0.0f;
    f.y1 = y1;
    f.y2 = y2;
}

// ---- Voice -----------------------------------------------------------------------------------

static float Gen(const Voice& v, int g) { return (float)v.gen[g] + v.modSum[g]; }

static double TimeGen(const Voice& v, int g, float lo, float hi, float extraTimecents = 0.0f)
{
    return TimecentsToSeconds(Clamp(Gen(v, g) + extraTimecents, lo, hi));
}

void StartVoice(Voice& v, const NoteZone& zone, const ModulatorInputs& in, const SoundFont* font,
                const int16_t* pcm, uint32_t pcmFrames, int channel, int key, int velocity, uint32_t noteId,
                double outputRateHz)
{
    std::memset(&v, 0, sizeof v);
    v.state = VOICE_ON;
    v.font = font;
    v.pcm = pcm;
    v.channel = channel;
    v.key = key;
    v.velocity = velocity;
    v.noteId = noteId;
    std::memcpy(v.gen, zone.gen, sizeof v.gen);
    v.nMods = zone.nMods < SF_MAX_VOICE_MODS ? zone.nMods : SF_MAX_VOICE_MODS;
    std::memcpy(v.mods, zone.mods, sizeof(SfModulator) * (size_t)v.nMods);
    v.effKey = (v.gen[GEN_KEYNUM] >= 0 && v.gen[GEN_KEYNUM] <= 127) ? v.gen[GEN_KEYNUM] : key;
    v.effVelocity = (v.gen[GEN_VELOCITY] >= 1 && v.gen[GEN_VELOCITY] <= 127) ? v.gen[GEN_VELOCITY] : velocity;
    v.exclusiveClass = v.gen[GEN_EXCLUSIVE_CLASS];

    const SfSample& s = *zone.sample;
    int64_t last = (int64_t)pcmFrames;
    int64_t start = (int64_t)s.start + v.gen[GEN_START_ADDRS_OFFSET] + 32768LL * v.gen[GEN_START_ADDRS_COARSE_OFFSET];
    int64_t end = (int64_t)s.end + v.gen[GEN_END_ADDRS_OFFSET] + 32768LL * v.gen[GEN_END_ADDRS_COARSE_OFFSET];
    int64_t loopStart = (int64_t)s.loopStart + v.gen[GEN_STARTLOOP_ADDRS_OFFSET] +
                        32768LL * v.gen[GEN_STARTLOOP_ADDRS_COARSE_OFFSET];
    int64_t loopEnd = (int64_t)s.loopEnd + v.gen[GEN_ENDLOOP_ADDRS_OFFSET] +
                      32768LL * v.gen[GEN_ENDLOOP_ADDRS_COARSE_OFFSET];
    start = Clamp<int64_t>(start, 0, last > 0 ? last - 1 : 0);
    end = Clamp<int64_t>(end, start + 1, last);
    loopStart = Clamp<int64_t>(loopStart, start, end);
    loopEnd = Clamp<int64_t>(loopEnd, loopStart, end);
    v.start = (uint32_t)start;
    v.end = (uint32_t)end;
    v.loopStart = (uint32_t)loopStart;
    v.loopEnd = (uint32_t)loopEnd;
    v.loopMode = v.gen[GEN_SAMPLE_MODES] & 3;
    if (v.loopMode == 2 || v.loopEnd - v.loopStart < 1)
        v.loopMode = 0;
    v.phase = (uint64_t)v.start << 32;
    v.lastExponent = 0.0f;
    v.exponentGain = 1.0f;   // 2 to the power 0

    int root = (v.gen[GEN_OVERRIDING_ROOT_KEY] >= 0 && v.gen[GEN_OVERRIDING_ROOT_KEY] <= 127)
                   ? v.gen[GEN_OVERRIDING_ROOT_KEY] : (s.originalKey <= 127 ? s.originalKey : 60);
    v.rootKey = root;
    v.pitchCorrectionCents = s.pitchCorrectionCents;
    v.rateRatio = (s.sampleRateHz > 0 ? (double)s.sampleRateHz : outputRateHz) / outputRateHz;

    EvaluateModulators(v.mods, v.nMods, in, v.effKey, v.effVelocity, v.modSum);
    UpdateVoiceParameters(v);

    // Envelopes and LFOs take their times at the start of the note.
    float keyFromMiddle = (float)(60 - v.effKey);
    float volSustainCb = Clamp(Gen(v, GEN_SUSTAIN_VOL_ENV), 0.0f, 1440.0f);
    StartEnvelope(v.volEnv, TimeGen(v, GEN_DELAY_VOL_ENV, -12000, 5000), TimeGen(v, GEN_ATTACK_VOL_ENV, -12000, 8000),
                  TimeGen(v, GEN_HOLD_VOL_ENV, -12000, 5000, Gen(v, GEN_KEYNUM_TO_VOL_ENV_HOLD) * keyFromMiddle),
                  TimeGen(v, GEN_DECAY_VOL_ENV, -12000, 8000, Gen(v, GEN_KEYNUM_TO_VOL_ENV_DECAY) * keyFromMiddle),
                  1.0f - volSustainCb / 960.0f, TimeGen(v, GEN_RELEASE_VOL_ENV, -12000, 8000),
                  1.0f - 1440.0f / 960.0f, outputRateHz);
    float modSustain = Clamp(Gen(v, GEN_SUSTAIN_MOD_ENV), 0.0f, 1000.0f);
    StartEnvelope(v.modEnv, TimeGen(v, GEN_DELAY_MOD_ENV, -12000, 5000), TimeGen(v, GEN_ATTACK_MOD_ENV, -12000, 8000),
                  TimeGen(v, GEN_HOLD_MOD_ENV, -12000, 5000, Gen(v, GEN_KEYNUM_TO_MOD_ENV_HOLD) * keyFromMiddle),
                  TimeGen(v, GEN_DECAY_MOD_ENV, -12000, 8000, Gen(v, GEN_KEYNUM_TO_MOD_ENV_DECAY) * keyFromMiddle),
                  1.0f - modSustain / 1000.0f, TimeGen(v, GEN_RELEASE_MOD_ENV, -12000, 8000), 0.0f, outputRateHz);
    StartLfo(v.modLfo, TimeGen(v, GEN_DELAY_MOD_LFO, -12000, 5000),
             AbsoluteCentsToHz(Clamp(Gen(v, GEN_FREQ_MOD_LFO), -16000.0f, 4500.0f)), outputRateHz);
    StartLfo(v.vibLfo, TimeGen(v, GEN_DELAY_VIB_LFO, -12000, 5000),
             AbsoluteCentsToHz(Clamp(Gen(v, GEN_FREQ_VIB_LFO), -16000.0f, 4500.0f)), outputRateHz);
    v.filter.cutoffHz = -1.0f;
}

void UpdateVoiceParameters(Voice& v)
{
    // Initial attenuation counts at 0.4 of its nominal value, as the hardware the format
    // was made for did and as SoundFonts are voiced; the modulators' part counts in full.
    // Only the total is held to 0..1440 cB: a preset's negative value (a drum kit's louder
    // kick, say) takes back the velocity's and the volume's attenuation as it does there.
    float attenuation = 0.4f * (float)v.gen[GEN_INITIAL_ATTENUATION] + v.modSum[GEN_INITIAL_ATTENUATION];
    v.attenuationCb = Clamp(attenuation, 0.0f, 1440.0f);

    float pan = Clamp(Gen(v, GEN_PAN), -500.0f, 500.0f);
    double angle = (pan + 500.0) / 1000.0 * (kPi / 2.0);
    v.panLeft = (float)std::cos(angle);
    v.panRight = (float)std::sin(angle);
    v.reverbSend = Clamp(Gen(v, GEN_REVERB_EFFECTS_SEND), 0.0f, 1000.0f) / 1000.0f;
    v.chorusSend = Clamp(Gen(v, GEN_CHORUS_EFFECTS_SEND), 0.0f, 1000.0f) / 1000.0f;

    float scaleTuning = Clamp(Gen(v, GEN_SCALE_TUNING), 0.0f, 1200.0f);
    v.pitchCents = (v.effKey - v.rootKey) * (double)scaleTuning + v.pitchCorrectionCents +
                   Clamp(Gen(v, GEN_COARSE_TUNE), -120.0f, 120.0f) * 100.0 +
                   Clamp(Gen(v, GEN_FINE_TUNE), -12700.0f, 12700.0f) + v.modSum[GEN_INITIAL_PITCH];

    v.filterCutoffCents = Clamp(Gen(v, GEN_INITIAL_FILTER_FC), 1500.0f, 13500.0f);
    v.filterResonanceDb = Clamp(Gen(v, GEN_INITIAL_FILTER_Q), 0.0f, 960.0f) / 10.0f;
    v.modLfoToPitch = Clamp(Gen(v, GEN_MOD_LFO_TO_PITCH), -12000.0f, 12000.0f);
    v.vibLfoToPitch = Clamp(Gen(v, GEN_VIB_LFO_TO_PITCH), -12000.0f, 12000.0f);
    v.modEnvToPitch = Clamp(Gen(v, GEN_MOD_ENV_TO_PITCH), -12000.0f, 12000.0f);
    v.modLfoToFilter = Clamp(Gen(v, GEN_MOD_LFO_TO_FILTER_FC), -12000.0f, 12000.0f);
    v.modEnvToFilter = Clamp(Gen(v, GEN_MOD_ENV_TO_FILTER_FC), -12000.0f, 12000.0f);
    v.modLfoToVolumeCb = Clamp(Gen(v, GEN_MOD_LFO_TO_VOLUME), -960.0f, 960.0f);
    if (v.filterCutoffCents < 13500.0f || v.filterResonanceDb > 0.0f || v.modLfoToFilter != 0.0f ||
        v.modEnvToFilter != 0.0f)
        v.filterOn = true;
}

void ReleaseVoice(Voice& v)
{
    if (v.released)
        return;
    v.released = true;
    v.state = VOICE_RELEASED;
    ReleaseEnvelope(v.volEnv, true);
    ReleaseEnvelope(v.modEnv, false);
}

void KillVoice(Voice& v, uint32_t fadeSamples)
{
    if (v.killing && v.killSamplesLeft <= fadeSamples)
        return;
    v.killing = true;
    v.killSamples = fadeSamples > 0 ? fadeSamples : 1;
    v.killSamplesLeft = v.killSamples;
}

// The sample at frame j as playback hears it: wrapped into the loop while looping, held at
// the start before it, silent past the end.
static float PointAt(const Voice& v, int64_t j, bool looping)
{
    if (looping) {
        int64_t length = (int64_t)v.loopEnd - v.loopStart;
        if (j >= v.loopEnd)
            j -= length;
        else if (j < v.loopStart && v.hasLooped)
            j += length;
    } else if (j >= v.end) {
        return 0.0f;
    }
    if (j < v.start)
        j = v.start;
    return (float)v.pcm[j];
}

// Asks the memory system for the frames the voice's next block will read: with a few
// hundred voices streaming from all over the font, the hardware's own prefetching loses
// track, and waiting for memory would cost more than the arithmetic.
static void PrefetchNextBlock(const Voice& v, uint64_t step, bool looping)
{
#if defined(__GNUC__)
    uint64_t first = v.phase >> 32;
    uint64_t last = first + ((step * SYNTH_BLOCK) >> 32) + 3;
    uint64_t limit = looping ? v.loopEnd : v.end;
    if (last > limit)
        last = limit;
    const char* p = (const char*)(v.pcm + first);
    for (uint64_t bytes = 0; first + bytes / 2 < last; bytes += 64)
        __builtin_prefetch(p + bytes);
    if (looping && last == limit)
        __builtin_prefetch(v.pcm + v.loopStart);
#else
    (void)v; (void)step; (void)looping;
#endif
}

// Interpolated samples into out; returns how many before a sample without a loop ended.
static int FillSamples(Voice& v, float* out, int frames, uint64_t step)
{
    const int16_t* pcm = v.pcm;
    const bool looping = v.loopMode == 1 || (v.loopMode == 3 && !v.released);
    uint64_t ph = v.phase;
    int i = 0;
    while (i < frames) {
        int64_t idx = (int64_t)(ph >> 32);
        int64_t lo, hi;   // every position in lo..hi reads its four points straight from the data
        if (looping) {
            if (idx >= v.loopEnd) {
                uint64_t length = (uint64_t)(v.loopEnd - v.loopStart) << 32;
                ph = ((uint64_t)v.loopStart << 32) + (ph - ((uint64_t)v.loopEnd << 32)) % length;
                v.hasLooped = true;
                continue;
            }
            lo = (int64_t)(v.hasLooped ? v.loopStart : v.start) + 1;
            hi = (int64_t)v.loopEnd - 3;
        } else {
            if (idx >= v.end)
                break;
            lo = (int64_t)v.start + 1;
            hi = (int64_t)v.end - 3;
        }
        if (idx >= lo && idx <= hi) {
            uint64_t limit = (uint64_t)(hi + 1) << 32;
            uint64_t n = (limit - ph + step - 1) / step;
            int count = n < (uint64_t)(frames - i) ? (int)n : frames - i;
            // Gather the four points of each frame as two pairs of 16-bit words, then
            // interpolate them all in a loop the compiler turns into vector code.
            uint32_t pairA[SYNTH_BLOCK], pairB[SYNTH_BLOCK];
            int32_t frac[SYNTH_BLOCK];
            for (int k = 0; k < count; ++k) {
                uint64_t four;
                std::memcpy(&four, pcm + (ph >> 32) - 1, 8);
                pairA[k] = (uint32_t)four;
                pairB[k] = (uint32_t)(four >> 32);
                frac[k] = (int32_t)((uint32_t)ph >> 8);
                ph += step;
            }
            float* o = out + i;
            for (int k = 0; k < count; ++k) {
                // Little-endian: the earlier frame is the low word.
                float x0 = (float)((int32_t)(pairA[k] << 16) >> 16), x1 = (float)((int32_t)pairA[k] >> 16);
                float x2 = (float)((int32_t)(pairB[k] << 16) >> 16), x3 = (float)((int32_t)pairB[k] >> 16);
                o[k] = InterpolateCubic(x0, x1, x2, x3, (float)frac[k] * (1.0f / 16777216.0f));
            }
            i += count;
        } else {
            float f = (float)(uint32_t)ph * (1.0f / 4294967296.0f);
            out[i++] = InterpolateCubic(PointAt(v, idx - 1, looping), PointAt(v, idx, looping),
                                        PointAt(v, idx + 1, looping), PointAt(v, idx + 2, looping), f);
            ph += step;
        }
    }
    v.phase = ph;
    PrefetchNextBlock(v, step, looping);
    return i;
}

// ---- One block of a voice: pitch, fetch, filter, amplitude, mix -----------------------------

// Pitch: the playback step (frames of the sample per output frame, 32.32 fixed point) for
// the note's pitch and what moves it this block.
static uint64_t PitchStep(Voice& v, const VoiceChannelView& ch, float modLfo, float vibLfo, float modEnv)
{
    double cents = v.pitchCents + ch.tuningCents + modLfo * v.modLfoToPitch + vibLfo * v.vibLfoToPitch +
                   modEnv * v.modEnvToPitch;
    if (cents != v.stepCents || v.step == 0) {
        // Most voices hold their pitch: the exponential only when it moves.
        double ratio = v.rateRatio * std::exp2((float)cents * (1.0f / 1200.0f));
        ratio = Clamp(ratio, 1.0 / 65536.0, 256.0);
        v.step = (uint64_t)(ratio * 4294967296.0);
        v.stepCents = cents;
    }
    return v.step;
}

// Fetch: the block's interpolated sample frames into buf, zeros after a sample without a
// loop ended; true when it ended.
static bool FetchBlock(Voice& v, float* buf, int frames, uint64_t step)
{
    int produced = FillSamples(v, buf, frames, step);
    for (int i = produced; i < frames; ++i)
        buf[i] = 0.0f;
    return produced < frames;
}

// Filter: the resonant low-pass at the cutoff the block's modulation gives; its
// coefficients are computed again only when the cutoff or the resonance moves.
static void FilterBlock(Voice& v, float* buf, int frames, float modLfo, float modEnv, float rateHz)
{
    if (!v.filterOn)
        return;
    float fcCents = v.filterCutoffCents + modLfo * v.modLfoToFilter + modEnv * v.modEnvToFilter;
    float maxHz = 0.45f * rateHz;
    float fcHz = Clamp((float)AbsoluteCentsToHz(fcCents), 20.0f, maxHz);
    LowPass& f = v.filter;
    if (fcHz >= maxHz && v.filterResonanceDb <= 0.0f) {
        // Wide open and without resonance the filter passes everything it hears: skip it,
        // keeping its state as a transparent filter's so that it can take over smoothly.
        f.x2 = f.y2 = frames >= 2 ? buf[frames - 2] : f.x1;
        f.x1 = f.y1 = buf[frames - 1];
        return;
    }
    if (std::fabs(fcHz - f.cutoffHz) > 0.001f * fcHz || f.resonanceDb != v.filterResonanceDb)
        SetLowPass(f, fcHz, v.filterResonanceDb, rateHz);
    RunLowPass(f, buf, frames);
}

// Amplitude: the voice's gain at the block's end (envelope, attenuation, tremolo), kept in
// v.lastAmplitude, times the fade of a voice being killed; *faded when that fade is over.
static float BlockAmplitude(Voice& v, float modLfo, int frames, bool* faded)
{
    // The envelope's decibels and the attenuation's centibels meet in one exponent of 2.
    float exponent = (v.attenuationCb - modLfo * v.modLfoToVolumeCb) * (-kLog2Of10 / 200.0f);
    float envGain;
    switch (v.volEnv.stage) {
    case ENV_DELAY: case ENV_DONE: envGain = 0.0f; break;
    case ENV_ATTACK: envGain = v.volEnv.value; break;
    default:
        envGain = 1.0f;   // folded into the exponent
        exponent += (v.volEnv.value - 1.0f) * (96.0f / 20.0f * kLog2Of10);
        break;
    }
    if (exponent != v.lastExponent) {
        v.lastExponent = exponent;
        v.exponentGain = std::exp2(exponent);
    }
    v.lastAmplitude = envGain * v.exponentGain;
    float fade = 1.0f;
    if (v.killing) {
        v.killSamplesLeft = v.killSamplesLeft > (uint32_t)frames ? v.killSamplesLeft - (uint32_t)frames : 0;
        fade = (float)v.killSamplesLeft / (float)v.killSamples;
        *faded = v.killSamplesLeft == 0;
    }
    return v.lastAmplitude * fade;
}

// Adds buf times a gain ramping from *gain to target across the block into out; each
// frame's gain comes from its index, so the loop has no dependency between frames.
static void MixRamp(const float* buf, float* out, float* gain, float target, int frames)
{
    const float g = *gain, d = (target - g) / (float)frames;
    for (int i = 0; i < frames; ++i)
        out[i] += buf[i] * (g + d * (float)(i + 1));
    *gain = target;
}

// Mix: the block into the dry pair and the effect sends, at the block's amplitude.
static void MixBlock(Voice& v, const float* buf, float amplitude, float* left, float* right, float* reverb,
                     float* chorus, int frames)
{
    float a = amplitude * kPcmScale;
    MixRamp(buf, left, &v.gainLeft, a * v.panLeft, frames);
    MixRamp(buf, right, &v.gainRight, a * v.panRight, frames);
    if (!reverb || !chorus) {
        v.gainReverb = v.gainChorus = 0.0f;
        return;
    }
    float targetReverb = a * v.reverbSend, targetChorus = a * v.chorusSend;
    if (targetReverb > 0.0f || v.gainReverb > 0.0f)
        MixRamp(buf, reverb, &v.gainReverb, targetReverb, frames);
    if (targetChorus > 0.0f || v.gainChorus > 0.0f)
        MixRamp(buf, chorus, &v.gainChorus, targetChorus, frames);
}

// Whether the voice has gone quiet for good: its envelope over, or inaudible.
static bool VoiceIsSilent(const Voice& v)
{
    if (v.volEnv.stage == ENV_DONE)
        return true;
    if (v.volEnv.stage >= ENV_DECAY && v.volEnv.value < kInaudibleEnvelope)
        return true;
    return v.volEnv.stage == ENV_RELEASE && v.lastAmplitude < kInaudible;
}

void RenderVoice(Voice& v, const VoiceChannelView& ch, float* left, float* right, float* reverb, float* chorus,
                 int frames, float rateHz)
{
    float modLfo = StepLfo(v.modLfo, frames);
    float vibLfo = StepLfo(v.vibLfo, frames);
    AdvanceEnvelope(v.modEnv, frames);
    float modEnv = Clamp(v.modEnv.value, 0.0f, 1.0f);
    AdvanceEnvelope(v.volEnv, frames);

    uint64_t step = PitchStep(v, ch, modLfo, vibLfo, modEnv);
    float buf[SYNTH_BLOCK];
    bool ended = FetchBlock(v, buf, frames, step);
    FilterBlock(v, buf, frames, modLfo, modEnv, rateHz);
    bool faded = false;
    float amplitude = BlockAmplitude(v, modLfo, frames, &faded);
    MixBlock(v, buf, amplitude, left, right, reverb, chorus, frames);
    v.age += (uint64_t)frames;
    if (ended || faded || VoiceIsSilent(v))
        v.state = VOICE_FREE;
}
