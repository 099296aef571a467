// Segmentation from a hand-made best path record.
#include <gtest/gtest.h>

#include "scoring/path_segmentation.h"
#include "scoring_fixtures.h"

namespace kedo {
namespace {

using test::errorOf;

const StrVec kModels = {"ae", "k", "sil", "t"};
const pronDict kDict = {{"sil", {2}}, {"cat", {1, 0, 3}}, {"odd", {7}}};
const StrVec kNetTexts = {"", "x", "the cat"};

const std::string& netText(int k) { return kNetTexts.at(k); }

// sil over frames 0..4, cat over 5..14 (k 5..6, ae 7..10, t 11..14).
ArenaCandidate silCat() {
    ArenaCandidate c;
    c.sylIndex = {0, 1};
    c.sylNode = {1, 2};
    c.sylEndFrame = {4, 14};
    c.sylScore = {-10, -90.5f};
    c.phoneIndex = {0, 0, 1, 2};
    c.phoneEndFrame = {4, 6, 10, 14};
    c.phoneScore = {-10, -30, -60, -90.5f};
    return c;
}

TEST(BuildFromPath, NodesAndPhonesFromTheHistories) {
    mlfClass mlf;
    mlf.nodes.resize(3);
    buildFromPath(mlf, silCat(), netText, kDict, kModels);
    ASSERT_EQ(mlf.nodes.size(), 2u);
    const mlfNode& cat = mlf.nodes[1];
    EXPECT_EQ(cat.name, "cat");
    EXPECT_EQ(cat.text, "the cat");
    EXPECT_EQ(cat.startFrame, 5);
    EXPECT_EQ(cat.endFrame, 14);
    EXPECT_EQ(cat.cumLogLike, -90.5f);
    EXPECT_EQ(cat.timberScore, -1);
    EXPECT_EQ(cat.timberScores[2], -1);
    ASSERT_EQ(cat.phones.size(), 3u);
    EXPECT_EQ(cat.phones[0].name, "k");
    EXPECT_EQ(cat.phones[0].index, 1);
    EXPECT_EQ(cat.phones[0].startFrame, 5);
    EXPECT_EQ(cat.phones[1].name, "ae");
    EXPECT_EQ(cat.phones[1].startFrame, 7);
    EXPECT_EQ(cat.phones[1].endFrame, 10);
    EXPECT_EQ(cat.phones[2].cumLogLike, -90.5f);
    EXPECT_EQ(cat.phones[2].rank, -1);
    EXPECT_EQ(cat.phones[2].timeRatio, -1);
    EXPECT_EQ(mlf.nodes[0].phones[0].startFrame, 0);

    buildFromPath(mlf, ArenaCandidate{}, netText, kDict, kModels);
    EXPECT_TRUE(mlf.nodes.empty());
}

TEST(BuildFromPath, PathsThatDoNotFitAreReported) {
    mlfClass mlf;
    ArenaCandidate c = silCat();
    c.phoneIndex[0] = 1;  // the first phone continues no syllable
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); })
                  .find("phone 0 of the best path belongs to no syllable of the path"),
              std::string::npos);
    c = silCat();
    c.phoneIndex[3] = 3;
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); })
                  .find("phone 3 of the best path is position 3 of \"cat\", which has 3 phones"),
              std::string::npos);
    c = silCat();
    c.phoneIndex.push_back(0);  // a third syllable the path does not have
    c.phoneEndFrame.push_back(20);
    c.phoneScore.push_back(0);
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); }).find("belongs to no syllable"),
              std::string::npos);
    c = silCat();
    c.sylIndex[1] = 2;  // "odd" names model 7 of a set of 4
    c.phoneIndex = {0, 0};
    c.phoneEndFrame = {4, 14};
    c.phoneScore = {0, 0};
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); })
                  .find("phone 0 of \"odd\" is model 7 of a set of 4"),
              std::string::npos);
    c.sylIndex[1] = 3;
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); })
                  .find("syllable 1 of the best path is entry 3 of a dictionary of 3"),
              std::string::npos);
    c.sylScore.pop_back();
    EXPECT_NE(errorOf([&] { buildFromPath(mlf, c, netText, kDict, kModels); }).find("differ in length"),
              std::string::npos);
}

}  // namespace
}  // namespace kedo
