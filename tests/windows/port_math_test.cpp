// The engine's own elementary functions: close to the C library's, exact
// where exactness matters, and the IEEE special values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "util/portable_math.h"

namespace kedo::test {
namespace {

// Distance in units in the last place between two finite doubles.
int64_t ulps(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, 8);
    std::memcpy(&ib, &b, 8);
    if (ia < 0) ia = INT64_MIN - ia;
    if (ib < 0) ib = INT64_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

template <class F, class G>
int64_t worstUlps(F mine, G reference, double lo, double hi, bool logScale = false) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(lo, hi);
    int64_t worst = 0;
    for (int i = 0; i < 200000; ++i) {
        double x = logScale ? std::exp(u(rng)) : u(rng);
        worst = std::max(worst, ulps(mine(x), reference(x)));
    }
    return worst;
}

TEST(PortableMath, StaysWithinAFewUlpsOfTheCLibrary) {
    EXPECT_LE(worstUlps([](double x) { return pm::exp(x); }, [](double x) { return std::exp(x); }, -700, 700), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::log(x); }, [](double x) { return std::log(x); }, -700, 700, true), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::log2(x); }, [](double x) { return std::log2(x); }, -700, 700, true), 3);
    EXPECT_LE(worstUlps([](double x) { return pm::log1p(x); }, [](double x) { return std::log1p(x); }, -0.999, 50), 3);
    EXPECT_LE(worstUlps([](double x) { return pm::log1p(x); }, [](double x) { return std::log1p(x); }, -1e-9, 1e-9), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::sin(x); }, [](double x) { return std::sin(x); }, -1e4, 1e4), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::cos(x); }, [](double x) { return std::cos(x); }, -1e4, 1e4), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::atan2(x, 0.37); }, [](double x) { return std::atan2(x, 0.37); }, -50, 50), 3);
    EXPECT_LE(worstUlps([](double x) { return pm::atan2(0.37, x); }, [](double x) { return std::atan2(0.37, x); }, -50, 50), 3);
    EXPECT_LE(worstUlps([](double x) { return pm::pow(x, 0.3); }, [](double x) { return std::pow(x, 0.3); }, -300, 300, true), 2);
    EXPECT_LE(worstUlps([](double x) { return pm::pow(2.0, x); }, [](double x) { return std::pow(2.0, x); }, -60, 60), 2);
    // Small arguments near where sin and cos change quadrant.
    EXPECT_LE(worstUlps([](double x) { return pm::sin(x); }, [](double x) { return std::sin(x); }, 0.7, 0.9), 1);
    EXPECT_LE(worstUlps([](double x) { return pm::cos(x); }, [](double x) { return std::cos(x); }, 1.5, 1.65), 2);
}

// Float forms: within one float step of the C library's float functions.
TEST(PortableMath, FloatFormsStayWithinOneFloatStep) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> wide(-87.0f, 88.0f), logAdd(-30.0f, 0.0f), positive(-80.0f, 80.0f);
    int worstExp = 0, worstLog = 0, worstLog1p = 0;
    auto steps = [](float a, float b) {
        int32_t ia, ib;
        std::memcpy(&ia, &a, 4);
        std::memcpy(&ib, &b, 4);
        return std::abs(ia - ib);
    };
    for (int i = 0; i < 200000; ++i) {
        float x = wide(rng);
        worstExp = std::max(worstExp, steps(pm::exp(x), std::exp(x)));
        float y = std::exp(positive(rng));
        worstLog = std::max(worstLog, steps(pm::log(y), std::log(y)));
        float d = std::exp(logAdd(rng));  // the decoder's log-add: log1p(exp(d)), d <= 0
        worstLog1p = std::max(worstLog1p, steps(pm::log1p(d), std::log1p(d)));
    }
    EXPECT_LE(worstExp, 1);
    EXPECT_LE(worstLog, 1);
    EXPECT_LE(worstLog1p, 1);
    EXPECT_EQ(pm::log1p(1e-30f), 1e-30f);
    EXPECT_EQ(pm::exp(100.0f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(pm::exp(-200.0f), 0.0f);
    EXPECT_EQ(pm::log(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(pm::log(1.0f), 0.0f);
    EXPECT_EQ(pm::log(1e-45f), std::log(1e-45f));  // the smallest subnormal
}

// The float logarithm near 1, where the result nears 0 and an absolute error
// would be a large relative one (the likelihood's log of a sum that one
// mixture dominates), and at every sixteenth of the table's octaves.
TEST(PortableMath, FloatLogStaysWithinOneStepNearOneAndAtTableEdges) {
    auto steps = [](float a, float b) {
        int32_t ia, ib;
        std::memcpy(&ia, &a, 4);
        std::memcpy(&ib, &b, 4);
        return std::abs(ia - ib);
    };
    int worst = 0;
    for (float x = 0.9f; x < 1.1f; x = std::nextafter(x, 2.0f))
        worst = std::max(worst, steps(pm::log(x), static_cast<float>(std::log(static_cast<double>(x)))));
    EXPECT_LE(worst, 1);
    worst = 0;
    for (int e = -140; e <= 120; ++e)
        for (int part = 0; part <= 16; ++part)
            for (float x : {std::ldexp(1.0f + part / 16.0f, e), std::nextafter(std::ldexp(1.0f + part / 16.0f, e), 0.0f)})
                if (x > 0 && std::isfinite(x))
                    worst = std::max(worst, steps(pm::log(x), static_cast<float>(std::log(static_cast<double>(x)))));
    EXPECT_LE(worst, 1);
}

TEST(PortableMath, ExactWhereTheEngineNeedsIt) {
    EXPECT_EQ(pm::pow(2.0, 16.0), 65536.0);
    EXPECT_EQ(pm::pow(2.0, -3.0), 0.125);
    EXPECT_EQ(pm::pow(-3.0, 3.0), -27.0);
    EXPECT_EQ(pm::pow(0.9, 0.0), 1.0);
    EXPECT_EQ(pm::log2(880.0 / 440.0), 1.0);
    EXPECT_EQ(pm::log2(1.0 / 1024), -10.0);
    EXPECT_EQ(pm::log(1.0), 0.0);
    EXPECT_EQ(pm::exp(0.0), 1.0);
    EXPECT_EQ(pm::sin(0.0), 0.0);
    EXPECT_EQ(pm::cos(0.0), 1.0);
    EXPECT_EQ(pm::log1p(0.0), 0.0);
    EXPECT_EQ(pm::atan2(0.0, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(pm::atan2(1.0, -1.0), 3 * std::atan(1.0));
    EXPECT_DOUBLE_EQ(pm::atan2(-1.0, -1.0), -3 * std::atan(1.0));
}

TEST(PortableMath, SpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(pm::log(0.0), -inf);
    EXPECT_TRUE(std::isnan(pm::log(-1.0)));
    EXPECT_EQ(pm::log(inf), inf);
    EXPECT_DOUBLE_EQ(pm::log(4.9406564584124654e-324), std::log(4.9406564584124654e-324));
    EXPECT_EQ(pm::exp(1000.0), inf);
    EXPECT_EQ(pm::exp(-1000.0), 0.0);
    EXPECT_DOUBLE_EQ(pm::exp(709.0), std::exp(709.0));
    EXPECT_GT(pm::exp(-740.0), 0.0);  // subnormal result
    EXPECT_EQ(pm::log1p(-1.0), -inf);
    EXPECT_TRUE(std::isnan(pm::log1p(-2.0)));
    EXPECT_TRUE(std::isnan(pm::sin(inf)));
    EXPECT_TRUE(std::isnan(pm::exp(std::nan(""))));
    EXPECT_TRUE(std::isnan(pm::pow(-2.0, 0.5)));
    EXPECT_EQ(pm::pow(0.0, -1.0), inf);
    EXPECT_EQ(pm::atan2(0.0, -1.0), std::atan2(0.0, -1.0));
    EXPECT_EQ(pm::atan2(-0.0, -1.0), std::atan2(-0.0, -1.0));
    EXPECT_EQ(pm::atan2(2.0, 0.0), std::atan2(2.0, 0.0));
}

}  // namespace
}  // namespace kedo::test
