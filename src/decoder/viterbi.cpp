// The Viterbi search: initialisation, per-frame expansion, recombination,
// sorting, candidate number and beam, final history entries.
#include "decoder/viterbi.h"
#include "util/progress.h"

#include <algorithm>
#include <cstring>

namespace kedo {

namespace {
constexpr const char* kModule = "viterbi";

// Frames at which a descending candidate number shrinks, and the factors.
constexpr int kDescFrames[] = {60, 75, 100, 120};
constexpr double kDescFactors[] = {0.8, 0.8, 0.7, 0.6};

// The line numbers that the search's fatal messages have always carried;
// hosts and logs match on them. The other guards give their own lines.
constexpr int kStartNodesLine = 268, kEndNodesLine = 283;
constexpr int kArenaLine = 431, kFirstFrameLine = 434;
constexpr int kSylEntriesLine = 385, kPhoneEntriesLine = 400;
constexpr int kStatesInSylLine = 52;

// Sort key giving descending scores, equal scores in slot order.
inline uint64_t sortKey(float score, int slot) {
    float s = score + 0.0f;  // -0 and +0 compare equal
    uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    uint32_t ascending = (bits & 0x80000000u) ? ~bits : (bits | 0x80000000u);
    return (static_cast<uint64_t>(~ascending) << 32) | static_cast<uint32_t>(slot);
}
}  // namespace

void searchGraph::beginBuild(int n) {
    nodeNum = n;
    startNode = endNode = -1;
    sylIndex.assign(n, -1);
    penalty.assign(n, 0.0f);
    firstSucc.assign(n, -1);
    modelBegin.assign(n + 1, 0);
    models.clear();
    nextBegin.assign(n + 1, 0);
    next.clear();
    recombBegin.assign(n + 1, 0);
    m_predCount.assign(n, 0);
}

void searchGraph::finishBuild(const searchModelSet& set) {
    const int modelNum = set.modelNum();
    int starts = 0, ends = 0;
    for (int i = 0; i < nodeNum; ++i) {
        if (m_predCount[i] == 0) {
            if (starts++ == 0) startNode = i;
        }
        if (firstSucc[i] < 0) {
            if (ends++ == 0) endNode = i;
        }
    }
    if (starts != 1) reportError(strFormat("Error: more than one starting nodes! (line %d of file %s)", kStartNodesLine, kModule));
    if (ends != 1) reportError(strFormat("Error: more than one ending nodes! (line %d of file %s)", kEndNodesLine, kModule));
    for (int i = 0; i < nodeNum; ++i) {
        int phones = phoneCount(i);
        if (sylIndex[i] >= 0 && phones == 0)
            reportError(strFormat("Error: the syllable of node %d has no model (line %d of file %s)", i, __LINE__, kModule));
        for (int p = 0; p < phones; ++p) {
            int m = modelOf(i, p);
            if (m < 0 || m >= modelNum)
                reportError(strFormat("Error: model index %d of node %d outside the model set of %d models (line %d of file %s)",
                                      m, i, modelNum, __LINE__, kModule));
            int ns = set.numStates(m);
            if (ns < 3 || ns > MAX_STATE_NUM)
                reportError(strFormat("Error: model %d has %d states; the search handles 3 to %d (line %d of file %s)", m,
                                      ns, MAX_STATE_NUM, __LINE__, kModule));
        }
        for (int k = nextBegin[i]; k < nextBegin[i + 1]; ++k) {
            int w = next[k];
            if (sylIndex[w] < 0 && w != endNode)
                reportError(strFormat("Error: next word node %d of node %d is a null node (line %d of file %s)", w, i,
                                      __LINE__, kModule));
        }
        // One slot per emitting state of the syllable, at most the limit; a
        // key beyond the limit is refused before the table is used.
        recombBegin[i + 1] = recombBegin[i] + std::min(3 * phones, MAX_STATE_NUM_IN_SYL);
    }
    m_predCount.clear();
    m_predCount.shrink_to_fit();
}

searchSize sizeSearch(int fanOut, int comparisonMode, int maxCandidateNum, int minCandidateNum) {
    const bool keywords = comparisonMode == 3;
    int64_t candidates = static_cast<int64_t>(keywords ? 20 : 4) * fanOut;
    // At least 100: a net of fan-out 5 to 24 must not get fewer candidates
    // than a smaller net does.
    if (candidates < 100) candidates = 100;
    if (candidates < minCandidateNum) candidates = minCandidateNum;
    if (candidates > maxCandidateNum) candidates = maxCandidateNum;
    int64_t arena = candidates * (keywords ? 100 : 5);
    if (arena > MAX_ARENA_LEN)
        reportError(strFormat("Error: m_arenaLen=%lld exceeds the limit of %d slots (candidateNum=%lld) (line %d of file %s)",
                              static_cast<long long>(arena), MAX_ARENA_LEN, static_cast<long long>(candidates), __LINE__,
                              kModule));
    searchSize size;
    size.candidateNum = static_cast<int32_t>(candidates);
    size.arenaLen = static_cast<int32_t>(std::max<int64_t>(arena, 0));
    return size;
}

viterbiClass::viterbiClass(int arenaLen, int modelNum)
    : m_arenaLen(std::max(arenaLen, 0)), m_modelNum(std::max(modelNum, 0)) {
    m_arena.resize(m_arenaLen);
    m_order.resize(m_arenaLen);
    // Empty until a frame is computed: modelProb may run before any search.
    m_cache.assign(static_cast<size_t>(m_modelNum) * 3, CacheEntry{-1, 0.0f});
}

void viterbiClass::appendSyl(Cand& c, int node, int frame) {
    if (c.sylCount >= MAX_SYL_NUM) reportError(strFormat("MAX_SYL_NUM exceeded! (line %d of file %s)", kSylEntriesLine, kModule));
    m_sylTrace.push_back(SylEntry{node, frame, c.score, c.sylHead});
    c.sylHead = static_cast<int32_t>(m_sylTrace.size() - 1);
    ++c.sylCount;
}

void viterbiClass::appendPhone(Cand& c, int phone, int frame) {
    if (c.phoneCount >= MAX_PHONE_NUM)
        reportError(strFormat("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, kPhoneEntriesLine, kModule));
    m_phoneTrace.push_back(PhoneEntry{phone, frame, c.score, c.phoneHead});
    c.phoneHead = static_cast<int32_t>(m_phoneTrace.size() - 1);
    ++c.phoneCount;
}

// Sorts slots 0..lastPos-1 by score, best first, equal scores in slot order;
// only the first `keep` positions need to be in order.
void viterbiClass::sortSlots(int lastPos, int keep) {
    for (int k = 0; k < lastPos; ++k) m_sortKeys[k] = sortKey(m_arena[m_order[k]].score, k);
    auto first = m_sortKeys.begin(), last = first + lastPos;
    if (keep < lastPos) {
        std::nth_element(first, first + keep, last);
        std::sort(first, first + keep);
    } else {
        std::sort(first, last);
    }
    for (int k = 0; k < lastPos; ++k) m_orderScratch[k] = m_order[static_cast<uint32_t>(m_sortKeys[k])];
    std::copy(m_orderScratch.begin(), m_orderScratch.begin() + lastPos, m_order.begin());
}

namespace {

// Keeps the entries of one trace that the candidates' heads (member `head` of
// the first `keep` candidates in `order`) reach, renumbers them oldest first,
// and moves the heads along. remap is scratch space.
template <class Entry, class Cand>
void compactOneTrace(std::vector<Entry>& trace, std::vector<Cand>& arena, const std::vector<int32_t>& order, int keep,
                     int32_t Cand::*head, std::vector<int32_t>& remap) {
    remap.assign(trace.size(), -1);
    for (int k = 0; k < keep; ++k)
        for (int32_t e = arena[order[k]].*head; e >= 0 && remap[e] < 0; e = trace[e].prev) remap[e] = 0;
    int32_t n = 0;
    for (size_t e = 0; e < trace.size(); ++e) {
        if (remap[e] < 0) continue;
        Entry entry = trace[e];
        if (entry.prev >= 0) entry.prev = remap[entry.prev];
        remap[e] = n;
        trace[n++] = entry;
    }
    trace.resize(n);
    for (int k = 0; k < keep; ++k) {
        int32_t& h = arena[order[k]].*head;
        if (h >= 0) h = remap[h];
    }
}

}  // namespace

// Keeps the trace entries that the first `keep` sorted candidates reach and
// renumbers them, oldest first.
void viterbiClass::compactTrace(int keep) {
    keep = std::min(keep, m_arenaLen);
    compactOneTrace(m_sylTrace, m_arena, m_order, keep, &Cand::sylHead, m_remap);
    compactOneTrace(m_phoneTrace, m_arena, m_order, keep, &Cand::phoneHead, m_remap);
    // The slots beyond `keep` are dropped; their links are no longer valid.
    for (int k = keep; k < m_arenaLen; ++k) {
        Cand& c = m_arena[m_order[k]];
        c.sylHead = c.phoneHead = -1;
        c.sylCount = c.phoneCount = 0;
    }
    m_compactAt = std::max<size_t>(1 << 16, 2 * traceSize());
}

int viterbiClass::viterbiSearch(const searchGraph& graph, const float* features, int dim, int T, int candidateNum,
                                const searchModelSet& models, float probTh, int getUvScore, int useDescCandidateNum) {
    if (&graph != &m_graph) m_graph = graph;
    return search(features, dim, T, candidateNum, models, probTh, getUvScore, useDescCandidateNum);
}

int viterbiClass::search(const float* features, int dim, int T, int candidateNum, const searchModelSet& models,
                         float probTh, int getUvScore, int useDescCandidateNum) {
    (void)getUvScore;
    const searchGraph& g = m_graph;
    if (T < 1 || dim < 1 || features == nullptr)
        reportError(strFormat("Error: no feature frame to search (T=%d, dim=%d) (line %d of file %s)", T, dim, __LINE__,
                              kModule));
    if (models.modelNum() > m_modelNum)
        reportError(strFormat("Error: the model set holds %d models, the search was made for %d (line %d of file %s)",
                              models.modelNum(), m_modelNum, __LINE__, kModule));

    // Initialisation.
    for (CacheEntry& e : m_cache) e.frame = -1;
    m_steps.resize(m_modelNum);
    for (int m = 0; m < models.modelNum(); ++m) {
        ModelSteps& st = m_steps[m];
        st.numStates = models.numStates(m);
        for (int s = 0; s < 3; ++s) {
            bool inside = s + 2 < std::min(st.numStates, MAX_STATE_NUM);
            st.self[s] = inside ? models.logTrans(m, s + 1, s + 1) : SEARCH_LZERO;
            st.fwd[s] = inside ? models.logTrans(m, s + 1, s + 2) : SEARCH_LZERO;
        }
    }
    for (int k = 0; k < m_arenaLen; ++k) {
        m_arena[k] = Cand{0, 0, 0, SEARCH_LZERO, 0, 0, -1, -1};
        m_order[k] = k;
    }
    m_sylTrace.clear();
    m_phoneTrace.clear();
    m_compactAt = 1 << 16;
    m_recomb.assign(g.recombBegin[g.nodeNum], -1);
    m_touched.resize(m_arenaLen);
    m_live.resize(m_arenaLen);
    m_sortKeys.resize(m_arenaLen);
    m_orderScratch.resize(m_arenaLen);

    const int start = g.startNode, end = g.endNode;
    const int firstNum = g.sylIndex[start] >= 0 ? 1 : g.nextBegin[start + 1] - g.nextBegin[start];
    if (candidateNum > m_arenaLen)
        reportError(strFormat("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum,
                              kArenaLine, kModule));
    if (firstNum > candidateNum)
        reportError(strFormat("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)", firstNum,
                              candidateNum, kFirstFrameLine, kModule));
    for (int k = 0; k < firstNum; ++k) {
        int node = g.sylIndex[start] >= 0 ? start : g.next[g.nextBegin[start] + k];
        Cand& c = m_arena[m_order[k]];
        c.node = node;
        // An end node among the first nodes cannot be entered.
        c.score = node == end && g.sylIndex[node] < 0
                      ? SEARCH_LZERO
                      : stateLogLikelihood(features, models, g.modelOf(node, 0), 0, 0);
    }

    int Nc = candidateNum;
    for (int t = 1; t < T; ++t) {
        const float* x = features + static_cast<size_t>(t) * dim;
        const int live = scoreFrame(x, t, Nc, models);
        int lastPos = Nc;
        bool full = false;
        for (int li = 0; li < live && !full; ++li) {
            const int i = m_live[li];
            Cand& c = m_arena[m_order[i]];
            const int s = c.state, p = c.phone, n = c.node;
            const int m = g.modelOf(n, p);
            const ModelSteps& st = m_steps[m];
            if (s + 3 < st.numStates) {
                if (lastPos > m_arenaLen - 1) {
                    progressf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t,
                                i, lastPos, m_arenaLen - 1);
                    full = true;
                } else {
                    Cand& d = m_arena[m_order[lastPos++]];
                    d = c;
                    d.state = s + 1;
                    d.score = d.score + st.fwd[s];
                    d.score = d.score + stateLogLikelihood(x, models, m, s + 1, t);
                }
            } else if (p + 1 < g.phoneCount(n)) {
                if (lastPos > m_arenaLen - 1) {
                    progressf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n", t,
                                i, lastPos, m_arenaLen - 1);
                    full = true;
                } else {
                    Cand& d = m_arena[m_order[lastPos++]];
                    d = c;
                    d.state = 0;
                    d.phone = p + 1;
                    d.score = d.score + st.fwd[s];
                    d.score = d.score + stateLogLikelihood(x, models, g.modelOf(n, p + 1), 0, t);
                    appendPhone(d, p, t - 1);
                }
            } else {
                const int b0 = g.nextBegin[n], count = g.nextBegin[n + 1] - b0;
                for (int j = 0; j < count; ++j) {
                    if (lastPos > m_arenaLen - 1) {
                        progressf(
                            "Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                            "m_arenaLen-1 (%d)!\n",
                            t, T, i, Nc, j, count, lastPos, m_arenaLen - 1);
                        full = true;
                        break;
                    }
                    const int b = g.next[b0 + j];
                    Cand& d = m_arena[m_order[lastPos++]];
                    d = c;
                    d.state = 0;
                    d.phone = 0;
                    d.node = b;
                    if (b == end) {
                        d.score = SEARCH_LZERO;
                    } else {
                        d.score = d.score + st.fwd[s];
                        d.score = d.score + stateLogLikelihood(x, models, g.modelOf(b, 0), 0, t);
                        d.score = d.score + g.penalty[b];
                    }
                    appendSyl(d, n, t - 1);
                    appendPhone(d, p, t - 1);
                }
            }
            // The candidate itself stays in its state.
            c.score = c.score + st.self[s];
            c.score = c.score + stateLogLikelihood(x, models, m, s, t);
        }

        // Recombination per node and state: the higher score survives, the
        // lower slot on equal scores.
        int touched = 0;
        for (int k = 0; k < lastPos; ++k) {
            Cand& c = m_arena[m_order[k]];
            if (!(c.score > SEARCH_LZERO)) continue;
            const int key = c.phone * 3 + c.state;
            if (key >= MAX_STATE_NUM_IN_SYL)
                reportError(strFormat("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)",
                                      key, MAX_STATE_NUM_IN_SYL, kStatesInSylLine, kModule));
            int32_t& holder = m_recomb[g.recombBegin[c.node] + key];
            if (holder < 0) {
                holder = k;
                m_touched[touched++] = g.recombBegin[c.node] + key;
            } else {
                Cand& h = m_arena[m_order[holder]];
                if (c.score > h.score) {
                    h.score = SEARCH_LZERO;
                    holder = k;
                } else {
                    c.score = SEARCH_LZERO;
                }
            }
        }
        for (int k = 0; k < touched; ++k) m_recomb[m_touched[k]] = -1;

        // Candidate number for this frame, then sort and beam.
        if (useDescCandidateNum != 0) {
            for (int k = 0; k < 4; ++k)
                if (t == kDescFrames[k]) Nc = static_cast<int>(Nc * kDescFactors[k]);
        }
        sortSlots(lastPos, std::min(Nc, lastPos));
        if (Nc > 0) {
            const float best = m_arena[m_order[0]].score;
            for (int k = 0; k < Nc; ++k) {
                if (best - m_arena[m_order[k]].score > probTh) {
                    for (int r = k; r < Nc; ++r) m_arena[m_order[r]].score = SEARCH_LZERO;
                    break;
                }
            }
        }
        if (traceSize() > m_compactAt) compactTrace(std::max(Nc, 1));
    }

    if (Nc < 1) return Nc;
    for (int k = 0; k <= FINAL_ENTRY_LAST_SLOT && k < Nc; ++k) {
        Cand& c = m_arena[m_order[k]];
        if (c.node == end) continue;
        appendSyl(c, c.node, T - 1);
        appendPhone(c, c.phone, T - 1);
    }
    return Nc;
}

int viterbiClass::scoreFrame(const float* x, int t, int Nc, const searchModelSet& models) {
    const searchGraph& g = m_graph;
    int live = 0;
    m_queries.clear();
    m_queryTargets.clear();
    auto need = [&](int m, int s) {
        const size_t e = static_cast<size_t>(m) * 3 + s;
        if (m_cache[e].frame == t) return;
        m_cache[e].frame = t;
        m_queries.push_back(stateQuery{x, m, s});
        m_queryTargets.push_back(e);
    };
    // The states the expansion below asks for, in the order it asks.
    for (int i = 0; i < Nc; ++i) {
        const Cand& c = m_arena[m_order[i]];
        if (!(c.score > SEARCH_LZERO)) continue;
        m_live[live++] = i;
        const int s = c.state, p = c.phone, n = c.node;
        const int m = g.modelOf(n, p);
        if (s + 3 < m_steps[m].numStates) {
            need(m, s + 1);
        } else if (p + 1 < g.phoneCount(n)) {
            need(g.modelOf(n, p + 1), 0);
        } else {
            for (int k = g.nextBegin[n]; k < g.nextBegin[n + 1]; ++k)
                if (g.next[k] != g.endNode) need(g.modelOf(g.next[k], 0), 0);
        }
        need(m, s);
    }
    m_queryValues.resize(m_queries.size());
    models.stateLogLikelihoods(m_queries.data(), m_queries.size(), m_queryValues.data());
    for (size_t k = 0; k < m_queries.size(); ++k) m_cache[m_queryTargets[k]].value = m_queryValues[k];
    return live;
}

int viterbiClass::bestPathIndex(int candNum) const {
    const searchGraph& g = m_graph;
    const int n = std::min(candNum, m_arenaLen);
    auto endsPath = [&](const Cand& c) {
        return c.node >= 0 && c.node < g.nodeNum && g.sylIndex[c.node] >= 0 && g.firstSucc[c.node] == g.endNode;
    };
    for (int k = 0; k < n; ++k) {
        const Cand& c = m_arena[m_order[k]];
        if (endsPath(c) && c.phone == g.phoneCount(c.node) - 1 && c.state == 2) return k;
    }
    for (int k = 0; k < n; ++k) {
        const Cand& c = m_arena[m_order[k]];
        if (endsPath(c) && c.phone == g.phoneCount(c.node) - 1) return k;
    }
    for (int k = 0; k < n; ++k)
        if (endsPath(m_arena[m_order[k]])) return k;
    return -1;
}

float viterbiClass::candidateScore(int slot) const {
    if (slot < 0 || slot >= m_arenaLen) return SEARCH_LZERO;
    return m_arena[m_order[slot]].score;
}

ArenaCandidate viterbiClass::candidate(int slot) const {
    ArenaCandidate out;
    if (slot < 0 || slot >= m_arenaLen) return out;
    const Cand& c = m_arena[m_order[slot]];
    out.state = c.state;
    out.phone = c.phone;
    out.node = c.node;
    out.score = c.score;
    out.sylIndex.resize(c.sylCount);
    out.sylNode.resize(c.sylCount);
    out.sylEndFrame.resize(c.sylCount);
    out.sylScore.resize(c.sylCount);
    int k = c.sylCount;
    for (int32_t e = c.sylHead; e >= 0 && k > 0; e = m_sylTrace[e].prev) {
        --k;
        const SylEntry& s = m_sylTrace[e];
        out.sylNode[k] = s.node;
        out.sylIndex[k] = m_graph.sylIndex[s.node];
        out.sylEndFrame[k] = s.endFrame;
        out.sylScore[k] = s.score;
    }
    out.phoneIndex.resize(c.phoneCount);
    out.phoneEndFrame.resize(c.phoneCount);
    out.phoneScore.resize(c.phoneCount);
    k = c.phoneCount;
    for (int32_t e = c.phoneHead; e >= 0 && k > 0; e = m_phoneTrace[e].prev) {
        --k;
        const PhoneEntry& p = m_phoneTrace[e];
        out.phoneIndex[k] = p.phone;
        out.phoneEndFrame[k] = p.endFrame;
        out.phoneScore[k] = p.score;
    }
    return out;
}

float viterbiClass::modelProb(const float* features, int dim, int frameNum, int f1, int f2,
                              const searchModelSet& models, int modelIdx) {
    const int n = f2 - f1 + 1;
    if (n < 3) {
        progressf("Warning in viterbiClass::modelProb: modelIdx=%d, frameId1=%d, frameId2=%d, frameNum=%d<MAX_STATE_NUM=%d\n",
                    modelIdx, f1, f2, n, 3);
        return SEARCH_LZERO;
    }
    if (modelIdx < 0 || modelIdx >= models.modelNum() || modelIdx >= m_modelNum || f1 < 0 || f2 >= frameNum ||
        dim < 1)
        reportError(strFormat("Error: modelProb of model %d over frames %d to %d is out of range (line %d of file %s)",
                              modelIdx, f1, f2, __LINE__, kModule));
    // A model with fewer emitting states is aligned over the states it has.
    const int E = std::clamp(models.numStates(modelIdx) - 2, 1, 3);
    float prev[3], cur[3];
    for (int j = 0; j < 3; ++j) prev[j] = SEARCH_LZERO;
    prev[0] = stateLogLikelihood(features + static_cast<size_t>(f1) * dim, models, modelIdx, 0, f1);
    for (int t = 1; t < n; ++t) {
        const float* x = features + static_cast<size_t>(f1 + t) * dim;
        cur[0] = prev[0] + models.logTrans(modelIdx, 1, 1) + stateLogLikelihood(x, models, modelIdx, 0, f1 + t);
        for (int j = 1; j < E; ++j) {
            float stay = prev[j] + models.logTrans(modelIdx, j + 1, j + 1);
            float move = prev[j - 1] + models.logTrans(modelIdx, j, j + 1);
            cur[j] = (stay >= move ? stay : move) + stateLogLikelihood(x, models, modelIdx, j, f1 + t);
        }
        for (int j = 0; j < E; ++j) prev[j] = cur[j];
    }
    return prev[E - 1];
}

void viterbiClass::modelProbs(const float* features, int dim, int frameNum, int f1, int f2,
                              const searchModelSet& models, const int32_t* modelIdx, size_t count, float* out) {
    const int n = f2 - f1 + 1;
    if (n < 3 || f1 < 0 || f2 >= frameNum || dim < 1) {
        // Warnings and errors exactly as one model at a time.
        for (size_t k = 0; k < count; ++k) out[k] = modelProb(features, dim, frameNum, f1, f2, models, modelIdx[k]);
        return;
    }
    const size_t slots = static_cast<size_t>(m_modelNum) * 3 * static_cast<size_t>(n);
    if (slots > MAX_SPAN_LIKELIHOODS) {
        // A span too long to hold every state's likelihoods: one model at a time.
        for (size_t k = 0; k < count; ++k) out[k] = modelProb(features, dim, frameNum, f1, f2, models, modelIdx[k]);
        return;
    }
    if (m_spanStamps.size() < slots) {
        m_spanStamps.assign(slots, 0);
        m_spanValues.resize(slots);
        m_spanStamp = 0;
    }
    if (++m_spanStamp == 0) {
        std::fill(m_spanStamps.begin(), m_spanStamps.end(), 0);
        m_spanStamp = 1;
    }
    const uint32_t stamp = m_spanStamp;
    auto slotOf = [&](int model, int j, int t) {
        return static_cast<size_t>(models.stateId(model, j)) * static_cast<size_t>(n) + t;
    };
    auto valid = [&](int m) { return m >= 0 && m < models.modelNum() && m < m_modelNum; };
    // Cell (t, j) can still reach the last state at the last frame only when
    // j + (n - 1 - t) >= E - 1; the others never enter the result, so their
    // likelihoods are not asked. The states the recursion reads, each
    // distinct one once, a state's frames next to each other, scored in one
    // batch.
    m_queries.clear();
    m_queryTargets.clear();
    for (size_t k = 0; k < count; ++k) {
        const int m = modelIdx[k];
        if (!valid(m)) continue;
        const int E = std::clamp(models.numStates(m) - 2, 1, 3);
        for (int j = 0; j < E; ++j) {
            for (int t = j == 0 ? 0 : 1; t < n; ++t) {
                if (j + (n - 1 - t) < E - 1) break;
                const size_t slot = slotOf(m, j, t);
                if (m_spanStamps[slot] == stamp) continue;
                m_spanStamps[slot] = stamp;
                m_queries.push_back(stateQuery{features + static_cast<size_t>(f1 + t) * dim, m, j});
                m_queryTargets.push_back(slot);
            }
        }
    }
    m_queryValues.resize(m_queries.size());
    models.stateLogLikelihoods(m_queries.data(), m_queries.size(), m_queryValues.data());
    for (size_t q = 0; q < m_queries.size(); ++q) m_spanValues[m_queryTargets[q]] = m_queryValues[q];
    auto b = [&](int model, int j, int t) { return m_spanValues[slotOf(model, j, t)]; };
    for (size_t k = 0; k < count; ++k) {
        const int m = modelIdx[k];
        if (!valid(m)) {
            out[k] = modelProb(features, dim, frameNum, f1, f2, models, m);  // its error
            continue;
        }
        // The recursion of modelProb over the cells in reach.
        const int E = std::clamp(models.numStates(m) - 2, 1, 3);
        float prev[3], cur[3];
        for (int j = 0; j < 3; ++j) prev[j] = SEARCH_LZERO;
        prev[0] = b(m, 0, 0);
        for (int t = 1; t < n; ++t) {
            const int live = std::max(0, E - 1 - (n - 1 - t));  // the lowest state still in reach
            if (live == 0) cur[0] = prev[0] + models.logTrans(m, 1, 1) + b(m, 0, t);
            for (int j = std::max(1, live); j < E; ++j) {
                float stay = prev[j] + models.logTrans(m, j + 1, j + 1);
                float move = prev[j - 1] + models.logTrans(m, j, j + 1);
                cur[j] = (stay >= move ? stay : move) + b(m, j, t);
            }
            for (int j = live; j < E; ++j) prev[j] = cur[j];
        }
        out[k] = prev[E - 1];
    }
}

}  // namespace kedo
