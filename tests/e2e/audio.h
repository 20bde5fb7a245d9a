// What the player plays, recorded from the private sound server's null sink while a test
// drives it (scripts/audio-server.sh starts the server for the Windows tests' run).
#pragma once

#include <string>
#include "audio/analysis.h"
#include "e2e/harness.h"

namespace e2e {

// Empty when audio can be recorded here; otherwise why not, for the skip note.
std::string AudioUnavailable();

// One recording of the sink's monitor. The recorder runs on the host (scripts/audio-record.sh);
// the destructor stops it and removes its files.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts recording and waits until the samples flow (the recorder takes about a second
    // to connect); false when they do not within ms.
    // Then it plays a 60 ms mark of kMarkHz that places the recording on the clock.
    bool Start(DWORD ms = 10000);
    static constexpr double kMarkHz = 2960.0;
    // Stops and returns what was recorded, placed on the clock by the mark (else by its
    // end: the recording ends when the recorder stops, to within a few tenths of a second).
    audio::Stereo Stop(DWORD ms = 10000);
    bool Running() const { return running_; }
    // GetTickCount() when the recording's first frame sounded (its end placed on the clock).
    DWORD StartTick() const { return startTick_; }
    // Seconds into the recording of a GetTickCount() value.
    double SecondsAt(DWORD tick) const { return (double)(LONG)(tick - startTick_) / 1000.0; }

private:
    std::string raw_;        // Windows path of the recording
    bool running_ = false;
    DWORD startTick_ = 0;
    DWORD markTick_ = 0;
    bool marked_ = false;
};

// Plays 16-bit stereo 44,100 Hz samples through the wave output from this process, waiting
// until they have been played; false when there is no wave output.
bool PlayThroughWaveOut(const audio::Stereo& s);

}  // namespace e2e
