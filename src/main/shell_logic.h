// Arithmetic and text the main window shows, kept free of the platform so it can be
// tested anywhere. Positions and lengths are in the sequencer's unit, eighths of a second.
#pragma once

#include <cstddef>
#include "mmio/wintypes.h"

#define SLIDER_MAX 200      // the position slider's range is 0..SLIDER_MAX
#define MAX_CMDLINE_NAME 255 // longest name the file layer's path buffers hold

// "m:ss.t" for a position; minutes are not wrapped into hours.
void FormatPlayTime(DWORD t, char* out, size_t size);

// Slider position shown while playing: t * 200 / length + 1, at most 200.
// Returns -1 when the length is 0 (unknown): the slider is then left where it is.
int SliderFromPlayTime(DWORD t, DWORD dwFileSize);

// Song position a slider position stands for: p * length / 200, truncated.
DWORD PlayPosFromSlider(int p, DWORD dwFileSize);

// The time scale under the slider: labels exist only for a loaded song and more than two
// tick marks (n - 2 and n - 1 are divisors).
int ScaleHasLabels(int fFileLoaded, int nTics);
// Label i of n: "m:ss" of floor(floor(i * length / 10) / (n - 2)) seconds.
void FormatScaleLabel(int i, int nTics, DWORD dwFileSize, char* out, size_t size);
// Right edge of label i, in slider (and strip) coordinates, from the slider's channel.
int ScaleLabelX(int i, int nTics, int chLeft, int chRight);

// Cleans the command-line tail into a file name: cut at the first 0x10 character, blanks and
// tabs around it removed, and a quoted name taken from inside its quotes. Returns 1 with the
// name in out (empty when none was given), or 0 with out empty when the name is longer than
// maxLen characters or does not fit out: a name is never cut.
int CleanCommandLine(const char* tail, char* out, size_t size, size_t maxLen);

// Whether a sequencer notification ends the song now playing: only a play that finished
// (successfully or by failure) on the device open now counts. Aborted and superseded plays,
// and late notices of devices closed since, do not.
int CountsAsEndOfSong(int nMode, DWORD wOutDeviceID, DWORD flag, DWORD notifyingDevice);

// Starts the volume control: the classic program, or where there is none the current mixer.
// exec starts a program and returns a value above 31 on success (as WinExec does).
// Returns the name of the program that started, or null.
typedef unsigned (*EXECPROC)(const char* cmdLine, unsigned show);
const char* StartVolumeControl(EXECPROC exec, unsigned show);
