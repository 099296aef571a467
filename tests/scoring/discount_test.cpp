// Discount reasons and the utterance score.
#include <gtest/gtest.h>

#include "scoring/discount.h"
#include "scoring_fixtures.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::errorOf;
using test::makeNode;
using test::makePause;
using test::makePhone;
using test::TempDir;
using test::writeFile;

using Occ = std::array<int32_t, 7>;

// A spoken node of one phone per given length, starting at start.
mlfNode wordOfLengths(const std::string& name, int start, std::initializer_list<int> lengths) {
    mlfNode n = makeNode(name, {});
    int f = start;
    for (int len : lengths) {
        n.phones.push_back(makePhone("x+" + std::to_string(f), f, f + len - 1));
        f += len;
    }
    n.startFrame = start;
    n.endFrame = f - 1;
    return n;
}

Occ discounts(mlfClass& mlf, bool complete = true, int designated = -1) {
    computeDiscounts(mlf, 0, static_cast<int>(mlf.nodes.size()) - 1, complete, designated);
    return mlf.discountOccurrence;
}

TEST(ComputeDiscounts, OverShortSyllables) {
    mlfClass mlf;
    mlf.nodes = {wordOfLengths("a", 0, {3, 3, 10}),  // 2 > 3/2 and P = 3
                 wordOfLengths("b", 16, {3, 10}),    // 1 is not > 1
                 wordOfLengths("c", 29, {2}),        // all short
                 wordOfLengths("d", 31, {2, 9})};    // half, but P < 3
    EXPECT_EQ(discounts(mlf)[1], 2);
    // Plosive-initial, sil+ and pre-start phones never count as short.
    mlf.nodes = {makeNode("e", {makePhone("b+a", 0, 1), makePhone("d+a", 2, 3), makePhone("g+a", 4, 5),
                                makePhone("h+a", 6, 7), makePhone("sil+a", 8, 9), makePhone("a", -3, -2)})};
    EXPECT_EQ(discounts(mlf)[1], 0);
    // Non-speech nodes are not syllables.
    mlf.nodes = {makePause("sp", 0, 1), makePause("filler", 2, 3)};
    EXPECT_EQ(discounts(mlf)[1], 0);
}

TEST(ComputeDiscounts, OverlongSyllablesAndLongPauses) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 99),            // leading: never a long pause
                 wordOfLengths("a", 100, {69, 5}),   // no phone of 70
                 makePause("sp", 174, 224),          // 51 frames: counts
                 wordOfLengths("b", 225, {5, 70}),   // overlong
                 makePause("sil", 300, 349),         // exactly 50: does not count
                 makeNode("c", {makePhone("sil+a", 350, 449), makePhone("c", 450, 460)}),  // sil+ excluded
                 makePause("filler", 461, 600),      // not sp/sil
                 makePause("sil", 601, 700)};        // trailing
    Occ occ = discounts(mlf);
    EXPECT_EQ(occ[2], 1);
    EXPECT_EQ(occ[3], 1);
}

TEST(ComputeDiscounts, PathSyllableCountAndLengthRatio) {
    mlfClass mlf;
    mlf.nodes = {wordOfLengths("a", 0, {10}), makePause("sp", 10, 100), wordOfLengths("b", 101, {41})};
    mlf.scoredNodeCount = 2;
    Occ occ = discounts(mlf, false, 7);
    EXPECT_EQ(occ[0], 1);
    EXPECT_EQ(occ[4], 5);
    EXPECT_EQ(occ[5], 1);  // 41 / 10 > 4
    mlf.nodes[2] = wordOfLengths("b", 101, {40});
    occ = discounts(mlf, true, -1);  // keyword mode
    EXPECT_EQ(occ[0], 0);
    EXPECT_EQ(occ[4], 0);
    EXPECT_EQ(occ[5], 0);  // exactly 4
    for (const mlfNode& n : mlf.nodes) EXPECT_EQ(n.discountWeight, 1);
    mlf.nodes = {makePause("sil", 0, 5)};
    EXPECT_EQ(discounts(mlf)[5], 0);  // no spoken node
}

TEST(ComputeDiscounts, LoudSilence) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 40), wordOfLengths("a", 41, {10}), makePause("sp", 51, 60)};
    // Volume range 0..1000 over all nodes; loud means above 100.
    mlf.nodes[0].volume.assign(41, 50.0f);
    for (int i = 0; i < 31; ++i) mlf.nodes[0].volume[i] = 500.0f;  // 31 loud frames: 2
    mlf.nodes[1].volume.assign(10, 1000.7f);
    mlf.nodes[1].volume[0] = 0.9f;  // truncated: lo 0, hi 1000
    mlf.nodes[2].volume = {101, 101, 101, 101, 100, 101};  // 5 above 100 (100 is not): 1
    EXPECT_EQ(discounts(mlf)[6], 3);
    // Thirty loud frames give one occurrence only; four give none.
    mlf.nodes[0].volume[30] = 50.0f;
    mlf.nodes[2].volume = {101, 101, 101, 101};
    EXPECT_EQ(discounts(mlf)[6], 1);
    // A node without volume values is quiet; an empty spread counts nothing.
    mlf.nodes[2].volume.clear();
    mlf.nodes[1].volume.clear();
    mlf.nodes[0].volume.assign(41, 7.0f);
    EXPECT_EQ(discounts(mlf)[6], 0);
    mlf.nodes[0].volume.clear();
    EXPECT_EQ(discounts(mlf)[6], 0);
}

TEST(ComputeDiscounts, RangeLimitsTheNodesLookedAt) {
    mlfClass mlf;
    mlf.nodes = {wordOfLengths("a", 0, {1}), makePause("sp", 1, 100), wordOfLengths("b", 101, {2}),
                 makePause("sp", 103, 200), wordOfLengths("c", 201, {30})};
    mlf.nodes[4].discountWeight = 0.5f;
    computeDiscounts(mlf, 1, 3, true, -1);
    EXPECT_EQ(mlf.discountOccurrence, (Occ{0, 1, 0, 0, 0, 0, 0}));  // the pauses are the range's ends
    EXPECT_EQ(mlf.nodes[4].discountWeight, 0.5f);
    computeDiscounts(mlf, 0, 4, true, -1);
    EXPECT_EQ(mlf.discountOccurrence[3], 2);
    std::string e = errorOf([&] { computeDiscounts(mlf, 2, 5, true, -1); });
    EXPECT_NE(e.find("node range 2..5 lies outside the 5 nodes"), std::string::npos) << e;
    mlfClass empty;
    computeDiscounts(empty, 0, -1, false, 0);
    EXPECT_EQ(empty.discountOccurrence, (Occ{1, 0, 0, 0, 0, 0, 0}));
}

// Two spoken nodes of 20 and 30 frames with node score 2 of 80 and 60.
mlfClass workedExample() {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 9), wordOfLengths("a", 10, {20}), makePause("sp", 30, 39),
                 wordOfLengths("b", 40, {30})};
    mlf.nodes[1].timberScores = {70, 80, 50, 99};
    mlf.nodes[3].timberScores = {90, 60, 100, 99};
    mlf.designatedSylCount = 4;
    mlf.identifiedSylCount = 4;
    mlf.discountOccurrence = {0, 1, 0, 0, 0, 0, 0};
    return mlf;
}

TEST(UtteranceScore, WorkedExample) {
    TempDir d;
    writeFile(d.file("discount.txt"), "0.5 0.9 0.8\n0.7 0.1 0.6 0.95\n");
    recogParam p;
    p.scoreDiscountParamFile = d.file("discount.txt");
    mlfClass mlf = workedExample();
    testing::internal::CaptureStdout();
    computeUtteranceScore(mlf, 0, 3, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\tRead " + p.scoreDiscountParamFile + "...\n");
    EXPECT_FLOAT_EQ(mlf.timberScores[1].orig, 68.0f);
    EXPECT_FLOAT_EQ(mlf.timberScores[0].orig, 82.0f);
    EXPECT_FLOAT_EQ(mlf.timberScores[2].orig, 80.0f);
    EXPECT_FLOAT_EQ(mlf.score, 61.2f);
    EXPECT_FLOAT_EQ(mlf.timberScore, 61.2f);
    EXPECT_FLOAT_EQ(mlf.timberScores[0].final, 82.0f * 0.9f);
    EXPECT_FLOAT_EQ(mlf.discountRatio[6], 0.95f);

    // Ratios are read once per object; reason 4 is reported, never applied;
    // other reasons apply once per occurrence.
    writeFile(d.file("discount.txt"), "junk");
    mlf.discountOccurrence = {1, 0, 0, 2, 9, 0, 0};
    testing::internal::CaptureStdout();
    computeUtteranceScore(mlf, 0, 3, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FLOAT_EQ(mlf.score, 68.0f * 0.5f * 0.7f * 0.7f);

    // No discounts and every syllable found: final equals orig.
    mlf.discountOccurrence = {};
    computeUtteranceScore(mlf, 0, 3, p);
    for (const auto& pair : mlf.timberScores) EXPECT_EQ(pair.final, pair.orig);
}

TEST(UtteranceScore, SyllableShareAndEmptyUtterance) {
    recogParam p;
    mlfClass mlf = workedExample();
    mlf.discountRatioRead = true;
    mlf.discountRatio = {1, 1, 1, 1, 1, 1, 1};
    mlf.identifiedSylCount = 3;
    computeUtteranceScore(mlf, 0, 3, p);
    EXPECT_FLOAT_EQ(mlf.score, 68.0f * 0.75f);
    // Without a designated syllable count no share is applied.
    mlf.designatedSylCount = 0;
    computeUtteranceScore(mlf, 0, 3, p);
    EXPECT_FLOAT_EQ(mlf.score, 68.0f);
    // Only the range counts; a range of no spoken node scores 0.
    computeUtteranceScore(mlf, 3, 3, p);
    EXPECT_FLOAT_EQ(mlf.score, 60.0f);
    computeUtteranceScore(mlf, 0, 0, p);
    EXPECT_EQ(mlf.score, 0.0f);
    EXPECT_EQ(mlf.timberScores[2].orig, 0.0f);
}

TEST(UtteranceScore, DiscountFileNeedsSevenNumbers) {
    TempDir d;
    writeFile(d.file("six.txt"), "1 1 1 1 1 1 x 1");
    recogParam p;
    p.scoreDiscountParamFile = d.file("six.txt");
    mlfClass mlf = workedExample();
    testing::internal::CaptureStdout();
    std::string e = errorOf([&] { computeUtteranceScore(mlf, 0, 3, p); });
    testing::internal::GetCapturedStdout();
    EXPECT_NE(e.find(d.file("six.txt") + " holds 6 numbers, but 7 discount ratios are needed"), std::string::npos)
        << e;
    p.scoreDiscountParamFile = d.file("none.txt");
    testing::internal::CaptureStdout();
    e = errorOf([&] { computeUtteranceScore(mlf, 0, 3, p); });
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(e.rfind("Cannot open file " + d.file("none.txt"), 0), 0u) << e;
}

}  // namespace
}  // namespace kedo
