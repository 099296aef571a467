// Host text conversions of the engine object: UTF-8 to the code pages and
// back, and wide strings. Malformed or unconvertible input must end in
// KedoError; whatever converts must convert back unchanged where the
// conversion is one-to-one (Windows-1252, wide strings).
#include <cstdint>
#include <string>

#include "facade/code_page.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kedo;
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        std::string western = utf8ToCodePage(text, CodePage::cp1252, "text");
        if (codePageToUtf8(western, CodePage::cp1252, "text") != text) __builtin_trap();
    } catch (const KedoError&) {
    }
    try {
        std::string big5 = utf8ToCodePage(text, CodePage::cp950, "text");
        codePageToUtf8(big5, CodePage::cp950, "text");
    } catch (const KedoError&) {
    }
    try {
        codePageToUtf8(text, CodePage::cp950, "text");
    } catch (const KedoError&) {
    }
    try {
        std::wstring wide = utf8ToWide(text, "text");
        if (wideToUtf8(wide, "text") != text) __builtin_trap();
    } catch (const KedoError&) {
    }
    std::wstring raw;
    for (size_t i = 0; i + 4 <= size; i += 4)
        raw += static_cast<wchar_t>(data[i] | data[i + 1] << 8 | data[i + 2] << 16 | uint32_t(data[i + 3]) << 24);
    try {
        std::string utf8 = wideToUtf8(raw, "text");
        if (utf8ToWide(utf8, "text") != raw) __builtin_trap();
    } catch (const KedoError&) {
    }
    return 0;
}
