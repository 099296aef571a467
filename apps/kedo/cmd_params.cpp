// kedo params: print the parameter record that a .prm file yields.
#include <cstdio>

#include "cli.h"
#include "task/recog_param.h"

namespace kedo::cli {
namespace {

int runParams(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one parameter file"};
    recogParam rec;
    readRecogParam(args.positional[0], rec);
    for (const auto& line : recogParamLines(rec)) std::printf("%s\n", line.c_str());
    return 0;
}

const Registration reg{Command{
    "params",
    "print every field of a parameter file's record",
    "Usage: kedo params FILE.prm\n\n"
    "Reads the recognition parameter file and prints every field of the record\n"
    "as 'key = value', one per line, in record order. Keys the file leaves out\n"
    "show their defaults.\n",
    {},
    {},
    runParams}};

}  // namespace
}  // namespace kedo::cli
