// Standard output holds progress and results; errors and the error log's
// notice go to standard error only.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

const std::string kEnglish = kSamples + "/english.wav";
const std::string kConfig = kBundledData + "/features.cfg";

TEST(OutputStreams, ErrorsAndTheLogNoticeStayOffStandardOutput) {
    TempDir temp;
    BundledHome home;
    ScopedEnv t("temp", temp.path().c_str());
    // A run whose output folder does not exist fails writing its first file.
    writeFile(home.file("missing.prm"), readFile(home.file("kedoData/english.sa.prm")) + "\noutputDir = " +
                                            temp.file("none") + "\n");
    CliResult r = runShell("cd " + q(home.path()) + " && " + q(KEDO_CLI_PATH) + " run --prm missing.prm --wav " +
                           q(kEnglish) + " --txt 'good' --function assess");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error: Cannot open \"" + temp.file("none") + "/output.wave\"!")) << r.err;
    EXPECT_TRUE(contains(r.err, "Saved error log at " + temp.path() + "/error_")) << r.err;
    EXPECT_FALSE(contains(r.out, "Error")) << r.out;
    EXPECT_FALSE(contains(r.out, "Saved error log")) << r.out;

    r = runCli("assess " + q(temp.file("nosuch.wav")) + " \"good\"" + home.home());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Saved error log at")) << r.err;
    EXPECT_FALSE(contains(r.out, "Saved error log")) << r.out;
    EXPECT_FALSE(contains(r.out, "Can't open")) << r.out;
}

TEST(OutputStreams, FeaturesAnnounceOnlyWhatTheyWroteAndEpdOnlyWhenAsked) {
    TempDir d;
    CliResult r = runCli("features --config " + q(kConfig) + " " + q(kEnglish) + " " + q(d.file("none/o.fea")));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(contains(r.out, "===> Saved")) << r.out;
    EXPECT_TRUE(contains(r.err, "Can't write to file " + d.file("none/o.fea"))) << r.err;

    r = runCli("features --config " + q(kConfig) + " " + q(kEnglish) + " " + q(d.file("o.fea")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.out, "EPD")) << r.out;
    EXPECT_FALSE(contains(r.out, "waveBeginIndex")) << r.out;
    EXPECT_TRUE(contains(r.out, "\t===> Saved " + d.file("o.fea") + "\n")) << r.out;

    r = runCli("features --epd --config " + q(kConfig) + " " + q(kEnglish) + " " + q(d.file("o.fea")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, " sec: EPD\n\twaveBeginIndex=")) << r.out;
}

}  // namespace
}  // namespace kedo
