// What `kedo decode` reports of a run.
#pragma once

#include <string>
#include <vector>

#include "kedo/result.h"

namespace kedo {

// "text=..." (the recognised texts, concatenated), "path=..." (the identified
// syllable path) and "logProb=%f" (the best path's log probability).
std::vector<std::string> decodeReportLines(const mlfClass& mlf);

// True when a run failed only at a stage that this build lacks, after the
// best path had been mapped to text (the result holds recognised texts).
bool stoppedAfterText(const mlfClass& mlf, const std::string& message);

}  // namespace kedo
