// What the documentation promises about --outdir, decode's logProb and the
// feature configuration file.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

const std::string kEnglish = kSamples + "/english.wav";

TEST(Documented, OutdirIsCreatedWithItsParents) {
    BundledHome home;
    TempDir d;
    const std::string outdir = d.file("a/b/c");
    CliResult r = runShell("cd " + q(home.path()) + " && " + q(KEDO_CLI_PATH) +
                           " decode --prm kedoData/english.vc.prm --wav " + q(kEnglish) + " --txt " +
                           q(kSamples + "/english_list.txt") + " --outdir " + q(outdir));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(outdir + "/arenaSylPath.txt"));
    // A file in the way is reported, not run into.
    writeFile(d.file("plain"), "x");
    r = runShell("cd " + q(home.path()) + " && " + q(KEDO_CLI_PATH) + " decode --prm kedoData/english.vc.prm --wav " +
                 q(kEnglish) + " --txt 'good' --outdir " + q(d.file("plain/out")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Cannot create the output folder " + d.file("plain/out"))) << r.err;
}

// logProb belongs to a complete path; the dump may list incomplete ones
// above it, never a complete one.
TEST(Documented, DecodeLogProbIsAmongTheDumpedCandidates) {
    BundledHome home;
    TempDir d;
    CliResult r = runShell("cd " + q(home.path()) + " && " + q(KEDO_CLI_PATH) +
                           " decode --prm kedoData/english.vc.prm --wav " + q(kEnglish) + " --txt " +
                           q(kSamples + "/english_list.txt") + " --outdir " + q(d.path()));
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t at = r.out.rfind("logProb=");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double logProb = std::stod(r.out.substr(at + 8));
    std::istringstream dump(readFile(d.file("arenaSylPath.txt")));
    std::string line;
    bool found = false;
    double first = 0;
    for (int n = 0; std::getline(dump, line); ++n) {
        const double score = std::stod(line.substr(line.rfind('\t') + 1));
        if (n == 0) first = score;
        if (std::abs(score - logProb) < 1e-2 * std::max(1.0, std::abs(logProb))) found = true;
    }
    EXPECT_TRUE(found) << logProb;
    EXPECT_GE(first, logProb - 1e-2);
}

// The bundled configuration differs from the defaults in ZMEANSOURCE alone,
// and its "#" lines are skipped.
TEST(Documented, TheBundledFeatureConfigurationIsTheDefaultsWithZeroMean) {
    TempDir d;
    writeFile(d.file("zmean.cfg"), "# only the mean\n#TARGETKIND = MFCC\n\nZMEANSOURCE = T\n");
    writeFile(d.file("none.cfg"), "# nothing at all\n");
    for (const char* name : {"zmean", "none"}) {
        CliResult r = runCli("features --config " + q(d.file(std::string(name) + ".cfg")) + " " + q(kEnglish) + " " +
                             q(d.file(std::string(name) + ".fea")));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(r.out, "dim=39\n")) << r.out;
    }
    ASSERT_EQ(runCli("features --config " + q(kBundledData + "/features.cfg") + " " + q(kEnglish) + " " +
                     q(d.file("bundled.fea")))
                  .status,
              0);
    EXPECT_EQ(readFile(d.file("bundled.fea")), readFile(d.file("zmean.fea")));
    EXPECT_NE(readFile(d.file("bundled.fea")), readFile(d.file("none.fea")));
}

}  // namespace
}  // namespace kedo
