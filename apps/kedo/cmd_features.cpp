// kedo features: MFCC feature file of an audio file.
#include <cstdio>

#include "audio/audio_file.h"
#include "cli.h"
#include "frontend/epd.h"

namespace kedo::cli {
namespace {

int runFeatures(const Args& args) {
    if (args.positional.size() != 2) throw UsageError{"expected an audio file and an output file"};
    SampleArray wave = readMonoAudioFile(args.positional[0]);
    requireFile(args.require("config"), "feature configuration file");
    FeatureMatrix fea = waveFeatures(wave, args.require("config"), args.flag("epd"), args.positional[1]);
    std::printf("frames=%d dim=%d\n", fea.frameNum, fea.dim);
    return 0;
}

const Registration reg{Command{
    "features",
    "compute the MFCC feature file of an audio file",
    "Usage: kedo features --config CFG AUDIO OUT.fea [--epd]\n\n"
    "Loads AUDIO (wav/wa1/wa2, raw 16 kHz 16-bit, or flv), conditions it as the\n"
    "pipeline does (16 bits, 16000 Hz, DC removed; no volume rejection, no\n"
    "spectral subtraction), cuts it to the spoken stretch with --epd, computes\n"
    "the features with frames of 20 ms every 10 ms and writes them to OUT.fea:\n"
    "one line per frame, every value followed by a blank. Progress and timing\n"
    "lines go to standard output, ending with 'frames=N dim=D'.\n\n"
    "  --config CFG  feature configuration file (KEY=value lines; keys it leaves\n"
    "                out keep their defaults: MFCC_E_D_A, 39 values per frame);\n"
    "                it must exist\n"
    "  --epd         keep only the stretch found by end-point detection\n",
    {"config"},
    {"epd"},
    runFeatures}};

}  // namespace
}  // namespace kedo::cli
