// End-point detection and the end-point/feature driver.
#include "frontend/epd.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kedo/error.h"
#include "signals.h"
#include "support/test_support.h"
#include "util/str_util.h"

namespace kedo {
namespace {

std::vector<EpdSegment> segmentsOf(std::vector<int8_t> flags) {
    return findSegments(flags.data(), static_cast<int>(flags.size()));
}

TEST(Epd, FindSegmentsAndFrameCentres) {
    auto s = segmentsOf({1, 1, 0, 0, 1, 0, 1});
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].beginFrame, 0);
    EXPECT_EQ(s[0].endFrame, 1);
    EXPECT_EQ(s[0].duration, 2);
    EXPECT_EQ(s[1].beginFrame, 4);
    EXPECT_EQ(s[1].duration, 1);
    EXPECT_EQ(s[2].beginFrame, 6);
    EXPECT_EQ(s[2].endFrame, 6);
    EXPECT_TRUE(segmentsOf({0, 0}).empty());
    EXPECT_EQ(frameCenterSample(10, 256, 0), 2687);
    EpdParam ep = epdParamForRate(16000);
    EXPECT_EQ(ep.frameSize, 256);
    EXPECT_EQ(epdParamForRate(8000).frameSize, 128);
}

TEST(Epd, HighOrderDifferences) {
    std::vector<int32_t> ramp = {0, 1, 2, 3, 4, 5};
    EXPECT_EQ(highOrderDiff(ramp.data(), 6, 1), 5);
    EXPECT_EQ(highOrderDiff(ramp.data(), 6, 2), 0);
    std::vector<int32_t> spike = {0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(highOrderDiff(spike.data(), 7, 4), 4 + 6 + 4);  // the three windows hold the spike
    EXPECT_EQ(highOrderDiff(spike.data(), 7, 5), 10 + 10);
    EXPECT_EQ(highOrderDiff(spike.data(), 3, 4), 0);  // frame shorter than the stencil
    EXPECT_THROW(highOrderDiff(spike.data(), 7, 6), KedoError);
    try {
        highOrderDiff(spike.data(), 7, 0);
        ADD_FAILURE() << "order 0 was accepted";
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Unsupported order!", 0), 0u);
    }
}

// Low noise with loud bursts at the given detector frames (256 samples each).
std::vector<int32_t> bursts(int frames, const std::vector<std::pair<int, int>>& on) {
    std::vector<int32_t> x = test::whiteNoise(frames * 256, 20);
    std::vector<int32_t> tone = test::harmonicTone(frames * 256, 16000, 180, 180, 6, 12000);
    for (auto [b, e] : on)
        for (int i = b * 256; i < (e + 1) * 256; ++i) x[i] += tone[i];
    return x;
}

TEST(Epd, ShortSegmentsAndTheGapRule) {
    EpdParam ep = epdParamForRate(16000);
    // A burst of 2 frames (32 ms) is never kept.
    auto x = bursts(200, {{20, 60}, {100, 101}});
    auto s = epd(x.data(), static_cast<int>(x.size()), 16000, ep);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_NEAR(s[0].beginFrame, 20, 1);
    EXPECT_NEAR(s[0].endFrame, 60, 1);
    // A last segment of 6 frames more than 44 frames after the previous one is
    // dropped; one of 7 frames survives. The volume-only detector agrees.
    for (auto [len, kept] : {std::pair{6, 1u}, {7, 2u}}) {
        auto y = bursts(200, {{20, 60}, {120, 120 + len - 1}});
        auto a = epdByVol(y.data(), static_cast<int>(y.size()), 16000, ep);
        auto b = epd(y.data(), static_cast<int>(y.size()), 16000, ep);
        EXPECT_EQ(a.size(), kept) << len;
        EXPECT_EQ(b.size(), kept) << len;
    }
    // A short last segment that is the only valid one stays.
    auto z = bursts(200, {{150, 155}});
    EXPECT_EQ(epd(z.data(), static_cast<int>(z.size()), 16000, ep).size(), 1u);
    // Silence and too-short waves give nothing.
    std::vector<int32_t> zero(16000, 0);
    EXPECT_TRUE(epd(zero.data(), 16000, 16000, ep).empty());
    EXPECT_TRUE(epd(zero.data(), 100, 16000, ep).empty());
}

struct Driver {
    FeatureMatrix fea;
    int begin = -1, end = -1;
    std::string out;
};

Driver drive(const recogParam& p, const std::vector<int32_t>& x) {
    Driver d;
    testing::internal::CaptureStdout();
    try {
        d.fea = epdAndMfcc(p, x.data(), static_cast<int>(x.size()), 16000, 16, 320, 160, d.begin, d.end);
    } catch (...) {
        testing::internal::GetCapturedStdout();
        throw;
    }
    d.out = testing::internal::GetCapturedStdout();
    return d;
}

TEST(EpdAndMfcc, WholeWaveWithoutEpd) {
    test::TempDir dir;
    recogParam p;
    p.featureConfigFile = dir.file("none.cfg");
    auto x = bursts(100, {{30, 60}});
    Driver d = drive(p, x);
    EXPECT_EQ(d.begin, 0);
    EXPECT_EQ(d.end, 160);           // the last sample, 25599, is 159.99 steps of 160 in
    EXPECT_EQ(d.fea.frameNum, 159);  // 320-sample windows every 160 samples: 0..158
    EXPECT_EQ(d.fea.dim, 39);
    EXPECT_NE(d.out.find("\twaveBeginIndex=0, waveEndIndex=25599\n"), std::string::npos) << d.out;
    EXPECT_NE(d.out.find("sec: Compute MFCC (cfgFile=" + p.featureConfigFile + ")\n"), std::string::npos);
    EXPECT_FALSE(test::exists(dir.file("output.fea")));
}

TEST(EpdAndMfcc, CutsToTheSpokenStretchAndSavesFeatures) {
    test::TempDir dir;
    recogParam p;
    p.useEpd = 1;
    p.outputDir = dir.path();
    test::writeFile(dir.file("f.cfg"), "TARGETKIND=MFCC_E_D_A\n");
    p.featureConfigFile = dir.file("f.cfg");
    auto x = bursts(100, {{30, 60}});
    Driver d = drive(p, x);
    // The burst fills samples 7680 to 15615: steps of 160 number 48 to 97.
    EXPECT_NEAR(d.begin, 48, 2);
    EXPECT_NEAR(d.end, 97, 2);
    // One frame per step from the first to the last frame of the stretch.
    EXPECT_EQ(d.fea.frameNum, d.end - d.begin + 1);
    EXPECT_NE(d.out.find("\t===> Saved " + dir.file("output.fea") + "\n"), std::string::npos);
    std::string fea = test::readFile(dir.file("output.fea"));
    EXPECT_EQ(std::count(fea.begin(), fea.end(), '\n'), d.fea.frameNum);

    // No segment at all (silence): the whole wave is used.
    std::vector<int32_t> zero(8000, 0);
    Driver s = drive(p, zero);
    EXPECT_EQ(s.begin, 0);
    EXPECT_EQ(s.fea.frameNum, 49);  // windows at 0, 160, ..., 7680
}

TEST(EpdAndMfcc, LimitsOnLength) {
    test::TempDir dir;
    recogParam p;
    p.featureConfigFile = dir.file("none.cfg");
    EXPECT_THROW(drive(p, std::vector<int32_t>(200, 5)), KedoError);
    // 36001 frames are too many.
    std::vector<int32_t> big(static_cast<size_t>(36001 - 1) * 160 + 320, 1);
    try {
        drive(p, big);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_STREQ(e.what(), "frameNum = 36001 > 36000, frameNum too big!");
    }
}

// Speech padded with known silence and low noise: the detected stretch
// starts and ends within 50 ms of the truth.
TEST(EpdAndMfcc, FindsSynthesisedSpeech) {
    test::TempDir dir;
    std::vector<int32_t> speech = test::synthSpeech(dir, "Please record this sentence now.");
    ASSERT_GT(speech.size(), 8000u) << "espeak-ng or sox failed";
    // The truth: first and last sample above 2 % of the peak.
    int peak = 0;
    for (int32_t v : speech) peak = std::max(peak, std::abs(v));
    int first = 0, last = static_cast<int>(speech.size()) - 1;
    while (std::abs(speech[first]) < peak / 50) ++first;
    while (std::abs(speech[last]) < peak / 50) --last;
    const int lead = 12000, trail = 16000;
    std::vector<int32_t> x = test::whiteNoise(lead + static_cast<int>(speech.size()) + trail, 30);
    for (size_t i = 0; i < speech.size(); ++i) x[lead + i] += speech[i];
    EpdParam ep = epdParamForRate(16000);
    auto seg = epd(x.data(), static_cast<int>(x.size()), 16000, ep);
    ASSERT_FALSE(seg.empty());
    int begin = frameCenterSample(seg.front().beginFrame, 256, 0);
    int end = frameCenterSample(seg.back().endFrame, 256, 0);
    EXPECT_NEAR(begin, lead + first, 800) << "50 ms = 800 samples";
    EXPECT_NEAR(end, lead + last, 800);
}

}  // namespace
}  // namespace kedo
