// Compressed audio as browsers and phones send it: WebM or Ogg with Opus (or
// Vorbis), MP4/M4A with AAC, MP3. Decoded with FFmpeg's libraries and
// resampled to 16000 Hz, one channel, 16 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/sample_array.h"

namespace kedo {

// Whether this build decodes compressed audio (false in the Windows build).
bool mediaAudioSupported();

// Whether the first bytes of a file (at least 12 where the file has them)
// look like one of the containers above.
bool looksLikeMedia(const uint8_t* head, size_t size);

// Decodes the whole file to 16000 Hz mono 16-bit samples. Only the demuxers
// and decoders of the containers and codecs above are used, and the file is
// read into memory first, so a file cannot make the decoder open anything
// else. An undecodable file, one with no audio stream, or one longer than
// MAX_MEDIA_SECONDS is an error naming the file.
SampleArray readMediaAudio(const std::string& path);

}  // namespace kedo
