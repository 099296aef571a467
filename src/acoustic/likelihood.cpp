// State likelihoods: diagonal-covariance Gaussian mixtures per stream, summed
// over the streams.
//
// The hot path reads the likelihood tables of the set (active mixtures only,
// four mixtures per vector lane group); each lane accumulates its own mixture
// in the same order as the per-record computation, so the mixture terms are
// identical, and the log-add over them agrees with the pairwise one to float
// rounding.
// No call passes a wide vector (the helpers are always inlined, so that the
// wide instances take the instruction set of the kernel they are inlined
// into), so the warning about their calling convention does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "acoustic/macro.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
// GCC vectors of N floats and N 32-bit integers.
template <int N>
struct Lanes;
template <>
struct Lanes<4> {
    typedef float F __attribute__((vector_size(16)));
    typedef int32_t I __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
    typedef float F __attribute__((vector_size(32)));
    typedef int32_t I __attribute__((vector_size(32)));
};
typedef Lanes<4>::F v4sf;
typedef Lanes<4>::I v4si;

// The helpers are always inlined (see the warning above).
#define KEDO_LANE_INLINE inline __attribute__((always_inline))

template <class V>
KEDO_LANE_INLINE V loadLanes(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V>
KEDO_LANE_INLINE V splat(float x) {
    return V{} + x;
}

// e^x for x <= 0, N at a time, to about one unit in the last place;
// arguments below -87 give e^-87 (the sums it enters are at least 1). The
// same operations in the same order on every width: no fused multiply-add.
// Works in place, so that no wide vector crosses a function boundary.
template <int N>
KEDO_LANE_INLINE void expNonPositive(typename Lanes<N>::F& x) {
    typedef typename Lanes<N>::F F;
    typedef typename Lanes<N>::I I;
    x = x < splat<F>(-87.0f) ? splat<F>(-87.0f) : x;
    I n = __builtin_convertvector(x * splat<F>(1.44269504088896341f) - splat<F>(0.5f), I);
    F fn = __builtin_convertvector(n, F);
    F r = x - fn * splat<F>(0.693359375f) - fn * splat<F>(-2.12194440e-4f);
    F p = splat<F>(1.9875691500e-4f);
    p = p * r + splat<F>(1.3981999507e-3f);
    p = p * r + splat<F>(8.3334519073e-3f);
    p = p * r + splat<F>(4.1665795894e-2f);
    p = p * r + splat<F>(1.6666665459e-1f);
    p = p * r + splat<F>(5.0000001201e-1f);
    p = p * r * r + r + splat<F>(1.0f);
    I scale = (n + 127) << 23;
    F pow2;
    std::memcpy(&pow2, &scale, sizeof pow2);
    x = p * pow2;
}

constexpr float kLogAddMinDiff = -23.0259f;  // ln(1e-10)
constexpr float kLogZeroBound = -5e9f;

// The stream from the records of a converted set, mixture by mixture.
float streamFromRecords(const float* x, const macroClass& set, int model, int state, int stream) {
    const StreamRec& st = set.m_models[model].states[state].streams[stream];
    if (st.mixtures.empty()) return LZERO;
    float sum = LZERO;
    for (int k = 0; k < st.mixtureNum(); ++k) {
        float logWeight = st.mixtures[k].weight;
        if (!(logWeight > MIN_LOG_MIXTURE_WEIGHT)) continue;
        sum = logAdd(sum, mixtureLogDensity(x, set, model, state, stream, k) + logWeight);
    }
    return sum;
}

// The mixture terms (distance, gconst and log weight) of the lanes b..b+N-1,
// each lane accumulating its own mixture in vector-element order.
template <int N>
KEDO_LANE_INLINE void mixtureTerms(const float* xs, const float* base, int P, int b, float* terms) {
    typedef typename Lanes<N>::F F;
    constexpr int W = MAX_VECTOR_SIZE;
    F acc = loadLanes<F>(base + P + b);
    const float* mean = base + 2 * P + b;
    const float* inv = base + (2 + W) * P + b;
    for (int k = 0; k < W; ++k) {
        F d = splat<F>(xs[k]) - loadLanes<F>(mean + k * P);
        acc += d * d * loadLanes<F>(inv + k * P);
    }
    F t = splat<F>(-0.5f) * acc + loadLanes<F>(base + b);
    std::memcpy(terms + b, &t, sizeof t);
}

// Adds e^(term - top) of the lanes b..b+N-1 (zero for padding lanes) to the
// four-lane sum, four lanes at a time in lane order.
template <int N>
KEDO_LANE_INLINE void addRelativeExp(const float* terms, int b, float top, int active, v4sf& rel4) {
    typedef typename Lanes<N>::F F;
    typedef typename Lanes<N>::I I;
    I index = {};
    for (int j = 0; j < N; ++j) index[j] = b + j;
    I lane = index < active;
    F e = loadLanes<F>(terms + b) - splat<F>(top);
    expNonPositive<N>(e);
    I bits;
    std::memcpy(&bits, &e, sizeof bits);
    bits &= lane;
    for (int q = 0; q < N; q += 4) {
        v4si part;
        std::memcpy(&part, reinterpret_cast<const int32_t*>(&bits) + q, sizeof part);
        v4sf f;
        std::memcpy(&f, &part, sizeof f);
        rel4 += f;
    }
}

// The log-add of a stream's mixture terms (P padded lanes, the first
// `active` real), all at once: the largest (top) plus the log of the sum
// (rel) of the others' exponentials relative to it. Terms the pairwise
// log-add would drop (more than 23.0259 below) change that sum by less than
// its rounding, so the result equals the pairwise one to float rounding. The
// maximum and the sum are taken in groups of four in the same order whatever
// the width N, so every width gives the same bits.
template <int N>
KEDO_LANE_INLINE void topAndRelativeSum(const float* terms, int P, int active, float& top, float& rel) {
    // Padding lanes hold log weight LZERO and no distance: they never exceed
    // a real term that could matter.
    v4sf top4 = splat<v4sf>(LZERO);
    for (int b = 0; b < P; b += 4) {
        v4sf t = loadLanes<v4sf>(terms + b);
        top4 = t > top4 ? t : top4;
    }
    top = std::max(std::max(top4[0], top4[1]), std::max(top4[2], top4[3]));
    v4sf rel4 = splat<v4sf>(0.0f);
    int b = 0;
    for (; b + N <= P; b += N) addRelativeExp<N>(terms, b, top, active, rel4);
    for (; b < P; b += 4) addRelativeExp<4>(terms, b, top, active, rel4);
    rel = (rel4[0] + rel4[2]) + (rel4[1] + rel4[3]);
}

KEDO_LANE_INLINE float streamFromTopAndLog(float top, float logRel) {
    float sum = top + logRel;
    return sum < kLogZeroBound ? LZERO : sum;
}

template <int N>
KEDO_LANE_INLINE float logAddTerms(const float* terms, int P, int active) {
    float top, rel;
    topAndRelativeSum<N>(terms, P, active, top, rel);
    return streamFromTopAndLog(top, pm::log(rel));
}

typedef double v4df __attribute__((vector_size(32)));
typedef int64_t v4di __attribute__((vector_size(32)));

// pm::log of four relative sums at once (a state's streams), lane by lane
// with the very double operations of the scalar function, so that the bits
// are the same; the two branches of the scalar code are both computed and
// each lane takes its own. A relative sum is at least 1 (the top term's own
// exponential); anything else (NaN from broken features) goes to the scalar
// function.
KEDO_LANE_INLINE void logOfRelativeSums(const float* rel, float* out) {
    bool plain = true;
    for (int i = 0; i < 4; ++i) plain = plain && rel[i] >= 1.0f && rel[i] <= 3.4e38f;
    if (!plain) {
        for (int i = 0; i < 4; ++i) out[i] = pm::log(rel[i]);
        return;
    }
    v4df f, z, invc, logc, k;
    v4di nearOne;
    for (int i = 0; i < 4; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &rel[i], 4);
        const int e = static_cast<int>(bits >> 23) - 127;
        const unsigned part = (bits >> 19) & 15;
        nearOne[i] = e == 0 && part == 0 ? -1 : 0;
        k[i] = e;
        invc[i] = pm::detail::kLogCentres[part].invc;
        logc[i] = pm::detail::kLogCentres[part].logc;
        const uint32_t zbits = (bits & 0x007FFFFFu) | 0x3F800000u;
        float zf;
        std::memcpy(&zf, &zbits, 4);
        z[i] = zf;
        f[i] = static_cast<double>(rel[i]) - 1.0;
    }
    const v4df nearLog = pm::detail::logOfOnePlus(f);
    const v4df r = z * invc - 1.0;
    const v4df farLog = k * (pm::detail::kLn2Hi + pm::detail::kLn2Lo) + logc + pm::detail::logOfOnePlusSmall(r);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<float>(nearOne[i] ? nearLog[i] : farLog[i]);
}

// One stream from the likelihood tables, N lanes at a time (4 or 8); lanes
// compute their own mixture as above.
template <int N>
KEDO_LANE_INLINE float streamFromTables(const float* x, const float* pool, const PackedStream& ps, int stream) {
    if (ps.mixtureNum < 1 || ps.active == 0) return LZERO;
    const float* xs = x + stream * MAX_VECTOR_SIZE;
    const float* base = pool + ps.offset;
    const int P = ps.padded;
    alignas(16) float terms[MAX_MIXTURE_NUM];
    int b = 0;
    for (; b + N <= P; b += N) mixtureTerms<N>(xs, base, P, b, terms);
    for (; b < P; b += 4) mixtureTerms<4>(xs, base, P, b, terms);
    return logAddTerms<N>(terms, P, ps.active);
}

// Four lanes h*4 .. h*4+3 of a vector of L lanes (h known at compile time
// once the loops around are unrolled).
template <int L>
KEDO_LANE_INLINE v4sf quarter(const typename Lanes<L>::F& v, int h) {
    if constexpr (L == 4) {
        return v;
    } else {
        return h == 0 ? __builtin_shufflevector(v, v, 0, 1, 2, 3) : __builtin_shufflevector(v, v, 4, 5, 6, 7);
    }
}

// The common shapes, three streams of P padded lanes (8 or 4), for S states
// at once (the scores of a frame, or of a state over several frames): the
// streams' and the states' distance sums are interleaved so that their
// independent chains overlap, and the terms stay in registers. Each lane does
// the same operations in the same order as mixtureTerms; per stream the top
// and the sum of the exponentials relative to it are taken four lanes at a
// time in lane order as in topAndRelativeSum; each state's streams take their
// logs together in one group of four as in stateFromTables. So every state
// gets the bits of a call of its own, whatever N, S and P.
template <int N, int S, int P>
KEDO_LANE_INLINE void threeStreams(const float* const* xs, const float* pool, const PackedStream* const* ps,
                                   float* out) {
    constexpr int L = N < P ? N : P, G = P / L, W = MAX_VECTOR_SIZE;
    typedef typename Lanes<L>::F F;
    typedef typename Lanes<L>::I I;
    const float* base[S][3];
    F acc[S][3][G];
#pragma GCC unroll 4
    for (int q = 0; q < S; ++q) {
#pragma GCC unroll 3
        for (int s = 0; s < 3; ++s) {
            base[q][s] = pool + ps[q][s].offset;
#pragma GCC unroll 2
            for (int g = 0; g < G; ++g) acc[q][s][g] = loadLanes<F>(base[q][s] + P + g * L);
        }
    }
    for (int k = 0; k < W; ++k) {
#pragma GCC unroll 4
        for (int q = 0; q < S; ++q) {
#pragma GCC unroll 3
            for (int s = 0; s < 3; ++s) {
                const F xv = splat<F>(xs[q][s * W + k]);
#pragma GCC unroll 2
                for (int g = 0; g < G; ++g) {
                    F d = xv - loadLanes<F>(base[q][s] + (2 + k) * P + g * L);
                    acc[q][s][g] += d * d * loadLanes<F>(base[q][s] + (2 + W + k) * P + g * L);
                }
            }
        }
    }
    // Per state a group of four logarithms: its three streams and a spare.
    float top[S][4], rel[S][4], logRel[S][4];
    F e[S][3][G];
#pragma GCC unroll 4
    for (int q = 0; q < S; ++q) {
        rel[q][0] = rel[q][1] = rel[q][2] = rel[q][3] = 1.0f;
#pragma GCC unroll 3
        for (int s = 0; s < 3; ++s) {
            v4sf top4 = splat<v4sf>(LZERO);
#pragma GCC unroll 2
            for (int g = 0; g < G; ++g) {
                e[q][s][g] = splat<F>(-0.5f) * acc[q][s][g] + loadLanes<F>(base[q][s] + g * L);
#pragma GCC unroll 2
                for (int h = 0; h < L / 4; ++h) {
                    const v4sf part = quarter<L>(e[q][s][g], h);
                    top4 = part > top4 ? part : top4;
                }
            }
            top[q][s] = std::max(std::max(top4[0], top4[1]), std::max(top4[2], top4[3]));
#pragma GCC unroll 2
            for (int g = 0; g < G; ++g) e[q][s][g] -= splat<F>(top[q][s]);
        }
    }
    if constexpr (N == 8 && L == 4) {
        // Four-lane terms on eight-lane hardware: two streams' exponentials
        // in one vector (the lanes' operations are the same at any width).
        typedef typename Lanes<8>::F F8;
        constexpr int T = S * 3;
#pragma GCC unroll 12
        for (int i = 0; i + 1 < T; i += 2) {
            F& a = e[i / 3][i % 3][0];
            F& b = e[(i + 1) / 3][(i + 1) % 3][0];
            F8 w = __builtin_shufflevector(a, b, 0, 1, 2, 3, 4, 5, 6, 7);
            expNonPositive<8>(w);
            a = __builtin_shufflevector(w, w, 0, 1, 2, 3);
            b = __builtin_shufflevector(w, w, 4, 5, 6, 7);
        }
        if constexpr (T % 2 == 1) expNonPositive<4>(e[S - 1][2][0]);
    } else {
#pragma GCC unroll 4
        for (int q = 0; q < S; ++q) {
#pragma GCC unroll 3
            for (int s = 0; s < 3; ++s) {
#pragma GCC unroll 2
                for (int g = 0; g < G; ++g) expNonPositive<L>(e[q][s][g]);
            }
        }
    }
#pragma GCC unroll 4
    for (int q = 0; q < S; ++q) {
#pragma GCC unroll 3
        for (int s = 0; s < 3; ++s) {
            v4sf rel4 = splat<v4sf>(0.0f);
#pragma GCC unroll 2
            for (int g = 0; g < G; ++g) {
                I index;
                for (int j = 0; j < L; ++j) index[j] = g * L + j;
                const F kept = index < ps[q][s].active ? e[q][s][g] : splat<F>(0.0f);
#pragma GCC unroll 2
                for (int h = 0; h < L / 4; ++h) rel4 += quarter<L>(kept, h);
            }
            rel[q][s] = (rel4[0] + rel4[2]) + (rel4[1] + rel4[3]);
        }
    }
#pragma GCC unroll 4
    for (int q = 0; q < S; ++q) logOfRelativeSums(rel[q], logRel[q]);
#pragma GCC unroll 4
    for (int q = 0; q < S; ++q) {
        float sum = 0.0f;
        for (int s = 0; s < 3; ++s) sum += streamFromTopAndLog(top[q][s], logRel[q][s]);
        out[q] = sum;
    }
}

// The padded lane count P of a state of a common shape (three streams of P
// lanes, P 8 or 4, every stream with mixtures), else 0.
KEDO_LANE_INLINE int commonShape(const macroClass& set, const PackedStream* ps) {
    if (set.m_streamNum != 3 || ps[0].mixtureNum < 1 || ps[1].mixtureNum < 1 || ps[2].mixtureNum < 1) return 0;
    const int P = ps[0].padded;
    return (P == 8 || P == 4) && ps[1].padded == P && ps[2].padded == P ? P : 0;
}

// Asks for all the cache lines of a state's tables at once (its streams lie
// back to back) rather than one miss after another.
KEDO_LANE_INLINE void prefetchState(const macroClass& set, const PackedStream* ps) {
    const PackedStream& last = ps[set.m_streamNum - 1];
    const char* begin = reinterpret_cast<const char*>(set.tablePool() + ps[0].offset);
    const char* end = reinterpret_cast<const char*>(set.tablePool() + last.offset +
                                                    static_cast<size_t>(last.padded) * (2 + 2 * MAX_VECTOR_SIZE));
    for (const char* p = begin; p < end; p += 64) __builtin_prefetch(p);
}

template <int N>
KEDO_LANE_INLINE float stateFromTables(const float* x, const macroClass& set, int model, int state) {
    if (!set.hasLikelihoodTables()) {
        float sum = 0.0f;
        for (int s = 0; s < set.m_streamNum; ++s) sum += streamFromRecords(x, set, model, state, s);
        return sum;
    }
    if (set.m_streamNum == 0) return 0.0f;
    const PackedStream* ps = &set.packedStream(model, state, 0);
    prefetchState(set, ps);
    float out;
    switch (commonShape(set, ps)) {
        case 8:
            threeStreams<N, 1, 8>(&x, set.tablePool(), &ps, &out);
            return out;
        case 4:
            threeStreams<N, 1, 4>(&x, set.tablePool(), &ps, &out);
            return out;
        default:
            break;
    }
    // Each stream's terms, top and relative sum, then their logs together.
    float top[4] = {0.0f, 0.0f, 0.0f, 0.0f}, rel[4] = {1.0f, 1.0f, 1.0f, 1.0f}, logRel[4];
    for (int s = 0; s < set.m_streamNum; ++s) {
        if (ps[s].mixtureNum < 1 || ps[s].active == 0) continue;
        const float* xs = x + s * MAX_VECTOR_SIZE;
        const float* base = set.tablePool() + ps[s].offset;
        const int P = ps[s].padded;
        alignas(16) float terms[MAX_MIXTURE_NUM];
        int b = 0;
        for (; b + N <= P; b += N) mixtureTerms<N>(xs, base, P, b, terms);
        for (; b < P; b += 4) mixtureTerms<4>(xs, base, P, b, terms);
        topAndRelativeSum<N>(terms, P, ps[s].active, top[s], rel[s]);
    }
    logOfRelativeSums(rel, logRel);
    float sum = 0.0f;
    for (int s = 0; s < set.m_streamNum; ++s)
        sum += ps[s].mixtureNum < 1 || ps[s].active == 0 ? LZERO : streamFromTopAndLog(top[s], logRel[s]);
    return sum;
}

// A batch: runs of S queries of one common shape go through the interleaved
// kernel together (S8 states of eight lanes, S4 of four), the others one at
// a time.
template <int N, int S8, int S4>
KEDO_LANE_INLINE void statesFromTables(const macroClass& set, const stateQuery* queries, size_t count, float* out) {
    constexpr int S = S8 > S4 ? S8 : S4;
    size_t k = 0;
    if (set.hasLikelihoodTables() && set.m_streamNum == 3) {
        const float* pool = set.tablePool();
        while (k + S4 <= count || k + S8 <= count) {
            const float* xs[S];
            const PackedStream* ps[S];
            ps[0] = &set.packedStream(queries[k].model, queries[k].state, 0);
            const int P = commonShape(set, ps[0]);
            const int group = P == 8 ? S8 : S4;
            bool common = P != 0 && k + group <= count;
            for (int q = 0; q < group && common; ++q) {
                xs[q] = queries[k + q].x;
                ps[q] = &set.packedStream(queries[k + q].model, queries[k + q].state, 0);
                common = commonShape(set, ps[q]) == P;
            }
            if (!common) {
                out[k] = stateFromTables<N>(queries[k].x, set, queries[k].model, queries[k].state);
                ++k;
                continue;
            }
            // This group's tables, each state once. A group that repeats a
            // state (a state over several frames, as the competitor
            // alignment asks) leaves the loads room: the next group's tables
            // are asked for too. Where every state differs, that costs more
            // than it saves.
            bool repeats = false;
            for (int q = 0; q < group; ++q) {
                if (q > 0 && ps[q] == ps[q - 1])
                    repeats = true;
                else
                    prefetchState(set, ps[q]);
            }
            for (size_t q = k + group; repeats && q < k + 2 * group && q < count; ++q)
                if (queries[q].model != queries[q - 1].model || queries[q].state != queries[q - 1].state)
                    prefetchState(set, &set.packedStream(queries[q].model, queries[q].state, 0));
            if (P == 8)
                threeStreams<N, S8, 8>(xs, pool, ps, out + k);
            else
                threeStreams<N, S4, 4>(xs, pool, ps, out + k);
            k += group;
        }
    }
    for (; k < count; ++k) out[k] = stateFromTables<N>(queries[k].x, set, queries[k].model, queries[k].state);
}

// Eight lanes where the processor has AVX2 (chosen at run time; the rest of
// the build stays at the baseline instruction set). No FMA: the portable
// path has none, and fused operations would round differently.
__attribute__((target("avx2"))) float stateAvx2(const float* x, const macroClass& set, int model, int state) {
    return stateFromTables<8>(x, set, model, state);
}

__attribute__((target("avx2"))) void statesAvx2(const macroClass& set, const stateQuery* queries, size_t count,
                                               float* out) {
    statesFromTables<8, 3, 4>(set, queries, count, out);
}

bool cpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
const bool kHasAvx2 = cpuHasAvx2();
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
    return streamFromTables<4>(x, set.tablePool(), set.packedStream(model, state, stream), stream);
}

bool likelihoodAvx2Available() { return kHasAvx2; }

float stateLogLikelihoodPortable(const float* x, const macroClass& set, int model, int state) {
    return stateFromTables<4>(x, set, model, state);
}

float stateLogLikelihoodAvx2(const float* x, const macroClass& set, int model, int state) {
    return stateAvx2(x, set, model, state);
}

float stateLogLikelihood(const float* x, const macroClass& set, int model, int state) {
    return kHasAvx2 ? stateAvx2(x, set, model, state) : stateFromTables<4>(x, set, model, state);
}

void stateLogLikelihoodsPortable(const macroClass& set, const stateQuery* queries, size_t count, float* out) {
    for (size_t k = 0; k < count; ++k)
        out[k] = stateFromTables<4>(queries[k].x, set, queries[k].model, queries[k].state);
}

void stateLogLikelihoodsAvx2(const macroClass& set, const stateQuery* queries, size_t count, float* out) {
    statesAvx2(set, queries, count, out);
}

void stateLogLikelihoods(const macroClass& set, const stateQuery* queries, size_t count, float* out) {
    if (kHasAvx2)
        statesAvx2(set, queries, count, out);
    else
        stateLogLikelihoodsPortable(set, queries, count, out);
}

void likelihoodCacheClass::resize(int modelNum) {
    m_entries.assign(static_cast<size_t>(modelNum > 0 ? modelNum : 0) * MAX_EMITTING_STATE_NUM, Entry{-1, 0.0f});
}

void likelihoodCacheClass::clear() {
    for (Entry& e : m_entries) e.frame = -1;
}

}  // namespace kedo
