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
    writeChineseTestModels(dir.file("models.mac"));
    // 1.5 s of a tone in noise, 16-bit little-endian at 16 kHz.
    writeFile(dir.file("speech.raw"), syntheticRecording(24000, 5));
    // What the scoring that follows the text needs.
    const std::string scoring = writeScoringFiles(dir.path());
    writeFile(dir.file("run.prm"), "language = chinese\n"
                                   "macFile = " + dir.file("models.mac") + "\n"
                                   "dicFile = " + dataPath("lexicon/chinese.pam") + "\n"
                                   "pyTableFile = " + dataPath("lexicon/pinyin.tab") + "\n"
                                   "wpaFile = " + dataPath("lexicon/chinese.wpa") + "\n"
                                   "tnmFile = " + dataPath("lexicon/chinese.tnm") + "\n"
                                   "featureConfigFile = " + dir.file("none.cfg") + "\n"
                                   "pinyinType = cgu\n"
                                   "comparisonMode = 1\n"
                                   "maxCandidateNum = 1000\n"
                                   "probTh = 1000\n"
                                   "useEpd = 0\n" + scoring);
    CliResult r = runCli("decode --prm " + dir.file("run.prm") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dataPath("lexicon/chinese_texts.txt") + " --outdir " + dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    if (std::getenv("KEDO_SHOW_DECODE")) std::printf("%s", r.out.c_str());
    EXPECT_NE(r.out.find(" sec: Viterbi search\n"), std::string::npos);
    EXPECT_NE(r.out.find("\t===> Saved " + dir.file("arenaSylPath.txt") + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("\ttextIndex="), std::string::npos);
    EXPECT_NE(r.out.find("\ntext="), std::string::npos);
    EXPECT_NE(r.out.find("\npath="), std::string::npos);
    EXPECT_NE(r.out.find("\nlogProb="), std::string::npos);
    EXPECT_TRUE(exists(dir.file("arenaSylPath.txt")));
}

}  // namespace
}  // namespace kedo::test
