// Pitch tracking: a semitone value (69 = 440 Hz) per pitch frame, 0 where the
// frame is judged unvoiced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/sample_array.h"

namespace kedo {

// Pitch-tracking parameters. ptParamSet fills them from the sampling rate and
// the tuned sets, then from an optional parameter file.
struct ptParam {
    int32_t fs = 16000;    // sampling rate
    int32_t nbits = 16;    // bits per sample
    int32_t pfType = 1;    // pitch function: 0 average magnitude difference, 1 autocorrelation
    int32_t frameSize = 640;
    int32_t overlap = 480;
    int32_t pfLen = 320;   // lags 0..pfLen-1 of the pitch function
    int32_t ppcNum = 10;   // read and printed only
    float minPitch = 30.0f;       // semitones
    float maxPitch = 84.0f;       // semitones
    float pitchRangeMax = 24.0f;  // width of the second pass's range, semitones
    float pitchDiffMax = 5.0f;         // read and printed only
    float maxMedianPitchDiff = 20.0f;  // read and printed only
    int32_t dpMethod = 1;         // 1: jumps in lag steps; 2: in tenths of a semitone
    int32_t dpPosDiffOrder = 1;   // 1: jump cost linear; otherwise squared
    int32_t dpUseLocalOptim = 1;  // 1: candidates are the local extrema; otherwise every lag
    float pfWeight = 1.0f;
    float indexDiffWeight = 1.0f;
    int32_t volThresholding = 1;
    int32_t clarityThresholding = 1;
    float clarityRatio = 0.6f;
    int32_t medianFilterOrder = 5;
    int32_t cutLeadingTrailingZero = 0;
    // Derived: clarity weighting (pfType 1) and the pitch frame rate.
    int32_t useClarity = 1;
    int32_t frameRate = 100;
};

// Semitone of a frequency and frequency of a semitone; 0 for arguments not
// above 0.
double semitone(double freq);
double freqOfSemitone(double semitone);

// Defaults for the rate and pfType, the tuned sets, then the parameter file
// (when path names an existing file; every field is printed after reading).
// An unknown key, a pfType other than 0 or 1 and unusable frame settings are
// errors. Warns when the frame is shorter than 32 ms.
ptParam ptParamSet(int fs, int nbits, int pfType, const std::string& path);

// Lowest and highest lag searched for pp's pitch range.
int pitchMinIndex(const ptParam& pp);
int pitchMaxIndex(const ptParam& pp);

// Number of pitch frames for len samples.
int pitchFrameCount(int len, const ptParam& pp);

// Pitch function of every frame (frames x pfLen, row-major), scaled so that
// its largest magnitude is 2^20.
std::vector<float> pitchFunction(const int32_t* x, int len, const ptParam& pp);

struct PitchCandidate {
    int32_t lag = 0;
    float value = 0.0f;  // the (clarity-weighted) pitch function at the lag
};

// Tracks the pitch of len samples into pitch (resized to the frame count and
// zeroed first). candidates, if given, receives each frame's candidates;
// pf, if given, is the precomputed pitchFunction() of the same samples.
// Returns the number of output frames (fewer after cutting leading and
// trailing zeros).
int pitchTrack(const int32_t* x, int len, const ptParam& pp, std::vector<float>& pitch,
               std::vector<std::vector<PitchCandidate>>* candidates = nullptr, const std::vector<float>* pf = nullptr);

// One step of the tracker's dynamic programming: for each current candidate
// b, best[b] = the largest (maximise) or smallest prev[a] -/+ jump cost over
// the previous candidates a, arg[b] = that a (the earliest on ties). The jump
// cost of keys ka, kb is weight * |ka - kb| (linear) or weight * (ka - kb)^2.
// Keys must rise (not strictly) in both lists; prev and prevKey not empty.
void pitchTransitions(const std::vector<double>& prev, const std::vector<int>& prevKey,
                      const std::vector<int>& curKey, double weight, bool linear, bool maximise,
                      std::vector<double>& best, std::vector<int>& arg);

// Tracks twice: the second pass searches pitchRangeMax semitones centred on
// the median of the first pass's non-zero pitches.
int pitchTrackTwoPass(const int32_t* x, int len, const ptParam& pp, std::vector<float>& pitch);

// The contour of a loaded wave: conditions it (no volume rejection, no
// spectral subtraction), sets the parameters for autocorrelation tracking
// from the rate and paramFile (optional) and runs both passes.
std::vector<float> wavePitch(SampleArray& wave, const std::string& paramFile);

}  // namespace kedo
