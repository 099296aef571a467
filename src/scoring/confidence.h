// Confidence measure: every ranked phone against its competing models, the
// rank-to-score function, and the four timber scores of phones and nodes.
#pragma once

#include <functional>
#include <string>

#include "acoustic/macro.h"
#include "kedo/result.h"
#include "task/recog_param.h"

namespace kedo {

// Log-likelihood of one model over the feature frames firstFrame..lastFrame
// (inclusive) of the spoken segment: the search's forced alignment of one
// model (LZERO for spans shorter than 3 frames).
using ModelProbFn = std::function<float(int firstFrame, int lastFrame, int model)>;

// Ranks every phone of every spoken node (phones not named "sil+...") against
// its competing models: every model but sp, sil and the fillers when
// p.useAllModelAsCompetingModel is set, else the models whose name ends with
// the phone's "+right" part. Fills scoredFrameCount, scoredNodeCount,
// epsRecords (from p.epsFile, once) and per phone index, epsNames,
// competingModelIndex/LogLike (best first), ownLogLike, rank, rankRatio and
// timeRatio. Writes "modelStrVec.txt" under p.outputDir when that is set.
// Errors: a phone that is no model of the set, a phone without "+" when
// only "+right" models compete, an own model missing among the competitors.
// Must run before shiftFrames: frames index the spoken segment's features.
void rankPhones(mlfClass& mlf, const ModelProbFn& modelProb, const macroClass& models, const recogParam& p);

// The log-likelihoods of several models over the same frames at once (out[k]
// for models[k]), each as ModelProbFn gives it.
using CompetitorProbFn =
    std::function<void(int firstFrame, int lastFrame, const IntVec& models, std::vector<float>& out)>;
// rankPhones with every phone's competitors aligned together.
void rankPhonesTogether(mlfClass& mlf, const CompetitorProbFn& competitorProbs, const macroClass& models,
                        const recogParam& p);

// The generalized bell scaled to 0..100: 100 at x = c, 50 at |x - c| = a,
// falling off with steepness b. Single precision except the power. A width
// a of 0 gives 100 at x = c and 0 elsewhere.
float bellScore(float x, float a, float b, float c);

// The four timber scores of every phone and node (spoken nodes; -1 for the
// others), the discount weights of nodes first..last, then the utterance
// score over first..last (computeUtteranceScore), and finally every phone's
// and node's timberScore = its score 2. Reads rankScoreParams from
// p.phoneRank2scoreParamFile once (three numbers) and the bell parameters of
// each phone's model from p.cmParamFile when it exists (line i for model i).
void computeTimberScores(mlfClass& mlf, int first, int last, const recogParam& p, const macroClass& models);

}  // namespace kedo
