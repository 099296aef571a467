// The search on the synthetic model set: features drawn from a known
// sentence of a candidate list are recognised as that sentence, with its
// phone and word boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "decoder/best_path_text.h"
#include "decoder/model_set_adapter.h"
#include "decoder/viterbi.h"
#include "support/known_alignment.h"
#include "support/search_fixtures.h"
#include "support/synthetic_models.h"

namespace kedo::test {
namespace {

struct Lexicon {
    macroClass models;
    pronDict dict;
    int sil = -1;
};

Lexicon makeLexicon(std::mt19937& rng, int words) {
    Lexicon lx;
    lx.models = makeSyntheticModels(SyntheticModelSpec{});
    lx.models.sortModels();
    lx.models.convertModels();
    StrVec phones = syntheticPhoneNames();
    phones.erase(std::remove_if(phones.begin(), phones.end(), [](const std::string& p) { return p == "sil" || p == "sp"; }),
                 phones.end());
    std::set<std::string> used;
    while (static_cast<int>(lx.dict.size()) < words) {
        int n = std::uniform_int_distribution<int>(2, 3)(rng);
        std::string word;
        IntVec models;
        for (int k = 0; k < n; ++k) {
            const std::string& ph = phones[std::uniform_int_distribution<size_t>(0, phones.size() - 1)(rng)];
            word += (k ? "_" : "") + ph;
            models.push_back(lx.models.findModel(ph));
        }
        if (used.insert(word).second) lx.dict.push_back({word, models});
    }
    lx.dict.push_back({"sil", {lx.models.findModel("sil")}});
    std::sort(lx.dict.begin(), lx.dict.end(), [](const auto& a, const auto& b) { return a.word < b.word; });
    lx.sil = pronDictFind(lx.dict, "sil");
    return lx;
}

// A prefix tree over the sentences between a leading and a trailing silence.
SearchTestNet treeNet(const std::vector<IntVec>& sentences, int sil) {
    SearchTestNet net;
    net.add(-1);
    net.add(-1);
    int head = net.add(sil), tail = net.add(sil);
    net.link(0, head);
    net.link(tail, 1);
    for (const IntVec& s : sentences) {
        int at = head;
        for (int syl : s) {
            int child = -1;
            for (int c : net.nodes[at].succ)
                if (net.nodes[c].sylIndex == syl) child = c;
            if (child < 0) {
                child = net.add(syl);
                net.link(at, child);
            }
            at = child;
        }
        auto& succ = net.nodes[at].succ;
        if (std::find(succ.begin(), succ.end(), tail) == succ.end()) net.link(at, tail);
    }
    net.deriveNextWordNodes();
    return net;
}

int fanOut(const SearchTestNet& net) {
    size_t m = 0;
    for (const auto& n : net.nodes) m = std::max(m, n.nextWordNodes.size());
    return static_cast<int>(m);
}

TEST(Recognition, ReturnsTheSpokenSentenceWithItsBoundaries) {
    std::mt19937 rng(123);
    Lexicon lx = makeLexicon(rng, 30);
    std::vector<IntVec> sentences;
    textClass text;
    std::set<IntVec> seen;
    while (sentences.size() < 40) {
        IntVec s;
        int n = std::uniform_int_distribution<int>(3, 6)(rng);
        for (int k = 0; k < n; ++k) {
            int w;
            do w = std::uniform_int_distribution<int>(0, static_cast<int>(lx.dict.size()) - 1)(rng);
            while (w == lx.sil);
            s.push_back(w);
        }
        if (!seen.insert(s).second) continue;
        std::string path;
        for (int w : s) path += (path.empty() ? "" : "-") + lx.dict[w].word;
        text.m_sylVs.push_back(path + "\t" + std::to_string(sentences.size()));
        sentences.push_back(s);
    }
    SearchTestNet net = treeNet(sentences, lx.sil);
    macroModelSet models(lx.models);
    const int candidateNum = std::max(4 * fanOut(net), 100);
    viterbiClass vit(5 * candidateNum, lx.models.m_modelNum);
    recogParam p;
    p.language = "english";
    p.function = "recog";
    p.comparisonMode = 1;

    for (int spoken : {0, 17, 39}) {
        std::vector<std::vector<int>> words;
        words.push_back(lx.dict[lx.sil].models);
        for (int w : sentences[spoken]) words.push_back(lx.dict[w].models);
        words.push_back(lx.dict[lx.sil].models);
        KnownAlignment a = knownAlignment(lx.models, words, {3, 5, 2, 4, 6, 3, 2}, rng, 1.0f);
        int nc = vit.viterbiSearch(net, lx.dict, a.features.data(), a.dim, a.frames(), candidateNum, models, 300.0f, 0, 1);
        int best = vit.bestPathIndex(nc);
        ASSERT_GE(best, 0);
        ArenaCandidate path = vit.candidate(best);
        IntVec texts, paths;
        std::string sylPath;
        pinyin2text(text, path.sylIndex, lx.dict, texts, paths, sylPath, p);
        EXPECT_EQ(texts, IntVec{spoken});
        ASSERT_EQ(path.sylCount(), static_cast<int>(words.size()));
        for (size_t k = 0; k < words.size(); ++k) EXPECT_NEAR(path.sylEndFrame[k], a.wordEndFrames[k], 1);
        ASSERT_EQ(path.phoneCount(), static_cast<int>(a.phoneEndFrames.size()));
        for (size_t k = 0; k < a.phoneEndFrames.size(); ++k) EXPECT_NEAR(path.phoneEndFrame[k], a.phoneEndFrames[k], 1);
    }
}

}  // namespace
}  // namespace kedo::test
