// Ogg Vorbis streams in memory, as SF3 SoundFonts hold their samples: how long one is, and
// its first channel decoded to 16-bit frames. Safe on any bytes: a stream that does not
// decode is reported, never read outside.
#pragma once

#include <cstddef>
#include <cstdint>

// The frames a stream says it holds: the granule position of its last Ogg page. False when
// no page with a usable position ends the data.
bool VorbisStreamFrames(const uint8_t* data, size_t size, uint64_t* frames);

// Decodes the stream's first channel into out: capacity frames, what VorbisStreamFrames
// said (a stream longer than it says is cut there). *decoded gets the frames written. False
// when the stream does not open as Vorbis, a packet or page fails to decode, or it ends short.
bool DecodeVorbis(const uint8_t* data, size_t size, int16_t* out, uint32_t capacity, uint32_t* decoded);
