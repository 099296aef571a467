// Progress output of the engine's stages. Every stage writes its timing,
// "Saved" and warning lines with progressf; they go to the sink of the engine
// object whose operation runs on the calling thread (ProgressScope), or to
// standard output when no operation runs (the command-line tools).
#pragma once

#include <string>
#include <string_view>

#include "kedo/progress.h"
#include "util/report_error.h"

namespace kedo {

// printf-style progress text to the calling thread's current sink.
void progressf(const char* fmt, ...) KEDO_PRINTF_FORMAT(1, 2);
void progressWrite(std::string_view text);

// Makes sink the calling thread's current sink for the lifetime of the scope
// and restores the previous one after. Text is gathered into whole lines;
// what is left without a line end goes out when the scope ends.
class ProgressScope {
public:
    explicit ProgressScope(ProgressSink sink);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    void write(std::string_view text);

private:
    void deliver(std::string_view text);

    ProgressSink m_sink;  // a copy: the scope may outlive the caller's sink
    std::string m_pending;
    ProgressScope* m_previous;
};

// Records the progress text written on the calling thread during its
// lifetime, passing it on to the sink that was current before.
class ProgressRecorder {
public:
    ProgressRecorder();
    ~ProgressRecorder();
    ProgressRecorder(const ProgressRecorder&) = delete;
    ProgressRecorder& operator=(const ProgressRecorder&) = delete;
    // The text so far (whole lines; a last piece without a line end is passed
    // on when the recorder ends).
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    ProgressScope* m_outer;
    ProgressScope m_scope;
};

}  // namespace kedo
