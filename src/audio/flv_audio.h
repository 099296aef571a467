// FLV files with Nellymoser Asao audio: tag parsing and decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kedo {

// Decoded audio of an FLV file: 256 16-bit samples per 64-byte block.
struct FlvAudio {
    std::vector<int16_t> samples;
    int rate = 0;
    int bits = 0;
    int channels = 1;
};

// Reads and decodes the audio tags of an FLV file. An empty file gives a
// warning on standard output and no samples. An unreadable file, a wrong
// header, a corrupt tag structure and a stream that is not Nellymoser raise
// KedoError through reportError, naming the file. Re-entrant: every call has
// its own decoder.
FlvAudio readFlvAudio(const std::string& path);
// The same on a whole file image in memory; path only names it in messages.
FlvAudio decodeFlvImage(const uint8_t* image, size_t size, const std::string& path);

}  // namespace kedo
