// kedo net: the dictionary, text and net stages of a parameter set, and the
// net they give written to a file.
#include <cstdio>

#include "acoustic/macro.h"
#include "cli.h"
#include "net/net.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/pipeline.h"
#include "task/recog_param.h"
#include "util/file_util.h"
#include "util/timing.h"

namespace kedo::cli {
namespace {

int runNet(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one output file (.net or .netb)"};
    const std::string out = args.positional[0];
    const std::string ext = fileExtension(out);
    const bool binary = ext == "netb" || ext == "NETB";
    if (!binary && ext != "net" && ext != "NET") throw UsageError{"the output file must end in .net or .netb"};
    recogParam p;
    readRecogParam(args.require("prm"), p);
    p.txtFile = args.require("txt");
    p.function = args.require("function");
    if (p.function != "assess" && p.function != "recog") throw UsageError{"--function must be assess or recog"};
    applyOutdir(args, p.outputDir);

    long start = processorTicks();
    macroClass models;
    models.readModels(p.macFile, false);
    models.sortModels();
    std::printf("%4.3f sec: Read \"%s\" (modelNum=%d)\n", secondsSince(start), p.macFile.c_str(), models.m_modelNum);
    dictClass dict;
    textClass text;
    netClass net;
    buildLexiconAndNet(p, models, dict, text, net);

    if (binary)
        net.netWriteBinary(out);
    else
        net.netPrint(out);
    std::printf("\t===> Saved net file: %s\n", out.c_str());
    std::printf("nodeNum=%d linkNum=%d fanOut=%d\n", net.nodeNum, net.linkNum, net.fanOut());
    return 0;
}

const Registration reg{Command{
    "net",
    "build or read the search net of a parameter set and write it",
    "Usage: kedo net --prm FILE.prm --txt TEXTS --function assess|recog [--outdir DIR] OUT.net|OUT.netb\n\n"
    "Runs the stages of a pipeline run that lead to the search net: reads the\n"
    "model set (macFile) for the dictionary's model names, the dictionaries,\n"
    "the candidate texts and their syllable paths, then reads netFile or builds\n"
    "the sausage or tree net exactly as a run would, and writes the net in the\n"
    "form OUT's extension names (.net text, .netb binary). The last line gives\n"
    "'nodeNum=N linkNum=L fanOut=F'. With outputDir set (in the parameter file\n"
    "or by --outdir) the stages also write their dumps there (output.nt,\n"
    "output.syl, output.dic, output.net, output.netb, output.wpa).\n\n"
    "  --prm FILE       recognition parameter file (.prm)\n"
    "  --txt TEXTS      candidate text file, or texts separated by '#'\n"
    "  --function KIND  assess or recog (shapes the tree net)\n"
    "  --outdir DIR     folder for the stages' dumps (overrides outputDir;\n"
    "                   created when missing)\n",
    {"prm", "txt", "function", "outdir"},
    {},
    runNet}};

}  // namespace
}  // namespace kedo::cli
