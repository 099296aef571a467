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

class macroClass;
class dictClass;
class textClass;
class netClass;

// Loads and conditions the audio named by p.wavFile, saves "output.wave" when
// p.outputDir is set, and runs recogWave. Fills mlf. Failures raise KedoError.
// Conditioning may clear p.useDescCandidateNum (spectral subtraction).
// Not safe to run concurrently with another run that shares p or mlf.
int recogWaveFile(recogParam& p, mlfClass& mlf);

// Reads models, dictionaries, texts and net, computes the features of the
// conditioned wave, and runs the search and scoring. Returns the first
// recognised text index.
int recogWave(recogParam& p, mlfClass& mlf, SampleArray& wave);

// The dictionary, text and net stages of a run (recogWave's steps 2 and 3):
// reads the dictionaries, reads and normalises the candidate texts and turns
// them into phonetic units, reads or builds the net, and saves the wpa
// entries the texts used. Prints the stages' timing lines.
void buildLexiconAndNet(recogParam& p, const macroClass& models, dictClass& dict, textClass& text, netClass& net,
                        std::vector<std::string>* warnings = nullptr);

// The text a recognition returns: the recognised candidate texts, concatenated.
std::string recognisedSentence(const mlfClass& mlf);

// Raised where a stage that this build does not contain would run.
[[noreturn]] void stageNotBuilt(const char* stage);

}  // namespace kedo
