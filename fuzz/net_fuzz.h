// Shared by the net fuzz targets: the dictionary the fuzzed nets refer to.
#pragma once

#include "lexicon/dict.h"

namespace kedo::fuzz {

// Six words ("a", "b", "fillerC", "fillerV", "sil", "sp"), sorted, each with
// a model list holding a -1 for the net reader to adjust.
inline dictClass netFuzzDict() {
    dictClass d;
    for (const char* w : {"a", "b", "fillerC", "fillerV", "sil", "sp"}) d.m_pronDict.push_back(pronDictEntry{w, {1, -1}});
    return d;
}

}  // namespace kedo::fuzz
