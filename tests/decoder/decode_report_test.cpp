// What `kedo decode` prints, and when a failed run still has a text to report.
#include <gtest/gtest.h>

#include "decoder/decode_report.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

TEST(DecodeReport, LinesAndStopAfterText) {
    mlfClass mlf;
    EXPECT_FALSE(stoppedAfterText(mlf, "The stage \"assessment scoring\" is not part of this build (line 9 of recogTask)"));
    mlf.textIndex = {2, 5};
    mlf.texts = {"one", "two"};
    mlf.identifiedSyl = "w_a-n";
    mlf.pathLogProb = -12.5f;
    EXPECT_EQ(decodeReportLines(mlf), (std::vector<std::string>{"text=onetwo", "path=w_a-n", "logProb=-12.500000"}));
    EXPECT_TRUE(stoppedAfterText(mlf, "The stage \"assessment scoring\" is not part of this build (line 9 of recogTask)"));
    EXPECT_FALSE(stoppedAfterText(mlf, "Cannot open file x.prm (line 3 of utility)"));
}

TEST(DecodeReport, CommandIsRegisteredAndNeedsItsOptions) {
    CliResult help = runCli("decode --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--txt TEXTS"), std::string::npos);
    EXPECT_EQ(runCli("decode --wav a.wav --txt t.txt").status, 1);
}

}  // namespace
}  // namespace kedo::test
