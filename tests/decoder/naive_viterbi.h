// The search written the plain way, as a reference for the real one: every
// candidate is a fixed record carrying its whole history, copied whole on
// every expansion; recombination goes through per-node slot tables reset
// every frame; sorting is a stable sort of the pointer array. Header-only so
// that the benchmarks can time it too. Not for production use.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decoder/search_graph.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo::test {

struct NaiveCandidate {
    int32_t state;
    int32_t phone;
    int32_t node;
    int32_t sylCount;
    int32_t sylIndex[MAX_SYL_NUM];
    int32_t sylNode[MAX_SYL_NUM];
    int32_t sylEndFrame[MAX_SYL_NUM];
    float sylScore[MAX_SYL_NUM];
    float score;
    int32_t phoneCount;
    int32_t phoneIndex[MAX_PHONE_NUM];
    int32_t phoneEndFrame[MAX_PHONE_NUM];
    float phoneScore[MAX_PHONE_NUM];
};

template <class Net, class Dict>
class NaiveViterbi {
public:
    NaiveViterbi(int arenaLen, const Net& net, const Dict& dict)
        : m_arenaLen(arenaLen), m_net(net), m_dict(dict), m_arena(new NaiveCandidate[arenaLen > 0 ? arenaLen : 1]),
          m_ptr(arenaLen > 0 ? arenaLen : 1) {
        for (int k = 0; k < (arenaLen > 0 ? arenaLen : 1); ++k) m_ptr[k] = &m_arena[k];
    }

    int m_arenaLen;
    const Net& m_net;
    const Dict& m_dict;
    std::unique_ptr<NaiveCandidate[]> m_arena;
    std::vector<NaiveCandidate*> m_ptr;
    int m_start = -1, m_end = -1;

    float b(const searchModelSet& ms, const float* fea, int dim, int m, int s, int t) const {
        return ms.stateLogLikelihood(fea + static_cast<size_t>(t) * dim, m, s);
    }
    int firstModel(int node) const { return m_dict[m_net.nodes[node].sylIndex].models[0]; }
    int phoneNum(int node) const { return static_cast<int>(m_dict[m_net.nodes[node].sylIndex].models.size()); }
    int modelOf(int node, int p) const { return m_dict[m_net.nodes[node].sylIndex].models[p]; }

    void addSyl(NaiveCandidate& c, int syl, int node, int frame, float score) {
        if (c.sylCount + 1 > MAX_SYL_NUM) reportError(strFormat("MAX_SYL_NUM exceeded! (line %d of file %s)", 1, "viterbi"));
        c.sylIndex[c.sylCount] = syl;
        c.sylNode[c.sylCount] = node;
        c.sylEndFrame[c.sylCount] = frame;
        c.sylScore[c.sylCount] = score;
        ++c.sylCount;
    }
    void addPhone(NaiveCandidate& c, int p, int frame, float score) {
        if (c.phoneCount + 1 > MAX_PHONE_NUM)
            reportError(strFormat("MAX_PHONE_NUM (%d) exceeded! (line %d of file %s)", MAX_PHONE_NUM, 1, "viterbi"));
        c.phoneIndex[c.phoneCount] = p;
        c.phoneEndFrame[c.phoneCount] = frame;
        c.phoneScore[c.phoneCount] = score;
        ++c.phoneCount;
    }

    int viterbiSearch(const float* fea, int dim, int T, int candidateNum, const searchModelSet& ms, float probTh,
                      int useDesc) {
        const int nodeNum = static_cast<int>(m_net.nodes.size());
        std::vector<int> preds(nodeNum, 0);
        for (const auto& n : m_net.nodes)
            for (int s : n.succ) preds[s]++;
        int starts = 0, ends = 0;
        for (int i = 0; i < nodeNum; ++i) {
            if (preds[i] == 0 && starts++ == 0) m_start = i;
            if (m_net.nodes[i].succ.empty() && ends++ == 0) m_end = i;
        }
        if (starts != 1) reportError(strFormat("Error: more than one starting nodes! (line %d of file %s)", 1, "viterbi"));
        if (ends != 1) reportError(strFormat("Error: more than one ending nodes! (line %d of file %s)", 1, "viterbi"));
        for (int k = 0; k < m_arenaLen; ++k) {
            NaiveCandidate& c = *m_ptr[k];
            c.state = c.phone = c.node = c.sylCount = c.phoneCount = 0;
            c.score = SEARCH_LZERO;
        }
        std::vector<int> first;
        if (m_net.nodes[m_start].sylIndex >= 0)
            first.push_back(m_start);
        else
            first = std::vector<int>(m_net.nodes[m_start].nextWordNodes.begin(), m_net.nodes[m_start].nextWordNodes.end());
        if (candidateNum > m_arenaLen)
            reportError(strFormat("Error: m_arenaLen=%d, candidateNum=%d (line %d of file %s)", m_arenaLen, candidateNum, 1,
                                  "viterbi"));
        if (static_cast<int>(first.size()) > candidateNum)
            reportError(strFormat("Error: nodeNumForFirstFrame=%d, candidateNum=%d (line %d of file %s)",
                                  static_cast<int>(first.size()), candidateNum, 1, "viterbi"));
        for (size_t k = 0; k < first.size(); ++k) {
            m_ptr[k]->node = first[k];
            m_ptr[k]->score = (first[k] == m_end && m_net.nodes[first[k]].sylIndex < 0)
                                  ? SEARCH_LZERO
                                  : b(ms, fea, dim, firstModel(first[k]), 0, 0);
        }

        std::vector<int> slots(static_cast<size_t>(nodeNum) * MAX_STATE_NUM_IN_SYL, -1);
        int Nc = candidateNum;
        for (int t = 1; t < T; ++t) {
            int lastPos = Nc;
            for (int i = 0; i < Nc; ++i) {
                NaiveCandidate& c = *m_ptr[i];
                if (!(c.score > SEARCH_LZERO)) continue;
                const int m = modelOf(c.node, c.phone);
                const int N = ms.numStates(m);
                const int s = c.state, p = c.phone, n = c.node;
                bool full = false;
                if (s + 3 < N) {
                    if (lastPos > m_arenaLen - 1) {
                        std::printf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n",
                                    t, i, lastPos, m_arenaLen - 1);
                        full = true;
                    } else {
                        NaiveCandidate& d = *m_ptr[lastPos];
                        d = c;
                        d.state = s + 1;
                        d.score = d.score + ms.logTrans(m, s + 1, s + 2);
                        d.score = d.score + b(ms, fea, dim, m, s + 1, t);
                        ++lastPos;
                    }
                } else if (p + 1 < phoneNum(n)) {
                    if (lastPos > m_arenaLen - 1) {
                        std::printf("Warning: Arena is full! frameId=%d, candidateId=%d, lastPos (%d) > m_arenaLen-1 (%d)!\n",
                                    t, i, lastPos, m_arenaLen - 1);
                        full = true;
                    } else {
                        NaiveCandidate& d = *m_ptr[lastPos];
                        d = c;
                        d.state = 0;
                        d.phone = p + 1;
                        d.score = d.score + ms.logTrans(m, s + 1, s + 2);
                        d.score = d.score + b(ms, fea, dim, modelOf(n, p + 1), 0, t);
                        addPhone(d, p, t - 1, d.score);
                        ++lastPos;
                    }
                } else {
                    const auto& nw = m_net.nodes[n].nextWordNodes;
                    const int count = static_cast<int>(nw.size());
                    for (int j = 0; j < count; ++j) {
                        if (lastPos > m_arenaLen - 1) {
                            std::printf(
                                "Warning: Arena is full! frameId=%d/%d, candidateId=%d/%d, branchId=%d/%d, lastPos (%d) > "
                                "m_arenaLen-1 (%d)!\n",
                                t, T, i, Nc, j, count, lastPos, m_arenaLen - 1);
                            full = true;
                            break;
                        }
                        const int bn = nw[j];
                        NaiveCandidate& d = *m_ptr[lastPos];
                        d = c;
                        d.state = 0;
                        d.phone = 0;
                        d.node = bn;
                        if (bn == m_end) {
                            d.score = SEARCH_LZERO;
                        } else {
                            d.score = d.score + ms.logTrans(m, s + 1, s + 2);
                            d.score = d.score + b(ms, fea, dim, firstModel(bn), 0, t);
                            d.score = d.score + m_net.nodes[bn].penalty;
                        }
                        addSyl(d, m_net.nodes[n].sylIndex, n, t - 1, d.score);
                        addPhone(d, p, t - 1, d.score);
                        ++lastPos;
                    }
                }
                c.score = c.score + ms.logTrans(m, s + 1, s + 1);
                c.score = c.score + b(ms, fea, dim, m, s, t);
                if (full) break;
            }

            // Recombination through per-node slot tables of MAX_STATE_NUM_IN_SYL
            // entries, reset after use.
            for (int k = 0; k < lastPos; ++k) {
                NaiveCandidate& c = *m_ptr[k];
                if (!(c.score > SEARCH_LZERO)) continue;
                int key = c.phone * 3 + c.state;
                if (key > MAX_STATE_NUM_IN_SYL - 1)
                    reportError(strFormat("MAX_STATE_NUM_IN_SYL exceeded: index=%d, MAX_STATE_NUM_IN_SYL=%d (line %d of file %s)",
                                          key, MAX_STATE_NUM_IN_SYL, 1, "viterbi"));
                int& h = slots[static_cast<size_t>(c.node) * MAX_STATE_NUM_IN_SYL + key];
                if (h < 0) {
                    h = k;
                } else if (c.score > m_ptr[h]->score) {
                    m_ptr[h]->score = SEARCH_LZERO;
                    h = k;
                } else {
                    c.score = SEARCH_LZERO;
                }
            }
            for (int k = 0; k < lastPos; ++k) {
                const NaiveCandidate& c = *m_ptr[k];
                int key = c.phone * 3 + c.state;
                if (key < MAX_STATE_NUM_IN_SYL) slots[static_cast<size_t>(c.node) * MAX_STATE_NUM_IN_SYL + key] = -1;
            }
            std::stable_sort(m_ptr.begin(), m_ptr.begin() + lastPos,
                             [](const NaiveCandidate* a, const NaiveCandidate* b) { return a->score > b->score; });
            if (useDesc) {
                if (t == 60 || t == 75) Nc = static_cast<int>(Nc * 0.8);
                if (t == 100) Nc = static_cast<int>(Nc * 0.7);
                if (t == 120) Nc = static_cast<int>(Nc * 0.6);
            }
            for (int k = 0; k < Nc; ++k) {
                if (m_ptr[0]->score - m_ptr[k]->score > probTh) {
                    for (; k < Nc; ++k) m_ptr[k]->score = SEARCH_LZERO;
                    break;
                }
            }
        }
        if (Nc < 1) return Nc;
        for (int k = 0; k <= 100 && k < Nc; ++k) {
            NaiveCandidate& c = *m_ptr[k];
            if (c.node == m_end) continue;
            addSyl(c, m_net.nodes[c.node].sylIndex, c.node, T - 1, c.score);
            addPhone(c, c.phone, T - 1, c.score);
        }
        return Nc;
    }

    int bestPathIndex(int Nc) const {
        auto ends = [&](const NaiveCandidate& c) {
            const auto& nd = m_net.nodes[c.node];
            return nd.sylIndex >= 0 && !nd.succ.empty() && nd.succ[0] == m_end;
        };
        for (int k = 0; k < Nc; ++k)
            if (ends(*m_ptr[k]) && m_ptr[k]->phone == phoneNum(m_ptr[k]->node) - 1 && m_ptr[k]->state == 2) return k;
        for (int k = 0; k < Nc; ++k)
            if (ends(*m_ptr[k]) && m_ptr[k]->phone == phoneNum(m_ptr[k]->node) - 1) return k;
        for (int k = 0; k < Nc; ++k)
            if (ends(*m_ptr[k])) return k;
        return -1;
    }

    void writeArenaSylPath(const std::string& path, int Nc) const {
        FilePtr f = openFile(path, "w");
        for (int k = 0; k < 100 && k < Nc; ++k) {
            const NaiveCandidate& c = *m_ptr[k];
            if (c.sylCount == 1) break;
            std::string line;
            for (int s = 0; s < c.sylCount; ++s) {
                if (s > 0) line += "-";
                line += c.sylIndex[s] >= 0 ? m_dict[c.sylIndex[s]].word : std::string("!NULL");
            }
            std::fprintf(f.get(), "%s\t%7.3f\n", line.c_str(), c.score);
        }
    }
};

}  // namespace kedo::test
