// Host text to code-page bytes and back, through iconv.
#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "facade/code_page.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "KEDO";

struct IconvHandle {
    iconv_t cd;
    IconvHandle(const char* to, const char* from) : cd(iconv_open(to, from)) {
        if (cd == reinterpret_cast<iconv_t>(-1))
            reportError(strFormat("Cannot convert text from %s to %s: %s (line %d of %s)", from, to,
                                  std::strerror(errno), __LINE__, kModule));
    }
    ~IconvHandle() { iconv_close(cd); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
};

// Converts all of text; on failure returns false with errno's value in err
// and the offset of the offending input byte in failedAt.
bool convert(const char* to, const char* from, const std::string& text, std::string& out, int& err,
             size_t& failedAt) {
    IconvHandle h(to, from);
    out.assign(text.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    size_t used = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t r = iconv(h.cd, &in, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        err = errno;
        failedAt = text.size() - inLeft;
        return false;
    }
    out.resize(used);
    return true;
}

}  // namespace

const char* codePageName(CodePage page) { return page == CodePage::cp950 ? "CP950" : "CP1252"; }

std::string utf8ToCodePage(const std::string& text, CodePage page, const char* what) {
    std::string out;
    int err = 0;
    size_t at = 0;
    if (convert(codePageName(page), "UTF-8", text, out, err, at)) return out;
    size_t pos = at;
    char32_t cp = 0;
    if (err != EILSEQ || !decodeUtf8(text, pos, cp)) malformedUtf8(what, at, __LINE__);
    reportError(strFormat("The %s holds the character \"%s\" (U+%04X, at byte %zu), which code page %s cannot "
                          "hold (line %d of %s)",
                          what, text.substr(at, pos - at).c_str(), static_cast<unsigned>(cp), at,
                          codePageName(page), __LINE__, kModule),
                ErrorKind::unknownWord);
}

bool codePageHolds(const std::string& text, CodePage page) {
    std::string out;
    int err = 0;
    size_t at = 0;
    if (convert(codePageName(page), "UTF-8", text, out, err, at)) return true;
    char32_t cp = 0;
    return err != EILSEQ || !decodeUtf8(text, at, cp);
}

std::string codePageToUtf8(const std::string& text, CodePage page, const char* what) {
    std::string out;
    int err = 0;
    size_t at = 0;
    if (convert("UTF-8", codePageName(page), text, out, err, at)) return out;
    reportError(strFormat("The %s holds bytes that are no character of code page %s (at byte %zu) (line %d of %s)",
                          what, codePageName(page), at, __LINE__, kModule));
}

}  // namespace kedo
