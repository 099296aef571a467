// One engine operation for the command line, with text or JSON output.
#include "facade/facade_command.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <new>

#ifdef _WIN32
#include <windows.h>

#include "facade/windows_platform.h"
#endif

namespace kedo {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// The command line's narrow strings are in the thread's ANSI code page; the
// engine's narrow strings are UTF-8.
std::string commandLineToHost(const std::string& text, const char* what) { return threadCodePageToUtf8(text, what); }
std::string hostToCommandLine(const std::string& text, const char* what) { return utf8ToThreadCodePage(text, what); }
#else
std::string commandLineToHost(const std::string& text, const char*) { return text; }
std::string hostToCommandLine(const std::string& text, const char*) { return text; }
#endif

// The absolute form of a file name in the command line's code page.
#ifdef _WIN32
// The system's own narrow call: std::filesystem would convert the name's
// bytes through UTF-16 with a code page of its own.
std::string absolutePath(const std::string& name) {
    char buffer[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : name;
}
#else
std::string absolutePath(const std::string& name) {
    std::error_code ec;
    fs::path p = fs::absolute(name, ec);
    return ec ? name : p.lexically_normal().string();
}
#endif

std::vector<std::string> folderFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Sends standard output to standard error while it lives, so that the
// engine's progress lines stay off a machine-readable standard output.
class StdoutToStderr {
public:
    StdoutToStderr() {
        std::fflush(stdout);
        m_saved = dup(1);
        if (m_saved >= 0) dup2(2, 1);
    }
    ~StdoutToStderr() {
        std::fflush(stdout);
        if (m_saved >= 0) {
            dup2(m_saved, 1);
            close(m_saved);
        }
    }
    StdoutToStderr(const StdoutToStderr&) = delete;
    StdoutToStderr& operator=(const StdoutToStderr&) = delete;

private:
    int m_saved = -1;
};

}  // namespace

FacadeOutcome runFacadeRequest(const FacadeRequest& request) {
    FacadeOutcome out;
    bool isRecog = request.operation == FacadeOperation::recog || request.operation == FacadeOperation::recordRecog;
    std::string audio, text;
    try {
        audio = request.audio.empty() ? std::string()
                                      : commandLineToHost(absolutePath(request.audio), "audio file name");
        text = commandLineToHost(isRecog ? absolutePath(request.text) : request.text,
                                 isRecog ? "sentence list file name" : "sentence");
        KEDO engine(request.home);
        out.outputFolder = engine.outputFolder();
        out.status = request.language != 0 ? engine.SwitchLanguage(request.language) : Status::ok;
        if (out.status == Status::ok) {
            switch (request.operation) {
                case FacadeOperation::assess:
                    out.status = engine.AssessResult(audio, text, out.result);
                    break;
                case FacadeOperation::recog:
                    out.status = engine.RecogResult(audio, text, out.result);
                    break;
                case FacadeOperation::recordAssess:
                    out.status = engine.RecordAndAssessResult(request.seconds, text, out.result);
                    break;
                case FacadeOperation::recordRecog:
                    out.status = engine.RecordAndRecogResult(request.seconds, text, out.result);
                    break;
            }
        }
        if (out.status == Status::ok) {
            out.score = out.result.score;
            out.sentence = out.result.sentence;
        } else {
            out.error = engine.lastErrorMessage();
            out.errorKind = engine.lastErrorKind();
        }
        out.files = folderFiles(out.outputFolder);
    } catch (const KedoError& e) {
        out.status = Status::failed;
        out.error = e.what();
        out.errorKind = e.kind();
    } catch (const std::exception& e) {
        out.status = Status::failed;
        out.error = e.what();
        out.errorKind = ErrorKind::engine;
    }
    return out;
}

std::string facadeOutcomeJson(const FacadeOutcome& outcome) {
    std::string out = runResultJson(outcome.result);
    out.pop_back();
    out += ", \"files\": [";
    for (size_t i = 0; i < outcome.files.size(); ++i) out += (i ? ", " : "") + jsonString(outcome.files[i]);
    return out + "]}";
}

int runFacadeCommand(const FacadeRequest& request, bool json) {
    FacadeOutcome outcome;
    if (json) {
        StdoutToStderr quiet;
        outcome = runFacadeRequest(request);
    } else {
        outcome = runFacadeRequest(request);
    }
    std::fflush(stdout);
    if (outcome.status != Status::ok) {
        std::fprintf(stderr, "%s\n", outcome.error.c_str());
        return 1;
    }
    bool assess = request.operation == FacadeOperation::assess || request.operation == FacadeOperation::recordAssess;
    if (json)
        std::printf("%s\n", facadeOutcomeJson(outcome).c_str());
    else if (assess)
        std::printf("score=%g\n", outcome.score);
    else {
        std::string sentence;
        try {
            sentence = hostToCommandLine(outcome.sentence, "recognised sentence");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        std::printf("text=%s\n", sentence.c_str());
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace kedo
