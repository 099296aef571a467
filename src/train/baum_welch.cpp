// Forward-backward and Viterbi over a left-to-right chain of three-state
// models, the statistics they gather, and the re-estimation from them.
#include "train/baum_welch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "util/portable_math.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr double kLogZero = -1e30;
constexpr double kLogHalf = -0.69314718055994531;
// Posteriors below this add nothing worth the work.
constexpr double kMinLogPosterior = -14.0;  // about 8e-7
constexpr int kStates = 3;
constexpr float kSplitOffset = 0.2f;

inline double logAddD(double a, double b) {
    if (a < b) std::swap(a, b);
    if (b <= kLogZero) return a;
    return a + std::log1p(std::exp(b - a));
}

inline double logOf(float converted) { return converted <= LZERO ? kLogZero : static_cast<double>(converted); }

// One arc of the chain: from state to state with a log weight.
struct chainArc {
    int32_t from;
    int32_t to;
    double logProb;
};

// The chain of a composite HMM: 3 states per segment, its arcs (sorted by
// target for the forward pass), the exit weight of the last state, and the
// fewest frames still needed after each state.
struct stateChain {
    int n = 0;
    std::vector<int32_t> model;  // per state
    std::vector<int32_t> state;  // 0..2 within its model
    std::vector<chainArc> arcs;  // sorted by `to`, then `from`
    std::vector<int32_t> firstArcTo;  // per state: first arc index with that target (n+1 entries)
    std::vector<int32_t> minAfter;    // frames needed after this state's frame
    double exitLogProb = kLogZero;
    int maxJump = 1;
};

stateChain buildChain(const macroClass& set, const compositeHmm& hmm) {
    stateChain c;
    const int segs = static_cast<int>(hmm.models.size());
    c.n = segs * kStates;
    c.model.resize(c.n);
    c.state.resize(c.n);
    for (int k = 0; k < segs; ++k)
        for (int s = 0; s < kStates; ++s) {
            c.model[k * kStates + s] = hmm.models[k];
            c.state[k * kStates + s] = s;
        }
    auto trans = [&](int seg, int from, int to) { return logOf(set.m_models[hmm.models[seg]].transP[from][to]); };
    for (int k = 0; k < segs; ++k) {
        for (int s = 0; s < kStates; ++s) {
            int j = k * kStates + s;
            c.arcs.push_back({j, j, trans(k, s + 1, s + 1)});
            if (s + 1 < kStates) c.arcs.push_back({j, j + 1, trans(k, s + 1, s + 2)});
        }
        // Leaving segment k: into k+1, and past k+1 when it is optional.
        double exitLp = trans(k, kStates, kStates + 1);
        int last = k * kStates + kStates - 1;
        if (k + 1 < segs) {
            bool skippable = hmm.optional[k + 1] != 0 && k + 2 < segs;
            c.arcs.push_back({last, (k + 1) * kStates, exitLp + (skippable ? kLogHalf : 0.0)});
            if (skippable) {
                c.arcs.push_back({last, (k + 2) * kStates, exitLp + kLogHalf});
                c.maxJump = kStates + 1;
            }
        } else {
            c.exitLogProb = exitLp;
        }
    }
    std::sort(c.arcs.begin(), c.arcs.end(),
              [](const chainArc& a, const chainArc& b) { return a.to != b.to ? a.to < b.to : a.from < b.from; });
    c.firstArcTo.assign(c.n + 1, 0);
    for (const chainArc& a : c.arcs) c.firstArcTo[a.to + 1]++;
    for (int j = 0; j < c.n; ++j) c.firstArcTo[j + 1] += c.firstArcTo[j];
    c.minAfter.assign(c.n, 0);
    // Frames needed after state j: the remaining states of its segment, then
    // every later segment that cannot be skipped.
    int later = 0;
    for (int k = segs - 1; k >= 0; --k) {
        for (int s = 0; s < kStates; ++s) c.minAfter[k * kStates + s] = (kStates - 1 - s) + later;
        bool skippable = hmm.optional[k] != 0 && k > 0 && k + 1 < segs;
        if (!skippable) later += kStates;
    }
    return c;
}

// State likelihoods of one utterance, computed when first asked, one column
// per distinct (model, state). A pass over a frame names the cells it will
// read (want), has them computed in one batch (fetch), then reads them.
class likelihoodTable {
public:
    likelihoodTable(const macroClass& set, const stateChain& chain, const float* features, int frames, int dim)
        : m_set(set), m_features(features), m_frames(frames), m_dim(dim) {
        std::unordered_map<int64_t, int32_t> columns;
        m_columnOf.resize(chain.n);
        for (int j = 0; j < chain.n; ++j) {
            int64_t key = static_cast<int64_t>(chain.model[j]) * kStates + chain.state[j];
            auto it = columns.find(key);
            if (it == columns.end()) {
                int32_t col = static_cast<int32_t>(m_colModel.size());
                it = columns.emplace(key, col).first;
                m_colModel.push_back(chain.model[j]);
                m_colState.push_back(chain.state[j]);
            }
            m_columnOf[j] = it->second;
        }
        m_values.assign(static_cast<size_t>(frames) * m_colModel.size(), std::numeric_limits<float>::quiet_NaN());
        m_askedAt.assign(m_colModel.size(), -1);
    }
    void want(int t, int j) {
        const int col = m_columnOf[j];
        const size_t slot = static_cast<size_t>(t) * m_colModel.size() + col;
        if (!std::isnan(m_values[slot]) || m_askedAt[col] == t) return;
        m_askedAt[col] = t;
        m_queries.push_back(stateQuery{m_features + static_cast<size_t>(t) * m_dim, m_colModel[col], m_colState[col]});
        m_slots.push_back(slot);
    }
    void fetch() {
        m_fetched.resize(m_queries.size());
        stateLogLikelihoods(m_set, m_queries.data(), m_queries.size(), m_fetched.data());
        for (size_t k = 0; k < m_slots.size(); ++k) m_values[m_slots[k]] = m_fetched[k];
        m_queries.clear();
        m_slots.clear();
    }
    double get(int t, int j) {
        int col = m_columnOf[j];
        float& v = m_values[static_cast<size_t>(t) * m_colModel.size() + col];
        if (std::isnan(v))
            v = stateLogLikelihood(m_features + static_cast<size_t>(t) * m_dim, m_set, m_colModel[col],
                                   m_colState[col]);
        return v <= LZERO ? kLogZero : static_cast<double>(v);
    }

private:
    const macroClass& m_set;
    const float* m_features;
    int m_frames;
    int m_dim;
    std::vector<int32_t> m_columnOf;
    std::vector<int32_t> m_colModel;
    std::vector<int32_t> m_colState;
    std::vector<float> m_values;
    std::vector<int32_t> m_askedAt;  // per column, the frame it was last wanted for
    std::vector<stateQuery> m_queries;
    std::vector<size_t> m_slots;
    std::vector<float> m_fetched;
};

// The states a frame may hold: [lo, hi], widened by the longest jump.
struct frameRange {
    int lo;
    int hi;
};

void checkGeometry(const macroClass& set, const compositeHmm& hmm, int dim) {
    int width = 0;
    for (int s = 0; s < set.m_streamNum; ++s) width += set.m_streamWidth[s];
    if (width != dim)
        reportError(strFormat("The features have %d values per frame but the models expect %d (line %d of %s)", dim,
                              width, __LINE__, "train"));
    for (int32_t m : hmm.models)
        if (m < 0 || m >= set.m_modelNum || set.m_models[m].numStates != kStates + 2)
            reportError(strFormat("Model %d of the sequence is not a three-state model of the set (line %d of %s)", m,
                                  __LINE__, "train"));
}

// Log of the stream's mixture terms for one observation; returns the
// stream log likelihood.
double mixtureTerms(const float* x, const macroClass& set, int model, int state, int stream, double* terms) {
    const StreamRec& st = set.m_models[model].states[state].streams[stream];
    double total = kLogZero;
    for (int i = 0; i < st.mixtureNum(); ++i) {
        float lw = st.mixtures[i].weight;
        if (lw <= MIN_LOG_MIXTURE_WEIGHT) {
            terms[i] = kLogZero;
            continue;
        }
        terms[i] = static_cast<double>(lw) + mixtureLogDensity(x, set, model, state, stream, i);
        total = logAddD(total, terms[i]);
    }
    return total;
}

// Adds one observation with posterior weight `gamma` to a state's mixtures.
void addObservation(const float* x, const macroClass& set, int model, int state, int accModel, int accState,
                    double gamma, bwAccumulators& acc) {
    double terms[MAX_MIXTURE_NUM];
    int offset = 0;
    for (int s = 0; s < set.m_streamNum; ++s) {
        const int width = set.m_streamWidth[s];
        const float* xs = x + offset;
        offset += width;
        double ll = mixtureTerms(x, set, model, state, s, terms);
        if (ll <= kLogZero) continue;
        const int mixNum = set.m_models[model].states[state].streams[s].mixtureNum();
        for (int i = 0; i < mixNum && i < acc.maxMixtures(); ++i) {
            if (terms[i] <= kLogZero) continue;
            double g = gamma * std::exp(terms[i] - ll);
            if (g < 1e-9) continue;
            double* a = acc.mixture(accModel, accState, s, i);
            a[0] += g;
            for (int d = 0; d < width; ++d) {
                double v = xs[d];
                a[1 + d] += g * v;
                a[1 + MAX_VECTOR_SIZE + d] += g * v * v;
            }
        }
    }
}

}  // namespace

int compositeHmm::minFrames() const {
    const int segs = static_cast<int>(models.size());
    int n = 0;
    for (int k = 0; k < segs; ++k) {
        bool skippable = optional[k] != 0 && k > 0 && k + 1 < segs;
        if (!skippable) n += kStates;
    }
    return n;
}

bwAccumulators::bwAccumulators(int modelNum, int streamNum, int maxMixtures)
    : m_modelNum(modelNum), m_streamNum(streamNum), m_maxMix(maxMixtures) {
    m_mix.assign(static_cast<size_t>(modelNum) * 3 * streamNum * maxMixtures * kMixStride, 0.0);
    m_trans.assign(static_cast<size_t>(modelNum) * 3 * 2, 0.0);
}

void bwAccumulators::clear() {
    std::fill(m_mix.begin(), m_mix.end(), 0.0);
    std::fill(m_trans.begin(), m_trans.end(), 0.0);
    logLikelihood = frames = utterances = failed = 0;
}

void bwAccumulators::add(const bwAccumulators& o) {
    if (o.m_mix.size() != m_mix.size() || o.m_trans.size() != m_trans.size())
        reportError(strFormat("Accumulators of different shapes cannot be merged (line %d of %s)", __LINE__, "train"));
    for (size_t i = 0; i < m_mix.size(); ++i) m_mix[i] += o.m_mix[i];
    for (size_t i = 0; i < m_trans.size(); ++i) m_trans[i] += o.m_trans[i];
    logLikelihood += o.logLikelihood;
    frames += o.frames;
    utterances += o.utterances;
    failed += o.failed;
}

double bwAccumulators::modelOccupation(int model) const {
    double occ = 0;
    for (int s = 0; s < 3; ++s)
        for (int i = 0; i < m_maxMix; ++i) occ += mixture(model, s, 0, i)[0];
    return occ;
}

double accumulateUtterance(const macroClass& set, const compositeHmm& hmm, const float* features, int frames, int dim,
                           double beam, const fillerPooling& pooling, bwAccumulators& acc) {
    checkGeometry(set, hmm, dim);
    const int T = frames;
    if (hmm.models.empty() || T < hmm.minFrames()) {
        acc.failed += 1;
        return kLogZero;
    }
    stateChain c = buildChain(set, hmm);
    const int N = c.n;
    likelihoodTable B(set, c, features, T, dim);
    std::vector<double> alpha(static_cast<size_t>(T) * N, kLogZero);
    std::vector<frameRange> range(T);

    // Forward, with the beam and the frames still needed as limits.
    alpha[0] = B.get(0, 0);
    range[0] = {0, 0};
    for (int t = 1; t < T; ++t) {
        const double* prev = &alpha[static_cast<size_t>(t - 1) * N];
        double* cur = &alpha[static_cast<size_t>(t) * N];
        int lo = range[t - 1].lo, hi = std::min(N - 1, range[t - 1].hi + c.maxJump);
        double best = kLogZero;
        int newLo = N, newHi = -1;
        // The arcs in first (cur holds their sum), then the likelihoods of
        // the states reached, in one batch.
        for (int j = lo; j <= hi; ++j) {
            if (t + c.minAfter[j] > T - 1) continue;
            double a = kLogZero;
            for (int k = c.firstArcTo[j]; k < c.firstArcTo[j + 1]; ++k) {
                const chainArc& arc = c.arcs[k];
                if (arc.from < range[t - 1].lo || arc.from > range[t - 1].hi) continue;
                double v = prev[arc.from];
                if (v <= kLogZero || arc.logProb <= kLogZero) continue;
                a = logAddD(a, v + arc.logProb);
            }
            if (a <= kLogZero) continue;
            cur[j] = a;
            B.want(t, j);
        }
        B.fetch();
        for (int j = lo; j <= hi; ++j) {
            const double a = cur[j];
            if (a <= kLogZero) continue;
            double b = B.get(t, j);
            if (b <= kLogZero) {
                cur[j] = kLogZero;
                continue;
            }
            cur[j] = a + b;
            best = std::max(best, cur[j]);
            newLo = std::min(newLo, j);
            newHi = std::max(newHi, j);
        }
        if (newHi < 0) {
            acc.failed += 1;
            return kLogZero;
        }
        if (beam > 0) {
            int lo2 = N, hi2 = -1;
            for (int j = newLo; j <= newHi; ++j) {
                if (cur[j] < best - beam) cur[j] = kLogZero;
                if (cur[j] > kLogZero) {
                    lo2 = std::min(lo2, j);
                    hi2 = std::max(hi2, j);
                }
            }
            newLo = lo2;
            newHi = hi2;
        }
        range[t] = {newLo, newHi};
    }
    const double endAlpha = alpha[static_cast<size_t>(T - 1) * N + N - 1];
    if (endAlpha <= kLogZero || c.exitLogProb <= kLogZero) {
        acc.failed += 1;
        return kLogZero;
    }
    const double total = endAlpha + c.exitLogProb;

    // Backward over the states the forward pass kept; statistics on the way.
    std::vector<double> betaNext(N, kLogZero), beta(N, kLogZero);
    betaNext[N - 1] = c.exitLogProb;
    std::vector<int32_t> pools;
    for (int32_t p : pooling.poolOf)
        if (p >= 0 && std::find(pools.begin(), pools.end(), p) == pools.end()) pools.push_back(p);
    std::sort(pools.begin(), pools.end());
    std::vector<std::vector<double>> pooled(pools.size(), std::vector<double>(T, 0.0));

    auto gather = [&](int t, const std::vector<double>& betaT) {
        const double* at = &alpha[static_cast<size_t>(t) * N];
        const float* x = features + static_cast<size_t>(t) * dim;
        for (int j = range[t].lo; j <= range[t].hi; ++j) {
            if (at[j] <= kLogZero || betaT[j] <= kLogZero) continue;
            double lg = at[j] + betaT[j] - total;
            if (lg < kMinLogPosterior) continue;
            double g = std::exp(lg);
            addObservation(x, set, c.model[j], c.state[j], c.model[j], c.state[j], g, acc);
            if (!pooling.empty()) {
                int p = pooling.poolOf[c.model[j]];
                if (p >= 0) {
                    size_t idx = std::find(pools.begin(), pools.end(), p) - pools.begin();
                    pooled[idx][t] += g;
                }
            }
        }
    };
    gather(T - 1, betaNext);
    acc.leave(c.model[N - 1], c.state[N - 1]) += 1.0;  // the final exit
    for (int t = T - 2; t >= 0; --t) {
        const double* at = &alpha[static_cast<size_t>(t) * N];
        const double* an = &alpha[static_cast<size_t>(t + 1) * N];
        std::fill(beta.begin(), beta.end(), kLogZero);
        // Arcs into frame t+1's kept states.
        for (int j = range[t + 1].lo; j <= range[t + 1].hi; ++j) {
            if (an[j] <= kLogZero || betaNext[j] <= kLogZero) continue;
            double tail = B.get(t + 1, j) + betaNext[j];
            for (int k = c.firstArcTo[j]; k < c.firstArcTo[j + 1]; ++k) {
                const chainArc& arc = c.arcs[k];
                if (arc.from < range[t].lo || arc.from > range[t].hi || at[arc.from] <= kLogZero) continue;
                if (arc.logProb <= kLogZero) continue;
                double v = arc.logProb + tail;
                beta[arc.from] = logAddD(beta[arc.from], v);
                double lx = at[arc.from] + v - total;
                if (lx < kMinLogPosterior) continue;
                double xi = std::exp(lx);
                if (arc.from == j)
                    acc.selfLoop(c.model[j], c.state[j]) += xi;
                else
                    acc.leave(c.model[arc.from], c.state[arc.from]) += xi;
            }
        }
        gather(t, beta);
        betaNext.swap(beta);
    }
    for (size_t p = 0; p < pools.size(); ++p)
        for (int t = 0; t < T; ++t)
            if (pooled[p][t] > 1e-6)
                addObservation(features + static_cast<size_t>(t) * dim, set, pools[p], 0, pools[p], 0, pooled[p][t],
                               acc);
    acc.logLikelihood += total;
    acc.frames += T;
    acc.utterances += 1;
    return total;
}

alignmentResult forcedAlign(const macroClass& set, const compositeHmm& hmm, const float* features, int frames,
                            int dim) {
    checkGeometry(set, hmm, dim);
    alignmentResult r;
    const int T = frames;
    if (hmm.models.empty() || T < hmm.minFrames()) return r;
    stateChain c = buildChain(set, hmm);
    const int N = c.n;
    likelihoodTable B(set, c, features, T, dim);
    std::vector<double> cur(N, kLogZero), prev(N, kLogZero);
    std::vector<int32_t> back(static_cast<size_t>(T) * N, -1);
    std::vector<frameRange> range(T);
    prev[0] = B.get(0, 0);
    range[0] = {0, 0};
    for (int t = 1; t < T; ++t) {
        std::fill(cur.begin(), cur.end(), kLogZero);
        int lo = range[t - 1].lo, hi = std::min(N - 1, range[t - 1].hi + c.maxJump);
        int newLo = N, newHi = -1;
        for (int j = lo; j <= hi; ++j) {
            if (t + c.minAfter[j] > T - 1) continue;
            double best = kLogZero;
            int from = -1;
            for (int k = c.firstArcTo[j]; k < c.firstArcTo[j + 1]; ++k) {
                const chainArc& arc = c.arcs[k];
                if (arc.from < range[t - 1].lo || arc.from > range[t - 1].hi) continue;
                double v = prev[arc.from];
                if (v <= kLogZero || arc.logProb <= kLogZero) continue;
                if (v + arc.logProb > best) {
                    best = v + arc.logProb;
                    from = arc.from;
                }
            }
            if (from < 0) continue;
            cur[j] = best;  // the likelihood is added below, after the batch
            back[static_cast<size_t>(t) * N + j] = from;
            B.want(t, j);
        }
        B.fetch();
        for (int j = lo; j <= hi; ++j) {
            int32_t& from = back[static_cast<size_t>(t) * N + j];
            if (from < 0) continue;
            double b = B.get(t, j);
            if (b <= kLogZero) {
                cur[j] = kLogZero;
                from = -1;
                continue;
            }
            cur[j] = cur[j] + b;
            newLo = std::min(newLo, j);
            newHi = std::max(newHi, j);
        }
        if (newHi < 0) return r;
        range[t] = {newLo, newHi};
        prev.swap(cur);
    }
    if (prev[N - 1] <= kLogZero || c.exitLogProb <= kLogZero) return r;
    r.logLikelihood = prev[N - 1] + c.exitLogProb;
    r.segmentOfFrame.assign(T, 0);
    int j = N - 1;
    for (int t = T - 1; t >= 0; --t) {
        r.segmentOfFrame[t] = j / kStates;
        if (t > 0) j = back[static_cast<size_t>(t) * N + j];
    }
    for (int t = 0; t < T; ++t) {
        int seg = r.segmentOfFrame[t];
        if (r.segments.empty() || r.segments.back() != seg) {
            r.segments.push_back(seg);
            r.firstFrame.push_back(t);
            r.lastFrame.push_back(t);
        } else {
            r.lastFrame.back() = t;
        }
    }
    return r;
}

void reestimate(macroClass& models, const bwAccumulators& acc, const std::vector<std::vector<float>>& varFloor,
                const fillerPooling& pooling, double minMixOcc) {
    const int S = models.m_streamNum;
    for (int m = 0; m < models.m_modelNum && m < acc.modelNum(); ++m) {
        HmmModel& hm = models.m_models[m];
        if (hm.numStates != kStates + 2) continue;
        bool isPool = false;
        for (int32_t p : pooling.poolOf)
            if (p == m) isPool = true;
        const int statesWithData = isPool ? 1 : kStates;
        for (int st = 0; st < statesWithData; ++st) {
            for (int s = 0; s < S; ++s) {
                StreamRec& sr = hm.states[st].streams[s];
                const int width = models.m_streamWidth[s];
                double occTotal = 0;
                for (int i = 0; i < sr.mixtureNum() && i < acc.maxMixtures(); ++i)
                    occTotal += acc.mixture(m, st, s, i)[0];
                if (occTotal <= 0) continue;
                for (int i = 0; i < sr.mixtureNum() && i < acc.maxMixtures(); ++i) {
                    const double* a = acc.mixture(m, st, s, i);
                    MixtureRec& mix = sr.mixtures[i];
                    mix.weight = static_cast<float>(a[0] / occTotal);
                    if (a[0] < minMixOcc) continue;
                    for (int d = 0; d < width; ++d) {
                        double mean = a[1 + d] / a[0];
                        double var = a[1 + MAX_VECTOR_SIZE + d] / a[0] - mean * mean;
                        mix.mean[d] = static_cast<float>(mean);
                        mix.variance[d] = static_cast<float>(std::max(var, static_cast<double>(varFloor[s][d])));
                    }
                }
            }
            if (!isPool) {
                double self = acc.selfLoop(m, st), out = acc.leave(m, st);
                if (self + out > 0) {
                    float stay = static_cast<float>(self / (self + out));
                    stay = std::min(std::max(stay, 0.01f), 0.99f);
                    hm.transP[st + 1][st + 1] = stay;
                    hm.transP[st + 1][st + 2] = 1.0f - stay;
                }
            }
        }
        if (isPool)
            for (int st = 1; st < kStates; ++st) hm.states[st] = hm.states[0];
    }
}

void splitMixtures(macroClass& models, const std::vector<int32_t>& which, int target) {
    target = std::min(target, MAX_MIXTURE_NUM);
    for (int32_t m : which) {
        HmmModel& hm = models.m_models[m];
        for (int st = 0; st < hm.numStates - 2; ++st)
            for (int s = 0; s < models.m_streamNum; ++s) {
                StreamRec& sr = hm.states[st].streams[s];
                while (sr.mixtureNum() < target) {
                    int heavy = 0;
                    for (int i = 1; i < sr.mixtureNum(); ++i)
                        if (sr.mixtures[i].weight > sr.mixtures[heavy].weight) heavy = i;
                    sr.mixtures[heavy].weight *= 0.5f;
                    sr.mixtures.push_back(sr.mixtures[heavy]);
                    MixtureRec& a = sr.mixtures[heavy];
                    MixtureRec& b = sr.mixtures.back();
                    for (int d = 0; d < models.m_streamWidth[s]; ++d) {
                        float sd = static_cast<float>(std::sqrt(static_cast<double>(a.variance[d])));
                        a.mean[d] += kSplitOffset * sd;
                        b.mean[d] -= kSplitOffset * sd;
                    }
                }
            }
    }
}

void computeGconsts(macroClass& models) {
    const double log2pi = pm::log(2.0 * 3.14159265358979323846);
    for (HmmModel& hm : models.m_models)
        for (int st = 0; st < hm.numStates - 2; ++st)
            for (int s = 0; s < models.m_streamNum; ++s) {
                StreamRec& sr = hm.states[st].streams[s];
                for (int i = 0; i < sr.mixtureNum(); ++i) {
                    double g = 0;
                    for (int d = 0; d < models.m_streamWidth[s]; ++d)
                        g += log2pi + pm::log(static_cast<double>(sr.mixtures[i].variance[d]));
                    sr.mixtures[i].gconst = static_cast<float>(g);
                }
            }
}

HmmModel flatModel(const std::string& name, int streamNum, const std::vector<std::vector<float>>& mean,
                   const std::vector<std::vector<float>>& variance) {
    HmmModel m{};
    std::memset(m.name, 0, sizeof m.name);
    std::snprintf(m.name, sizeof m.name, "%s", name.c_str());
    m.numStates = kStates + 2;
    for (int st = 0; st < kStates; ++st) {
        for (int s = 0; s < streamNum; ++s) {
            m.states[st].streamWeight[s] = 1.0f;
            StreamRec& sr = m.states[st].streams[s];
            sr.mixtures.assign(1, MixtureRec{});
            sr.mixtures[0].weight = 1.0f;
            for (size_t d = 0; d < mean[s].size(); ++d) {
                sr.mixtures[0].mean[d] = mean[s][d];
                sr.mixtures[0].variance[d] = variance[s][d];
            }
        }
    }
    m.transP[0][1] = 1.0f;
    for (int st = 1; st <= kStates; ++st) {
        m.transP[st][st] = 0.6f;
        m.transP[st][st + 1] = 0.4f;
    }
    return m;
}

}  // namespace kedo
