// Golden runs: the complete output folder of one small assessment and one
// recognition, compared byte for byte with the copies under tests/golden/.
// Set KEDO_UPDATE_GOLDEN=1 to write new copies after an intended change.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "support/run_fixture.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

class GoldenRun : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRun, OutputFolderMatches) {
    const std::string function = GetParam();
    TempDir dir;
    writeChineseTestModels(dir.file("models.mac"));
    // Relative names only, run from the temporary folder: no path of this
    // machine ends up in the files.
    writeFile(dir.file("speech.raw"), syntheticRecording(16000, 11, true));
    const std::string scoring = writeScoringFiles(dir.path(), true);
    writeFile(dir.file("sentence.txt"), "\xa7\x41\xa6\x6e");
    for (const char* f : {"chinese.pam", "pinyin.tab", "chinese.wpa", "chinese.tnm", "chinese_texts.txt"})
        fs::copy_file(dataPath(std::string("lexicon/") + f), dir.file(f));
    writeFile(dir.file("run.prm"), "language = chinese\nmacFile = models.mac\ndicFile = chinese.pam\n"
                                   "pyTableFile = pinyin.tab\nwpaFile = chinese.wpa\ntnmFile = chinese.tnm\n"
                                   "featureConfigFile = none.cfg\npinyinType = cgu\ncomparisonMode = 1\n"
                                   "maxCandidateNum = 1000\nprobTh = 1000\nuseEpd = 1\noutputDir = out\n" + scoring);
    fs::create_directory(dir.file("out"));
    const std::string texts = function == "assess" ? "sentence.txt" : "chinese_texts.txt";
    CliResult r = runShell("cd " + dir.path() + " && '" + KEDO_CLI_PATH + "' run --prm run.prm --wav speech.raw --txt " +
                           texts + " --function " + function);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    const std::string golden = std::string(KEDO_SOURCE_DIR) + "/tests/golden/" + function;
    if (std::getenv("KEDO_UPDATE_GOLDEN")) {
        fs::remove_all(golden);
        fs::create_directories(golden);
        for (const auto& e : fs::directory_iterator(dir.file("out"))) fs::copy_file(e.path(), golden + "/" + e.path().filename().string());
    }
    std::set<std::string> produced, expected;
    for (const auto& e : fs::directory_iterator(dir.file("out"))) produced.insert(e.path().filename().string());
    ASSERT_TRUE(fs::exists(golden)) << "no golden copy; run with KEDO_UPDATE_GOLDEN=1";
    for (const auto& e : fs::directory_iterator(golden)) expected.insert(e.path().filename().string());
    EXPECT_EQ(produced, expected);
    for (const std::string& name : expected)
        EXPECT_TRUE(readFile(dir.file("out/" + name)) == readFile(golden + "/" + name)) << name << " differs";
}

INSTANTIATE_TEST_SUITE_P(Runs, GoldenRun, testing::Values("assess", "recog"));

}  // namespace
}  // namespace kedo::test
