// The error routine: error log file and the exception that ends an operation.
#include "util/report_error.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

namespace kedo {

std::string strFormatV(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    std::string out;
    if (n < 0) {
        va_end(copy);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        std::vector<char> big(static_cast<size_t>(n) + 1);
        std::vsnprintf(big.data(), big.size(), fmt, copy);
        out.assign(big.data(), static_cast<size_t>(n));
    }
    va_end(copy);
    return out;
}

std::string strFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string out = strFormatV(fmt, args);
    va_end(args);
    return out;
}

std::string errorLogPath() {
    // Windows treats "temp" and "TEMP" as one name; here both are tried.
    const char* dir = std::getenv("temp");
    if (dir == nullptr || *dir == '\0') dir = std::getenv("TEMP");
    if (dir == nullptr || *dir == '\0') return {};
    std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char name[32];
    std::strftime(name, sizeof name, "error_%Y%m%d_%H%M%S.log", &local);
    return std::string(dir) + "/" + name;
}

namespace {

// Appends one whole line to the log file: with one append-mode write where
// the system has it, so that lines from several threads and processes never
// mix or overwrite each other; under a lock as well for the stream fallback.
bool appendLine(const std::string& path, const std::string& line) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
#ifdef _WIN32
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return false;
    bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    return std::fclose(f) == 0 && written;
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
    return n == static_cast<ssize_t>(line.size());
#endif
}

}  // namespace

void reportError(const std::string& message, ErrorKind kind) {
    std::string path = errorLogPath();
    if (!path.empty()) {
        // Many messages already begin with "Error:"; the log does not repeat it.
        const bool prefixed = message.compare(0, 6, "Error:") == 0;
        if (appendLine(path, (prefixed ? "" : "Error: ") + message + "\n"))
            std::fprintf(stderr, "\nSaved error log at %s...\n", path.c_str());
    }
    throw KedoError(message, kind);
}

}  // namespace kedo
