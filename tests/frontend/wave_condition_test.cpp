// Frame volume, the volume verdict, resampling, spectral subtraction and the
// whole conditioning step.
#include "frontend/wave_condition.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_file.h"
#include "frontend/frame_volume.h"
#include "kedo/error.h"
#include "signals.h"
#include "support/test_support.h"

namespace kedo {
namespace {

TEST(FrameVolume, MeanAndMedian) {
    std::vector<int32_t> odd = {5, -3, 9, 1, 7};
    EXPECT_EQ(intMedian(odd.data(), 5), 5);
    EXPECT_EQ(odd, (std::vector<int32_t>{5, -3, 9, 1, 7}));  // input untouched
    std::vector<int32_t> even = {4, 1, 8, 3};
    EXPECT_EQ(intMedian(even.data(), 4), 3);  // (3 + 4) / 2
    std::vector<int32_t> neg = {-4, -1, -8, -3};
    EXPECT_EQ(intMedian(neg.data(), 4), -3);  // (-4 + -3) / 2 truncates toward zero
    std::vector<int32_t> dup = {2, 2, 2, 9};
    EXPECT_EQ(intMedian(dup.data(), 4), 2);
    EXPECT_EQ(intMean(neg.data(), 4), -4);  // -16 / 4
    std::vector<int32_t> m = {1, 2, -6};
    EXPECT_EQ(intMean(m.data(), 3), -1);  // -3 / 3
    std::vector<int32_t> t = {1, 2, 2};
    EXPECT_EQ(intMean(t.data(), 3), 1);
}

TEST(FrameVolume, MethodsAndFraming) {
    // Two frames of 4 samples with overlap 2 over 6 samples.
    std::vector<int32_t> x = {0, 4, 8, 2, 2, 2};
    EXPECT_EQ(frameCount(6, 4, 2), 2);
    int32_t vi[2];
    float vf[2];
    frameVolume(x.data(), 6, 4, 2, vi, VOL_ABS_MEDIAN);
    EXPECT_EQ(vi[0], 3 + 1 + 5 + 1);  // median (2 + 4) / 2 = 3
    EXPECT_EQ(vi[1], 6);               // median 2: |8-2|
    frameVolume(x.data(), 6, 4, 2, vf, VOL_ABS_MEDIAN);
    EXPECT_FLOAT_EQ(vf[0], 10.0f);
    frameVolume(x.data(), 6, 4, 2, vi, VOL_SQ_MEAN);
    EXPECT_EQ(vi[0], 16 + 0 + 16 + 4);  // mean 14 / 4 = 3 (truncated)... deviations from 3
    frameVolume(x.data(), 6, 4, 2, vf, VOL_LOG_SQ_MEAN);
    EXPECT_NEAR(vf[0], std::log(36.0f), 1e-6);
    std::vector<int32_t> flat(8, 5);
    frameVolume(flat.data(), 8, 4, 0, vi, VOL_LOG_SQ_MEAN);
    EXPECT_EQ(vi[0], LOG_ZERO_VOLUME_INT);
    frameVolume(flat.data(), 8, 4, 0, vf, VOL_LOG_SQ_MEAN);
    EXPECT_EQ(vf[0], -1e10f);
    // Loud frames saturate instead of wrapping around.
    std::vector<int32_t> loud(640);
    for (int i = 0; i < 640; ++i) loud[i] = i % 2 ? 32767 : -32768;
    frameVolume(loud.data(), 640, 640, 0, vi, VOL_SQ_MEAN);
    EXPECT_EQ(vi[0], INT32_MAX);
    try {
        frameVolume(x.data(), 6, 4, 2, vi, 4);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_STREQ(e.what(), "Unknown volume method=4 (line 437 of file audio)");
    }
}

// A wave whose 320-sample frames all have the given mean absolute deviation.
std::vector<int32_t> squareWave(int frames, int level) {
    std::vector<int32_t> x((frames + 1) * 160);
    for (size_t i = 0; i < x.size(); ++i) x[i] = (i / 8) % 2 ? level : -level;
    return x;
}

TEST(WaveVolume, Verdicts) {
    EXPECT_EQ(checkWaveVolume(squareWave(100, 1599).data(), 101 * 160), VOLUME_TOO_SMALL);
    // Loud everywhere: the quietest frame is too loud.
    std::vector<int32_t> x = squareWave(100, 5000);
    EXPECT_EQ(checkWaveVolume(x.data(), 101 * 160), VOLUME_TOO_BIG);
    // Quiet frames at the start keep the minimum low.
    for (int i = 0; i < 1000; ++i) x[i] = 0;
    EXPECT_EQ(checkWaveVolume(x.data(), 101 * 160), VOLUME_NORMAL);
    std::vector<int32_t> edge = squareWave(100, 1600);
    for (int i = 0; i < 1000; ++i) edge[i] = 0;
    EXPECT_EQ(checkWaveVolume(edge.data(), 101 * 160), VOLUME_NORMAL);
    // One clipped sample in 100 frames: 1/100 > 0.004.
    x[5000] = 31130;
    EXPECT_EQ(checkWaveVolume(x.data(), 101 * 160), VOLUME_SATURATED);
    x[5000] = -31130;
    EXPECT_EQ(checkWaveVolume(x.data(), 101 * 160), VOLUME_SATURATED);
    x[5000] = 31129;
    EXPECT_EQ(checkWaveVolume(x.data(), 101 * 160), VOLUME_NORMAL);
    // Too quiet wins over clipping: the spike adds about 97 to its frame's
    // mean deviation, which stays below 1600.
    std::vector<int32_t> q = squareWave(100, 1500);
    q[100] = 31130;
    q[5000] = 31130;
    EXPECT_EQ(checkWaveVolume(q.data(), 101 * 160), VOLUME_TOO_SMALL);
    EXPECT_EQ(waveVolumeMessage(1), "Max volume too small. Please increase the microphone's gain. (line 294 in recogTask)");
    EXPECT_EQ(waveVolumeMessage(2), "Min volume too big. Please decrease the microphone's gain.  (line 298 in recogTask)");
    EXPECT_EQ(waveVolumeMessage(3),
              "Too many saturated wave samples. Please decrease the microphone's gain. Please do not turn on gain "
              "boost. (line 302 in recogTask)");
}

TEST(Resample, LengthEndsAndInterpolation) {
    std::vector<int32_t> in(22050);
    for (int i = 0; i < 22050; ++i) in[i] = i % 1000 - 500;
    int n = resampledLength(22050, 22050, 16000);
    EXPECT_EQ(n, 16000);
    std::vector<int32_t> out(n);
    resampleLinear(in.data(), 22050, 22050, 16000, out.data(), n);
    EXPECT_EQ(out.front(), in.front());
    EXPECT_EQ(out.back(), in.back());
    // Upsampling a ramp by 2 puts halves between the samples, rounded away from 0.
    std::vector<int32_t> ramp = {0, 3, -3, -6};
    std::vector<int32_t> up(resampledLength(4, 8000, 16000));
    ASSERT_EQ(up.size(), 7u);
    resampleLinear(ramp.data(), 4, 8000, 16000, up.data(), 7);
    EXPECT_EQ(up, (std::vector<int32_t>{0, 2, 3, 0, -3, -5, -6}));
}

TEST(SpectralSubtraction, RemovesStationaryNoise) {
    // A quarter second of noise, then a tone in the same noise.
    std::vector<int32_t> noise = test::whiteNoise(16000, 2000);
    std::vector<int32_t> tone = test::harmonicTone(16000, 16000, 220, 220, 3, 8000);
    std::vector<int32_t> x(noise);
    for (int i = 6000; i < 16000; ++i) x[i] += tone[i];
    int outLen = 0;
    std::vector<int32_t> y = spectralSubtraction(x.data(), 16000, 16000, outLen);
    EXPECT_EQ(outLen, 205 * ((16000 - 307) / 205) + 307);
    EXPECT_EQ(static_cast<int>(y.size()), outLen);
    double before = 0, after = 0;
    for (int i = 500; i < 3500; ++i) {
        before += std::fabs(x[i]);
        after += std::fabs(y[i]);
    }
    // Plain overlap-add of 60 % overlapping Hamming windows gains about 1.35;
    // the noise alone comes out weaker than it went in, the tone stronger.
    EXPECT_LT(after, 0.8 * before);
    double toneBefore = 0, toneAfter = 0;
    for (int i = 8000; i < 12000; ++i) {
        toneBefore += std::fabs(x[i]);
        toneAfter += std::fabs(y[i]);
    }
    EXPECT_GT(toneAfter, 1.1 * toneBefore);
    // Too short for the noise estimate: unchanged.
    std::vector<int32_t> z = spectralSubtraction(x.data(), 3000, 16000, outLen);
    EXPECT_EQ(outLen, 3000);
    EXPECT_TRUE(std::equal(z.begin(), z.end(), x.begin()));
}

SampleArray makeWave(std::vector<int32_t> x, int rate, int bits) {
    SampleArray w;
    w.samples = std::move(x);
    w.rate = rate;
    w.bits = bits;
    return w;
}

TEST(ConditionWave, PlainWaveIsOnlyCentred) {
    std::vector<int32_t> x = test::harmonicTone(16000, 16000, 150, 150, 4, 10000);
    for (int32_t& v : x) v += 300;
    for (int i = 0; i < 2000; ++i) x[i] = 300;
    SampleArray w = makeWave(x, 16000, 16);
    recogParam p;
    p.useWaveReject = 1;
    testing::internal::CaptureStdout();
    conditionWave(w, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(w.count(), 16000);
    int64_t sum = 0;
    for (int32_t v : w.samples) sum += v;
    EXPECT_LE(std::llabs(sum / 16000), 1);
    EXPECT_EQ(w.samples[5000], x[5000] - intMean(x.data(), 16000));
}

TEST(ConditionWave, AmplifiesResamplesAndScalesDown) {
    std::vector<int32_t> x = test::harmonicTone(22050, 22050, 150, 150, 4, 100);
    for (int32_t& v : x) v += 128;
    SampleArray w = makeWave(x, 22050, 8);
    recogParam p;
    testing::internal::CaptureStdout();
    conditionWave(w, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "nbits=8 ===> Amplify to have nbits=16\nfs=22050 ===> Resample to have fs=16000\n");
    EXPECT_EQ(w.count(), 16000);
    EXPECT_EQ(w.rate, 16000);
    EXPECT_EQ(w.bits, 16);
    int32_t peakIn = *std::max_element(x.begin(), x.end()) - 128;
    int32_t mx = *std::max_element(w.samples.begin(), w.samples.end());
    EXPECT_NEAR(mx, peakIn * 256, peakIn * 256 / 20);

    // 24-bit samples are scaled down by 256, not multiplied by 0.
    std::vector<int32_t> wide = test::harmonicTone(1600, 16000, 150, 150, 2, 1 << 22);
    SampleArray w24 = makeWave(wide, 16000, 24);
    testing::internal::CaptureStdout();
    conditionWave(w24, p);
    testing::internal::GetCapturedStdout();
    mx = *std::max_element(w24.samples.begin(), w24.samples.end());
    EXPECT_NEAR(mx, *std::max_element(wide.begin(), wide.end()) / 256, 2);
}

// Unsigned 8-bit samples sit around 128: the volume verdict judges them
// centred, as it judges the same recording in 16 bits.
TEST(ConditionWave, EightBitFilesAreJudgedLikeTheSameRecordingInSixteenBits) {
    test::TempDir d;
    const std::string sample = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/samples/english.wav";
    ASSERT_EQ(test::runShell("sox -D '" + sample + "' -b 8 " + d.file("e8.wav")).status, 0);
    ASSERT_EQ(test::runShell("sox -D '" + sample + "' -b 8 " + d.file("loud8.wav") + " vol 8").status, 0);
    recogParam p;
    p.useWaveReject = 1;
    SampleArray w16 = readAudioFile(sample), w8 = readAudioFile(d.file("e8.wav"));
    ASSERT_EQ(w8.bits, 8);
    testing::internal::CaptureStdout();
    conditionWave(w16, p);
    conditionWave(w8, p);  // not "Too many saturated wave samples"
    testing::internal::GetCapturedStdout();
    // Amplified by 256 and centred, the 8-bit wave follows the 16-bit one.
    ASSERT_EQ(w8.count(), w16.count());
    for (int i = 0; i < w8.count(); i += 97) EXPECT_NEAR(w8.samples[i], w16.samples[i], 400) << i;
    // A clipped 8-bit recording is still refused.
    SampleArray loud = readAudioFile(d.file("loud8.wav"));
    testing::internal::CaptureStdout();
    try {
        conditionWave(loud, p);
        ADD_FAILURE() << "a clipped 8-bit wave passed";
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()), waveVolumeMessage(VOLUME_SATURATED));
    }
    testing::internal::GetCapturedStdout();
}

TEST(ConditionWave, RejectsBadVolumeOnlyWhenAsked) {
    recogParam p;
    SampleArray quiet = makeWave(test::whiteNoise(8000, 100), 16000, 16);
    conditionWave(quiet, p);  // accepted silently
    p.useWaveReject = 1;
    SampleArray again = makeWave(test::whiteNoise(8000, 100), 16000, 16);
    try {
        conditionWave(again, p);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()), waveVolumeMessage(VOLUME_TOO_SMALL));
    }
}

TEST(ConditionWave, NoiseDecision) {
    // Steady noise: ratio near 1, below 2.35456.
    std::vector<int32_t> noisy = test::whiteNoise(16000, 8000);
    EXPECT_LT(waveNoiseRatio(noisy.data(), 16000), NOISY_WAVE_RATIO);
    recogParam p;
    p.useDescCandidateNum = 5;
    SampleArray w = makeWave(noisy, 16000, 16);
    testing::internal::CaptureStdout();
    conditionWave(w, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(p.useDescCandidateNum, 5);  // no subtraction without the switch
    EXPECT_EQ(w.count(), 16000);

    p.useSpecSubtraction = 1;
    SampleArray w2 = makeWave(noisy, 16000, 16);
    testing::internal::CaptureStdout();
    conditionWave(w2, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Perform spectrum subtraction...\n");
    EXPECT_EQ(p.useDescCandidateNum, 0);
    EXPECT_EQ(w2.count(), 205 * ((16000 - 307) / 205) + 307);

    // Speech-like: silence then a loud tone is not noisy.
    std::vector<int32_t> clean = test::harmonicTone(16000, 16000, 150, 150, 4, 10000);
    for (int i = 0; i < 6000; ++i) clean[i] = i % 3 - 1;
    EXPECT_GT(waveNoiseRatio(clean.data(), 16000), NOISY_WAVE_RATIO);
}

TEST(ConditionWave, RefusesUnusableWaves) {
    recogParam p;
    auto refused = [&](SampleArray w, const char* what) {
        try {
            testing::internal::CaptureStdout();
            conditionWave(w, p);
            testing::internal::GetCapturedStdout();
            ADD_FAILURE() << "accepted " << what;
        } catch (const KedoError& e) {
            testing::internal::GetCapturedStdout();
            EXPECT_NE(std::string(e.what()).find("(line "), std::string::npos) << e.what();
        }
    };
    refused(makeWave(std::vector<int32_t>(319, 1), 16000, 16), "319 samples");
    refused(makeWave(std::vector<int32_t>(400, 1), 44100, 16), "400 samples at 44100 Hz");
    refused(makeWave(std::vector<int32_t>(4000, 1), 0, 16), "rate 0");
    refused(makeWave(std::vector<int32_t>(4000, 1), 16000, 0), "0 bits");
    refused(makeWave(std::vector<int32_t>(4000, 1), 16000, 33), "33 bits");
    // Exactly 320 samples are accepted (one frame).
    SampleArray ok = makeWave(test::whiteNoise(320, 10000), 16000, 16);
    conditionWave(ok, p);
    EXPECT_EQ(ok.count(), 320);
}

}  // namespace
}  // namespace kedo
