// Decoding the compressed recordings browsers and phones send: the bundled
// English sample (2.5 s) as WebM/Opus, Ogg/Opus, M4A/AAC and MP3, made once by
// ffmpeg, decoded and resampled to 16 kHz mono per iteration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "audio/audio_file.h"

namespace {

const char* const kFormats[] = {"webm", "ogg", "m4a", "mp3"};
const char* const kCodecs[] = {"libopus", "libopus", "aac", "libmp3lame"};

std::string encoded(int i) {
    static std::string folder = [] {
        char name[] = "/tmp/kedo-media-bench-XXXXXX";
        return std::string(mkdtemp(name) ? name : "/tmp");
    }();
    std::string path = folder + "/sample." + kFormats[i];
    if (access(path.c_str(), R_OK) != 0) {
        std::string cmd = std::string("ffmpeg -nostdin -loglevel error -y -i '") + KEDO_SOURCE_DIR +
                          "/tests/data/toy/kedoData/samples/english.wav' -c:a " + kCodecs[i] + " '" + path + "'";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return path;
}

void BM_DecodeMedia(benchmark::State& state) {
    int i = static_cast<int>(state.range(0));
    std::string path = encoded(i);
    if (path.empty()) {
        state.SkipWithError("ffmpeg could not make the file");
        return;
    }
    state.SetLabel(kFormats[i]);
    for (auto _ : state) benchmark::DoNotOptimize(kedo::readAudioFile(path).samples.data());
}
BENCHMARK(BM_DecodeMedia)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
