// kedo run: one pipeline run on a parameter file, as the facade would start it.
#include <cstdio>

#include "cli.h"
#include "terminal.h"
#include "task/pipeline.h"
#include "task/recog_param.h"

namespace kedo::cli {
namespace {

int runRun(const Args& args) {
    if (!args.positional.empty()) throw UsageError{"unexpected argument " + args.positional[0]};
    recogParam p;
    readRecogParam(args.require("prm"), p);
    p.wavFile = args.require("wav");
    p.txtFile = args.require("txt");
    p.function = args.require("function");
    if (p.function != "assess" && p.function != "recog") throw UsageError{"--function must be assess or recog"};
    applyOutdir(args, p.outputDir);
    TerminalFilter terminal(pageOfLanguage(p.language));
    mlfClass mlf;
    recogWaveFile(p, mlf);
    if (p.function == "assess")
        std::printf("score=%g\n", static_cast<double>(mlf.score));
    else
        std::printf("text=%s\n", recognisedSentence(mlf).c_str());
    return 0;
}

const Registration reg{Command{
    "run",
    "run the pipeline on one recording",
    "Usage: kedo run --prm FILE.prm --wav AUDIO --txt TEXTS --function assess|recog [--outdir DIR]\n\n"
    "Reads the parameter file, replaces its wavFile, txtFile and function (and\n"
    "outputDir with --outdir), runs the whole pipeline and prints its progress.\n"
    "The last line is 'score=N' for an assessment or 'text=SENTENCE' for a\n"
    "recognition. Relative file names in the parameter file are relative to the\n"
    "current folder.\n\n"
    "  --prm FILE       recognition parameter file (.prm)\n"
    "  --wav AUDIO      audio file: .wav/.wa1/.wa2, .raw (16 kHz 16-bit) or .flv\n"
    "  --txt TEXTS      candidate text file: the sentence to assess or the list\n"
    "  --function KIND  assess or recog\n"
    "  --outdir DIR     folder for result and diagnostic files (overrides outputDir;\n"
    "                   created when missing)\n",
    {"prm", "wav", "txt", "function", "outdir"},
    {},
    runRun}};

}  // namespace
}  // namespace kedo::cli
