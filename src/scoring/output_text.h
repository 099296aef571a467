// Building result documents in memory and writing them out in one piece.
#pragma once

#include <string>

namespace kedo {

// Appends printf-style formatted text to out.
void appendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Creates (or truncates) path in text mode and writes content. A file that
// cannot be created ends the run with "Cannot open file ..."; a failed write
// with "Cannot write file ...".
void writeTextFile(const std::string& path, const std::string& content);

}  // namespace kedo
