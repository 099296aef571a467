// Pitch tracking: pitch function, candidates, dynamic programming, voicing
// decisions, median filter.
#include "frontend/pitch.h"
#include "util/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frontend/epd.h"
#include "frontend/wave_condition.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/str_util.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "audio";
constexpr float kPitchFunctionPeak = 1048576.0f;  // 2^20

struct IntKey {
    const char* name;
    int32_t ptParam::*field;
};
struct FloatKey {
    const char* name;
    float ptParam::*field;
};
constexpr IntKey kIntKeys[] = {
    {"fs", &ptParam::fs},
    {"nbits", &ptParam::nbits},
    {"pfType", &ptParam::pfType},
    {"frameSize", &ptParam::frameSize},
    {"overlap", &ptParam::overlap},
    {"pfLen", &ptParam::pfLen},
    {"ppcNum", &ptParam::ppcNum},
    {"dpMethod", &ptParam::dpMethod},
    {"dpPosDiffOrder", &ptParam::dpPosDiffOrder},
    {"dpUseLocalOptim", &ptParam::dpUseLocalOptim},
    {"volThresholding", &ptParam::volThresholding},
    {"clarityThresholding", &ptParam::clarityThresholding},
    {"medianFilterOrder", &ptParam::medianFilterOrder},
    {"cutLeadingTrailingZero", &ptParam::cutLeadingTrailingZero},
};
constexpr FloatKey kFloatKeys[] = {
    {"minPitch", &ptParam::minPitch},
    {"maxPitch", &ptParam::maxPitch},
    {"pitchRangeMax", &ptParam::pitchRangeMax},
    {"pitchDiffMax", &ptParam::pitchDiffMax},
    {"maxMedianPitchDiff", &ptParam::maxMedianPitchDiff},
    {"pfWeight", &ptParam::pfWeight},
    {"indexDiffWeight", &ptParam::indexDiffWeight},
    {"clarityRatio", &ptParam::clarityRatio},
};

void printParams(const ptParam& pp) {
    // Record order.
    auto i = [](const char* label, int32_t v, int line) {
        progressf("ptParam->%s=%d (line=%d, file=%s)\n", label, v, line, kModule);
    };
    auto f = [](const char* label, float v, int line) {
        progressf("ptParam->%s=%g (line=%d, file=%s)\n", label, static_cast<double>(v), line, kModule);
    };
    i("fs", pp.fs, __LINE__);
    i("nbits", pp.nbits, __LINE__);
    i("pfType", pp.pfType, __LINE__);
    i("frameSize", pp.frameSize, __LINE__);
    i("overlap", pp.overlap, __LINE__);
    i("pfLen", pp.pfLen, __LINE__);
    i("ppcNum", pp.ppcNum, __LINE__);
    f("minPitch", pp.minPitch, __LINE__);
    f("maxPitch", pp.maxPitch, __LINE__);
    f("pitchRangeMax", pp.pitchRangeMax, __LINE__);
    f("pitchDiffMax", pp.pitchDiffMax, __LINE__);
    f("maxMedianPitchDiff", pp.maxMedianPitchDiff, __LINE__);
    i("dpMethod", pp.dpMethod, __LINE__);
    i("dpPosDiffOrder", pp.dpPosDiffOrder, __LINE__);
    i("dpUseLocalOptim", pp.dpUseLocalOptim, __LINE__);
    f("pfWeight", pp.pfWeight, __LINE__);
    f("indexDiffWeight", pp.indexDiffWeight, __LINE__);
    i("volThresholding", pp.volThresholding, __LINE__);
    i("clarityThresholding", pp.clarityThresholding, __LINE__);
    f("clarityRatio", pp.clarityRatio, __LINE__);
    i("medianFilterOrder", pp.medianFilterOrder, __LINE__);
    i("cutLeadingTrailingZero", pp.cutLeadingTrailingZero, __LINE__);
}

void applyTunedSet(ptParam& pp) {
    struct Tuned {
        int pfType, fs, frameSize, overlap, dpMethod, dpPosDiffOrder, dpUseLocalOptim;
        float pfWeight, indexDiffWeight;
    };
    static const Tuned sets[] = {
        {1, 8000, 256, 176, 2, 1, 0, 1.0f, 345.0f},    {1, 8000, 256, 0, 2, 1, 1, 4.0f, 388.0f},
        {1, 16000, 640, 480, 1, 2, 0, 1.0f, 6.0f},     {0, 8000, 256, 176, 1, 1, 0, 128.0f, 159.0f},
        {0, 16000, 640, 480, 2, 2, 1, 12800.0f, 700.0f},
    };
    for (const Tuned& t : sets) {
        if (t.pfType == pp.pfType && t.fs == pp.fs && t.frameSize == pp.frameSize && t.overlap == pp.overlap) {
            pp.dpMethod = t.dpMethod;
            pp.dpPosDiffOrder = t.dpPosDiffOrder;
            pp.dpUseLocalOptim = t.dpUseLocalOptim;
            pp.pfWeight = t.pfWeight;
            pp.indexDiffWeight = t.indexDiffWeight;
        }
    }
}

// Settings the tracker cannot work with are refused with the file named.
void checkParams(const ptParam& pp, const std::string& source) {
    auto bad = [&](const std::string& what, int line) {
        reportError(strFormat("Pitch parameters%s%s: %s (line %d in %s)", source.empty() ? "" : " in ",
                              source.c_str(), what.c_str(), line, kModule));
    };
    if (pp.fs <= 0) bad(strFormat("fs=%d must be positive", pp.fs), __LINE__);
    if (pp.frameSize < 2 || pp.frameSize > MAX_PITCH_FRAME_SIZE)
        bad(strFormat("frameSize=%d must be 2..%d", pp.frameSize, MAX_PITCH_FRAME_SIZE), __LINE__);
    if (pp.overlap < 0 || pp.overlap >= pp.frameSize)
        bad(strFormat("overlap=%d must be 0..frameSize-1", pp.overlap), __LINE__);
    if (pp.pfLen < 1 || pp.pfLen > pp.frameSize)
        bad(strFormat("pfLen=%d must be 1..frameSize", pp.pfLen), __LINE__);
    if (pp.dpMethod != 1 && pp.dpMethod != 2) bad(strFormat("dpMethod=%d must be 1 or 2", pp.dpMethod), __LINE__);
}

void deriveFields(ptParam& pp) {
    pp.useClarity = pp.pfType == 1 ? 1 : 0;
    if (pp.frameSize > pp.overlap) pp.frameRate = pp.fs / (pp.frameSize - pp.overlap);
}

// A lag for a frequency, clamped to 0..limit (frequencies of 0 give limit).
int lagOf(int fs, double freq, int limit) {
    if (!(freq > 0.0)) return limit;
    double lag = fs / freq;
    if (!(lag < limit)) return limit;
    return std::max(0, roundToInt(lag));
}

double median(std::vector<float> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (static_cast<double>(v[n / 2 - 1]) + v[n / 2]);
}

// Autocorrelation of one frame, lags 0..pfLen-1, after removing the frame's
// integer mean. The products and sums are integers well inside the exact
// range of doubles, so the summation order does not change any value.
void autocorrelation(const int32_t* f, int n, int pfLen, std::vector<double>& y, float* out) {
    int64_t sum = 0;
    for (int k = 0; k < n; ++k) sum += f[k];
    int32_t mean = static_cast<int32_t>(sum / n);
    y.resize(n + 4);
    for (int k = 0; k < n; ++k) y[k] = static_cast<double>(f[k] - mean);
    for (int k = n; k < n + 4; ++k) y[k] = 0.0;
    const double* yp = y.data();
    typedef double v2d __attribute__((vector_size(16)));
    for (int tau = 0; tau < pfLen; ++tau) {
        const int m = n - tau;
        v2d a0 = {0, 0}, a1 = {0, 0}, a2 = {0, 0}, a3 = {0, 0};
        int k = 0;
        for (; k + 8 <= m; k += 8) {
            v2d x0, x1, x2, x3, z0, z1, z2, z3;
            std::memcpy(&x0, yp + k, 16);
            std::memcpy(&x1, yp + k + 2, 16);
            std::memcpy(&x2, yp + k + 4, 16);
            std::memcpy(&x3, yp + k + 6, 16);
            std::memcpy(&z0, yp + k + tau, 16);
            std::memcpy(&z1, yp + k + tau + 2, 16);
            std::memcpy(&z2, yp + k + tau + 4, 16);
            std::memcpy(&z3, yp + k + tau + 6, 16);
            a0 += x0 * z0;
            a1 += x1 * z1;
            a2 += x2 * z2;
            a3 += x3 * z3;
        }
        v2d acc = (a0 + a1) + (a2 + a3);
        double sum = acc[0] + acc[1];
        for (; k < m; ++k) sum += yp[k] * yp[k + tau];
        out[tau] = static_cast<float>(sum);
    }
}

// Average magnitude difference of one frame, lags 0..pfLen-1.
void magnitudeDifference(const int32_t* f, int n, int pfLen, float* out) {
    for (int tau = 0; tau < pfLen; ++tau) {
        int m = n - tau;
        int64_t sum = 0;
        for (int k = 0; k < m; ++k) sum += std::abs(f[k] - f[k + tau]);
        out[tau] = static_cast<float>(static_cast<double>(sum) / m);
    }
}

// Candidate lags of one row: the local extrema (maxima for autocorrelation,
// minima for the magnitude difference), or every lag.
void findCandidates(const float* row, const ptParam& pp, int minIndex, int maxIndex,
                    std::vector<PitchCandidate>& out) {
    out.clear();
    auto keep = [&](int lag) {
        if (lag != 0 && lag >= minIndex && lag <= maxIndex) out.push_back({lag, row[lag]});
    };
    if (pp.dpUseLocalOptim != 1) {
        for (int lag = std::max(1, minIndex); lag <= maxIndex; ++lag) keep(lag);
        return;
    }
    const bool maxima = pp.pfType == 1;
    int recorded = -1;
    for (int i = 1; i < pp.pfLen; ++i) {
        bool rise = row[i] > row[i - 1], fall = row[i] < row[i - 1];
        if (maxima ? rise : fall) {
            recorded = i;
        } else if ((maxima ? fall : rise) && recorded >= 0) {
            keep((i + recorded) / 2);
            recorded = -1;
        }
    }
}


// Cost of a jump by d key steps: weight * |d| or weight * d^2.
struct JumpCost {
    double weight;
    bool linear;
    double operator()(int d) const {
        double a = std::abs(static_cast<double>(d));
        return linear ? weight * a : weight * (a * a);
    }
};

// For every current candidate b, the previous candidate a that maximises
// (or minimises) prev[a] -/+ cost(key[a] - key[b]), the earliest a on ties;
// best[b] receives that value and arg[b] the index a. Keys rise (not
// strictly) in both lists. The result is that of trying every a in order:
// the search starts at the keys nearest to b's and, moving away (the jump
// grows), skips blocks of candidates whose bound (the block's extreme score
// with the block's smallest jump) falls short of the value already found.
// Floating-point subtraction and the cost are monotone, so a skipped
// candidate could never have been chosen.
template <bool Maximise>
void bestTransitions(const std::vector<double>& prev, const std::vector<int>& prevKey,
                     const std::vector<int>& curKey, const JumpCost& jump, std::vector<double>& best,
                     std::vector<int>& arg) {
    constexpr int kBlock = 8;
    const int na = static_cast<int>(prev.size()), nb = static_cast<int>(curKey.size());
    auto better = [](double v, double b) { return Maximise ? v > b : v < b; };
    auto combine = [](double s, double c) { return Maximise ? s - c : s + c; };
    thread_local std::vector<double> blockBound, costTable;
    blockBound.assign((na + kBlock - 1) / kBlock, 0.0);
    double global = prev[0];
    for (int a = 0; a < na; ++a) {
        double& bb = blockBound[a / kBlock];
        if (a % kBlock == 0 || better(prev[a], bb)) bb = prev[a];
        if (better(prev[a], global)) global = prev[a];
    }
    int span = std::max(std::abs(prevKey.back() - curKey.front()), std::abs(curKey.back() - prevKey.front()));
    span = std::max(span, std::max(prevKey.back() - prevKey.front(), curKey.back() - curKey.front()));
    costTable.resize(static_cast<size_t>(span) + 1);
    for (int d = 0; d <= span; ++d) costTable[d] = jump(d);
    const double* cost = costTable.data();
    const double* s = prev.data();
    const int* key = prevKey.data();
    best.resize(nb);
    arg.resize(nb);
    int split = 0;  // first previous candidate with a key above the current one
    for (int b = 0; b < nb; ++b) {
        const int kb = curKey[b];
        while (split < na && key[split] <= kb) ++split;
        // Start from the nearest candidate below the split (or above it).
        int ba = split > 0 ? split - 1 : 0;
        double bv = combine(s[ba], cost[std::abs(key[ba] - kb)]);
        // Downward: blocks from the one holding ba.
        for (int a = ba - 1; a >= 0;) {
            double c = cost[kb - key[a]];
            if (better(bv, combine(global, c))) break;
            int lo = (a / kBlock) * kBlock;
            if (!better(bv, combine(blockBound[a / kBlock], c))) {
                for (; a >= lo; --a) {
                    double v = combine(s[a], cost[kb - key[a]]);
                    // Moving down the index falls, so ties move the choice too.
                    if (!better(bv, v)) {
                        bv = v;
                        ba = a;
                    }
                }
            }
            a = lo - 1;
        }
        // Upward from the split.
        for (int a = split; a < na;) {
            double c = cost[key[a] - kb];
            if (better(bv, combine(global, c))) break;
            int hi = std::min(na, (a / kBlock + 1) * kBlock);
            if (!better(bv, combine(blockBound[a / kBlock], c))) {
                for (; a < hi; ++a) {
                    double v = combine(s[a], cost[key[a] - kb]);
                    if (better(v, bv) || (v == bv && a < ba)) {
                        bv = v;
                        ba = a;
                    }
                }
            }
            a = hi;
        }
        best[b] = bv;
        arg[b] = ba;
    }
}

}  // namespace

void pitchTransitions(const std::vector<double>& prev, const std::vector<int>& prevKey,
                      const std::vector<int>& curKey, double weight, bool linear, bool maximise,
                      std::vector<double>& best, std::vector<int>& arg) {
    JumpCost cost{weight, linear};
    if (maximise)
        bestTransitions<true>(prev, prevKey, curKey, cost, best, arg);
    else
        bestTransitions<false>(prev, prevKey, curKey, cost, best, arg);
}

double semitone(double freq) { return freq > 0.0 ? 69.0 + 12.0 * pm::log2(freq / 440.0) : 0.0; }

double freqOfSemitone(double s) { return s > 0.0 ? 440.0 * pm::pow(2.0, (s - 69.0) / 12.0) : 0.0; }

ptParam ptParamSet(int fs, int nbits, int pfType, const std::string& path) {
    if (pfType != 0 && pfType != 1)
        reportError(strFormat("Unknown pfType=%d (line %d in %s)!\n", pfType, __LINE__, kModule));
    ptParam pp;
    pp.fs = fs;
    pp.nbits = nbits;
    pp.pfType = pfType;
    if (fs == 8000)
        pp.frameSize = 256;
    else if (fs == 16000)
        pp.frameSize = 640;
    else {
        int64_t size = (static_cast<int64_t>(fs) * 256 + 7999) / 8000;  // ceil(fs * 256 / 8000)
        if (size % 2) ++size;
        pp.frameSize = static_cast<int32_t>(std::clamp<int64_t>(size, 0, MAX_PITCH_FRAME_SIZE + 1));
    }
    pp.overlap = fs == 16000 ? 480 : 0;
    pp.pfLen = pp.frameSize / 2;
    applyTunedSet(pp);

    if (!path.empty() && fileExists(path)) {
        StrVec keys, values;
        readKeyValueFile(path, keys, values);
        for (size_t k = 0; k < keys.size(); ++k) {
            bool found = false;
            for (const IntKey& key : kIntKeys) {
                if (keys[k] != key.name) continue;
                found = true;
                if (keys[k] == "dpUseLocalOptim") {
                    double v = std::atof(values[k].c_str());
                    pp.*key.field = std::fabs(v) < 2e9 ? static_cast<int32_t>(v) : 0;
                } else {
                    pp.*key.field = parseLeadingInt(values[k]);
                }
            }
            for (const FloatKey& key : kFloatKeys) {
                if (keys[k] != key.name) continue;
                found = true;
                pp.*key.field = static_cast<float>(std::atof(values[k].c_str()));
            }
            if (!found)
                reportError(strFormat("Error in parsing %s, unknown key = %s (line %d in %s)", path.c_str(),
                                      keys[k].c_str(), __LINE__, kModule));
        }
        printParams(pp);
    }
    checkParams(pp, path);
    deriveFields(pp);
    double duration = pp.frameSize * 1000.0 / pp.fs;
    if (duration < 32.0)
        progressf("Warning: frameSize too small! (frameSize=%d, frameDuration=%g ms < minFrameDuration=%g ms)\n",
                    pp.frameSize, duration, 32.0);
    return pp;
}

int pitchMinIndex(const ptParam& pp) { return lagOf(pp.fs, freqOfSemitone(pp.maxPitch), pp.pfLen); }

int pitchMaxIndex(const ptParam& pp) {
    return std::min(pp.pfLen - 1, lagOf(pp.fs, freqOfSemitone(pp.minPitch), pp.pfLen));
}

int pitchFrameCount(int len, const ptParam& pp) {
    int hop = pp.frameSize - pp.overlap;
    if (hop <= 0 || len - pp.overlap <= 0) return 0;
    return (len - pp.overlap) / hop;
}

std::vector<float> pitchFunction(const int32_t* x, int len, const ptParam& pp) {
    if (pp.pfType != 0 && pp.pfType != 1)
        reportError(strFormat("Unknown pfType=%d (line %d of file %s)", pp.pfType, __LINE__, kModule));
    checkParams(pp, "");
    const int frames = pitchFrameCount(len, pp);
    const int hop = pp.frameSize - pp.overlap;
    const int pfLen = pp.pfLen;
    std::vector<float> pf(static_cast<size_t>(std::max(frames, 0)) * pfLen);
    std::vector<double> work;
    for (int t = 0; t < frames; ++t) {
        const int32_t* f = x + static_cast<int64_t>(t) * hop;
        float* row = pf.data() + static_cast<size_t>(t) * pfLen;
        if (pp.pfType == 1)
            autocorrelation(f, pp.frameSize, pfLen, work, row);
        else
            magnitudeDifference(f, pp.frameSize, pfLen, row);
    }
    float peak = 0.0f;
    for (float v : pf) peak = std::max(peak, std::fabs(v));
    if (peak > 0.0f) {
        double scale = kPitchFunctionPeak / static_cast<double>(peak);
        for (float& v : pf) v = static_cast<float>(v * scale);
    }
    return pf;
}

int pitchTrack(const int32_t* x, int len, const ptParam& pp, std::vector<float>& pitch,
               std::vector<std::vector<PitchCandidate>>* candidates, const std::vector<float>* pfIn) {
    if (pp.pfType != 0 && pp.pfType != 1)
        reportError(strFormat("Unknown pfType=%d (line %d of file %s)", pp.pfType, __LINE__, kModule));
    checkParams(pp, "");
    const int frames = pitchFrameCount(len, pp);
    const int pfLen = pp.pfLen;
    pitch.assign(std::max(frames, 0), 0.0f);
    if (candidates) candidates->assign(std::max(frames, 0), {});
    if (frames <= 0) return 0;

    std::vector<float> pf;
    if (pfIn && pfIn->size() == static_cast<size_t>(frames) * pfLen)
        pf = *pfIn;
    else
        pf = pitchFunction(x, len, pp);
    auto rowOf = [&](int t) { return pf.data() + static_cast<size_t>(t) * pfLen; };
    const int minIndex = pitchMinIndex(pp), maxIndex = pitchMaxIndex(pp);
    const bool maximise = pp.pfType == 1;

    // Clarity weighting.
    if (pp.useClarity) {
        for (int t = 0; t < frames; ++t) {
            float* row = rowOf(t);
            float clarity = 0.0f;
            if (minIndex <= maxIndex) {
                int i = minIndex;
                while (i < maxIndex && row[i + 1] < row[i]) ++i;
                float best = row[i];
                for (int j = i; j <= maxIndex; ++j) best = std::max(best, row[j]);
                clarity = row[0] == 0.0f ? 0.0f : best / row[0];
            }
            if (clarity > 1.0f) {
                progressf("i=%d/%d: clarity=%g\n", t, frames, static_cast<double>(clarity));
                clarity = 0.0f;
            }
            for (int j = 0; j < pfLen; ++j) row[j] *= clarity;
        }
    }

    // Candidates.
    std::vector<std::vector<PitchCandidate>> cand(frames);
    for (int t = 0; t < frames; ++t) findCandidates(rowOf(t), pp, minIndex, maxIndex, cand[t]);

    // Dynamic programming over each run of frames with candidates.
    std::vector<int> key(pfLen + 1, 0);
    for (int lag = 1; lag <= pfLen; ++lag)
        key[lag] = pp.dpMethod == 1 ? lag : -roundToInt(10.0 * semitone(static_cast<double>(pp.fs) / lag));
    // (Method 2's keys are negated so that they rise with the lag like
    // method 1's; only differences of keys are used.)
    JumpCost cost{pp.indexDiffWeight, pp.dpPosDiffOrder == 1};
    const double pfw = pp.pfWeight;
    std::vector<int> chosen(frames, -1);
    std::vector<std::vector<double>> score(frames);
    std::vector<std::vector<int>> back(frames);
    std::vector<int> prevKey, curKey;
    for (int t = 0; t < frames;) {
        if (cand[t].empty()) {
            ++t;
            continue;
        }
        int first = t;
        score[t].resize(cand[t].size());
        for (size_t b = 0; b < cand[t].size(); ++b) score[t][b] = pfw * cand[t][b].value;
        ++t;
        for (; t < frames && !cand[t].empty(); ++t) {
            const std::vector<PitchCandidate>& pc = cand[t - 1];
            const std::vector<PitchCandidate>& cc = cand[t];
            prevKey.resize(pc.size());
            curKey.resize(cc.size());
            for (size_t a = 0; a < pc.size(); ++a) prevKey[a] = key[pc[a].lag];
            for (size_t b = 0; b < cc.size(); ++b) curKey[b] = key[cc[b].lag];
            if (maximise)
                bestTransitions<true>(score[t - 1], prevKey, curKey, cost, score[t], back[t]);
            else
                bestTransitions<false>(score[t - 1], prevKey, curKey, cost, score[t], back[t]);
            for (size_t b = 0; b < cc.size(); ++b) score[t][b] += pfw * cc[b].value;
        }
        int last = t - 1;
        const std::vector<double>& s = score[last];
        int bi = 0;
        for (size_t b = 1; b < s.size(); ++b)
            if (maximise ? s[b] > s[bi] : s[b] < s[bi]) bi = static_cast<int>(b);
        for (int u = last; u >= first; --u) {
            chosen[u] = cand[u][bi].lag;
            pitch[u] = static_cast<float>(semitone(static_cast<double>(pp.fs) / chosen[u]));
            if (u > first) bi = back[u][bi];
        }
    }
    if (candidates) *candidates = std::move(cand);

    // Volume voicing.
    if (pp.volThresholding) {
        EpdParam ep = epdParamForRate(pp.fs);
        std::vector<EpdSegment> seg;
        if (ep.frameSize > ep.overlap) seg = epdByVol(x, len, pp.fs, ep);
        if (seg.empty())
            progressf("Warning: Cannot find any segment after epdByVol! (line %d of file %s)\n", __LINE__, kModule);
        std::vector<char> voiced(frames, 0);
        const int hop = pp.frameSize - pp.overlap;
        auto toPitchFrame = [&](int detectorFrame) {
            int sample = frameCenterSample(detectorFrame, ep.frameSize, ep.overlap);
            int f = roundToInt(((sample + 1) - pp.frameSize * 0.5) / hop);
            return std::clamp(f, 0, frames - 1);
        };
        for (const EpdSegment& s : seg)
            for (int f = toPitchFrame(s.beginFrame), e = toPitchFrame(s.endFrame); f <= e; ++f) voiced[f] = 1;
        for (int f = 0; f < frames; ++f)
            if (!voiced[f]) pitch[f] = 0.0f;
    }

    // Clarity voicing.
    if (pp.clarityThresholding) {
        std::vector<float> clarity(frames, 0.0f);
        float top = 0.0f;
        for (int t = 0; t < frames; ++t) {
            const float* row = rowOf(t);
            float c = (chosen[t] < 0 || row[0] == 0.0f) ? 0.0f : row[chosen[t]] / row[0];
            if (c < 0.0f || c > 1.0f) c = 0.0f;
            clarity[t] = c;
            top = std::max(top, c);
        }
        for (int t = 0; t < frames; ++t)
            if (clarity[t] < pp.clarityRatio * top) pitch[t] = 0.0f;
    }

    // Median filter.
    const int m = pp.medianFilterOrder;
    if (m >= 3 && frames - m / 2 - 1 >= m / 2) {
        std::vector<float> raw(pitch), window(m);
        for (int i = m / 2; i <= frames - m / 2 - 1; ++i) {
            std::copy(raw.begin() + (i - m / 2), raw.begin() + (i - m / 2 + m), window.begin());
            pitch[i] = static_cast<float>(median(window));
        }
    }

    if (!pp.cutLeadingTrailingZero) return frames;
    int b = 0, e = frames - 1;
    while (b <= e && pitch[b] == 0.0f) ++b;
    while (e >= b && pitch[e] == 0.0f) --e;
    pitch.erase(pitch.begin() + e + 1, pitch.end());
    pitch.erase(pitch.begin(), pitch.begin() + b);
    return static_cast<int>(pitch.size());
}

int pitchTrackTwoPass(const int32_t* x, int len, const ptParam& pp, std::vector<float>& pitch) {
    std::vector<float> pf = pitchFunction(x, len, pp);
    int n = pitchTrack(x, len, pp, pitch, nullptr, &pf);
    std::vector<float> voiced;
    for (int i = 0; i < n; ++i)
        if (pitch[i] != 0.0f) voiced.push_back(pitch[i]);
    if (voiced.empty()) return n;
    double centre = median(voiced);
    ptParam second = pp;
    second.minPitch = static_cast<float>(centre - pp.pitchRangeMax / 2.0);
    second.maxPitch = static_cast<float>(centre + pp.pitchRangeMax / 2.0);
    return pitchTrack(x, len, second, pitch, nullptr, &pf);
}

std::vector<float> wavePitch(SampleArray& wave, const std::string& paramFile) {
    recogParam p;
    conditionWave(wave, p);
    ptParam pp = ptParamSet(wave.rate, wave.bits, 1, paramFile);
    std::vector<float> pitch;
    int n = pitchTrackTwoPass(wave.samples.data(), wave.count(), pp, pitch);
    pitch.resize(n);
    return pitch;
}

}  // namespace kedo
