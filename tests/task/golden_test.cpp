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

// A Chinese assessment of "ni hau" with end-point detection, a Chinese
// recognition among the test texts, and an English assessment of "I like tea".
struct GoldenCase {
    const char* name;  // of the folder under tests/golden/
    const char* function;
    bool english;
    std::vector<std::string> phones;  // of "phone.lab"
    const char* path;                 // the best line of "arenaSylPath.txt"
    const char* first;                // the first spoken unit and its start in seconds
    double firstStart;
};

std::ostream& operator<<(std::ostream& os, const GoldenCase& c) { return os << c.name; }

class GoldenRun : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRun, OutputFolderMatches) {
    const GoldenCase& c = GetParam();
    const std::string function = c.function;
    TempDir dir;
    // Relative names only, run from the temporary folder: no path of this
    // machine ends up in the files. The recording holds the sounds of the
    // sentence and the models are fitted to them, so the search completes.
    const std::string scoring = writeScoringFiles(dir.path(), true);
    std::string data;
    if (c.english) {
        writeFile(dir.file("sentence.txt"), "I like tea.");
        for (const char* f : {"english.wpa", "english.tnm"})
            fs::copy_file(dataPath(std::string("lexicon/") + f), dir.file(f));
        data = "language = english\nmacFile = models.mac\nwpaFile = english.wpa\ntnmFile = english.tnm\n"
               "featureConfigFile = none.cfg\nmaxCandidateNum = 1000\nprobTh = 1000\n" + scoring;
        // ay l ay k t iy
        prepareFittedRun(dir.path(), data, {500.0, 1200.0, 500.0, 3000.0, 2500.0, 1800.0},
                         {{"ay+sil", 0}, {"l+sil", 1}, {"k+sil", 3}, {"t+sil", 4}, {"iy+sil", 5}}, true);
    } else {
        writeFile(dir.file("sentence.txt"), "\xa7\x41\xa6\x6e");
        for (const char* f : {"chinese.pam", "pinyin.tab", "chinese.wpa", "chinese.tnm", "chinese_texts.txt"})
            fs::copy_file(dataPath(std::string("lexicon/") + f), dir.file(f));
        data = "language = chinese\nmacFile = models.mac\ndicFile = chinese.pam\n"
               "pyTableFile = pinyin.tab\nwpaFile = chinese.wpa\ntnmFile = chinese.tnm\n"
               "featureConfigFile = none.cfg\npinyinType = cgu\n"
               "maxCandidateNum = 1000\nprobTh = 1000\n" + scoring;
        prepareFittedNiHau(dir.path(), data);
    }
    // End-point detection on in the Chinese assessment: its times carry the shift.
    const bool epd = !c.english && function == "assess";
    writeFile(dir.file("run.prm"), data + "comparisonMode = 1\noutputDir = out\nuseEpd = " + (epd ? "1" : "0") + "\n");
    fs::create_directory(dir.file("out"));
    const std::string texts = function == "assess" ? "sentence.txt" : "chinese_texts.txt";
    CliResult r = runShell("cd " + dir.path() + " && '" + KEDO_CLI_PATH + "' run --prm run.prm --wav speech.raw --txt " +
                           texts + " --function " + function);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // What makes the run right, whatever the copies hold.
    const std::string out = dir.file("out/");
    // End-point detection leaves the silences out.
    const std::string lab = readFile(out + "phone.lab");
    EXPECT_EQ(labelNames(lab), c.phones) << lab;
    ASSERT_GE(c.phones.size(), 2u);
    // The first sound starts at 0.3 s of the recording, also after the cut:
    // in the labels and in the result document's interval of its unit.
    const size_t first = lab.find(std::string(" ") + c.phones[epd ? 0 : 1] + " ");
    ASSERT_NE(first, std::string::npos) << lab;
    const long start = std::stol(lab.substr(lab.rfind('\n', first) == std::string::npos ? 0 : lab.rfind('\n', first) + 1));
    EXPECT_NEAR(start, 3000000, 300000) << lab;
    const std::string xml = readFile(out + "output.xml");
    const size_t interval = xml.find("<interval ", xml.find(std::string(">") + c.first + "</name>"));
    ASSERT_NE(interval, std::string::npos);
    EXPECT_NEAR(std::stod(xml.substr(xml.find('>', interval) + 1)), c.firstStart, 0.03) << xml.substr(interval, 80);
    EXPECT_EQ(readFile(out + "arenaSylPath.txt").rfind(std::string(c.path) + "\t", 0), 0u);
    EXPECT_EQ(readFile(out + "recogResult.txt").rfind("Text index=0\n", 0), 0u);
    EXPECT_NE(xml.find("<occurrence idx=\"1\" type=\"double\" size=\"1 1\">0</occurrence>"),
              std::string::npos)
        << "the path is incomplete";
    const double score = std::stod(readFile(out + "score.txt"));
    EXPECT_GE(score, 90.0);
    EXPECT_LE(score, 100.0);
    EXPECT_EQ(runShell("xmllint --noout " + out + "output.xml").status, 0);

    const std::string golden = std::string(KEDO_SOURCE_DIR) + "/tests/golden/" + c.name;
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

INSTANTIATE_TEST_SUITE_P(
    Runs, GoldenRun,
    testing::Values(GoldenCase{"assess", "assess", false, {"n", "i", "sp", "h", "au"}, "ni-sp-hau", "ni", 0.3},
                    GoldenCase{"recog", "recog", false, {"sil", "n", "i", "h", "au", "sil"}, "sil-ni-hau-sil", "ni", 0.3},
                    GoldenCase{"english", "assess", true,
                               {"sil", "ay+sil", "sp", "l+sil", "ay+sil", "k+sil", "sp", "t+sil", "iy+sil", "sil"},
                               "sil-ay-sp-l_ay_k-sp-t_iy-sil", "ay", 0.3}),
    [](const testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kedo::test
