// kedo assess, recog, record-assess, record-recog: the engine object's
// operations from the command line.
#include "cli.h"
#include "terminal.h"
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
    "                error\n"
    "  --quiet       print only the result line (or the JSON document) on\n"
    "                standard output, without the progress lines; warnings and\n"
    "                errors still go to standard error\n";

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
    r.processEndsAfter = true;
    return r;
}

int runFileCommand(const Args& args, FacadeOperation operation) {
    FacadeRequest r = commonRequest(args, operation);
    r.audio = args.positional[0];
    TerminalFilter terminal(r.language != 0 ? TextPage::big5 : TextPage::cp1252);
    return runFacadeCommand(r, args.flag("json"), args.flag("quiet"));
}

int runRecordCommand(const Args& args, FacadeOperation operation) {
    FacadeRequest r = commonRequest(args, operation);
    r.seconds = parseRecordSeconds(args.positional[0]);
    TerminalFilter terminal(r.language != 0 ? TextPage::big5 : TextPage::cp1252);
    return runFacadeCommand(r, args.flag("json"), args.flag("quiet"));
}

const Registration assessReg{Command{
    "assess",
    "assess how well an audio file speaks a sentence (score 0-100)",
    std::string("Usage: kedo assess AUDIO \"SENTENCE\" [--lang en|zh] [--home DIR] [--json] [--quiet]\n\n"
                "Assesses the pronunciation of SENTENCE in AUDIO with the engine's\n"
                "assessment parameter set (kedoData/english.sa.prm or chinese.sa.prm) and\n"
                "prints the engine's progress, then 'score=N'. The output folder\n"
                "kedoData/output is emptied first and holds the run's files afterwards.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json", "quiet"},
    [](const Args& a) { return runFileCommand(a, FacadeOperation::assess); }}};

const Registration recogReg{Command{
    "recog",
    "recognise which sentence of a list an audio file speaks",
    std::string("Usage: kedo recog AUDIO LISTFILE [--lang en|zh] [--home DIR] [--json] [--quiet]\n\n"
                "Recognises which sentence of LISTFILE (one candidate per line, in UTF-8\n"
                "or in the language's code page: Big5 for zh, Latin-1 for en) is spoken\n"
                "in AUDIO with the recognition parameter set (kedoData/english.vc.prm or\n"
                "chinese.vc.prm) and prints the engine's progress, then 'text=SENTENCE'.\n"
                "LISTFILE must exist.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json", "quiet"},
    [](const Args& a) { return runFileCommand(a, FacadeOperation::recog); }}};

const Registration recordAssessReg{Command{
    "record-assess",
    "record from the capture device, then assess the recording",
    std::string("Usage: kedo record-assess SECONDS \"SENTENCE\" [--lang en|zh] [--home DIR] [--json] [--quiet]\n\n"
                "Records SECONDS of audio (1 channel, 16000 Hz, 16 bits) from the capture\n"
                "device that KEDO_CAPTURE_DEVICE names, saves it as\n"
                "kedoData/output/saWAV.wav and assesses it like 'kedo assess'.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json", "quiet"},
    [](const Args& a) { return runRecordCommand(a, FacadeOperation::recordAssess); }}};

const Registration recordRecogReg{Command{
    "record-recog",
    "record from the capture device, then recognise the recording",
    std::string("Usage: kedo record-recog SECONDS LISTFILE [--lang en|zh] [--home DIR] [--json] [--quiet]\n\n"
                "Records SECONDS of audio from the capture device that KEDO_CAPTURE_DEVICE\n"
                "names, saves it as kedoData/output/vcWAV.wav and recognises it like\n"
                "'kedo recog'.\n\n") +
        kCommonOptions,
    {"lang", "home"},
    {"json", "quiet"},
    [](const Args& a) { return runRecordCommand(a, FacadeOperation::recordRecog); }}};

}  // namespace
}  // namespace kedo::cli
