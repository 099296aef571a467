// Assessment scoring of a 3 s utterance (300 frames: silences and ten
// three-phone words) on the synthetic model set: the phone ranking with every
// model competing (forced alignments by the search's modelProb), the
// discounts and timber scores, and the XML document with volume and pitch
// tracks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "../tests/support/synthetic_models.cpp"
#include "decoder/model_set_adapter.h"
#include "decoder/viterbi.h"
#include "scoring/confidence.h"
#include "scoring/discount.h"
#include "scoring/tracks.h"
#include "scoring/xml_result.h"

namespace {

using namespace kedo;

constexpr int kFramesPerState = 3;
constexpr int kWords = 10;

struct Scenario {
    macroClass set;
    std::vector<float> features;
    mlfClass mlf;
    recogParam p;
    StrVec names;
    int dim = 0;

    Scenario() {
        set = test::makeSyntheticModels({});
        set.sortModels();
        set.convertModels();
        set.modelNameList(names);
        dim = test::featureDim(set);
        std::mt19937 rng(3);
        std::vector<std::pair<int, int>> states;
        int frame = 0;
        auto addNode = [&](const std::string& name, const StrVec& phones, int framesPerState) {
            mlfNode node;
            node.name = name;
            node.startFrame = frame;
            for (const std::string& ph : phones) {
                mlfPhone p;
                p.name = ph;
                p.index = set.findModel(ph);
                p.startFrame = frame;
                for (int s = 0; s < 3; ++s)
                    for (int k = 0; k < framesPerState; ++k) states.emplace_back(p.index, s);
                frame += 3 * framesPerState;
                p.endFrame = frame - 1;
                node.phones.push_back(p);
            }
            node.endFrame = frame - 1;
            mlf.nodes.push_back(node);
        };
        const StrVec vowels = {"aa", "ae", "ah", "eh", "ih", "iy", "ow", "uw"};
        const StrVec consonants = {"b", "d", "f", "g", "k", "l", "m", "n", "p", "r", "s", "t", "v", "z"};
        addNode("sil", {"sil"}, 5);
        for (int w = 0; w < kWords; ++w) {
            addNode(strFormat("w%d", w),
                    {consonants[w % consonants.size()], vowels[w % vowels.size()],
                     consonants[(w * 5 + 3) % consonants.size()]},
                    kFramesPerState);
        }
        addNode("sil", {"sil"}, 5);
        features = test::drawFeatures(set, states, rng);
        mlf.designatedSylCount = kWords;
        mlf.identifiedSylCount = kWords;
        mlf.rankScoreParams = {0.05f, 0.5f, 0};
        mlf.discountRatio = {0.5f, 0.9f, 0.9f, 0.9f, 1, 0.9f, 0.9f};
        mlf.discountRatioRead = true;
        p.useAllModelAsCompetingModel = 1;
        p.language = "english";
    }

    // Ranks every phone with the search's forced alignment.
    void rank(viterbiClass& vit, const searchModelSet& view) {
        rankPhones(mlf, [&](int f1, int f2, int m) { return vit.modelProb(features.data(), dim, static_cast<int>(features.size()) / dim, f1, f2, view, m); },
                   set, p);
    }
};

void BM_RankPhonesAllModels(benchmark::State& state) {
    Scenario sc;
    macroModelSet view(sc.set);
    viterbiClass vit(100, sc.set.m_modelNum);
    for (auto _ : state) {
        sc.rank(vit, view);
        benchmark::DoNotOptimize(sc.mlf.nodes[1].phones[0].rank);
    }
    state.counters["frames"] = static_cast<double>(sc.features.size() / sc.dim);
}
BENCHMARK(BM_RankPhonesAllModels)->Unit(benchmark::kMillisecond);

void BM_DiscountsAndTimberScores(benchmark::State& state) {
    Scenario sc;
    macroModelSet view(sc.set);
    viterbiClass vit(100, sc.set.m_modelNum);
    sc.rank(vit, view);
    const int last = static_cast<int>(sc.mlf.nodes.size()) - 1;
    for (auto _ : state) {
        computeDiscounts(sc.mlf, 0, last, true, sc.mlf.designatedSylCount);
        computeTimberScores(sc.mlf, 0, last, sc.p, sc.set);
        benchmark::DoNotOptimize(sc.mlf.score);
    }
}
BENCHMARK(BM_DiscountsAndTimberScores)->Unit(benchmark::kMicrosecond);

void BM_XmlDocument(benchmark::State& state) {
    Scenario sc;
    macroModelSet view(sc.set);
    viterbiClass vit(100, sc.set.m_modelNum);
    sc.rank(vit, view);
    const int n = static_cast<int>(sc.features.size() / sc.dim);
    std::vector<float> volume(n), pitch(n);
    for (int i = 0; i < n; ++i) {
        volume[i] = 1000.0f + static_cast<float>(i % 97) * 13.25f;
        pitch[i] = i % 7 ? 55.5f + static_cast<float>(i % 11) * 0.37f : 0.0f;
    }
    fillNodeTracks(sc.mlf, volume.data(), pitch.data(), n);
    size_t bytes = 0;
    for (auto _ : state) {
        std::string doc = xmlDocument(sc.mlf, sc.names, sc.p);
        bytes = doc.size();
        benchmark::DoNotOptimize(doc.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_XmlDocument)->Unit(benchmark::kMicrosecond);

// The ranking of one phone against every model of a set the size of a
// trained English one: 1500 right-context triphones, 3 states, 3 streams, 8
// mixtures. range(0): 0 every model distinct, 1 with two in five models
// copies of another (tied contexts, as in the trained English set, where 561
// of 932 models are distinct). range(1): 0 one forced alignment per
// competitor (modelProb), 1 all competitors together (modelProbs). Ten
// phones of 9 frames per iteration; items are phones.
void BM_RankPhoneAgainstAllModels(benchmark::State& state) {
    const bool tied = state.range(0) != 0, together = state.range(1) != 0;
    test::SyntheticModelSpec spec;
    const StrVec phones = test::syntheticPhoneNames();
    const size_t n = phones.size();
    for (size_t i = 0; spec.names.size() < 1500; ++i) {
        const size_t k = (i * 7919) % (n * n * n);
        spec.names.push_back(
            strFormat("%s-%s+%s", phones[k / (n * n)].c_str(), phones[(k / n) % n].c_str(), phones[k % n].c_str()));
    }
    spec.mixtureNum = 8;
    macroClass set = test::makeSyntheticModels(spec);
    if (tied) {
        for (size_t i = 0; i + 1 < set.m_models.size(); i += 5) {
            for (size_t c = 1; c <= 2; ++c) {
                char name[sizeof set.m_models[0].name];
                std::memcpy(name, set.m_models[i + c].name, sizeof name);
                set.m_models[i + c] = set.m_models[i];
                std::memcpy(set.m_models[i + c].name, name, sizeof name);
            }
        }
    }
    set.sortModels();
    set.convertModels();
    const int dim = test::featureDim(set);
    std::mt19937 rng(9);
    mlfClass mlf;
    std::vector<std::pair<int, int>> states;
    mlfNode node;
    node.name = "word";
    for (int k = 0; k < 10; ++k) {
        mlfPhone ph;
        ph.index = static_cast<int>(rng() % static_cast<unsigned>(set.m_modelNum));
        ph.name = set.m_models[ph.index].name;
        ph.startFrame = static_cast<int>(states.size());
        for (int s = 0; s < 3; ++s)
            for (int f = 0; f < 3; ++f) states.emplace_back(ph.index, s);
        ph.endFrame = static_cast<int>(states.size()) - 1;
        node.phones.push_back(ph);
    }
    node.startFrame = 0;
    node.endFrame = static_cast<int>(states.size()) - 1;
    mlf.nodes.push_back(node);
    const std::vector<float> features = test::drawFeatures(set, states, rng);
    const int frames = static_cast<int>(features.size()) / dim;
    recogParam p;
    p.useAllModelAsCompetingModel = 1;
    macroModelSet view(set);
    viterbiClass vit(100, set.m_modelNum);
    for (auto _ : state) {
        if (together)
            rankPhonesTogether(
                mlf,
                [&](int f1, int f2, const IntVec& models, std::vector<float>& out) {
                    vit.modelProbs(features.data(), dim, frames, f1, f2, view, models.data(), models.size(), out.data());
                },
                set, p);
        else
            rankPhones(mlf, [&](int f1, int f2, int m) { return vit.modelProb(features.data(), dim, frames, f1, f2, view, m); },
                       set, p);
        benchmark::DoNotOptimize(mlf.nodes[0].phones[0].rank);
    }
    state.SetItemsProcessed(state.iterations() * 10);  // phones
}
BENCHMARK(BM_RankPhoneAgainstAllModels)->ArgNames({"tied", "together"})->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
