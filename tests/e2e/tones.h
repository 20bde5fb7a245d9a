// A SoundFont of pure tones and songs whose every track sounds its own pitch, so that what
// the player plays can be read track by track from a recording; and the player started from
// a folder of its own with that SoundFont beside it (the first it looks for).
#pragma once

#include <string>
#include <vector>
#include "audio/analysis.h"
#include "e2e/harness.h"

namespace e2e {

// Program 0: a sine; program 80: a square (odd harmonics), both looped, with a 2 ms attack,
// full sustain and a 10 ms release, and no reverb or chorus.
Bytes ToneFont();

// The program named after the square, for the instrument list.
const int kSquareProgram = 80;

struct TonePart {
    int key;                       // every note of the track
    double hz;
    std::vector<double> onsets;    // seconds from the song's start
    double noteSeconds;
};

// Three tracks on channels 0-2, rows 0-2, 120 bpm (0.5 s a quarter), quarters long:
//   row 0: key 60 every quarter, 0.3 s notes;
//   row 1: key 67 on the off-beats (a quarter's second half), 0.2 s notes;
//   row 2: key 76 held: a 1.9 s note every 2 s.
// Every track starts with program 0, volume 100, pan 64 and no reverb or chorus.
struct ToneSong {
    Bytes file;
    std::vector<TonePart> tracks;
    double seconds;
};
ToneSong MakeToneSong(int quarters);

// One track of a tone song: its name and key, a note of lengthTicks every everyTicks from
// offsetTicks (96 ticks a quarter) while it fits in the song.
struct ToneVoice {
    const char* name;
    int key, offsetTicks, lengthTicks, everyTicks;
};
// Such a song of one track a voice, on channels 0 on, with the settings above.
ToneSong MakeVoicesSong(int quarters, const std::vector<ToneVoice>& voices);

// A folder of the run with a copy of the player and the tone SoundFont beside it; the path
// of the copy.
std::string TonePlayer();

// Onsets of a track's tone in a recording.
std::vector<double> TrackOnsets(const audio::Stereo& s, const TonePart& t);

}  // namespace e2e
