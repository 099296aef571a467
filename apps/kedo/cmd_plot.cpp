// kedo plot: a picture of one run, drawn from its output folder.
#include <cstdio>

#include "cli.h"
#include "kedo/plot.h"

namespace kedo::cli {
namespace {

int runPlot(const Args& args) {
    if (args.positional.size() != 2) throw UsageError{"expected an output folder and an SVG file"};
    writeResultPicture(args.positional[0], args.positional[1]);
    std::printf("Saved %s\n", args.positional[1].c_str());
    return 0;
}

const Registration reg{Command{
    "plot",
    "draw one run from its output folder as an SVG picture",
    "Usage: kedo plot OUTPUT_DIR OUT.svg\n\n"
    "Draws the run whose files are in OUTPUT_DIR (kedoData/output after an\n"
    "assessment or recognition) into OUT.svg: the score and the sentence; the\n"
    "waveform of the conditioned recording; the words and the phones on a time\n"
    "axis, coloured by their scores (red 0, yellow 50, green 100, grey for\n"
    "silences and pauses) with the scores written where they fit; the volume\n"
    "and pitch tracks; and the discount reasons that occurred. It reads\n"
    "output.xml and output.wave, and names the one that is missing.\n",
    {},
    {},
    runPlot}};

}  // namespace
}  // namespace kedo::cli
