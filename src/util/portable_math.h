// Elementary functions that give the same bits on every system.
//
// The C libraries of Linux and Windows round log, exp, sin, cos and pow
// differently in the last bit, which changes the printed features, scores
// and documents of a run. The engine therefore computes these functions
// itself, with IEEE double arithmetic only (+, -, *, /, and exact scaling),
// so that a run writes byte-identical files wherever it is built. Errors are
// within a few units in the last place of a double; float overloads round a
// double result once.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace kedo::pm {

double exp(double x);
double log(double x);
double log1p(double x);
double log2(double x);
double sin(double x);
double cos(double x);
double atan2(double y, double x);
// Integer exponents up to 2^31 by repeated squaring (exact for powers of
// two), others as exp(y log x) carried in extra precision.
double pow(double x, double y);

// The float forms of exp, log and log1p (the decoder's hot path) use double
// arithmetic with polynomials just long enough for a float result (relative
// error about 1e-10 before the final rounding).
float exp(float x);
inline float log(float x);
float log1p(float x);
inline float log2(float x) { return static_cast<float>(log2(static_cast<double>(x))); }
inline float sin(float x) { return static_cast<float>(sin(static_cast<double>(x))); }
inline float cos(float x) { return static_cast<float>(cos(static_cast<double>(x))); }
inline float atan2(float y, float x) {
    return static_cast<float>(atan2(static_cast<double>(y), static_cast<double>(x)));
}

namespace detail {
// ln 2 as a head with 32 significant bits (k * kLn2Hi is exact for |k| <
// 2^21) and the rest.
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;

// 1/c and log(c) for the centres c = 1 + (i + 1/2)/16 of the sixteen equal
// parts of [1, 2), for the float logarithm below.
struct LogCentre {
    double invc;
    double logc;
};
inline constexpr LogCentre kLogCentres[16] = {
    {0.9696969696969697, 0.030771658666753687},
    {0.9142857142857143, 0.08961215868968714},
    {0.8648648648648649, 0.1451820098444979},
    {0.8205128205128205, 0.19782574332991987},
    {0.7804878048780488, 0.24783616390458127},
    {0.7441860465116279, 0.2954642128938359},
    {0.7111111111111111, 0.3409265869705932},
    {0.6808510638297872, 0.38441169891033206},
    {0.6530612244897959, 0.4260843953109001},
    {0.6274509803921569, 0.46608972992459924},
    {0.6037735849056604, 0.5045560107523953},
    {0.5818181818181818, 0.5415972824327444},
    {0.5614035087719298, 0.5773153650348236},
    {0.5423728813559322, 0.6118015411059929},
    {0.5245901639344263, 0.6451379613735847},
    {0.5079365079365079, 0.6773988235918061},
};

// The two series of logOfFloat below, for a double or a vector of doubles
// (the likelihood kernel takes a state's streams together): the same
// operations in the same order, so every lane gives the scalar's bits.
// Always inlined, so that no vector crosses a call between code built for
// different instruction sets.
#define KEDO_PM_INLINE inline __attribute__((always_inline))
// c[0] x^(N-1) + ... + c[N-1] by Horner's rule.
template <class D, int N>
KEDO_PM_INLINE D horner(D x, const double (&c)[N]) {
    D v = D{} + c[0];
    for (int i = 1; i < N; ++i) v = c[i] + x * v;
    return v;
}
inline constexpr double kLogOnePlusCoefficients[7] = {-1.0 / 8, 1.0 / 7, -1.0 / 6, 1.0 / 5, -1.0 / 4, 1.0 / 3, -0.5};
inline constexpr double kLogOnePlusSmallCoefficients[5] = {-1.0 / 6, 1.0 / 5, -1.0 / 4, 1.0 / 3, -0.5};
// log(1 + f) for |f| < 1/16, to f^8.
template <class D>
KEDO_PM_INLINE D logOfOnePlus(D f) {
    return f + f * f * horner(f, kLogOnePlusCoefficients);
}
// log(1 + r) for |r| < 1/32, to r^6.
template <class D>
KEDO_PM_INLINE D logOfOnePlusSmall(D r) {
    return r + r * r * horner(r, kLogOnePlusSmallCoefficients);
}

// log(x) for a positive finite float: x = 2^k z with z in [1, 2), z = c (1 +
// r) with c the centre of z's sixteenth, |r| < 1/32, and log(1 + r) by its
// series to r^6 (error below 1e-11 against a result of at least 0.06, far
// under a float step). No division and no loop: this is the logarithm of the
// decoder's state likelihoods.
inline double logOfFloat(float x) {
    uint32_t bits = std::bit_cast<uint32_t>(x);
    int k = 0;
    if (bits < 0x00800000u) {  // subnormal: make it normal first
        bits = std::bit_cast<uint32_t>(x * 0x1p23f);
        k = -23;
    }
    k += static_cast<int>(bits >> 23) - 127;
    const unsigned part = (bits >> 19) & 15;
    if ((k == 0 && part == 0) || (k == -1 && part == 15)) {
        // x within 1/16 of 1, where log(x) nears 0: the series of log(1 + f)
        // in f = x - 1 itself (exact), to f^8, keeps the error relative.
        return logOfOnePlus(static_cast<double>(x) - 1.0);
    }
    const LogCentre& centre = kLogCentres[part];
    const double z = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
    const double r = z * centre.invc - 1.0;
    return k * (kLn2Hi + kLn2Lo) + centre.logc + logOfOnePlusSmall(r);
}
}  // namespace detail

// Inline: the state likelihood takes one per stream.
inline float log(float x) {
    if (x != x) return x;
    if (x < 0.0f) return std::numeric_limits<float>::quiet_NaN();
    if (x == 0.0f) return -std::numeric_limits<float>::infinity();
    if (x == std::numeric_limits<float>::infinity()) return x;
    return static_cast<float>(detail::logOfFloat(x));
}

}  // namespace kedo::pm
