// Frame volume and the integer mean and median.
#include "frontend/frame_volume.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "util/report_error.h"
#include "util/portable_math.h"

namespace kedo {

namespace {

// Median of a scratch copy (reordered in place).
int32_t medianInPlace(int32_t* v, int n) {
    int mid = (n - 1) / 2;
    std::nth_element(v, v + mid, v + n);
    int32_t a = v[mid];
    if (n % 2 == 1) return a;
    int32_t b = *std::min_element(v + mid + 1, v + n);
    return static_cast<int32_t>((static_cast<int64_t>(a) + b) / 2);
}

int32_t saturate(int64_t v) {
    return v > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(v);
}

[[noreturn]] void unknownMethod(int method) {
    // The line number is part of the message users know.
    reportError(strFormat("Unknown volume method=%d (line %d of file %s)", method, 437, "audio"));
}

int64_t sumAbsMedian(const int32_t* f, int n, std::vector<int32_t>& scratch) {
    scratch.assign(f, f + n);
    int64_t med = medianInPlace(scratch.data(), n);
    int64_t sum = 0;
    for (int j = 0; j < n; ++j) sum += std::llabs(f[j] - med);
    return sum;
}

int64_t sumSqMean(const int32_t* f, int n) {
    int64_t mean = intMean(f, n);
    int64_t sum = 0;
    for (int j = 0; j < n; ++j) {
        int64_t d = f[j] - mean;
        sum += d * d;
    }
    return sum;
}

}  // namespace

int frameCount(int len, int frameSize, int overlap) {
    int hop = frameSize - overlap;
    if (hop <= 0 || frameSize <= 0 || len - overlap <= 0) return 0;
    return (len - overlap) / hop;
}

int32_t intMean(const int32_t* x, int n) {
    if (n <= 0) return 0;
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) sum += x[i];
    return static_cast<int32_t>(sum / n);
}

int32_t intMedian(const int32_t* x, int n) {
    if (n <= 0) return 0;
    std::vector<int32_t> copy(x, x + n);
    return medianInPlace(copy.data(), n);
}

void frameVolume(const int32_t* x, int len, int frameSize, int overlap, int32_t* out, int method) {
    if (method < VOL_ABS_MEDIAN || method > VOL_LOG_SQ_MEAN) unknownMethod(method);
    int frames = frameCount(len, frameSize, overlap);
    int hop = frameSize - overlap;
    std::vector<int32_t> scratch;
    for (int i = 0; i < frames; ++i) {
        const int32_t* f = x + static_cast<int64_t>(i) * hop;
        if (method == VOL_ABS_MEDIAN) {
            out[i] = saturate(sumAbsMedian(f, frameSize, scratch));
        } else {
            int64_t sum = sumSqMean(f, frameSize);
            if (method == VOL_SQ_MEAN)
                out[i] = saturate(sum);
            else
                out[i] = sum == 0 ? LOG_ZERO_VOLUME_INT
                                  : static_cast<int32_t>(pm::log(static_cast<double>(sum)));
        }
    }
}

void frameVolume(const int32_t* x, int len, int frameSize, int overlap, float* out, int method) {
    if (method < VOL_ABS_MEDIAN || method > VOL_LOG_SQ_MEAN) unknownMethod(method);
    int frames = frameCount(len, frameSize, overlap);
    int hop = frameSize - overlap;
    std::vector<int32_t> scratch;
    for (int i = 0; i < frames; ++i) {
        const int32_t* f = x + static_cast<int64_t>(i) * hop;
        float sum = 0.0f;
        if (method == VOL_ABS_MEDIAN) {
            scratch.assign(f, f + frameSize);
            float med = static_cast<float>(medianInPlace(scratch.data(), frameSize));
            for (int j = 0; j < frameSize; ++j) sum += std::fabs(static_cast<float>(f[j]) - med);
        } else {
            float mean = static_cast<float>(intMean(f, frameSize));
            for (int j = 0; j < frameSize; ++j) {
                float d = static_cast<float>(f[j]) - mean;
                sum += d * d;
            }
            if (method == VOL_LOG_SQ_MEAN) sum = sum > 0.0f ? pm::log(sum) : LOG_ZERO_VOLUME;
        }
        out[i] = sum;
    }
}

}  // namespace kedo
