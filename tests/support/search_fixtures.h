// Small nets, dictionaries and model sets for search tests and benchmarks:
// a plain net record, a random net generator, a model set with exact
// (quantised) likelihoods so that equal scores really tie, and a model set of
// well-separated Gaussians with a feature generator drawn from a known state
// sequence. Header-only so that the benchmarks can use it too.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "decoder/search_graph.h"

namespace kedo::test {

struct SearchTestNode {
    int32_t sylIndex = -1;
    std::vector<int32_t> succ;
    std::vector<int32_t> nextWordNodes;
    float penalty = 0;
};

struct SearchTestNet {
    std::vector<SearchTestNode> nodes;

    int add(int sylIndex, float penalty = 0) {
        SearchTestNode n;
        n.sylIndex = sylIndex;
        n.penalty = penalty;
        nodes.push_back(n);
        return static_cast<int>(nodes.size()) - 1;
    }
    void link(int from, int to) { nodes[from].succ.push_back(to); }
    // nextWordNodes of every node: depth first through null successors, in
    // order, duplicates kept. Null cycles are not followed twice on one path.
    void deriveNextWordNodes() {
        for (size_t i = 0; i < nodes.size(); ++i) {
            nodes[i].nextWordNodes.clear();
            std::vector<char> onPath(nodes.size(), 0);
            std::function<void(int)> scan = [&](int n) {
                onPath[n] = 1;
                for (int s : nodes[n].succ) {
                    if (nodes[s].sylIndex >= 0)
                        nodes[i].nextWordNodes.push_back(s);
                    else if (!onPath[s])
                        scan(s);
                }
                onPath[n] = 0;
            };
            scan(static_cast<int>(i));
        }
    }
};

struct SearchTestEntry {
    std::string word;
    std::vector<int32_t> models;
};
using SearchTestDict = std::vector<SearchTestEntry>;

// Models whose likelihoods and transitions are multiples of 0.5, so that sums
// stay exact and equal scores tie. b(m, s, x) = -0.5 * sum_k (x_k - mu_k)^2
// with integer means and integer features.
class QuantisedModelSet : public searchModelSet {
public:
    static constexpr int kDim = 2;
    struct Model {
        int numStates;
        float trans[5][5];
        float mean[3][kDim];
    };
    std::vector<Model> models;

    int modelNum() const override { return static_cast<int>(models.size()); }
    int numStates(int m) const override { return models[m].numStates; }
    float logTrans(int m, int i, int j) const override { return models[m].trans[i][j]; }
    float stateLogLikelihood(const float* x, int m, int s) const override {
        float sum = 0;
        for (int k = 0; k < kDim; ++k) {
            float d = x[k] - models[m].mean[s][k];
            sum += d * d;
        }
        return -0.5f * sum;
    }

    static QuantisedModelSet random(std::mt19937& rng, int count) {
        QuantisedModelSet set;
        for (int m = 0; m < count; ++m) {
            Model md{};
            md.numStates = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 3 : 5;
            if (std::uniform_int_distribution<int>(0, 5)(rng) == 0) md.numStates = 4;
            for (int i = 0; i < 5; ++i)
                for (int j = 0; j < 5; ++j) md.trans[i][j] = -0.5f * std::uniform_int_distribution<int>(0, 4)(rng);
            for (int s = 0; s < 3; ++s)
                for (int k = 0; k < kDim; ++k) md.mean[s][k] = static_cast<float>(std::uniform_int_distribution<int>(0, 3)(rng));
            set.models.push_back(md);
        }
        return set;
    }
    static std::vector<float> randomFeatures(std::mt19937& rng, int T) {
        std::vector<float> f(static_cast<size_t>(T) * kDim);
        for (float& v : f) v = static_cast<float>(std::uniform_int_distribution<int>(0, 3)(rng));
        return f;
    }
};

// Phone models with one well-separated unit-variance Gaussian per emitting
// state: state s of model m has its mean at 10 * (3m + s + 1) in dimension 0
// and 0 elsewhere. Transitions: stay ln 0.6, move ln 0.4 unless changed.
class GaussianModelSet : public searchModelSet {
public:
    int dim = 3;
    int count = 0;
    std::vector<int> states;  // per model, including entry and exit
    float stayLog = std::log(0.6f);
    float moveLog = std::log(0.4f);

    explicit GaussianModelSet(int models, int dimension = 3) : dim(dimension), count(models), states(models, 5) {}

    float mean(int m, int s) const { return 10.0f * static_cast<float>(3 * m + s + 1); }
    int modelNum() const override { return count; }
    int numStates(int m) const override { return states[m]; }
    float logTrans(int, int i, int j) const override {
        if (j == i) return stayLog;
        if (j == i + 1) return moveLog;
        return SEARCH_LZERO;
    }
    float stateLogLikelihood(const float* x, int m, int s) const override {
        float sum = 0;
        for (int k = 0; k < dim; ++k) {
            float d = x[k] - (k == 0 ? mean(m, s) : 0.0f);
            sum += d * d;
        }
        return -0.5f * (sum + static_cast<float>(dim) * 1.8378771f);
    }
};

// One frame of a known alignment: the model and emitting state it was drawn from.
struct AlignedFrame {
    int model;
    int state;
};

// A known state sequence: each phone (model index) stays framesPerState
// frames in each of its emitting states.
inline std::vector<AlignedFrame> stateSequence(const std::vector<int>& phoneModels, const GaussianModelSet& set,
                                               const std::vector<int>& framesPerState) {
    std::vector<AlignedFrame> seq;
    for (size_t p = 0; p < phoneModels.size(); ++p) {
        int m = phoneModels[p];
        for (int s = 0; s < set.numStates(m) - 2; ++s)
            for (int f = 0; f < framesPerState[(p * 3 + s) % framesPerState.size()]; ++f) seq.push_back({m, s});
    }
    return seq;
}

// Features drawn from the Gaussians of a known state sequence (unit variance
// noise scaled by `noise`).
inline std::vector<float> drawFeatures(const std::vector<AlignedFrame>& seq, const GaussianModelSet& set,
                                       std::mt19937& rng, float noise = 1.0f) {
    std::normal_distribution<float> n01(0.0f, 1.0f);
    std::vector<float> f(seq.size() * set.dim);
    for (size_t t = 0; t < seq.size(); ++t)
        for (int k = 0; k < set.dim; ++k)
            f[t * set.dim + k] = (k == 0 ? set.mean(seq[t].model, seq[t].state) : 0.0f) + noise * n01(rng);
    return f;
}

// A random net: node 0 the null start, node 1 the null end, then syllable and
// null nodes with forward links, some back links into null nodes (loops
// through words), every node but the end with a successor.
inline SearchTestNet randomNet(std::mt19937& rng, int dictSize, int innerNodes) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    SearchTestNet net;
    net.add(-1);
    net.add(-1);
    for (int i = 0; i < innerNodes; ++i) {
        bool null = pick(0, 4) == 0;
        net.add(null ? -1 : pick(0, dictSize - 1), pick(0, 5) == 0 ? -1.5f : 0.0f);
    }
    const int n = static_cast<int>(net.nodes.size());
    // Topological order: 0, 2..n-1, 1. Forward links only between nulls.
    net.link(0, n > 2 ? 2 : 1);
    for (int i = 2; i < n; ++i) {
        int links = pick(1, 3);
        for (int l = 0; l < links; ++l) {
            int to = pick(i + 1, n);  // n stands for the end node
            net.link(i, to == n ? 1 : to);
        }
        if (net.nodes[i].sylIndex >= 0 && pick(0, 6) == 0) {
            // a loop back through a null node before i, if any
            for (int j = i - 1; j >= 2; --j)
                if (net.nodes[j].sylIndex < 0) {
                    net.link(i, j);
                    break;
                }
        }
    }
    // Extra links from the start, and a predecessor for every inner node.
    for (int l = pick(0, 3); l > 0 && n > 3; --l) net.link(0, pick(3, n - 1));
    std::vector<char> hasPred(n, 0);
    for (const auto& node : net.nodes)
        for (int s : node.succ) hasPred[s] = 1;
    for (int i = 3; i < n; ++i)
        if (!hasPred[i]) {
            int from = pick(1, i - 1);
            net.link(from == 1 ? 0 : from, i);
        }
    net.deriveNextWordNodes();
    return net;
}

inline SearchTestDict randomDict(std::mt19937& rng, int size, int modelNum, int maxPhones = 4) {
    SearchTestDict dict;
    for (int i = 0; i < size; ++i) {
        SearchTestEntry e;
        e.word = std::string("w") + std::to_string(i);
        int phones = std::uniform_int_distribution<int>(1, maxPhones)(rng);
        for (int p = 0; p < phones; ++p) e.models.push_back(std::uniform_int_distribution<int>(0, modelNum - 1)(rng));
        dict.push_back(e);
    }
    return dict;
}

}  // namespace kedo::test
