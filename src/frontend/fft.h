// In-place radix-2 complex FFT.
#pragma once

#include <vector>

namespace kedo {

// Transforms n complex values held as re[0..n-1], im[0..n-1] in place:
// bit-reversal permutation, then butterflies whose twiddle factors advance by
// the sine recurrence. Forward uses exp(-i...), inverse exp(+i...) and scales
// by 1/n. n must be a power of two (at least 2); any other n leaves the data
// unchanged.
void fftRadix2(float* re, float* im, int n, bool inverse);

// True if n is a power of two, n >= 2.
bool isPowerOfTwo(int n);

// Fast real FFT for one fixed power-of-two length, with precomputed tables.
// transform() fills spec with the unscaled DFT X[k] = sum x[j] exp(-2 pi i jk/n)
// for k = 0..n/2 as interleaved (re, im) pairs (n + 2 floats); x holds n
// values and is used as work space. n must be a power of two (at least 2);
// other lengths give a zero spectrum.
class RealFft {
public:
    explicit RealFft(int n);
    int size() const { return n_; }
    void transform(float* x, float* spec);

private:
    int n_ = 0;
    int half_ = 0;
    std::vector<int> bitrev_;       // bit reversal of the half-length transform
    std::vector<float> twRe_, twIm_;  // exp(-2 pi i k / half), k < half/2
    std::vector<float> postRe_, postIm_;  // exp(-2 pi i k / n), k <= half/2
    std::vector<float> workRe_, workIm_;
};

}  // namespace kedo
