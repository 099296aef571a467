// Progress sinks and the calling thread's current one.
#include "util/progress.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <utility>

namespace kedo {

namespace {
thread_local ProgressScope* t_current = nullptr;

// One fwrite per call: the C library locks the stream for it, so text from
// other threads cannot land inside it.
void writeAll(std::FILE* f, std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), f);
}
}  // namespace

// Flushed at once: a host that writes to the same console or pipe by other
// means (a script host's own output) finds no half line of ours in the way.
ProgressSink progressToStandardOutput() {
    return [](std::string_view text) {
        writeAll(stdout, text);
        std::fflush(stdout);
    };
}

ProgressSink progressToFile(const std::string& path) {
    std::shared_ptr<std::FILE> f(std::fopen(path.c_str(), "ab"), [](std::FILE* p) {
        if (p != nullptr) std::fclose(p);
    });
    if (!f) reportError(strFormat("Cannot open file %s (line %d of %s)", path.c_str(), __LINE__, "utility"));
    return [f](std::string_view text) {
        writeAll(f.get(), text);
        std::fflush(f.get());
    };
}

ProgressScope::ProgressScope(ProgressSink sink) : m_sink(std::move(sink)), m_previous(t_current) { t_current = this; }

ProgressScope::~ProgressScope() {
    t_current = m_previous;
    if (!m_pending.empty()) {
        try {
            deliver(m_pending);
        } catch (...) {
            // A sink that fails at the end of an operation loses its last line.
        }
    }
}

void ProgressScope::deliver(std::string_view text) {
    if (m_sink) m_sink(text);
}

void ProgressScope::write(std::string_view text) {
    size_t end = text.rfind('\n');
    if (end == std::string_view::npos) {
        m_pending.append(text);
        return;
    }
    if (m_pending.empty()) {
        deliver(text.substr(0, end + 1));
    } else {
        m_pending.append(text.substr(0, end + 1));
        std::string lines;
        lines.swap(m_pending);
        deliver(lines);
    }
    m_pending.assign(text.substr(end + 1));
}

ProgressRecorder::ProgressRecorder()
    : m_outer(t_current), m_scope([this](std::string_view text) {
          m_text.append(text);
          if (m_outer != nullptr)
              m_outer->write(text);
          else
              writeAll(stdout, text);
      }) {}

ProgressRecorder::~ProgressRecorder() = default;

void progressWrite(std::string_view text) {
    if (t_current != nullptr)
        t_current->write(text);
    else
        writeAll(stdout, text);
}

void progressf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = strFormatV(fmt, args);
    va_end(args);
    progressWrite(text);
}

}  // namespace kedo
