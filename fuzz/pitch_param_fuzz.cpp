// Fuzzes the pitch parameter file and the tracking it steers.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "frontend/pitch.h"
#include "fuzz_support.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<int32_t> wave = [] {
        std::vector<int32_t> w(6400);
        for (size_t i = 0; i < w.size(); ++i)
            w[i] = i < 1600 ? static_cast<int32_t>(i % 5) : static_cast<int32_t>(9000 * std::sin(0.06 * i));
        return w;
    }();
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::string path = kedo::fuzz::inputFile(data, size, "pt");
    try {
        kedo::ptParam pp = kedo::ptParamSet(16000, 16, 1, path);
        std::vector<float> pitch;
        kedo::pitchTrackTwoPass(wave.data(), static_cast<int>(wave.size()), pp, pitch);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
