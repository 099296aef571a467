// Nearest-prototype classification of a syllable's pitch contour.
#include "scoring/tone_contour.h"

#include <cmath>
#include <limits>

#include "scoring/tone_prototypes.h"

namespace kedo {

namespace {

constexpr int kShapePoints = 8;
static_assert(tone_table::kFeatures == kShapePoints + 2, "the table's features are the shape, slope and low point");

// [begin, end) of the longest run of voiced frames (the first of equal runs).
void longestVoiced(const std::vector<float>& pitch, size_t& begin, size_t& end) {
    begin = end = 0;
    size_t runStart = 0;
    for (size_t i = 0; i <= pitch.size(); ++i) {
        bool voiced = i < pitch.size() && pitch[i] > 0.0f;
        if (voiced) continue;
        if (i - runStart > end - begin) {
            begin = runStart;
            end = i;
        }
        runStart = i + 1;
    }
}

}  // namespace

int contourTone(const std::vector<float>& pitch) {
    size_t begin = 0, end = 0;
    longestVoiced(pitch, begin, end);
    const size_t n = end - begin;
    if (n < 3) return 0;
    const float* v = pitch.data() + begin;
    // The training script resamples with Python's round(), which rounds
    // halves to even, as nearbyint does in the default rounding mode.
    float shape[kShapePoints];
    float mean = 0.0f;
    for (int i = 0; i < kShapePoints; ++i) {
        double at = std::nearbyint(static_cast<double>(i) * static_cast<double>(n - 1) / (kShapePoints - 1));
        shape[i] = v[static_cast<size_t>(at)];
        mean += shape[i];
    }
    mean /= kShapePoints;
    float feature[tone_table::kFeatures];
    for (int i = 0; i < kShapePoints; ++i) feature[i] = shape[i] - mean;
    feature[kShapePoints] = feature[kShapePoints - 1] - feature[0];
    size_t low = 0;
    for (size_t i = 1; i < n; ++i)
        if (v[i] < v[low]) low = i;
    feature[kShapePoints + 1] = 4.0f * static_cast<float>(low) / static_cast<float>(n - 1);
    for (int i = 0; i < tone_table::kFeatures; ++i)
        feature[i] = (feature[i] - tone_table::kMean[i]) / tone_table::kSpread[i];

    int best = 0;
    float bestDistance = std::numeric_limits<float>::max();
    for (int p = 0; p < tone_table::kPrototypes; ++p) {
        float d = 0.0f;
        for (int i = 0; i < tone_table::kFeatures; ++i) {
            float diff = feature[i] - tone_table::kPrototype[p][i];
            d += diff * diff;
        }
        if (d < bestDistance) {
            bestDistance = d;
            best = tone_table::kTone[p];
        }
    }
    return best;
}

}  // namespace kedo
