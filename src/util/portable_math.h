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
float log(float x);
float log1p(float x);
inline float log2(float x) { return static_cast<float>(log2(static_cast<double>(x))); }
inline float sin(float x) { return static_cast<float>(sin(static_cast<double>(x))); }
inline float cos(float x) { return static_cast<float>(cos(static_cast<double>(x))); }
inline float atan2(float y, float x) {
    return static_cast<float>(atan2(static_cast<double>(y), static_cast<double>(x)));
}

}  // namespace kedo::pm
