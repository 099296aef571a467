// kedo models: list an HMM macro file's models and convert between its forms.
#include <cstdio>

#include "acoustic/macro.h"
#include "cli.h"

namespace kedo::cli {
namespace {

int runModels(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one macro file"};
    if (args.has("count")) requireFile(args.get("count"), "model count file");
    macroClass set;
    // Unconverted, so that --write copies the values exactly.
    set.readModels(args.positional[0], false);
    set.sortModels();
    if (args.has("count")) set.readModelCount(args.get("count"));
    for (const auto& line : set.summaryLines(args.has("count"))) std::printf("%s\n", line.c_str());
    if (args.has("write")) {
        set.writeModels(args.get("write"));
        std::printf("\t===> Saved %s\n", args.get("write").c_str());
    }
    return 0;
}

const Registration reg{Command{
    "models",
    "list the models of an HMM macro file; convert between .mac and .macb",
    "Usage: kedo models FILE.mac|FILE.macb [--count FILE] [--write OUT.mac|OUT.macb]\n\n"
    "Reads a text (.mac) or binary (.macb) macro file, sorts the models by name\n"
    "and prints the model count, the stream count with the stream widths, and\n"
    "one line per model: index, name, state count and the mixture counts of\n"
    "each emitting state (streams separated by commas).\n\n"
    "  --count FILE   attach the counts of a model count file (name<TAB>count\n"
    "                 per line, line i for model i) and print ln(count) per model\n"
    "  --write OUT    write the sorted set in the form OUT's extension names\n",
    {"count", "write"},
    {},
    runModels}};

}  // namespace
}  // namespace kedo::cli
