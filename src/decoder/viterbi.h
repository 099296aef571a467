// The token-passing Viterbi search over the lexical net, the best path, the
// arena path dump and the forced alignment of one model.
//
// Every candidate owns a full syllable and phone history. The histories live
// in an append-only trace owned by the search: a candidate holds the index of
// its newest syllable entry and of its newest phone entry, and an entry links
// to the one before it, so that copying a candidate costs the same whatever
// the length of its history. The trace is compacted now and then to the
// entries that the kept candidates can still reach.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/search_graph.h"
#include "util/file_util.h"

namespace kedo {

// A candidate with its history written out: what the best path record of the
// text mapping and the phone segmentation reads. Entry k of each syllable
// array belongs to the k-th finished node, entry k of each phone array to the
// k-th finished phone. An entry's score is the candidate's cumulative score
// when the entry was written (it includes the step into the next unit).
struct ArenaCandidate {
    int32_t state = 0;  // emitting state of the current phone, 0-based
    int32_t phone = 0;  // position of the current phone in the node's syllable
    int32_t node = 0;   // current net node
    float score = SEARCH_LZERO;
    std::vector<int32_t> sylIndex;
    std::vector<int32_t> sylNode;
    std::vector<int32_t> sylEndFrame;
    std::vector<float> sylScore;
    std::vector<int32_t> phoneIndex;
    std::vector<int32_t> phoneEndFrame;
    std::vector<float> phoneScore;

    int32_t sylCount() const { return static_cast<int32_t>(sylIndex.size()); }
    int32_t phoneCount() const { return static_cast<int32_t>(phoneIndex.size()); }
};

// The candidate number and arena length of a search, from the net's fan-out
// (its largest nextWordNodes list): comparison modes other than 3 take 4 x
// fanOut candidates and an arena 5 times that; mode 3 takes 20 x fanOut and
// 100 times. A candidate number below 100 becomes 100, one below
// minCandidateNum becomes minCandidateNum, and then it is capped at
// maxCandidateNum. An arena beyond MAX_ARENA_LEN is refused.
struct searchSize {
    int32_t candidateNum = 0;
    int32_t arenaLen = 0;
};
searchSize sizeSearch(int fanOut, int comparisonMode, int maxCandidateNum, int minCandidateNum = 0);

class viterbiClass {
public:
    // Arena of arenaLen candidates and a likelihood cache for modelNum models.
    viterbiClass(int arenaLen, int modelNum);

    int32_t m_arenaLen = 0;
    int32_t m_modelNum = 0;

    // Aligns T feature rows of dim values with the net. Returns the number of
    // candidates left, sorted best first (see candidate()). getUvScore is
    // accepted and not used. Fatal conditions end the run through reportError.
    template <class Net, class Dict>
    int viterbiSearch(const Net& net, const Dict& pronDict, const float* features, int dim, int T, int candidateNum,
                      const searchModelSet& models, float probTh, int getUvScore, int useDescCandidateNum) {
        m_graph.build(net, pronDict, models);
        return search(features, dim, T, candidateNum, models, probTh, getUvScore, useDescCandidateNum);
    }
    // The same on a graph built beforehand.
    int viterbiSearch(const searchGraph& graph, const float* features, int dim, int T, int candidateNum,
                      const searchModelSet& models, float probTh, int getUvScore, int useDescCandidateNum);

    // Over the first candNum sorted candidates of the last search: the first
    // that can end the path (its node's first successor is the end node) in
    // the last phone's state 2, else in the last phone, else anywhere in that
    // node; -1 if none.
    int bestPathIndex(int candNum) const;

    // The candidate in sorted position slot, with its history. A slot outside
    // the arena gives an empty dead candidate.
    ArenaCandidate candidate(int slot) const;
    // The score of the candidate in sorted position slot (LZERO outside).
    float candidateScore(int slot) const;

    // Lists up to 100 sorted candidates: the words of their syllable history
    // joined by "-", a TAB and "%7.3f" of the score; stops at the first
    // candidate whose history has exactly one entry. Dictionary entries carry
    // `word`.
    template <class Dict>
    void writeArenaSylPath(const std::string& path, int candNum, const Dict& pronDict) const {
        FilePtr f = openFile(path, "w");
        std::string line;
        for (int k = 0; k < candNum && k < ARENA_PATH_LIST_NUM && k < m_arenaLen; ++k) {
            if (!arenaPathLine(k, line, [&](int syl) -> const std::string& { return wordOf(pronDict, syl); })) break;
            std::fputs(line.c_str(), f.get());
        }
    }

    // Forced alignment of a model over frames f1..f2 (inclusive) of the
    // frameNum feature rows: the best score of ending in its last emitting
    // state; LZERO with a warning when fewer than 3 frames are given. Frames
    // outside 0..frameNum-1 end the run.
    float modelProb(const float* features, int dim, int frameNum, int f1, int f2, const searchModelSet& models,
                    int modelIdx);

    // modelProb of each of count models over the same frames, into out:
    // the same values, with the likelihoods of tied states computed once and
    // the cells that cannot reach the last state at the last frame skipped.
    void modelProbs(const float* features, int dim, int frameNum, int f1, int f2, const searchModelSet& models,
                    const int32_t* modelIdx, size_t count, float* out);

    // Log-likelihood of row x (frame `frame` of the utterance), served from
    // the one-entry cache of (model, state) when it holds that frame.
    float stateLogLikelihood(const float* x, const searchModelSet& models, int model, int state, int frame) {
        CacheEntry& e = m_cache[static_cast<size_t>(model) * 3 + state];
        if (e.frame == frame) return e.value;
        e.value = models.stateLogLikelihood(x, model, state);
        e.frame = frame;
        return e.value;
    }

    // The graph of the last search.
    const searchGraph& graph() const { return m_graph; }
    // Entries currently held by the history trace (for tests and benchmarks).
    size_t traceSize() const { return m_sylTrace.size() + m_phoneTrace.size(); }

private:
    struct Cand {
        int32_t state;
        int32_t phone;
        int32_t node;
        float score;
        int32_t sylCount;
        int32_t phoneCount;
        int32_t sylHead;    // newest syllable entry in the trace, -1 for none
        int32_t phoneHead;  // newest phone entry, -1 for none
    };
    struct SylEntry {
        int32_t node;
        int32_t endFrame;
        float score;
        int32_t prev;
    };
    struct PhoneEntry {
        int32_t phone;
        int32_t endFrame;
        float score;
        int32_t prev;
    };
    struct CacheEntry {
        int32_t frame;
        float value;
    };
    struct ModelSteps {
        int32_t numStates;
        float self[3];  // A[s+1][s+1]
        float fwd[3];   // A[s+1][s+2]
    };

    int search(const float* features, int dim, int T, int candidateNum, const searchModelSet& models, float probTh,
               int getUvScore, int useDescCandidateNum);
    // Fills the cache with the likelihoods of row x (frame t) that the live
    // candidates of slots 0..Nc-1 will ask for, in one batch; lists those
    // slots in m_live, in order, and returns their number.
    int scoreFrame(const float* x, int t, int Nc, const searchModelSet& models);

    void appendSyl(Cand& c, int node, int frame);
    void appendPhone(Cand& c, int phone, int frame);
    void sortSlots(int lastPos, int keep);
    void compactTrace(int keep);
    template <class Dict>
    static const std::string& wordOf(const Dict& pronDict, int syl) {
        static const std::string nullWord = "!NULL";
        if (syl < 0 || syl >= static_cast<int>(pronDict.size())) return nullWord;
        return pronDict[syl].word;
    }
    template <class WordFn>
    bool arenaPathLine(int slot, std::string& line, WordFn word) const;

    searchGraph m_graph;
    std::vector<Cand> m_arena;
    std::vector<int32_t> m_order;   // sorted position -> arena record
    std::vector<CacheEntry> m_cache;
    // modelProbs' state likelihoods: per state id and frame of the span, the
    // value and the call that computed it.
    std::vector<float> m_spanValues;
    std::vector<uint32_t> m_spanStamps;
    uint32_t m_spanStamp = 0;
    // A batch of likelihoods to compute: the queries, the cache entry or
    // span slot each value goes to, and the values.
    std::vector<stateQuery> m_queries;
    std::vector<size_t> m_queryTargets;
    std::vector<float> m_queryValues;
    std::vector<ModelSteps> m_steps;
    std::vector<SylEntry> m_sylTrace;
    std::vector<PhoneEntry> m_phoneTrace;
    size_t m_compactAt = 0;         // trace size that triggers compaction
    // Per-frame scratch, sized once per search.
    std::vector<int32_t> m_recomb;  // recombination slot per (node, state key)
    std::vector<int32_t> m_touched;
    std::vector<int32_t> m_live;    // the frame's live slots below Nc
    std::vector<uint64_t> m_sortKeys;
    std::vector<int32_t> m_orderScratch;
    std::vector<int32_t> m_remap;
};

template <class WordFn>
bool viterbiClass::arenaPathLine(int slot, std::string& line, WordFn word) const {
    const Cand& c = m_arena[m_order[slot]];
    if (c.sylCount == 1) return false;
    std::vector<int32_t> nodes;
    for (int32_t e = c.sylHead; e >= 0; e = m_sylTrace[e].prev) nodes.push_back(m_sylTrace[e].node);
    line.clear();
    for (size_t k = nodes.size(); k-- > 0;) {
        line += word(m_graph.sylIndex[nodes[k]]);
        if (k > 0) line += '-';
    }
    line += strFormat("\t%7.3f\n", c.score);
    return true;
}

}  // namespace kedo
