// MFCC extraction, feature file, and comparison with the NumPy reference.
#include "frontend/mfcc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "kedo/error.h"
#include "signals.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::TempDir;

struct Mfcc {
    CFeaBuf buf;
    int frames = 0, dim = 0;
};

Mfcc run(const std::vector<int32_t>& x, const std::string& cfgText, const TempDir& dir) {
    std::string cfg = dir.file("mfcc.cfg");
    test::writeFile(cfg, cfgText);
    Mfcc m;
    computeMfcc(m.buf, x.data(), 16000, 16, static_cast<int>(x.size()), cfg, m.frames, m.dim);
    return m;
}

TEST(Mfcc, DefaultGeometryAndFrameCounts) {
    TempDir dir;
    for (auto [len, frames] : {std::pair{320, 1}, {479, 1}, {480, 2}, {319, 0}, {16000, 99}}) {
        Mfcc m = run(test::whiteNoise(len, 1000), "", dir);
        EXPECT_EQ(m.frames, frames) << len;
        EXPECT_EQ(m.dim, 39);
        EXPECT_EQ(m.buf.m_fea.size(), static_cast<size_t>(frames) * 39);
    }
    Mfcc m = run(test::whiteNoise(400, 1000), "", dir);
    EXPECT_EQ(m.buf.m_frameLen, 320);
    EXPECT_EQ(m.buf.m_frameStep, 160);
    EXPECT_EQ(m.buf.m_samplePeriod, 625);
    EXPECT_EQ(m.buf.m_melBank.fftN, 512);
    EXPECT_EQ(m.buf.m_melBank.klo, 2);
    EXPECT_EQ(m.buf.m_melBank.khi, 256);
    EXPECT_EQ(m.buf.m_melBank.numChans, 26);
}

TEST(Mfcc, SilentFrameAndEnergyNormalisation) {
    TempDir dir;
    // Without normalisation a zero frame has zero cepstra and energy -1e10.
    Mfcc raw = run(std::vector<int32_t>(320, 0), "ENORMALISE=F\nTARGETKIND=MFCC_E\n", dir);
    ASSERT_EQ(raw.frames, 1);
    for (int j = 0; j < 12; ++j) EXPECT_EQ(raw.buf.m_fea[j], 0.0f);
    EXPECT_EQ(raw.buf.m_fea[12], -1.0e10f);

    // Speech-like loudness changes: the normalised energy peaks at exactly 1
    // and never goes below the silence floor.
    std::vector<int32_t> x = test::harmonicTone(8000, 16000, 150, 150, 5, 8000);
    for (int i = 0; i < 3000; ++i) x[i] = 0;
    Mfcc m = run(x, "", dir);
    float top = -1e30f, bottom = 1e30f;
    for (int t = 0; t < m.frames; ++t) {
        top = std::max(top, m.buf.m_fea[t * 39 + 12]);
        bottom = std::min(bottom, m.buf.m_fea[t * 39 + 12]);
    }
    EXPECT_EQ(top, 1.0f);
    EXPECT_GE(bottom, 1.0f - 50.0f * std::log(10.0f) / 10.0f * 0.1f - 1e-6f);
    EXPECT_LT(bottom, 0.0f);
}

TEST(Mfcc, RegressionOfConstantColumnIsZero) {
    std::vector<float> m(5 * 4, 3.5f);
    regressionDifferences(m.data(), 5, 4, 0, 2, 2, 2);
    for (int t = 0; t < 5; ++t) {
        EXPECT_EQ(m[t * 4 + 2], 0.0f);
        EXPECT_EQ(m[t * 4 + 3], 0.0f);
    }
    // A ramp 0,1,2,3,4 with window 1: ends use the replicated frame.
    std::vector<float> r = {0, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    regressionDifferences(r.data(), 5, 2, 0, 1, 1, 1);
    EXPECT_FLOAT_EQ(r[1], 0.5f);
    EXPECT_FLOAT_EQ(r[5], 1.0f);
    EXPECT_FLOAT_EQ(r[9], 0.5f);
}

TEST(Mfcc, MeanSubtractionAndC0) {
    TempDir dir;
    std::vector<int32_t> x = test::chirp(4000, 16000, 200, 3000, 5000);
    Mfcc z = run(x, "TARGETKIND=MFCC_E_D_A_Z\n", dir);
    for (int j = 0; j < 12; ++j) {
        double sum = 0;
        for (int t = 0; t < z.frames; ++t) sum += z.buf.m_fea[t * 39 + j];
        EXPECT_NEAR(sum / z.frames, 0.0, 1e-3) << j;
    }
    Mfcc c0 = run(x, "TARGETKIND=MFCC_0_D_A\n", dir);
    EXPECT_EQ(c0.dim, 39);
    EXPECT_GT(c0.buf.m_fea[12], 10.0f);  // sum of log channel energies, scaled
}

TEST(Mfcc, LayoutsOutsideTheFixedColumnsAreRefused) {
    TempDir dir;
    std::vector<int32_t> x = test::whiteNoise(1600, 1000);
    for (const char* cfg : {"NUMCEPS=13\n", "TARGETKIND=MFCC_0_E_D_A\n", "TARGETKIND=MFCC_D\n",
                            "TARGETKIND=MFCC_E_A\n", "NUMCHANS=0\n", "WINDOWSIZE=0\n", "TARGETRATE=-5\n",
                            "DELTAWINDOW=0\n"}) {
        try {
            run(x, cfg, dir);
            ADD_FAILURE() << "accepted " << cfg;
        } catch (const KedoError& e) {
            EXPECT_NE(std::string(e.what()).find("mfcc.cfg"), std::string::npos) << e.what();
        }
    }
    // A one-sample window (2-point transform, no filter-bank bin) still works.
    EXPECT_EQ(run(x, "WINDOWSIZE=650\n", dir).frames, 10);
    // Plain MFCC_E (13 values) and MFCC (12) need no fixed difference columns.
    EXPECT_EQ(run(x, "TARGETKIND=MFCC_E\n", dir).dim, 13);
    EXPECT_EQ(run(x, "TARGETKIND=MFCC\n", dir).dim, 12);
}

TEST(Mfcc, MissingConfigPrintsNoticesAndUsesDefaults) {
    TempDir dir;
    std::vector<int32_t> x = test::whiteNoise(1600, 1000);
    CFeaBuf buf;
    int frames = 0, dim = 0;
    testing::internal::CaptureStdout();
    computeMfcc(buf, x.data(), 16000, 16, 1600, dir.file("none.cfg"), frames, dim);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Cannot open " + dir.file("none.cfg") + " (line 129, file CMel)\n"), std::string::npos);
    EXPECT_NE(out.find("Can't open config file " + dir.file("none.cfg") + " \n"), std::string::npos);
    EXPECT_EQ(dim, 39);
    EXPECT_EQ(frames, 9);
}

TEST(Mfcc, FeatureFileLayoutAndErrors) {
    TempDir dir;
    Mfcc m = run(test::whiteNoise(480, 1000), "", dir);
    ASSERT_EQ(m.frames, 2);
    m.buf.m_fea[0] = 1.5f;
    m.buf.m_fea[1] = 1234567.0f;
    m.buf.write2bin(dir.file("out.fea"));
    std::string text = test::readFile(dir.file("out.fea"));
    std::istringstream lines(text);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 39);
        EXPECT_EQ(line.back(), ' ');
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(text.rfind("1.5 1.23457e+06 ", 0), 0u);

    EXPECT_THROW(m.buf.write2bin(dir.file("no/such/dir/out.fea")), KedoError);
    CFeaBuf empty;
    try {
        empty.write2bin(dir.file("empty.fea"));
        ADD_FAILURE();
    } catch (const KedoError& e) {
        EXPECT_STREQ(e.what(), "[ERRMSG] CFeaBuf::write2bin => Write frame number error! ");
    }
}

// Runs the NumPy reference on a wave and returns the worst deviation
// (relative, or absolute where the reference is within 1 of zero).
// settings: the reference's own, cfgText: the same in the engine's terms.
double worstDeviation(const std::vector<int32_t>& x, const TempDir& dir, const std::string& name,
                      const std::string& settings = "", const std::string& cfgText = "") {
    std::string raw = dir.file(name + ".raw"), ref = dir.file(name + ".ref");
    test::writeRaw16(raw, x);
    test::CliResult r = test::runShell("/usr/bin/python3 '" + std::string(KEDO_SOURCE_DIR) +
                                       "/tests/frontend/mfcc_reference.py' '" + raw + "' 16000 '" + ref + "' " +
                                       settings);
    EXPECT_EQ(r.status, 0) << r.err;
    Mfcc m = run(x, cfgText, dir);
    std::ifstream in(ref);
    double worst = 0.0;
    int count = 0;
    for (size_t i = 0; i < m.buf.m_fea.size(); ++i) {
        double want;
        if (!(in >> want)) break;
        ++count;
        double err = std::fabs(m.buf.m_fea[i] - want) / std::max(1.0, std::fabs(want));
        worst = std::max(worst, err);
    }
    EXPECT_EQ(count, static_cast<int>(m.buf.m_fea.size())) << name;
    return worst;
}

TEST(Mfcc, AgreesWithIndependentReference) {
    TempDir dir;
    std::vector<int32_t> speech = test::synthSpeech(dir, "The quick brown fox jumps over the lazy dog.");
    ASSERT_GT(speech.size(), 16000u) << "espeak-ng or sox failed";
    double worst = 0.0;
    worst = std::max(worst, worstDeviation(speech, dir, "speech"));
    worst = std::max(worst, worstDeviation(test::whiteNoise(16000, 3000), dir, "noise"));
    worst = std::max(worst, worstDeviation(test::chirp(24000, 16000, 50, 7900, 12000), dir, "chirp"));
    std::printf("worst deviation from the reference: %.3g\n", worst);
    EXPECT_LT(worst, 1e-3);
}

// Each setting away from its default, one at a time, on speech.
TEST(Mfcc, AgreesWithIndependentReferenceUnderOtherSettings) {
    TempDir dir;
    std::vector<int32_t> speech = test::synthSpeech(dir, "Seven bright lamps.");
    ASSERT_GT(speech.size(), 8000u) << "espeak-ng or sox failed";
    const std::pair<const char*, const char*> cases[] = {
        {"power=1", "USEPOWER=T\n"},
        {"lo=300 hi=3400", "LOFREQ=300\nHIFREQ=3400\n"},
        {"lifter=0", "CEPLIFTER=0\n"},
        {"lifter=10", "CEPLIFTER=10\n"},
        {"hamming=0", "USEHAMMING=F\n"},
        {"enormalise=0", "ENORMALISE=FALSE\n"},
        {"c0=1", "TARGETKIND=MFCC_0_D_A\n"},
    };
    for (const auto& [settings, cfg] : cases)
        EXPECT_LT(worstDeviation(speech, dir, "speech", settings, cfg), 1e-3) << settings;
}

}  // namespace
}  // namespace kedo
