// Building a net from the texts of a run: the tree net over all syllable paths
// and the sausage net of one text, both written as text lines into m_netVs
// (then parsed by netClass::netFromLines), and the optional link passes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "util/str_util.h"

namespace kedo {

class dictClass;
class textClass;
struct recogParam;

// The graph a builder works on: nodes numbered in the order they are added,
// links numbered in the order they are added.
class netBuilder {
public:
    struct node {
        std::string word;
        std::string extra;
    };
    std::vector<node> nodes;
    std::vector<std::pair<int32_t, int32_t>> links;

    int32_t addNode(const std::string& word, const std::string& extra = std::string());
    // Appends the link without looking for an equal one.
    void addLink(int32_t s, int32_t e);
    // Appends the link unless the same (s, e) is already there.
    void addLinkOnce(int32_t s, int32_t e);

private:
    // Links already present, as (s << 32 | e); filled by the first
    // addLinkOnce and kept up to date afterwards.
    std::unordered_set<uint64_t> m_linkSet;
    bool m_linkSetValid = false;
};

// The nodes the optional link passes work on: the start and end anchors
// (2 and 3 when the net has silence anchors) and the first node after them.
struct netAnchors {
    int32_t start = 2;
    int32_t end = 3;
    int32_t firstNode = 4;
};

// stop anywhere: every node from firstNode on whose word is not "!NULL",
// "sil" or "sp" gets a link to the end anchor (once).
void addLinks4stopAnywhere(netBuilder& net, const netAnchors& anchors = {});
// start anywhere: the start anchor gets a link to every such node (once).
void addLinks4startAnywhere(netBuilder& net, const netAnchors& anchors = {});
// forward jump: every non-null node i from firstNode on gets a link to every
// later node (once).
void addLinks4forwardJump(netBuilder& net, const netAnchors& anchors = {});

// The text form of a built net: "VERSION=1.0", "N=%d\tL=%d", a node line
// "I=%d\tW=%s@-1@%s" per node and a link line "J=%d\tS=%d\tE=%d" per link.
void netToLines(const netBuilder& net, StrVec& lines);

// Fills text.m_netVs with the prefix tree over text.m_sylVs. fillerMode puts
// loops of "fillerC", "fillerV" and "sil" on null hubs before the first and
// after the last unit; softSil (one path only) adds an optional "sil" in every
// gap; padSil puts a "sil" before and after the sentence.
void buildTreeNet(textClass& text, const recogParam& p, int fillerMode, int softSil, int padSil);

// Fills text.m_netVs with the sausage net of the single normalised text: one
// column per text unit holding its pronunciations (from the dictionary's wpa),
// optional silences. Units without a wpa entry end the run for "english" and
// are left out otherwise.
void buildSausageNet(textClass& text, const dictClass& wpa, const recogParam& p);

}  // namespace kedo
