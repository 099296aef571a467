// `kedo decode` on a whole recognition road: synthetic models for the phones
// of the Chinese test dictionary, the lexicon test data, and a recording.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "support/run_fixture.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

TEST(DecodeCommand, RunsTheRecognitionRoadUpToTheText) {
    TempDir dir;
    const std::string data = chineseRunData(dir.path());
    // The recording holds the sounds of "ni hau", the models fit them.
    writeFile(dir.file("sentence.txt"), "\xa7\x41\xa6\x6e");
    prepareFittedNiHau(dir.path(), data);
    writeFile(dir.file("run.prm"), data + "comparisonMode = 1\nuseEpd = 0\n");
    CliResult r = runCli("decode --prm " + dir.file("run.prm") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dataPath("lexicon/chinese_texts.txt") + " --outdir " + dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    if (std::getenv("KEDO_SHOW_DECODE")) std::printf("%s", r.out.c_str());
    EXPECT_NE(r.out.find(" sec: Viterbi search\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t===> Saved " + dir.file("arenaSylPath.txt") + "\n"), std::string::npos);
    // The first candidate text is the one spoken.
    EXPECT_NE(r.out.find("\ttextIndex=0 ===> 你好。\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\ntext=你好。\npath=ni-hau\nlogProb=-"), std::string::npos)
        << r.out;
    // The log probability is the best score of the arena's first line.
    const std::string arena = readFile(dir.file("arenaSylPath.txt"));
    ASSERT_EQ(arena.rfind("sil-ni-hau-sil\t", 0), 0u) << arena;
    const double best = std::stod(arena.substr(arena.find('\t') + 1));
    const double logProb = std::stod(r.out.substr(r.out.find("\nlogProb=") + 9));
    EXPECT_NEAR(logProb, best, 1e-3 * std::fabs(best));
}

}  // namespace
}  // namespace kedo::test
