// Fuzzes the text wpa reader in both layouts: the first byte of the input
// chooses English (even) or Chinese (odd, rows through a small pinyin table),
// the rest is the file; the inline string reader gets the same bytes.
#include <cstdint>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "lexicon/dict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* language = (data[0] & 1) ? "chinese" : "english";
    std::string path = kedo::fuzz::inputFile(data + 1, size - 1, "wpa");
    kedo::dictClass d;
    d.m_pinyinTable = {{"a", "b", "c", "d"}, {"short"}, {"e", "f", "g", "h", "i"}};
    try {
        d.wpaRead(path, language);
        d.m_wpaAddenda = d.m_wpa;
        d.wpaMerge();
        d.wpaSort();
    } catch (const kedo::KedoError&) {
    }
    try {
        kedo::wpaList out;
        kedo::wpaParseInline(std::string(reinterpret_cast<const char*>(data + 1), size - 1), "english", out);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
