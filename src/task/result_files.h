// The plain-text result files of a run and the keyword result lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/result.h"
#include "util/sample_array.h"

namespace kedo {

// "output.wave": every sample as a decimal integer followed by one blank, then
// a line end. A file that cannot be created prints
// `Error: Cannot open "PATH"!` and ends the operation.
void writeOutputWave(const std::string& path, const std::vector<int32_t>& samples);

// "recogResult.txt": the eight lines Text index, Text, Score, CGU, MPA, HanYu,
// Tone, LogProb.
void writeRecogResult(const std::string& path, const mlfClass& mlf);

// A keyword matched by comparison mode 3: its name, score, node range
// (inclusive) and the syllable indices it spans.
struct KeywordRecord {
    std::string name;
    float score = 0;
    int32_t firstNode = 0;
    int32_t lastNode = 0;
    std::vector<int32_t> sylIndices;
};

// Sets every keyword's score to the duration-weighted mean of its nodes'
// timberScore (weights endFrame - startFrame). A keyword whose nodes have no
// duration at all gets 0. Node indices outside the object are an error.
void computeKeywordScores(std::vector<KeywordRecord>& keywords, const mlfClass& mlf);

// Prints the keyword block to standard output; sylTexts are the syllable
// texts the indices refer to.
void printKeywordLines(const std::vector<KeywordRecord>& keywords, const std::vector<std::string>& sylTexts);

}  // namespace kedo
