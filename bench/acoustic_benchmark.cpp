// Model set reading (binary and text) and state likelihoods.
//
// The set: 2000 triphone models, 3 emitting states, 3 streams, 8 mixtures,
// from the synthetic generator of the tests (compiled in here, as the
// benchmarks link the engine only).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "../tests/support/synthetic_models.cpp"
#include "acoustic/macro.h"

namespace {

using kedo::macroClass;

kedo::test::SyntheticModelSpec benchSpec(int mixtures = 8) {
    kedo::test::SyntheticModelSpec spec;
    const kedo::StrVec phones = kedo::test::syntheticPhoneNames();
    const size_t n = phones.size();
    // 2000 distinct triphones in a scattered order, so that sorting has work.
    for (size_t i = 0; spec.names.size() < 2000; ++i) {
        size_t k = (i * 7919) % (n * n * n);
        spec.names.push_back(phones[k / (n * n)] + "-" + phones[(k / n) % n] + "+" + phones[k % n]);
    }
    spec.numStates = 5;
    spec.streamNum = 3;
    spec.mixtureNum = mixtures;
    return spec;
}

// The set written once per form into the temp folder.
const std::string& modelFile(const char* ext) {
    static std::string paths[2];
    std::string& path = paths[std::string(ext) == "mac" ? 0 : 1];
    if (path.empty()) {
        path = (std::filesystem::temp_directory_path() / ("kedo_bench_models." + std::string(ext))).string();
        kedo::test::makeSyntheticModels(benchSpec()).writeModels(path);
    }
    return path;
}

void BM_ReadBinaryModels(benchmark::State& state) {
    const std::string& path = modelFile("macb");
    for (auto _ : state) {
        macroClass set;
        set.readModels(path, true);
        benchmark::DoNotOptimize(set.m_models.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadBinaryModels)->Unit(benchmark::kMillisecond);

void BM_ReadTextModels(benchmark::State& state) {
    const std::string& path = modelFile("mac");
    for (auto _ : state) {
        macroClass set;
        set.readModels(path, true);
        benchmark::DoNotOptimize(set.m_models.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadTextModels)->Unit(benchmark::kMillisecond);

// The kernels' common ground: the set with `mixtures` per stream, 16 feature
// rows and 4096 random (model, state) targets among its first `modelNum`
// models.
struct KernelBench {
    macroClass set;
    std::vector<std::vector<float>> rows;
    std::vector<std::pair<int, int>> targets;

    KernelBench(int modelNum, int mixtures) : set(kedo::test::makeSyntheticModels(benchSpec(mixtures))) {
        set.sortModels();
        set.convertModels();
        std::mt19937 rng(5);
        for (int i = 0; i < 16; ++i)
            rows.push_back(kedo::test::drawFeatureRow(set, static_cast<int>(rng() % 2000), i % 3, rng));
        for (int i = 0; i < 4096; ++i)
            targets.emplace_back(static_cast<int>(rng() % modelNum), static_cast<int>(rng() % 3));
    }
};

// Skips the AVX2 kernel (2) where the processor lacks it.
bool kernelAvailable(benchmark::State& state, int kernel) {
    if (kernel == 2 && !kedo::likelihoodAvx2Available()) {
        state.SkipWithError("no AVX2 on this processor");
        return false;
    }
    return true;
}

// Without the cache: random (model, state) pairs among the first range(0)
// models against a few feature rows. Items are mixture evaluations
// (range(2) mixtures, 8 or 4, x 3 streams per state). 64 models (192 states)
// stand for the active states of a search frame, which stay in cache from
// frame to frame; 2000 spreads the calls over the whole 16 MB of tables (8
// MB with 4 mixtures). range(1) picks the kernel: 0 the one the engine uses,
// 1 the four-lane portable one, 2 the eight-lane AVX2 one (skipped where the
// processor lacks it).
void BM_StateLogLikelihood(benchmark::State& state) {
    const int kernel = static_cast<int>(state.range(1));
    if (!kernelAvailable(state, kernel)) return;
    auto* fn = kernel == 0 ? static_cast<float (*)(const float*, const macroClass&, int, int)>(kedo::stateLogLikelihood)
               : kernel == 1 ? kedo::stateLogLikelihoodPortable
                             : kedo::stateLogLikelihoodAvx2;
    const KernelBench b(static_cast<int>(state.range(0)), static_cast<int>(state.range(2)));
    size_t i = 0;
    for (auto _ : state) {
        const auto& [model, st] = b.targets[i & 4095];
        benchmark::DoNotOptimize(fn(b.rows[i & 15].data(), b.set, model, st));
        ++i;
    }
    state.SetItemsProcessed(state.iterations() * 3 * state.range(2));
}
BENCHMARK(BM_StateLogLikelihood)
    ->ArgNames({"models", "kernel", "mixtures"})
    ->ArgsProduct({{64, 2000}, {0, 1, 2}, {8, 4}});

// The same states asked in batches of range(3) (a frame's worth of a
// search), through the batch call of kernel range(1).
void BM_StateLogLikelihoodBatch(benchmark::State& state) {
    const int kernel = static_cast<int>(state.range(1));
    if (!kernelAvailable(state, kernel)) return;
    auto* fn = kernel == 0 ? kedo::stateLogLikelihoods
               : kernel == 1 ? kedo::stateLogLikelihoodsPortable
                             : kedo::stateLogLikelihoodsAvx2;
    const KernelBench b(static_cast<int>(state.range(0)), static_cast<int>(state.range(2)));
    const size_t batch = static_cast<size_t>(state.range(3));
    std::vector<kedo::stateQuery> queries(4096);
    for (size_t k = 0; k < queries.size(); ++k)
        queries[k] = kedo::stateQuery{b.rows[k & 15].data(), b.targets[k].first, b.targets[k].second};
    std::vector<float> out(batch);
    size_t i = 0;
    for (auto _ : state) {
        fn(b.set, queries.data() + i, batch, out.data());
        benchmark::DoNotOptimize(out.data());
        i = (i + batch) % (queries.size() - batch + 1);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(batch) * 3 * state.range(2));
}
BENCHMARK(BM_StateLogLikelihoodBatch)
    ->ArgNames({"models", "kernel", "mixtures", "batch"})
    ->ArgsProduct({{64, 2000}, {0, 1, 2}, {8, 4}, {32}});

}  // namespace

BENCHMARK_MAIN();
