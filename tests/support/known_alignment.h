// Feature sequences with a known alignment: a sequence of words, each a list
// of phone models, is laid out state by state with chosen durations, and the
// features are drawn from the synthetic model set's Gaussians of those
// states. The phone and word boundaries that a search should recover come
// with it. Header-only (uses drawFeatures of synthetic_models).
#pragma once

#include <random>
#include <utility>
#include <vector>

#include "acoustic/macro.h"
#include "synthetic_models.h"

namespace kedo::test {

struct KnownAlignment {
    std::vector<std::pair<int, int>> states;  // per frame: model and emitting state (0-based)
    std::vector<int> phoneEndFrames;          // last frame of every phone, in order
    std::vector<int> wordEndFrames;           // last frame of every word, in order
    std::vector<float> features;              // frames x dim
    int dim = 0;
    int frames() const { return static_cast<int>(states.size()); }
};

// Lays out words (model indices per phone) with `durations` frames per
// emitting state, taken in turn from the list (cycled), each multiplied by
// `stretch`; draws the features with noise of noiseScale standard deviations.
inline KnownAlignment knownAlignment(const macroClass& set, const std::vector<std::vector<int>>& words,
                                     const std::vector<int>& durations, std::mt19937& rng, float noiseScale = 1.0f,
                                     int stretch = 1) {
    KnownAlignment a;
    size_t next = 0;
    for (const auto& word : words) {
        for (int model : word) {
            const int emitting = set.m_models[model].numStates - 2;
            for (int s = 0; s < emitting; ++s) {
                int d = durations[next++ % durations.size()] * stretch;
                for (int f = 0; f < d; ++f) a.states.push_back({model, s});
            }
            a.phoneEndFrames.push_back(a.frames() - 1);
        }
        a.wordEndFrames.push_back(a.frames() - 1);
    }
    a.dim = featureDim(set);
    a.features = drawFeatures(set, a.states, rng, noiseScale);
    return a;
}

}  // namespace kedo::test
