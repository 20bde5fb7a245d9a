// Offline rendering: the song as the sequencer plays it, through the synthesizer, to 16-bit
// stereo audio, and the WAV file that holds it. Portable: it builds natively and for Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include "mmio/song.h"

struct Synth;

#define RENDER_RATE_HZ 44100

// The output frame at which an event us microseconds after the start sounds: the nearest
// frame, so every event lands within half a frame (11 us) of its time.
inline uint64_t FrameOfMicroseconds(uint64_t us)
{
    return (us * RENDER_RATE_HZ + 500000) / 1000000;
}

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

// Renders the SMF image from startUs microseconds of the song (the state in force there
// chased first, as the sequencer does for a play from the middle) to its end, then until
// every voice has died away. The synthesizer is reset first; its SoundFont and effects are
// the caller's. Each event is applied at its own frame: the audio before it is rendered
// first. result may be null.
int RenderSong(const BYTE* image, DWORD size, Synth* synth, uint64_t startUs, const RENDEROUTPUT* out,
               RENDERRESULT* result);

// Gives the synthesizer a system-exclusive event as the sequencer hands it on: F0 with the
// bytes after it, or F7 with bytes sent as they stand (only a whole message, F0 to F7, is
// understood; a continuation packet is dropped).
void SynthSequencerSysEx(Synth* synth, BYTE status, const BYTE* data, DWORD len);

// ---- WAV files -------------------------------------------------------------------------

// A 16-bit stereo 44,100 Hz WAV file written as the audio comes: the header first with the
// sizes unknown, the data, then the sizes. Portable through the C library.
struct WAVWRITER {
    FILE* f;
    uint64_t qwDataBytes;
    bool fFailed;          // a write failed or the data outgrew what a RIFF size holds
};

bool WavOpen(WAVWRITER* w, const char* path);
bool WavWrite(WAVWRITER* w, const int16_t* interleaved, int frames);
// Sets the sizes and closes; false when anything failed (the file is then incomplete and
// the caller removes it).
bool WavClose(WAVWRITER* w);
// A RENDEROUTPUT Write that goes to a WAVWRITER given as ctx.
bool WavWriteProc(void* ctx, const int16_t* interleaved, int frames);

// The 44-byte header of a WAV file of dataBytes bytes of 16-bit stereo 44,100 Hz audio.
void WavHeader(uint32_t dataBytes, BYTE header[44]);
