// Lexicon: reading a large English wpa (text and binary), merging addenda,
// listing and building the dictionary for 2000 sentences; reading the full
// Mandarin lexicon and listing 100 Chinese sentences with it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "lexicon/dict.h"
#include "lexicon/text.h"

namespace {

constexpr int kWords = 50000;

// Word i: a sortable spelling; one or two PAs of four phones.
std::string wordOf(int i) {
    std::string w = "w";
    for (int k = 0; k < 5; ++k) {
        w += static_cast<char>('a' + i % 26);
        i /= 26;
    }
    return w;
}

kedo::wpaList makeWpa() {
    kedo::wpaList wpa;
    for (int i = 0; i < kWords; ++i) {
        kedo::wpaEntry e;
        e.word = wordOf(i);
        std::string p(1, 'p');
        p += std::to_string(i % 40);
        e.pas.push_back(p + "_ax_" + p + "_t");
        if (i % 3 == 0) e.pas.push_back(p + "_eh_" + p + "_d");
        wpa.push_back(std::move(e));
    }
    std::sort(wpa.begin(), wpa.end(), [](const auto& a, const auto& b) { return a.word < b.word; });
    return wpa;
}

struct files {
    std::string text, binary;
    files() {
        std::string base("/tmp/kedo_lexicon_bench_");
        base += std::to_string(getpid());
        text = base + ".wpa";
        binary = base + ".wpab";
        kedo::wpaList wpa = makeWpa();
        std::FILE* t = std::fopen(text.c_str(), "wb");
        std::FILE* b = std::fopen(binary.c_str(), "wb");
        auto put = [b](int32_t v) { std::fwrite(&v, 4, 1, b); };
        put(static_cast<int32_t>(wpa.size()));
        for (const auto& e : wpa) {
            std::fprintf(t, "%s\t%s\n", e.word.c_str(), kedo::strVecJoin(e.pas, "#").c_str());
            put(static_cast<int32_t>(e.word.size()));
            std::fwrite(e.word.data(), 1, e.word.size(), b);
            put(static_cast<int32_t>(e.pas.size()));
            for (const auto& pa : e.pas) {
                put(static_cast<int32_t>(pa.size()));
                std::fwrite(pa.data(), 1, pa.size(), b);
            }
        }
        std::fclose(t);
        std::fclose(b);
    }
    ~files() {
        std::remove(text.c_str());
        std::remove(binary.c_str());
    }
};

const files& benchFiles() {
    static files f;
    return f;
}

void BM_WpaReadText(benchmark::State& state) {
    kedo::dictClass d;
    for (auto _ : state) d.wpaRead(benchFiles().text, "english");
    state.SetItemsProcessed(state.iterations() * kWords);
}
BENCHMARK(BM_WpaReadText)->Unit(benchmark::kMillisecond);

void BM_WpaReadBinary(benchmark::State& state) {
    kedo::dictClass d;
    for (auto _ : state) d.wpaRead(benchFiles().binary, "english");
    state.SetItemsProcessed(state.iterations() * kWords);
}
BENCHMARK(BM_WpaReadBinary)->Unit(benchmark::kMillisecond);

void BM_WpaMergeAndSort(benchmark::State& state) {
    kedo::wpaList base = makeWpa();
    kedo::wpaList addenda;
    for (int i = 0; i < 2000; ++i) addenda.push_back({wordOf(i * 37 % (2 * kWords)), {"x_y"}, {}});
    // The replaced entries are announced on standard output; keep it quiet.
    std::fflush(stdout);
    int saved = dup(1);
    int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 1);
    for (auto _ : state) {
        kedo::dictClass d;
        d.m_wpa = base;
        d.m_wpaAddenda = addenda;
        d.wpaMerge();
        d.wpaSort();
        benchmark::DoNotOptimize(d.m_wpa.data());
    }
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(devNull);
}
BENCHMARK(BM_WpaMergeAndSort)->Unit(benchmark::kMillisecond);

// 2000 sentences of 8 words: listing, then the dictionary of their PAs.
void BM_ListAndBuildDictionary2000(benchmark::State& state) {
    kedo::wpaList wpa = makeWpa();
    kedo::textClass t;
    for (int s = 0; s < 2000; ++s) {
        std::string text;
        for (int k = 0; k < 8; ++k) {
            if (k) text += ' ';
            text += wordOf((s * 131 + k * 17) % kWords);
        }
        t.m_txtVsNormalized.push_back(text);
    }
    kedo::modelSetView view;
    view.modelNum = 100;
    view.findModel = [](const std::string& n) { return static_cast<int32_t>(n.size()); };
    view.modelName = [](int32_t i) { return std::to_string(i); };
    for (auto _ : state) {
        t.textsToSylEnglish(wpa);
        kedo::dictClass d;
        d.m_wpa = wpa;
        d.pronDictFromTexts(t.m_txtVsNormalized, view);
        benchmark::DoNotOptimize(d.m_pronDict.data());
    }
    state.counters["paths"] = static_cast<double>(t.m_sylVs.size());
}
BENCHMARK(BM_ListAndBuildDictionary2000)->Unit(benchmark::kMillisecond);

// What every Chinese run reads: the pinyin table and the character list of
// the full Mandarin lexicon (13 064 characters).
const std::string kMandarin = std::string(KEDO_SOURCE_DIR) + "/data/kedoData/chinese/mandarin";

void BM_MandarinLexiconRead(benchmark::State& state) {
    for (auto _ : state) {
        kedo::dictClass d;
        d.pinyinTableRead(kMandarin + ".tab");
        d.wpaRead(kMandarin + ".wpa", "chinese");
        benchmark::DoNotOptimize(d.m_wpa.data());
    }
}
BENCHMARK(BM_MandarinLexiconRead)->Unit(benchmark::kMillisecond);

// 100 sentences of 10 characters spread over the list: every reading of
// every character, as a recognition list would be listed.
void BM_MandarinListing100(benchmark::State& state) {
    kedo::dictClass d;
    d.pinyinTableRead(kMandarin + ".tab");
    d.wpaRead(kMandarin + ".wpa", "chinese");
    kedo::textClass t;
    for (size_t s = 0; s < 100; ++s) {
        std::string text;
        for (size_t k = 0; k < 10; ++k) text += d.m_wpa[(s * 1009 + k * 131) % d.m_wpa.size()].word;
        t.m_txtVsNormalized.push_back(text);
    }
    for (auto _ : state) {
        t.textsToSylChinese(d.m_wpa);
        benchmark::DoNotOptimize(t.m_sylVs.data());
    }
    state.counters["paths"] = static_cast<double>(t.m_sylVs.size());
}
BENCHMARK(BM_MandarinListing100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
