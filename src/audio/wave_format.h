// The 18-byte wave format header of WAV files and sound buffers.
#pragma once

#include <cstdint>

namespace kedo {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_ALAW = 6;
inline constexpr uint16_t WAVE_FORMAT_MULAW = 7;
// The tag of a header that names its real tag in a sub-format field.
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
// Size of the header as stored in a "fmt " chunk, extra-size field included.
inline constexpr int WAVE_FORMAT_BYTES = 18;

// Little-endian on disk, field by field in this order.
struct WaveFormat {
    uint16_t formatTag = WAVE_FORMAT_PCM;
    uint16_t channels = 1;
    uint32_t samplesPerSec = 8000;
    uint32_t avgBytesPerSec = 8000;
    uint16_t blockAlign = 1;
    uint16_t bitsPerSample = 8;
    uint16_t extraSize = 0;
};

}  // namespace kedo
