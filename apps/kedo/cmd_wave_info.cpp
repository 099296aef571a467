// kedo wave-info: what the audio loader makes of a file.
#include <cstdio>

#include "audio/audio_file.h"
#include "cli.h"

namespace kedo::cli {
namespace {

int runWaveInfo(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one audio file"};
    const std::string& path = args.positional[0];
    int channels = 1;
    SampleArray wave = readAudioFile(path, &channels);
    std::printf("samples=%d rate=%d bits=%d", wave.count(), wave.rate, wave.bits);
    if (path.size() >= 3 && (path.compare(path.size() - 3, 3, "flv") == 0 || path.compare(path.size() - 3, 3, "FLV") == 0))
        std::printf(" channels=%d", channels);
    std::printf("\n");
    return 0;
}

const Registration reg{Command{
    "wave-info",
    "show what the audio loader reads from a WAV, raw or FLV file",
    "Usage: kedo wave-info FILE\n\n"
    "Loads FILE as the pipeline would (the reader is chosen by the last three\n"
    "characters: wav/wa1/wa2, raw, flv, lower or upper case) and prints\n"
    "'samples=N rate=HZ bits=B', plus ' channels=C' for an FLV file. The\n"
    "samples of a multi-channel file are counted interleaved.\n",
    {},
    {},
    runWaveInfo}};

}  // namespace
}  // namespace kedo::cli
