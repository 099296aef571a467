// The lexical network the Viterbi search walks: nodes that stand for entries
// of the pronunciation dictionary or are null nodes joining paths, their text
// (".net") and binary (".netb") files, the derived next-word-node lists and
// the node penalties.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "util/limits.h"
#include "util/str_util.h"

namespace kedo {

class dictClass;

// One node of a net. A node is a null node exactly when sylIndex < 0.
struct netNode {
    int32_t sylIndex = -1;  // position of the node's word in m_pronDict; -1: null node
    std::string word;       // as written in the net; "!NULL" for null nodes; empty after a binary read
    std::string extra;      // free text carried with the node (the sausage net's text unit)
    IntVec succ;            // destinations of the links leaving the node, in file order
    IntVec nextWordNodes;   // nearest non-null nodes reachable from the node (derived)
    float penalty = 0.0f;   // added to a path's score when the search enters the node
};

// The network. Node 0 is the start node and node 1 the end node, both null.
// Every non-null node has 0 <= sylIndex < size of the dictionary it was read
// with, and after reading no model index of such an entry is below 0.
// Not thread-safe; one run owns one net.
class netClass {
public:
    int32_t nodeNum = 0;
    int32_t linkNum = 0;  // links of the net (as the file header states; the reader checks it)
    std::vector<netNode> nodes;

    // Reads a ".net" or ".netb" file (by extension) with the dictionary the
    // net's sylIndex values refer to; adjusts that dictionary's model indices
    // (below 0 -> 0) for every entry a node uses. Failures raise KedoError.
    void netRead(const std::string& fileName, dictClass& dict);
    // Parses a net in text form held in memory. source names the lines in the
    // messages of malformed input (a file name, or "m_netVs").
    void netFromLines(const StrVec& lines, dictClass& dict, const std::string& source = "m_netVs");
    // Writes the text form; an empty file name writes to standard output.
    void netPrint(const std::string& fileName) const;
    // Writes the binary form.
    void netWriteBinary(const std::string& fileName) const;
    // penalty = 0 for every node, p for every node whose word is "filler",
    // "fillerC" or "fillerV".
    void setNodePenalty(float p);
    // The largest size of nextWordNodes over all nodes (0 for an empty net).
    int fanOut() const;

    bool isNullNode(int i) const { return nodes[static_cast<size_t>(i)].sylIndex < 0; }

    // The search's candidate slots: MAX_STATE_NUM_IN_SYL per node, allocated
    // on demand (not by the readers) and all set to -1 by resetSearchSlots.
    void resetSearchSlots();
    int32_t* searchSlots(int node) {
        return m_searchSlots.data() + static_cast<size_t>(node) * MAX_STATE_NUM_IN_SYL;
    }

private:
    std::vector<int32_t> m_searchSlots;

    void readBinary(const std::string& fileName, dictClass& dict);
    // Fills nextWordNodes of every node; refuses cycles of null nodes and
    // lists beyond MAX_NET_NEXT_WORD_ENTRIES.
    void deriveNextWordNodes(const std::string& source);
    void writeText(std::FILE* f) const;
};

// True for the three spellings of a null node's word: "!NULL", "!Null", "!null".
bool isNullWord(const std::string& word);

}  // namespace kedo
