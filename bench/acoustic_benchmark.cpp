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

kedo::test::SyntheticModelSpec benchSpec() {
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
    spec.mixtureNum = 8;
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

// Without the cache: random (model, state) pairs among the first range(0)
// models against a few feature rows. Items are mixture evaluations (8
// mixtures x 3 streams per state). 64 models (192 states) stand for the
// active states of a search frame, which stay in cache from frame to frame;
// 2000 spreads the calls over the whole 16 MB of tables. range(1) picks the
// kernel: 0 the one the engine uses, 1 the four-lane portable one, 2 the
// eight-lane AVX2 one (skipped where the processor lacks it).
void BM_StateLogLikelihood(benchmark::State& state) {
    const int modelNum = static_cast<int>(state.range(0));
    const int kernel = static_cast<int>(state.range(1));
    if (kernel == 2 && !kedo::likelihoodAvx2Available()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    auto* fn = kernel == 0 ? static_cast<float (*)(const float*, const macroClass&, int, int)>(kedo::stateLogLikelihood)
               : kernel == 1 ? kedo::stateLogLikelihoodPortable
                             : kedo::stateLogLikelihoodAvx2;
    macroClass set = kedo::test::makeSyntheticModels(benchSpec());
    set.sortModels();
    set.convertModels();
    std::mt19937 rng(5);
    std::vector<std::vector<float>> rows;
    for (int i = 0; i < 16; ++i) rows.push_back(kedo::test::drawFeatureRow(set, static_cast<int>(rng() % 2000), i % 3, rng));
    std::vector<std::pair<int, int>> targets;
    for (int i = 0; i < 4096; ++i) targets.emplace_back(static_cast<int>(rng() % modelNum), static_cast<int>(rng() % 3));
    size_t i = 0;
    for (auto _ : state) {
        const auto& [model, st] = targets[i & 4095];
        benchmark::DoNotOptimize(fn(rows[i & 15].data(), set, model, st));
        ++i;
    }
    state.SetItemsProcessed(state.iterations() * 3 * 8);
}
BENCHMARK(BM_StateLogLikelihood)->ArgNames({"models", "kernel"})->ArgsProduct({{64, 2000}, {0, 1, 2}});

}  // namespace

BENCHMARK_MAIN();
