// Files named on the command line: a missing one is an error, never a quiet
// default; sentence lists come in the language's code page or in UTF-8.
#include <gtest/gtest.h>

#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

TEST(NamedFiles, AMissingFileEndsTheCommandWithItsName) {
    BundledHome home;
    TempDir d;
    const std::string wav = q(kSamples + "/english.wav");
    struct Case {
        std::string args;
        std::string message;
    } cases[] = {
        {"recog " + wav + " " + q(d.file("nosuch.txt")) + home.home(),
         "Cannot open the sentence list file " + d.file("nosuch.txt") + ": no such file"},
        {"features --config " + q(d.file("typo.cfg")) + " " + wav + " " + q(d.file("o.fea")),
         "Cannot open the feature configuration file " + d.file("typo.cfg") + ": no such file"},
        {"models " + q(kBundledData + "/english/models.mac") + " --count " + q(d.file("nosuch.cnt")),
         "Cannot open the model count file " + d.file("nosuch.cnt") + ": no such file"},
        {"recog " + wav + " " + q(d.path()) + home.home(),
         "Cannot open the sentence list file " + d.path() + ": it is a folder"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_TRUE(contains(r.err, c.message)) << c.args << "\n" << r.err;
        EXPECT_FALSE(contains(r.out, "text=")) << r.out;
        EXPECT_FALSE(contains(r.out, "logCount=")) << r.out;
    }
    EXPECT_FALSE(exists(d.file("o.fea")));
}

// The bundled Chinese list, in UTF-8 (with and without a byte-order mark) and
// in Big5: the same sentence is recognised, and printed in UTF-8.
TEST(NamedFiles, ChineseListsAreReadInUtf8OrBig5) {
    BundledHome home;
    TempDir d;
    const std::string utf8 = "你好\n銀行\n許行\n很長\n我學中文\n中文很好\n";
    writeFile(d.file("plain.txt"), utf8);
    writeFile(d.file("bom.txt"), "\xEF\xBB\xBF" + utf8);
    for (const std::string& list : {d.file("plain.txt"), d.file("bom.txt"), kSamples + "/chinese_list.txt"}) {
        CliResult r = runCli("recog " + q(kSamples + "/chinese.wav") + " " + q(list) + " --lang zh" + home.home());
        ASSERT_EQ(r.status, 0) << list << r.err;
        EXPECT_TRUE(contains(r.out, "\ntext=我學中文\n")) << list;
    }
    // A UTF-8 list with a character that Big5 cannot hold says which.
    writeFile(d.file("emoji.txt"), "我學中文\n\xF0\x9F\x98\x80\n");
    CliResult r = runCli("recog " + q(kSamples + "/chinese.wav") + " " + q(d.file("emoji.txt")) + " --lang zh" +
                         home.home());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "U+1F600")) << r.err;
}

}  // namespace
}  // namespace kedo
