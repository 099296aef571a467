// Converting the engine's code-page lines for a UTF-8 terminal.
#include "terminal.h"

#include <cstdio>
#include <string>
#include <thread>

#ifndef _WIN32
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "facade/code_page.h"

namespace kedo::cli {

namespace {
TextPage g_errorPage = TextPage::asIs;
}  // namespace

TextPage pageOfLanguage(const std::string& language) {
    if (language == "chinese") return TextPage::big5;
    if (language == "english") return TextPage::cp1252;
    return TextPage::asIs;
}

TextPage errorPage() { return g_errorPage; }

#ifdef _WIN32

std::string forTerminal(const std::string& text, TextPage) { return text; }

struct TerminalFilter::Stream {};
TerminalFilter::TerminalFilter(TextPage page) { g_errorPage = page; }
TerminalFilter::~TerminalFilter() = default;

#else

namespace {
bool isUtf8(const std::string& text) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();) {
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            ++pos;
        else if (!decodeUtf8(text, pos, cp))
            return false;
    }
    return true;
}

// The text converted from the code page; with strict, empty when a byte does
// not convert, else that byte becomes "?".
std::string convertToUtf8(const std::string& text, const char* page, bool strict) {
    iconv_t cd = iconv_open("UTF-8", page);
    if (cd == reinterpret_cast<iconv_t>(-1)) return strict ? std::string() : text;
    std::string out;
    std::string in = text;
    char* src = in.data();
    size_t left = in.size();
    char buffer[1024];
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the page does not map, or a lead byte cut off at the end.
            if (strict) {
                out.clear();
                break;
            }
            out += '?';
            ++src;
            --left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}
}  // namespace

std::string forTerminal(const std::string& text, TextPage page) {
    if (page == TextPage::asIs || isUtf8(text)) return text;
    if (page == TextPage::big5) return convertToUtf8(text, "CP950", false);
    // The engine's own labels are Big5 in every language: a line that reads
    // as Big5 throughout is taken as such, any other as Windows-1252, the engine's English code page.
    std::string big5 = convertToUtf8(text, "CP950", true);
    return big5.empty() ? convertToUtf8(text, "CP1252", false) : big5;
}

// One redirected descriptor: a pipe in its place, and a thread that passes
// what arrives to the saved original a converted line at a time.
struct TerminalFilter::Stream {
    Stream(int target, std::FILE* stream, TextPage page) : target(target), stream(stream) {
        int ends[2];
        if (pipe(ends) != 0) return;
        std::fflush(stream);
        saved = dup(target);
        if (saved < 0 || dup2(ends[1], target) < 0) {
            close(ends[0]);
            close(ends[1]);
            if (saved >= 0) close(saved);
            saved = -1;
            return;
        }
        close(ends[1]);
        reader = ends[0];
        // A terminal showed each line as it came; the pipe must not hold
        // progress lines back until the end.
        if (isatty(saved)) std::setvbuf(stream, nullptr, _IOLBF, BUFSIZ);
        worker = std::thread([this, page] { pass(page); });
    }
    ~Stream() {
        if (saved < 0) return;
        std::fflush(stream);
        dup2(saved, target);  // closes the last write end: the worker sees the end
        worker.join();
        close(reader);
        close(saved);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    void pass(TextPage page) {
        std::string pending;
        char buffer[4096];
        for (;;) {
            ssize_t n = read(reader, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pending.append(buffer, static_cast<size_t>(n));
            size_t begin = 0;
            for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1)
                writeAll(forTerminal(pending.substr(begin, end + 1 - begin), page));
            pending.erase(0, begin);
        }
        if (!pending.empty()) writeAll(forTerminal(pending, page));
    }
    void writeAll(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = write(saved, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    int target;
    std::FILE* stream;
    int saved = -1;
    int reader = -1;
    std::thread worker;
};

TerminalFilter::TerminalFilter(TextPage page) {
    g_errorPage = page;
    if (page == TextPage::asIs) return;
    m_out = std::make_unique<Stream>(1, stdout, page);
    m_err = std::make_unique<Stream>(2, stderr, page);
}

TerminalFilter::~TerminalFilter() {
    m_err.reset();
    m_out.reset();
}

#endif

}  // namespace kedo::cli
