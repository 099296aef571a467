// Node volume, node and phone tracks, and the sample normalisation of the
// pitch step.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kedo
