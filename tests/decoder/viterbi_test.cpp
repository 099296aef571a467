// The search's own cases: start candidates, limits and messages, the
// descending candidate number, ties, the end node, modelProb, and recovery of
// a known alignment from features drawn from well-separated Gaussians.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "decoder/viterbi.h"
#include "support/search_fixtures.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

// A chain net: start (null) -> words... -> end (null).
SearchTestNet chainNet(const std::vector<int>& syllables) {
    SearchTestNet net;
    net.add(-1);
    net.add(-1);
    int prev = 0;
    for (int s : syllables) {
        int n = net.add(s);
        net.link(prev, n);
        prev = n;
    }
    net.link(prev, 1);
    net.deriveNextWordNodes();
    return net;
}

std::string searchError(const SearchTestNet& net, const SearchTestDict& dict, const searchModelSet& models,
                        const std::vector<float>& fea, int dim, int T, int candidateNum, int arenaLen) {
    ScopedEnv noTemp("temp", nullptr), noTEMP("TEMP", nullptr);
    viterbiClass vit(arenaLen, models.modelNum());
    try {
        vit.viterbiSearch(net, dict, fea.data(), dim, T, candidateNum, models, 1e9f, 0, 0);
    } catch (const KedoError& e) {
        return e.what();
    }
    return "";
}

TEST(Viterbi, SearchSizing) {
    auto size = [](int m, int mode, int cap, int least = 0) {
        searchSize s = sizeSearch(m, mode, cap, least);
        return std::make_pair(s.candidateNum, s.arenaLen);
    };
    EXPECT_EQ(size(4, 1, 1000), std::make_pair(100, 500));  // 16 is below 100
    // A larger net never gets fewer candidates than a smaller one: 4 x 5 = 20
    // and 4 x 24 = 96 are raised to 100 as well.
    EXPECT_EQ(size(5, 1, 1000), std::make_pair(100, 500));
    EXPECT_EQ(size(24, 1, 1000), std::make_pair(100, 500));
    EXPECT_EQ(size(25, 1, 1000), std::make_pair(100, 500));
    EXPECT_EQ(size(26, 1, 1000), std::make_pair(104, 520));
    EXPECT_EQ(size(60, 2, 1000), std::make_pair(240, 1200));
    EXPECT_EQ(size(60, 1, 200), std::make_pair(200, 1000));
    EXPECT_EQ(size(0, 1, 0), std::make_pair(0, 0));  // the default cap leaves no candidate
    EXPECT_EQ(size(1, 3, 1000), std::make_pair(100, 10000));
    EXPECT_EQ(size(0, 3, 1000), std::make_pair(100, 10000));
    EXPECT_EQ(size(10, 3, 1000), std::make_pair(200, 20000));
    // minCandidateNum raises the number before the cap applies.
    EXPECT_EQ(size(60, 1, 1000, 1000), std::make_pair(1000, 5000));
    EXPECT_EQ(size(60, 1, 1000, 5000), std::make_pair(1000, 5000));
    EXPECT_EQ(size(300, 1, 2000, 1000), std::make_pair(1200, 6000));
    EXPECT_EQ(size(2, 3, 1000, 500), std::make_pair(500, 50000));
    ScopedEnv noTemp("temp", nullptr), noTEMP("TEMP", nullptr);
    EXPECT_THROW(sizeSearch(100000, 3, 2000000000), KedoError);
}

TEST(Viterbi, StartCandidatesFromSyllableOrNullStartNode) {
    GaussianModelSet models(3);
    SearchTestDict dict = {{"a", {0}}, {"b", {1}}, {"c", {2}}};
    std::mt19937 rng(1);
    std::vector<float> fea = drawFeatures(stateSequence({0}, models, {2}), models, rng);

    // Null start with three reachable words: three live candidates.
    SearchTestNet fan;
    fan.add(-1);
    fan.add(-1);
    for (int w = 0; w < 3; ++w) {
        int n = fan.add(w);
        fan.link(0, n);
        fan.link(n, 1);
    }
    fan.deriveNextWordNodes();
    viterbiClass vit(50, 3);
    int nc = vit.viterbiSearch(fan, dict, fea.data(), 3, 1, 10, models, 1e9f, 0, 0);
    EXPECT_EQ(nc, 10);
    int live = 0;
    for (int k = 0; k < nc; ++k) live += vit.candidateScore(k) > SEARCH_LZERO;
    EXPECT_EQ(live, 3);
    EXPECT_EQ(vit.candidate(0).node, 2);  // best: word a, the features' own

    // A syllable start node: one candidate, there.
    SearchTestNet one;
    one.add(0);
    one.add(-1);
    one.link(0, 1);
    one.deriveNextWordNodes();
    nc = vit.viterbiSearch(one, dict, fea.data(), 3, 1, 10, models, 1e9f, 0, 0);
    live = 0;
    for (int k = 0; k < nc; ++k) live += vit.candidateScore(k) > SEARCH_LZERO;
    EXPECT_EQ(live, 1);
    ArenaCandidate c = vit.candidate(0);
    EXPECT_EQ(c.node, 0);
    EXPECT_FLOAT_EQ(c.score, models.stateLogLikelihood(fea.data(), 0, 0));
    // The final entries close the path at the last frame.
    ASSERT_EQ(c.sylCount(), 1);
    EXPECT_EQ(c.sylIndex[0], 0);
    EXPECT_EQ(c.sylEndFrame[0], 0);
}

TEST(Viterbi, FatalConditionsAndTheirMessages) {
    GaussianModelSet models(2);
    SearchTestDict dict = {{"a", {0, 1}}};
    std::vector<float> fea(3 * 10, 0.0f);
    SearchTestNet net = chainNet({0});

    // The messages carry the line numbers that hosts and logs know.
    EXPECT_EQ(searchError(net, dict, models, fea, 3, 10, 21, 20),
              "Error: m_arenaLen=20, candidateNum=21 (line 431 of file viterbi)");
    EXPECT_EQ(searchError(net, dict, models, fea, 3, 10, 0, 20),
              "Error: nodeNumForFirstFrame=1, candidateNum=0 (line 434 of file viterbi)");

    SearchTestNet twoStarts = net;
    twoStarts.add(0);
    twoStarts.link(3, 1);
    twoStarts.deriveNextWordNodes();
    EXPECT_EQ(searchError(twoStarts, dict, models, fea, 3, 10, 5, 20),
              "Error: more than one starting nodes! (line 268 of file viterbi)");

    SearchTestNet twoEnds = net;
    int dangling = twoEnds.add(0);
    twoEnds.link(2, dangling);
    twoEnds.deriveNextWordNodes();
    EXPECT_EQ(searchError(twoEnds, dict, models, fea, 3, 10, 5, 20),
              "Error: more than one ending nodes! (line 283 of file viterbi)");

    // Input the search cannot walk is refused before the first frame.
    auto refused = [&](const SearchTestDict& d, const GaussianModelSet& m, int T) {
        std::string msg = searchError(net, d, m, fea, 3, T, 5, 20);
        return msg.substr(0, msg.find(" (line "));
    };
    EXPECT_EQ(refused({{"a", {}}}, models, 10), "Error: the syllable of node 2 has no model");
    EXPECT_EQ(refused({{"a", {0, 2}}}, models, 10), "Error: model index 2 of node 2 outside the model set of 2 models");
    EXPECT_EQ(refused({{"a", {-1}}}, models, 10), "Error: model index -1 of node 2 outside the model set of 2 models");
    for (int states : {2, 6}) {
        GaussianModelSet odd(2);
        odd.states[1] = states;
        EXPECT_EQ(refused(dict, odd, 10),
                  "Error: model 1 has " + std::to_string(states) + " states; the search handles 3 to 5");
    }
    EXPECT_EQ(refused(dict, models, 0), "Error: no feature frame to search (T=0, dim=3)");
    EXPECT_EQ(refused(dict, models, 10), "") << "the same search with sound input runs";

    // A syllable of 51 phones needs state index 150 in its last phone.
    SearchTestDict longSyl = {{"long", std::vector<int32_t>(51, 0)}};
    models.states[0] = 3;  // one emitting state: one frame per phone
    models.stayLog = -50.0f;
    std::vector<float> longFea(3 * 60, 0.0f);
    std::string msg = searchError(net, longSyl, models, longFea, 3, 60, 5, 20);
    EXPECT_EQ(msg, "MAX_STATE_NUM_IN_SYL exceeded: index=150, MAX_STATE_NUM_IN_SYL=150 (line 52 of file viterbi)");
}

TEST(Viterbi, HistoryLimitsEndTheRun) {
    // One-state models in a word loop: a new syllable every frame.
    GaussianModelSet models(1);
    models.states[0] = 3;
    models.stayLog = -50.0f;  // re-entering the word beats staying in it
    SearchTestNet loop;
    loop.add(-1);
    loop.add(-1);
    int hub = loop.add(-1);
    int w = loop.add(0);
    loop.link(0, hub);
    loop.link(hub, w);
    loop.link(w, hub);
    loop.link(hub, 1);
    loop.deriveNextWordNodes();
    std::vector<float> fea(3 * 2100, 0.0f);
    SearchTestDict one = {{"a", {0}}};
    EXPECT_EQ(searchError(loop, one, models, fea, 3, 1100, 5, 20), "MAX_SYL_NUM exceeded! (line 385 of file viterbi)");
    // Three phones per syllable: the phone history fills first.
    SearchTestDict three = {{"a", {0, 0, 0}}};
    EXPECT_EQ(searchError(loop, three, models, fea, 3, 2100, 5, 20),
              "MAX_PHONE_NUM (2000) exceeded! (line 400 of file viterbi)");
}

TEST(Viterbi, DescendingCandidateNumber) {
    GaussianModelSet models(2);
    SearchTestDict dict = {{"a", {0}}, {"b", {1}}};
    SearchTestNet net = chainNet({0, 1});
    std::mt19937 rng(3);
    std::vector<float> fea = drawFeatures(stateSequence({0, 1}, models, {25}), models, rng);
    const int T = static_cast<int>(fea.size() / 3);
    ASSERT_EQ(T, 150);
    viterbiClass vit(500, 2);
    // T frames run the frame loop up to frame T - 1.
    const std::pair<int, int> expected[] = {{60, 100}, {61, 80}, {76, 64}, {101, 44}, {121, 26}, {150, 26}};
    for (auto [frames, nc] : expected)
        EXPECT_EQ(vit.viterbiSearch(net, dict, fea.data(), 3, frames, 100, models, 1e9f, 0, 1), nc) << frames;
    EXPECT_EQ(vit.viterbiSearch(net, dict, fea.data(), 3, T, 100, models, 1e9f, 0, 0), 100);
}

TEST(Viterbi, BeamZeroKeepsOnlyTheBestScore) {
    GaussianModelSet models(3);
    SearchTestDict dict = {{"a", {0, 1}}, {"b", {2}}};
    SearchTestNet net = chainNet({0, 1});
    std::mt19937 rng(5);
    std::vector<float> fea = drawFeatures(stateSequence({0, 1, 2}, models, {4}), models, rng);
    viterbiClass vit(200, 3);
    int nc = vit.viterbiSearch(net, dict, fea.data(), 3, 30, 40, models, 0.0f, 0, 0);
    const float best = vit.candidateScore(0);
    ASSERT_GT(best, SEARCH_LZERO);
    for (int k = 1; k < nc; ++k) EXPECT_TRUE(vit.candidateScore(k) == best || vit.candidateScore(k) == SEARCH_LZERO);
}

TEST(Viterbi, EnteringTheEndNodeTakesAnArenaSlot) {
    // A syllable end node z right after a: the candidate entering z is dead
    // but still takes its slot, so the step into b finds the arena full.
    GaussianModelSet models(2);
    models.states[0] = models.states[1] = 3;
    SearchTestDict dict = {{"a", {0}}, {"z", {1}}};
    SearchTestNet net;
    net.add(-1);
    int a = net.add(0), z = net.add(1), b = net.add(0);
    net.link(0, a);
    net.link(a, z);
    net.link(a, b);
    net.link(b, z);
    net.deriveNextWordNodes();
    std::vector<float> fea(3 * 2, 0.0f);
    viterbiClass vit(2, 2);
    testing::internal::CaptureStdout();
    int nc = vit.viterbiSearch(net, dict, fea.data(), 3, 2, 1, models, 1e9f, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning: Arena is full! frameId=1/2, candidateId=0/1, branchId=1/2, lastPos (2) > m_arenaLen-1 (1)!\n");
    ASSERT_EQ(nc, 1);
    // The word before the end node ends the path; its stay step was applied.
    EXPECT_EQ(vit.bestPathIndex(nc), 0);
    ArenaCandidate c = vit.candidate(0);
    EXPECT_EQ(c.node, a);
    EXPECT_EQ(c.sylEndFrame, (std::vector<int32_t>{1}));
    (void)z;
    (void)b;
}

TEST(Viterbi, EqualScoresInOneStateKeepTheLowerSlot) {
    // Two identical words reachable from the start and both leading into the
    // same word: at the step into it both arrive with equal scores.
    GaussianModelSet models(2);
    SearchTestDict dict = {{"a", {0}}, {"b", {1}}};
    SearchTestNet net;
    net.add(-1);
    net.add(-1);
    int a1 = net.add(0), a2 = net.add(0), b = net.add(1);
    net.link(0, a1);
    net.link(0, a2);
    net.link(a1, b);
    net.link(a2, b);
    net.link(b, 1);
    net.deriveNextWordNodes();
    std::mt19937 rng(11);
    std::vector<float> fea = drawFeatures(stateSequence({0, 1}, models, {3}), models, rng);
    viterbiClass vit(200, 2);
    int nc = vit.viterbiSearch(net, dict, fea.data(), 3, 18, 50, models, 1e9f, 0, 0);
    int best = vit.bestPathIndex(nc);
    ASSERT_GE(best, 0);
    ArenaCandidate c = vit.candidate(best);
    ASSERT_EQ(c.sylCount(), 2);
    EXPECT_EQ(c.sylNode[0], a1);  // the copy from the lower slot survived
    EXPECT_EQ(c.sylNode[1], b);
}

TEST(Viterbi, ModelProbOverTwoAndThreeFrames) {
    GaussianModelSet models(2);
    std::mt19937 rng(2);
    std::vector<float> fea = drawFeatures(stateSequence({0, 1}, models, {2}), models, rng);
    const int frames = static_cast<int>(fea.size()) / 3;
    viterbiClass vit(10, 2);
    testing::internal::CaptureStdout();
    EXPECT_EQ(vit.modelProb(fea.data(), 3, frames, 4, 5, models, 1), SEARCH_LZERO);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Warning in viterbiClass::modelProb: modelIdx=1, frameId1=4, frameId2=5, frameNum=2<MAX_STATE_NUM=3\n");
    auto b = [&](int s, int t) { return models.stateLogLikelihood(&fea[t * 3], 1, s); };
    float expected = b(0, 4);
    expected = expected + models.logTrans(1, 1, 2);
    expected = expected + b(1, 5);
    expected = expected + models.logTrans(1, 2, 3);
    expected = expected + b(2, 6);
    EXPECT_EQ(vit.modelProb(fea.data(), 3, frames, 4, 6, models, 1), expected);
    // Over six frames the result is the best of all left-to-right alignments,
    // found here by trying every pair of state boundaries.
    float bestAlignment = SEARCH_LZERO;
    for (int k1 = 7; k1 <= 10; ++k1)
        for (int k2 = k1 + 1; k2 <= 11; ++k2) {
            float sum = 0;
            for (int t = 6; t <= 11; ++t) {
                const int s = t < k1 ? 0 : t < k2 ? 1 : 2;
                sum += b(s, t);
                if (t < 11) sum += models.logTrans(1, s + 1, (t + 1 == k1 || t + 1 == k2) ? s + 2 : s + 1);
            }
            bestAlignment = std::max(bestAlignment, sum);
        }
    EXPECT_NEAR(vit.modelProb(fea.data(), 3, frames, 6, 11, models, 1), bestAlignment,
                1e-4f * std::fabs(bestAlignment));
    // A span past the last feature row is refused, not read.
    EXPECT_GT(vit.modelProb(fea.data(), 3, frames, frames - 3, frames - 1, models, 1), SEARCH_LZERO);
    EXPECT_THROW(vit.modelProb(fea.data(), 3, frames, frames - 3, frames, models, 1), KedoError);
}

TEST(Viterbi, RecoversAKnownAlignmentAndPhoneBoundaries) {
    // Words: a = models 0 1, b = 2, c = 3 4; the net offers a-b-c, a-c and c-b.
    GaussianModelSet models(5);
    SearchTestDict dict = {{"a", {0, 1}}, {"b", {2}}, {"c", {3, 4}}};
    SearchTestNet net;
    net.add(-1);
    net.add(-1);
    int a = net.add(0), b = net.add(1), c = net.add(2), a2 = net.add(0), c2 = net.add(2), c3 = net.add(2),
        b3 = net.add(1);
    net.link(0, a);
    net.link(a, b);
    net.link(b, c);
    net.link(c, 1);
    net.link(0, a2);
    net.link(a2, c2);
    net.link(c2, 1);
    net.link(0, c3);
    net.link(c3, b3);
    net.link(b3, 1);
    net.deriveNextWordNodes();
    std::mt19937 rng(42);
    const std::vector<int> durations = {3, 5, 2, 4, 6, 3, 2, 2, 7, 4};
    std::vector<AlignedFrame> seq = stateSequence({0, 1, 2, 3, 4}, models, durations);
    std::vector<float> fea = drawFeatures(seq, models, rng, 0.8f);
    const int T = static_cast<int>(seq.size());
    viterbiClass vit(300, 5);
    int nc = vit.viterbiSearch(net, dict, fea.data(), 3, T, 60, models, 200.0f, 0, 1);
    int best = vit.bestPathIndex(nc);
    ASSERT_GE(best, 0);
    ArenaCandidate p = vit.candidate(best);
    ASSERT_EQ(p.sylCount(), 3);
    EXPECT_EQ(p.sylNode[0], a);
    EXPECT_EQ(p.sylNode[1], b);
    EXPECT_EQ(p.sylNode[2], c);
    EXPECT_EQ(p.state, 2);
    // Phone boundaries: the last frame of each phone in the drawn sequence.
    std::vector<int> ends;
    for (int t = 0; t < T; ++t)
        if (t == T - 1 || seq[t + 1].model != seq[t].model) ends.push_back(t);
    ASSERT_EQ(p.phoneCount(), 5);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(p.phoneEndFrame[k], ends[k], 1) << k;
    EXPECT_EQ(p.sylEndFrame[2], T - 1);
    EXPECT_EQ(p.phoneIndex, (std::vector<int32_t>{0, 1, 0, 0, 1}));
}

TEST(Viterbi, ArenaSylPathListing) {
    GaussianModelSet models(3);
    SearchTestDict dict = {{"a", {0}}, {"b", {1}}, {"c", {2}}};
    SearchTestNet net = chainNet({0, 1, 2});
    std::mt19937 rng(9);
    std::vector<float> fea = drawFeatures(stateSequence({0, 1, 2}, models, {3}), models, rng);
    viterbiClass vit(100, 3);
    int nc = vit.viterbiSearch(net, dict, fea.data(), 3, 27, 20, models, 1e9f, 0, 0);
    TempDir dir;
    vit.writeArenaSylPath(dir.file("arena.txt"), nc, dict);
    std::string text = readFile(dir.file("arena.txt"));
    ArenaCandidate c = vit.candidate(0);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), strFormat("a-b-c\t%7.3f\n", c.score));
}

TEST(Viterbi, SearchesOnSeparateObjectsRunAtOnce) {
    std::mt19937 rng(77);
    QuantisedModelSet models = QuantisedModelSet::random(rng, 5);
    SearchTestDict dict = randomDict(rng, 6, models.modelNum(), 3);
    SearchTestNet net = randomNet(rng, 6, 12);
    std::vector<float> fea = QuantisedModelSet::randomFeatures(rng, 200);
    auto run = [&](std::vector<float>& scores) {
        viterbiClass vit(400, models.modelNum());
        int nc = vit.viterbiSearch(net, dict, fea.data(), QuantisedModelSet::kDim, 200, 80, models, 1e9f, 0, 1);
        for (int k = 0; k < nc; ++k) scores.push_back(vit.candidateScore(k));
    };
    std::vector<float> alone;
    run(alone);
    std::vector<std::vector<float>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results) threads.emplace_back(run, std::ref(r));
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, alone);
}

}  // namespace
}  // namespace kedo::test
