// Score discounts and the utterance score.
#include "scoring/discount.h"
#include "util/progress.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "scoring/score_math.h"
#include "scoring/scoring_texts.h"
#include "scoring/segmentation.h"
#include "util/file_util.h"
#include "util/report_error.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "mlf";

int frameCount(int32_t startFrame, int32_t endFrame) { return endFrame - startFrame + 1; }

bool beginsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Reason 1: most of the node's phones last at most 3 frames. Phones before
// frame 0, "sil+" phones and the plosive-initial "b+", "d+", "g+", "h+"
// phones never count as short.
bool isOverShort(const mlfNode& node) {
    int shortCount = 0;
    for (const mlfPhone& ph : node.phones) {
        if (ph.startFrame < 0) continue;
        const std::string& n = ph.name;
        if (beginsWith(n, "sil+") || beginsWith(n, "b+") || beginsWith(n, "d+") || beginsWith(n, "g+") ||
            beginsWith(n, "h+"))
            continue;
        if (frameCount(ph.startFrame, ph.endFrame) <= 3) ++shortCount;
    }
    const int phoneCount = static_cast<int>(node.phones.size());
    return shortCount == phoneCount || (shortCount > phoneCount / 2 && phoneCount >= 3);
}

// Reason 2: a phone (from frame 0 on, not "sil+") of 70 frames or more.
bool isOverlong(const mlfNode& node) {
    for (const mlfPhone& ph : node.phones) {
        if (ph.startFrame >= 0 && isRankedPhone(ph) && frameCount(ph.startFrame, ph.endFrame) >= 70) return true;
    }
    return false;
}

bool isPause(const mlfNode& node) { return node.name == "sp" || node.name == "sil"; }

}  // namespace

void checkNodeRange(const mlfClass& mlf, int first, int last, const char* caller) {
    if (last < first) return;
    if (first < 0 || static_cast<size_t>(last) >= mlf.nodes.size())
        reportError(strFormat("%s: node range %d..%d lies outside the %zu nodes (line %d of %s)", caller, first,
                              last, mlf.nodes.size(), __LINE__, kModule));
}

void computeDiscounts(mlfClass& mlf, int first, int last, bool pathComplete, int designatedSylCount) {
    checkNodeRange(mlf, first, last, "computeDiscounts");
    std::array<int32_t, DISCOUNT_REASON_NUM> occ{};
    occ[0] = pathComplete ? 0 : 1;

    int longest = -1, shortest = INT_MAX;
    bool haveVolume = false;
    int32_t lo = 0, hi = 0;
    for (int i = first; i <= last; ++i) {
        const mlfNode& node = mlf.nodes[i];
        if (!node.volume.empty()) {
            auto [mn, mx] = std::minmax_element(node.volume.begin(), node.volume.end());
            int32_t nodeLo = truncToInt(*mn), nodeHi = truncToInt(*mx);
            lo = haveVolume ? std::min(lo, nodeLo) : nodeLo;
            hi = haveVolume ? std::max(hi, nodeHi) : nodeHi;
            haveVolume = true;
        }
        if (isSpokenNode(node)) {
            if (isOverShort(node)) ++occ[1];
            if (isOverlong(node)) ++occ[2];
            int len = frameCount(node.startFrame, node.endFrame);
            longest = std::max(longest, len);
            shortest = std::min(shortest, len);
        } else if (i > first && i < last && isPause(node) && frameCount(node.startFrame, node.endFrame) > 50) {
            ++occ[3];
        }
    }
    if (designatedSylCount >= 0) occ[4] = std::abs(designatedSylCount - mlf.scoredNodeCount);
    if (longest >= 0) {
        // A node of no length is infinitely shorter than any other.
        if (shortest <= 0)
            occ[5] = longest > 0 ? 1 : 0;
        else
            occ[5] = static_cast<float>(longest) / static_cast<float>(shortest) > 4.0f ? 1 : 0;
    }
    if (haveVolume && hi != lo) {
        const float range = static_cast<float>(hi) - static_cast<float>(lo);
        for (int i = first; i <= last; ++i) {
            const mlfNode& node = mlf.nodes[i];
            if (!isPause(node)) continue;
            int loud = 0;
            for (float v : node.volume) {
                if ((v - static_cast<float>(lo)) / range > 0.1f) ++loud;
            }
            if (loud > 4) ++occ[6];
            if (loud > 30) ++occ[6];
        }
    }
    mlf.discountOccurrence = occ;
    for (int i = first; i <= last; ++i) mlf.nodes[i].discountWeight = 1;
}

void readDiscountRatios(mlfClass& mlf, const std::string& path) {
    std::vector<float> ratios;
    readFloats(path, ratios);
    if (ratios.size() < static_cast<size_t>(DISCOUNT_REASON_NUM))
        reportError(strFormat("Error: %s holds %zu numbers, but %d discount ratios are needed (line %d of %s)",
                              path.c_str(), ratios.size(), DISCOUNT_REASON_NUM, __LINE__, kModule));
    std::copy_n(ratios.begin(), DISCOUNT_REASON_NUM, mlf.discountRatio.begin());
    mlf.discountRatioRead = true;
}

void computeUtteranceScore(mlfClass& mlf, int first, int last, const recogParam& p) {
    checkNodeRange(mlf, first, last, "computeUtteranceScore");
    int totalFrames = 0;
    float sums[3] = {0, 0, 0};
    for (int i = first; i <= last; ++i) {
        const mlfNode& node = mlf.nodes[i];
        if (!isSpokenNode(node)) continue;
        const int d = frameCount(node.startFrame, node.endFrame);
        totalFrames += d;
        for (int s = 0; s < 3; ++s) sums[s] += static_cast<float>(d) * node.timberScores[s];
    }
    for (int s = 0; s < 3; ++s)
        mlf.timberScores[s].orig = totalFrames == 0 ? 0.0f : sums[s] / static_cast<float>(totalFrames);

    if (!mlf.discountRatioRead) {
        progressf("\tRead %s...\n", p.scoreDiscountParamFile.c_str());
        readDiscountRatios(mlf, p.scoreDiscountParamFile);
    }
    for (auto& pair : mlf.timberScores) pair.final = pair.orig;
    for (int k = 0; k < DISCOUNT_REASON_NUM; ++k) {
        if (k == 4 || mlf.discountOccurrence[k] == 0) continue;
        const float factor = static_cast<float>(
            pm::pow(static_cast<double>(mlf.discountRatio[k]), mlf.discountOccurrence[k]));
        for (auto& pair : mlf.timberScores) pair.final *= factor;
    }
    // The share of the designated syllables that were identified; without a
    // designated count there is no share to apply.
    if (mlf.designatedSylCount > 0) {
        const float share =
            static_cast<float>(mlf.identifiedSylCount) / static_cast<float>(mlf.designatedSylCount);
        for (auto& pair : mlf.timberScores) pair.final *= share;
    }
    mlf.score = mlf.timberScores[1].final;
    mlf.timberScore = mlf.score;
}

}  // namespace kedo
