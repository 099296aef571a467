// Score discounts and the utterance score: the seven discount reasons counted
// on the segmentation, and the overall score built from the node scores.
#pragma once

#include <string>

#include "kedo/result.h"
#include "task/recog_param.h"

namespace kedo {

// Counts the seven discount reasons over nodes first..last (inclusive) into
// mlf.discountOccurrence and sets discountWeight 1 on those nodes.
// pathComplete false raises reason 0; a designated count of -1 leaves reason 4
// at 0 (keyword mode). Nodes without volume values have no loud frames and do
// not widen the volume range; a range with no spread counts no loud frames.
// An empty range (last < first) counts nothing; a range outside the object is
// an error.
void computeDiscounts(mlfClass& mlf, int first, int last, bool pathComplete, int designatedSylCount);

// The utterance score over nodes first..last, from the node timberScores
// (scores 1 to 3): the duration-weighted means become origTimberScores;
// finalTimberScores are those times discountRatio[k]^discountOccurrence[k]
// for every reason but 4, times identifiedSylCount / designatedSylCount
// (left out when designatedSylCount is 0 or less); score and timberScore take
// the second final score. On first use the ratios are read from
// p.scoreDiscountParamFile (at least seven numbers).
void computeUtteranceScore(mlfClass& mlf, int first, int last, const recogParam& p);

// Reads the seven discount ratios from path into mlf.discountRatio and marks
// them read. Errors: a file that cannot be opened, fewer than seven numbers.
void readDiscountRatios(mlfClass& mlf, const std::string& path);

// Checks that first..last is an empty range (last < first) or lies within the
// nodes of mlf; anything else is an error naming the caller.
void checkNodeRange(const mlfClass& mlf, int first, int last, const char* caller);

}  // namespace kedo
