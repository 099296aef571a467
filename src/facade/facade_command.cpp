// One engine operation for the command line, with text or JSON output.
#include "facade/facade_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>

#include "facade/code_page.h"
#include "kedo/error.h"
#include "util/file_util.h"

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
// A UTF-8 sentence list in the bytes the engine reads for the language.
std::string utf8ListToEngine(const std::string& text, int32_t) { return utf8ToThreadCodePage(text, "sentence list"); }
#else
std::string commandLineToHost(const std::string& text, const char*) { return text; }
std::string hostToCommandLine(const std::string& text, const char*) { return text; }
std::string utf8ListToEngine(const std::string& text, int32_t language) {
    return utf8ToCodePage(text, language != 0 ? CodePage::cp950 : CodePage::cp1252, "sentence list");
}
#endif

// True when the text is valid UTF-8 and holds at least one character beyond
// ASCII: a Big5 or Latin-1 text practically never is.
bool isUtf8BeyondAscii(const std::string& text) {
    bool beyond = false;
    for (size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        char32_t cp;
        if (!decodeUtf8(text, pos, cp)) return false;
        beyond = true;
    }
    return beyond;
}

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

// Sends standard output to another descriptor while it lives (standard
// error, or the null device), so that the engine's progress lines stay off a
// machine-readable standard output.
class StdoutRedirect {
public:
    explicit StdoutRedirect(int fd) {
        std::fflush(stdout);
        m_saved = dup(1);
        if (m_saved >= 0 && fd >= 0) dup2(fd, 1);
    }
    ~StdoutRedirect() {
        std::fflush(stdout);
        if (m_saved >= 0) {
            dup2(m_saved, 1);
            close(m_saved);
        }
    }
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

private:
    int m_saved = -1;
};

}  // namespace

SentenceList::SentenceList(const std::string& name, int32_t language) : m_path(name) {
    std::string why = unreadableReason(name);
    if (!why.empty()) throw KedoError("Cannot open the sentence list file " + name + ": " + why);
    std::string text = readFileBytes(name);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    else if (!isUtf8BeyondAscii(text)) return;
    std::string converted = utf8ListToEngine(text, language);
    static std::atomic<int> counter{0};
    fs::path copy = fs::temp_directory_path() /
                    ("kedo-list-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".txt");
    FilePtr f = openFile(copy.string(), "wb");
    if (std::fwrite(converted.data(), 1, converted.size(), f.get()) != converted.size())
        throw KedoError("Cannot write the converted sentence list " + copy.string());
    m_path = m_copy = copy.string();
}

SentenceList::~SentenceList() {
    std::error_code ec;
    if (!m_copy.empty()) fs::remove(m_copy, ec);
}

FacadeOutcome runFacadeRequest(const FacadeRequest& request) {
    FacadeOutcome out;
    bool isRecog = request.operation == FacadeOperation::recog || request.operation == FacadeOperation::recordRecog;
    std::string audio, text;
    try {
        std::unique_ptr<SentenceList> list;
        if (isRecog) list = std::make_unique<SentenceList>(absolutePath(request.text), request.language);
        audio = request.audio.empty() ? std::string()
                                      : commandLineToHost(absolutePath(request.audio), "audio file name");
        text = commandLineToHost(isRecog ? list->path() : request.text,
                                 isRecog ? "sentence list file name" : "sentence");
        auto owned = std::make_unique<KEDO>(request.home);
        KEDO& engine = *owned;
        // Held from a global, so leak checkers see the object as reachable.
        static auto* const leftForProcessEnd = new std::vector<std::unique_ptr<KEDO>>;
        static std::mutex leftLock;
        if (request.processEndsAfter) {
            std::lock_guard<std::mutex> hold(leftLock);
            leftForProcessEnd->push_back(std::move(owned));
        }
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
        out.warnings = engine.lastWarnings();
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
    out += "]";
    if (!outcome.warnings.empty()) {
        out += ", \"warnings\": [";
        for (size_t i = 0; i < outcome.warnings.size(); ++i)
            out += (i ? ", " : "") + jsonString(outcome.warnings[i]);
        out += "]";
    }
    return out + "}";
}

int runFacadeCommand(const FacadeRequest& request, bool json, bool quiet) {
    FacadeOutcome outcome;
    if (quiet) {
#ifdef _WIN32
        int null = open("NUL", O_WRONLY);
#else
        int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
#endif
        {
            StdoutRedirect progress(null);
            outcome = runFacadeRequest(request);
        }
        if (null >= 0) close(null);
    } else if (json) {
        StdoutRedirect progress(2);
        outcome = runFacadeRequest(request);
    } else {
        outcome = runFacadeRequest(request);
    }
    std::fflush(stdout);
    for (const std::string& w : outcome.warnings) {
        try {
            std::fprintf(stderr, "Warning: %s\n", hostToCommandLine(w, "warning").c_str());
        } catch (const std::exception&) {
            std::fprintf(stderr, "Warning: %s\n", w.c_str());
        }
    }
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
