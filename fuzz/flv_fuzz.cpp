// Fuzzes the FLV tag parser and the Nellymoser decoding of its blocks.
#include <cstdint>

#include "audio/flv_audio.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        kedo::FlvAudio a = kedo::decodeFlvImage(data, size, "fuzz.flv");
        if (a.samples.size() % 256 != 0) __builtin_trap();
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
