// The tone a syllable's pitch contour suggests.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scoring/tone_contour.h"

namespace kedo {
namespace {

// n frames from a to b semitones in a straight line.
std::vector<float> glide(float a, float b, int n) {
    std::vector<float> v;
    for (int i = 0; i < n; ++i) v.push_back(a + (b - a) * static_cast<float>(i) / static_cast<float>(n - 1));
    return v;
}

TEST(ToneContour, TheFourShapes) {
    EXPECT_EQ(contourTone(glide(55.0f, 55.3f, 20)), 1);  // level
    EXPECT_EQ(contourTone(glide(50.0f, 56.0f, 20)), 2);  // rising
    EXPECT_EQ(contourTone(glide(58.0f, 49.0f, 20)), 4);  // falling
    std::vector<float> dip;
    for (int i = 0; i < 25; ++i) {
        float t = static_cast<float>(i) / 24.0f;
        dip.push_back(50.0f - 6.0f * std::sin(3.14159f * t * 0.8f) + (t > 0.7f ? 8.0f * (t - 0.7f) : 0.0f));
    }
    EXPECT_EQ(contourTone(dip), 3);  // falling low, rising at the end
}

TEST(ToneContour, OnlyTheLongestVoicedStretchCounts) {
    // A long rise with a short fall before it, unvoiced frames between.
    std::vector<float> track = {0.0f, 60.0f, 57.0f, 54.0f, 0.0f, 0.0f};
    std::vector<float> rise = glide(50.0f, 56.0f, 15);
    track.insert(track.end(), rise.begin(), rise.end());
    track.push_back(0.0f);
    EXPECT_EQ(contourTone(track), 2);
    // Absolute height does not matter, only the shape.
    EXPECT_EQ(contourTone(glide(70.0f, 61.0f, 12)), 4);
}

TEST(ToneContour, TooFewVoicedFramesSuggestNothing) {
    EXPECT_EQ(contourTone({}), 0);
    EXPECT_EQ(contourTone({0.0f, 0.0f, 0.0f, 0.0f}), 0);
    EXPECT_EQ(contourTone({0.0f, 55.0f, 56.0f, 0.0f, 57.0f, 58.0f, 0.0f}), 0);
    EXPECT_NE(contourTone({55.0f, 56.0f, 57.0f}), 0);
}

}  // namespace
}  // namespace kedo
