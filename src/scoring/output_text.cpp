// Building result documents in memory and writing them out in one piece.
#include "scoring/output_text.h"

#include <cstdarg>
#include <cstdio>

#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "mlf";
}

void appendf(std::string& out, const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, static_cast<size_t>(n));
    } else if (n > 0) {
        size_t old = out.size();
        out.resize(old + static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data() + old, static_cast<size_t>(n) + 1, fmt, again);
        out.resize(old + static_cast<size_t>(n));
    }
    va_end(again);
}

void writeTextFile(const std::string& path, const std::string& content) {
    FilePtr file = openFile(path, "w");
    if (std::fwrite(content.data(), 1, content.size(), file.get()) != content.size() || std::fflush(file.get()) != 0)
        reportError(strFormat("Cannot write file %s (line %d of %s)", path.c_str(), __LINE__, kModule));
}

}  // namespace kedo
