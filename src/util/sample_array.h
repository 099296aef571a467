// The sample array that travels from audio loading through conditioning.
#pragma once

#include <cstdint>
#include <vector>

namespace kedo {

// One 32-bit signed integer per mono sample (interleaved channels for
// multi-channel sources, as the loader states), with the sampling rate in Hz
// and the bits per sample of the values. After conditioning the values are in
// 16-bit range at 16000 Hz.
struct SampleArray {
    std::vector<int32_t> samples;
    int rate = 0;
    int bits = 0;

    int count() const { return static_cast<int>(samples.size()); }
};

}  // namespace kedo
