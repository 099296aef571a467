// Fuzzes the pinyin table reader, then puts the table to work: conversions
// between every pair of its first columns and a Chinese wpa read through it.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "lexicon/dict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    const std::string path = kedo::fuzz::inputFile(data, size, "tab");
    static const std::string wpa = [] {
        const char text[] = "zhong\t1-3\n\xa4\xa4\t2\nwen\t3-2-1\nhao\t9\n";
        return kedo::fuzz::inputFile(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, "tab.wpa");
    }();
    kedo::dictClass d;
    try {
        d.pinyinTableRead(path);
        const std::string first = d.m_pinyinTable.empty() || d.m_pinyinTable[0].empty() ? "x" : d.m_pinyinTable[0][0];
        for (int from = -1; from < 5; ++from) {
            for (int to = -1; to < 5; ++to) {
                (void)d.pinyinConvert(first, from, to);
                (void)d.convertSylPath(first + "-sil-" + first + "--", from, to);
            }
        }
        d.wpaRead(wpa, "chinese");
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
