// The one answer to "which SoundFont plays", for the live output and the export alike: the
// one the user chose, else a remembered choice, else one beside the program, else the
// system's (see fontpaths.h), the first of them that loads. Loading runs off the audio
// thread.
#pragma once

#include <cstddef>
#include <windows.h>

struct SoundFont;
struct Synth;

// Loads the SoundFont at path for the notes from now on. On failure the previous one stays
// and message holds the loader's sentence (it names the file); returns an SF_LOAD_ code.
int ChooseSoundFont(const char* path, char* message, size_t messageSize);
// Whether the user chose a SoundFont in this run.
BOOL UserChoseSoundFont(void);
// A choice remembered from an earlier run: tried first, without a word if it is gone or
// cannot be used, when the SoundFont is first looked for.
void PreferSoundFont(const char* path);
// The path of the SoundFont that plays (looked for now if it was not yet); empty when none
// can be used.
void SoundFontInUse(char* path, size_t size);

// For the live output. Starts looking for the SoundFont on a thread of its own, unless it is
// known or being looked for.
void LoadSoundFontAhead(void);
// The SoundFont to play from; null with *loading TRUE while it is still being looked for,
// null with *loading FALSE when there is none. Takes no lock (the audio thread asks).
const SoundFont* SoundFontToPlay(BOOL* loading);
// Frees the SoundFonts given up that synth (null: none) no longer plays from; only while
// nothing renders from it.
void FreeRetiredSoundFonts(Synth* synth);
