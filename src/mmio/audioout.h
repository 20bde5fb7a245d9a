// Live sound: the own sequencer's messages through the program's synthesizer into the wave
// output. The own sequencer's default sink plays here when the platform has no MIDI
// output device, or once the user has chosen a SoundFont.
#pragma once

#include <cstddef>
#include <windows.h>

// The sink's members (see SEQSINK): Open and Close bracket each use; the wave output opens
// at the first message or clock reading, and the SoundFont is looked for then.
void AudioOutOpen(void);
void AudioOutClose(void);
void AudioOutShortMsg(DWORD msg);
void AudioOutSysEx(BYTE status, const BYTE* data, DWORD len);
LONGLONG AudioOutNow(void);
BOOL AudioOutWaitUntil(LONGLONG t, HANDLE hAbort);

// Loads the SoundFont at path for the notes from now on. On failure the previous one stays
// and message holds the loader's sentence (it names the file); returns an SF_LOAD_ code.
int ChooseSoundFont(const char* path, char* message, size_t messageSize);
// Whether the user chose a SoundFont in this run.
BOOL UserChoseSoundFont(void);
// The path of the SoundFont in use, or of the one the next play would look for first
// (empty when none is known yet).
void SoundFontInUse(char* path, size_t size);

// Measurements of the running output: frames written and frames heard so far (both 0 when
// the wave output is not playing).
void AudioOutFrames(LONGLONG* written, LONGLONG* heard);
