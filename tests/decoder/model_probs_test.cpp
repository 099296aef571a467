// modelProbs, the forced alignments of a phone's competitors together: the
// very values of modelProb one model at a time, with tied states computed
// once and the cells that cannot reach the end not computed at all.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "decoder/model_set_adapter.h"
#include "decoder/viterbi.h"
#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

// The macro set as the search sees it, counting the likelihoods asked for
// (one at a time or in batches).
class CountingSet : public macroModelSet {
public:
    using macroModelSet::macroModelSet;
    float stateLogLikelihood(const float* x, int model, int state) const override {
        ++calls;
        return macroModelSet::stateLogLikelihood(x, model, state);
    }
    void stateLogLikelihoods(const stateQuery* queries, size_t count, float* out) const override {
        calls += static_cast<long>(count);
        macroModelSet::stateLogLikelihoods(queries, count, out);
    }
    mutable long calls = 0;
};

// Twelve models: 0..5 distinct, 6..8 copies of 0..2 under other names, 9
// sharing only its middle state with model 4, 10 with two emitting states,
// 11 whose first state cannot be left (a zero transition, LZERO once logged).
macroClass tiedSet() {
    SyntheticModelSpec spec;
    spec.mixtureNum = 3;
    spec.names = {"a+b", "a+d", "b+a", "b+d", "d+a", "d+b", "a+x", "a+y", "b+x", "d+x", "e+a", "e+b"};
    macroClass set = makeSyntheticModels(spec);
    for (int k = 0; k < 3; ++k) {
        char name[sizeof set.m_models[0].name];
        std::memcpy(name, set.m_models[6 + k].name, sizeof name);
        set.m_models[6 + k] = set.m_models[k];
        std::memcpy(set.m_models[6 + k].name, name, sizeof name);
    }
    set.m_models[9].states[1] = set.m_models[4].states[1];
    HmmModel& two = set.m_models[10];
    two.numStates = 4;
    set.m_models[11].transP[1][2] = 0.0f;
    set.m_models[11].transP[1][1] = 1.0f;
    set.convertModels();  // in file order: the indices above stay
    return set;
}

TEST(ModelProbs, SameValuesAsOneModelAtATimeWithTiedStatesComputedOnce) {
    const macroClass set = tiedSet();
    EXPECT_EQ(set.stateId(7, 2), 1 * 3 + 2) << "a+y is a copy of a+d";
    EXPECT_EQ(set.stateId(9, 1), 4 * 3 + 1);
    EXPECT_EQ(set.stateId(9, 0), 9 * 3 + 0);
    const int dim = featureDim(set);
    std::mt19937 rng(7);
    std::vector<std::pair<int, int>> states;
    for (int m : {0, 3, 9, 10, 5})
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < 4; ++k) states.emplace_back(m, m == 10 ? s % 2 : s);
    const std::vector<float> fea = drawFeatures(set, states, rng);
    const int frames = static_cast<int>(fea.size()) / dim;
    std::vector<int32_t> all;
    for (int m = 0; m < set.m_modelNum; ++m) all.push_back(m);

    CountingSet view(set);
    viterbiClass one(10, set.m_modelNum), together(10, set.m_modelNum);
    for (auto [f1, f2] : {std::pair{0, 2}, {3, 9}, {10, 40}, {0, frames - 1}, {frames - 3, frames - 1}}) {
        const int n = f2 - f1 + 1;
        std::vector<float> want, got(all.size());
        for (int32_t m : all) want.push_back(one.modelProb(fea.data(), dim, frames, f1, f2, view, m));
        view.calls = 0;
        together.modelProbs(fea.data(), dim, frames, f1, f2, view, all.data(), all.size(), got.data());
        for (size_t k = 0; k < all.size(); ++k)
            EXPECT_EQ(std::memcmp(&got[k], &want[k], sizeof(float)), 0)
                << "model " << k << " over " << f1 << ".." << f2 << ": " << got[k] << " != " << want[k];
        // Three-state models: state 0 over frames 0..n-3, state 1 over
        // 1..n-2, state 2 over 1..n-1; the two-state one: 0..n-2 and 1..n-1.
        // Models 0-5 and 11 are distinct, 6-8 copies, 9 brings two states.
        EXPECT_EQ(view.calls, 7L * (3 * n - 5) + (2L * n - 3) + (2L * n - 2))
            << "span " << f1 << ".." << f2;
    }
}

TEST(ModelProbs, ShortSpansWarnAndOutOfRangeIsAnErrorAsOneAtATime) {
    const macroClass set = tiedSet();
    const int dim = featureDim(set);
    std::vector<float> fea(static_cast<size_t>(dim) * 8, 0.5f);
    macroModelSet view(set);
    viterbiClass vit(10, set.m_modelNum);
    const int32_t models[] = {0, 6};
    float out[2] = {0, 0};
    testing::internal::CaptureStdout();
    vit.modelProbs(fea.data(), dim, 8, 2, 3, view, models, 2, out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning in viterbiClass::modelProb: modelIdx=0, frameId1=2, frameId2=3, frameNum=2<MAX_STATE_NUM=3\n"
              "Warning in viterbiClass::modelProb: modelIdx=6, frameId1=2, frameId2=3, frameNum=2<MAX_STATE_NUM=3\n");
    EXPECT_EQ(out[0], SEARCH_LZERO);
    EXPECT_EQ(out[1], SEARCH_LZERO);
    ScopedEnv noTemp("temp", nullptr), noTEMP("TEMP", nullptr);
    EXPECT_THROW(vit.modelProbs(fea.data(), dim, 8, 5, 8, view, models, 2, out), KedoError);
    const int32_t bad[] = {0, 12};
    EXPECT_THROW(vit.modelProbs(fea.data(), dim, 8, 0, 7, view, bad, 2, out), KedoError);
}

}  // namespace
}  // namespace kedo::test
