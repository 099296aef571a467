// kedo wave-info: what the audio loader makes of a file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "audio/audio_file.h"
#include "cli.h"
#include "util/report_error.h"

namespace kedo::cli {
namespace {

// The samples as 16-bit little-endian values, for comparing decoders.
void writeRaw(const std::string& path, const SampleArray& wave) {
    std::vector<uint8_t> bytes;
    bytes.reserve(wave.samples.size() * 2);
    for (int32_t s : wave.samples) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int32_t>(s, -32768, 32767)));
        bytes.push_back(static_cast<uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f != nullptr && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    if (f != nullptr && std::fclose(f) != 0) kedo::reportError("Cannot write " + path);
    if (!ok) kedo::reportError("Cannot write " + path);
}

int runWaveInfo(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one audio file"};
    const std::string& path = args.positional[0];
    int channels = 1;
    SampleArray wave = readAudioFile(path, &channels);
    std::printf("samples=%d rate=%d bits=%d", wave.count(), wave.rate, wave.bits);
    if (path.size() >= 3 && (path.compare(path.size() - 3, 3, "flv") == 0 || path.compare(path.size() - 3, 3, "FLV") == 0))
        std::printf(" channels=%d", channels);
    std::printf("\n");
    if (args.has("raw")) writeRaw(args.get("raw"), wave);
    return 0;
}

const Registration reg{Command{
    "wave-info",
    "show what the audio loader reads from a WAV, raw or FLV file",
    "Usage: kedo wave-info FILE\n\n"
    "Loads FILE as the pipeline would (the reader is chosen by the last three\n"
    "characters: wav/wa1/wa2, raw, flv, lower or upper case) and prints\n"
    "'samples=N rate=HZ bits=B', plus ' channels=C' for an FLV file. The\n"
    "samples of a multi-channel file are counted interleaved.\n\n"
    "  --raw OUT   also write the samples to OUT as raw 16-bit little-endian\n"
    "              values (interleaved), clipped to 16 bits\n",
    {"raw"},
    {},
    runWaveInfo}};

}  // namespace
}  // namespace kedo::cli
