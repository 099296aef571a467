// What the Viterbi search reads of the net, the dictionary and the model set,
// in a compact form built once per search.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acoustic/macro.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

// Natural log of 0 in the search; a candidate with this score is dead.
inline constexpr float SEARCH_LZERO = -1e10f;

// The acoustic side of the search: state counts, log transitions and state
// log-likelihoods (uncached; the search keeps its own cache per model and
// emitting state). Implementations must be safe to call from several
// searches at once when those run on different threads.
class searchModelSet {
public:
    virtual ~searchModelSet() = default;
    virtual int modelNum() const = 0;
    // States including the non-emitting entry and exit states.
    virtual int numStates(int model) const = 0;
    // Log transition from state i to state j (0-based, entry state 0).
    virtual float logTrans(int model, int i, int j) const = 0;
    // Log-likelihood of feature row x under emitting state `state` (0-based).
    virtual float stateLogLikelihood(const float* x, int model, int state) const = 0;
    // The log-likelihoods of several (row, model, state) queries into out,
    // each exactly what stateLogLikelihood gives it. By default one call per
    // query; a set that can score states together overrides it.
    virtual void stateLogLikelihoods(const stateQuery* queries, size_t count, float* out) const {
        for (size_t k = 0; k < count; ++k)
            out[k] = stateLogLikelihood(queries[k].x, queries[k].model, queries[k].state);
    }
    // States with the same id have the same likelihoods (tied states); the
    // ids lie in 0 .. modelNum * 3 - 1. By default every state is its own.
    virtual int stateId(int model, int state) const { return model * 3 + state; }
};

// The net in flat arrays: per node its syllable, penalty, first direct
// successor, the models of its syllable and its next word nodes.
struct searchGraph {
    int32_t nodeNum = 0;
    int32_t startNode = -1;
    int32_t endNode = -1;
    std::vector<int32_t> sylIndex;      // per node; -1 for a null node
    std::vector<float> penalty;         // per node
    std::vector<int32_t> firstSucc;     // per node; -1 without successors
    std::vector<int32_t> modelBegin;    // per node + 1: its models in `models`
    std::vector<int32_t> models;
    std::vector<int32_t> nextBegin;     // per node + 1: its next word nodes in `next`
    std::vector<int32_t> next;
    std::vector<int32_t> recombBegin;   // per node + 1: its recombination slots

    int32_t phoneCount(int node) const { return modelBegin[node + 1] - modelBegin[node]; }
    int32_t modelOf(int node, int phone) const { return models[modelBegin[node] + phone]; }

    // Fills the graph from any net whose `nodes` carry sylIndex, succ,
    // nextWordNodes and penalty, and any dictionary whose entries carry
    // `models`. Checks what the search relies on (indices in range, a model
    // for every syllable node, 3 to 5 states per used model) and finds the
    // start and end nodes.
    template <class Net, class Dict>
    void build(const Net& net, const Dict& pronDict, const searchModelSet& set);

private:
    void beginBuild(int nodes);
    void finishBuild(const searchModelSet& set);
    std::vector<int32_t> m_predCount;
};

template <class Net, class Dict>
void searchGraph::build(const Net& net, const Dict& pronDict, const searchModelSet& set) {
    const int n = static_cast<int>(net.nodes.size());
    const int dictSize = static_cast<int>(pronDict.size());
    beginBuild(n);
    for (int i = 0; i < n; ++i) {
        const auto& node = net.nodes[i];
        int syl = node.sylIndex < 0 ? -1 : node.sylIndex;
        if (syl >= dictSize)
            reportError(strFormat("Error: sylIndex (%d) of node %d out of the range of [0, %d]! (line %d of file %s)",
                                  syl, i, dictSize, __LINE__, "viterbi"));
        sylIndex[i] = syl;
        penalty[i] = node.penalty;
        firstSucc[i] = node.succ.empty() ? -1 : node.succ[0];
        for (auto s : node.succ) {
            if (s < 0 || s >= n)
                reportError(strFormat("Error: successor %d of node %d is not a node of the net (line %d of file %s)",
                                      static_cast<int>(s), i, __LINE__, "viterbi"));
            ++m_predCount[s];
        }
        if (syl >= 0)
            for (auto m : pronDict[syl].models) models.push_back(m);
        modelBegin[i + 1] = static_cast<int32_t>(models.size());
        for (auto w : node.nextWordNodes) {
            if (w < 0 || w >= n)
                reportError(strFormat("Error: next word node %d of node %d is not a node of the net (line %d of file %s)",
                                      static_cast<int>(w), i, __LINE__, "viterbi"));
            next.push_back(w);
        }
        nextBegin[i + 1] = static_cast<int32_t>(next.size());
    }
    finishBuild(set);
}

}  // namespace kedo
