// The error routine: error log file and the exception that ends an operation.
#include "util/report_error.h"

#include "util/progress.h"

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

void reportError(const std::string& message) {
    std::string path = errorLogPath();
    if (!path.empty()) {
        // Engines on several threads may fail within the same second: one
        // log at a time, so that the file holds one whole line.
        static std::mutex logLock;
        std::lock_guard<std::mutex> lock(logLock);
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            progressf("\nSaved error log at %s...\n", path.c_str());
            std::fprintf(f, "Error: %s\n", message.c_str());
            std::fclose(f);
        }
    }
    throw KedoError(message);
}

}  // namespace kedo
