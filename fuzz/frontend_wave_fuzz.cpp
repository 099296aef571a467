// Fuzzes the signal path on arbitrary samples: conditioning (with spectral
// subtraction allowed), end-point detection, MFCC and pitch. The first two
// bytes choose the rate and bits; the rest are 16-bit samples.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "frontend/epd.h"
#include "frontend/pitch.h"
#include "frontend/wave_condition.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    if (size < 2) return 0;
    static const int rates[] = {8000, 11025, 16000, 22050, 44100, 48000, 500, 16000};
    static const int bits[] = {8, 16, 16, 24, 12, 16, 32, 0};
    kedo::SampleArray w;
    w.rate = rates[data[0] % 8];
    w.bits = bits[data[1] % 8];
    for (size_t i = 2; i + 1 < size; i += 2)
        w.samples.push_back(static_cast<int16_t>(data[i] | (data[i + 1] << 8)) * (w.bits > 16 ? 256 : 1));
    kedo::recogParam p;
    p.useSpecSubtraction = 1;
    p.useEpd = 1;
    p.featureConfigFile = "/nonexistent/fuzz.cfg";
    try {
        kedo::conditionWave(w, p);
        int b = 0, e = 0;
        kedo::epdAndMfcc(p, w.samples.data(), w.count(), w.rate, w.bits, 320, 160, b, e);
        kedo::ptParam pp = kedo::ptParamSet(w.rate, w.bits, data[0] & 1, "");
        std::vector<float> pitch;
        kedo::pitchTrackTwoPass(w.samples.data(), w.count(), pp, pitch);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
