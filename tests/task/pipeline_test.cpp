// Whole runs through `kedo run`: synthetic models for the phones of the
// Chinese test dictionary, the lexicon test data, and a synthetic recording.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <tuple>

#include "support/run_fixture.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

class PipelineRun : public testing::Test {
protected:
    void SetUp() override {
        writeChineseTestModels(dir.file("models.mac"));
        writeFile(dir.file("speech.raw"), syntheticRecording(24000, 5));
        // The first candidate text alone: the sentence of an assessment.
        writeFile(dir.file("sentence.txt"), "\xa7\x41\xa6\x6e");
        std::filesystem::create_directory(dir.file("out"));
    }

    std::string prm(const std::string& extra) {
        std::string path = dir.file("run.prm");
        writeFile(path, prmLines() + "comparisonMode = 1\n" + extra);
        return path;
    }

    // The data of every run, without the comparison mode.
    std::string prmLines() { return chineseRunData(dir.path()); }

    // Replaces speech.raw and models.mac by the "ni hau" recording and models fitted to it.
    void fit(const std::vector<PhoneFit>& extra = {}) { prepareFittedNiHau(dir.path(), prmLines(), extra); }

    std::set<std::string> outputFiles() {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("out")))
            names.insert(e.path().filename().string());
        return names;
    }

    TempDir dir;
};

TEST_F(PipelineRun, AssessmentWritesTheWholeFileSetAndEndsWithTheScore) {
    CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dir.file("sentence.txt") + " --function assess --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(last.rfind("score=", 0), 0u) << last;
    for (const char* line : {" sec: Read wave file \"", " sec: Viterbi search\n", " sec: Compute volume\n",
                             "\tFind the phone ranking...\n", "\tCompute possible score discount factors...\n",
                             " sec: Compute the score (Score="})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    std::set<std::string> files = outputFiles();
    for (const char* f : {"output.wave", "arenaSylPath.txt", "phone.lab", "phone.cm", "output.xml", "phone.plp",
                          "phone.cmd", "score.txt", "recogResult.txt"})
        EXPECT_TRUE(files.count(f)) << f;
    // No syllable file: the confusing-path check does not run.
    EXPECT_FALSE(files.count("confusingPath.txt"));
    EXPECT_EQ(readFile(dir.file("out/score.txt")), last.substr(6));
    EXPECT_EQ(runShell("xmllint --noout " + dir.file("out/output.xml")).status, 0);
}

TEST_F(PipelineRun, RecognitionScoresTooAndReturnsACandidate) {
    CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dataPath("lexicon/chinese_texts.txt") + " --function recog --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\ntext="), std::string::npos);
    std::set<std::string> files = outputFiles();
    EXPECT_TRUE(files.count("score.txt"));
    EXPECT_TRUE(files.count("recogResult.txt"));
    EXPECT_FALSE(files.count("confusingPath.txt"));
    EXPECT_EQ(readFile(dir.file("out/recogResult.txt")).rfind("Text index=", 0), 0u);
}

// Phone label lines as "name start end" in frames (10 ms).
std::vector<std::tuple<std::string, int, int>> labelPhones(const std::string& lab) {
    std::vector<std::tuple<std::string, int, int>> phones;
    std::istringstream in(lab);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        long long start = 0, end = 0;
        std::string name;
        fields >> start >> end >> name;
        phones.emplace_back(name, static_cast<int>(start / 100000), static_cast<int>(end / 100000));
    }
    return phones;
}

// The recording holds exactly the sounds of the sentence: the search gets
// through it, every phone lands on its own sound, and nothing is discounted.
TEST_F(PipelineRun, AssessmentOfAFittedRecordingCompletesItsPath) {
    fit();
    CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dir.file("sentence.txt") + " --function assess --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(r.out.rfind("score=")), "score=100\n");
    const std::string lab = readFile(dir.file("out/phone.lab"));
    std::vector<std::string> names;
    for (const auto& [name, start, end] : labelPhones(lab)) {
        names.push_back(name);
        // The sounds of n i h au start at 0.3 s and last 0.15 s each.
        const int k = name == "n" ? 0 : name == "i" ? 1 : name == "h" ? 2 : name == "au" ? 3 : -1;
        if (k < 0) continue;
        EXPECT_NEAR(start, 30 + 15 * k, 3) << name << "\n" << lab;
        EXPECT_NEAR(end, 45 + 15 * k, 3) << name << "\n" << lab;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"sil", "n", "i", "sp", "h", "au", "sil"})) << lab;
    EXPECT_EQ(readFile(dir.file("out/arenaSylPath.txt")).rfind("sil-ni-sp-hau-sil\t", 0), 0u);
    const std::string xml = readFile(dir.file("out/output.xml"));
    EXPECT_NE(xml.find("<occurrence idx=\"1\" type=\"double\" size=\"1 1\">0</occurrence>"), std::string::npos)
        << "the path is incomplete";
    EXPECT_EQ(readFile(dir.file("out/recogResult.txt")).rfind("Text index=0\nText=\xa7\x41\xa6\x6e\nScore=100.", 0), 0u);
    EXPECT_EQ(runShell("xmllint --noout " + dir.file("out/output.xml")).status, 0);
}

// Among the candidate texts the one spoken wins.
TEST_F(PipelineRun, RecognitionOfAFittedRecordingFindsTheSpokenText) {
    fit();
    CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dataPath("lexicon/chinese_texts.txt") + " --function recog --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\ntext=你好。\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir.file("out/recogResult.txt")).rfind("Text index=0\n", 0), 0u);
}

// Keyword spotting: filler sounds and a long pause around "ni hau"; the
// fillers absorb their sounds and only the keyword's nodes are scored and
// discounted (the pause outside them, the node count of the whole path).
TEST_F(PipelineRun, KeywordSpottedBetweenFillers) {
    // A zero frequency is a silent segment: 0.6 s of pause after the filler.
    prepareFittedRun(dir.path(), prmLines(), {600.0, 0.0, 0.0, 0.0, 0.0, 350.0, 900.0, 2200.0, 4000.0, 1500.0},
                     {{"fillerV", 0}, {"n", 5}, {"i", 6}, {"h", 7}, {"au", 8}, {"fillerC", 9}});
    writeFile(dir.file("run.prm"), prmLines() + "comparisonMode = 3\n");
    CliResult r = runCli("run --prm " + dir.file("run.prm") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dataPath("lexicon/chinese_texts.txt") + " --function recog --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    std::vector<std::string> names;
    const std::string lab = readFile(dir.file("out/phone.lab"));
    for (const auto& phone : labelPhones(lab)) names.push_back(std::get<0>(phone));
    EXPECT_EQ(names, (std::vector<std::string>{"sil", "fillerV", "sil", "n", "i", "h", "au", "sil", "fillerC", "sil"}))
        << lab;
    const std::string block = "keyword[0]:\n\tname=你好。\n\tscore=";
    const size_t at = r.out.find(block);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NEAR(std::stod(r.out.substr(at + block.size())), 100.0, 1e-3);
    EXPECT_EQ(r.out.find("\n\tni-hau\t0 \n", at), r.out.find('\n', at + block.size())) << r.out;
    EXPECT_NE(r.out.find("\ntext=你好。\n"), std::string::npos);
    const std::string xml = readFile(dir.file("out/output.xml"));
    for (int reason = 1; reason <= 7; ++reason)
        EXPECT_NE(xml.find("<occurrence idx=\"" + std::to_string(reason) + "\" type=\"double\" size=\"1 1\">0</occurrence>"),
                  std::string::npos)
            << "discount " << reason << " applied";
    EXPECT_EQ(readFile(dir.file("out/score.txt")), "100\n");
}

// The same recording as 8 kHz and 44.1 kHz WAV files and as µ-law: the
// front end follows the rate and the coding, and the spoken text still wins.
TEST_F(PipelineRun, RecognitionFromOtherRatesAndCodings) {
    fit();
    for (const char* form : {"-r 8000 -e signed -b 16", "-r 44100 -e signed -b 16", "-r 16000 -e u-law -b 8"}) {
        ASSERT_EQ(runShell("sox -t raw -r 16000 -e signed -b 16 -c 1 " + dir.file("speech.raw") + " " + form + " " +
                           dir.file("speech.wav"))
                      .status,
                  0);
        CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.wav") + " --txt " +
                             dataPath("lexicon/chinese_texts.txt") + " --function recog --outdir " + dir.file("out"));
        ASSERT_EQ(r.status, 0) << form << r.out << r.err;
        EXPECT_NE(r.out.find("\ntext=你好。\n"), std::string::npos) << form << "\n" << r.out;
        // Times stay those of the recording: n at 0.3 s, h at 0.6 s.
        const std::string lab = readFile(dir.file("out/phone.lab"));
        for (const auto& [name, start, end] : labelPhones(lab)) {
            const int want = name == "n" ? 30 : name == "h" ? 60 : -1;
            if (want > 0) {
                EXPECT_NEAR(start, want, 3) << form << "\n" << lab;
            }
        }
        EXPECT_GE(std::stod(readFile(dir.file("out/score.txt"))), 85.0) << form;
    }
}

TEST_F(PipelineRun, EmptyOutputDirWritesNothingButStillReports) {
    CliResult r = runCli("run --prm " + prm("outputDir =\n") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dir.file("sentence.txt") + " --function assess");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("===> Saved"), std::string::npos);
    EXPECT_NE(r.out.find(" sec: Compute the score (Score="), std::string::npos);
    EXPECT_TRUE(outputFiles().empty());
}

TEST_F(PipelineRun, SyllableFileEndingInSyl2LeavesTheConfusingPathFile) {
    // Without the "syl2" ending the check is skipped but the file exists, empty.
    writeFile(dir.file("one.syl"), "ni-hau\t0\n");
    CliResult r = runCli("run --prm " + prm("sylFile = " + dir.file("one.syl") + "\n") + " --wav " +
                         dir.file("speech.raw") + " --txt " + dir.file("sentence.txt") + " --function assess --outdir " +
                         dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readFile(dir.file("out/confusingPath.txt")), "");
    EXPECT_EQ(r.out.find("(Check if a confusing path"), std::string::npos);

    fit();
    writeFile(dir.file("one.syl2"), "ni-hau\t0\nyin-hang\t0\n");
    r = runCli("run --prm " + prm("sylFile = " + dir.file("one.syl2") + "\n") + " --wav " + dir.file("speech.raw") +
               " --txt " + dir.file("sentence.txt") + " --function assess --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("(Check if a confusing path is taken instead of the correct one)\n"), std::string::npos);
    // The recording fits the designated entry: nothing to report.
    EXPECT_EQ(readFile(dir.file("out/confusingPath.txt")), "");
}

// The recording fits y in h ang better than n i h au: the confusable entry
// wins, the file names both and re-aligns the designated syllables.
TEST_F(PipelineRun, ConfusableEntryThatWinsIsReported) {
    fit({{"y", 0}, {"in", 1}, {"ang", 3}, {"n", 1}, {"i", 0}, {"au", 2}});
    writeFile(dir.file("one.syl2"), "ni-hau\t0\nyin-hang\t0\n");
    CliResult r = runCli("run --prm " + prm("sylFile = " + dir.file("one.syl2") + "\n") + " --wav " +
                         dir.file("speech.raw") + " --txt " + dir.file("sentence.txt") + " --function assess --outdir " +
                         dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string check = readFile(dir.file("out/confusingPath.txt"));
    EXPECT_EQ(check, "Designated: ni-sp-hau\nIdentified: yin-sp-hang\nni ===> yin\nhau ===> hang\n");
    // The segments of the confusable syllables carry the designated ones again.
    std::vector<std::string> names;
    for (const auto& phone : labelPhones(readFile(dir.file("out/phone.lab")))) names.push_back(std::get<0>(phone));
    EXPECT_EQ(names, (std::vector<std::string>{"sil", "n", "i", "sp", "h", "au", "sil"}));
}

TEST_F(PipelineRun, PitchTracksOfTheWholeRecording) {
    CliResult r = runCli("run --prm " + prm("getPitch = 1\n") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dir.file("sentence.txt") + " --function assess --outdir " + dir.file("out"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The timing line of the pitch step carries its Big5 label, shown in UTF-8.
    EXPECT_NE(r.out.find(" sec: 音高"), std::string::npos) << r.out;
    EXPECT_EQ(runShell("xmllint --noout " + dir.file("out/output.xml")).status, 0);
    // The tone of the recording, sin(0.05 n) at 16 kHz, is 127.3 Hz: 47.5
    // semitones (69 = 440 Hz). Every pitched value of every phone is near it.
    const std::string xml = readFile(dir.file("out/output.xml"));
    int pitched = 0;
    for (size_t at = xml.find("\t\t\t<pitch idx="); at != std::string::npos; at = xml.find("\t\t\t<pitch idx=", at + 1)) {
        std::istringstream values(xml.substr(xml.find('>', at) + 1, xml.find("</pitch>", at) - xml.find('>', at) - 1));
        for (float v; values >> v;) {
            if (v == 0.0f) continue;
            EXPECT_NEAR(v, 47.5, 0.5);
            ++pitched;
        }
    }
    EXPECT_GT(pitched, 50) << xml;
}

// "phone.lab" holds the frames of the whole recording; read back as the
// input label file of the same run it gives the same segmentation and score.
TEST_F(PipelineRun, PhoneLabOfARunDrivesTheSameRunAgain) {
    writeFile(dir.file("gated.raw"), syntheticRecording(24000, 5, true));
    const std::string args = " --wav " + dir.file("gated.raw") + " --txt " + dir.file("sentence.txt") +
                             " --function assess --outdir " + dir.file("out");
    CliResult first = runCli("run --prm " + prm("useEpd = 1\n") + args);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    const std::string lab = readFile(dir.file("out/phone.lab"));
    ASSERT_EQ(lab.rfind("0 ", 0), std::string::npos) << "the spoken segment starts later: " << lab;
    writeFile(dir.file("in.lab"), lab);
    CliResult again = runCli("run --prm " + prm("useEpd = 1\ninputLabFile = " + dir.file("in.lab") + "\n") + args);
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_EQ(readFile(dir.file("out/phone.lab")), lab);
    EXPECT_EQ(again.out.substr(again.out.rfind("score=")), first.out.substr(first.out.rfind("score=")));
}

TEST_F(PipelineRun, LabelSpansOutsideTheFeaturesAreRefused) {
    // 1.5 s of audio are 150 frames at most; the second phone runs to frame 990.
    writeFile(dir.file("far.lab"), "0 500000 sil -1 sil\n500000 99100000 a -2 a\n");
    CliResult r = runCli("run --prm " + prm("inputLabFile = " + dir.file("far.lab") + "\n") + " --wav " +
                         dir.file("speech.raw") + " --txt " + dir.file("sentence.txt") + " --function assess");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Label line 2 of " + dir.file("far.lab") + " spans frames 5 to 990, outside the"),
              std::string::npos)
        << r.out << r.err;
}

TEST_F(PipelineRun, UnknownFunctionIsRefused) {
    CliResult r = runCli("run --prm " + prm("") + " --wav " + dir.file("speech.raw") + " --txt " +
                         dir.file("sentence.txt") + " --function align");
    EXPECT_EQ(r.status, 1);
}

}  // namespace
}  // namespace kedo::test
