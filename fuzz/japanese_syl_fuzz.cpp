// Fuzzes the Japanese syllable file: read as a syl file, rewritten by the
// Japanese rules and written back as "output.syl".
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "lexicon/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    const std::string path = kedo::fuzz::inputFile(data, size, "syl");
    static const std::string outDir = path + ".out";
    static const int made = mkdir(outDir.c_str(), 0700);
    (void)made;
    kedo::recogParam p;
    p.language = "japanese";
    p.outputDir = outDir;
    kedo::textClass t;
    try {
        t.readSyl(path);
        t.japaneseSyl(p);
        t.addBetweenSyllables("-sp-");
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
