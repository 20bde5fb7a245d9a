// WAV files of 16-bit stereo 44,100 Hz audio. Portable through the C library.
#pragma once

#include <cstdint>
#include <cstdio>
#include "mmio/song.h"

// A file written as the audio comes: the header first with the sizes unknown, the data,
// then the sizes.
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

// The 44-byte header of a WAV file of dataBytes bytes.
void WavHeader(uint32_t dataBytes, BYTE header[44]);
