// Pitch tracking: parameters, contours of signals with known F0, voicing.
#include "frontend/pitch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "kedo/error.h"
#include "signals.h"
#include "support/test_support.h"
#include "util/str_util.h"

namespace kedo {
namespace {

ptParam quietParams() {
    testing::internal::CaptureStdout();
    ptParam pp = ptParamSet(16000, 16, 1, "");
    testing::internal::GetCapturedStdout();
    return pp;
}

TEST(PitchParams, DefaultsTunedSetsAndLagRange) {
    ptParam pp = quietParams();
    EXPECT_EQ(pp.frameSize, 640);
    EXPECT_EQ(pp.overlap, 480);
    EXPECT_EQ(pp.pfLen, 320);
    EXPECT_EQ(pp.frameRate, 100);
    EXPECT_EQ(pp.dpMethod, 1);
    EXPECT_EQ(pp.dpPosDiffOrder, 2);
    EXPECT_EQ(pp.dpUseLocalOptim, 0);
    EXPECT_FLOAT_EQ(pp.indexDiffWeight, 6.0f);
    EXPECT_EQ(pitchMinIndex(pp), 15);
    EXPECT_EQ(pitchMaxIndex(pp), 319);
    EXPECT_EQ(pitchFrameCount(16000, pp), 97);

    testing::internal::CaptureStdout();
    ptParam amdf = ptParamSet(16000, 16, 0, "");
    ptParam low = ptParamSet(8000, 8, 1, "");
    ptParam odd = ptParamSet(11025, 16, 1, "");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(amdf.dpMethod, 2);
    EXPECT_FLOAT_EQ(amdf.pfWeight, 12800.0f);
    EXPECT_EQ(amdf.useClarity, 0);
    EXPECT_EQ(low.frameSize, 256);
    EXPECT_EQ(low.overlap, 0);
    EXPECT_FLOAT_EQ(low.indexDiffWeight, 388.0f);
    EXPECT_EQ(odd.frameSize, 354);  // ceil(11025 * 256 / 8000) = 353, made even
    EXPECT_EQ(out, "");             // 32 ms frames or longer: no warning

    EXPECT_DOUBLE_EQ(semitone(440.0), 69.0);
    EXPECT_DOUBLE_EQ(semitone(0.0), 0.0);
    EXPECT_NEAR(freqOfSemitone(57.0), 220.0, 1e-9);
    EXPECT_DOUBLE_EQ(freqOfSemitone(-1.0), 0.0);
}

TEST(PitchParams, ParameterFile) {
    test::TempDir dir;
    test::writeFile(dir.file("pt.prm"), "frameSize = 400\noverlap=240\npfLen=200 % lags\nminPitch=40.5\n"
                                        "dpUseLocalOptim=1.9\ncutLeadingTrailingZero=1\n");
    testing::internal::CaptureStdout();
    ptParam pp = ptParamSet(16000, 16, 1, dir.file("pt.prm"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(pp.frameSize, 400);
    EXPECT_EQ(pp.pfLen, 200);
    EXPECT_FLOAT_EQ(pp.minPitch, 40.5f);
    EXPECT_EQ(pp.dpUseLocalOptim, 1);
    EXPECT_EQ(pp.cutLeadingTrailingZero, 1);
    EXPECT_EQ(out.rfind("ptParam->fs=16000 (line=", 0), 0u) << out;
    EXPECT_NE(out.find("ptParam->minPitch=40.5 (line="), std::string::npos);
    EXPECT_NE(out.find(", file=audio)\nptParam->nbits=16"), std::string::npos);
    EXPECT_NE(out.find("ptParam->cutLeadingTrailingZero=1 (line="), std::string::npos);
    EXPECT_NE(out.find("Warning: frameSize too small! (frameSize=400, frameDuration=25 ms < minFrameDuration=32 ms)\n"),
              std::string::npos);

    test::writeFile(dir.file("bad.prm"), "frameSize=640\nframeSise=3\n");
    testing::internal::CaptureStdout();
    try {
        ptParamSet(16000, 16, 1, dir.file("bad.prm"));
        ADD_FAILURE();
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Error in parsing " + dir.file("bad.prm") + ", unknown key = frameSise (line ", 0), 0u);
    }
    test::writeFile(dir.file("geom.prm"), "overlap=640\n");
    EXPECT_THROW(ptParamSet(16000, 16, 1, dir.file("geom.prm")), KedoError);
    EXPECT_THROW(ptParamSet(16000, 16, 2, ""), KedoError);
    testing::internal::GetCapturedStdout();
}

// Pads a signal with low noise before and after.
std::vector<int32_t> padded(const std::vector<int32_t>& core, int pad) {
    std::vector<int32_t> x = test::whiteNoise(static_cast<int>(core.size()) + 2 * pad, 20, 11);
    for (size_t i = 0; i < core.size(); ++i) x[pad + i] += core[i];
    return x;
}

// Median absolute error in semitones over frames inside the tone that the
// tracker calls voiced; also the share of such frames that are voiced.
std::pair<double, double> contourError(const std::vector<float>& pitch, int pad, int coreLen, double f0, double f1) {
    std::vector<double> err;
    int inside = 0;
    for (size_t t = 0; t < pitch.size(); ++t) {
        int centre = static_cast<int>(t) * 160 + 320;
        if (centre - 320 < pad || centre + 320 > pad + coreLen) continue;
        ++inside;
        if (pitch[t] == 0.0f) continue;
        double f = f0 + (f1 - f0) * (centre - pad) / coreLen;
        err.push_back(std::fabs(pitch[t] - semitone(f)));
    }
    if (err.empty()) return {99.0, 0.0};
    std::nth_element(err.begin(), err.begin() + err.size() / 2, err.end());
    return {err[err.size() / 2], static_cast<double>(err.size()) / inside};
}

TEST(PitchTrack, HarmonicTonesAndGlides) {
    ptParam pp = quietParams();
    struct Case {
        double f0, f1, noise;
    };
    for (Case c : {Case{110, 110, 0}, Case{220, 220, 0}, Case{330, 330, 0}, Case{150, 250, 0},
                   Case{260, 140, 0}, Case{180, 180, 1500}, Case{120, 200, 1500}}) {
        const int pad = 4800, len = 24000;
        std::vector<int32_t> x = padded(test::harmonicTone(len, 16000, c.f0, c.f1, 8, 9000, c.noise), pad);
        std::vector<float> pitch;
        testing::internal::CaptureStdout();
        int n = pitchTrack(x.data(), static_cast<int>(x.size()), pp, pitch);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(n, pitchFrameCount(static_cast<int>(x.size()), pp));
        auto [err, share] = contourError(pitch, pad, len, c.f0, c.f1);
        EXPECT_LT(err, 0.5) << c.f0 << "->" << c.f1 << " noise " << c.noise;
        EXPECT_GT(share, 0.8) << c.f0 << "->" << c.f1 << " noise " << c.noise;
        // Leading silence is unvoiced.
        EXPECT_EQ(pitch[2], 0.0f);
        EXPECT_EQ(pitch[n - 3], 0.0f);
    }
}

TEST(PitchTrack, TwoPassOnTones) {
    ptParam pp = quietParams();
    std::vector<int32_t> x = padded(test::harmonicTone(24000, 16000, 200, 200, 8, 9000, 500), 4800);
    std::vector<float> pitch;
    testing::internal::CaptureStdout();
    int n = pitchTrackTwoPass(x.data(), static_cast<int>(x.size()), pp, pitch);
    testing::internal::GetCapturedStdout();
    auto [err, share] = contourError(pitch, 4800, 24000, 200, 200);
    EXPECT_EQ(n, static_cast<int>(pitch.size()));
    EXPECT_LT(err, 0.5);
    EXPECT_GT(share, 0.8);
}

TEST(PitchTrack, SilenceGivesZeroContourAndWarning) {
    ptParam pp = quietParams();
    std::vector<int32_t> x(16000, 0);
    std::vector<float> pitch;
    testing::internal::CaptureStdout();
    int n = pitchTrackTwoPass(x.data(), 16000, pp, pitch);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, 97);
    EXPECT_TRUE(std::all_of(pitch.begin(), pitch.end(), [](float v) { return v == 0.0f; }));
    EXPECT_NE(out.find("Warning: Cannot find any segment after epdByVol! (line "), std::string::npos);
    // Too short for a single frame.
    EXPECT_EQ(pitchTrack(x.data(), 600, pp, pitch), 0);
    EXPECT_TRUE(pitch.empty());
}

TEST(PitchTrack, CandidatesAreLocalMaximaInRange) {
    ptParam pp = quietParams();
    pp.dpUseLocalOptim = 1;
    pp.volThresholding = 0;
    pp.clarityThresholding = 0;
    pp.medianFilterOrder = 0;
    std::vector<int32_t> x = test::harmonicTone(3200, 16000, 200, 200, 4, 9000);
    std::vector<float> pitch;
    std::vector<std::vector<PitchCandidate>> cand;
    testing::internal::CaptureStdout();
    pitchTrack(x.data(), 3200, pp, pitch, &cand);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(cand.empty());
    bool hasPeriod = false;
    for (const PitchCandidate& c : cand[3]) {
        EXPECT_GE(c.lag, 15);
        EXPECT_LE(c.lag, 319);
        hasPeriod = hasPeriod || std::abs(c.lag - 80) <= 1;  // 16000 / 200
    }
    EXPECT_TRUE(hasPeriod);
    EXPECT_NEAR(pitch[3], semitone(200.0), 0.3);
}

TEST(PitchTrack, MedianFilterAndCuttingZeros) {
    ptParam pp = quietParams();
    pp.volThresholding = 0;
    pp.clarityThresholding = 0;
    // A steady tone with the medium filter removes nothing; the cut of
    // leading and trailing zeros keeps the voiced middle.
    std::vector<int32_t> x = test::harmonicTone(9600, 16000, 200, 200, 8, 9000);
    for (int i = 0; i < 1600; ++i) x[i] = x[9600 - 1 - i] = 0;
    std::vector<float> full, cut;
    testing::internal::CaptureStdout();
    int n = pitchTrack(x.data(), 9600, pp, full);
    pp.clarityThresholding = 1;
    pp.cutLeadingTrailingZero = 1;
    int m = pitchTrack(x.data(), 9600, pp, cut);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, 57);
    EXPECT_LT(m, n);
    EXPECT_EQ(m, static_cast<int>(cut.size()));
    ASSERT_GT(m, 0);
    EXPECT_NE(cut.front(), 0.0f);
    EXPECT_NE(cut.back(), 0.0f);
}

TEST(PitchTrack, LagRangeFromTheSemitoneRange) {
    ptParam pp = quietParams();
    pp.minPitch = 57.0f - 12.0f;
    pp.maxPitch = 57.0f + 12.0f;
    EXPECT_EQ(pitchMinIndex(pp), 36);   // 16000 / 440 Hz = 36.4 samples
    EXPECT_EQ(pitchMaxIndex(pp), 145);  // 16000 / 110 Hz = 145.5 samples, rounded down
}

// Low and high voices: the second pass, narrowed around the first pass's
// median, keeps the known pitch (100 Hz = 43.35, 320 Hz = 63.49 semitones).
TEST(PitchTrack, TwoPassOnLowAndHighVoices) {
    ptParam pp = quietParams();
    for (double f0 : {100.0, 320.0}) {
        std::vector<int32_t> x = padded(test::harmonicTone(24000, 16000, f0, f0, 6, 9000, 500), 4800);
        std::vector<float> pitch;
        testing::internal::CaptureStdout();
        pitchTrackTwoPass(x.data(), static_cast<int>(x.size()), pp, pitch);
        testing::internal::GetCapturedStdout();
        const double want = f0 == 100.0 ? 43.35 : 63.49;
        int near = 0, voiced = 0;
        for (float v : pitch) {
            if (v == 0.0f) continue;
            ++voiced;
            near += std::fabs(v - want) < 0.5;
        }
        EXPECT_GT(voiced, 100) << f0;
        EXPECT_GT(near, voiced * 9 / 10) << f0;
    }
}

}  // namespace
}  // namespace kedo

namespace kedo {
namespace {

// The pruned search of the dynamic programming gives exactly what trying
// every previous candidate in order gives, ties included.
TEST(PitchTrack, TransitionsMatchExhaustiveSearch) {
    std::mt19937 rng(9);
    for (int trial = 0; trial < 400; ++trial) {
        int na = 1 + static_cast<int>(rng() % 60), nb = 1 + static_cast<int>(rng() % 60);
        bool maximise = trial % 2, linear = trial % 3 == 0;
        double weight = trial % 5 == 0 ? 0.0 : 1.0 + rng() % 7;
        std::vector<double> prev(na);
        std::vector<int> pk(na), ck(nb);
        // Integer scores from a small range make many exact ties.
        int spread = trial % 4 == 0 ? 3 : 100000;
        for (double& v : prev) v = static_cast<double>(rng() % spread) - (trial % 7 == 0 ? 1e9 : 0.0);
        int k = static_cast<int>(rng() % 20);
        for (int& v : pk) v = (k += static_cast<int>(rng() % 3));
        k = static_cast<int>(rng() % 20);
        for (int& v : ck) v = (k += static_cast<int>(rng() % 4));
        std::vector<double> best;
        std::vector<int> arg;
        pitchTransitions(prev, pk, ck, weight, linear, maximise, best, arg);
        for (int b = 0; b < nb; ++b) {
            double bv = 0;
            int ba = -1;
            for (int a = 0; a < na; ++a) {
                double d = std::abs(static_cast<double>(pk[a] - ck[b]));
                double c = linear ? weight * d : weight * (d * d);
                double v = maximise ? prev[a] - c : prev[a] + c;
                if (ba < 0 || (maximise ? v > bv : v < bv)) {
                    bv = v;
                    ba = a;
                }
            }
            ASSERT_EQ(arg[b], ba) << "trial " << trial << " b " << b;
            ASSERT_EQ(best[b], bv) << "trial " << trial << " b " << b;
        }
    }
}

}  // namespace
}  // namespace kedo
