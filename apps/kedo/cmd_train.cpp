// kedo train: acoustic models from a corpus of recordings and transcripts.
#include <cstdlib>
#include <string>

#include "cli.h"
#include "train/trainer.h"

namespace kedo::cli {
namespace {

int intOption(const Args& args, const std::string& name, int fallback) {
    if (!args.has(name)) return fallback;
    const std::string v = args.get(name);
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0') throw UsageError{"--" + name + " needs a whole number, not '" + v + "'"};
    return static_cast<int>(n);
}

int runTrain(const Args& args) {
    if (!args.positional.empty()) throw UsageError{"unexpected argument '" + args.positional[0] + "'"};
    trainOptions o;
    o.prmFile = args.require("prm");
    o.corpusFile = args.require("corpus");
    o.outDir = args.require("out");
    o.mixtures = intOption(args, "mixtures", o.mixtures);
    o.threads = intOption(args, "threads", o.threads);
    o.seed = static_cast<uint32_t>(intOption(args, "seed", static_cast<int>(o.seed)));
    o.minContextCount = intOption(args, "min-context", o.minContextCount);
    if (args.has("held-out-speakers")) {
        o.heldOutSpeakers = strSplit(args.get("held-out-speakers"), ',');
        strVecRemoveEmpty(o.heldOutSpeakers);
    }
    o.resume = args.flag("resume");
    o.verbose = args.flag("verbose");
    trainModels(o);
    return 0;
}

const Registration reg{Command{
    "train",
    "train acoustic models from recordings and transcripts",
    "Usage: kedo train --prm FILE.prm --corpus CORPUS.tsv --out DIR [--mixtures N]\n"
    "                  [--threads N] [--seed N] [--min-context N]\n"
    "                  [--held-out-speakers LIST] [--resume] [--verbose]\n\n"
    "Trains the models of the language of FILE.prm on the utterances of CORPUS.tsv\n"
    "and writes models.macb, models.mac, models.cnt, cm.txt and train.log to DIR.\n"
    "The parameter file's language, lexicon files, featureConfigFile, useEpd and\n"
    "usePaddedHardSp decide the features and the model sequence of each transcript,\n"
    "as an assessment would; its macFile is not needed.\n\n"
    "CORPUS.tsv: one utterance per line, TAB-separated: audio path (relative to the\n"
    "corpus file), transcript (UTF-8), optional speaker. '#' starts a comment line.\n\n"
    "  --mixtures N   Gaussians per stream at the end, 1 to 32 (default 8)\n"
    "  --threads N    threads of the re-estimation passes (default 1); the output\n"
    "                 does not depend on it\n"
    "  --seed N       recorded with the run (default 1)\n"
    "  --min-context N  a right context seen fewer than N times in the transcripts\n"
    "                 shares one tied model with its centre phone's other thin\n"
    "                 contexts (default 10)\n"
    "  --held-out-speakers A,B  speakers kept out of training; cm.txt is fitted on\n"
    "                 their recordings\n"
    "  --resume       continue from the last checkpoint in DIR\n"
    "  --verbose      keep the progress lines of the engine runs inside the\n"
    "                 training (front end, held-out assessments) in DIR/engine.log\n\n"
    "Prints one line per stage and iteration, and progress through long stages;\n"
    "train.log holds these and the details (frames per model, skipped utterances).\n",
    {"prm", "corpus", "out", "mixtures", "threads", "seed", "min-context", "held-out-speakers"},
    {"resume", "verbose"},
    runTrain}};

}  // namespace
}  // namespace kedo::cli
