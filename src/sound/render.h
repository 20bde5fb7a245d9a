// The one way a song becomes sound: a playback cursor over the song's timeline, advanced by
// the frames its output asks for, applying each event at its own frame through the
// synthesizer. The live output pulls it block by block on the audio clock; the export and
// `midimix --render` pull it as fast as it goes into a WAV file. Portable.
#pragma once

#include <cstdint>
#include "mmio/timeline.h"
#include "sound/wavfile.h"

struct Synth;

#define SOUND_RATE_HZ 44100
// The cursor renders in steps of this many frames (or fewer, up to an event): live and export
// make the same calls on the synthesizer, so a song played from the start sounds the same
// samples in both.
#define SOUND_BLOCK_FRAMES 256

// The output frame at which an event us microseconds after the start sounds: the nearest
// frame, so every event lands within half a frame (11 us) of its time.
inline uint64_t FrameOfMicroseconds(uint64_t us)
{
    return (us * SOUND_RATE_HZ + 500000) / 1000000;
}

inline uint64_t MicrosecondsOfFrame(uint64_t frame)
{
    return (frame * 1000000 + SOUND_RATE_HZ / 2) / SOUND_RATE_HZ;
}

// Where a play stands in its song: frame 0 is song time startUs.
struct PLAYCURSOR {
    const TIMELINE* tl;
    uint64_t startUs;
    uint64_t frame;           // frames rendered so far
    uint64_t endFrame;        // the frame of the song's end
    DWORD iNext;              // the first event not applied yet
    SOUNDINGKEYS sounding;    // keys the applied events left sounding
};

// Starts a play of tl at startUs: the synthesizer is reset, then given the state in force
// there (the system-exclusive messages before it and the chased controllers).
void CursorStart(PLAYCURSOR* c, Synth* synth, const TIMELINE* tl, uint64_t startUs);
// Renders frames (at most SOUND_BLOCK_FRAMES) of interleaved stereo, applying every event
// that falls inside them at its own frame.
void CursorRender(PLAYCURSOR* c, Synth* synth, int16_t* interleaved, int frames);
// Every event applied and the song's end rendered.
inline bool CursorAtEnd(const PLAYCURSOR* c)
{
    return c->iNext >= c->tl->nEvents && c->frame >= c->endFrame;
}
// An edit rewrote the song: the play goes on through edited, a timeline of the same song
// event for event, from the frame where it stands; only what the edit changed is sent (see
// ReconcileMessages). Returns false, changing nothing, when edited is not the same song.
bool CursorContinueIn(PLAYCURSOR* c, Synth* synth, const TIMELINE* edited);

// Where the audio goes and who watches it. Write gets interleaved left/right frames and
// returns false when it could not keep them; Progress gets the song time rendered and the
// song's length from the start, and returns false to cancel. Either may be null.
struct RENDEROUTPUT {
    bool (*Write)(void* ctx, const int16_t* interleaved, int frames);
    void* writeCtx;
    bool (*Progress)(void* ctx, uint64_t doneUs, uint64_t totalUs);
    void* progressCtx;
};

struct RENDERRESULT {
    uint64_t qwFrames;     // frames written
    int nPeak;             // largest magnitude of any sample, 0..32768
    int nMaxVoices;        // most voices sounding at once
};

#define RENDER_OK          0
#define RENDER_NOT_MIDI    1   // the image gives no timeline
#define RENDER_NO_MEMORY   2
#define RENDER_CANCELLED   3
#define RENDER_WRITE_FAILED 4

// After the song's last event the render goes on while voices sound, for at most this long.
#define RENDER_TAIL_LIMIT_US 10000000u

// Renders the SMF image from startUs microseconds of the song to its end, then until every
// voice has died away, with the cursor above. The synthesizer's SoundFont and effects are
// the caller's. result may be null.
int RenderSong(const BYTE* image, DWORD size, Synth* synth, uint64_t startUs, const RENDEROUTPUT* out,
               RENDERRESULT* result);

// Gives the synthesizer a system-exclusive event of any length as the timeline holds it: F0
// with the bytes after it, or F7 with bytes sent as they stand (only a whole message, F0 to
// F7, is understood; a continuation packet is dropped).
void SynthSequencerSysEx(Synth* synth, BYTE status, const BYTE* data, DWORD len);

// A RENDEROUTPUT Write that goes to a WAVWRITER given as ctx.
bool WavWriteProc(void* ctx, const int16_t* interleaved, int frames);
