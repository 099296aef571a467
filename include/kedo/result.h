// The result object of one run: aligned nodes, their phones, texts and scores.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kedo {

// One aligned phone. Frames are 10 ms frames, spans inclusive.
struct mlfPhone {
    std::string name;             // model name
    int32_t index = -1;           // index of the phone's own model in the model set
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float cumLogLike = 0;         // path log-likelihood at the phone's last frame
    float ownLogLike = 0;         // own model's log-likelihood over the span
    std::vector<int32_t> competingModelIndex;  // best first
    std::vector<float> competingModelLogLike;  // same order
    std::vector<float> cmParams;               // three bell parameters
    std::vector<std::string> epsNames;         // models that never compete with this phone
    int32_t rank = -1;            // number of better competitors
    float rankRatio = -1;
    float timeRatio = -1;
    float timberScore = -1;
    std::array<float, 4> timberScores{-1, -1, -1, -1};
    uint8_t pitched = 0;          // 1 if the phone carries pitch
    std::vector<float> volume;    // one value per frame
    std::vector<float> pitch;     // one value per frame
};

// One aligned node: a word (English) or a syllable (Chinese), or sil/sp/filler.
struct mlfNode {
    std::string name;             // the dictionary word, or sil, sp, filler, fillerC, fillerV
    std::string text;             // empty for non-speech nodes
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    float timberScore = -1;
    std::array<float, 4> timberScores{-1, -1, -1, -1};
    std::vector<mlfPhone> phones;
    float cumLogLike = 0;
    std::vector<float> volume;
    std::vector<float> pitch;
    float discountWeight = 0;
};

// A pair of whole-utterance timber scores: before and after discounting.
struct TimberScorePair {
    float orig = 0;
    float final = 0;
};

// The result of one recognition or assessment run. Owned by the operation that
// created it; not shared between threads.
struct mlfClass {
    std::vector<mlfNode> nodes;
    int32_t scoredFrameCount = 0;
    float pathLogProb = 0;
    int32_t scoredNodeCount = 0;
    std::array<int32_t, 7> discountOccurrence{};
    std::array<float, 7> discountRatio{};
    std::array<TimberScorePair, 3> timberScores{};  // orig 1, final 1, orig 2, ...
    float timberScore = 0;
    std::string identifiedSyl;    // the identified syllable string
    std::string CGU;
    std::string MPA;
    std::string HanYu;
    std::string Tone;
    std::vector<int32_t> textIndex;   // recognised text indices
    std::vector<std::string> texts;   // their candidate texts, same order
    int32_t designatedSylCount = 0;
    int32_t identifiedSylCount = 0;
    float score = 0;
    std::vector<std::string> sylItems;
    std::vector<std::string> textItems;
    std::vector<std::pair<std::string, std::vector<std::string>>> epsRecords;
    std::vector<float> rankScoreParams;
    bool discountRatioRead = false;   // discountRatio holds the ratios read on first use
    std::vector<std::string> warnings;
};

}  // namespace kedo
