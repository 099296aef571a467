// Compressed audio in the Windows build: FFmpeg's libraries are not part of
// it, so audio files are chosen by their ending alone.
#include "audio/media_audio.h"
#include "util/report_error.h"

namespace kedo {

bool mediaAudioSupported() { return false; }

bool looksLikeMedia(const uint8_t*, size_t) { return false; }

SampleArray readMediaAudio(const std::string& path) {
    reportError(strFormat("Cannot read audio file %s based on its extension name...", path.c_str()),
                ErrorKind::badAudio);
}

}  // namespace kedo
