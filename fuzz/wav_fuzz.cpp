// Fuzzes the WAV reader and the loader's conversion; a file that reads must
// also write back and read again to the same samples.
#include <cstdint>
#include <cstdlib>

#include "audio/audio_file.h"
#include "audio/wav_file.h"
#include "fuzz_support.h"
#include "kedo/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kedo::fuzz::inputFile(data, size, "wav");
    try {
        kedo::readAudioFile(path);
    } catch (const kedo::KedoError&) {
    }
    kedo::soundBuffer buffer(1, 8000, 8);
    if (kedo::readWavImage(buffer, data, size) && buffer.format().bitsPerSample == 16) {
        std::string copy = path + ".copy.wav";
        kedo::soundBuffer again(1, 8000, 8);
        if (!kedo::writeWav(buffer, copy) || !kedo::readWav(again, copy) || again.data() != buffer.data()) std::abort();
    }
    return 0;
}
