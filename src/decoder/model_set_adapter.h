// The search's view of the HMM model set.
#pragma once

#include "acoustic/macro.h"
#include "decoder/search_graph.h"

namespace kedo {

// A converted macroClass as the search sees it: state counts, log
// transitions and uncached state log-likelihoods. The set must outlive the
// view.
class macroModelSet : public searchModelSet {
public:
    explicit macroModelSet(const macroClass& set) : m_set(set) {}
    int modelNum() const override { return m_set.m_modelNum; }
    int numStates(int model) const override { return m_set.m_models[model].numStates; }
    float logTrans(int model, int i, int j) const override { return m_set.m_models[model].transP[i][j]; }
    float stateLogLikelihood(const float* x, int model, int state) const override {
        return kedo::stateLogLikelihood(x, m_set, model, state);
    }
    void stateLogLikelihoods(const stateQuery* queries, size_t count, float* out) const override {
        kedo::stateLogLikelihoods(m_set, queries, count, out);
    }
    int stateId(int model, int state) const override {
        return m_set.hasLikelihoodTables() ? m_set.stateId(model, state) : model * 3 + state;
    }

private:
    const macroClass& m_set;
};

}  // namespace kedo
