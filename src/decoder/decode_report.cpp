// The lines `kedo decode` prints.
#include "decoder/decode_report.h"

#include "util/report_error.h"

namespace kedo {

std::vector<std::string> decodeReportLines(const mlfClass& mlf) {
    std::string text;
    for (const std::string& t : mlf.texts) text += t;
    return {std::string("text=") + text, std::string("path=") + mlf.identifiedSyl, strFormat("logProb=%f", static_cast<double>(mlf.pathLogProb))};
}

bool stoppedAfterText(const mlfClass& mlf, const std::string& message) {
    return !mlf.textIndex.empty() && message.rfind("The stage \"", 0) == 0 &&
           message.find("\" is not part of this build") != std::string::npos;
}

}  // namespace kedo
