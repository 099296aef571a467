// Radix-2 complex FFT and a table-driven real FFT.
#include "frontend/fft.h"
#include "util/portable_math.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kedo {

namespace {

void bitReverse(float* re, float* im, int n) {
    for (int i = 0, j = 0; i < n; ++i) {
        if (j > i) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
        int m = n >> 1;
        while (m >= 1 && j >= m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
}

}  // namespace

bool isPowerOfTwo(int n) { return n >= 2 && (n & (n - 1)) == 0; }

void fftRadix2(float* re, float* im, int n, bool inverse) {
    if (!isPowerOfTwo(n)) return;
    bitReverse(re, im, n);
    const double sign = inverse ? 1.0 : -1.0;
    for (int half = 1; half < n; half <<= 1) {
        double theta = sign * M_PI / half;
        double wtemp = pm::sin(0.5 * theta);
        double wpr = -2.0 * wtemp * wtemp;
        double wpi = pm::sin(theta);
        double wr = 1.0, wi = 0.0;
        for (int m = 0; m < half; ++m) {
            for (int i = m; i < n; i += 2 * half) {
                int j = i + half;
                float tr = static_cast<float>(wr * re[j] - wi * im[j]);
                float ti = static_cast<float>(wr * im[j] + wi * re[j]);
                re[j] = re[i] - tr;
                im[j] = im[i] - ti;
                re[i] += tr;
                im[i] += ti;
            }
            wtemp = wr;
            wr = wr * wpr - wi * wpi + wr;
            wi = wi * wpr + wtemp * wpi + wi;
        }
    }
    if (inverse) {
        float scale = 1.0f / static_cast<float>(n);
        for (int i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
}

RealFft::RealFft(int n) : n_(n), half_(n / 2) {
    if (!isPowerOfTwo(n) || n < 4) return;
    bitrev_.resize(half_);
    for (int i = 0, j = 0; i < half_; ++i) {
        bitrev_[i] = j;
        int m = half_ >> 1;
        while (m >= 1 && j >= m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
    twRe_.resize(half_ / 2 + 1);
    twIm_.resize(half_ / 2 + 1);
    for (int k = 0; k <= half_ / 2; ++k) {
        double a = -2.0 * M_PI * k / half_;
        twRe_[k] = static_cast<float>(pm::cos(a));
        twIm_[k] = static_cast<float>(pm::sin(a));
    }
    postRe_.resize(half_ + 1);
    postIm_.resize(half_ + 1);
    for (int k = 0; k <= half_; ++k) {
        double a = -2.0 * M_PI * k / n_;
        postRe_[k] = static_cast<float>(pm::cos(a));
        postIm_[k] = static_cast<float>(pm::sin(a));
    }
    workRe_.resize(half_);
    workIm_.resize(half_);
}

void RealFft::transform(float* x, float* spec) {
    if (n_ == 2) {
        spec[0] = x[0] + x[1];
        spec[1] = 0.0f;
        spec[2] = x[0] - x[1];
        spec[3] = 0.0f;
        return;
    }
    if (bitrev_.empty()) {  // not a power of two
        std::fill(spec, spec + n_ + 2, 0.0f);
        return;
    }
    const int h = half_;
    float* zr = workRe_.data();
    float* zi = workIm_.data();
    // Even samples as real parts, odd samples as imaginary parts, in
    // bit-reversed order for the half-length complex transform.
    for (int i = 0; i < h; ++i) {
        int j = bitrev_[i];
        zr[i] = x[2 * j];
        zi[i] = x[2 * j + 1];
    }
    for (int len = 1; len < h; len <<= 1) {
        int step = h / (2 * len);
        for (int i = 0; i < h; i += 2 * len) {
            for (int m = 0; m < len; ++m) {
                float wr = twRe_[m * step], wi = twIm_[m * step];
                int a = i + m, b = a + len;
                float tr = wr * zr[b] - wi * zi[b];
                float ti = wr * zi[b] + wi * zr[b];
                zr[b] = zr[a] - tr;
                zi[b] = zi[a] - ti;
                zr[a] += tr;
                zi[a] += ti;
            }
        }
    }
    // Split the half-length spectrum into the spectrum of the real signal.
    for (int k = 0; k <= h; ++k) {
        int k1 = k == h ? 0 : k;
        int k2 = k == 0 ? 0 : h - k;
        float ar = zr[k1], ai = zi[k1];
        float br = zr[k2], bi = -zi[k2];  // conj(Z[h-k])
        float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        float dr = ar - br, di = ai - bi;  // Z[k] - conj(Z[h-k])
        float orr = 0.5f * di, oi = -0.5f * dr;  // divided by 2i
        float wr = postRe_[k], wi = postIm_[k];
        spec[2 * k] = er + wr * orr - wi * oi;
        spec[2 * k + 1] = ei + wr * oi + wi * orr;
    }
}

}  // namespace kedo
