// Baum-Welch on utterances sampled from known HMMs: the trainer recovers
// the means, variances and transitions, and never loses likelihood.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "kedo/error.h"
#include "support/synthetic_models.h"
#include "train/baum_welch.h"

namespace kedo {
namespace {

constexpr int kSil = 0, kA = 1, kB = 2;

struct sampledCorpus {
    std::vector<compositeHmm> hmms;
    std::vector<std::vector<float>> features;
    std::vector<int> frames;
};

// Utterances sil (a|b)+ sil, each state held for a geometric number of
// frames with the truth's self-loop probability.
sampledCorpus sample(const macroClass& truth, int count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    sampledCorpus c;
    for (int n = 0; n < count; ++n) {
        compositeHmm h;
        h.add(kSil);
        int words = 2 + n % 3;
        for (int w = 0; w < words; ++w) h.add((n + w) % 2 == 0 ? kA : kB);
        h.add(kSil);
        std::vector<std::pair<int, int>> seq;
        for (int32_t m : h.models)
            for (int s = 0; s < 3; ++s) {
                double stay = truth.m_models[m].transP[s + 1][s + 1];
                do seq.push_back({m, s});
                while (u(rng) < stay);
            }
        c.features.push_back(test::drawFeatures(truth, seq, rng));
        c.frames.push_back(static_cast<int>(seq.size()));
        c.hmms.push_back(h);
    }
    return c;
}

macroClass truthModels() {
    test::SyntheticModelSpec spec;
    spec.names = {"sil", "a", "b"};
    spec.mixtureNum = 1;
    spec.selfLoop = 0.7f;
    spec.variance = 0.3f;
    return test::makeSyntheticModels(spec);
}

// A flat start: every state the global mean and variance of the corpus.
macroClass flatStart(const macroClass& truth, const sampledCorpus& c, std::vector<std::vector<float>>& floor) {
    std::vector<double> sum(39, 0.0), sq(39, 0.0);
    double n = 0;
    for (size_t i = 0; i < c.features.size(); ++i)
        for (int t = 0; t < c.frames[i]; ++t)
            for (int d = 0; d < 39; ++d) {
                double v = c.features[i][t * 39 + d];
                sum[d] += v;
                sq[d] += v * v;
            }
    for (int i = 0; i < static_cast<int>(c.features.size()); ++i) n += c.frames[i];
    std::vector<std::vector<float>> mean(3, std::vector<float>(13)), var = mean;
    floor = mean;
    for (int d = 0; d < 39; ++d) {
        mean[d / 13][d % 13] = static_cast<float>(sum[d] / n);
        var[d / 13][d % 13] = static_cast<float>(sq[d] / n - (sum[d] / n) * (sum[d] / n));
        floor[d / 13][d % 13] = 0.01f * var[d / 13][d % 13];
    }
    macroClass m;
    m.m_streamNum = 3;
    for (int s = 0; s < 3; ++s) m.m_streamWidth[s] = 13;
    for (int i = 0; i < truth.m_modelNum; ++i) m.m_models.push_back(flatModel(truth.m_models[i].name, 3, mean, var));
    m.m_modelNum = truth.m_modelNum;
    return m;
}

macroClass converted(const macroClass& set) {
    macroClass c = set;
    computeGconsts(c);
    c.convertModels();
    return c;
}

// One E-step and M-step; returns the average log likelihood per frame that
// the models before the step gave.
double iteration(macroClass& models, const sampledCorpus& c, const std::vector<std::vector<float>>& floor,
                 double beam) {
    macroClass conv = converted(models);
    bwAccumulators acc(models.m_modelNum, 3, 1);
    for (size_t i = 0; i < c.hmms.size(); ++i)
        accumulateUtterance(conv, c.hmms[i], c.features[i].data(), c.frames[i], 39, beam, fillerPooling{}, acc);
    EXPECT_EQ(acc.failed, 0);
    reestimate(models, acc, floor, fillerPooling{});
    return acc.logLikelihood / acc.frames;
}

TEST(BaumWelch, RecoversTheModelsThatMadeTheData) {
    macroClass truth = truthModels();
    sampledCorpus c = sample(truth, 120, 7);
    std::vector<std::vector<float>> floor;
    macroClass models = flatStart(truth, c, floor);
    std::vector<double> ll;
    for (int it = 0; it < 12; ++it) ll.push_back(iteration(models, c, floor, 0));
    // Means within 0.15 (the centres lie up to 6 apart, the noise has a
    // standard deviation of 0.55), variances within 30 % (state boundaries blur
    // a little), self loops within
    // 0.06 of the truth.
    for (int m = 0; m < 3; ++m)
        for (int s = 0; s < 3; ++s) {
            for (int st = 0; st < 3; ++st)
                for (int d = 0; d < 13; ++d) {
                    const MixtureRec& want = truth.m_models[m].states[s].streams[st].mixtures[0];
                    const MixtureRec& got = models.m_models[m].states[s].streams[st].mixtures[0];
                    EXPECT_NEAR(got.mean[d], want.mean[d], 0.15) << m << " " << s << " " << st << " " << d;
                    EXPECT_NEAR(got.variance[d], want.variance[d], 0.3 * want.variance[d]) << m << " " << s << " " << st << " " << d;
                }
            EXPECT_NEAR(models.m_models[m].transP[s + 1][s + 1], 0.7, 0.06) << m << " " << s;
            EXPECT_NEAR(models.m_models[m].transP[s + 1][s + 1] + models.m_models[m].transP[s + 1][s + 2], 1.0,
                        1e-6);
        }
    // Without pruning the likelihood never falls from one iteration to the next.
    for (size_t i = 1; i < ll.size(); ++i) EXPECT_GE(ll[i], ll[i - 1] - 1e-4) << "iteration " << i;
    EXPECT_GT(ll.back(), ll.front() + 1.0);
}

TEST(BaumWelch, ForcedAlignmentFollowsTheSampledSegments) {
    macroClass truth = truthModels();
    sampledCorpus c = sample(truth, 1, 3);
    macroClass conv = converted(truth);
    alignmentResult r = forcedAlign(conv, c.hmms[0], c.features[0].data(), c.frames[0], 39);
    ASSERT_EQ(r.segments.size(), c.hmms[0].models.size());
    EXPECT_EQ(r.firstFrame.front(), 0);
    EXPECT_EQ(r.lastFrame.back(), c.frames[0] - 1);
    for (size_t k = 1; k < r.segments.size(); ++k) EXPECT_EQ(r.firstFrame[k], r.lastFrame[k - 1] + 1);
    // Too few frames for the sequence: no path.
    EXPECT_EQ(forcedAlign(conv, c.hmms[0], c.features[0].data(), c.hmms[0].minFrames() - 1, 39).segments.size(), 0u);
}

// An optional segment (a short pause) may be skipped: an utterance sampled
// without it still aligns, and one sampled with it passes through it.
TEST(BaumWelch, OptionalSegmentsMayBeSkipped) {
    macroClass truth = truthModels();
    compositeHmm h;
    h.add(kSil);
    h.add(kA);
    h.add(kB, true);
    h.add(kA);
    h.add(kSil);
    EXPECT_EQ(h.minFrames(), 12);
    std::mt19937 rng(5);
    std::vector<std::pair<int, int>> seq;
    for (int m : {kSil, kA, kA, kSil})
        for (int s = 0; s < 3; ++s)
            for (int k = 0; k < 3; ++k) seq.push_back({m, s});
    std::vector<float> fea = test::drawFeatures(truth, seq, rng);
    macroClass conv = converted(truth);
    alignmentResult r = forcedAlign(conv, h, fea.data(), static_cast<int>(seq.size()), 39);
    EXPECT_EQ(r.segments, (std::vector<int32_t>{0, 1, 3, 4}));
    bwAccumulators acc(3, 3, 1);
    EXPECT_GT(accumulateUtterance(conv, h, fea.data(), static_cast<int>(seq.size()), 39, 0, fillerPooling{}, acc),
              -1e29);
    // Nearly all of b's occupation is gone: the data hold no b.
    EXPECT_LT(acc.modelOccupation(kB), 0.5);
    EXPECT_NEAR(acc.modelOccupation(kA), 18.0, 0.5);
}

// Splitting doubles the mixtures of the heaviest first, keeps the weights
// summing to one and moves the two halves apart.
TEST(BaumWelch, SplittingPerturbsTheHeaviestMixtures) {
    macroClass m = truthModels();
    splitMixtures(m, {1}, 2);
    const StreamRec& st = m.m_models[1].states[0].streams[0];
    ASSERT_EQ(st.mixtureNum(), 2);
    EXPECT_FLOAT_EQ(st.mixtures[0].weight + st.mixtures[1].weight, 1.0f);
    EXPECT_GT(st.mixtures[0].mean[0], st.mixtures[1].mean[0]);
    EXPECT_EQ(m.m_models[0].states[0].streams[0].mixtureNum(), 1);  // not listed
    splitMixtures(m, {1}, 3);
    const StreamRec& st3 = m.m_models[1].states[0].streams[0];
    ASSERT_EQ(st3.mixtureNum(), 3);
    EXPECT_FLOAT_EQ(st3.mixtures[0].weight + st3.mixtures[1].weight + st3.mixtures[2].weight, 1.0f);
    splitMixtures(m, {1}, 64);
    EXPECT_EQ(m.m_models[1].states[0].streams[0].mixtureNum(), MAX_MIXTURE_NUM);
}

// Accumulators merged in a fixed order give the same bytes however the
// utterances were grouped; gconst is the log-determinant term.
TEST(BaumWelch, AccumulatorsAndGconst) {
    macroClass truth = truthModels();
    sampledCorpus c = sample(truth, 4, 11);
    macroClass conv = converted(truth);
    bwAccumulators all(3, 3, 1), a(3, 3, 1), b(3, 3, 1);
    for (int i = 0; i < 4; ++i) {
        accumulateUtterance(conv, c.hmms[i], c.features[i].data(), c.frames[i], 39, 0, fillerPooling{}, all);
        accumulateUtterance(conv, c.hmms[i], c.features[i].data(), c.frames[i], 39, 0, fillerPooling{}, i < 2 ? a : b);
    }
    bwAccumulators merged(3, 3, 1);
    merged.add(a);
    merged.add(b);
    EXPECT_NEAR(merged.modelOccupation(kA), all.modelOccupation(kA), 1e-9);
    EXPECT_DOUBLE_EQ(merged.frames, all.frames);
    EXPECT_THROW(merged.add(bwAccumulators(2, 3, 1)), KedoError);

    macroClass g = truth;
    computeGconsts(g);
    double want = 13 * std::log(2 * M_PI * 0.3);
    EXPECT_NEAR(g.m_models[0].states[0].streams[0].mixtures[0].gconst, want, 1e-3);
}

}  // namespace
}  // namespace kedo
