// Elementary functions from IEEE double arithmetic alone: argument reduction
// with constants split so that their products with the reduction multiple are
// exact, then Taylor polynomials short enough for the reduced range.
#include "util/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kedo::pm {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using detail::kLn2Hi;
using detail::kLn2Lo;
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kSqrt2 = 1.41421356237309514547e+00;

// pi/2 in three pieces of 33 bits each.
constexpr double kPio2_1 = 1.57079632673412561417e+00;
constexpr double kPio2_2 = 6.07710050630396597660e-11;
constexpr double kPio2_3 = 2.02226624871116645580e-21;
constexpr double kInvPio2 = 6.36619772367581382433e-01;
constexpr double kPi = 3.14159265358979311600e+00;
constexpr double kPio2 = 1.57079632679489655800e+00;
constexpr double kPio6 = 5.23598775598298815658e-01;
constexpr double kSqrt3 = 1.73205080756887719318e+00;
constexpr double kTanPi12 = 2.67949192431122695530e-01;

bool isNaN(double x) { return x != x; }

// The nearest integer (halves away from zero) of |v| < 2^62, exactly, without
// a library call.
double roundNearest(double v) { return static_cast<double>(static_cast<int64_t>(v + (v < 0.0 ? -0.5 : 0.5))); }

// v * 2^k with exact scaling steps.
double scale2(double v, int k) {
    while (k > 1023) {
        v *= 0x1p1023;
        k -= 1023;
    }
    while (k < -1022) {
        v *= 0x1p-1022;
        k += 1022;
    }
    return v * std::bit_cast<double>(static_cast<uint64_t>(k + 1023) << 52);
}

// x = m * 2^k with m in (sqrt(1/2), sqrt(2)]; x finite and positive.
double splitLog(double x, int& k) {
    k = 0;
    if (x < 0x1p-1022) {  // subnormal: make it normal first
        x *= 0x1p54;
        k = -54;
    }
    uint64_t bits = std::bit_cast<uint64_t>(x);
    k += static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    if (m > kSqrt2) {
        m *= 0.5;
        ++k;
    }
    return m;
}

// log(1 + f) for 1 + f in (sqrt(1/2), sqrt(2)], without the last addition of
// f: returns the correction c with log(1 + f) = f - c.
double logCorrection(double f) {
    const double s = f / (2.0 + f);
    const double z = s * s;
    // R = 2z/3 + 2z^2/5 + ... + 2z^11/23 (the series of 2 atanh(s) / s - 2).
    double r = 2.0 / 23;
    r = 2.0 / 21 + z * r;
    r = 2.0 / 19 + z * r;
    r = 2.0 / 17 + z * r;
    r = 2.0 / 15 + z * r;
    r = 2.0 / 13 + z * r;
    r = 2.0 / 11 + z * r;
    r = 2.0 / 9 + z * r;
    r = 2.0 / 7 + z * r;
    r = 2.0 / 5 + z * r;
    r = 2.0 / 3 + z * r;
    r *= z;
    const double hfsq = 0.5 * f * f;
    return hfsq - s * (hfsq + r);
}

// sin(r) and cos(r) for |r| <= pi/4.
double sinKernel(double r) {
    const double z = r * r;
    double p = 1.0 / 355687428096000.0;
    p = -1.0 / 1307674368000.0 + z * p;
    p = 1.0 / 6227020800.0 + z * p;
    p = -1.0 / 39916800.0 + z * p;
    p = 1.0 / 362880.0 + z * p;
    p = -1.0 / 5040.0 + z * p;
    p = 1.0 / 120.0 + z * p;
    p = -1.0 / 6.0 + z * p;
    return r + r * z * p;
}

double cosKernel(double r) {
    const double z = r * r;
    double p = -1.0 / 6402373705728000.0;
    p = 1.0 / 20922789888000.0 + z * p;
    p = -1.0 / 87178291200.0 + z * p;
    p = 1.0 / 479001600.0 + z * p;
    p = -1.0 / 3628800.0 + z * p;
    p = 1.0 / 40320.0 + z * p;
    p = -1.0 / 720.0 + z * p;
    p = 1.0 / 24.0 + z * p;
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + z * z * p);
}

// x = k pi/2 + r with |r| <= about pi/4; exact enough for |x| < 2^20 pi/2
// (every angle the engine uses), still deterministic beyond (and 0 from
// 2^60 on, where a double holds no fraction of a turn).
double reducePio2(double x, int& quadrant) {
    if (!(std::fabs(x) < 0x1p60)) {
        quadrant = 0;
        return 0.0;  // no meaningful angle is left at this size
    }
    const double k = roundNearest(x * kInvPio2);
    quadrant = static_cast<int>(static_cast<int64_t>(k) & 3);
    return ((x - k * kPio2_1) - k * kPio2_2) - k * kPio2_3;
}

// atan(t) for 0 <= t <= tan(pi/12): t - t^3/3 + ... - t^27/27 + t^29/29.
double atanKernel(double t) {
    const double z = t * t;
    double p = 1.0 / 29;
    for (int n = 27; n >= 3; n -= 2) p = ((n / 2) % 2 == 1 ? -1.0 : 1.0) / n + z * p;
    return t + t * z * p;
}

double atanPositive(double a) {
    if (a > 1.0) return kPio2 - atanPositive(1.0 / a);
    if (a > kTanPi12) return kPio6 + atanKernel((a * kSqrt3 - 1.0) / (a + kSqrt3));
    return atanKernel(a);
}

// log(x) as an unevaluated sum hi + lo, about 2^-60 relative; x finite, > 0.
void logTwoPart(double x, double& hi, double& lo) {
    int k = 0;
    const double f = splitLog(x, k) - 1.0;
    const double c = logCorrection(f);
    const double t = f - c;
    const double tErr = (f - t) - c;
    const double a = k * kLn2Hi;
    const double s = a + t;
    const double bb = s - a;
    const double sErr = (a - (s - bb)) + (t - bb);
    const double l = tErr + sErr + k * kLn2Lo;
    hi = s + l;
    lo = l - (hi - s);
}

// The rounding error of the product p = a * b (Dekker), for |a|, |b| far
// from overflow.
double productError(double a, double b, double p) {
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ta = kSplit * a, tb = kSplit * b;
    const double aHi = ta - (ta - a), aLo = a - aHi;
    const double bHi = tb - (tb - b), bLo = b - bHi;
    return ((aHi * bHi - p) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

// e^(x + tail), |tail| tiny against x.
double expTwoPart(double x, double tail) {
    if (isNaN(x)) return x;
    if (x > 709.782712893383973096) return kInf;
    if (x < -745.13321910194110842) return 0.0;
    const double k = roundNearest(x * kInvLn2);
    const double r = ((x - k * kLn2Hi) - k * kLn2Lo) + tail;
    // e^r = 1 + r + r^2/2! + ... + r^13/13!, |r| <= ln2/2.
    double p = 1.0 / 6227020800.0;
    p = 1.0 / 479001600.0 + r * p;
    p = 1.0 / 39916800.0 + r * p;
    p = 1.0 / 3628800.0 + r * p;
    p = 1.0 / 362880.0 + r * p;
    p = 1.0 / 40320.0 + r * p;
    p = 1.0 / 5040.0 + r * p;
    p = 1.0 / 720.0 + r * p;
    p = 1.0 / 120.0 + r * p;
    p = 1.0 / 24.0 + r * p;
    p = 1.0 / 6.0 + r * p;
    p = 0.5 + r * p;
    const double e = 1.0 + (r + r * r * p);
    return scale2(e, static_cast<int>(k));
}

}  // namespace

double exp(double x) { return expTwoPart(x, 0.0); }

double log(double x) {
    if (isNaN(x)) return x;
    if (x < 0.0) return kNaN;
    if (x == 0.0) return -kInf;
    if (x == kInf) return x;
    int k = 0;
    const double f = splitLog(x, k) - 1.0;
    const double dk = k;
    return dk * kLn2Hi + ((f - (logCorrection(f) - dk * kLn2Lo)));
}

double log1p(double x) {
    if (isNaN(x) || x == kInf) return x;
    if (x < -1.0) return kNaN;
    if (x == -1.0) return -kInf;
    const double u = 1.0 + x;
    if (u == 1.0) return x;
    // The rounding of 1 + x is undone by the ratio x / (u - 1).
    return log(u) * (x / (u - 1.0));
}

double log2(double x) {
    if (isNaN(x)) return x;
    if (x < 0.0) return kNaN;
    if (x == 0.0) return -kInf;
    if (x == kInf) return x;
    int k = 0;
    const double f = splitLog(x, k) - 1.0;
    return k + (f - logCorrection(f)) * kInvLn2;
}

double sin(double x) {
    if (isNaN(x) || x == kInf || x == -kInf) return kNaN;
    if (x > -0x1p-27 && x < 0x1p-27) return x;
    int q = 0;
    const double r = reducePio2(x, q);
    switch (q) {
        case 0: return sinKernel(r);
        case 1: return cosKernel(r);
        case 2: return -sinKernel(r);
        default: return -cosKernel(r);
    }
}

double cos(double x) {
    if (isNaN(x) || x == kInf || x == -kInf) return kNaN;
    int q = 0;
    const double r = reducePio2(x, q);
    switch (q) {
        case 0: return cosKernel(r);
        case 1: return -sinKernel(r);
        case 2: return -cosKernel(r);
        default: return sinKernel(r);
    }
}

double atan2(double y, double x) {
    if (isNaN(x) || isNaN(y)) return kNaN;
    if (x == 0.0) {
        if (y == 0.0) return std::signbit(x) ? std::copysign(kPi, y) : y;
        return y > 0.0 ? kPio2 : -kPio2;
    }
    const double t = y / x;
    const double a = std::copysign(atanPositive(std::fabs(t)), t);
    if (x > 0.0) return a;
    return std::signbit(y) ? a - kPi : a + kPi;
}

double pow(double x, double y) {
    if (y == 0.0 || x == 1.0) return 1.0;
    if (isNaN(x) || isNaN(y)) return kNaN;
    const bool integer = std::floor(y) == y;
    if (integer && std::fabs(y) <= 2147483648.0) {
        // Repeated squaring: exact for powers of two, a few roundings else.
        uint64_t n = static_cast<uint64_t>(std::fabs(y));
        double base = x, result = 1.0;
        while (n != 0) {
            if (n & 1) result *= base;
            n >>= 1;
            if (n != 0) base *= base;
        }
        return y < 0.0 ? 1.0 / result : result;
    }
    if (x < 0.0) return integer ? pow(-x, y) : kNaN;  // huge even integer or no real power
    if (x == 0.0) return y > 0.0 ? 0.0 : kInf;
    if (x == kInf) return y > 0.0 ? kInf : 0.0;
    // y log(x) with the rounding errors of the logarithm and the product
    // carried into the exponential.
    double hi = 0, lo = 0;
    logTwoPart(x, hi, lo);
    const double p = y * hi;
    if (!(std::fabs(p) < 800.0)) return p > 0 ? kInf : 0.0;
    return expTwoPart(p, productError(y, hi, p) + y * lo);
}

namespace {

// e^x for a float argument, |x| < 104: Taylor to r^8, |r| <= ln2/2.
double expForFloat(double x) {
    const double k = roundNearest(x * kInvLn2);
    const double r = x - k * (kLn2Hi + kLn2Lo);
    double p = 1.0 / 40320.0;
    p = 1.0 / 5040.0 + r * p;
    p = 1.0 / 720.0 + r * p;
    p = 1.0 / 120.0 + r * p;
    p = 1.0 / 24.0 + r * p;
    p = 1.0 / 6.0 + r * p;
    p = 0.5 + r * p;
    return scale2(1.0 + (r + r * r * p), static_cast<int>(k));
}

// log(x) for a positive finite x that came from a float: the series of
// 2 atanh(s) to s^11.
double logForFloat(double x) {
    int k = 0;
    const double f = splitLog(x, k) - 1.0;
    const double s = f / (2.0 + f);
    const double z = s * s;
    double r = 2.0 / 11;
    r = 2.0 / 9 + z * r;
    r = 2.0 / 7 + z * r;
    r = 2.0 / 5 + z * r;
    r = 2.0 / 3 + z * r;
    r *= z;
    const double hfsq = 0.5 * f * f;
    return k * (kLn2Hi + kLn2Lo) + (f - (hfsq - s * (hfsq + r)));
}


}  // namespace

float exp(float x) {
    if (x != x) return x;
    if (x > 89.0f) return std::numeric_limits<float>::infinity();
    if (x < -104.0f) return 0.0f;
    return static_cast<float>(expForFloat(x));
}

float log1p(float x) {
    if (x != x || x == std::numeric_limits<float>::infinity()) return x;
    if (x < -1.0f) return std::numeric_limits<float>::quiet_NaN();
    if (x == -1.0f) return -std::numeric_limits<float>::infinity();
    const double u = 1.0 + static_cast<double>(x);
    if (u == 1.0) return x;
    return static_cast<float>(logForFloat(u) * (static_cast<double>(x) / (u - 1.0)));
}

}  // namespace kedo::pm
