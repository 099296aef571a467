// Wave conditioning and volume check.
#include "frontend/wave_condition.h"
#include "util/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "frontend/fft.h"
#include "frontend/frame_volume.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/str_util.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "audio";

int32_t clampToInt32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// Method-1 volumes of the 320-sample frames, every 160 samples.
std::vector<int32_t> conditionVolumes(const int32_t* x, int len) {
    std::vector<int32_t> vol(frameCount(len, CONDITION_FRAME_SIZE, CONDITION_OVERLAP), 0);
    frameVolume(x, len, CONDITION_FRAME_SIZE, CONDITION_OVERLAP, vol.data(), VOL_ABS_MEDIAN);
    return vol;
}

// centre: the value of a silent sample (non-zero for unsigned 8-bit data).
int verdictFromVolumes(const int32_t* x, int len, const std::vector<int32_t>& vol, int32_t centre = 0) {
    int frames = static_cast<int>(vol.size());
    if (frames <= 0) return VOLUME_TOO_SMALL;
    auto [minIt, maxIt] = std::minmax_element(vol.begin(), vol.end());
    if (*maxIt / CONDITION_FRAME_SIZE < 1600) return VOLUME_TOO_SMALL;
    if (*minIt / CONDITION_FRAME_SIZE > 200) return VOLUME_TOO_BIG;
    int pos = 0, neg = 0;
    for (int i = 0; i < len; ++i) {
        pos += x[i] - centre > 31129;
        neg += x[i] - centre < -31129;
    }
    float f = static_cast<float>(frames);
    if (static_cast<float>(neg) / f > 0.004f) return VOLUME_SATURATED;
    if (static_cast<float>(pos) / f > 0.004f) return VOLUME_SATURATED;
    return VOLUME_NORMAL;
}

float noiseRatioFromVolumes(std::vector<int32_t> vol) {
    int frames = static_cast<int>(vol.size());
    if (frames <= 0) return std::numeric_limits<float>::infinity();
    std::sort(vol.begin(), vol.end());
    int tenth = std::max(1, frames / 10);
    int32_t low = vol[tenth - 1];
    if (low == 0) low = 1;
    // With a single frame the index below would be -1; the top frame serves.
    int32_t high = vol[std::max(0, frames - tenth - 1)];
    return static_cast<float>(high) / static_cast<float>(low);
}

void checkCondition(bool ok, const std::string& message) {
    if (!ok) reportError(message);
}

}  // namespace

std::string waveVolumeMessage(int verdict) {
    // The line numbers are part of the texts users know.
    switch (verdict) {
        case VOLUME_TOO_SMALL:
            return strFormat("Max volume too small. Please increase the microphone's gain. (line %d in %s)", 294,
                             "recogTask");
        case VOLUME_TOO_BIG:
            return strFormat("Min volume too big. Please decrease the microphone's gain.  (line %d in %s)", 298,
                             "recogTask");
        case VOLUME_SATURATED:
            return strFormat(
                "Too many saturated wave samples. Please decrease the microphone's gain. Please do not turn on gain "
                "boost. (line %d in %s)",
                302, "recogTask");
        default:
            return "Normal volume.";
    }
}

int checkWaveVolume(const int32_t* x, int len) { return verdictFromVolumes(x, len, conditionVolumes(x, len)); }

float waveNoiseRatio(const int32_t* x, int len) { return noiseRatioFromVolumes(conditionVolumes(x, len)); }

int resampledLength(int len, int fsIn, int fsOut) {
    if (len <= 0 || fsIn <= 0 || fsOut <= 0) return 0;
    int64_t n = static_cast<int64_t>(len - 1) * fsOut / fsIn + 1;
    return n > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(n);
}

void resampleLinear(const int32_t* in, int inLen, int fsIn, int fsOut, int32_t* out, int outLen) {
    if (inLen <= 0 || outLen <= 0) return;
    out[0] = in[0];
    for (int i = 1; i < outLen - 1; ++i) {
        double x = static_cast<double>(i) * fsIn / fsOut;
        int k = static_cast<int>(std::floor(x));
        double t = x - k;
        if (k >= inLen - 1) {  // only when outLen exceeds resampledLength()
            out[i] = in[inLen - 1];
            continue;
        }
        float y = static_cast<float>((1.0 - t) * in[k] + t * in[k + 1]);
        out[i] = roundToInt(y);
    }
    out[outLen - 1] = in[inLen - 1];
}

std::vector<int32_t> spectralSubtraction(const int32_t* x, int len, int fs, int& outLen) {
    const int n = static_cast<int>(fs * 0.032);
    const int overlap = static_cast<int>(n * 0.6);
    const int hop = n - overlap;
    const int frames = hop > 0 ? (len - overlap) / hop : 0;
    const int noiseFrames = hop > 0 ? static_cast<int>((fs * 0.25 - overlap) / hop) : 0;
    // The noise estimate needs its quarter second of frames, and the
    // transform a power-of-two frame.
    if (n <= 0 || hop <= 0 || noiseFrames <= 0 || frames < noiseFrames || !isPowerOfTwo(n)) {
        outLen = len;
        return std::vector<int32_t>(x, x + len);
    }
    outLen = hop * frames + overlap;
    std::vector<int32_t> out(outLen, 0);

    std::vector<float> window(n);
    for (int i = 0; i < n; ++i)
        window[i] = static_cast<float>(0.54 - 0.46 * pm::cos(2.0 * M_PI * i / (n - 1)));

    std::vector<float> re(n), im(n), noise(n, 0.0f);
    auto load = [&](int frame) {
        const int32_t* f = x + static_cast<int64_t>(frame) * hop;
        for (int i = 0; i < n; ++i) {
            re[i] = static_cast<float>(f[i]) * window[i];
            im[i] = 0.0f;
        }
        fftRadix2(re.data(), im.data(), n, false);
    };
    for (int t = 0; t < noiseFrames; ++t) {
        load(t);
        for (int k = 0; k < n; ++k) noise[k] += re[k] * re[k] + im[k] * im[k];
    }
    for (int k = 0; k < n; ++k) noise[k] /= static_cast<float>(noiseFrames);

    for (int t = 0; t < frames; ++t) {
        load(t);
        for (int k = 0; k < n; ++k) {
            float phase = pm::atan2(im[k], re[k]);
            float power = re[k] * re[k] + im[k] * im[k] - noise[k];
            if (power < 0.0f) power = 0.0f;
            float mag = std::sqrt(power);
            re[k] = mag * pm::cos(phase);
            im[k] = mag * pm::sin(phase);
        }
        fftRadix2(re.data(), im.data(), n, true);
        int32_t* o = out.data() + static_cast<int64_t>(t) * hop;
        for (int i = 0; i < n; ++i) o[i] += roundToInt(re[i]);
    }
    return out;
}

void conditionWave(SampleArray& wave, recogParam& p) {
    checkCondition(wave.bits >= 1 && wave.bits <= 32,
                   strFormat("Cannot condition a wave of %d bits per sample (line %d of %s)", wave.bits, __LINE__,
                             kModule));
    checkCondition(wave.rate >= MIN_WAVE_RATE && wave.rate <= MAX_WAVE_RATE,
                   strFormat("Cannot condition a wave sampled at %d Hz; the rate must lie in %d..%d (line %d of %s)",
                             wave.rate, MIN_WAVE_RATE, MAX_WAVE_RATE, __LINE__, kModule));
    checkCondition(wave.count() >= MIN_CONDITION_SAMPLES,
                   strFormat("Wave too short: %d samples, at least %d are needed (line %d of %s)", wave.count(),
                             MIN_CONDITION_SAMPLES, __LINE__, kModule));

    // 8-bit samples are unsigned: silence lies at 128, and at 128 * 256 once
    // amplified. The volume verdict judges them centred; DC removal centres
    // the wave itself at the end.
    const int32_t centre = wave.bits == 8 ? 128 * 256 : 0;

    // 1. Amplify to 16 bits; wider samples are scaled down.
    if (wave.bits != CONDITION_BITS) {
        if (wave.bits < CONDITION_BITS) {
            int64_t factor = static_cast<int64_t>(pm::pow(2.0, CONDITION_BITS - wave.bits));
            progressf("nbits=%d ===> Amplify to have nbits=%d\n", wave.bits, CONDITION_BITS);
            for (int32_t& s : wave.samples) s = clampToInt32(s * factor);
        } else {
            int64_t divisor = int64_t{1} << (wave.bits - CONDITION_BITS);
            progressf("nbits=%d ===> Scale down to have nbits=%d\n", wave.bits, CONDITION_BITS);
            for (int32_t& s : wave.samples) s = static_cast<int32_t>(s / divisor);
        }
        wave.bits = CONDITION_BITS;
    }

    // 2. Resample to 16000 Hz.
    if (wave.rate != CONDITION_RATE) {
        progressf("fs=%d ===> Resample to have fs=%d\n", wave.rate, CONDITION_RATE);
        int newLen = resampledLength(wave.count(), wave.rate, CONDITION_RATE);
        checkCondition(newLen >= MIN_CONDITION_SAMPLES,
                       strFormat("Wave too short: %d samples at %d Hz give %d samples at %d Hz, at least %d are "
                                 "needed (line %d of %s)",
                                 wave.count(), wave.rate, newLen, CONDITION_RATE, MIN_CONDITION_SAMPLES, __LINE__,
                                 kModule));
        std::vector<int32_t> out(newLen);
        resampleLinear(wave.samples.data(), wave.count(), wave.rate, CONDITION_RATE, out.data(), newLen);
        wave.samples.swap(out);
        wave.rate = CONDITION_RATE;
    }

    // 3. Volume verdict; 4. noise decision (both on the same frame volumes).
    const int32_t* x = wave.samples.data();
    int len = wave.count();
    std::vector<int32_t> vol = conditionVolumes(x, len);
    int verdict = verdictFromVolumes(x, len, vol, centre);
    if (verdict != VOLUME_NORMAL && p.useWaveReject != 0) reportError(waveVolumeMessage(verdict));
    float ratio = noiseRatioFromVolumes(std::move(vol));
    if (ratio < NOISY_WAVE_RATIO && p.useSpecSubtraction != 0) {
        progressf("Perform spectrum subtraction...\n");
        p.useDescCandidateNum = 0;
        int outLen = 0;
        std::vector<int32_t> cleaned = spectralSubtraction(x, len, CONDITION_RATE, outLen);
        wave.samples.swap(cleaned);
    }

    // 5. DC removal.
    int32_t mean = intMean(wave.samples.data(), wave.count());
    for (int32_t& s : wave.samples) s = clampToInt32(static_cast<int64_t>(s) - mean);
}

}  // namespace kedo
