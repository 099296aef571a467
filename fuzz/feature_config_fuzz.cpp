// Fuzzes the feature configuration reader and the MFCC extraction it steers.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "frontend/mfcc.h"
#include "fuzz_support.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<int32_t> wave = [] {
        std::vector<int32_t> w(4000);
        for (size_t i = 0; i < w.size(); ++i) w[i] = static_cast<int32_t>(8000 * std::sin(0.05 * i) + (i * 7919) % 200);
        return w;
    }();
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    std::string path = kedo::fuzz::inputFile(data, size, "cfg");
    kedo::CFeaBuf buf;
    int frames = 0, dim = 0;
    try {
        kedo::computeMfcc(buf, wave.data(), 16000, 16, static_cast<int>(wave.size()), path, frames, dim);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
