// The wave output: a short queue of buffers the audio thread fills, and the frames heard.
// Without a wave device the same calls run on the performance counter, so a song plays on
// in silence at its own pace. Called from the audio thread only, but WaveHeardFrames.
#pragma once

#include <cstdint>
#include <windows.h>

#define WAVE_MAX_BUFFERS 16
#define WAVE_MAX_BUFFER_FRAMES 2048

// Opens the wave output with count buffers of frames each (frames a multiple of the
// cursor's block); hDone is set whenever a buffer has been played. FALSE: no wave device,
// the counter stands in for it.
BOOL WaveOpen(HANDLE hDone, int frames, int count);
void WaveClose(void);
// The next buffer to fill (frames interleaved stereo frames), or null while inFlight
// buffers (at most the count opened) are still queued; WaveWrite hands it to the device.
// *dry tells whether the device had run out of sound before it (a gap was heard).
int16_t* WaveNextBuffer(int inFlight, bool* dry);
void WaveWrite(void);
// Frames given to the output so far, and frames heard so far (any thread).
int64_t WaveWrittenFrames(void);
int64_t WaveHeardFrames(void);
// Drops what is queued: fills fade with the frames that were about to be heard (zeros past
// what was written) and makes every buffer free; the stream goes on from what was heard.
void WaveFlush(int16_t* fade, int frames);
