// Live sound: the audio thread pulls the playing song through the synthesizer into the wave
// output, block by block on the output's own clock (see render.h). The own sequencer's
// commands become requests the audio thread takes at once, between two blocks; each call
// returns once it has been taken. Commands come from one thread.
#pragma once

#include <cstdint>
#include <windows.h>

#include "mmio/timeline.h"

// Open and Close bracket each device that plays here: the audio thread and the wave output
// run from the first open to the last close, and the SoundFont is looked for at the first.
void LiveOpen(void);
void LiveClose(void);

// Plays tl from fromUs (the state in force there chased first); the end, once heard, is
// notified to hwndNotify (null: not) for device id. tl's events must stay until the next
// LivePlay, LiveContinue or LiveStop has returned; the TIMELINE record itself is copied.
void LivePlay(const TIMELINE* tl, uint64_t fromUs, HWND hwndNotify, UINT id);
// An edit's restart: the play goes on in tl, the same song edited, from the frame the
// audio thread stands at, and only what the edit changed is sent; when tl is not the same
// song, as LivePlay from fromUs.
void LiveContinue(const TIMELINE* tl, uint64_t fromUs, HWND hwndNotify, UINT id);
// What sounds fades out within a few milliseconds; nothing plays.
void LiveStop(void);

// Song time heard of the play (microseconds; from where it began until it starts).
uint64_t LivePosition(void);
// The play's song ended and its end was heard.
BOOL LiveEndHeard(void);

// Measurements of the running output.
struct LIVESTATS {
    int64_t writtenFrames;     // given to the wave output
    int64_t heardFrames;
    int64_t gaps;              // times the wave output ran out of sound
    int bufferFrames, buffers;    // buffers: how many the queue holds now
    BOOL fWaveOutput;          // FALSE: no wave device, the counter keeps time
};
void LiveGetStats(LIVESTATS* s);
