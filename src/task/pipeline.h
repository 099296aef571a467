// The recognition task pipeline: audio file -> conditioned wave -> models,
// lexicon, net, features -> search, text, scoring and result files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/result.h"
#include "task/recog_param.h"
#include "util/sample_array.h"

namespace kedo {

// Loads and conditions the audio named by p.wavFile, saves "output.wave" when
// p.outputDir is set, and runs recogWave. Fills mlf. Failures raise KedoError.
// Conditioning may clear p.useDescCandidateNum (spectral subtraction).
// Not safe to run concurrently with another run that shares p or mlf.
int recogWaveFile(recogParam& p, mlfClass& mlf);

// Reads models, dictionaries, texts and net, computes the features of the
// conditioned wave, and runs the search and scoring. Returns the first
// recognised text index.
int recogWave(recogParam& p, mlfClass& mlf, SampleArray& wave);

// The text a recognition returns: the recognised candidate texts, concatenated.
std::string recognisedSentence(const mlfClass& mlf);

// Raised where a stage that this build does not contain would run.
[[noreturn]] void stageNotBuilt(const char* stage);

}  // namespace kedo
