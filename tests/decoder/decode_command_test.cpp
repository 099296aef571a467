// `kedo decode` on a whole recognition road: synthetic models for the phones
// of the Chinese test dictionary, the lexicon test data, and a recording.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "support/synthetic_models.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

TEST(DecodeCommand, RunsTheRecognitionRoadUpToTheText) {
    TempDir dir;
    SyntheticModelSpec spec;
    spec.names = {"sil", "sp", "ch", "ang", "h", "au", "j", "ung", "n", "i", "sh", "ing", "iu", "w", "en", "y", "in"};
    makeSyntheticModels(spec).writeModels(dir.file("models.mac"));

    // 1.5 s of a tone in noise, 16-bit little-endian at 16 kHz.
    std::string raw;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (int n = 0; n < 24000; ++n) {
        auto v = static_cast<int16_t>(3000.0 * std::sin(n * 0.05) + noise(rng));
        raw.push_back(static_cast<char>(v & 0xff));
        raw.push_back(static_cast<char>((v >> 8) & 0xff));
    }
    writeFile(dir.file("speech.raw"), raw);
    // What the scoring that follows the text needs.
    writeFile(dir.file("rank2score.txt"), "0.05 0.5 0\n");
    writeFile(dir.file("discount.txt"), "0.5 0.9 0.9 0.9 1 0.9 0.9\n");
    writeFile(dir.file("qiyin.txt"), "");

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
                                   "useEpd = 0\n"
                                   "useAllModelAsCompetingModel = 1\n"
                                   "qiYinFile = " + dir.file("qiyin.txt") + "\n"
                                   "phoneRank2scoreParamFile = " + dir.file("rank2score.txt") + "\n"
                                   "scoreDiscountParamFile = " + dir.file("discount.txt") + "\n");
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
