// kedo models: listing, counts, conversion, errors.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kedo {
namespace {

using test::runCli;

TEST(ModelsCli, ListsSortedModelsAndConverts) {
    test::TempDir d;
    const std::string mac = test::dataPath("acoustic/tiny.mac");
    test::CliResult r = runCli("models '" + mac + "' --count '" + test::dataPath("acoustic/tiny.cnt") + "' --write '" +
                               d.file("out.macb") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "modelNum=5\n"
              "streamNum=3 (13 13 13)\n"
              "0\ta-b+sil\tnumStates=5\tmixtures=2,2,1 2,2,1 3,1,2\tlogCount=2.48491\n"
              "1\ta-b+x\tnumStates=5\tmixtures=2,2,1 2,2,1 3,1,2\tlogCount=1.09861\n"
              "2\tb\tnumStates=5\tmixtures=2,2,1 1,1,1 3,1,2\tlogCount=3.68888\n"
              "3\tsil\tnumStates=5\tmixtures=2,2,1 2,2,1 3,1,2\tlogCount=4.60517\n"
              "4\tsp\tnumStates=3\tmixtures=1,1,1\tlogCount=0\n"
              "\t===> Saved " + d.file("out.macb") + "\n");
    // The written file equals the checked-in binary form, which is sorted.
    EXPECT_EQ(test::readFile(d.file("out.macb")), test::readFile(test::dataPath("acoustic/tiny.macb")));

    r = runCli("models '" + d.file("out.macb") + "' --write '" + d.file("back.mac") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    r = runCli("models '" + d.file("back.mac") + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("4\tsp\tnumStates=3\tmixtures=1,1,1\n"), std::string::npos);
}

TEST(ModelsCli, ErrorsExitWithStatusOne) {
    test::TempDir d;
    test::writeFile(d.file("bad.mac"), "~o <STREAMINFO> 1 13 <VECSIZE> 13\n~h \"a\"\n<BEGIN>\n");
    test::CliResult r = runCli("models '" + d.file("bad.mac") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot find \"<BEGINHMM>\""), std::string::npos);
    r = runCli("models '" + d.file("bad.txt") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The only allowed extension"), std::string::npos);
    EXPECT_EQ(runCli("models").status, 1);
}

}  // namespace
}  // namespace kedo
