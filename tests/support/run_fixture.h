// Inputs of whole pipeline runs on the Chinese lexicon test data: synthetic
// models for its phones, a synthetic recording, and the scoring files.
#pragma once

#include <string>

namespace kedo::test {

// Writes a text macro file with one synthetic model per phone of
// tests/data/lexicon/chinese.pam (plus sil and sp).
void writeChineseTestModels(const std::string& path);

// 16-bit little-endian raw samples at 16 kHz: a tone in noise. With gated,
// the tone sounds only from sample 3000 to 13000, silence (noise) around it.
std::string syntheticRecording(int samples, unsigned seed, bool gated = false);

// Writes rank2score.txt, discount.txt and qiyin.txt (unvoiced phones: sh)
// into folder, and returns the parameter lines that name them (relative
// names when relative is set, else full paths) together with
// useAllModelAsCompetingModel = 1, which these phone names need.
std::string writeScoringFiles(const std::string& folder, bool relative = false);

}  // namespace kedo::test
