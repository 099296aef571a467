// RIFF WAVE files: reading into and writing from a sound buffer, and the
// G.711 µ-law sample conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/sound_buffer.h"

namespace kedo {

// Writes the buffer's samples as a "RIFF"/"WAVE" file holding an 18-byte
// "fmt " chunk and a "data" chunk. With muLaw the 16-bit samples are stored
// as 8-bit µ-law (format tag 7); without it the buffer's header and bytes are
// written unchanged. False with the reason in buffer.lastError() on failure.
bool writeWav(soundBuffer& buffer, const std::string& path, bool muLaw = false);

// Reads a WAV file: the "fmt " chunk (at most 18 bytes) becomes the buffer's
// header, the "data" chunk its samples; µ-law and A-law data are expanded to
// 16-bit PCM. An extensible header takes the tag of its sub-format. Other
// tags are kept as they are. Chunks are found by name. False with the reason
// in buffer.lastError().
bool readWav(soundBuffer& buffer, const std::string& path);
// The same on a whole file held in memory.
bool readWavImage(soundBuffer& buffer, const uint8_t* image, size_t size);

// ITU-T G.711 µ-law (bias 132, clipping at 32635).
uint8_t linearToMuLaw(int16_t sample);
int16_t muLawToLinear(uint8_t code);
// ITU-T G.711 A-law (even bits inverted), to 16-bit linear.
int16_t aLawToLinear(uint8_t code);

}  // namespace kedo
