// Simplified to Traditional characters through OpenCC's C interface.
#include <opencc.h>

#include <mutex>

#include "facade/code_page.h"
#include "facade/simplified.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr const char* kModule = "KEDO";
constexpr const char* kConfig = "s2tw.json";

struct Converter {
    opencc_t handle = reinterpret_cast<opencc_t>(-1);
    std::string error;
    std::mutex lock;  // one conversion at a time on the shared handle
    Converter() {
        handle = opencc_open(kConfig);
        if (handle == reinterpret_cast<opencc_t>(-1)) {
            const char* why = opencc_error();
            error = why ? why : "unknown error";
        }
    }
    ~Converter() {
        if (handle != reinterpret_cast<opencc_t>(-1)) opencc_close(handle);
    }
};

// Whether text is well-formed UTF-8 (OpenCC refuses anything else; the
// code-page conversion reports it with the byte offset).
bool wellFormed(const std::string& text) {
    size_t pos = 0;
    char32_t cp = 0;
    while (pos < text.size())
        if (!decodeUtf8(text, pos, cp)) return false;
    return true;
}

// Opened on first use and kept for the life of the process.
Converter& converter() {
    static Converter c;
    return c;
}

}  // namespace

bool simplifiedConversionAvailable() { return true; }

std::string traditionalForBig5(const std::string& text, bool& converted) {
    converted = false;
    if (!wellFormed(text) || codePageHolds(text, CodePage::cp950)) return text;
    Converter& c = converter();
    if (!c.error.empty())
        reportError(strFormat("Cannot open OpenCC's %s to read Simplified characters: %s (line %d of %s)", kConfig,
                              c.error.c_str(), __LINE__, kModule));
    std::string out;
    {
        std::lock_guard<std::mutex> hold(c.lock);
        char* result = opencc_convert_utf8(c.handle, text.data(), text.size());
        if (!result) {
            const char* why = opencc_error();
            reportError(strFormat("OpenCC cannot convert the sentence: %s (line %d of %s)", why ? why : "unknown error",
                                  __LINE__, kModule),
                        ErrorKind::badInput);
        }
        out = result;
        opencc_convert_utf8_free(result);
    }
    converted = out != text;
    return out;
}

}  // namespace kedo
