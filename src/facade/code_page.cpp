// Wide strings and UTF-8 by hand, on every system.
#include "facade/code_page.h"

#include <cwchar>

#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "KEDO";
}  // namespace

bool decodeUtf8(const std::string& text, size_t& pos, char32_t& cp) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char b0 = byte(pos);
    size_t len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        ++pos;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (pos + len > text.size()) return false;
    for (size_t i = 1; i < len; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    pos += len;
    return true;
}

namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

void malformedUtf8(const char* what, size_t at, int line) {
    reportError(strFormat("The %s is not valid UTF-8 (at byte %zu) (line %d of %s)", what, at, line, kModule),
                ErrorKind::badInput);
}

namespace {

}  // namespace

std::string wideToUtf8(const std::wstring& text, const char* what) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                char32_t low = static_cast<char32_t>(text[i + 1]);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            reportError(strFormat("The %s holds the value 0x%X (at position %zu), which is no Unicode character "
                                  "(line %d of %s)",
                                  what, static_cast<unsigned>(cp), i, __LINE__, kModule),
                        ErrorKind::badInput);
        appendUtf8(out, cp);
    }
    return out;
}

std::wstring utf8ToWide(const std::string& text, const char* what) {
    std::wstring out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        char32_t cp = 0;
        if (!decodeUtf8(text, pos, cp)) malformedUtf8(what, start, __LINE__);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out += static_cast<wchar_t>(0xD800 + (cp >> 10));
                out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
                continue;
            }
        }
        out += static_cast<wchar_t>(cp);
    }
    return out;
}

}  // namespace kedo
