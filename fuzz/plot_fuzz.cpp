// Fuzzes the result picture's reader of "output.xml": whatever document it
// accepts must draw, and a document it refuses must raise KedoError.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kedo/error.h"
#include "plot/result_picture.h"

namespace {

void writeBytes(const std::string& path, const void* data, size_t size) {
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* tmp = std::getenv("TMPDIR");
    static const std::string folder =
        std::string(tmp ? tmp : "/tmp") + "/kedo_plot_fuzz_" + std::to_string(getpid());
    static const bool made = [] {
        ::mkdir(folder.c_str(), 0700);
        const char wave[] = "0 120 -340 5000 -32768 32767 7 \n";
        writeBytes(folder + "/output.wave", wave, sizeof wave - 1);
        return true;
    }();
    (void)made;
    writeBytes(folder + "/output.xml", data, size);
    kedo::PictureData picture;
    try {
        picture = kedo::readPictureData(folder);
    } catch (const kedo::KedoError&) {
        return 0;
    }
    const std::string svg = kedo::pictureSvg(picture);
    if (svg.size() < 7 || svg.compare(svg.size() - 7, 7, "</svg>\n") != 0) std::abort();
    return 0;
}
