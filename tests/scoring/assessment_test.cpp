// The scoring steps end to end on synthetic models: an utterance that follows
// the designated phones must score far above one whose phones were swapped.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "scoring/confidence.h"
#include "scoring/diagnostic_files.h"
#include "scoring/discount.h"
#include "scoring/segmentation.h"
#include "scoring/xml_result.h"
#include "scoring_fixtures.h"
#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::TempDir;
using test::writeFile;

constexpr int kFramesPerState = 4;

// Forced alignment of one three-state model over frames f1..f2 of fea, the
// way the search aligns a single model.
float alignModel(const std::vector<float>& fea, int dim, int f1, int f2, const macroClass& set, int m) {
    const int n = f2 - f1 + 1;
    if (n < 3) return LZERO;
    const auto& a = set.m_models[m].transP;
    auto b = [&](int state, int frame) {
        return stateLogLikelihood(&fea[static_cast<size_t>(frame) * dim], set, m, state);
    };
    float s0 = b(0, f1), s1 = LZERO, s2 = LZERO;
    for (int t = 1; t < n; ++t) {
        const int f = f1 + t;
        const float n2 = std::max(s1 + a[2][3], s2 + a[3][3]) + b(2, f);
        const float n1 = std::max(s0 + a[1][2], s1 + a[2][2]) + b(1, f);
        s0 = s0 + a[1][1] + b(0, f);
        s1 = n1;
        s2 = n2;
    }
    return s2;
}

struct Utterance {
    mlfClass mlf;
    std::vector<float> features;
};

// sil, one word per phone list, sp between words, sil; the labels name
// `designated`, the features are drawn from `spoken` (same shape).
Utterance makeUtterance(const macroClass& set, const std::vector<StrVec>& designated,
                        const std::vector<StrVec>& spoken, uint32_t seed) {
    auto index = [&](const std::string& n) { return set.findModel(n); };
    Utterance u;
    std::vector<std::pair<int, int>> states;
    int frame = 0;
    auto addPhone = [&](mlfNode& node, const std::string& label, const std::string& source) {
        mlfPhone ph = test::makePhone(label, frame, frame + 3 * kFramesPerState - 1);
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < kFramesPerState; ++k) states.emplace_back(index(source), s);
        frame += 3 * kFramesPerState;
        node.phones.push_back(ph);
    };
    auto addNode = [&](const std::string& name, const StrVec& labels, const StrVec& sources) {
        mlfNode node = test::makeNode(name, {});
        node.startFrame = frame;
        for (size_t i = 0; i < labels.size(); ++i) addPhone(node, labels[i], sources[i]);
        node.endFrame = frame - 1;
        u.mlf.nodes.push_back(node);
    };
    addNode("sil", {"sil"}, {"sil"});
    for (size_t w = 0; w < designated.size(); ++w) {
        if (w) addNode("sp", {"sp"}, {"sp"});
        std::string name = "w";
        name += std::to_string(w);
        addNode(name, designated[w], spoken[w]);
    }
    addNode("sil", {"sil"}, {"sil"});
    std::mt19937 rng(seed);
    u.features = test::drawFeatures(set, states, rng);
    return u;
}

float assess(Utterance& u, const macroClass& set, const recogParam& p) {
    const int dim = test::featureDim(set);
    mlfClass& mlf = u.mlf;
    mlf.designatedSylCount = 2;
    mlf.identifiedSylCount = 2;
    const int last = static_cast<int>(mlf.nodes.size()) - 1;
    rankPhones(mlf, [&](int f1, int f2, int m) { return alignModel(u.features, dim, f1, f2, set, m); }, set, p);
    computeDiscounts(mlf, 0, last, true, mlf.designatedSylCount);
    computeTimberScores(mlf, 0, last, p, set);
    return mlf.score;
}

TEST(Assessment, DesignatedPhonesScoreFarAboveSwappedOnes) {
    macroClass set = test::makeSyntheticModels({});
    set.sortModels();
    set.convertModels();
    TempDir d;
    writeFile(d.file("rank2score.txt"), "0.05 0.5 0\n");
    writeFile(d.file("discount.txt"), "0.5 0.9 0.9 0.9 1 0.9 0.9\n");
    recogParam p;
    p.useAllModelAsCompetingModel = 1;
    p.phoneRank2scoreParamFile = d.file("rank2score.txt");
    p.scoreDiscountParamFile = d.file("discount.txt");
    const std::vector<StrVec> words = {{"k", "ae", "t"}, {"d", "ow", "g"}};
    const std::vector<StrVec> swapped = {{"p", "ih", "s"}, {"b", "uw", "z"}};

    testing::internal::CaptureStdout();
    Utterance good = makeUtterance(set, words, words, 7);
    const float goodScore = assess(good, set, p);
    Utterance bad = makeUtterance(set, words, swapped, 7);
    const float badScore = assess(bad, set, p);
    // One phone of each word swapped.
    Utterance half = makeUtterance(set, words, {{"k", "ih", "t"}, {"d", "ow", "z"}}, 7);
    const float halfScore = assess(half, set, p);
    testing::internal::GetCapturedStdout();

    RecordProperty("goodScore", std::to_string(goodScore));
    RecordProperty("badScore", std::to_string(badScore));
    std::printf("scores: designated %g, half swapped %g, swapped %g\n", goodScore, halfScore, badScore);
    EXPECT_GT(goodScore, 95.0f);
    EXPECT_LT(badScore, 20.0f);
    EXPECT_GT(halfScore, badScore + 20.0f);
    EXPECT_LT(halfScore, goodScore - 10.0f);
    for (const mlfNode& node : good.mlf.nodes) {
        for (const mlfPhone& ph : node.phones)
            if (node.name[0] == 'w') {
                EXPECT_EQ(ph.rank, 0) << ph.name;
            }
    }

    // The documents of both runs are written and well-formed.
    StrVec names;
    set.modelNameList(names);
    shiftFrames(bad.mlf, 15);
    writePhoneLevel(bad.mlf, d.file("phone.cm"), false, true, true);
    writeXml(bad.mlf, names, d.file("output.xml"), p);
    writePhoneCmd(bad.mlf, names, d.file("phone.cmd"));
    EXPECT_EQ(test::runShell("xmllint --noout " + d.file("output.xml")).status, 0);
    EXPECT_NE(test::readFile(d.file("phone.cmd")).find("\t0: k [27 38]"), std::string::npos);
}

}  // namespace
}  // namespace kedo
