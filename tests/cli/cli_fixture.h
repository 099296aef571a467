// A scratch copy of the bundled data folder and quoting for command lines:
// what the command-line tests run the engine on.
#pragma once

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace kedo::test {

inline const std::string kBundledData = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData";
inline const std::string kSamples = kBundledData + "/samples";

// A shell word: the text in single quotes.
inline std::string q(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A working folder holding a copy of the bundled kedoData.
class BundledHome {
public:
    BundledHome() {
        std::filesystem::copy(kBundledData, m_dir.file("kedoData"), std::filesystem::copy_options::recursive);
    }
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    // " --home 'DIR'" for a command line.
    std::string home() const { return " --home " + q(path()); }

private:
    TempDir m_dir;
};

// The number after "score=" on the last such line, or -1.
inline double scoreOf(const std::string& out) {
    size_t at = out.rfind("score=");
    return at == std::string::npos ? -1.0 : std::stod(out.substr(at + 6));
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace kedo::test
