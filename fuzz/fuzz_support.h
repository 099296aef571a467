// Shared by the fuzz targets: hand the input to a reader as a file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kedo::fuzz {

// Writes the input to a per-process temporary file with the given ending
// (for example "wav") and returns its path; every run reuses the file.
inline std::string inputFile(const uint8_t* data, size_t size, const std::string& ending) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir ? dir : "/tmp") + "/kedo_fuzz_" + std::to_string(getpid()) + "." + ending;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

}  // namespace kedo::fuzz
