// Building the phone segmentation from the search's best path.
#include "scoring/path_segmentation.h"

#include "scoring/segmentation.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "mlf";
}

void buildFromPath(mlfClass& mlf, const ArenaCandidate& path, const NetNodeTextFn& netNodeText, const pronDict& dict,
                   const StrVec& modelNames) {
    mlf.nodes.clear();
    const size_t sylCount = path.sylIndex.size();
    if (path.sylNode.size() != sylCount || path.sylEndFrame.size() != sylCount || path.sylScore.size() != sylCount ||
        path.phoneEndFrame.size() != path.phoneIndex.size() || path.phoneScore.size() != path.phoneIndex.size())
        reportError(strFormat("Error: the best path's history lists differ in length (line %d of %s)", __LINE__,
                              kModule));
    mlf.nodes.resize(sylCount);
    for (size_t k = 0; k < sylCount; ++k) {
        const int32_t syl = path.sylIndex[k];
        if (syl < 0 || static_cast<size_t>(syl) >= dict.size())
            reportError(strFormat("Error: syllable %zu of the best path is entry %d of a dictionary of %zu (line %d "
                                  "of %s)",
                                  k, syl, dict.size(), __LINE__, kModule));
        mlfNode& node = mlf.nodes[k];
        node.name = dict[syl].word;
        node.text = netNodeText(path.sylNode[k]);
        node.startFrame = k == 0 ? 0 : mlf.nodes[k - 1].endFrame + 1;
        node.endFrame = path.sylEndFrame[k];
        node.cumLogLike = path.sylScore[k];
        node.timberScore = -1;
        node.timberScores = {-1, -1, -1, -1};
    }
    int current = -1;
    int32_t nextStart = 0;
    for (size_t j = 0; j < path.phoneIndex.size(); ++j) {
        const int32_t pos = path.phoneIndex[j];
        if (pos == 0) ++current;
        if (current < 0 || static_cast<size_t>(current) >= sylCount)
            reportError(strFormat("Error: phone %zu of the best path belongs to no syllable of the path (line %d of "
                                  "%s)",
                                  j, __LINE__, kModule));
        const pronDictEntry& entry = dict[path.sylIndex[current]];
        if (pos < 0 || static_cast<size_t>(pos) >= entry.models.size())
            reportError(strFormat("Error: phone %zu of the best path is position %d of \"%s\", which has %zu "
                                  "phones (line %d of %s)",
                                  j, pos, entry.word.c_str(), entry.models.size(), __LINE__, kModule));
        const int32_t model = entry.models[pos];
        if (model < 0 || static_cast<size_t>(model) >= modelNames.size())
            reportError(strFormat("Error: phone %d of \"%s\" is model %d of a set of %zu (line %d of %s)", pos,
                                  entry.word.c_str(), model, modelNames.size(), __LINE__, kModule));
        mlfPhone ph;
        ph.name = modelNames[model];
        ph.index = model;
        ph.startFrame = nextStart;
        ph.endFrame = path.phoneEndFrame[j];
        ph.cumLogLike = path.phoneScore[j];
        resetPhoneScores(ph);
        nextStart = ph.endFrame + 1;
        mlf.nodes[current].phones.push_back(std::move(ph));
    }
}

}  // namespace kedo
