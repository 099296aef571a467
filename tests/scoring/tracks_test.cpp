// Node volume, node and phone tracks, and the sample normalisation of the
// pitch step.
#include <gtest/gtest.h>

#include <cmath>

#include "scoring/tracks.h"
#include "scoring_fixtures.h"

namespace kedo {
namespace {

using test::makeNode;
using test::makePhone;

TEST(NodeVolume, TrackFramesOfEachNodeWithinTheTrack) {
    mlfClass mlf;
    mlf.nodes = {makeNode("a", {makePhone("a", 0, 2)}), makeNode("b", {makePhone("b", 3, 6)}),
                 makeNode("c", {makePhone("c", 7, 9)}), makeNode("d", {makePhone("d", -2, 0)})};
    mlf.nodes[0].volume = {99};
    mlf.nodes[0].phones[0].volume = {5};
    const int32_t track[] = {10, 11, 12, 13, 14};
    nodeVolume(mlf, track, 5);
    EXPECT_EQ(mlf.nodes[0].volume, (std::vector<float>{10, 11, 12}));
    EXPECT_EQ(mlf.nodes[1].volume, (std::vector<float>{13, 14}));  // cut at the track's end
    EXPECT_TRUE(mlf.nodes[2].volume.empty());                      // wholly beyond it
    EXPECT_EQ(mlf.nodes[3].volume, (std::vector<float>{10}));      // frames before 0 have no value
    EXPECT_EQ(mlf.nodes[0].phones[0].volume, (std::vector<float>{5}));
    EXPECT_TRUE(mlf.nodes[0].pitch.empty());
}

TEST(FillNodeTracks, ConsecutiveFramesAndTheLastOneRepeats) {
    mlfClass mlf;
    mlf.nodes = {makeNode("a", {makePhone("a1", 100, 101), makePhone("a2", 102, 102)}),
                 makeNode("b", {makePhone("b", 103, 106)})};
    const float volume[] = {1, 2, 3, 4, 5};
    const float pitch[] = {0, 60, 61, 0, 62};
    fillNodeTracks(mlf, volume, pitch, 5);
    // Node frames count from the track's start, whatever the node's frame numbers.
    EXPECT_EQ(mlf.nodes[0].volume, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(mlf.nodes[0].pitch, (std::vector<float>{0, 60, 61}));
    EXPECT_EQ(mlf.nodes[1].volume, (std::vector<float>{4, 5, 5, 5}));
    EXPECT_EQ(mlf.nodes[1].pitch, (std::vector<float>{0, 62, 62, 62}));
    EXPECT_EQ(mlf.nodes[0].phones[1].volume, (std::vector<float>{3}));
    EXPECT_EQ(mlf.nodes[1].phones[0].pitch, (std::vector<float>{0, 62, 62, 62}));
    fillNodeTracks(mlf, volume, pitch, 0);
    EXPECT_TRUE(mlf.nodes[1].volume.empty());
    EXPECT_TRUE(mlf.nodes[1].phones[0].pitch.empty());
}

TEST(NormalisedSamples, PeakBecomesHalfTheBitRange) {
    // Mean 1 (7 / 4 truncated); centred: -1, 3, -5, 6 -> the peak is 6.
    const int32_t s1[] = {0, 4, -4, 7};
    EXPECT_EQ(normalisedSamples(s1, 4, 4), (std::vector<int32_t>{-1, 4, -7, 8}));  // x 8/6, half away from 0
    // The largest magnitude is negative: it becomes -2^(nbits-1). Mean -66;
    // centred 166, -234, 66; times 32768 / 234.
    const int32_t s2[] = {100, -300, 0};
    EXPECT_EQ(normalisedSamples(s2, 3, 16), (std::vector<int32_t>{23246, -32768, 9242}));
    // Equal magnitudes take the smallest sample.
    const int32_t s3[] = {-5, 5};
    EXPECT_EQ(normalisedSamples(s3, 2, 8), (std::vector<int32_t>{-128, 128}));
    const int32_t silent[] = {0, 0, 0};
    EXPECT_EQ(normalisedSamples(silent, 3, 16), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_TRUE(normalisedSamples(silent, 0, 16).empty());
}

TEST(NodePitchAndVolume, ToneAndSilence) {
    // 0.5 s of a 220 Hz tone (semitone 57) at 16 kHz, then the same length of
    // silence; 100 pitch frames a second.
    std::vector<int32_t> wave(16000, 0);
    for (int i = 0; i < 8000; ++i)
        wave[i] = static_cast<int32_t>(3000 * std::sin(2 * M_PI * 220.0 * i / 16000.0));
    const ptParam pp = ptParamSet(16000, 16, 1, "");
    mlfClass mlf;
    mlf.nodes = {makeNode("a", {makePhone("a1", 0, 19), makePhone("a2", 20, 39)}),
                 makeNode("b", {makePhone("b", 40, 200)})};
    testing::internal::CaptureStdout();
    nodePitchAndVolume(wave.data(), static_cast<int>(wave.size()), pp, mlf);
    testing::internal::GetCapturedStdout();
    const int n = (16000 - 480) / 160;
    ASSERT_EQ(mlf.nodes[0].pitch.size(), 40u);
    EXPECT_NEAR(mlf.nodes[0].pitch[20], 57.0f, 0.5f);
    EXPECT_GT(mlf.nodes[0].volume[20], 1000.0f);
    ASSERT_EQ(mlf.nodes[1].pitch.size(), 161u);
    EXPECT_EQ(mlf.nodes[1].pitch.back(), 0.0f);  // the silence; the last frame repeats
    EXPECT_EQ(mlf.nodes[1].volume.back(), 0.0f);
    EXPECT_EQ(mlf.nodes[1].volume[n - 40 - 1], mlf.nodes[1].volume.back());
    EXPECT_EQ(mlf.nodes[0].phones[1].pitch, std::vector<float>(mlf.nodes[0].pitch.begin() + 20, mlf.nodes[0].pitch.end()));

    // An all-zero recording: zero pitch and volume, no failure.
    std::fill(wave.begin(), wave.end(), 0);
    testing::internal::CaptureStdout();
    nodePitchAndVolume(wave.data(), static_cast<int>(wave.size()), pp, mlf);
    testing::internal::GetCapturedStdout();
    for (const mlfNode& node : mlf.nodes)
        for (size_t i = 0; i < node.pitch.size(); ++i) EXPECT_EQ(node.pitch[i] + node.volume[i], 0.0f);
    // A recording shorter than one frame gives empty tracks.
    nodePitchAndVolume(wave.data(), 100, pp, mlf);
    EXPECT_TRUE(mlf.nodes[0].pitch.empty());
}

}  // namespace
}  // namespace kedo
