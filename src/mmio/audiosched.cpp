// Stamps to frames, the message ring, and block rendering with messages at their frames.
#include "mmio/audiosched.h"

int64_t FramesOfMicros(int64_t micros)
{
    const int64_t scaled = micros * AUDIO_RATE_HZ;
    return scaled >= 0 ? (scaled + 500000) / 1000000 : -((-scaled + 500000) / 1000000);
}

int64_t MicrosOfFrames(int64_t frames)
{
    const int64_t scaled = frames * 1000000;
    return scaled >= 0 ? (scaled + AUDIO_RATE_HZ / 2) / AUDIO_RATE_HZ : -((-scaled + AUDIO_RATE_HZ / 2) / AUDIO_RATE_HZ);
}

// ---- The ring --------------------------------------------------------------------------

bool AudioQueue::Push(const AudioMessage& m)
{
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kCapacity)
        return false;
    ring_[tail & (kCapacity - 1)] = m;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
}

const AudioMessage* AudioQueue::Peek() const
{
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire))
        return nullptr;
    return &ring_[head & (kCapacity - 1)];
}

void AudioQueue::Pop()
{
    head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

uint32_t AudioQueue::Count() const
{
    return tail_.load(std::memory_order_acquire) - head_.load(std::memory_order_acquire);
}

// ---- The clock -------------------------------------------------------------------------

int64_t ClockMicros(AudioClock* c, int64_t heardFrames)
{
    const int64_t frames = heardFrames - c->slipFrames;
    if (frames > c->lastClockFrames)
        c->lastClockFrames = frames;
    return MicrosOfFrames(c->lastClockFrames);
}

int64_t StampFrame(AudioClock* c, int64_t stampMicros, int64_t renderedFrames, int64_t marginFrames)
{
    int64_t frame = FramesOfMicros(stampMicros) + c->slipFrames;
    int64_t earliest = renderedFrames + marginFrames;
    if (earliest < c->lastStampFrame)
        earliest = c->lastStampFrame;   // the messages keep their order
    if (frame < earliest) {
        c->slipFrames += earliest - frame;
        frame = earliest;
    }
    c->lastStampFrame = frame;
    return frame;
}

void ForgetStamps(AudioClock* c)
{
    c->lastStampFrame = 0;
}

void RestartClock(AudioClock* c)
{
    // Heard frames start from 0 again: the clock stands at lastClockFrames, stamps go on.
    c->slipFrames = -c->lastClockFrames;
    c->lastStampFrame = 0;
}

int64_t MicrosUntilDue(int64_t dueMicros, int64_t clockMicros, int64_t leadMicros)
{
    const int64_t left = dueMicros - leadMicros - clockMicros;
    return left > 0 ? left : 0;
}

// ---- Rendering -------------------------------------------------------------------------

void RenderScheduled(AudioQueue* q, const AudioTarget& t, int64_t blockStart, int16_t* interleaved, int frames)
{
    int done = 0;
    const int64_t blockEnd = blockStart + frames;
    for (const AudioMessage* m = q->Peek(); m && m->frame < blockEnd; m = q->Peek()) {
        const int64_t at = m->frame - blockStart;
        if (at > done) {
            t.Render(t.ctx, interleaved + 2 * done, (int)at - done);
            done = (int)at;
        }
        t.Apply(t.ctx, *m);
        q->Pop();
    }
    if (done < frames)
        t.Render(t.ctx, interleaved + 2 * done, frames - done);
}

static bool IsNoteOn(const AudioMessage& m)
{
    return m.kind == AUDIO_SHORT && (m.shortMsg & 0xF0) == 0x90 && ((m.shortMsg >> 16) & 0x7F) != 0;
}

void ApplyAllForStop(AudioQueue* q, const AudioTarget& t)
{
    for (const AudioMessage* m = q->Peek(); m; m = q->Peek()) {
        if (!IsNoteOn(*m))
            t.Apply(t.ctx, *m);
        q->Pop();
    }
}

void FadeOut(int16_t* interleaved, int frames)
{
    if (frames <= 0)
        return;
    const int last = frames - 1;
    for (int i = 0; i < frames; ++i) {
        const int32_t gain = last > 0 ? (int32_t)((int64_t)(last - i) * 32768 / last) : 0;
        interleaved[2 * i] = (int16_t)(interleaved[2 * i] * gain / 32768);
        interleaved[2 * i + 1] = (int16_t)(interleaved[2 * i + 1] * gain / 32768);
    }
}
