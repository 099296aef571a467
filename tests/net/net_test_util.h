// Helpers of the net tests: small dictionaries and nets built in memory.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kedo/error.h"
#include "lexicon/dict.h"
#include "net/net.h"
#include "util/str_util.h"

namespace kedo::test {

// A dictionary whose entries are the given words, sorted, each with the
// models {position, -1} (the -1 stands for a reserved name the set lacks).
inline dictClass wordDict(StrVec words) {
    std::sort(words.begin(), words.end());
    dictClass d;
    for (size_t i = 0; i < words.size(); ++i) d.m_pronDict.push_back(pronDictEntry{words[i], {static_cast<int32_t>(i), -1}});
    return d;
}

// The message that f raises, or "" when it raises nothing.
inline std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KedoError& e) {
        return e.what();
    }
    return {};
}

// Lines of a text net: header, nodes (W texts), links.
inline StrVec netLines(const StrVec& words, const std::vector<std::pair<int, int>>& links) {
    StrVec lines{"VERSION=1.0", "N=" + std::to_string(words.size()) + "\tL=" + std::to_string(links.size())};
    for (size_t i = 0; i < words.size(); ++i) lines.push_back("I=" + std::to_string(i) + "\tW=" + words[i]);
    for (size_t j = 0; j < links.size(); ++j)
        lines.push_back("J=" + std::to_string(j) + "\tS=" + std::to_string(links[j].first) +
                        "\tE=" + std::to_string(links[j].second));
    return lines;
}

// All links of a net as (source, destination) in node order, succ order.
inline std::vector<std::pair<int, int>> netLinks(const netClass& net) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < net.nodes.size(); ++i)
        for (int32_t e : net.nodes[i].succ) out.emplace_back(static_cast<int>(i), e);
    return out;
}

}  // namespace kedo::test
