// Building result documents in memory and writing them out in one piece.
#pragma once

#include <string>

#include "util/report_error.h"

namespace kedo {

// Appends printf-style formatted text to out.
void appendf(std::string& out, const char* fmt, ...) KEDO_PRINTF_FORMAT(2, 3);

// Creates (or truncates) path and writes content (bytes as they are). A file that
// cannot be created ends the run with "Cannot open file ..."; a failed write
// with "Cannot write file ...".
void writeTextFile(const std::string& path, const std::string& content);

}  // namespace kedo
