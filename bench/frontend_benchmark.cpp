// Signal front end speed on 10 s of 16 kHz audio: conditioning, end-point
// detection and MFCC together, and pitch tracking. The "xRealTime" counter
// is seconds of audio processed per second of one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "frontend/epd.h"
#include "frontend/mfcc.h"
#include "frontend/pitch.h"
#include "frontend/wave_condition.h"
#include "task/recog_param.h"

namespace {

constexpr int kRate = 16000;
constexpr int kSeconds = 10;

// Speech-like test wave: voiced stretches with a gliding pitch and changing
// loudness between pauses of low noise, with a small DC offset.
std::vector<int32_t> speechLikeWave() {
    std::vector<int32_t> x(kRate * kSeconds);
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 40.0);
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        double t = static_cast<double>(i) / kRate;
        double cycle = std::fmod(t, 1.25);
        double v = noise(rng) + 25.0;
        if (cycle > 0.2 && cycle < 1.05) {
            double f0 = 110.0 + 60.0 * std::sin(2.0 * M_PI * t * 0.7);
            phase += 2.0 * M_PI * f0 / kRate;
            double env = 9000.0 * std::sin(M_PI * (cycle - 0.2) / 0.85);
            for (int h = 1; h <= 10; ++h) v += env * std::sin(h * phase) / (h * 2.0);
        }
        x[i] = static_cast<int32_t>(std::lround(v));
    }
    return x;
}

void BM_FrontEnd(benchmark::State& state) {
    const std::vector<int32_t> wave = speechLikeWave();
    kedo::recogParam p;
    p.useEpd = 1;
    p.featureConfigFile = "/nonexistent/default.cfg";  // defaults
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        kedo::SampleArray w;
        w.samples = wave;
        w.rate = kRate;
        w.bits = 16;
        std::FILE* old = stdout;
        stdout = devnull;
        kedo::conditionWave(w, p);
        int begin = 0, end = 0;
        kedo::FeatureMatrix fea = kedo::epdAndMfcc(p, w.samples.data(), w.count(), w.rate, w.bits, 320, 160, begin, end);
        stdout = old;
        benchmark::DoNotOptimize(fea.values.data());
    }
    std::fclose(devnull);
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrontEnd)->Unit(benchmark::kMillisecond);

void BM_Mfcc(benchmark::State& state) {
    const std::vector<int32_t> wave = speechLikeWave();
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        kedo::CFeaBuf buf;
        int frames = 0, dim = 0;
        std::FILE* old = stdout;
        stdout = devnull;
        kedo::computeMfcc(buf, wave.data(), kRate, 16, static_cast<int>(wave.size()), "/nonexistent/default.cfg",
                          frames, dim);
        stdout = old;
        benchmark::DoNotOptimize(buf.m_fea.data());
    }
    std::fclose(devnull);
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Mfcc)->Unit(benchmark::kMillisecond);

// One tracking pass with the settings the scoring uses (autocorrelation).
void BM_PitchTrack(benchmark::State& state) {
    const std::vector<int32_t> wave = speechLikeWave();
    kedo::ptParam pp = kedo::ptParamSet(kRate, 16, static_cast<int>(state.range(0)), "");
    std::vector<float> pitch;
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        std::FILE* old = stdout;
        stdout = devnull;
        kedo::pitchTrack(wave.data(), static_cast<int>(wave.size()), pp, pitch);
        stdout = old;
        benchmark::DoNotOptimize(pitch.data());
    }
    std::fclose(devnull);
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PitchTrack)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_PitchFunction(benchmark::State& state) {
    const std::vector<int32_t> wave = speechLikeWave();
    kedo::ptParam pp = kedo::ptParamSet(kRate, 16, static_cast<int>(state.range(0)), "");
    for (auto _ : state) {
        std::vector<float> pf = kedo::pitchFunction(wave.data(), static_cast<int>(wave.size()), pp);
        benchmark::DoNotOptimize(pf.data());
    }
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PitchFunction)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Both passes, as the per-node pitch tracks run them.
void BM_PitchTrackTwoPass(benchmark::State& state) {
    const std::vector<int32_t> wave = speechLikeWave();
    kedo::ptParam pp = kedo::ptParamSet(kRate, 16, 1, "");
    std::vector<float> pitch;
    std::FILE* devnull = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        std::FILE* old = stdout;
        stdout = devnull;
        kedo::pitchTrackTwoPass(wave.data(), static_cast<int>(wave.size()), pp, pitch);
        stdout = old;
        benchmark::DoNotOptimize(pitch.data());
    }
    std::fclose(devnull);
    state.counters["xRealTime"] =
        benchmark::Counter(static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PitchTrackTwoPass)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
