// The radix-2 complex FFT and the real FFT against a direct DFT.
#include "frontend/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace kedo {
namespace {

std::vector<std::complex<double>> dft(const std::vector<std::complex<double>>& x, int sign) {
    int n = static_cast<int>(x.size());
    std::vector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j) out[k] += x[j] * std::polar(1.0, sign * 2.0 * M_PI * j * k / n);
    return out;
}

TEST(Fft, ComplexMatchesDirectTransformBothWays) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1000, 1000);
    for (int n : {2, 8, 64, 512}) {
        std::vector<float> re(n), im(n);
        std::vector<std::complex<double>> x(n);
        for (int i = 0; i < n; ++i) {
            re[i] = static_cast<float>(u(rng));
            im[i] = static_cast<float>(u(rng));
            x[i] = {re[i], im[i]};
        }
        std::vector<std::complex<double>> want = dft(x, -1);
        fftRadix2(re.data(), im.data(), n, false);
        for (int k = 0; k < n; ++k) {
            EXPECT_NEAR(re[k], want[k].real(), 1e-3 * n) << n << " " << k;
            EXPECT_NEAR(im[k], want[k].imag(), 1e-3 * n) << n << " " << k;
        }
        fftRadix2(re.data(), im.data(), n, true);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(re[i], x[i].real(), 1e-2);
            EXPECT_NEAR(im[i], x[i].imag(), 1e-2);
        }
    }
}

TEST(Fft, OtherLengthsLeaveDataUnchanged) {
    std::vector<float> re = {1, 2, 3, 4, 5, 6}, im(6, 0.5f);
    fftRadix2(re.data(), im.data(), 6, false);
    EXPECT_EQ(re, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(im, std::vector<float>(6, 0.5f));
}

TEST(Fft, RealTransformMatchesDirectTransform) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-30000, 30000);
    for (int n : {2, 4, 16, 512, 1024}) {
        RealFft fft(n);
        std::vector<float> x(n), spec(n + 2);
        std::vector<std::complex<double>> xc(n);
        for (int i = 0; i < n; ++i) xc[i] = x[i] = static_cast<float>(u(rng));
        std::vector<std::complex<double>> want = dft(xc, -1);
        fft.transform(x.data(), spec.data());
        double scale = 30000.0 * std::sqrt(n);
        for (int k = 0; k <= n / 2; ++k) {
            EXPECT_NEAR(spec[2 * k], want[k].real(), 1e-5 * scale) << n << " " << k;
            EXPECT_NEAR(spec[2 * k + 1], want[k].imag(), 1e-5 * scale) << n << " " << k;
        }
    }
}

}  // namespace
}  // namespace kedo
