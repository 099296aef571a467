// MFCC extraction: geometry, tables, per-frame analysis, utterance-level
// energy normalisation, regression differences, cepstral mean subtraction.
#include "frontend/mfcc.h"
#include "util/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "frontend/fft.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "CMel";

// Columns of the fixed layout: 12 cepstra, then energy (or C0).
constexpr int kCepsCols = 12;
constexpr int kEnergyCol = 12;
constexpr int kStaticWidth = 13;

float mel(int k, float fres) { return 1127.0f * pm::log(1.0f + (k - 1) * fres); }

std::string kindText(uint16_t kind) {
    static const char* const names[] = {"WAVEFORM", "LPC",   "LPREFC",  "LPCEPSTRA", "LPDELCEP", "IREFC",
                                        "MFCC",     "FBANK", "MELSPEC", "USER",      "DISCRETE", "ANON"};
    int base = kind & BASE_KIND_MASK;
    std::string s = base <= ANON ? names[base] : "ANON";
    const char* letters = "ENDACZK0V";
    for (int b = 0; b < 9; ++b)
        if (kind & (0x40 << b)) s += std::string("_") + letters[b];
    return s;
}

[[noreturn]] void badConfig(const std::string& what, const std::string& cfgFile, int line) {
    reportError(strFormat("Feature configuration \"%s\": %s (line %d of %s)", cfgFile.c_str(), what.c_str(), line,
                          kModule));
}

// Refuses settings that would give no frames, unbounded tables, or a layout
// other than the fixed columns that energy normalisation, the differences
// and mean subtraction address.
void checkConfig(const FeatureConfig& c, int samplePeriod, const std::string& file) {
    double n = static_cast<double>(c.windowSize) / samplePeriod;
    double s = static_cast<double>(c.targetRate) / samplePeriod;
    if (!(n >= 1.0) || n > MAX_FEATURE_FRAME_LEN)
        badConfig(strFormat("WINDOWSIZE=%g gives a frame of %g samples, it must be 1..%d", c.windowSize, n,
                            MAX_FEATURE_FRAME_LEN),
                  file, __LINE__);
    if (!(s >= 1.0) || s > MAX_FEATURE_FRAME_LEN)
        badConfig(strFormat("TARGETRATE=%g gives a frame step of %g samples, it must be 1..%d", c.targetRate, s,
                            MAX_FEATURE_FRAME_LEN),
                  file, __LINE__);
    if (c.numChans < 1 || c.numChans > MAX_MEL_CHANS)
        badConfig(strFormat("NUMCHANS=%d, it must be 1..%d", c.numChans, MAX_MEL_CHANS), file, __LINE__);
    std::string kind = kindText(c.targetKind);
    if (c.numCeps != kCepsCols)
        badConfig(strFormat("NUMCEPS=%d does not fit the feature layout, which holds %d cepstra", c.numCeps,
                            kCepsCols),
                  file, __LINE__);
    if ((c.targetKind & HAS_E) && (c.targetKind & HAS_0))
        badConfig(strFormat("TARGETKIND=%s asks for both _0 and _E, which share one column", kind.c_str()), file,
                  __LINE__);
    if ((c.targetKind & (HAS_D | HAS_A)) && !(c.targetKind & (HAS_E | HAS_0)))
        badConfig(strFormat("TARGETKIND=%s has differences without an energy or C0 column", kind.c_str()), file,
                  __LINE__);
    if ((c.targetKind & HAS_A) && !(c.targetKind & HAS_D))
        badConfig(strFormat("TARGETKIND=%s has second differences without first differences", kind.c_str()), file,
                  __LINE__);
    if ((c.targetKind & HAS_D) && (c.deltaWindow < 1 || c.deltaWindow > MAX_REGRESSION_WINDOW))
        badConfig(strFormat("DELTAWINDOW=%d, it must be 1..%d", c.deltaWindow, MAX_REGRESSION_WINDOW), file,
                  __LINE__);
    if ((c.targetKind & HAS_A) && (c.accWindow < 1 || c.accWindow > MAX_REGRESSION_WINDOW))
        badConfig(strFormat("ACCWINDOW=%d, it must be 1..%d", c.accWindow, MAX_REGRESSION_WINDOW), file, __LINE__);
}

}  // namespace

void initMelBank(MelBank& fb, const FeatureConfig& cfg, int frameLen, int samplePeriod) {
    fb.numChans = cfg.numChans;
    fb.samplePeriod = samplePeriod;
    fb.usePower = cfg.usePower;
    fb.takeLogs = true;
    fb.fftN = 2;
    while (frameLen > fb.fftN) fb.fftN *= 2;
    const int half = fb.fftN / 2;
    fb.fres = static_cast<float>(1.0e7 / (static_cast<double>(samplePeriod) * fb.fftN * 700.0));
    fb.klo = 2;
    fb.khi = half;
    fb.mlo = 0.0f;
    fb.mhi = mel(half + 1, fb.fres);
    if (cfg.loFreq >= 0.0f) {
        fb.mlo = 1127.0f * pm::log(1.0f + cfg.loFreq / 700.0f);
        double klo = samplePeriod * static_cast<double>(cfg.loFreq) * 1.0e-7 * fb.fftN + 2.5;
        fb.klo = klo >= half + 1 ? half + 1 : static_cast<int>(klo);
        if (fb.klo < 2) fb.klo = 2;
    }
    if (cfg.hiFreq >= 0.0f) {
        fb.mhi = 1127.0f * pm::log(1.0f + cfg.hiFreq / 700.0f);
        double khi = samplePeriod * static_cast<double>(cfg.hiFreq) * 1.0e-7 * fb.fftN + 0.5;
        fb.khi = khi >= half ? half : static_cast<int>(khi);
    }
    const int maxChan = fb.numChans + 1;
    fb.cf.assign(maxChan + 1, 0.0f);
    const float ms = fb.mhi - fb.mlo;
    for (int c = 1; c <= maxChan; ++c)
        fb.cf[c] = static_cast<float>(c) / static_cast<float>(maxChan) * ms + fb.mlo;
    fb.loChan.assign(half + 1, -1);
    fb.loWt.assign(half + 1, 0.0f);
    for (int k = 1, chan = 1; k <= half; ++k) {
        if (k < fb.klo || k > fb.khi) continue;
        float melk = mel(k, fb.fres);
        while (chan < maxChan && fb.cf[chan] < melk) ++chan;
        if (fb.cf[chan] < melk) chan = maxChan;  // never beyond the last centre
        int lo = chan - 1;
        fb.loChan[k] = static_cast<int16_t>(lo);
        if (lo > 0)
            fb.loWt[k] = (fb.cf[lo + 1] - melk) / (fb.cf[lo + 1] - fb.cf[lo]);
        else
            fb.loWt[k] = (fb.cf[1] - melk) / (fb.cf[1] - fb.mlo);
    }
}

void regressionDifferences(float* fea, int frames, int dim, int src, int dst, int width, int theta) {
    float denom = 0.0f;
    for (int t = 1; t <= theta; ++t) denom += static_cast<float>(t * t);
    denom *= 2.0f;
    for (int t = 0; t < frames; ++t) {
        float* out = fea + static_cast<int64_t>(t) * dim + dst;
        for (int j = 0; j < width; ++j) {
            float sum = 0.0f;
            for (int th = 1; th <= theta; ++th) {
                int fwd = std::min(t + th, frames - 1);
                int back = std::max(t - th, 0);
                sum += static_cast<float>(th) * (fea[static_cast<int64_t>(fwd) * dim + src + j] -
                                                 fea[static_cast<int64_t>(back) * dim + src + j]);
            }
            out[j] = sum / denom;
        }
    }
}

void computeMfcc(CFeaBuf& buf, const int32_t* x, int fs, int bits, int len, const std::string& cfgFile,
                 int& frameNum, int& dim) {
    (void)bits;  // samples arrive in 16-bit range
    if (!fileExists(cfgFile)) progressf("Cannot open %s (line %d, file %s)\n", cfgFile.c_str(), 129, kModule);
    readFeatureConfig(buf.m_cfg, cfgFile);
    const FeatureConfig& c = buf.m_cfg;
    if (fs <= 0 || fs > 10000000)
        reportError(strFormat("Cannot compute features at a sampling rate of %d Hz (line %d of %s)", fs, __LINE__,
                              kModule));

    // Geometry.
    buf.m_samplePeriod = static_cast<int>(1.0e7 / fs);
    checkConfig(c, buf.m_samplePeriod, cfgFile);
    const int n = static_cast<int>(c.windowSize / buf.m_samplePeriod);
    const int step = static_cast<int>(c.targetRate / buf.m_samplePeriod);
    buf.m_frameLen = n;
    buf.m_frameStep = step;
    buf.m_dim = featureDimension(c.numCeps, c.targetKind);
    buf.m_cfg.dim = buf.m_dim;
    buf.m_frameNum = len >= n ? (len - n) / step + 1 : 0;
    const int frames = buf.m_frameNum;
    const int d = buf.m_dim;
    frameNum = frames;
    dim = d;
    buf.m_fea.assign(static_cast<size_t>(frames) * d, 0.0f);

    // Tables.
    buf.m_hamming.assign(n + 1, 0.0f);
    for (int i = 1; i <= n; ++i)
        buf.m_hamming[i] =
            n > 1 ? static_cast<float>(0.54 - 0.46 * pm::cos(2.0 * M_PI * (i - 1) / (n - 1))) : 1.0f;
    const int numCeps = c.numCeps;
    buf.m_lifter.assign(numCeps + 1, 1.0f);
    if (c.cepLifter > 0)
        for (int j = 1; j <= numCeps; ++j)
            buf.m_lifter[j] = static_cast<float>(1.0 + c.cepLifter / 2.0 * pm::sin(M_PI * j / c.cepLifter));
    MelBank& fb = buf.m_melBank;
    initMelBank(fb, c, n, buf.m_samplePeriod);
    const int numChans = c.numChans;
    // DCT table: cos(pi j (k - 0.5) / numChans), j = 1..numCeps, k = 1..numChans.
    std::vector<float> dct(static_cast<size_t>(numCeps) * numChans);
    for (int j = 1; j <= numCeps; ++j)
        for (int k = 1; k <= numChans; ++k)
            dct[static_cast<size_t>(j - 1) * numChans + (k - 1)] =
                static_cast<float>(pm::cos(M_PI * j / numChans * (k - 0.5)));
    const float mfnorm = std::sqrt(2.0f / static_cast<float>(numChans));

    // Per frame.
    const bool hasE = c.targetKind & HAS_E;
    const bool has0 = c.targetKind & HAS_0;
    const float preEm = c.preEmCoef;
    RealFft fft(fb.fftN);
    std::vector<float> frame(n + 1), work(fb.fftN), spec(fb.fftN + 2), chans(numChans + 2);
    for (int t = 0; t < frames; ++t) {
        const int32_t* src = x + static_cast<int64_t>(t) * step;
        float* row = buf.m_fea.data() + static_cast<int64_t>(t) * d;
        for (int i = 1; i <= n; ++i) frame[i] = static_cast<float>(src[i - 1]);
        if (c.zMeanSource) {
            float sum = 0.0f;
            for (int i = 1; i <= n; ++i) sum += frame[i];
            float mean = sum / static_cast<float>(n);
            for (int i = 1; i <= n; ++i) frame[i] -= mean;
        }
        float energy = 0.0f;
        for (int i = 1; i <= n; ++i) energy += frame[i] * frame[i];
        if (preEm > 0.0f) {
            for (int i = n; i >= 2; --i) frame[i] -= preEm * frame[i - 1];
            frame[1] *= 1.0f - preEm;
        }
        if (c.useHamming)
            for (int i = 1; i <= n; ++i) frame[i] *= buf.m_hamming[i];
        std::copy(frame.begin() + 1, frame.end(), work.begin());
        std::fill(work.begin() + n, work.end(), 0.0f);
        fft.transform(work.data(), spec.data());
        std::fill(chans.begin(), chans.end(), 0.0f);
        for (int k = fb.klo; k <= fb.khi; ++k) {
            // Bin k (1-based) is frequency (k - 1) * fs / K.
            float re = spec[2 * (k - 1)], im = spec[2 * (k - 1) + 1];
            float e = re * re + im * im;
            if (!fb.usePower) e = std::sqrt(e);
            int lo = fb.loChan[k];
            float ew = fb.loWt[k] * e;
            if (lo > 0) chans[lo] += ew;
            if (lo < numChans) chans[lo + 1] += e - ew;
        }
        for (int k = 1; k <= numChans; ++k) chans[k] = pm::log(std::max(chans[k], 1.0f));
        for (int j = 1; j <= numCeps; ++j) {
            const float* cosRow = dct.data() + static_cast<size_t>(j - 1) * numChans;
            float sum = 0.0f;
            for (int k = 1; k <= numChans; ++k) sum += chans[k] * cosRow[k - 1];
            float cj = mfnorm * sum;
            if (c.cepLifter > 0) cj *= buf.m_lifter[j];
            row[j - 1] = cj;
        }
        if (has0) {
            float sum = 0.0f;
            for (int k = 1; k <= numChans; ++k) sum += chans[k];
            row[numCeps] = sum * mfnorm;
        }
        if (hasE) row[numCeps] = energy < 2.45e-308 ? -1.0e10f : pm::log(energy);
    }

    // Over the utterance.
    if (frames > 0 && hasE && c.eNormalise) {
        float maxE = -std::numeric_limits<float>::infinity();
        for (int t = 0; t < frames; ++t) maxE = std::max(maxE, buf.m_fea[static_cast<size_t>(t) * d + kEnergyCol]);
        float minE = maxE - (c.silFloor * pm::log(10.0f)) / 10.0f;
        for (int t = 0; t < frames; ++t) {
            float& e = buf.m_fea[static_cast<size_t>(t) * d + kEnergyCol];
            if (e < minE) e = minE;
            e = 1.0f - (maxE - e) * c.eScale;
        }
    }
    if (frames > 0 && (c.targetKind & HAS_D))
        regressionDifferences(buf.m_fea.data(), frames, d, 0, kStaticWidth, kStaticWidth, c.deltaWindow);
    if (frames > 0 && (c.targetKind & HAS_A))
        regressionDifferences(buf.m_fea.data(), frames, d, kStaticWidth, 2 * kStaticWidth, kStaticWidth,
                              c.accWindow);
    if (frames > 0 && (c.targetKind & HAS_Z)) {
        for (int j = 0; j < kCepsCols; ++j) {
            float sum = 0.0f;
            for (int t = 0; t < frames; ++t) sum += buf.m_fea[static_cast<size_t>(t) * d + j];
            float mean = sum / static_cast<float>(frames);
            for (int t = 0; t < frames; ++t) buf.m_fea[static_cast<size_t>(t) * d + j] -= mean;
        }
    }
}

void CFeaBuf::write2bin(const std::string& path) const {
    FilePtr f(fopenResolved(path, "wb"));
    if (!f) reportError("[ERRMSG] CFeaBuf::write2bin => Can't write to file " + path);
    if (m_frameNum <= 0) reportError("[ERRMSG] CFeaBuf::write2bin => Write frame number error! ");
    if (!(m_cfg.windowSize >= 1.0f))  // truncates to 0 or less
        reportError("[ERRMSG] CFeaBuf::write2bin => Write frame period error! ");
    if (static_cast<int16_t>(4 * m_dim) <= 0)
        reportError("[ERRMSG] CFeaBuf::write2bin => Write bytes_per_frame error! ");
    std::string line;
    char num[32];
    for (int t = 0; t < m_frameNum; ++t) {
        line.clear();
        const float* row = m_fea.data() + static_cast<size_t>(t) * m_dim;
        for (int j = 0; j < m_dim; ++j) {
            int k = std::snprintf(num, sizeof num, "%g ", static_cast<double>(row[j]));
            line.append(num, static_cast<size_t>(k));
        }
        line += '\n';
        std::fputs(line.c_str(), f.get());
    }
    if (std::fflush(f.get()) != 0) reportError("[ERRMSG] CFeaBuf::write2bin => Can't write to file " + path);
}

}  // namespace kedo
