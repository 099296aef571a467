// Fuzzes the binary wpa reader (".wpab" files).
#include <cstdint>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "lexicon/dict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kedo::fuzz::inputFile(data, size, "wpab");
    kedo::dictClass d;
    try {
        d.wpaRead(path, "english");
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
