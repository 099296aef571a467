// The Mandarin tone that a syllable's pitch contour suggests.
#pragma once

#include <vector>

namespace kedo {

// The tone (1 to 4) whose contour prototype lies nearest to the contour of
// pitch (semitones per frame, 0 unvoiced): the longest voiced stretch,
// resampled to 8 points less their mean, its overall slope and where its low
// point lies, each in units of its spread over the synthetic training corpus.
// 0 when the syllable has fewer than 3 voiced frames in a row. Neutral tone
// (5) is never suggested. Safe to call from several threads.
int contourTone(const std::vector<float>& pitch);

}  // namespace kedo
