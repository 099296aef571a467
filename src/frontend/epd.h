// End-point detection on frame volumes, and the driver that cuts the wave to
// the spoken stretch and computes its features.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "task/recog_param.h"
#include "util/sample_array.h"

namespace kedo {

// Detector settings, filled from the sampling rate (values at 16000 Hz).
struct EpdParam {
    int32_t frameSize = 256;   // trunc(fs / 62.5)
    int32_t overlap = 0;
    int32_t volRatio = 10;     // threshold divisor of epdByVol
    int32_t hodVolRatio = 10;  // threshold divisor of epd
    int32_t hodOrder = 4;      // order of the difference measure
    float minSegDuration = 0.05f;     // seconds; segments up to this long are dropped
    float maxGapDuration = 0.7f;      // seconds
    float maxLastSegDuration = 0.1f;  // seconds
};
EpdParam epdParamForRate(int fs);

// A run of detector frames, inclusive.
struct EpdSegment {
    int32_t beginFrame = 0;
    int32_t endFrame = 0;
    int32_t duration = 0;  // endFrame - beginFrame + 1
    int32_t valid = 1;
};

// Valid speech segments in time order, by the mixed volume (frame volume
// plus high-order difference) against a threshold between its quiet and loud
// ends. Fewer than one detector frame gives no segment.
std::vector<EpdSegment> epd(const int32_t* x, int len, int fs, const EpdParam& ep);
// The same with the frame volume alone and the divisor volRatio.
std::vector<EpdSegment> epdByVol(const int32_t* x, int len, int fs, const EpdParam& ep);

// Sum over the frame of |binomial difference of order 1..5|. Another order is
// an error: "Unsupported order!".
int32_t highOrderDiff(const int32_t* x, int n, int order);

// Runs of flags equal to 1, all valid, durations filled.
std::vector<EpdSegment> findSegments(const int8_t* flags, int n);

// The sample at the centre of detector frame f.
inline int frameCenterSample(int f, int frameSize, int overlap) {
    return (frameSize - overlap) * f + frameSize / 2 - 1;
}

// Feature matrix handed from the front end to the search: frameNum x dim
// floats, row-major.
struct FeatureMatrix {
    std::vector<float> values;
    int frameNum = 0;
    int dim = 0;
    const float* row(int t) const { return values.data() + static_cast<size_t>(t) * dim; }
};

// The driver: end-point detection when p.useEpd is set (the whole wave when
// it is not or when no segment is found), MFCC of the chosen stretch with
// p.featureConfigFile, the frame limit, and "output.fea" in p.outputDir.
// Prints its timing lines. waveBeginFrameId / waveEndFrameId receive the
// feature frames (step frameLength - frameOverlap) at which the stretch
// begins and ends in the conditioned wave. A stretch shorter than one
// feature frame is an error.
FeatureMatrix epdAndMfcc(const recogParam& p, const int32_t* x, int len, int fs, int bits, int frameLength,
                         int frameOverlap, int& waveBeginFrameId, int& waveEndFrameId);
// The same with the feature file written to feaPath (no file when it is
// empty) instead of "output.fea" in p.outputDir. Without reportEpd the
// end-point lines are left out of the progress output.
FeatureMatrix epdAndMfccToFile(const recogParam& p, const int32_t* x, int len, int fs, int bits, int frameLength,
                               int frameOverlap, int& waveBeginFrameId, int& waveEndFrameId,
                               const std::string& feaPath, bool reportEpd = true);

// Conditions a loaded wave (no volume rejection, no spectral subtraction),
// cuts it to the spoken stretch when useEpd is set, and computes its
// features with the configuration file, frames of 320 samples every 160,
// writing them to feaPath.
FeatureMatrix waveFeatures(SampleArray& wave, const std::string& cfgFile, bool useEpd, const std::string& feaPath);

}  // namespace kedo
