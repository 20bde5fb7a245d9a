// Songs for the end-to-end tests, and what the song layer itself makes of them: the image the
// playback copy must hold after a series of row edits, and the file a save must write.
#pragma once

#include <string>
#include <vector>
#include "e2e/harness.h"
#include "mmio/song.h"

namespace e2e {

// The bundled demo song.
std::string DemoPath();
Bytes DemoSong();

// A short song: two named tracks (piano and bass), tempo 75 bpm, ticksLong ticks of 96 per
// quarter note (0.8 s a quarter), notes all along.
Bytes ShortSong(unsigned quarters);

// A well-formed song with more tracks than the player lists (the reader refuses it).
Bytes TooManyTracksSong();

// Length of a song in milliseconds: the time of its latest event, from its tempo map.
unsigned SongLengthMs(const Bytes& file);

// The song layer's view of a file, and the edits a user makes on its rows.
class Song {
public:
    explicit Song(const Bytes& file);
    bool loaded() const { return loaded_; }
    const MIDIINFO& info() const { return info_; }
    const Bytes& image() const { return image_; }
    int rows() const { return info_.wNumListed; }

    void Toggle(int row);                  // On box clicked, or muted by a solo
    void Program(int row, int program);
    void Volume(int row, int volume);
    void Pan(int row, int pan);
    // The file the writer makes of the edited song with these row names.
    Bytes Saved(const std::vector<std::string>& names) const;

private:
    bool loaded_ = false;
    MIDIINFO info_;
    Bytes buf_;     // the image with the reader's headroom
    Bytes image_;   // its valid bytes
    void Apply(int row, int code, int value);
};

// The General MIDI program names as the instrument lists show them.
extern const char* const kProgramNames[128];

}  // namespace e2e
