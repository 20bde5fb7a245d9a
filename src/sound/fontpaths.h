// Where the player looks for a SoundFont when none was chosen. Portable.
#pragma once

#include <cstddef>

#define SOUNDFONT_PATH_CHARS 260
#define SOUNDFONT_CANDIDATES 6

// The SoundFonts to try, in order of preference, that exist here: the first .sf2 beside the
// program (on Windows), then the system's General MIDI SoundFonts as this platform's
// programs see them (drive Z: under Wine). Returns how many were written.
int SoundFontCandidates(char (*paths)[SOUNDFONT_PATH_CHARS], int max);

// The first .sf2 file in name order in the program's own folder (platform code; false
// where there is none or the platform has no such place).
bool SoundFontBesideProgram(char* path, size_t size);
