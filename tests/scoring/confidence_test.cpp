// Phone ranking, the rank-to-score function and the timber scores.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "scoring/confidence.h"
#include "scoring/discount.h"
#include "scoring_fixtures.h"
#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::errorOf;
using test::makeNode;
using test::makePause;
using test::makePhone;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Sorted: 0 a+t, 1 b+t, 2 c+t, 3 sil, 4 sp, 5 t, 6 x+u.
macroClass namedModels() {
    test::SyntheticModelSpec spec;
    spec.names = {"sp", "c+t", "t", "a+t", "sil", "x+u", "b+t"};
    macroClass set = test::makeSyntheticModels(spec);
    set.sortModels();
    return set;
}

// A modelProb that gives every model a fixed log-likelihood, LZERO for spans
// shorter than 3 frames.
ModelProbFn fixedLogLikes(std::map<int, float> values) {
    return [values](int first, int last, int model) {
        if (last - first + 1 < 3) return LZERO;
        auto it = values.find(model);
        return it == values.end() ? -1000.0f : it->second;
    };
}

TEST(BellScore, WorkedValues) {
    EXPECT_FLOAT_EQ(bellScore(0, 0.05f, 0.5f, 0), 100);
    EXPECT_FLOAT_EQ(bellScore(0.05f, 0.05f, 0.5f, 0), 50);
    EXPECT_FLOAT_EQ(bellScore(0.2f, 0.05f, 0.5f, 0), 20);
    EXPECT_FLOAT_EQ(bellScore(-0.05f, 0.05f, 0.5f, 0), 50);
    EXPECT_FLOAT_EQ(bellScore(0.3f, 0.1f, 1, 0.2f), 50);
    EXPECT_FLOAT_EQ(bellScore(0.2f, 0, 1, 0.2f), 100);
    EXPECT_FLOAT_EQ(bellScore(0.3f, 0, 1, 0.2f), 0);
}

// sil, a word of "a+t" (frames 10..19) and "sil+t", sp.
mlfClass oneWord() {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 9), makeNode("w", {makePhone("a+t", 10, 19), makePhone("sil+t", 20, 29)}),
                 makePause("sp", 30, 34)};
    return mlf;
}

TEST(RankPhones, RightContextCompetitorsBestFirst) {
    macroClass models = namedModels();
    mlfClass mlf = oneWord();
    recogParam p;
    rankPhones(mlf, fixedLogLikes({{0, -50}, {1, -40}, {2, -60}, {5, -10}}), models, p);
    EXPECT_EQ(mlf.scoredFrameCount, 10);
    EXPECT_EQ(mlf.scoredNodeCount, 1);
    const mlfPhone& ph = mlf.nodes[1].phones[0];
    EXPECT_EQ(ph.index, 0);
    EXPECT_EQ(ph.competingModelIndex, (IntVec{1, 0, 2}));  // "+t" suffix: a+t, b+t, c+t, not t
    EXPECT_EQ(ph.competingModelLogLike, (std::vector<float>{-40, -50, -60}));
    EXPECT_EQ(ph.ownLogLike, -50);
    EXPECT_EQ(ph.rank, 1);
    EXPECT_FLOAT_EQ(ph.rankRatio, 1.0f / 3);
    EXPECT_FLOAT_EQ(ph.timeRatio, 1.0f);
    EXPECT_EQ(mlf.nodes[1].phones[1].rank, -1);  // sil+ phones are not ranked
    EXPECT_TRUE(mlf.nodes[0].phones[0].competingModelIndex.empty());

    // Best of all: rank 0.
    rankPhones(mlf, fixedLogLikes({{0, -5}, {1, -40}, {2, -60}}), models, p);
    EXPECT_EQ(mlf.nodes[1].phones[0].rank, 0);
    EXPECT_EQ(mlf.nodes[1].phones[0].rankRatio, 0);
}

TEST(RankPhones, TooShortSpansTieAndAllModelsCompete) {
    macroClass models = namedModels();
    mlfClass mlf;
    mlf.nodes = {makeNode("w", {makePhone("b+t", 0, 1), makePhone("t", 2, 9)})};
    recogParam p;
    p.useAllModelAsCompetingModel = 1;
    rankPhones(mlf, fixedLogLikes({{5, -1}}), models, p);
    const mlfPhone& shortPhone = mlf.nodes[0].phones[0];
    ASSERT_EQ(shortPhone.competingModelIndex.size(), 5u);  // every model but sil and sp
    EXPECT_EQ(shortPhone.rank, 4);
    EXPECT_FLOAT_EQ(shortPhone.rankRatio, 4.0f / 5);
    EXPECT_EQ(shortPhone.competingModelIndex, (IntVec{0, 1, 2, 5, 6}));  // ties keep set order
    EXPECT_EQ(mlf.nodes[0].phones[1].competingModelIndex[0], 5);
    EXPECT_EQ(mlf.nodes[0].phones[1].rank, 0);
    EXPECT_FLOAT_EQ(mlf.nodes[0].phones[1].timeRatio, 0.8f);
}

TEST(RankPhones, EpsEntriesExcuseBetterCompetitors) {
    TempDir d;
    writeFile(d.file("eps.txt"), "% phone\texcused\n\nb+t\tzz\nc+t\ta+t\n");
    writeFile(d.file("eps2.txt"), "a+t\tb+t\tc+t\n");
    macroClass models = namedModels();
    mlfClass mlf = oneWord();
    recogParam p;
    p.epsFile = d.file("eps.txt");
    p.outputDir = d.path();
    testing::internal::CaptureStdout();
    rankPhones(mlf, fixedLogLikes({{0, -50}, {1, -40}, {2, -30}}), models, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\t===> Saved " + d.file("modelStrVec.txt") + "\n");
    EXPECT_EQ(readFile(d.file("modelStrVec.txt")), "a+t\nb+t\nc+t\nsil\nsp\nt\nx+u\n");
    ASSERT_EQ(mlf.epsRecords.size(), 2u);
    EXPECT_EQ(mlf.epsRecords[1].second, (StrVec{"a+t"}));
    EXPECT_TRUE(mlf.nodes[1].phones[0].epsNames.empty());  // no record for a+t
    EXPECT_EQ(mlf.nodes[1].phones[0].rank, 2);

    // Records are read once per object; an excused competitor above the phone
    // lowers its rank by one.
    mlf.epsRecords = {{"a+t", {"c+t"}}};
    p.epsFile = d.file("eps2.txt");
    p.outputDir.clear();
    rankPhones(mlf, fixedLogLikes({{0, -50}, {1, -40}, {2, -30}}), models, p);
    EXPECT_EQ(mlf.nodes[1].phones[0].epsNames, (StrVec{"c+t"}));
    EXPECT_EQ(mlf.nodes[1].phones[0].rank, 1);
}

TEST(RankPhones, PhonesThatCannotBeRankedAreReported) {
    macroClass models = namedModels();
    recogParam p;
    mlfClass mlf;
    mlf.nodes = {makeNode("w", {makePhone("t", 0, 9)})};
    std::string e = errorOf([&] { rankPhones(mlf, fixedLogLikes({}), models, p); });
    EXPECT_NE(e.find("phone t of node 0 (w) has no \"+\""), std::string::npos) << e;

    mlf.nodes = {makeNode("w", {makePhone("q+t", 0, 9)})};
    e = errorOf([&] { rankPhones(mlf, fixedLogLikes({}), models, p); });
    EXPECT_NE(e.find("phone q+t of node 0 (w) is not a model of the model set"), std::string::npos) << e;

    p.useAllModelAsCompetingModel = 1;
    mlf.nodes = {makeNode("w", {makePhone("sp", 0, 9)})};
    e = errorOf([&] { rankPhones(mlf, fixedLogLikes({}), models, p); });
    EXPECT_NE(e.find("the model of phone sp of node 0 (w) is not among its competing models"), std::string::npos)
        << e;
}

// A ranked object: word w1 = a+t (10 frames, own -50 among -40, -50, -60)
// and b+t (30 frames, best of its competitors); word w2 = one sil+ phone.
mlfClass rankedObject(const macroClass& models) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 9), makeNode("w1", {makePhone("a+t", 10, 19), makePhone("b+t", 20, 49)}),
                 makeNode("w2", {makePhone("sil+t", 50, 59)}), makePause("sp", 60, 64)};
    recogParam p;
    rankPhones(mlf, [](int first, int, int m) { return first == 10 ? (m == 1 ? -40.f : m == 0 ? -50.f : -60.f)
                                                                   : (m == 1 ? -20.f : -80.f); },
               models, p);
    mlf.designatedSylCount = 2;
    mlf.identifiedSylCount = 2;
    mlf.discountRatioRead = true;
    mlf.discountRatio = {1, 1, 1, 1, 1, 1, 1};
    computeDiscounts(mlf, 0, 3, true, 2);
    return mlf;
}

TEST(ComputeTimberScores, FourScoresOfPhonesAndNodes) {
    TempDir d;
    writeFile(d.file("rank2score.txt"), "0.5 1 0\n");
    writeFile(d.file("cm.txt"), "% name\tx\tx\tx\tx\tparams\n"
                                "a+t\t1\t2\t3\t4\t[0.25 1 0]\n"
                                "\n"
                                "b+t\t1\t2\t3\t4\t[0.1 1 0.5]\n");
    macroClass models = namedModels();
    models.m_models[0].logCount = std::log(2.0f);
    mlfClass mlf = rankedObject(models);
    recogParam p;
    p.phoneRank2scoreParamFile = d.file("rank2score.txt");
    p.cmParamFile = d.file("cm.txt");
    computeTimberScores(mlf, 0, 3, p, models);

    const mlfPhone& a = mlf.nodes[1].phones[0];
    const mlfPhone& b = mlf.nodes[1].phones[1];
    // Score 1: rank 1 of 3 with (0.5, 1, 0): u = 2/3.
    EXPECT_FLOAT_EQ(a.timberScores[0], 100.0f / (4.0f / 9 + 1));
    EXPECT_FLOAT_EQ(b.timberScores[0], 100);
    // Score 2: bell of the model's cmParamFile line: a+t (0.25, 1, 0), u = 4/3;
    // b+t (0.1, 1, 0.5), u = -5.
    EXPECT_EQ(a.cmParams, (std::vector<float>{0.25f, 1, 0}));
    EXPECT_FLOAT_EQ(a.timberScores[1], 100.0f / (16.0f / 9 + 1));
    EXPECT_FLOAT_EQ(b.timberScores[1], 100.0f / 26);
    // Score 3: (own - min) / (max - min) = 0.5, squared: 25.
    EXPECT_FLOAT_EQ(a.timberScores[2], 25);
    EXPECT_FLOAT_EQ(b.timberScores[2], 100);
    // Score 4: posterior with priors; model a+t counts 2, the others 1.
    const float posterior = 2 * std::exp(-50.0f) / (2 * std::exp(-50.0f) + std::exp(-40.0f) + std::exp(-60.0f));
    EXPECT_NEAR(a.timberScores[3], 100 * posterior, 1e-4);
    EXPECT_NEAR(b.timberScores[3], 100, 1e-3);
    // Nodes: time-weighted means over the ranked phones (10 and 30 frames).
    const mlfNode& w1 = mlf.nodes[1];
    EXPECT_FLOAT_EQ(w1.timberScores[2], (25.0f * 10 + 100 * 30) / 40);
    EXPECT_FLOAT_EQ(w1.timberScores[1], (a.timberScores[1] * 10 + b.timberScores[1] * 30) / 40);
    // A node of a single sil+ phone scores 0; non-speech nodes stay -1.
    EXPECT_EQ(mlf.nodes[2].timberScores, (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_EQ(mlf.nodes[2].phones[0].timberScores[3], 0);
    EXPECT_EQ(mlf.nodes[0].timberScores[1], -1);
    EXPECT_EQ(mlf.nodes[0].timberScore, -1);
    // timberScore is score 2; the utterance score weights w1 (40) and w2 (10).
    EXPECT_EQ(w1.timberScore, w1.timberScores[1]);
    EXPECT_EQ(b.timberScore, b.timberScores[1]);
    EXPECT_FLOAT_EQ(mlf.score, w1.timberScores[1] * 40 / 50);
}

TEST(ComputeTimberScores, DefaultBellAndDiscountWeight) {
    TempDir d;
    writeFile(d.file("rank2score.txt"), "0.05 0.5 0");
    macroClass models = namedModels();
    mlfClass mlf = rankedObject(models);
    mlf.nodes[1].discountWeight = 0.5f;
    recogParam p;
    p.phoneRank2scoreParamFile = d.file("rank2score.txt");
    p.cmParamFile = d.file("missing.txt");
    computeTimberScores(mlf, 0, 3, p, models);
    EXPECT_EQ(mlf.nodes[1].phones[1].cmParams, (std::vector<float>{0.05f, 0.5f, 0}));
    EXPECT_FLOAT_EQ(mlf.nodes[1].phones[1].timberScores[1], 100);  // strictly best, no cmParamFile
    // rank 1 of 3 = 0.333: bell of (0.05, 0.5, 0) is 100 / (u + 1), u = 6.67
    EXPECT_NEAR(mlf.nodes[1].phones[0].timberScores[1], 100.0f / (1.0f / 3 / 0.05f + 1), 1e-3);
    const float undiscounted = (mlf.nodes[1].phones[0].timberScores[1] * 10 + 100 * 30) / 40;
    EXPECT_NEAR(mlf.nodes[1].timberScores[1], undiscounted * 0.5f, 1e-3);
    EXPECT_EQ(mlf.nodes[1].timberScore, mlf.nodes[1].timberScores[1]);
}

TEST(ComputeTimberScores, ParameterFilesAreChecked) {
    TempDir d;
    macroClass models = namedModels();
    recogParam p;
    writeFile(d.file("two.txt"), "0.05 0.5");
    p.phoneRank2scoreParamFile = d.file("two.txt");
    mlfClass mlf = rankedObject(models);
    std::string e = errorOf([&] { computeTimberScores(mlf, 0, 3, p, models); });
    EXPECT_NE(e.find(d.file("two.txt") + " holds 2 numbers, but the rank-to-score function needs 3"),
              std::string::npos)
        << e;

    writeFile(d.file("rank.txt"), "0.05 0.5 0");
    p.phoneRank2scoreParamFile = d.file("rank.txt");
    writeFile(d.file("cm5.txt"), "a+t\t1\t2\t3\t4\t[1 1 0]\nb+t\t1\t2\t3\t[1 1 0]\n");
    p.cmParamFile = d.file("cm5.txt");
    mlf = rankedObject(models);
    testing::internal::CaptureStdout();
    e = errorOf([&] { computeTimberScores(mlf, 0, 3, p, models); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "modelName=b+t\nmodelIndex=1\ncontents[1]=b+t\t1\t2\t3\t[1 1 0]\n");
    EXPECT_EQ(e, "Error: Cannot parse " + d.file("cm5.txt") + " (line 726 of file mlf)");

    writeFile(d.file("cm1.txt"), "a+t\t1\t2\t3\t4\t[1 1 0]\n");
    p.cmParamFile = d.file("cm1.txt");
    mlf = rankedObject(models);
    e = errorOf([&] { computeTimberScores(mlf, 0, 3, p, models); });
    EXPECT_NE(e.find(d.file("cm1.txt") + " has 1 model lines, none for model 1 (b+t)"), std::string::npos) << e;
}

TEST(ComputeTimberScores, EqualCompetitorsGiveNoSpreadScore) {
    TempDir d;
    writeFile(d.file("rank.txt"), "0.05 0.5 0");
    macroClass models = namedModels();
    mlfClass mlf;
    mlf.nodes = {makeNode("w", {makePhone("a+t", 0, 9)})};
    recogParam p;
    p.phoneRank2scoreParamFile = d.file("rank.txt");
    rankPhones(mlf, fixedLogLikes({{0, -7}, {1, -7}, {2, -7}}), models, p);
    mlf.discountRatioRead = true;
    computeDiscounts(mlf, 0, 0, true, 1);
    computeTimberScores(mlf, 0, 0, p, models);
    EXPECT_EQ(mlf.nodes[0].phones[0].rank, 2);
    EXPECT_EQ(mlf.nodes[0].phones[0].timberScores[2], 0);
    EXPECT_NEAR(mlf.nodes[0].phones[0].timberScores[3], 100.0f / 3, 1e-4);
}

}  // namespace
}  // namespace kedo
