// Fuzzes the binary macro file reader (".macb"); an accepted file must be
// written back byte for byte (up to the bytes after its last model) and its
// states must evaluate.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "acoustic/macro.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    kedo::macroClass set;
    try {
        set.parseBinaryModels(bytes, "fuzz.macb");
    } catch (const kedo::KedoError&) {
        return 0;
    }
    // The writer pads names with NULs, so compare the second image with the
    // first rather than with the input.
    std::string image = set.binaryImage();
    kedo::macroClass again;
    again.parseBinaryModels(image, "again.macb");
    if (again.binaryImage() != image) std::abort();
    set.sortModels();
    set.convertModels();
    float x[kedo::MAX_STREAM_NUM * kedo::MAX_VECTOR_SIZE] = {};
    for (int m = 0; m < set.m_modelNum; ++m)
        for (int s = 0; s < set.m_models[m].numStates - 2; ++s) (void)kedo::stateLogLikelihood(x, set, m, s);
    return 0;
}
