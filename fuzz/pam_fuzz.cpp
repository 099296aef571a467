// Fuzzes the pronunciation dictionary (pam) reader against a small model set
// of names, then writes the dictionary back.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "lexicon/dict.h"

namespace {
const std::vector<std::string> kNames = {"a", "a+b", "b", "b+sil", "sil"};

int32_t findName(const std::string& name) {
    auto it = std::lower_bound(kNames.begin(), kNames.end(), name);
    if (it != kNames.end() && *it == name) return static_cast<int32_t>(it - kNames.begin());
    return name == "sp" ? -1 : 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kedo::fuzz::inputFile(data, size, "pam");
    kedo::modelSetView view;
    view.modelNum = static_cast<int32_t>(kNames.size());
    view.findModel = findName;
    view.modelName = [](int32_t i) { return kNames[static_cast<size_t>(i)]; };
    kedo::dictClass d;
    try {
        d.pronDictRead(path, view);
        if (!d.m_pronDict.empty()) (void)d.pronDictFind(d.m_pronDict.back().word);
        d.pronDictWrite(path + ".dic", view);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
