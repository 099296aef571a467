// FLV files in the Windows build: the Nellymoser decoder (libavcodec) is not
// part of it, so every FLV file is refused with a message naming it.
#include "audio/flv_audio.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "flvimpl";
}

FlvAudio decodeFlvImage(const uint8_t*, size_t, const std::string& path) {
    reportError(strFormat("Cannot read %s: FLV audio is not supported by the Windows build (line %d of %s)",
                          path.c_str(), __LINE__, kModule));
}

FlvAudio readFlvAudio(const std::string& path) { return decodeFlvImage(nullptr, 0, path); }

}  // namespace kedo
