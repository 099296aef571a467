// Embedded Baum-Welch re-estimation of continuous-density HMMs over the
// composite HMM of each utterance, forced alignment, and mixture splitting.
//
// Models are the engine's own records (macroClass). The E-step reads a
// converted copy of the set (log weights, inverse variances, log
// transitions) and asks the engine's own state likelihood; the M-step writes
// plain values into the file-form set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acoustic/macro.h"

namespace kedo {

// The model sequence of one utterance: one model index per segment; a
// segment marked optional may be skipped (a short pause between words).
// Every model has three emitting states, left to right, no skips inside.
struct compositeHmm {
    std::vector<int32_t> models;
    std::vector<uint8_t> optional;

    void add(int32_t model, bool isOptional = false) {
        models.push_back(model);
        optional.push_back(isOptional ? 1 : 0);
    }
    // Frames the shortest path through the sequence needs.
    int minFrames() const;
};

// Sufficient statistics of one E-step: per model, emitting state, stream and
// mixture the occupation, the weighted sum and the weighted sum of squares
// of the observations; per model and state the expected self-loop and
// leaving transitions. Plain sums: merging two sets adds them element by
// element, so a fixed merge order gives fixed bytes.
class bwAccumulators {
public:
    bwAccumulators() = default;
    bwAccumulators(int modelNum, int streamNum, int maxMixtures);

    void clear();
    // this += other, element by element.
    void add(const bwAccumulators& other);

    int modelNum() const { return m_modelNum; }
    int maxMixtures() const { return m_maxMix; }
    double* mixture(int model, int state, int stream, int mix) {
        return m_mix.data() + mixIndex(model, state, stream, mix);
    }
    const double* mixture(int model, int state, int stream, int mix) const {
        return m_mix.data() + mixIndex(model, state, stream, mix);
    }
    double& selfLoop(int model, int state) { return m_trans[(static_cast<size_t>(model) * 3 + state) * 2]; }
    double& leave(int model, int state) { return m_trans[(static_cast<size_t>(model) * 3 + state) * 2 + 1]; }
    double selfLoop(int model, int state) const { return m_trans[(static_cast<size_t>(model) * 3 + state) * 2]; }
    double leave(int model, int state) const { return m_trans[(static_cast<size_t>(model) * 3 + state) * 2 + 1]; }
    // Occupation of a model summed over its states (stream 0).
    double modelOccupation(int model) const;

    double logLikelihood = 0;  // sum of utterance log likelihoods
    double frames = 0;         // frames of the utterances counted
    double utterances = 0;     // utterances that reached the end
    double failed = 0;         // utterances the beam or the length lost

    // Per mixture: occupation, sum[13], sum of squares[13].
    static constexpr int kMixStride = 1 + 2 * MAX_VECTOR_SIZE;

private:
    size_t mixIndex(int model, int state, int stream, int mix) const {
        return ((((static_cast<size_t>(model) * 3 + state) * m_streamNum + stream) * m_maxMix) + mix) * kMixStride;
    }
    int m_modelNum = 0;
    int m_streamNum = 0;
    int m_maxMix = 0;
    std::vector<double> m_mix;
    std::vector<double> m_trans;
};

// Which pooled filler model, if any, every model's frames also train:
// -1 none, else the index of the filler model (its first state holds the
// pooled mixture; re-estimation copies it to all three states).
struct fillerPooling {
    std::vector<int32_t> poolOf;  // per model
    bool empty() const { return poolOf.empty(); }
};

// Forward-backward over one utterance (frames x dim features, row-major)
// with the converted set; adds its statistics to acc and returns the log
// likelihood (LZERO-like -1e30 when no path survives, and nothing is added).
// beam <= 0 switches pruning off.
double accumulateUtterance(const macroClass& converted, const compositeHmm& hmm, const float* features, int frames,
                           int dim, double beam, const fillerPooling& pooling, bwAccumulators& acc);

// The best state path of an utterance through its composite HMM.
struct alignmentResult {
    double logLikelihood = -1e30;  // -1e30: no path
    std::vector<int32_t> segmentOfFrame;  // per frame, the segment index
    // Segments the path passes through, in order (skipped optional ones are
    // absent), with their first and last frames.
    std::vector<int32_t> segments;
    std::vector<int32_t> firstFrame;
    std::vector<int32_t> lastFrame;
};
alignmentResult forcedAlign(const macroClass& converted, const compositeHmm& hmm, const float* features, int frames,
                            int dim);

// M-step: new means, variances (floored at varFloor[stream][d]), mixture
// weights and transitions for every model with data; a mixture or state
// without data keeps its values. minMixOcc is the occupation below which a
// mixture keeps its mean and variance.
void reestimate(macroClass& models, const bwAccumulators& acc, const std::vector<std::vector<float>>& varFloor,
                const fillerPooling& pooling, double minMixOcc = 1.0);

// Splits the heaviest mixtures of every stream of the listed models until
// each has `target` mixtures (at most MAX_MIXTURE_NUM): the copy takes half
// the weight and the two means move 0.2 standard deviations apart.
void splitMixtures(macroClass& models, const std::vector<int32_t>& which, int target);

// gconst = sum over the vector of ln(2 pi variance), for every mixture.
void computeGconsts(macroClass& models);

// A model in file form with three emitting states, one mixture per stream
// with the given mean and variance, and left-to-right transitions.
HmmModel flatModel(const std::string& name, int streamNum, const std::vector<std::vector<float>>& mean,
                   const std::vector<std::vector<float>>& variance);

}  // namespace kedo
