// Frame volume of a wave and the two small integer statistics behind it.
//
// Frames follow the front end's framing rule: for len samples, frame size
// frameSize and overlap overlap there are (len - overlap) / (frameSize - overlap)
// frames, and frame i starts at sample i * (frameSize - overlap).
#pragma once

#include <climits>
#include <cstdint>

namespace kedo {

// Volume methods of frameVolume.
enum VolumeMethod : int {
    VOL_ABS_MEDIAN = 1,  // sum of |x - median| over the frame
    VOL_SQ_MEAN = 2,     // sum of (x - mean)^2 over the frame
    VOL_LOG_SQ_MEAN = 3  // natural log of the method-2 value (-1e10 for 0)
};

// Value frameVolume's method 3 gives to a frame without energy.
inline constexpr float LOG_ZERO_VOLUME = -1e10f;
// The integer variant cannot hold -1e10 and stores the most negative value.
inline constexpr int32_t LOG_ZERO_VOLUME_INT = INT32_MIN;

// Number of frames the framing rule gives (0 when len is too short or the
// geometry is unusable: frameSize <= overlap).
int frameCount(int len, int frameSize, int overlap);

// Sum of the n values divided by n, truncating toward zero (0 for n <= 0).
int32_t intMean(const int32_t* x, int n);
// Median of n values: the element of rank (n-1)/2 for odd n; for even n the
// integer mean (truncating) of that element and the next larger rank. The
// input is not changed. 0 for n <= 0.
int32_t intMedian(const int32_t* x, int n);

// Integer variant: one value per frame into out (frameCount(...) entries,
// allocated by the caller). Sums that do not fit 32 bits saturate at
// INT32_MAX; method 3 stores the logarithm truncated to an integer
// (LOG_ZERO_VOLUME_INT for a zero sum). Another
// method is an error: "Unknown volume method=%d (line %d of file %s)".
void frameVolume(const int32_t* x, int len, int frameSize, int overlap, int32_t* out, int method);
// Float variant: the median or mean is subtracted as a float and the sum is
// accumulated in single precision. Method 3 gives -1e10 for values not above 0.
void frameVolume(const int32_t* x, int len, int frameSize, int overlap, float* out, int method);

}  // namespace kedo
