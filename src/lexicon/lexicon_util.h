// Small helpers shared by the lexicon readers.
#pragma once

#include <string>

#include "util/file_util.h"

namespace kedo {

// readLines with a CR LF ending read as LF: one trailing carriage return is
// removed and lines that become empty are dropped.
inline void readDataLines(const std::string& path, StrVec& out, char comment) {
    readLines(path, out, comment);
    size_t kept = 0;
    for (std::string& line : out) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (&out[kept] != &line) out[kept] = std::move(line);
        ++kept;
    }
    out.resize(kept);
}

}  // namespace kedo
