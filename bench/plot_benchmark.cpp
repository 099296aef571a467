// Result pictures: reading a run's output folder (output.xml and
// output.wave) and drawing the SVG, on the golden English run (2.5 s of
// audio) and on the same run with a recording ten times as long.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "plot/result_picture.h"

namespace {

const std::string kGolden = std::string(KEDO_SOURCE_DIR) + "/tests/golden/english";

// A copy of the golden run whose output.wave repeats the recording ten times.
std::string longRun() {
    static const std::string folder = [] {
        namespace fs = std::filesystem;
        fs::path dir = fs::temp_directory_path() / "kedo_plot_benchmark";
        fs::create_directories(dir);
        fs::copy_file(kGolden + "/output.xml", dir / "output.xml", fs::copy_options::overwrite_existing);
        std::ifstream in(kGolden + "/output.wave");
        std::stringstream wave;
        wave << in.rdbuf();
        std::string line = wave.str();
        while (!line.empty() && line.back() == '\n') line.pop_back();
        std::ofstream out(dir / "output.wave");
        for (int i = 0; i < 10; ++i) out << line;
        out << '\n';
        return dir.string();
    }();
    return folder;
}

void BM_ReadPictureData(benchmark::State& state) {
    const std::string folder = state.range(0) ? longRun() : kGolden;
    for (auto _ : state) benchmark::DoNotOptimize(kedo::readPictureData(folder));
}
BENCHMARK(BM_ReadPictureData)->Arg(0)->Arg(1)->ArgName("long")->Unit(benchmark::kMillisecond);

void BM_DrawPicture(benchmark::State& state) {
    const kedo::PictureData data = kedo::readPictureData(kGolden);
    for (auto _ : state) benchmark::DoNotOptimize(kedo::pictureSvg(data));
}
BENCHMARK(BM_DrawPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
