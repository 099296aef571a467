// Golden runs: the complete output folder of one small assessment and one
// recognition, checked for the values that make them right and compared
// byte for byte with the copies under tests/golden/. Set KEDO_UPDATE_GOLDEN=1
// to write new copies after an intended change: the runs then report that
// they wrote and skip the comparison.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_fixture.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

class GoldenRun : public testing::TestWithParam<const char*> {};

// Phone names of a label file, in order.
std::vector<std::string> labelNames(const std::string& lab) {
    std::vector<std::string> names;
    std::istringstream in(lab);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string start, end, name;
        fields >> start >> end >> name;
        names.push_back(name);
    }
    return names;
}

TEST_P(GoldenRun, OutputFolderMatches) {
    const std::string function = GetParam();
    TempDir dir;
    // Relative names only, run from the temporary folder: no path of this
    // machine ends up in the files. The recording holds the sounds of
    // "ni hau" and the models are fitted to them, so the search completes.
    const std::string scoring = writeScoringFiles(dir.path(), true);
    writeFile(dir.file("sentence.txt"), "\xa7\x41\xa6\x6e");
    for (const char* f : {"chinese.pam", "pinyin.tab", "chinese.wpa", "chinese.tnm", "chinese_texts.txt"})
        fs::copy_file(dataPath(std::string("lexicon/") + f), dir.file(f));
    const std::string data = "language = chinese\nmacFile = models.mac\ndicFile = chinese.pam\n"
                             "pyTableFile = pinyin.tab\nwpaFile = chinese.wpa\ntnmFile = chinese.tnm\n"
                             "featureConfigFile = none.cfg\npinyinType = cgu\n"
                             "maxCandidateNum = 1000\nprobTh = 1000\n" + scoring;
    prepareFittedNiHau(dir.path(), data);
    // End-point detection on in the assessment: its times carry the shift.
    writeFile(dir.file("run.prm"), data + "comparisonMode = 1\noutputDir = out\nuseEpd = " +
                                       (function == "assess" ? "1" : "0") + "\n");
    fs::create_directory(dir.file("out"));
    const std::string texts = function == "assess" ? "sentence.txt" : "chinese_texts.txt";
    CliResult r = runShell("cd " + dir.path() + " && '" + KEDO_CLI_PATH + "' run --prm run.prm --wav speech.raw --txt " +
                           texts + " --function " + function);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // What makes the run right, whatever the copies hold.
    const std::string out = dir.file("out/");
    // End-point detection leaves the silences out; the assessment net puts a
    // short pause between syllables.
    const bool assess = function == "assess";
    const std::string lab = readFile(out + "phone.lab");
    const std::vector<std::string> phones = assess ? std::vector<std::string>{"n", "i", "sp", "h", "au"}
                                                   : std::vector<std::string>{"sil", "n", "i", "h", "au", "sil"};
    EXPECT_EQ(labelNames(lab), phones);
    // The sound of n starts at 0.3 s of the recording, also after the cut.
    const size_t n = lab.find(" n ");
    ASSERT_NE(n, std::string::npos) << lab;
    const long start = std::stol(lab.substr(lab.rfind('\n', n) == std::string::npos ? 0 : lab.rfind('\n', n) + 1));
    EXPECT_NEAR(start, 3000000, 300000) << lab;
    // So does the result document's interval of the syllable ni.
    const std::string xml = readFile(out + "output.xml");
    const size_t interval = xml.find("<interval ", xml.find(">ni</name>"));
    ASSERT_NE(interval, std::string::npos);
    EXPECT_NEAR(std::stod(xml.substr(xml.find('>', interval) + 1)), 0.30, 0.03) << xml.substr(interval, 80);
    EXPECT_EQ(readFile(out + "arenaSylPath.txt").rfind(assess ? "ni-sp-hau\t" : "sil-ni-hau-sil\t", 0), 0u);
    EXPECT_EQ(readFile(out + "recogResult.txt").rfind("Text index=0\n", 0), 0u);
    EXPECT_NE(xml.find("<occurrence idx=\"1\" type=\"double\" size=\"1 1\">0</occurrence>"),
              std::string::npos)
        << "the path is incomplete";
    const double score = std::stod(readFile(out + "score.txt"));
    EXPECT_GE(score, 90.0);
    EXPECT_LE(score, 100.0);
    EXPECT_EQ(runShell("xmllint --noout " + out + "output.xml").status, 0);

    const std::string golden = std::string(KEDO_SOURCE_DIR) + "/tests/golden/" + function;
    if (std::getenv("KEDO_UPDATE_GOLDEN")) {
        fs::remove_all(golden);
        fs::create_directories(golden);
        for (const auto& e : fs::directory_iterator(dir.file("out"))) fs::copy_file(e.path(), golden + "/" + e.path().filename().string());
        GTEST_SKIP() << "KEDO_UPDATE_GOLDEN is set: wrote new copies to " << golden << ", compared nothing";
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
