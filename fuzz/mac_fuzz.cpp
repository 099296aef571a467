// Fuzzes the text macro file reader (".mac"), then checks that the text
// writer's image of what it accepted reads back to the same models, and sorts,
// converts and evaluates every state.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acoustic/macro.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    kedo::macroClass set;
    try {
        set.parseTextModels(bytes, "fuzz.mac");
    } catch (const kedo::KedoError&) {
        return 0;
    }
    // A header line that itself begins with "~h" counts as a model line
    // when read back; every other accepted set must survive the round trip.
    if (set.m_header.rfind("~h", 0) != 0) {
        kedo::macroClass again;
        again.parseTextModels(set.textImage(), "again.mac");
        if (again.m_modelNum != set.m_modelNum) std::abort();
        for (int m = 0; m < set.m_modelNum; ++m)
            if (std::strcmp(again.m_models[m].name, set.m_models[m].name) != 0 ||
                again.m_models[m].numStates != set.m_models[m].numStates)
                std::abort();
    }
    set.sortModels();
    set.convertModels();
    float x[kedo::MAX_STREAM_NUM * kedo::MAX_VECTOR_SIZE] = {};
    for (int m = 0; m < set.m_modelNum; ++m)
        for (int s = 0; s < set.m_models[m].numStates - 2; ++s) (void)kedo::stateLogLikelihood(x, set, m, s);
    if (set.m_modelNum > 0) {
        try {
            (void)set.findModel(set.m_models[0].name);
            (void)set.findModel("x-y+z");
        } catch (const kedo::KedoError&) {
        }
    }
    return 0;
}
