// Net construction: the tree net, the sausage net, the optional link passes
// and the text lines they are written as.
#include "net/net_build.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recog_param.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "text";

// Units of a syllable path (the part before its TAB), empty units dropped.
StrVec pathUnits(const std::string& sylPath) {
    StrVec units;
    strSplit(sylPath.substr(0, sylPath.find('\t')), '-', units);
    strVecRemoveEmpty(units);
    return units;
}

bool skipsAnywhereLinks(const std::string& word) { return word == "!NULL" || word == "sil" || word == "sp"; }

void addOptionalLinks(netBuilder& net, const recogParam& p, const netAnchors& anchors) {
    if (p.addLink4stopAnywhere != 0) {
        progressf("\tAdd links for stop anywhere...   (line %d in %s)\n", __LINE__, kModule);
        addLinks4stopAnywhere(net, anchors);
    }
    if (p.addLink4startAnywhere != 0) {
        progressf("\tAdd links for start anywhere...  (line %d in %s)\n", __LINE__, kModule);
        addLinks4startAnywhere(net, anchors);
    }
    if (p.addLink4forwardJump != 0) {
        progressf("\tAdd links for forward jump...    (line %d in %s)\n", __LINE__, kModule);
        addLinks4forwardJump(net, anchors);
    }
}

uint64_t linkKey(int32_t s, int32_t e) { return static_cast<uint64_t>(static_cast<uint32_t>(s)) << 32 | static_cast<uint32_t>(e); }

}  // namespace

int32_t netBuilder::addNode(const std::string& word, const std::string& extra) {
    nodes.push_back(node{word, extra});
    return static_cast<int32_t>(nodes.size() - 1);
}

void netBuilder::addLink(int32_t s, int32_t e) {
    links.emplace_back(s, e);
    if (m_linkSetValid) m_linkSet.insert(linkKey(s, e));
}

void netBuilder::addLinkOnce(int32_t s, int32_t e) {
    if (!m_linkSetValid) {
        m_linkSet.clear();
        m_linkSet.reserve(links.size() * 2 + 16);
        for (const auto& [a, b] : links) m_linkSet.insert(linkKey(a, b));
        m_linkSetValid = true;
    }
    if (m_linkSet.insert(linkKey(s, e)).second) links.emplace_back(s, e);
}

void addLinks4stopAnywhere(netBuilder& net, const netAnchors& anchors) {
    const int32_t count = static_cast<int32_t>(net.nodes.size());
    for (int32_t k = anchors.firstNode; k < count; ++k)
        if (!skipsAnywhereLinks(net.nodes[static_cast<size_t>(k)].word)) net.addLinkOnce(k, anchors.end);
}

void addLinks4startAnywhere(netBuilder& net, const netAnchors& anchors) {
    const int32_t count = static_cast<int32_t>(net.nodes.size());
    for (int32_t k = anchors.firstNode; k < count; ++k)
        if (!skipsAnywhereLinks(net.nodes[static_cast<size_t>(k)].word)) net.addLinkOnce(anchors.start, k);
}

void addLinks4forwardJump(netBuilder& net, const netAnchors& anchors) {
    const int32_t count = static_cast<int32_t>(net.nodes.size());
    for (int32_t i = anchors.firstNode; i < count; ++i) {
        if (net.nodes[static_cast<size_t>(i)].word == "!NULL") continue;
        for (int32_t j = i + 1; j < count; ++j) net.addLinkOnce(i, j);
    }
}

void netToLines(const netBuilder& net, StrVec& lines) {
    lines.clear();
    lines.reserve(2 + net.nodes.size() + net.links.size());
    lines.emplace_back("VERSION=1.0");
    lines.push_back("N=" + std::to_string(net.nodes.size()) + "\tL=" + std::to_string(net.links.size()));
    for (size_t i = 0; i < net.nodes.size(); ++i) {
        const auto& n = net.nodes[i];
        std::string line = "I=" + std::to_string(i) + "\tW=";
        line += n.word;
        line += "@-1@";
        line += n.extra;
        lines.push_back(std::move(line));
    }
    for (size_t j = 0; j < net.links.size(); ++j)
        lines.push_back("J=" + std::to_string(j) + "\tS=" + std::to_string(net.links[j].first) +
                        "\tE=" + std::to_string(net.links[j].second));
}

void buildTreeNet(textClass& text, const recogParam& p, int fillerMode, int softSil, int padSil) {
    if (text.m_sylVs.empty())
        reportError(strFormat("Error: m_sylVs.size()=0 at line %d of file %s!: no candidate text has a pronunciation "
                              "(none of its words or characters is in the dictionaries)",
                              __LINE__, kModule));

    netBuilder net;
    net.addNode("!NULL");
    net.addNode("!NULL");
    // The filler hubs need the anchors 2 and 3 even without padded silences.
    const bool anchored = padSil != 0 || fillerMode != 0;
    netAnchors anchors{0, 1, 2};
    if (anchored) {
        net.addNode("sil");
        net.addNode("sil");
        net.addLink(0, 2);
        net.addLink(3, 1);
        anchors = netAnchors{2, 3, 4};
    }

    // Paths with their empty units dropped, so that a path whose units begin
    // another path's units always sorts before it.
    std::vector<StrVec> paths;
    paths.reserve(text.m_sylVs.size());
    {
        StrVec joined;
        joined.reserve(text.m_sylVs.size());
        for (const std::string& s : text.m_sylVs) joined.push_back(strVecJoin(pathUnits(s), "-"));
        std::sort(joined.begin(), joined.end());
        for (const std::string& s : joined) {
            StrVec units;
            strSplit(s, '-', units);
            if (!units.empty()) paths.push_back(std::move(units));
        }
    }
    if (paths.empty())
        reportError(strFormat("Error: none of the %zu syllable paths holds a unit at line %d of file %s!", text.m_sylVs.size(),
                              __LINE__, kModule));

    size_t maxUnits = 1;
    for (const StrVec& units : paths) maxUnits = std::max(maxUnits, units.size());
    StrVec prevUnits(maxUnits);
    std::vector<int32_t> prevNode(maxUnits, -1);
    prevNode[0] = anchors.start;
    for (const StrVec& units : paths) {
        bool diverged = false;
        for (size_t k = 0; k < units.size(); ++k) {
            if (!diverged && units[k] == prevUnits[k]) continue;
            int32_t node = net.addNode(units[k]);
            net.addLink(prevNode[k], node);
            prevUnits[k] = units[k];
            if (k + 1 < maxUnits) prevNode[k + 1] = node;
            diverged = true;
            if (k + 1 == units.size()) {
                net.addLink(node, anchors.end);
                for (size_t m = units.size(); m < maxUnits; ++m) prevUnits[m].clear();
            }
        }
    }

    if (fillerMode != 0) {
        net.nodes[2].word = "!NULL";
        net.nodes[3].word = "!NULL";
        for (const char* word : {"fillerC", "fillerV", "sil"}) {
            for (int32_t hub : {2, 3}) {
                int32_t node = net.addNode(word);
                net.addLink(hub, node);
                net.addLink(node, hub);
            }
        }
    }

    if (softSil != 0 && text.m_sylVs.size() == 1) {
        const int32_t first = anchors.firstNode;
        const int32_t n = static_cast<int32_t>(paths[0].size());
        for (int32_t g = 0; g + 1 < n; ++g) {
            int32_t sil = net.addNode("sil");
            net.addLink(first + g, sil);
            net.addLink(sil, first + g + 1);
        }
    }

    addOptionalLinks(net, p, anchors);
    netToLines(net, text.m_netVs);
}

void buildSausageNet(textClass& text, const dictClass& wpa, const recogParam& p) {
    if (text.m_txtVs.size() != 1)
        reportError(strFormat("Error: m_txtVs.size()=!1, which cannot be transformed into sausage net at line %d of file %s!",
                              __LINE__, kModule));
    const std::string& sentence = text.m_txtVsNormalized.at(0);
    const bool softSil = p.usePaddedSoftSil != 0;

    netBuilder net;
    net.addNode("!NULL");
    net.addNode("!NULL");
    net.addNode("sil");
    net.addNode("sil");
    net.addLink(0, 2);
    net.addLink(3, 1);

    StrVec units;
    textUnits(sentence, p.language, units);
    // The units that have an entry with a PA, with that entry's position. A
    // unit without one ends the run for English and is left out otherwise.
    std::vector<int> entries;
    entries.reserve(units.size());
    for (const std::string& unit : units) {
        int pos = wpa.wpaFind(unit);
        // An entry without a PA has nothing to put in the unit's column.
        if (pos < 0 || wpa.m_wpa[static_cast<size_t>(pos)].pas.empty()) {
            progressf("Warning: Found no pinyin for \"%s\" in \"%s\". Use \"a\" instead.\n", unit.c_str(), sentence.c_str());
            if (p.language == "english")
                reportError(strFormat("Error: Found no pronunciation entry for %s. Please add the pronunciation to wpaAddendaFile. "
                                      "(line %d of file %s)",
                                      unit.c_str(), __LINE__, kModule));
            continue;
        }
        entries.push_back(pos);
    }
    if (entries.empty())
        reportError(strFormat("Error: no unit of \"%s\" has a pronunciation entry, so its sausage net would hold no word "
                              "(line %d of file %s)",
                              sentence.c_str(), __LINE__, kModule));

    std::vector<int32_t> prev{2}, prevPrev{0}, cur;
    auto linkAll = [&net](const std::vector<int32_t>& from, const std::vector<int32_t>& to) {
        for (int32_t s : from)
            for (int32_t e : to) net.addLink(s, e);
    };
    for (size_t k = 0; k < entries.size(); ++k) {
        const auto& entry = wpa.m_wpa[static_cast<size_t>(entries[k])];
        StrVec pas = entry.pas;
        std::sort(pas.begin(), pas.end());
        pas.erase(std::unique(pas.begin(), pas.end()), pas.end());
        cur.clear();
        for (const std::string& pa : pas) cur.push_back(net.addNode(pa, entry.word));
        linkAll(prev, cur);
        if (softSil) linkAll(prevPrev, cur);
        const bool last = k + 1 == entries.size();
        prevPrev = prev;
        prev = cur;
        if (last)
            cur = {3};
        else if (softSil)
            cur = {net.addNode("sil")};
        else
            continue;
        linkAll(prev, cur);
        prevPrev = prev;
        prev = cur;
    }
    linkAll(prevPrev, {1});
    if (!softSil) {
        const size_t count = net.links.size();
        for (size_t j = 0; j < count; ++j)
            if (net.links[j].first == 2) net.addLink(0, net.links[j].second);
    }

    addOptionalLinks(net, p, netAnchors{});
    netToLines(net, text.m_netVs);
}

}  // namespace kedo
