// The search against the plain full-copy search on many random nets, model
// sets and feature sequences: same candidates, histories, scores, warnings,
// errors, best path and path dump, with the model set's likelihoods asked a
// frame at a time in batches.
#include <gtest/gtest.h>


#include "decoder/viterbi.h"
#include "naive_viterbi.h"
#include "support/search_fixtures.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

struct Outcome {
    std::string error;  // message with its line number masked, empty if none
    std::string out;    // standard output
    int nc = 0;
    int best = 0;
    std::string dump;
};

std::string maskLine(const std::string& msg) {
    std::string out;
    for (size_t i = 0; i < msg.size(); ++i) {
        out += msg[i];
        if (msg.compare(i, 5, "line ") == 0) {
            out += "ine N";
            i += 5;
            while (i < msg.size() && msg[i] >= '0' && msg[i] <= '9') ++i;
            --i;
        }
    }
    return out;
}

struct Case {
    SearchTestNet net;
    SearchTestDict dict;
    QuantisedModelSet models;
    std::vector<float> fea;
    int T = 0, candidateNum = 0, arenaLen = 0, useDesc = 0;
    float probTh = 0;
};

Case randomCase(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Case c;
    c.models = QuantisedModelSet::random(rng, pick(1, 6));
    c.dict = randomDict(rng, pick(1, 8), c.models.modelNum(), pick(1, 4));
    c.net = randomNet(rng, static_cast<int>(c.dict.size()), pick(1, 14));
    c.T = pick(1, 10) == 1 ? pick(1, 3) : pick(4, 140);
    c.fea = QuantisedModelSet::randomFeatures(rng, c.T);
    c.candidateNum = pick(1, 40);
    int arenaChoice = pick(0, 9);
    c.arenaLen = arenaChoice == 0 ? c.candidateNum - pick(0, 1) : c.candidateNum * pick(1, 6);
    const float th[] = {0.0f, 0.5f, 2.0f, 6.0f, 1e9f};
    c.probTh = th[pick(0, 4)];
    c.useDesc = pick(0, 1);
    return c;
}

// A model set that scores batches itself and notes the rows of the states
// asked one at a time: the search gathers a frame's states into one batch,
// so after the first frame it should ask none alone.
class BatchingSet : public searchModelSet {
public:
    explicit BatchingSet(const QuantisedModelSet& set) : m_set(set) {}
    int modelNum() const override { return m_set.modelNum(); }
    int numStates(int m) const override { return m_set.numStates(m); }
    float logTrans(int m, int i, int j) const override { return m_set.logTrans(m, i, j); }
    float stateLogLikelihood(const float* x, int m, int s) const override {
        singleRows.push_back(x);
        return m_set.stateLogLikelihood(x, m, s);
    }
    void stateLogLikelihoods(const stateQuery* queries, size_t count, float* out) const override {
        // Backwards, so that the values cannot depend on the order.
        for (size_t k = count; k-- > 0;)
            out[k] = m_set.stateLogLikelihood(queries[k].x, queries[k].model, queries[k].state);
        batched += static_cast<long>(count);
    }
    mutable std::vector<const float*> singleRows;
    mutable long batched = 0;

private:
    const QuantisedModelSet& m_set;
};

TEST(ViterbiOracle, SameResultsAsFullCopySearchOnRandomCases) {
    ScopedEnv noTemp("temp", nullptr), noTEMP("TEMP", nullptr);
    std::mt19937 rng(20261207);
    int compared = 0, errors = 0, warned = 0;
    long batchedQueries = 0;
#ifdef NDEBUG
    const int iterations = 1500;
#else
    const int iterations = 400;  // sanitizer builds are slow
#endif
    for (int iter = 0; iter < iterations; ++iter) {
        Case c = randomCase(rng);
        TempDir dir;
        Outcome fast, naive;
        viterbiClass vit(c.arenaLen, c.models.modelNum());
        const BatchingSet batching(c.models);
        testing::internal::CaptureStdout();
        try {
            fast.nc = vit.viterbiSearch(c.net, c.dict, c.fea.data(), QuantisedModelSet::kDim, c.T, c.candidateNum,
                                        batching, c.probTh, 0, c.useDesc);
            fast.best = vit.bestPathIndex(fast.nc);
            vit.writeArenaSylPath(dir.file("fast.txt"), fast.nc, c.dict);
            fast.dump = readFile(dir.file("fast.txt"));
        } catch (const KedoError& e) {
            fast.error = maskLine(e.what());
        }
        fast.out = testing::internal::GetCapturedStdout();

        NaiveViterbi<SearchTestNet, SearchTestDict> ref(c.arenaLen, c.net, c.dict);
        testing::internal::CaptureStdout();
        try {
            naive.nc = ref.viterbiSearch(c.fea.data(), QuantisedModelSet::kDim, c.T, c.candidateNum, c.models, c.probTh,
                                         c.useDesc);
            naive.best = ref.bestPathIndex(naive.nc);
            ref.writeArenaSylPath(dir.file("naive.txt"), naive.nc);
            naive.dump = readFile(dir.file("naive.txt"));
        } catch (const KedoError& e) {
            naive.error = maskLine(e.what());
        }
        naive.out = testing::internal::GetCapturedStdout();

        SCOPED_TRACE(std::string("case ") + std::to_string(iter));
        ASSERT_EQ(fast.error, naive.error);
        ASSERT_EQ(fast.out, naive.out);
        if (!fast.error.empty()) {
            ++errors;
            continue;
        }
        if (!fast.out.empty()) ++warned;
        for (const float* row : batching.singleRows)
            ASSERT_EQ(row, c.fea.data()) << "a state asked alone after frame 0";
        batchedQueries += batching.batched;
        ASSERT_EQ(fast.nc, naive.nc);
        ASSERT_EQ(fast.best, naive.best);
        ASSERT_EQ(fast.dump, naive.dump);
        for (int k = 0; k < naive.nc; ++k) {
            ArenaCandidate a = vit.candidate(k);
            const NaiveCandidate& b = *ref.m_ptr[k];
            SCOPED_TRACE(std::string("slot ") + std::to_string(k));
            ASSERT_EQ(a.state, b.state);
            ASSERT_EQ(a.phone, b.phone);
            ASSERT_EQ(a.node, b.node);
            ASSERT_EQ(a.score, b.score);
            ASSERT_EQ(a.sylCount(), b.sylCount);
            ASSERT_EQ(a.phoneCount(), b.phoneCount);
            for (int s = 0; s < b.sylCount; ++s) {
                ASSERT_EQ(a.sylIndex[s], b.sylIndex[s]);
                ASSERT_EQ(a.sylNode[s], b.sylNode[s]);
                ASSERT_EQ(a.sylEndFrame[s], b.sylEndFrame[s]);
                ASSERT_EQ(a.sylScore[s], b.sylScore[s]);
            }
            for (int s = 0; s < b.phoneCount; ++s) {
                ASSERT_EQ(a.phoneIndex[s], b.phoneIndex[s]);
                ASSERT_EQ(a.phoneEndFrame[s], b.phoneEndFrame[s]);
                ASSERT_EQ(a.phoneScore[s], b.phoneScore[s]);
            }
        }
        ++compared;
    }
    // The random cases must exercise both the normal road and the failures.
    EXPECT_GT(compared, iterations * 2 / 3);
    EXPECT_GT(errors, iterations / 100);
    EXPECT_GT(warned, iterations / 30);
    EXPECT_GT(batchedQueries, iterations * 10);
}

// Long utterances make the trace compact itself; the histories must survive.
TEST(ViterbiOracle, SameResultsAcrossTraceCompaction) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 3; ++iter) {
        QuantisedModelSet models = QuantisedModelSet::random(rng, 4);
        for (auto& m : models.models) m.numStates = 3;  // one frame per phone: long histories
        SearchTestDict dict = randomDict(rng, 6, models.modelNum(), 2);
        SearchTestNet net;
        net.add(-1);
        net.add(-1);
        int hub = net.add(-1);
        net.link(0, hub);
        for (int w = 0; w < 6; ++w) {
            int n = net.add(w);
            net.link(hub, n);
            net.link(n, hub);
        }
        int exitWord = net.add(0);
        net.link(hub, exitWord);
        net.link(exitWord, 1);
        net.deriveNextWordNodes();
        const int T = 900;
        std::vector<float> fea = QuantisedModelSet::randomFeatures(rng, T);
        viterbiClass vit(400, models.modelNum());
        NaiveViterbi<SearchTestNet, SearchTestDict> ref(400, net, dict);
        testing::internal::CaptureStdout();
        int nc = vit.viterbiSearch(net, dict, fea.data(), QuantisedModelSet::kDim, T, 80, models, 1e9f, 0, 0);
        int nr = ref.viterbiSearch(fea.data(), QuantisedModelSet::kDim, T, 80, models, 1e9f, 0);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(nc, nr);
        for (int k = 0; k < nc; ++k) {
            ArenaCandidate a = vit.candidate(k);
            const NaiveCandidate& b = *ref.m_ptr[k];
            ASSERT_EQ(a.score, b.score);
            ASSERT_EQ(a.sylCount(), b.sylCount);
            ASSERT_EQ(a.phoneCount(), b.phoneCount);
            for (int s = 0; s < b.sylCount; ++s) ASSERT_EQ(a.sylEndFrame[s], b.sylEndFrame[s]);
            for (int s = 0; s < b.phoneCount; ++s) ASSERT_EQ(a.phoneScore[s], b.phoneScore[s]);
        }
        // Without compaction the trace would hold far more than what is live.
        EXPECT_LT(vit.traceSize(), size_t(400) * 1000);
    }
}

}  // namespace
}  // namespace kedo::test
