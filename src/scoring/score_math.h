// Small numeric helpers of the scoring code.
#pragma once

#include <cmath>
#include <cstdint>

namespace kedo {

// Converts by truncation toward zero, saturating at the 32-bit limits; NaN
// gives 0. Volume values are written and compared as such integers.
inline int32_t truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace kedo
