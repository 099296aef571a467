// Audio loading: WAV (PCM and µ-law) and FLV with Nellymoser decoding.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "audio/audio_file.h"
#include "audio/flv_audio.h"
#include "audio/wav_file.h"

namespace {

constexpr int kSeconds = 10;

std::string tempPath(const char* ending) {
    return "/tmp/kedo_audio_bench_" + std::to_string(getpid()) + "." + ending;
}

// A 10-second 16 kHz mono recording written as PCM or µ-law.
std::string makeWav(bool muLaw) {
    kedo::soundBuffer b(1, 16000, 16);
    std::vector<uint8_t> bytes(kSeconds * 32000);
    std::mt19937 rng(1);
    for (auto& x : bytes) x = static_cast<uint8_t>(rng());
    b.setData(std::move(bytes));
    std::string path = tempPath(muLaw ? "mu.wav" : "wav");
    kedo::writeWav(b, path, muLaw);
    return path;
}

void BM_ReadWav(benchmark::State& state) {
    std::string path = makeWav(state.range(0) != 0);
    for (auto _ : state) benchmark::DoNotOptimize(kedo::readAudioFile(path).samples.data());
    state.SetItemsProcessed(state.iterations() * kSeconds * 16000);
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadWav)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// 10 seconds of 16 kHz Nellymoser: 625 blocks, one per tag as encoders
// write them.
void BM_DecodeFlv(benchmark::State& state) {
    std::string flv("FLV\x01\x04\0\0\0\x09", 9);
    std::mt19937 rng(2);
    uint32_t prev = 0;
    auto be = [&](uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) flv += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    for (int b = 0; b < kSeconds * 16000 / 256; ++b) {
        be(prev, 4);
        flv += '\x08';
        be(65, 3);
        be(0, 3);
        flv += '\0';
        be(0, 3);
        flv += '\x42';
        for (int i = 0; i < 64; ++i) flv += static_cast<char>(rng());
        prev = 11 + 65;
    }
    be(prev, 4);
    for (auto _ : state) {
        kedo::FlvAudio a = kedo::decodeFlvImage(reinterpret_cast<const uint8_t*>(flv.data()), flv.size(), "bench.flv");
        benchmark::DoNotOptimize(a.samples.data());
    }
    state.SetItemsProcessed(state.iterations() * kSeconds * 16000);
}
BENCHMARK(BM_DecodeFlv)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
