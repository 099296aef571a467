// The scoring steps end to end on synthetic models and the real search: an
// utterance that follows the designated phones must score far above one whose
// phones were swapped for others.
#include <gtest/gtest.h>

#include <random>

#include "decoder/model_set_adapter.h"
#include "decoder/viterbi.h"
#include "scoring/confidence.h"
#include "scoring/diagnostic_files.h"
#include "scoring/discount.h"
#include "scoring/path_segmentation.h"
#include "scoring/segmentation.h"
#include "scoring/tracks.h"
#include "support/search_fixtures.h"
#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr int kFramesPerState = 4;

// The sentence "cat dog": null start, sil, cat, sp, dog, sil, null end.
struct Sentence {
    pronDict dict;
    test::SearchTestNet net;
    StrVec netTexts;
};

Sentence catDog(const macroClass& set) {
    Sentence s;
    auto m = [&](const char* name) { return static_cast<int32_t>(set.findModel(name)); };
    s.dict = {{"sil", {m("sil")}}, {"sp", {m("sp")}}, {"cat", {m("k"), m("ae"), m("t")}},
              {"dog", {m("d"), m("ow"), m("g")}}};
    const int start = s.net.add(-1), sil1 = s.net.add(0), cat = s.net.add(2), sp = s.net.add(1),
              dog = s.net.add(3), sil2 = s.net.add(0), end = s.net.add(-1);
    s.net.link(start, sil1);
    s.net.link(sil1, cat);
    s.net.link(cat, sp);
    s.net.link(sp, dog);
    s.net.link(dog, sil2);
    s.net.link(sil2, end);
    s.net.deriveNextWordNodes();
    s.netTexts = {"", "", "the cat", "", "a dog", "", ""};
    return s;
}

// Frames drawn from the models named, kFramesPerState frames per state.
std::vector<float> utterance(const macroClass& set, const StrVec& phones, uint32_t seed) {
    std::vector<std::pair<int, int>> states;
    for (const std::string& p : phones)
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < kFramesPerState; ++k) states.emplace_back(set.findModel(p), s);
    std::mt19937 rng(seed);
    return test::drawFeatures(set, states, rng);
}

struct Assessment {
    mlfClass mlf;
    float score = 0;
};

// The scoring steps in the pipeline's order, on the search's best path.
Assessment assess(const macroClass& set, const Sentence& s, const std::vector<float>& fea, const recogParam& p) {
    const int dim = test::featureDim(set);
    const int T = static_cast<int>(fea.size()) / dim;
    macroModelSet view(set);
    viterbiClass vit(500, set.m_modelNum);
    const int live = vit.viterbiSearch(s.net, s.dict, fea.data(), dim, T, 100, view, 1e6f, 0, 0);
    const int best = vit.bestPathIndex(live);
    EXPECT_GE(best, 0);
    StrVec names;
    set.modelNameList(names);

    Assessment a;
    mlfClass& mlf = a.mlf;
    buildFromPath(mlf, vit.candidate(std::max(best, 0)),
                  [&](int k) -> const std::string& { return s.netTexts.at(k); }, s.dict, names);
    assignNodeTexts(mlf, "cat dog", p);
    markPitched(mlf, p.qiYinFile);
    mlf.designatedSylCount = 2;
    mlf.identifiedSylCount = 2;
    const std::vector<int32_t> volume(T, 100);
    nodeVolume(mlf, volume.data(), T);
    const int last = static_cast<int>(mlf.nodes.size()) - 1;
    rankPhones(mlf, [&](int f1, int f2, int m) { return vit.modelProb(fea.data(), dim, static_cast<int>(fea.size()) / dim, f1, f2, view, m); }, set, p);
    computeDiscounts(mlf, 0, last, best >= 0, mlf.designatedSylCount);
    computeTimberScores(mlf, 0, last, p, set);
    a.score = mlf.score;
    return a;
}

class AssessmentTest : public testing::Test {
protected:
    void SetUp() override {
        set = test::makeSyntheticModels({});
        set.sortModels();
        set.convertModels();
        sentence = catDog(set);
        writeFile(dir.file("rank2score.txt"), "0.05 0.5 0\n");
        writeFile(dir.file("discount.txt"), "0.5 0.9 0.9 0.9 1 0.9 0.9\n");
        writeFile(dir.file("qiyin.txt"), "k\nt\n");
        p.language = "english";
        p.useAllModelAsCompetingModel = 1;
        p.phoneRank2scoreParamFile = dir.file("rank2score.txt");
        p.scoreDiscountParamFile = dir.file("discount.txt");
        p.qiYinFile = dir.file("qiyin.txt");
    }
    Assessment run(const StrVec& cat, const StrVec& dog) {
        StrVec phones = {"sil"};
        phones.insert(phones.end(), cat.begin(), cat.end());
        phones.push_back("sp");
        phones.insert(phones.end(), dog.begin(), dog.end());
        phones.push_back("sil");
        testing::internal::CaptureStdout();
        Assessment a = assess(set, sentence, utterance(set, phones, 7), p);
        testing::internal::GetCapturedStdout();
        return a;
    }

    TempDir dir;
    macroClass set;
    Sentence sentence;
    recogParam p;
};

TEST_F(AssessmentTest, SegmentationFollowsTheBestPath) {
    const Assessment a = run({"k", "ae", "t"}, {"d", "ow", "g"});
    const std::vector<mlfNode>& nodes = a.mlf.nodes;
    ASSERT_EQ(nodes.size(), 5u);
    EXPECT_EQ(nodes[1].name, "cat");
    EXPECT_EQ(nodes[1].text, "cat");
    EXPECT_EQ(nodes[3].text, "dog");
    EXPECT_EQ(nodes[0].startFrame, 0);
    EXPECT_EQ(nodes[4].endFrame, 9 * 3 * kFramesPerState - 1);
    // Phones are contiguous, start where their node starts and carry the
    // dictionary's models; the spans follow the drawn states closely.
    int next = 0;
    for (const mlfNode& n : nodes) {
        EXPECT_EQ(n.startFrame, n.phones.front().startFrame);
        EXPECT_EQ(n.endFrame, n.phones.back().endFrame);
        for (const mlfPhone& ph : n.phones) {
            EXPECT_EQ(ph.startFrame, next);
            next = ph.endFrame + 1;
        }
    }
    const mlfPhone& ae = nodes[1].phones[1];
    EXPECT_EQ(ae.name, "ae");
    EXPECT_EQ(ae.index, set.findModel("ae"));
    EXPECT_NEAR(ae.startFrame, 2 * 3 * kFramesPerState, 1);
    EXPECT_EQ(nodes[1].phones[0].pitched, 0);  // listed as unvoiced
    EXPECT_EQ(ae.pitched, 1);
    EXPECT_EQ(nodes[0].volume.size(), static_cast<size_t>(nodes[0].endFrame + 1));
}

TEST_F(AssessmentTest, DesignatedPhonesScoreFarAboveSwappedOnes) {
    const Assessment good = run({"k", "ae", "t"}, {"d", "ow", "g"});
    const Assessment half = run({"k", "ih", "t"}, {"d", "ow", "z"});
    const Assessment bad = run({"p", "ih", "s"}, {"b", "uw", "z"});
    std::printf("scores: designated %g, one phone per word swapped %g, all swapped %g\n", good.score, half.score,
                bad.score);
    EXPECT_GT(good.score, 95.0f);
    EXPECT_LT(bad.score, 30.0f);
    EXPECT_GT(half.score, bad.score + 20.0f);
    EXPECT_LT(half.score, good.score - 10.0f);
    for (const mlfNode& node : good.mlf.nodes) {
        if (node.name == "cat" || node.name == "dog") {
            for (const mlfPhone& ph : node.phones) EXPECT_EQ(ph.rank, 0) << ph.name;
        }
    }
}

TEST_F(AssessmentTest, DocumentsOfARunAreWritten) {
    Assessment bad = run({"p", "ih", "s"}, {"b", "uw", "z"});
    StrVec names;
    set.modelNameList(names);
    shiftFrames(bad.mlf, 15);
    p.outputDir = dir.path();
    testing::internal::CaptureStdout();
    writeAssessmentFiles(bad.mlf, names, p);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(test::runShell("xmllint --noout " + dir.file("output.xml")).status, 0);
    EXPECT_NE(readFile(dir.file("phone.cmd")).find("1: cat [27 "), std::string::npos);
    EXPECT_NE(readFile(dir.file("phone.lab")).find("1500000 2700000 sil "), std::string::npos);
    // The label file drives a second scoring of the same alignment.
    mlfClass again;
    readLabelFile(again, dir.file("phone.lab"), names);
    ASSERT_EQ(again.nodes.size(), bad.mlf.nodes.size());
    EXPECT_EQ(again.nodes[3].phones[2].index, bad.mlf.nodes[3].phones[2].index);
    EXPECT_EQ(again.nodes[3].endFrame, bad.mlf.nodes[3].endFrame);
}

}  // namespace
}  // namespace kedo
