// State likelihoods: diagonal-covariance Gaussian mixtures per stream, summed
// over the streams.
//
// The hot path reads the likelihood tables of the set (active mixtures only,
// four mixtures per vector lane group) so that each lane accumulates its own
// mixture in the same order as the per-record computation: the two give
// identical results, bit for bit.
#include <cmath>
#include <cstring>

#include "acoustic/macro.h"

namespace kedo {

namespace {
typedef float v4sf __attribute__((vector_size(16)));

inline v4sf load4(const float* p) {
    v4sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline v4sf splat(float x) { return v4sf{x, x, x, x}; }

constexpr float kLogAddMinDiff = -23.0259f;  // ln(1e-10)
constexpr float kLogZeroBound = -5e9f;

// The stream from the records of a converted set, mixture by mixture.
float streamFromRecords(const float* x, const macroClass& set, int model, int state, int stream) {
    const StreamRec& st = set.m_models[model].states[state].streams[stream];
    if (st.mixtureNum < 1) return LZERO;
    float sum = LZERO;
    for (int k = 0; k < st.mixtureNum; ++k) {
        float logWeight = st.mixtures[k].weight;
        if (!(logWeight > MIN_LOG_MIXTURE_WEIGHT)) continue;
        sum = logAdd(sum, mixtureLogDensity(x, set, model, state, stream, k) + logWeight);
    }
    return sum;
}
}  // namespace

float logAdd(float x, float y) {
    float a = x, b = y;
    if (b > a) {
        a = y;
        b = x;
    }
    float d = b - a;
    if (d >= kLogAddMinDiff) return a + std::log1p(std::exp(d));
    return a < kLogZeroBound ? LZERO : a;
}

float mixtureLogDensity(const float* x, const macroClass& set, int model, int state, int stream, int mixture) {
    const MixtureRec& mix = set.m_models[model].states[state].streams[stream].mixtures[mixture];
    const int width = set.m_streamWidth[stream];
    const float* xs = x + stream * width;
    float sum = mix.gconst;
    for (int k = 0; k < width; ++k) {
        float d = xs[k] - mix.mean[k];
        sum += d * d * mix.variance[k];
    }
    return -0.5f * sum;
}

float streamLogLikelihood(const float* x, const macroClass& set, int model, int state, int stream) {
    if (!set.hasLikelihoodTables()) return streamFromRecords(x, set, model, state, stream);
    const PackedStream& ps = set.packedStream(model, state, stream);
    if (ps.mixtureNum < 1) return LZERO;
    constexpr int W = MAX_VECTOR_SIZE;
    const float* xs = x + stream * W;
    const float* base = set.tablePool() + ps.offset;
    const int P = ps.padded;
    alignas(16) float terms[MAX_MIXTURE_NUM];
    for (int b = 0; b < P; b += 4) {
        v4sf acc = load4(base + P + b);
        const float* mean = base + 2 * P + b;
        const float* inv = base + (2 + W) * P + b;
        for (int k = 0; k < W; ++k) {
            v4sf d = splat(xs[k]) - load4(mean + k * P);
            acc += d * d * load4(inv + k * P);
        }
        v4sf t = splat(-0.5f) * acc + load4(base + b);
        std::memcpy(terms + b, &t, sizeof t);
    }
    float sum = LZERO;
    for (int m = 0; m < ps.active; ++m) sum = logAdd(sum, terms[m]);
    return sum;
}

float stateLogLikelihood(const float* x, const macroClass& set, int model, int state) {
    float sum = 0.0f;
    for (int s = 0; s < set.m_streamNum; ++s) sum += streamLogLikelihood(x, set, model, state, s);
    return sum;
}

void likelihoodCacheClass::resize(int modelNum) {
    m_entries.assign(static_cast<size_t>(modelNum > 0 ? modelNum : 0) * MAX_EMITTING_STATE_NUM, Entry{-1, 0.0f});
}

void likelihoodCacheClass::clear() {
    for (Entry& e : m_entries) e.frame = -1;
}

}  // namespace kedo
