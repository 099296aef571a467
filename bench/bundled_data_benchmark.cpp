// Whole operations of the engine object on the bundled data set: one
// assessment and one recognition of each language's sample, everything read
// anew on every call as the engine does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <filesystem>
#include <string>

#include "kedo/engine.h"

namespace {

namespace fs = std::filesystem;

const std::string kToy = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData";
const std::string kShipped = std::string(KEDO_SOURCE_DIR) + "/data/kedoData";

// A scratch working folder with a copy of a data folder (the toy one by
// default), removed at the end.
class ScratchHome {
public:
    explicit ScratchHome(const std::string& source = kToy) {
        char pattern[] = "/tmp/kedo_bench_XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made) {
            m_path = made;
            fs::copy(source, m_path + "/kedoData", fs::copy_options::recursive);
        }
    }
    ~ScratchHome() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The engine's progress lines go to /dev/null while the loop runs.
class QuietStdout {
public:
    QuietStdout() : m_saved(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (m_saved >= 0) {
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
        }
    }

private:
    int m_saved;
};

// The sample sentences in UTF-8, as callers of the narrow interface pass them.
const char* const kEnglishSentence = "i like to read a good book";
const char* const kToyChinese = "\xe6\x88\x91\xe5\xad\xb8\xe4\xb8\xad\xe6\x96\x87";  // the toy set's sample
const char* const kMandarin = "我們今天去學校";                                          // the shipped set's

void runBundled(benchmark::State& state, int language, bool assess, const std::string& source = kToy,
                const char* chinese = kToyChinese) {
    ScratchHome home(source);
    if (home.path().empty()) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string samples = home.path() + "/kedoData/samples/";
    const std::string stem = language ? "chinese" : "english";
    const std::string sentence = language ? chinese : kEnglishSentence;
    bool ok = true;
    {
        QuietStdout quiet;
        kedo::KEDO engine(home.path());
        engine.SwitchLanguage(language);
        for (auto _ : state) {
            kedo::Status status;
            if (assess) {
                double score = 0;
                status = engine.Assess(samples + stem + ".wav", sentence, score);
                benchmark::DoNotOptimize(score);
            } else {
                std::string text;
                status = engine.Recog(samples + stem + ".wav", samples + stem + "_list.txt", text);
                benchmark::DoNotOptimize(text);
            }
            ok = ok && status == kedo::Status::ok;
        }
    }
    if (!ok) state.SkipWithError("the operation failed");
}

void BM_AssessEnglishSample(benchmark::State& state) { runBundled(state, 0, true); }
void BM_RecogEnglishSample(benchmark::State& state) { runBundled(state, 0, false); }
void BM_AssessChineseSample(benchmark::State& state) { runBundled(state, 1, true); }
void BM_RecogChineseSample(benchmark::State& state) { runBundled(state, 1, false); }
// The shipped Mandarin set: 13 064 characters, 69 models of 8 mixtures.
void BM_AssessMandarinSet(benchmark::State& state) { runBundled(state, 1, true, kShipped, kMandarin); }
void BM_RecogMandarinSet(benchmark::State& state) { runBundled(state, 1, false, kShipped, kMandarin); }

// Throughput of engines on threads: every benchmark thread has its own
// working folder and engine object (progress dropped) and assesses the
// English sample over and over. Items are assessments, counted in wall time.
void BM_AssessEnglishParallel(benchmark::State& state) {
    ScratchHome home;
    const std::string samples = home.path() + "/kedoData/samples/";
    kedo::KEDO engine(home.path());
    engine.setProgressSink(nullptr);
    bool ok = true;
    for (auto _ : state) {
        double score = 0;
        ok = ok && engine.Assess(samples + "english.wav", kEnglishSentence, score) == kedo::Status::ok;
        benchmark::DoNotOptimize(score);
    }
    if (!ok) state.SkipWithError("the operation failed");
    state.SetItemsProcessed(state.iterations());
}

// One assessment with a full English set: the working folder
// KEDO_BENCH_HOME (copied; its kedoData holds the set), the recording
// KEDO_BENCH_WAV and the sentence KEDO_BENCH_SENTENCE. range(0): 0 a new
// engine object per call, which reads the models and lexicon as a fresh
// process does; 1 one engine object, which keeps them between calls.
void BM_AssessWithFullSet(benchmark::State& state) {
    const char* from = std::getenv("KEDO_BENCH_HOME");
    const char* wav = std::getenv("KEDO_BENCH_WAV");
    const char* sentence = std::getenv("KEDO_BENCH_SENTENCE");
    if (!from || !wav || !sentence) {
        state.SkipWithError("set KEDO_BENCH_HOME, KEDO_BENCH_WAV and KEDO_BENCH_SENTENCE");
        return;
    }
    ScratchHome home(std::string(from) + "/kedoData");
    const bool kept = state.range(0) != 0;
    auto engine = std::make_unique<kedo::KEDO>(home.path());
    engine->setProgressSink(nullptr);
    bool ok = true;
    double score = 0;
    ok = engine->Assess(wav, sentence, score) == kedo::Status::ok;  // the file system's caches warm
    for (auto _ : state) {
        if (!kept) {
            engine = std::make_unique<kedo::KEDO>(home.path());
            engine->setProgressSink(nullptr);
        }
        ok = ok && engine->Assess(wav, sentence, score) == kedo::Status::ok;
        benchmark::DoNotOptimize(score);
    }
    if (!ok) state.SkipWithError(engine->lastErrorMessage().c_str());
}
BENCHMARK(BM_AssessWithFullSet)->ArgName("kept")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_AssessEnglishSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessEnglishParallel)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecogEnglishSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessChineseSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecogChineseSample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessMandarinSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecogMandarinSet)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
