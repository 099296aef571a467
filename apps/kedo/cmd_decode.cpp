// kedo decode: the recognition road of the pipeline up to the recognised text.
#include <cstdio>
#include <string>

#include "cli.h"
#include "terminal.h"
#include "decoder/decode_report.h"
#include "kedo/error.h"
#include "task/pipeline.h"
#include "task/recog_param.h"

namespace kedo::cli {
namespace {

int runDecode(const Args& args) {
    if (!args.positional.empty()) throw UsageError{std::string("unexpected argument ") + args.positional[0]};
    recogParam p;
    readRecogParam(args.require("prm"), p);
    p.wavFile = args.require("wav");
    p.txtFile = args.require("txt");
    p.function = "recog";
    applyOutdir(args, p.outputDir);
    TerminalFilter terminal(pageOfLanguage(p.language));
    mlfClass mlf;
    try {
        recogWaveFile(p, mlf);
    } catch (const KedoError& e) {
        // A stage after the text mapping that this build lacks still leaves
        // the recognised text to report.
        if (!stoppedAfterText(mlf, e.what())) throw;
        std::printf("(%s)\n", e.what());
    }
    for (const std::string& line : decodeReportLines(mlf)) std::printf("%s\n", line.c_str());
    return 0;
}

const Registration reg{Command{
    "decode",
    "recognise which candidate text was spoken, up to the text",
    "Usage: kedo decode --prm FILE.prm --wav AUDIO --txt TEXTS [--outdir DIR]\n\n"
    "Runs the recognition road of the pipeline (function recog): audio, models,\n"
    "lexicon, net, features, the Viterbi search and the mapping of the best path\n"
    "to the candidate texts. Prints the progress lines, then 'text=SENTENCE'\n"
    "(the recognised texts, concatenated), 'path=UNITS' (the recognised\n"
    "syllable path) and 'logProb=X' (the best path's log probability).\n\n"
    "  --prm FILE       recognition parameter file (.prm)\n"
    "  --wav AUDIO      audio file: .wav/.wa1/.wa2, .raw (16 kHz 16-bit) or .flv\n"
    "  --txt TEXTS      candidate text file, or texts separated by '#'\n"
    "  --outdir DIR     folder for result and diagnostic files (overrides outputDir;\n"
    "                   created when missing)\n",
    {"prm", "wav", "txt", "outdir"},
    {},
    runDecode}};

}  // namespace
}  // namespace kedo::cli
