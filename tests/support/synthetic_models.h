// A synthetic acoustic model set with well-separated Gaussians: every
// (model, emitting state) pair gets its own centre far from all others, so
// feature rows drawn from a known state sequence are recognised as that
// sequence. Used by the acoustic tests and benchmarks and by search tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "acoustic/macro.h"

namespace kedo::test {

struct SyntheticModelSpec {
    StrVec names;            // model names; empty: syntheticPhoneNames()
    int streamNum = 3;       // 1..3, 13 values each
    int numStates = 5;       // 3..5 (1..3 emitting states)
    int mixtureNum = 2;      // 1..32 per stream
    float centreSpread = 3.0f;  // centres are uniform in [-spread, spread] per value
    float variance = 0.25f;     // of every Gaussian
    float selfLoop = 0.6f;      // transition probability of each emitting state to itself
    uint32_t seed = 1;
};

// Context-free phone names plus "sil" and "sp", in no particular order.
StrVec syntheticPhoneNames();

// Builds the set in file form (not sorted, not converted): the models in the
// order of spec.names, mixture weights 1/mixtureNum, mixtures scattered by a
// tenth of a standard deviation around the state's centre, gconst as the
// log-determinant term (ln(2 pi var) summed over the stream), left-to-right
// transitions.
macroClass makeSyntheticModels(const SyntheticModelSpec& spec);

// The dimension of a feature row of the set (13 per stream).
int featureDim(const macroClass& set);

// One feature row drawn from emitting state `state` (0-based) of `model`:
// the first mixture's mean plus Gaussian noise of noiseScale standard
// deviations. Works on converted and unconverted sets.
std::vector<float> drawFeatureRow(const macroClass& set, int model, int state, std::mt19937& rng,
                                  float noiseScale = 1.0f);

// Frames drawn from a state sequence of (model, state) pairs, one row each,
// concatenated (frames x featureDim floats).
std::vector<float> drawFeatures(const macroClass& set, const std::vector<std::pair<int, int>>& stateSequence,
                                std::mt19937& rng, float noiseScale = 1.0f);

}  // namespace kedo::test
