// The engine object's data and the ways into it that tests and other layers
// of the engine use (a platform layer of their own, another pipeline).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "facade/platform.h"
#include "kedo/engine.h"
#include "kedo/result.h"
#include "task/recog_param.h"
#include "util/data_cache.h"
#include "util/limits.h"

namespace kedo {

// Runs one recognition or assessment: recogWaveFile in the engine.
using PipelineRunner = std::function<int(recogParam&, mlfClass&)>;

struct KEDO::State {
    std::unique_ptr<Platform> platform;
    PipelineRunner pipeline;
    std::unique_ptr<Recorder> recorder;
    recogParam saParam;  // assessment parameter set of the current language
    recogParam vcParam;  // recognition parameter set of the current language
    // True while the output folder has been emptied for the operation in
    // progress; cleared when an operation ends normally.
    bool outputReady = false;
    CodePage codePage = CodePage::cp1252;  // code page of the current language
    std::string workingFolder;             // absolute, once constructed
    // The output folder: "kedoData/output" under the working folder, or an
    // absolute per-user folder when the working folder cannot be written.
    std::string outputDir;
    std::string engineOutputFolder;  // the output folder's absolute name
    ProgressSink progress = progressToStandardOutput();
    // Model sets, dictionaries and tables of recent calls, used again while
    // their files are unchanged.
    DataCache dataCache{MAX_DATA_CACHE_BYTES};

    // While an operation that returns the whole result runs: where Assess and
    // Recog leave the run's result object.
    mlfClass* runRecord = nullptr;
    // The sentence of the last assessment as it was read (UTF-8): Simplified
    // characters typed in a Chinese sentence are Traditional here.
    std::string runSentence;

    // The last error of each thread that called the object.
    struct ErrorRecord {
        std::string message;
        ErrorKind kind = ErrorKind::engine;
    };
    mutable std::mutex errorLock;
    std::unordered_map<std::thread::id, ErrorRecord> errors;
    // The warnings of each thread's last operation, under errorLock too.
    std::unordered_map<std::thread::id, std::vector<std::string>> warnings;
};

struct KEDOInternals {
    // An engine object over a platform layer and a pipeline of the caller's
    // choice (workingFolder empty: the platform's default).
    static std::unique_ptr<KEDO> make(const std::string& workingFolder, std::unique_ptr<Platform> platform,
                                      PipelineRunner pipeline);
    static const KEDO::State& state(const KEDO& engine) { return *engine.m_state; }
};

}  // namespace kedo
