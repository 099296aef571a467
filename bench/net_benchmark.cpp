// Net construction and net files: the tree net of 2000 English sentences
// (built and parsed; target under 1 s), and reading its text and binary files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <unistd.h>
#include <string>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "net/net.h"
#include "net/net_build.h"
#include "task/recog_param.h"

namespace kedo {
namespace {

// 2000 sentences of 5 to 14 words over a vocabulary of 3000 words; one word
// in eight has a second pronunciation. Phones come from a set of 40.
struct EnglishTexts {
    dictClass dict;
    textClass text;

    EnglishTexts() {
        std::mt19937 rng(7);
        auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        auto pa = [&] {
            std::string s;
            int phones = 2 + pick(5);
            for (int k = 0; k < phones; ++k) {
                if (k) s += '_';
                s += 'p';
                s += std::to_string(pick(40));
            }
            return s;
        };
        for (int w = 0; w < 3000; ++w) {
            wpaEntry e;
            e.word = std::string(1, 'w');
            e.word += std::to_string(w);
            e.pas.push_back(pa());
            if (pick(8) == 0) e.pas.push_back(pa());
            dict.m_wpa.push_back(std::move(e));
        }
        dict.wpaSort();
        for (int t = 0; t < 2000; ++t) {
            std::string s;
            int words = 5 + pick(10);
            for (int k = 0; k < words; ++k) {
                if (k) s += ' ';
                s += 'w';
                s += std::to_string(pick(3000));
            }
            text.m_txtVs.push_back(s);
        }
        text.normalizeTexts("english");
        text.textsToSylEnglish(dict.m_wpa);
        StrVec words{"sil", "sp", "fillerC", "fillerV"};
        for (const wpaEntry& e : dict.m_wpa) words.insert(words.end(), e.pas.begin(), e.pas.end());
        std::sort(words.begin(), words.end());
        words.erase(std::unique(words.begin(), words.end()), words.end());
        for (const std::string& w : words) dict.m_pronDict.push_back(pronDictEntry{w, {1, 2, -1}});
    }
};

EnglishTexts& texts() {
    static EnglishTexts t;
    return t;
}

void BM_TreeNet2000Sentences(benchmark::State& state) {
    EnglishTexts& t = texts();
    recogParam p;
    int nodes = 0;
    for (auto _ : state) {
        textClass text;
        text.m_sylVs = t.text.m_sylVs;
        buildTreeNet(text, p, 0, 0, 1);
        netClass net;
        net.netFromLines(text.m_netVs, t.dict);
        nodes = net.nodeNum;
        benchmark::DoNotOptimize(net.fanOut());
    }
    state.counters["paths"] = static_cast<double>(t.text.m_sylVs.size());
    state.counters["nodes"] = nodes;
}
BENCHMARK(BM_TreeNet2000Sentences)->Unit(benchmark::kMillisecond);

void readBack(benchmark::State& state, const char* name) {
    EnglishTexts& t = texts();
    textClass text;
    text.m_sylVs = t.text.m_sylVs;
    buildTreeNet(text, recogParam(), 1, 0, 1);
    netClass net;
    net.netFromLines(text.m_netVs, t.dict);
    std::string path = std::string("/tmp/kedo_net_benchmark_") + std::to_string(::getpid()) + name;
    if (path.back() == 'b')
        net.netWriteBinary(path);
    else
        net.netPrint(path);
    for (auto _ : state) {
        netClass back;
        back.netRead(path, t.dict);
        benchmark::DoNotOptimize(back.nodeNum);
    }
    state.counters["nodes"] = net.nodeNum;
    std::remove(path.c_str());
}

void BM_ReadTextNet(benchmark::State& state) { readBack(state, ".net"); }
BENCHMARK(BM_ReadTextNet)->Unit(benchmark::kMillisecond);

void BM_ReadBinaryNet(benchmark::State& state) { readBack(state, ".netb"); }
BENCHMARK(BM_ReadBinaryNet)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kedo

BENCHMARK_MAIN();
