// The parameter file reader and the kedo params / run commands.
#include <gtest/gtest.h>

#include "kedo/error.h"
#include "support/test_support.h"
#include "task/recog_param.h"

namespace kedo {
namespace {

using test::TempDir;
using test::writeFile;

TEST(ReadRecogParam, CommentsOnlyGivesDefaults) {
    TempDir d;
    writeFile(d.file("a.prm"), "% only a comment\n\n%% another\n");
    recogParam p;
    p.language = "stale";
    p.usePaddedHardSp = 7;
    readRecogParam(d.file("a.prm"), p);
    for (const auto& f : recogParamFields()) {
        if (f.text) {
            EXPECT_EQ(p.*(f.text), "") << f.key;
        } else {
            std::string k = f.key;
            int want = k == "usePaddedHardSp" || k == "usePaddedSoftSil" || k == "useDescCandidateNum" ? 1 : 0;
            EXPECT_EQ(p.*(f.integer), want) << k;
        }
    }
    EXPECT_EQ(recogParamFields().size(), 45u);
}

TEST(ReadRecogParam, ValuesAndConversions) {
    TempDir d;
    writeFile(d.file("a.prm"),
              "probTh = -5.7\n"
              "netType = 2 % remark\n"
              "junk = abc\n"
              "outputDir =\n"
              "macFile = models/a b.mac\n"
              "txtFile = x=y\n"
              "language = english\n"
              "language = chinese\n"
              "minCandidateNum = 1000\n"
              "useDescCandidateNum=0");
    recogParam p;
    readRecogParam(d.file("a.prm"), p);
    EXPECT_EQ(p.probTh, -5);
    EXPECT_EQ(p.netType, 2);
    EXPECT_EQ(p.junk, 0);
    EXPECT_EQ(p.outputDir, "");
    EXPECT_EQ(p.macFile, "models/a b.mac");
    EXPECT_EQ(p.txtFile, "x=y");
    EXPECT_EQ(p.language, "chinese");
    EXPECT_EQ(p.useDescCandidateNum, 0);
    EXPECT_EQ(p.minCandidateNum, 1000);
}

TEST(ReadRecogParam, RefusesUnknownKeyLongValueAndMissingFile) {
    TempDir d;
    writeFile(d.file("a.prm"), "macFile = m.mac\nLanguage = english\n");
    recogParam p;
    try {
        readRecogParam(d.file("a.prm"), p);
        FAIL();
    } catch (const KedoError& e) {
        std::string want = "Error in parsing " + d.file("a.prm") + ", unknown key = Language (line ";
        EXPECT_EQ(std::string(e.what()).rfind(want, 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find(" in recogTask)"), std::string::npos);
    }
    EXPECT_EQ(p.macFile, "m.mac");  // fields before the bad key keep their values

    writeFile(d.file("b.prm"), "% x\nmacFile = " + std::string(999, 'm') + "\n");
    readRecogParam(d.file("b.prm"), p);
    EXPECT_EQ(p.macFile.size(), 999u);
    writeFile(d.file("c.prm"), "% x\nmacFile = " + std::string(1000, 'm') + "\n");
    try {
        readRecogParam(d.file("c.prm"), p);
        FAIL();
    } catch (const KedoError& e) {
        std::string msg = e.what();
        EXPECT_NE(msg.find("macFile"), std::string::npos);
        EXPECT_NE(msg.find(d.file("c.prm")), std::string::npos);
        EXPECT_NE(msg.find("line 2 "), std::string::npos);
    }
    EXPECT_THROW(readRecogParam(d.file("missing.prm"), p), KedoError);
}

TEST(KedoParamsCommand, PrintsEveryFieldInOrder) {
    TempDir d;
    writeFile(d.file("a.prm"), "% nothing\n");
    auto r = test::runCli("params " + d.file("a.prm"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("language = \nmacFile = \n", 0), 0u);
    EXPECT_NE(r.out.find("\nusePaddedHardSp = 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nuseDescCandidateNum = 1\n"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 45);
}

TEST(KedoParamsCommand, ErrorsGoToStandardErrorWithStatus1) {
    TempDir d;
    writeFile(d.file("bad.prm"), "bogus = 1\n");
    auto r = test::runCli("params " + d.file("bad.prm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown key = bogus"), std::string::npos);
    writeFile(d.file("bin.prm"), std::string("\x00\x01=\xff\x7f\n", 6));
    r = test::runCli("params " + d.file("bin.prm"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown key"), std::string::npos);
    r = test::runCli("params /nonexistent.prm");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open file /nonexistent.prm (line " + r.err.substr(40));
    r = test::runCli("params");
    EXPECT_EQ(r.status, 1);
    r = test::runCli("nosuchcommand");
    EXPECT_EQ(r.status, 1);
    r = test::runCli("run --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--function"), std::string::npos);
}

}  // namespace
}  // namespace kedo
