// Parameter file reading and string splitting.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "task/recog_param.h"
#include "util/str_util.h"

namespace {

void BM_StrSplit(benchmark::State& state) {
    std::string line;
    for (int i = 0; i < 200; ++i) line += "word" + std::to_string(i) + "-";
    kedo::StrVec out;
    for (auto _ : state) {
        kedo::strSplit(line, '-', out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(BM_StrSplit);

void BM_ReadRecogParam(benchmark::State& state) {
    std::string path = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/english.sa.prm";
    kedo::recogParam p;
    for (auto _ : state) kedo::readRecogParam(path, p);
}
BENCHMARK(BM_ReadRecogParam);

}  // namespace

BENCHMARK_MAIN();
