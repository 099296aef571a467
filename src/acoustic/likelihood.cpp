// State likelihoods: diagonal-covariance Gaussian mixtures per stream, summed
// over the streams.
//
// The hot path reads the likelihood tables of the set (active mixtures only,
// four mixtures per vector lane group); each lane accumulates its own mixture
// in the same order as the per-record computation, so the mixture terms are
// identical, and the log-add over them agrees with the pairwise one to float
// rounding.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "acoustic/macro.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
typedef float v4sf __attribute__((vector_size(16)));
typedef int32_t v4si __attribute__((vector_size(16)));

inline v4sf load4(const float* p) {
    v4sf v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline v4sf splat(float x) { return v4sf{x, x, x, x}; }

// e^x for x <= 0, four at a time, to about one unit in the last place;
// arguments below -87 give e^-87 (the sums it enters are at least 1).
inline v4sf expNonPositive(v4sf x) {
    x = x < splat(-87.0f) ? splat(-87.0f) : x;
    v4si n = __builtin_convertvector(x * splat(1.44269504088896341f) - splat(0.5f), v4si);
    v4sf fn = __builtin_convertvector(n, v4sf);
    v4sf r = x - fn * splat(0.693359375f) - fn * splat(-2.12194440e-4f);
    v4sf p = splat(1.9875691500e-4f);
    p = p * r + splat(1.3981999507e-3f);
    p = p * r + splat(8.3334519073e-3f);
    p = p * r + splat(4.1665795894e-2f);
    p = p * r + splat(1.6666665459e-1f);
    p = p * r + splat(5.0000001201e-1f);
    p = p * r * r + r + splat(1.0f);
    v4si scale = (n + 127) << 23;
    v4sf pow2;
    std::memcpy(&pow2, &scale, sizeof pow2);
    return p * pow2;
}

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
    if (d >= kLogAddMinDiff) return a + pm::log1p(pm::exp(d));
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
    if (ps.active == 0) return LZERO;
    alignas(16) float terms[MAX_MIXTURE_NUM];
    // Padding lanes hold log weight LZERO and no distance: they never exceed
    // a real term that could matter.
    v4sf top4 = splat(LZERO);
    for (int b = 0; b < P; b += 4) {
        v4sf acc = load4(base + P + b);
        const float* mean = base + 2 * P + b;
        const float* inv = base + (2 + W) * P + b;
        for (int k = 0; k < W; ++k) {
            v4sf d = splat(xs[k]) - load4(mean + k * P);
            acc += d * d * load4(inv + k * P);
        }
        v4sf t = splat(-0.5f) * acc + load4(base + b);
        top4 = t > top4 ? t : top4;
        std::memcpy(terms + b, &t, sizeof t);
    }
    // The log-add of all terms at once: the largest plus the log of the sum
    // of the others' exponentials relative to it. Terms the pairwise log-add
    // would drop (more than 23.0259 below) change that sum by less than its
    // rounding, so the result equals the pairwise one to float rounding.
    float top = std::max(std::max(top4[0], top4[1]), std::max(top4[2], top4[3]));
    v4sf rel4 = splat(0.0f);
    for (int b = 0; b < P; b += 4) {
        v4si lane = v4si{b, b + 1, b + 2, b + 3} < ps.active;
        v4sf e = expNonPositive(load4(terms + b) - splat(top));
        v4si bits;
        std::memcpy(&bits, &e, sizeof bits);
        bits &= lane;
        std::memcpy(&e, &bits, sizeof e);
        rel4 += e;
    }
    float rel = (rel4[0] + rel4[2]) + (rel4[1] + rel4[3]);
    float sum = top + pm::log(rel);
    return sum < kLogZeroBound ? LZERO : sum;
}

float stateLogLikelihood(const float* x, const macroClass& set, int model, int state) {
    if (set.hasLikelihoodTables() && set.m_streamNum > 0) {
        // The state's streams lie back to back in the tables: ask for all of
        // their cache lines at once rather than one miss after another.
        const PackedStream& first = set.packedStream(model, state, 0);
        const PackedStream& last = set.packedStream(model, state, set.m_streamNum - 1);
        const char* begin = reinterpret_cast<const char*>(set.tablePool() + first.offset);
        const char* end = reinterpret_cast<const char*>(set.tablePool() + last.offset +
                                                        static_cast<size_t>(last.padded) * (2 + 2 * MAX_VECTOR_SIZE));
        for (const char* p = begin; p < end; p += 64) __builtin_prefetch(p);
    }
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
