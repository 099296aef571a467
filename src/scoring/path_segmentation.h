// Building the phone segmentation from the search's best path.
#pragma once

#include <functional>
#include <string>

#include "acoustic/macro.h"
#include "decoder/viterbi.h"
#include "kedo/result.h"
#include "lexicon/dict.h"

namespace kedo {

// The text a net node carries (its `extra` text), by node index.
using NetNodeTextFn = std::function<const std::string&(int netNode)>;

// Fills mlf.nodes (cleared first) from the best path record: one node per
// syllable entry (name = the dictionary word, text = the net node's text,
// span from the previous node's end + 1 to its end frame, cumLogLike = the
// entry's score) and its phones from the phone entries (a position of 0
// starts the next node; index and name of the dictionary entry's model at
// that position). The first node and phone start at frame 0; scores and
// ranks start at -1. A path whose entries do not fit the dictionary or the
// model set is an error.
void buildFromPath(mlfClass& mlf, const ArenaCandidate& path, const NetNodeTextFn& netNodeText, const pronDict& dict,
                   const StrVec& modelNames);

// The same for any net whose `nodes` carry `extra`, and a model set.
template <class Net>
void buildFromPath(mlfClass& mlf, const ArenaCandidate& path, const Net& net, const pronDict& dict,
                   const macroClass& models) {
    StrVec names;
    models.modelNameList(names);
    static const std::string none;
    buildFromPath(
        mlf, path,
        [&net](int k) -> const std::string& {
            return k >= 0 && static_cast<size_t>(k) < net.nodes.size() ? net.nodes[k].extra : none;
        },
        dict, names);
}

}  // namespace kedo
