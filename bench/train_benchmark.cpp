// One Baum-Welch iteration of the trainer: E-step over every utterance and
// M-step, at 8 mixtures per stream, on one thread and on two.
//
// The data: 40 phones with three emitting states and 8 mixtures per stream
// (the synthetic generator of the tests, compiled in here), and 60
// utterances of about 3 s sampled from them, each a composite of sil, six
// phones with optional short pauses between pairs, and sil. The counter
// "realtime" is seconds of audio per second of wall-clock time.
#include <benchmark/benchmark.h>

#include <random>
#include <thread>

#include "../tests/support/synthetic_models.cpp"
#include "train/baum_welch.h"

namespace {

using namespace kedo;

struct benchData {
    macroClass models;     // file form
    macroClass converted;  // as the E-step reads it
    std::vector<compositeHmm> hmms;
    std::vector<std::vector<float>> features;
    std::vector<int> frames;
    std::vector<std::vector<float>> floor;
    double seconds = 0;
};

const benchData& data() {
    static benchData d = [] {
        benchData b;
        test::SyntheticModelSpec spec;
        StrVec phones = test::syntheticPhoneNames();
        phones.resize(40);
        spec.names = phones;
        spec.mixtureNum = 8;
        spec.centreSpread = 1.5f;
        spec.variance = 1.0f;
        b.models = test::makeSyntheticModels(spec);
        b.converted = b.models;
        computeGconsts(b.converted);
        b.converted.convertModels();
        std::mt19937 rng(3);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        const int n = b.models.m_modelNum;
        for (int k = 0; k < 60; ++k) {
            compositeHmm h;
            h.add(0);
            for (int w = 0; w < 6; ++w) {
                if (w > 0 && w % 2 == 0) h.add(1, true);
                h.add(2 + static_cast<int>(rng() % (n - 2)));
            }
            h.add(0);
            std::vector<std::pair<int, int>> seq;
            for (size_t m = 0; m < h.models.size(); ++m) {
                if (h.optional[m]) continue;
                for (int s = 0; s < 3; ++s) {
                    int len = 3 + static_cast<int>(rng() % 12);
                    for (int f = 0; f < len; ++f) seq.push_back({h.models[m], s});
                }
            }
            b.features.push_back(test::drawFeatures(b.models, seq, rng));
            b.frames.push_back(static_cast<int>(seq.size()));
            b.seconds += seq.size() / 100.0;
            b.hmms.push_back(h);
        }
        b.floor.assign(3, std::vector<float>(13, 0.01f));
        return b;
    }();
    return d;
}

void accumulateRange(const benchData& d, size_t first, size_t step, bwAccumulators& acc) {
    for (size_t i = first; i < d.hmms.size(); i += step)
        accumulateUtterance(d.converted, d.hmms[i], d.features[i].data(), d.frames[i], 39, 400, fillerPooling{}, acc);
}

// One iteration: the E-step on `threads` threads, each with its own sums,
// merged in thread order, then the M-step.
void BM_BaumWelchIteration(benchmark::State& state) {
    const benchData& d = data();
    const int threads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<bwAccumulators> part(threads, bwAccumulators(d.models.m_modelNum, 3, 8));
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) pool.emplace_back([&, t] { accumulateRange(d, t, threads, part[t]); });
        accumulateRange(d, 0, threads, part[0]);
        for (auto& t : pool) t.join();
        for (int t = 1; t < threads; ++t) part[0].add(part[t]);
        macroClass m = d.models;
        reestimate(m, part[0], d.floor, fillerPooling{});
        benchmark::DoNotOptimize(m.m_models.data());
    }
    state.counters["realtime"] = benchmark::Counter(d.seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["audio_s"] = d.seconds;
}
BENCHMARK(BM_BaumWelchIteration)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// The memory the E-step holds per thread: one set of sums for a model set
// of 2000 models at 8 mixtures per stream (it does not grow with the corpus).
void BM_AccumulatorMemory(benchmark::State& state) {
    const int models = static_cast<int>(state.range(0));
    for (auto _ : state) {
        bwAccumulators acc(models, 3, 8);
        acc.clear();
        benchmark::DoNotOptimize(&acc);
    }
    double bytes = static_cast<double>(models) * 3 * 3 * 8 * bwAccumulators::kMixStride * sizeof(double) +
                   static_cast<double>(models) * 3 * 2 * sizeof(double);
    state.counters["MB_per_thread"] = bytes / 1e6;
    state.counters["model_set_MB"] = static_cast<double>(models) * sizeof(HmmModel) / 1e6;
}
BENCHMARK(BM_AccumulatorMemory)->Arg(2000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
