// The acoustic model trainer behind "kedo train": corpus, cached features,
// flat start, embedded Baum-Welch with right-context models and mixture
// splitting, checkpoints, and the model, count and confidence files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/progress.h"
#include "util/str_util.h"

namespace kedo {

struct trainOptions {
    std::string prmFile;
    std::string corpusFile;
    std::string outDir;
    int mixtures = 8;      // final mixtures per stream, 1..32 (1, 2, 4, ... then this)
    int threads = 1;       // E-step threads
    uint32_t seed = 1;     // part of the run's identity; the recipe has no random step
    StrVec heldOutSpeakers;  // whole speakers kept out of training
    bool resume = false;   // continue from the last checkpoint in outDir
    // The engine's own progress lines of the runs inside the training (front
    // end, lexicon, held-out assessments) go to outDir/engine.log when set,
    // else nowhere.
    bool verbose = false;
    // Where the trainer's own lines go: one per stage and iteration, and
    // progress through a long stage. train.log gets them and the details in
    // any case. Empty: nowhere.
    ProgressSink progress = progressToStandardOutput();

    // Recipe settings (not on the command line).
    int monoIterations = 4;     // context-free models from the flat start
    int contextIterations = 3;  // after the right-context models are cloned
    int mixtureIterations = 3;  // after every mixture split
    int minContextCount = 10;   // occurrences below which a right context is tied
    double varianceFloor = 0.01;  // fraction of the global variance
    double beam = 400;          // forward pruning in log units; 0 switches it off
    int maxVariants = 8;        // pronunciation variants compared per utterance
    int chunkSize = 32;         // utterances per accumulator block
    // Right-context models that no utterance holds but that are written
    // anyway, as copies of their centre phone's tied model (when it has one).
    StrVec tiedCopies;
    // Stop after this many iterations (a test's way to interrupt); 0 runs all.
    int stopAfterSteps = 0;
};

// One corpus line: audio path (resolved against the corpus folder), the
// transcript as written (UTF-8) and the optional speaker.
struct corpusEntry {
    std::string audio;
    std::string transcript;
    std::string speaker;
    int line = 0;
};

// Reads a corpus file: TAB-separated audio path, transcript and optional
// speaker; "#" starts a comment line; blank lines are skipped. A line with
// fewer than two fields or more than three is an error naming the line.
std::vector<corpusEntry> readCorpus(const std::string& path);

// Runs the whole recipe. Failures raise KedoError.
void trainModels(const trainOptions& options);

// Centre phone of a model name: the part before "+" (after a "-" if any).
std::string centrePhone(const std::string& name);
// Whether a phone is a vowel of the language: English phone symbols and
// Mandarin finals begin with a vowel letter (a, e, i, o, u, v); "er" too.
bool isVowelPhone(const std::string& phone);

}  // namespace kedo
