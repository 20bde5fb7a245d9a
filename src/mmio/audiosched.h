// Timing of live audio: MIDI messages stamped with the sequencer's due times become
// messages at exact frames of the output stream, and the sequencer's clock is read back
// from the frames that have been heard. Portable; the wave output (audioout_win.cpp)
// supplies the frame counts and the thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#define AUDIO_RATE_HZ 44100
#define AUDIO_SYSEX_BYTES 30   // longer system-exclusive messages are not passed on live

enum AudioMessageKind { AUDIO_SHORT = 1, AUDIO_SYSEX = 2 };

// One message for the synthesizer, to take effect at frame of the output stream.
struct AudioMessage {
    int64_t frame;
    uint32_t shortMsg;       // AUDIO_SHORT: packed as midiOutShortMsg takes it
    uint8_t kind;
    uint8_t sysexLen;        // AUDIO_SYSEX: the bytes after F0 up to and including F7
    uint8_t sysex[AUDIO_SYSEX_BYTES];
};

// Frames of the 44,100 Hz stream in a time in microseconds, to the nearest frame, and back.
int64_t FramesOfMicros(int64_t micros);
int64_t MicrosOfFrames(int64_t frames);

// A fixed ring of messages from one producer to one consumer (the audio thread). Neither
// side allocates or waits; the capacity is a power of two.
class AudioQueue {
public:
    static constexpr uint32_t kCapacity = 8192;
    bool Push(const AudioMessage& m);          // false when full
    const AudioMessage* Peek() const;          // the oldest message, or null
    void Pop();
    uint32_t Count() const;

private:
    AudioMessage ring_[kCapacity];
    std::atomic<uint32_t> head_{0};            // next to read; written by the consumer
    std::atomic<uint32_t> tail_{0};            // next to write; written by the producer
};

// The sequencer's clock and the stamping of its messages. The clock counts what has been
// heard: frames played minus a slip. A message stamped with a time the output has already
// rendered past would sound late and squeeze the music together; instead the slip grows,
// so that message and every later one sound at their own distances and the clock pauses
// for as long (at the start of a play it waits for the audio already queued).
// Used under the producer's lock; the frame counts come from the audio thread.
struct AudioClock {
    int64_t slipFrames = 0;       // stream frame = frames of the stamp + slipFrames
    int64_t lastClockFrames = 0;  // the clock never goes back
    int64_t lastStampFrame = 0;   // stream frames of stamps never go back either
};

// The clock in microseconds with heardFrames of the stream played.
int64_t ClockMicros(AudioClock* c, int64_t heardFrames);
// The stream frame of a message stamped stampMicros; the earliest frame still free is
// renderedFrames + marginFrames (the audio thread may be inside the block before it), and
// no message goes before one stamped earlier.
int64_t StampFrame(AudioClock* c, int64_t stampMicros, int64_t renderedFrames, int64_t marginFrames);
// The queued messages were dropped (a stop): the next stamps need not follow them.
void ForgetStamps(AudioClock* c);
// A stream that starts again at frame 0 (the wave output was reopened) keeps the clock
// going from where it stood.
void RestartClock(AudioClock* c);
// Microseconds the sequencer still waits before it sends what is due at dueMicros, when
// it may run leadMicros ahead of the clock at clockMicros; 0: send now.
int64_t MicrosUntilDue(int64_t dueMicros, int64_t clockMicros, int64_t leadMicros);

// What the audio thread does with the messages and the synthesizer.
struct AudioTarget {
    void* ctx;
    void (*Apply)(void* ctx, const AudioMessage& m);
    void (*Render)(void* ctx, int16_t* interleaved, int frames);
};

// Renders frames of interleaved stereo starting at stream frame blockStart, applying each
// queued message due before the block's end at its own frame (one due earlier at the
// block's start).
void RenderScheduled(AudioQueue* q, const AudioTarget& t, int64_t blockStart, int16_t* interleaved, int frames);

// Takes every queued message off at once for a stop: those that change a channel's state
// are applied, note-ons are dropped.
void ApplyAllForStop(AudioQueue* q, const AudioTarget& t);

// Ramps interleaved stereo from full level to silence over frames (the last frame is 0).
void FadeOut(int16_t* interleaved, int frames);
