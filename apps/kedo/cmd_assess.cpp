// kedo assess, recog, record-assess, record-recog: the engine object's
// operations from the command line.
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli.h"
#include "facade/facade_command.h"

namespace kedo::cli {
namespace {

const char* const kCommonOptions =
    "  --lang en|zh  language of the parameter sets and the text (default en)\n"
    "  --home DIR    working folder holding kedoData/ (default: KEDO_HOME, else\n"
    "                the data folder installed with the engine)\n"
    "  --json        print only a JSON document on standard output: the score,\n"
    "                sentence, words, phones, discounts, tracks, warnings, the\n"
    "                output folder and its files; progress lines go to standard\n"
    "                error\n";

FacadeRequest commonRequest(const Args& args, FacadeOperation operation) {
    if (args.positional.size() != 2) throw UsageError{"expected two arguments"};
    FacadeRequest r;
    r.operation = operation;
    r.home = args.get("home");
    std::string lang = args.get("lang", "en");
    if (lang == "en")
        r.language = 0;
    else if (lang == "zh")
        r.language = 1;
    else
        throw UsageError{"--lang must be en or zh"};
    r.text = args.positional[1];
    return r;
}

double parseSeconds(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v < 0)
        throw UsageError{"SECONDS must be a number of seconds, not '" + text + "'"};
    return v;
}

int runFileCommand(const Args& args, FacadeOperation operation) {
    FacadeRequest r = commonRequest(args, operation);
    r.audio = args.positional[0];
    return runFacadeCommand(r, args.flag("json"));
}

int runRecordCommand(const Args& args, FacadeOperation operation) {
    FacadeRequest r = commonRequest(args, operation);
    r.seconds = parseSeconds(args.positional[0]);
    return runFacadeCommand(r, args.flag("json"));
}

const Registration assessReg{Command{
    "assess",
    "assess how well an audio file speaks a sentence (score 0-100)",
    std::string("Usage: kedo assess AUDIO \"SENTENCE\" [--lang en|zh] [--home DIR] [--json]\n\n"
                "Assesses the pronunciation of SENTENCE in AUDIO with the engine's\n"
                "assessment parameter set (kedoData/english.sa.prm or chinese.sa.prm) and\n"
                "prints the engine's progress, then 'score=N'. The output folder\n"
                "kedoData/output is emptied first and holds the run's files afterwards.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json"},
    [](const Args& a) { return runFileCommand(a, FacadeOperation::assess); }}};

const Registration recogReg{Command{
    "recog",
    "recognise which sentence of a list an audio file speaks",
    std::string("Usage: kedo recog AUDIO LISTFILE [--lang en|zh] [--home DIR] [--json]\n\n"
                "Recognises which sentence of LISTFILE (one candidate per line, in the\n"
                "language's code page) is spoken in AUDIO with the recognition parameter\n"
                "set (kedoData/english.vc.prm or chinese.vc.prm) and prints the engine's\n"
                "progress, then 'text=SENTENCE'.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json"},
    [](const Args& a) { return runFileCommand(a, FacadeOperation::recog); }}};

const Registration recordAssessReg{Command{
    "record-assess",
    "record from the capture device, then assess the recording",
    std::string("Usage: kedo record-assess SECONDS \"SENTENCE\" [--lang en|zh] [--home DIR] [--json]\n\n"
                "Records SECONDS of audio (1 channel, 16000 Hz, 16 bits) from the capture\n"
                "device that KEDO_CAPTURE_DEVICE names, saves it as\n"
                "kedoData/output/saWAV.wav and assesses it like 'kedo assess'.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json"},
    [](const Args& a) { return runRecordCommand(a, FacadeOperation::recordAssess); }}};

const Registration recordRecogReg{Command{
    "record-recog",
    "record from the capture device, then recognise the recording",
    std::string("Usage: kedo record-recog SECONDS LISTFILE [--lang en|zh] [--home DIR] [--json]\n\n"
                "Records SECONDS of audio from the capture device that KEDO_CAPTURE_DEVICE\n"
                "names, saves it as kedoData/output/vcWAV.wav and recognises it like\n"
                "'kedo recog'.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json"},
    [](const Args& a) { return runRecordCommand(a, FacadeOperation::recordRecog); }}};

}  // namespace
}  // namespace kedo::cli
