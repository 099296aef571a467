// The engine object: language switch, the common prologue and epilogue, the
// five operations, and the turning of errors into a failure status.
#include <map>
#include <mutex>
#include <thread>
#include <chrono>
#include <cmath>
#include <new>

#include "facade/code_page.h"
#include "facade/simplified.h"
#include "facade/kedo_internals.h"
#include "facade/run_result_build.h"
#include "task/pipeline.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/progress.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "KEDO";

// One operation at a time per output folder (objects on the same working
// folder share it; so do objects on read-only working folders, which write
// to the per-user folder). A thread already inside an operation may call
// again (the record-and-* operations call Assess and Recog on themselves).
// Objects on different folders run at once.
class OperationGuard {
public:
    explicit OperationGuard(const std::string& folder) : m_folder(folder) {
        std::lock_guard<std::mutex> lock(registryLock());
        auto [it, added] = registry().try_emplace(folder, Holder{std::this_thread::get_id(), 0});
        if (added || it->second.thread == std::this_thread::get_id()) {
            ++it->second.depth;
            m_held = true;
        }
    }
    ~OperationGuard() {
        if (!m_held) return;
        std::lock_guard<std::mutex> lock(registryLock());
        auto it = registry().find(m_folder);
        if (--it->second.depth == 0) registry().erase(it);
    }
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;
    bool held() const { return m_held; }

private:
    struct Holder {
        std::thread::id thread;
        int depth;
    };
    // The working folders with an operation running, and who runs it.
    static std::mutex& registryLock() {
        static std::mutex lock;
        return lock;
    }
    static std::map<std::string, Holder>& registry() {
        static std::map<std::string, Holder> folders;
        return folders;
    }

    std::string m_folder;
    bool m_held = false;
};

std::string busyMessage(int line) {
    return strFormat("Another engine operation is running on this output folder; the engine runs one operation at a "
                     "time per output folder (line %d of %s)",
                     line, kModule);
}

void setError(KEDO::State& s, const std::string& message, ErrorKind kind = ErrorKind::engine) {
    std::lock_guard<std::mutex> lock(s.errorLock);
    // Threads that end leave their entry behind; a host that keeps creating
    // threads must not make the table grow without end.
    if (s.errors.size() >= static_cast<size_t>(MAX_ERROR_THREADS)) s.errors.clear();
    s.errors[std::this_thread::get_id()] = {message, kind};
}

void setWarnings(KEDO::State& s, std::vector<std::string> warnings) {
    std::lock_guard<std::mutex> lock(s.errorLock);
    if (s.warnings.size() >= static_cast<size_t>(MAX_ERROR_THREADS)) s.warnings.clear();
    s.warnings[std::this_thread::get_id()] = std::move(warnings);
}

// The run's warnings in the host's text; a byte the conversion refuses
// becomes "?", since a warning must never fail the operation.
std::vector<std::string> hostWarnings(const KEDO::State& s, const mlfClass& mlf) {
    std::vector<std::string> out;
    for (const std::string& w : mlf.warnings) {
        try {
            out.push_back(s.platform->toHostText(w, s.codePage, "warning"));
        } catch (const KedoError&) {
            std::string ascii = w;
            for (char& c : ascii)
                if (static_cast<unsigned char>(c) >= 0x80) c = '?';
            out.push_back(ascii);
        }
    }
    return out;
}

void clearError(KEDO::State& s) {
    std::lock_guard<std::mutex> lock(s.errorLock);
    s.errors.erase(std::this_thread::get_id());
}

// Runs body under the operation guard. A KedoError (or any other exception)
// becomes Status::failed with its message kept for lastErrorMessage; a body
// that returns a failure has already left its message (a nested call).
template <class Body>
Status runOperation(KEDO::State& s, Body&& body) {
    ProgressScope progress(s.progress);
    FolderScope folder(s.workingFolder);
    DataCacheScope kept(&s.dataCache);
    OperationGuard guard(s.engineOutputFolder);
    if (!guard.held()) {
        try {
            reportError(busyMessage(__LINE__));
        } catch (const KedoError& e) {
            setError(s, e.what());
        }
        return Status::busy;
    }
    try {
        Status status = body();
        if (status == Status::ok) clearError(s);
        return status;
    } catch (const KedoError& e) {
        setError(s, e.what(), e.kind());
    } catch (const std::bad_alloc&) {
        setError(s, strFormat("Out of memory (line %d of %s)", __LINE__, kModule));
    } catch (const std::exception& e) {
        setError(s, strFormat("%s (line %d of %s)", e.what(), __LINE__, kModule));
    }
    return Status::failed;
}

// A path of the data layout under the working folder: "kedoData/output/...".
std::string dataPath(const KEDO::State& s, std::initializer_list<const char*> parts) {
    std::string out;
    for (const char* part : parts) {
        if (!out.empty()) out += s.platform->separator();
        out += part;
    }
    return out;
}

std::string outputPath(const KEDO::State& s) { return s.outputDir; }

// A file of the output folder: "kedoData/output/saWAV.wav".
std::string outputFile(const KEDO::State& s, const char* name) { return s.outputDir + s.platform->separator() + name; }

bool isAbsoluteName(const std::string& name) {
    return !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
}

// "kedoData/output" when the working folder lets the engine write it (or
// create it), else the platform's per-user folder: an installed data folder
// is read from where it lies and the runs are written elsewhere.
std::string chooseOutputFolder(const KEDO::State& s) {
    std::string inFolder = dataPath(s, {"kedoData", "output"});
    if (s.platform->canWriteUnder(resolvePath(inFolder))) return inFolder;
    std::string user = s.platform->userStateFolder();
    if (user.empty()) return inFolder;  // nowhere else: the first write reports the folder
    return user + s.platform->separator() + "output";
}

const std::string& checkedFileName(const std::string& name, const char* what) {
    if (name.size() > static_cast<size_t>(MAX_TEXT_LEN))
        reportError(strFormat("The %s is longer than %d characters: %s (line %d of %s)", what, MAX_TEXT_LEN,
                              name.c_str(), __LINE__, kModule),
                    ErrorKind::badInput);
    return name;
}

// Reads both parameter sets of a language and applies the facade's
// overrides. The object's sets change only when both files were read.
void loadLanguage(KEDO::State& s, int32_t type) {
    const char* language = type != 0 ? "chinese" : "english";
    std::string saName = std::string(language) + ".sa.prm";
    std::string vcName = std::string(language) + ".vc.prm";
    recogParam sa, vc;
    readRecogParam(dataPath(s, {"kedoData", saName.c_str()}), sa);
    readRecogParam(dataPath(s, {"kedoData", vcName.c_str()}), vc);
    sa.wavFile = outputFile(s, "saWAV.wav");
    sa.txtFile = outputFile(s, "saTXT.txt");
    sa.function = "assess";
    vc.wavFile = outputFile(s, "vcWAV.wav");
    vc.txtFile = outputFile(s, "vcTXT.txt");
    vc.function = "recog";
    // Diagnostics named relative to a working folder that cannot be written
    // go to the output folder instead.
    if (isAbsoluteName(s.outputDir))
        for (recogParam* p : {&sa, &vc})
            if (!p->outputDir.empty() && !isAbsoluteName(p->outputDir)) p->outputDir = s.outputDir;
    s.saParam = std::move(sa);
    s.vcParam = std::move(vc);
    s.codePage = type != 0 ? CodePage::cp950 : CodePage::cp1252;
}

void prologue(KEDO::State& s) {
    if (!s.outputReady) {
        s.platform->emptyFolder(resolvePath(outputPath(s)));
        s.outputReady = true;
    }
}

// The next operation starts with an empty output folder.
void epilogue(KEDO::State& s) { s.outputReady = false; }

// The sentence to assess, as the one text of the candidate file, without a
// line end.
void writeSentence(const std::string& path, const std::string& text) {
    FilePtr f = openFile(path, "wb");
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() || std::fflush(f.get()) != 0)
        reportError(strFormat("Cannot write file %s (line %d of %s)", path.c_str(), __LINE__, kModule));
}

// Records `seconds` of audio and writes it as a PCM WAV file.
void record(KEDO::State& s, double seconds, const std::string& wavPath) {
    if (!(seconds >= 0 && seconds <= MAX_RECORD_SECONDS))
        reportError(strFormat("The recording time %g seconds is outside 0 to %g seconds (line %d of %s)", seconds,
                              MAX_RECORD_SECONDS, __LINE__, kModule));
    Recorder& r = *s.recorder;
    if (!r.startRecording(seconds))
        reportError(strFormat("Cannot start recording: %s (line %d of %s)", r.lastError().c_str(), __LINE__,
                              kModule));
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(seconds + RECORD_GRACE_SECONDS));
    while (r.isRecording()) {
        if (std::chrono::steady_clock::now() > deadline) {
            r.stopRecording();
            reportError(strFormat("The capture device did not deliver %g seconds of audio in time: %s (line %d of %s)",
                                  seconds, r.lastError().c_str(), __LINE__, kModule));
        }
        s.platform->sleepMilliseconds(100);
    }
    if (!r.stopRecording())
        reportError(strFormat("Cannot stop recording: %s (line %d of %s)", r.lastError().c_str(), __LINE__,
                              kModule));
    if (!r.writeWav(wavPath))
        reportError(strFormat("Cannot save the recording as %s: %s (line %d of %s)", wavPath.c_str(),
                              r.lastError().c_str(), __LINE__, kModule));
}

// Runs op (an operation that ends in Assess or Recog) and builds the whole
// result from the result object the run leaves behind.
template <class Op>
Status runWithResult(KEDO& engine, KEDO::State& s, bool assessment, const std::string& sentence, RunResult& result,
                     Op&& op) {
    return runOperation(s, [&]() {
        mlfClass mlf;
        struct Record {
            KEDO::State& s;
            ~Record() { s.runRecord = nullptr; }
        } record{s};
        s.runRecord = &mlf;
        Status status = op();
        s.runRecord = nullptr;
        if (status != Status::ok) return status;
        const char* language = s.codePage == CodePage::cp950 ? "chinese" : "english";
        result = buildRunResult(mlf, assessment, language, assessment ? s.runSentence : sentence,
                                engine.outputFolder(),
                                [&](const std::string& text) { return s.platform->toHostText(text, s.codePage, "result text"); });
        return Status::ok;
    });
}

// The absolute output folder.
std::string outputFolderOf(const KEDO::State& s) {
    if (isAbsoluteName(s.outputDir)) return s.outputDir;
    return s.workingFolder + s.platform->separator() + s.outputDir;
}

std::unique_ptr<KEDO::State> makeState(const std::string& workingFolder, std::unique_ptr<Platform> platform,
                                       PipelineRunner pipeline) {
    auto s = std::make_unique<KEDO::State>();
    s->platform = std::move(platform);
    s->pipeline = std::move(pipeline);
    s->workingFolder = workingFolder;
    return s;
}

}  // namespace

std::unique_ptr<KEDO> KEDOInternals::make(const std::string& workingFolder, std::unique_ptr<Platform> platform,
                                          PipelineRunner pipeline) {
    return std::unique_ptr<KEDO>(new KEDO(makeState(workingFolder, std::move(platform), std::move(pipeline))));
}

KEDO::KEDO(const std::string& workingFolder) : KEDO(makeState(workingFolder, makePlatform(), recogWaveFile)) {}

KEDO::KEDO(std::unique_ptr<State> state) : m_state(std::move(state)) {
    State& s = *m_state;
    ProgressScope progress(s.progress);
    std::string folder = s.workingFolder.empty() ? s.platform->defaultWorkingFolder() : s.workingFolder;
    s.workingFolder = s.platform->absoluteFolder(folder);
    FolderScope inFolder(s.workingFolder);
    s.outputDir = chooseOutputFolder(s);
    s.engineOutputFolder = outputFolderOf(s);
    OperationGuard guard(s.engineOutputFolder);
    if (!guard.held()) reportError(busyMessage(__LINE__));
    s.recorder = s.platform->makeRecorder(1, 16000, 16);
    s.platform->checkFolder(s.workingFolder);
    loadLanguage(s, 0);
    s.platform->emptyFolder(resolvePath(outputPath(s)));
    s.outputReady = true;
}

KEDO::~KEDO() = default;

Status KEDO::RecordAndAssess(double recordTime, const std::string& sentence, double& score) {
    return runOperation(*m_state, [&]() {
        State& s = *m_state;
        prologue(s);
        std::string wav = outputFile(s, "saWAV.wav");
        record(s, recordTime, wav);
        double result = 0;
        Status nested = static_cast<IKEDO&>(*this).Assess(wav, sentence, result);
        if (nested != Status::ok) return nested;
        epilogue(s);
        score = result;
        return Status::ok;
    });
}

Status KEDO::RecordAndRecog(double recordTime, const std::string& sentenceListFileName,
                            std::string& resultSentence) {
    return runOperation(*m_state, [&]() {
        State& s = *m_state;
        prologue(s);
        std::string wav = outputFile(s, "vcWAV.wav");
        record(s, recordTime, wav);
        std::string result;
        Status nested = static_cast<IKEDO&>(*this).Recog(wav, sentenceListFileName, result);
        if (nested != Status::ok) return nested;
        epilogue(s);
        resultSentence = std::move(result);
        return Status::ok;
    });
}

Status KEDO::Assess(const std::string& wavFileName, const std::string& sentence, double& score) {
    return runOperation(*m_state, [&]() {
        State& s = *m_state;
        prologue(s);
        bool simplified = false;
        std::string typed = s.codePage == CodePage::cp950 ? traditionalForBig5(sentence, simplified) : sentence;
        std::string text = s.platform->toEngineText(typed, s.codePage, "sentence");
        s.saParam.wavFile = checkedFileName(s.platform->toEngineFileName(wavFileName, "audio file name"),
                                            "audio file name");
        writeSentence(outputFile(s, "saTXT.txt"), text);
        mlfClass mlf;
        setWarnings(s, {});
        s.pipeline(s.saParam, mlf);
        if (simplified)
            mlf.warnings.insert(mlf.warnings.begin(),
                                "Simplified characters read as Traditional ones (OpenCC s2tw): " + text);
        s.runSentence = typed;
        setWarnings(s, hostWarnings(s, mlf));
        double result = mlf.score;
        if (s.runRecord) *s.runRecord = std::move(mlf);
        epilogue(s);
        score = result;
        return Status::ok;
    });
}

Status KEDO::Recog(const std::string& wavFileName, const std::string& sentenceListFileName,
                   std::string& resultSentence) {
    return runOperation(*m_state, [&]() {
        State& s = *m_state;
        prologue(s);
        s.vcParam.wavFile = checkedFileName(s.platform->toEngineFileName(wavFileName, "audio file name"),
                                            "audio file name");
        s.vcParam.txtFile = checkedFileName(
            s.platform->toEngineFileName(sentenceListFileName, "sentence list file name"),
            "sentence list file name");
        mlfClass mlf;
        setWarnings(s, {});
        s.pipeline(s.vcParam, mlf);
        setWarnings(s, hostWarnings(s, mlf));
        std::string result = s.platform->toHostText(recognisedSentence(mlf), s.codePage, "recognised sentence");
        if (s.runRecord) *s.runRecord = std::move(mlf);
        epilogue(s);
        resultSentence = std::move(result);
        return Status::ok;
    });
}

Status KEDO::SwitchLanguage(int32_t type) {
    return runOperation(*m_state, [&]() {
        State& s = *m_state;
        loadLanguage(s, type);
        return Status::ok;
    });
}

Status KEDO::RecordAndAssess(double recordTime, const std::wstring& sentence, double& score) {
    return runOperation(*m_state, [&]() {
        return static_cast<IKEDO&>(*this).RecordAndAssess(recordTime, wideToUtf8(sentence, "sentence"), score);
    });
}

Status KEDO::RecordAndRecog(double recordTime, const std::wstring& sentenceListFileName,
                            std::wstring& resultSentence) {
    return runOperation(*m_state, [&]() {
        std::string result;
        Status status = static_cast<IKEDO&>(*this).RecordAndRecog(
            recordTime, wideToUtf8(sentenceListFileName, "sentence list file name"), result);
        if (status == Status::ok) resultSentence = utf8ToWide(result, "recognised sentence");
        return status;
    });
}

Status KEDO::Assess(const std::wstring& wavFileName, const std::wstring& sentence, double& score) {
    return runOperation(*m_state, [&]() {
        return static_cast<IKEDO&>(*this).Assess(wideToUtf8(wavFileName, "audio file name"),
                                                 wideToUtf8(sentence, "sentence"), score);
    });
}

Status KEDO::Recog(const std::wstring& wavFileName, const std::wstring& sentenceListFileName,
                   std::wstring& resultSentence) {
    return runOperation(*m_state, [&]() {
        std::string result;
        Status status = static_cast<IKEDO&>(*this).Recog(
            wideToUtf8(wavFileName, "audio file name"),
            wideToUtf8(sentenceListFileName, "sentence list file name"), result);
        if (status == Status::ok) resultSentence = utf8ToWide(result, "recognised sentence");
        return status;
    });
}

Status KEDO::AssessResult(const std::string& wavFileName, const std::string& sentence, RunResult& result) {
    return runWithResult(*this, *m_state, true, sentence, result,
                         [&]() { 
        double score = 0;
        return static_cast<IKEDO&>(*this).Assess(wavFileName, sentence, score);
    });
}

Status KEDO::RecogResult(const std::string& wavFileName, const std::string& sentenceListFileName,
                         RunResult& result) {
    return runWithResult(*this, *m_state, false, {}, result, [&]() {
        std::string sentence;
        return static_cast<IKEDO&>(*this).Recog(wavFileName, sentenceListFileName, sentence);
    });
}

Status KEDO::RecordAndAssessResult(double recordTime, const std::string& sentence, RunResult& result) {
    return runWithResult(*this, *m_state, true, sentence, result, [&]() {
        double score = 0;
        return static_cast<IKEDO&>(*this).RecordAndAssess(recordTime, sentence, score);
    });
}

Status KEDO::RecordAndRecogResult(double recordTime, const std::string& sentenceListFileName, RunResult& result) {
    return runWithResult(*this, *m_state, false, {}, result, [&]() {
        std::string sentence;
        return static_cast<IKEDO&>(*this).RecordAndRecog(recordTime, sentenceListFileName, sentence);
    });
}

std::string KEDO::lastErrorMessage() const {
    std::lock_guard<std::mutex> lock(m_state->errorLock);
    auto it = m_state->errors.find(std::this_thread::get_id());
    return it == m_state->errors.end() ? std::string() : it->second.message;
}

ErrorKind KEDO::lastErrorKind() const {
    std::lock_guard<std::mutex> lock(m_state->errorLock);
    auto it = m_state->errors.find(std::this_thread::get_id());
    return it == m_state->errors.end() ? ErrorKind::none : it->second.kind;
}

std::vector<std::string> KEDO::lastWarnings() const {
    std::lock_guard<std::mutex> lock(m_state->errorLock);
    auto it = m_state->warnings.find(std::this_thread::get_id());
    return it == m_state->warnings.end() ? std::vector<std::string>() : it->second;
}

void KEDO::setProgressSink(ProgressSink sink) { m_state->progress = std::move(sink); }

const std::string& KEDO::workingFolder() const { return m_state->workingFolder; }

std::string KEDO::outputFolder() const { return m_state->engineOutputFolder; }

}  // namespace kedo
