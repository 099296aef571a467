// The Viterbi search, the real one against the full-copy reference of the
// tests, on the synthetic model set: a recognition over 200 candidate
// sentences and an assessment of one 15-word sentence, each on 3 s and on
// 30 s of features, with the pipeline's sizing rule. The counter
// "per_frame" is the search time per 10 ms frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "../tests/decoder/naive_viterbi.h"
#include "../tests/support/known_alignment.h"
#include "../tests/support/search_fixtures.h"
#include "../tests/support/synthetic_models.cpp"
#include "decoder/model_set_adapter.h"
#include "lexicon/dict.h"
#include "decoder/viterbi.h"

namespace {

using namespace kedo;
using namespace kedo::test;

struct Scenario {
    SearchTestNet net;
    pronDict dict;
    KnownAlignment features;
    int candidateNum = 0;
    int arenaLen = 0;
};

const macroClass& models() {
    static const macroClass set = [] {
        macroClass s = makeSyntheticModels(SyntheticModelSpec{});
        s.sortModels();
        s.convertModels();
        return s;
    }();
    return set;
}

pronDict makeDict(std::mt19937& rng, int words) {
    StrVec phones = syntheticPhoneNames();
    phones.erase(std::remove_if(phones.begin(), phones.end(), [](const std::string& p) { return p == "sil" || p == "sp"; }),
                 phones.end());
    std::set<std::string> used;
    pronDict dict;
    while (static_cast<int>(dict.size()) < words) {
        int n = std::uniform_int_distribution<int>(2, 3)(rng);
        std::string word;
        IntVec ms;
        for (int k = 0; k < n; ++k) {
            const std::string& ph = phones[std::uniform_int_distribution<size_t>(0, phones.size() - 1)(rng)];
            word += (k ? "_" : "") + ph;
            ms.push_back(models().findModel(ph));
        }
        if (used.insert(word).second) dict.push_back({word, ms});
    }
    dict.push_back({"sil", {models().findModel("sil")}});
    std::sort(dict.begin(), dict.end(), [](const auto& a, const auto& b) { return a.word < b.word; });
    return dict;
}

// Prefix tree over the sentences between two silences; sizing as the
// pipeline does it (candidate number 4 x fan-out, at least 100 when below
// 20, capped at 1000; arena 5 x candidate number).
Scenario makeScenario(int sentences, int words, int stretch, const std::vector<int>& durations) {
    std::mt19937 rng(static_cast<uint32_t>(sentences * 1000 + words));
    Scenario sc;
    sc.dict = makeDict(rng, 60);
    const int sil = pronDictFind(sc.dict, "sil");
    SearchTestNet& net = sc.net;
    net.add(-1);
    net.add(-1);
    int head = net.add(sil), tail = net.add(sil);
    net.link(0, head);
    net.link(tail, 1);
    std::vector<IntVec> list;
    for (int s = 0; s < sentences; ++s) {
        IntVec sent;
        for (int k = 0; k < words; ++k) {
            int w;
            do w = std::uniform_int_distribution<int>(0, static_cast<int>(sc.dict.size()) - 1)(rng);
            while (w == sil);
            sent.push_back(w);
        }
        int at = head;
        for (int w : sent) {
            int child = -1;
            for (int c : net.nodes[at].succ)
                if (net.nodes[c].sylIndex == w) child = c;
            if (child < 0) {
                child = net.add(w);
                net.link(at, child);
            }
            at = child;
        }
        if (std::find(net.nodes[at].succ.begin(), net.nodes[at].succ.end(), tail) == net.nodes[at].succ.end())
            net.link(at, tail);
        list.push_back(sent);
    }
    net.deriveNextWordNodes();
    size_t m = 0;
    for (const auto& n : net.nodes) m = std::max(m, n.nextWordNodes.size());
    sc.candidateNum = 4 * static_cast<int>(m);
    if (sc.candidateNum < 20) sc.candidateNum = 100;
    sc.candidateNum = std::min(sc.candidateNum, 1000);
    sc.arenaLen = 5 * sc.candidateNum;

    std::vector<std::vector<int>> spoken;
    spoken.push_back(sc.dict[sil].models);
    for (int w : list[sentences / 2]) spoken.push_back(sc.dict[w].models);
    spoken.push_back(sc.dict[sil].models);
    sc.features = knownAlignment(models(), spoken, durations, rng, 1.0f, stretch);
    return sc;
}

const Scenario& scenario(int which) {
    static std::map<int, std::unique_ptr<Scenario>> cache;
    auto& slot = cache[which];
    if (!slot) {
        switch (which) {
            case 0: slot = std::make_unique<Scenario>(makeScenario(200, 8, 1, {3, 5, 7, 4, 6, 5})); break;
            case 1: slot = std::make_unique<Scenario>(makeScenario(200, 80, 1, {3, 5, 7, 4, 6, 5})); break;
            case 2: slot = std::make_unique<Scenario>(makeScenario(1, 15, 1, {2, 3, 2, 3, 2})); break;
            default: slot = std::make_unique<Scenario>(makeScenario(1, 15, 10, {2, 3, 2, 3, 2})); break;
        }
    }
    return *slot;
}

// Beams: 200 below the best (the synthetic models' well-separated Gaussians
// leave few candidates inside it) and none (every candidate slot in use).
float beam(int64_t arg) { return arg == 0 ? 200.0f : 1e9f; }

void BM_Search(benchmark::State& state) {
    const Scenario& sc = scenario(static_cast<int>(state.range(0)));
    macroModelSet ms(models());
    viterbiClass vit(sc.arenaLen, models().m_modelNum);
    int nc = 0;
    for (auto _ : state) {
        nc = vit.viterbiSearch(sc.net, sc.dict, sc.features.features.data(), sc.features.dim, sc.features.frames(),
                               sc.candidateNum, ms, beam(state.range(1)), 0, 1);
        benchmark::DoNotOptimize(nc);
    }
    state.counters["frames"] = sc.features.frames();
    state.counters["candidateNum"] = sc.candidateNum;
    state.counters["per_frame"] = benchmark::Counter(sc.features.frames(), benchmark::Counter::kIsIterationInvariantRate |
                                                                             benchmark::Counter::kInvert);
    if (vit.bestPathIndex(nc) < 0) state.SkipWithError("no path end found");
}

void BM_SearchFullCopy(benchmark::State& state) {
    const Scenario& sc = scenario(static_cast<int>(state.range(0)));
    macroModelSet ms(models());
    NaiveViterbi<SearchTestNet, pronDict> ref(sc.arenaLen, sc.net, sc.dict);
    int nc = 0;
    for (auto _ : state) {
        nc = ref.viterbiSearch(sc.features.features.data(), sc.features.dim, sc.features.frames(), sc.candidateNum, ms,
                               beam(state.range(1)), 1);
        benchmark::DoNotOptimize(nc);
    }
    state.counters["frames"] = sc.features.frames();
    state.counters["per_frame"] = benchmark::Counter(sc.features.frames(), benchmark::Counter::kIsIterationInvariantRate |
                                                                             benchmark::Counter::kInvert);
}

// First argument: 0 recognition over 200 sentences, 3 s; 1 the same, 30 s;
// 2 assessment of 15 words, 3 s; 3 the same, 30 s. Second: 0 beam 200,
// 1 no beam.
BENCHMARK(BM_Search)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchFullCopy)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
