// Fuzzes the parameter file reader.
#include <cstdint>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "task/recog_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kedo::fuzz::inputFile(data, size, "prm");
    kedo::recogParam p;
    try {
        kedo::readRecogParam(path, p);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
