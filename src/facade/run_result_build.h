// Turning a run's result object into the result hosts see.
#pragma once

#include <functional>
#include <string>

#include "kedo/result.h"
#include "kedo/run_result.h"

namespace kedo {

// Converts a text of the run's code page to UTF-8.
using ToUtf8 = std::function<std::string(const std::string&)>;

// The result of a run: words are the nodes with a text, phones every phone of
// every node; times are frames / 100 seconds, ends exclusive; discounts are the
// reasons with occurrences (reason 4, the syllable count difference, is
// reported but not applied). sentence is the assessed sentence (UTF-8) of an
// assessment; a recognition's comes from the result object.
RunResult buildRunResult(const mlfClass& mlf, bool assessment, const std::string& language,
                         const std::string& sentence, const std::string& outputFolder, const ToUtf8& toUtf8);

}  // namespace kedo
