// A scratch copy of the bundled data folder and quoting for command lines:
// what the command-line tests run the engine on.
#pragma once

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace kedo::test {

inline const std::string kBundledData = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData";
inline const std::string kSamples = kBundledData + "/samples";

// The number after "score=" on the last such line, or -1.
inline double scoreOf(const std::string& out) {
    size_t at = out.rfind("score=");
    return at == std::string::npos ? -1.0 : std::stod(out.substr(at + 6));
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kedo::test
