// --quiet: standard output holds the result line alone.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

const std::string kEnglish = kSamples + "/english.wav";
const std::string kSentence = " \"i like to read a good book\"";

TEST(Quiet, AssessAndRecogPrintTheResultLineAlone) {
    BundledHome home;
    CliResult r = runCli("assess " + q(kEnglish) + kSentence + " --quiet" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "score=100\n");
    EXPECT_EQ(r.err, "");
    r = runCli("recog " + q(kEnglish) + " " + q(kSamples + "/english_list.txt") + " --quiet" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "text=i like to read a good book\n");
    // With --json: the document alone, and nothing on standard error either.
    r = runCli("assess " + q(kEnglish) + kSentence + " --quiet --json" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"score\": 100, "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST(Quiet, WarningsAndErrorsStillReachStandardError) {
    BundledHome home;
    CliResult r = runCli("assess " + q(kSamples + "/chinese.wav") + " 我學中文貓 --lang zh --quiet" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("score=", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    EXPECT_TRUE(contains(r.err, "Warning: Found no syllable for \"貓\"")) << r.err;

    r = runCli("assess " + q(kSamples + "/none.wav") + kSentence + " --quiet" + home.home());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "Can't open wave file")) << r.err;
}

TEST(Quiet, RecordCommandsPrintOnlyTheResult) {
    BundledHome home;
    TempDir d;
    ScopedEnv device("KEDO_CAPTURE_DEVICE", ("file:" + kEnglish).c_str());
    CliResult r = runCli("record-assess 0.8" + kSentence + " --quiet" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("score=", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    r = runCli("record 0.1 " + q(d.file("o.wav")) + " --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(exists(d.file("o.wav")));
}

}  // namespace
}  // namespace kedo
