// State likelihoods: mixture densities, the log-add, the weight cut, the cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <random>

#include "acoustic/macro.h"
#include "support/synthetic_models.h"

namespace kedo {
namespace {

macroClass convertedSet(test::SyntheticModelSpec spec) {
    macroClass set = test::makeSyntheticModels(spec);
    set.sortModels();
    set.convertModels();
    return set;
}

// The same set without its likelihood tables: the per-record computation.
macroClass withoutTables(const macroClass& set) {
    macroClass plain;
    plain.m_modelNum = set.m_modelNum;
    plain.m_streamNum = set.m_streamNum;
    std::copy(set.m_streamWidth, set.m_streamWidth + MAX_STREAM_NUM, plain.m_streamWidth);
    plain.m_models = set.m_models;
    return plain;
}

// The density of a diagonal Gaussian written from the means and variances
// as the file holds them (before conversion), in double precision.
TEST(Likelihood, OneMixtureIsTheGaussianDensity) {
    test::SyntheticModelSpec spec;
    spec.names = {"x"};
    spec.streamNum = 1;
    spec.mixtureNum = 1;
    macroClass file = test::makeSyntheticModels(spec);
    MixtureRec& mix = file.m_models[0].states[1].streams[0].mixtures[0];
    mix.gconst = 0;
    for (int k = 0; k < 13; ++k) {
        mix.variance[k] = 0.1f + 0.2f * static_cast<float>(k);
        mix.gconst += std::log(2 * static_cast<float>(M_PI) * mix.variance[k]);
    }
    float x[13];
    double expected = 0;
    for (int k = 0; k < 13; ++k) {
        x[k] = mix.mean[k] + 0.1f * static_cast<float>(k) - 0.5f;
        const double v = mix.variance[k], d = static_cast<double>(x[k]) - mix.mean[k];
        expected += -0.5 * std::log(2 * M_PI * v) - 0.5 * d * d / v;
    }
    macroClass set = file;
    set.sortModels();
    set.convertModels();
    EXPECT_NEAR(mixtureLogDensity(x, set, 0, 1, 0, 0), expected, 1e-4);
    EXPECT_EQ(streamLogLikelihood(x, set, 0, 1, 0), mixtureLogDensity(x, set, 0, 1, 0, 0));
    EXPECT_EQ(stateLogLikelihood(x, set, 0, 1), streamLogLikelihood(x, set, 0, 1, 0));
}

TEST(Likelihood, LogAdd) {
    EXPECT_FLOAT_EQ(logAdd(-3.0f, -3.0f), -3.0f + std::log(2.0f));
    EXPECT_FLOAT_EQ(logAdd(-1.0f, -2.0f), logAdd(-2.0f, -1.0f));
    EXPECT_EQ(logAdd(0.0f, -23.1f), 0.0f);  // beyond the threshold: the larger alone
    EXPECT_GT(logAdd(0.0f, -23.0f), 0.0f);  // within it: both count
    EXPECT_EQ(logAdd(LZERO, -6e9f), LZERO);                // far below: log 0
    EXPECT_EQ(logAdd(LZERO, LZERO), LZERO);
    EXPECT_EQ(logAdd(LZERO, -4.0f), -4.0f);
}

TEST(Likelihood, WeightCutAndEqualTerms) {
    test::SyntheticModelSpec spec;
    spec.names = {"x"};
    spec.streamNum = 1;
    spec.mixtureNum = 3;
    macroClass set = convertedSet(spec);
    StreamRec& st = set.m_models[0].states[0].streams[0];
    st.mixtures[1] = st.mixtures[0];
    st.mixtures[0].weight = st.mixtures[1].weight = std::log(0.5f);
    st.mixtures[2].weight = MIN_LOG_MIXTURE_WEIGHT;  // exactly at the cut: skipped
    st.mixtures[2].gconst = -1000.0f;                // would dominate if counted
    set.buildLikelihoodTables();
    std::vector<float> x(13, 0.25f);
    float t = mixtureLogDensity(x.data(), set, 0, 0, 0, 0) + std::log(0.5f);
    EXPECT_FLOAT_EQ(streamLogLikelihood(x.data(), set, 0, 0, 0), t + std::log(2.0f));
    EXPECT_FLOAT_EQ(streamLogLikelihood(x.data(), withoutTables(set), 0, 0, 0), t + std::log(2.0f));

    // Just above the cut it counts.
    st.mixtures[2].weight = std::nextafter(MIN_LOG_MIXTURE_WEIGHT, 0.0f);
    set.buildLikelihoodTables();
    EXPECT_GT(streamLogLikelihood(x.data(), set, 0, 0, 0), 300.0f);

    // Terms more than 23.0259 apart: the larger alone.
    st.mixtures[2].weight = MIN_LOG_MIXTURE_WEIGHT;
    st.mixtures[1].gconst = st.mixtures[0].gconst + 60.0f;  // 30 lower after -0.5
    set.buildLikelihoodTables();
    EXPECT_EQ(streamLogLikelihood(x.data(), set, 0, 0, 0), t);

    // Every mixture cut, or none at all: log 0.
    for (int k = 0; k < 3; ++k) st.mixtures[k].weight = LZERO;
    set.buildLikelihoodTables();
    EXPECT_EQ(streamLogLikelihood(x.data(), set, 0, 0, 0), LZERO);
    st.mixtures.clear();
    set.buildLikelihoodTables();
    EXPECT_EQ(streamLogLikelihood(x.data(), set, 0, 0, 0), LZERO);
    EXPECT_EQ(streamLogLikelihood(x.data(), withoutTables(set), 0, 0, 0), LZERO);
}

TEST(Likelihood, TablesMatchTheRecordsToFloatRounding) {
    test::SyntheticModelSpec spec;
    spec.mixtureNum = 7;  // lanes left over in the last group of four
    spec.variance = 0.6f;
    macroClass set = test::makeSyntheticModels(spec);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (HmmModel& m : set.m_models)
        for (StateRec& s : m.states)
            for (StreamRec& st : s.streams)
                for (MixtureRec& mix : st.mixtures) {
                    float r = u(rng);
                    mix.weight = r < 0.2f ? 0.0f : r < 0.3f ? 1e-6f : r;  // some cut, some kept
                    for (float& v : mix.variance) v *= 0.5f + u(rng);
                }
    set.m_models[0].states[0].streams[0].mixtures.clear();
    set.sortModels();
    set.convertModels();
    const macroClass plain = withoutTables(set);
    for (int i = 0; i < 200; ++i) {
        int model = static_cast<int>(rng() % set.m_models.size()), state = static_cast<int>(rng() % 3);
        std::vector<float> x = test::drawFeatureRow(set, static_cast<int>(rng() % set.m_models.size()), state, rng, 2.0f);
        float fast = stateLogLikelihood(x.data(), set, model, state);
        float pairwise = stateLogLikelihood(x.data(), plain, model, state);
        ASSERT_NEAR(fast, pairwise, std::max(1e-5f, 4e-7f * std::fabs(pairwise))) << i;

    }
}

// The eight-lane AVX2 kernel and the four-lane portable one give the same
// bits, on the common three-streams-of-eight shape and on every other one
// (fewer streams, mixture counts that leave lanes over, weights cut to
// nothing, far-off rows where terms underflow), so that every build writes
// the same files.
TEST(Likelihood, KernelsAgreeBitForBit) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    struct Shape {
        int streams, mixtures;
    };
    for (Shape shape : {Shape{3, 8}, Shape{3, 5}, Shape{3, 4}, Shape{3, 7}, Shape{3, 12}, Shape{3, 32}, Shape{1, 8},
                        Shape{2, 1}, Shape{3, 16}}) {
        test::SyntheticModelSpec spec;
        spec.streamNum = shape.streams;
        spec.mixtureNum = shape.mixtures;
        spec.seed = static_cast<uint32_t>(shape.mixtures * 10 + shape.streams);
        macroClass set = test::makeSyntheticModels(spec);
        for (HmmModel& m : set.m_models)
            for (StateRec& st : m.states)
                for (StreamRec& sr : st.streams)
                    for (MixtureRec& mix : sr.mixtures) {
                        float r = u(rng);
                        mix.weight = r < 0.15f ? 0.0f : r;
                        for (float& v : mix.variance) v *= 0.3f + 2.0f * u(rng);
                    }
        set.sortModels();
        set.convertModels();
        for (int i = 0; i < 300; ++i) {
            int model = static_cast<int>(rng() % set.m_models.size()), state = static_cast<int>(rng() % 3);
            float noise = i % 10 == 0 ? 40.0f : 1.5f;
            std::vector<float> x = test::drawFeatureRow(set, static_cast<int>(rng() % set.m_models.size()), state, rng, noise);
            if (i == 299) x[0] = std::numeric_limits<float>::quiet_NaN();  // broken features
            // The state takes its streams' logs together; each must be the
            // stream's own, bits included (NaN stays NaN).
            float streams = 0.0f;
            for (int st = 0; st < set.m_streamNum; ++st) streams += streamLogLikelihood(x.data(), set, model, state, st);
            float portable = stateLogLikelihoodPortable(x.data(), set, model, state);
            ASSERT_EQ(std::bit_cast<uint32_t>(portable), std::bit_cast<uint32_t>(streams))
                << shape.streams << " streams, " << shape.mixtures << " mixtures, draw " << i;
            if (!likelihoodAvx2Available()) continue;
            float avx2 = stateLogLikelihoodAvx2(x.data(), set, model, state);
            ASSERT_EQ(std::bit_cast<uint32_t>(portable), std::bit_cast<uint32_t>(avx2))
                << shape.streams << " streams, " << shape.mixtures << " mixtures, draw " << i;
            ASSERT_EQ(std::bit_cast<uint32_t>(stateLogLikelihood(x.data(), set, model, state)),
                      std::bit_cast<uint32_t>(avx2));
        }
    }
}

// A batch gives every query the bits of its own call, on every path, whatever
// mixes in it: states of the common shape and others (weights cut down to
// four or fewer lanes, or to nothing), sets of fewer streams or without
// tables, the same state twice, broken rows, and lengths that leave a
// partial group at the end or at the front.
TEST(Likelihood, BatchesGiveEachStateItsOwnBits) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    struct Shape {
        int streams, mixtures;
        bool tables;
    };
    for (Shape shape : {Shape{3, 8, true}, Shape{3, 4, true}, Shape{3, 5, true}, Shape{3, 12, true}, Shape{1, 8, true},
                        Shape{3, 8, false}}) {
        test::SyntheticModelSpec spec;
        spec.streamNum = shape.streams;
        spec.mixtureNum = shape.mixtures;
        spec.seed = static_cast<uint32_t>(shape.mixtures + 100);
        macroClass set = test::makeSyntheticModels(spec);
        for (HmmModel& m : set.m_models)
            for (StateRec& st : m.states)
                for (StreamRec& sr : st.streams) {
                    // One stream in six keeps at most four mixtures, one in
                    // twenty none at all.
                    const float r = u(rng);
                    for (size_t k = 0; k < sr.mixtures.size(); ++k) {
                        MixtureRec& mix = sr.mixtures[k];
                        mix.weight = (r < 0.05f || (r < 0.17f && k >= 4)) ? 0.0f : 0.2f + u(rng);
                        for (float& v : mix.variance) v *= 0.3f + 2.0f * u(rng);
                    }
                }
        set.sortModels();
        set.convertModels();
        if (!shape.tables) set = withoutTables(set);
        std::vector<std::vector<float>> rows;
        for (int i = 0; i < 12; ++i)
            rows.push_back(test::drawFeatureRow(set, static_cast<int>(rng() % set.m_models.size()), i % 3, rng,
                                                i % 4 == 0 ? 40.0f : 1.5f));
        rows[7][3] = std::numeric_limits<float>::quiet_NaN();
        std::vector<stateQuery> queries;
        for (int i = 0; i < 200; ++i)
            queries.push_back(stateQuery{rows[rng() % rows.size()].data(),
                                         static_cast<int32_t>(rng() % set.m_models.size()),
                                         static_cast<int32_t>(rng() % 3)});
        queries[5] = queries[4];
        for (size_t first : {size_t{0}, size_t{1}, size_t{2}}) {
            for (size_t count : {size_t{0}, size_t{1}, size_t{2}, size_t{4}, size_t{197}}) {
                const stateQuery* q = queries.data() + first;
                std::vector<float> portable(count), avx2(count), engine(count);
                stateLogLikelihoodsPortable(set, q, count, portable.data());
                stateLogLikelihoods(set, q, count, engine.data());
                if (likelihoodAvx2Available()) stateLogLikelihoodsAvx2(set, q, count, avx2.data());
                for (size_t k = 0; k < count; ++k) {
                    const float own = stateLogLikelihoodPortable(q[k].x, set, q[k].model, q[k].state);
                    const auto where = [&] { return ::testing::Message() << shape.streams << "x" << shape.mixtures
                                                                         << " query " << first + k; };
                    ASSERT_EQ(std::bit_cast<uint32_t>(portable[k]), std::bit_cast<uint32_t>(own)) << where();
                    ASSERT_EQ(std::bit_cast<uint32_t>(engine[k]), std::bit_cast<uint32_t>(own)) << where();
                    if (likelihoodAvx2Available()) {
                        ASSERT_EQ(std::bit_cast<uint32_t>(avx2[k]), std::bit_cast<uint32_t>(own)) << where();
                    }
                }
            }
        }
    }
}

TEST(Likelihood, CacheServesTheSameFrameOnly) {
    macroClass set = convertedSet({});
    likelihoodCacheClass cache;
    cache.resize(set.m_modelNum);
    std::mt19937 rng(3);
    std::vector<float> x = test::drawFeatureRow(set, 2, 1, rng);
    float first = cache.stateLogLikelihood(x.data(), set, 2, 1, 10);
    EXPECT_EQ(first, stateLogLikelihood(x.data(), set, 2, 1));
    // Another row under the same frame index is not looked at.
    std::vector<float> other = test::drawFeatureRow(set, 5, 0, rng);
    EXPECT_EQ(cache.stateLogLikelihood(other.data(), set, 2, 1, 10), first);
    EXPECT_EQ(cache.stateLogLikelihood(other.data(), set, 2, 1, 11), stateLogLikelihood(other.data(), set, 2, 1));
    // Entries are per model and state; clear() empties them all.
    EXPECT_EQ(cache.stateLogLikelihood(x.data(), set, 2, 0, 11), stateLogLikelihood(x.data(), set, 2, 0));
    cache.clear();
    EXPECT_EQ(cache.stateLogLikelihood(x.data(), set, 2, 1, 11), first);
}

TEST(Likelihood, SyntheticStatesAreSeparable) {
    macroClass set = convertedSet({});
    std::mt19937 rng(11);
    for (int model = 0; model < set.m_modelNum; ++model) {
        for (int state = 0; state < 3; ++state) {
            std::vector<float> x = test::drawFeatureRow(set, model, state, rng);
            float own = stateLogLikelihood(x.data(), set, model, state);
            for (int m = 0; m < set.m_modelNum; ++m) {
                for (int s = 0; s < 3; ++s) {
                    if (m == model && s == state) continue;
                    ASSERT_LT(stateLogLikelihood(x.data(), set, m, s), own - 20.0f);
                }
            }
        }
    }
}

}  // namespace
}  // namespace kedo
