// The toy data folder tests/data/toy/kedoData, which the other tests copy: its
// parameter sets name real files, its models cover every phone of its
// lexicons, its samples are what the Windows and component tests expect, and
// the engine assesses and recognises the samples with it, deterministically.
// The data folder that ships, data/kedoData, gets the checks that hold for any
// set there: its parameter sets, model, count and bell files fit together,
// and the README's runs of its samples complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "acoustic/macro.h"
#include "audio/audio_file.h"
#include "kedo/engine.h"
#include "lexicon/dict.h"
#include "support/test_support.h"
#include "task/recog_param.h"
#include "util/file_util.h"
#include "util/str_util.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

const std::string kBundled = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData";
const std::string kShipped = std::string(KEDO_SOURCE_DIR) + "/data/kedoData";

// "我學中文" in UTF-8 and in Big5.
const char* const kChineseUtf8 = "\xe6\x88\x91\xe5\xad\xb8\xe4\xb8\xad\xe6\x96\x87";
const char* const kChineseBig5 = "\xa7\xda\xbe\xc7\xa4\xa4\xa4\xe5";

// A working folder holding a copy of the bundled kedoData, as a user sets one up.
class BundledHome {
public:
    BundledHome() { fs::copy(kBundled, m_dir.file("kedoData"), fs::copy_options::recursive); }
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }

private:
    TempDir m_dir;
};

// Restores the current folder on leaving a scope: the readers below read
// relative to the data folder.
class CurrentFolder {
public:
    CurrentFolder() : m_old(fs::current_path()) {}
    explicit CurrentFolder(const std::string& folder) : CurrentFolder() { fs::current_path(folder); }
    ~CurrentFolder() { fs::current_path(m_old); }

private:
    fs::path m_old;
};

recogParam readSet(const std::string& name, const std::string& folder = kBundled) {
    recogParam p;
    readRecogParam(folder + "/" + name, p);
    return p;
}

StrVec listLines(const std::string& path) {
    StrVec lines = strSplit(readFile(path), '\n');
    strVecRemoveEmpty(lines);
    return lines;
}

std::set<std::string> outputFiles(const std::string& home) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(home + "/kedoData/output")) names.insert(e.path().filename().string());
    return names;
}

// The score of a CLI assessment's last line, which must lie in 0..100; -1
// when the run failed or printed none.
double cliScore(const CliResult& r) {
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const size_t at = r.out.rfind("score=");
    EXPECT_NE(at, std::string::npos) << r.out;
    if (r.status != 0 || at == std::string::npos) return -1.0;
    const double score = std::stod(r.out.substr(at + 6));
    EXPECT_LE(score, 100.0);
    return score;
}

class ParameterSet : public testing::TestWithParam<std::tuple<std::string, const char*>> {};

TEST_P(ParameterSet, NamesExistingFilesRelativeToTheWorkingFolder) {
    const std::string folder = std::get<0>(GetParam()), name = std::get<1>(GetParam());
    const recogParam p = readSet(name, folder);
    EXPECT_EQ(p.language, name.rfind("english", 0) == 0 ? "english" : "chinese");
    EXPECT_EQ(p.function, name.find(".sa.") != std::string::npos ? "assess" : "recog");
    EXPECT_EQ(p.outputDir, "kedoData/output");
    // The search needs candidates and a comparison mode; the facade sets these three.
    EXPECT_GT(p.maxCandidateNum, 0);
    EXPECT_GE(p.comparisonMode, 1);
    EXPECT_TRUE(p.wavFile.empty() && p.txtFile.empty() && p.netFile.empty());
    int named = 0;
    for (const RecogParamField& f : recogParamFields()) {
        if (!f.text) continue;
        const std::string key = f.key, value = p.*(f.text);
        if (value.empty() || key == "language" || key == "function" || key == "pinyinType" || key == "outputDir")
            continue;
        ++named;
        EXPECT_EQ(value.rfind("kedoData/", 0), 0u) << key << " = " << value;
        EXPECT_EQ(value.find('\\'), std::string::npos) << key << " = " << value;
        EXPECT_TRUE(fs::is_regular_file(folder + "/../" + value)) << key << " = " << value;
    }
    EXPECT_GE(named, 8);
}

INSTANTIATE_TEST_SUITE_P(ToyAndShipped, ParameterSet,
                         testing::Combine(testing::Values(kBundled, kShipped),
                                          testing::Values("english.sa.prm", "english.vc.prm", "chinese.sa.prm",
                                                          "chinese.vc.prm")),
                         [](const auto& info) {
                             std::string name = std::string(std::get<0>(info.param) == kBundled ? "toy_" : "shipped_") +
                                                std::get<1>(info.param);
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

// The model set of a parameter set, read as the pipeline reads it.
std::unique_ptr<macroClass> modelsOf(const recogParam& p, const std::string& folder = kBundled) {
    auto set = std::make_unique<macroClass>();
    CurrentFolder here(folder + "/..");
    set->readModels(p.macFile, true);
    set->readModelCount(p.modelCountFile);
    return set;
}

TEST(BundledModels, CoverEveryEnglishPhoneWithItsOwnModel) {
    const recogParam p = readSet("english.sa.prm");
    auto set = modelsOf(p);
    dictClass dict;
    {
        CurrentFolder here(kBundled + "/..");
        dict.wpaRead(p.wpaFile, "english");
        dict.wpaAddendaRead(p.wpaAddendaFile, "english");
    }
    dict.wpaMerge();
    std::set<std::string> phones;
    for (const wpaEntry& e : dict.m_wpa)
        for (const std::string& pa : e.pas)
            for (const std::string& phone : strSplit(pa, '_')) phones.insert(phone);
    ASSERT_GT(phones.size(), 20u);
    // Every phone in right context falls back on its own "+sil" model, never
    // on another phone's.
    for (const std::string& phone : phones) {
        const int i = set->findModel(phone + "+sil");
        ASSERT_GE(i, 0) << phone;
        EXPECT_EQ(std::string(set->m_models[i].name), phone + "+sil");
        EXPECT_EQ(std::string(set->m_models[set->findModel(phone + "+ax")].name), phone + "+sil");
    }
    EXPECT_EQ(std::string(set->m_models[set->findModel("sil")].name), "sil");
    EXPECT_EQ(std::string(set->m_models[set->findModel("sp")].name), "sp");
}

TEST(BundledModels, CoverEveryModelOfTheChineseDictionary) {
    const recogParam p = readSet("chinese.sa.prm");
    auto set = modelsOf(p);
    dictClass dict;
    {
        CurrentFolder here(kBundled + "/..");
        dict.pronDictRead(p.dicFile, modelSetViewOf(*set));
        dict.pinyinTableRead(p.pyTableFile);
        dict.wpaRead(p.wpaFile, "chinese");
    }
    // Every model name of the dictionary is in the set itself (no reserved
    // name left to the -1 fallback), and every character's syllables are
    // dictionary words.
    const StrVec pam = listLines(kBundled + "/../" + p.dicFile);
    for (const std::string& line : pam) {
        if (line[0] == '%') continue;
        StrVec fields = strSplit(line, ' ');
        for (size_t k = 1; k < fields.size(); ++k) {
            const int i = set->findModel(fields[k]);
            ASSERT_GE(i, 0) << line;
            EXPECT_EQ(std::string(set->m_models[i].name), fields[k]) << line;
        }
    }
    for (const wpaEntry& e : dict.m_wpa)
        for (const std::string& syllable : e.pas) EXPECT_GE(dict.pronDictFind(syllable), 0) << syllable;
    EXPECT_GE(dict.m_wpa.size(), 11u);
}

TEST(BundledModels, CountAndBellFilesFollowTheSortedModelSet) {
    for (const std::string& folder : {kBundled, kShipped})
    for (const char* name : {"english.sa.prm", "chinese.sa.prm"}) {
        SCOPED_TRACE(folder);
        const recogParam p = readSet(name, folder);
        auto set = modelsOf(p, folder);
        const StrVec counts = listLines(folder + "/../" + p.modelCountFile);
        StrVec bells;
        for (const std::string& line : listLines(folder + "/../" + p.cmParamFile))
            if (line[0] != '%') bells.push_back(line);
        ASSERT_EQ(counts.size(), static_cast<size_t>(set->m_modelNum)) << name;
        ASSERT_EQ(bells.size(), static_cast<size_t>(set->m_modelNum)) << name;
        for (int i = 0; i < set->m_modelNum; ++i) {
            const std::string model = set->m_models[i].name;
            EXPECT_EQ(strSplit(counts[i], '\t')[0], model) << name;
            EXPECT_GT(set->m_models[i].logCount, 0.0f) << name << " " << model;
            const StrVec fields = strSplit(bells[i], '\t');
            ASSERT_EQ(fields.size(), 6u) << bells[i];
            EXPECT_EQ(fields[0], model);
            EXPECT_EQ(fields[5].front(), '[');
        }
    }
}

TEST(BundledSamples, SentencesAndListsAgree) {
    const std::string english = readFile(kBundled + "/samples/english.txt");
    const std::string chinese = readFile(kBundled + "/samples/chinese.txt");
    EXPECT_EQ(english, "i like to read a good book");
    EXPECT_EQ(chinese, kChineseBig5);
    for (const auto& [sentence, list] : {std::pair{english, "english_list.txt"}, std::pair{chinese, "chinese_list.txt"}}) {
        const StrVec lines = listLines(kBundled + "/samples/" + list);
        EXPECT_GE(lines.size(), 3u) << list;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), sentence), 1) << list;
        EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size()) << list;
    }
}

TEST(BundledSamples, RecordingsAreSixteenKilohertzSixteenBitMono) {
    for (const char* name : {"english.wav", "chinese.wav"}) {
        int channels = 0;
        const SampleArray wave = readAudioFile(kBundled + "/samples/" + name, &channels);
        EXPECT_EQ(channels, 1) << name;
        EXPECT_EQ(wave.rate, 16000) << name;
        EXPECT_EQ(wave.bits, 16) << name;
        EXPECT_GT(wave.count(), 16000) << name;
        EXPECT_LT(wave.count(), 16000 * 6) << name;
    }
}

TEST(BundledSet, StaysSmall) {
    uintmax_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(kBundled))
        if (e.is_regular_file()) total += e.file_size();
    EXPECT_LT(total, 1024u * 1024u);
}

// Whole operations of the engine object on a copy of the bundled folder.
class BundledRuns : public testing::Test {
protected:
    void SetUp() override { testing::internal::CaptureStdout(); }
    void TearDown() override { testing::internal::GetCapturedStdout(); }

    double assess(KEDO& engine, const std::string& wav, const std::string& sentence) {
        double score = -1;
        EXPECT_EQ(engine.Assess(m_home.file("kedoData/samples/" + wav), sentence, score), Status::ok)
            << engine.lastErrorMessage();
        return score;
    }
    std::string recog(KEDO& engine, const std::string& wav, const std::string& list) {
        std::string sentence = "(none)";
        EXPECT_EQ(engine.Recog(m_home.file("kedoData/samples/" + wav), m_home.file("kedoData/samples/" + list), sentence),
                  Status::ok)
            << engine.lastErrorMessage();
        return sentence;
    }

    CurrentFolder m_keep;
    BundledHome m_home;
};

TEST_F(BundledRuns, EnglishAssessScoresTheSampleAndWritesTheRunFiles) {
    KEDO engine(m_home.path());
    const double score = assess(engine, "english.wav", "i like to read a good book");
    EXPECT_GE(score, 0.0);
    EXPECT_LE(score, 100.0);
    // The models were made from the same synthetic voice: the own sentence
    // comes out on top.
    EXPECT_GT(score, 90.0);
    const std::set<std::string> files = outputFiles(m_home.path());
    for (const char* f : {"saTXT.txt", "output.xml", "phone.lab", "phone.cm", "score.txt", "recogResult.txt",
                          "output.wave", "output.fea", "modelStrVec.txt"})
        EXPECT_TRUE(files.count(f)) << f;
    EXPECT_NEAR(std::stod(readFile(m_home.file("kedoData/output/score.txt"))), score, 1e-3);
}

TEST_F(BundledRuns, AWrongSentenceScoresFarLower) {
    KEDO engine(m_home.path());
    const double right = assess(engine, "english.wav", "i like to read a good book");
    const double wrong = assess(engine, "english.wav", "good morning");
    EXPECT_GE(wrong, 0.0);
    EXPECT_LT(wrong, right - 30.0);
    ASSERT_EQ(engine.SwitchLanguage(1), Status::ok);
    const double rightZh = assess(engine, "chinese.wav", kChineseUtf8);
    const double wrongZh = assess(engine, "chinese.wav", "\xe4\xbd\xa0\xe5\xa5\xbd");  // 你好
    EXPECT_LT(wrongZh, rightZh - 30.0);
}

// Blanks around and between the words make no words of their own: the
// sentence counts its seven words, and the score stays.
TEST_F(BundledRuns, BlanksAroundEnglishWordsDoNotCountAsWords) {
    KEDO engine(m_home.path());
    const double plain = assess(engine, "english.wav", "i like to read a good book");
    EXPECT_EQ(assess(engine, "english.wav", " i like  to read a good book "), plain);
}

TEST_F(BundledRuns, ChineseAssessScoresTheSampleWithPitch) {
    KEDO engine(m_home.path());
    ASSERT_EQ(engine.SwitchLanguage(1), Status::ok);
    const double score = assess(engine, "chinese.wav", kChineseUtf8);
    EXPECT_GE(score, 0.0);
    EXPECT_LE(score, 100.0);
    EXPECT_GT(score, 90.0);
    EXPECT_EQ(readFile(m_home.file("kedoData/output/saTXT.txt")), kChineseBig5);
    const std::string xml = readFile(m_home.file("kedoData/output/output.xml"));
    EXPECT_NE(xml.find("encoding=\"big5\""), std::string::npos);
    EXPECT_NE(xml.find("pitch"), std::string::npos);
}

// With short pauses padded between the words the identified path holds an
// "sp" between every two syllables; they are no syllables of the sentence, so
// the share of identified syllables stays 1 and the score within 0..100.
TEST_F(BundledRuns, PaddedShortPausesDoNotCountAsSyllables) {
    for (const char* set : {"english.sa.prm", "chinese.sa.prm"}) {
        std::string prm = readFile(m_home.file(std::string("kedoData/") + set));
        const size_t at = prm.find("usePaddedHardSp = 0");
        ASSERT_NE(at, std::string::npos) << set;
        prm.replace(at, 19, "usePaddedHardSp = 1");
        writeFile(m_home.file(std::string("kedoData/") + set), prm);
    }
    KEDO engine(m_home.path());
    const double score = assess(engine, "english.wav", "i like to read a good book");
    EXPECT_GT(score, 50.0);
    EXPECT_LE(score, 100.0);
    EXPECT_NE(readFile(m_home.file("kedoData/output/arenaSylPath.txt")).find("-sp-"), std::string::npos)
        << "the path is padded with short pauses";
    ASSERT_EQ(engine.SwitchLanguage(1), Status::ok);
    const double zh = assess(engine, "chinese.wav", kChineseUtf8);
    EXPECT_GT(zh, 50.0);
    EXPECT_LE(zh, 100.0);
}

TEST_F(BundledRuns, RecogFindsTheSpokenSentenceOfEachList) {
    KEDO engine(m_home.path());
    EXPECT_EQ(recog(engine, "english.wav", "english_list.txt"), "i like to read a good book");
    EXPECT_TRUE(outputFiles(m_home.path()).count("recogResult.txt"));
    ASSERT_EQ(engine.SwitchLanguage(1), Status::ok);
    EXPECT_EQ(recog(engine, "chinese.wav", "chinese_list.txt"), kChineseUtf8);
    const std::string result = readFile(m_home.file("kedoData/output/recogResult.txt"));
    EXPECT_NE(result.find(std::string("Text=") + kChineseBig5), std::string::npos) << result;
}

TEST_F(BundledRuns, RepeatedRunsGiveIdenticalFiles) {
    KEDO engine(m_home.path());
    const double first = assess(engine, "english.wav", "i like to read a good book");
    const std::string lab = readFile(m_home.file("kedoData/output/phone.lab"));
    const std::string xml = readFile(m_home.file("kedoData/output/output.xml"));
    KEDO again(m_home.path());
    EXPECT_EQ(assess(again, "english.wav", "i like to read a good book"), first);
    EXPECT_EQ(readFile(m_home.file("kedoData/output/phone.lab")), lab);
    EXPECT_EQ(readFile(m_home.file("kedoData/output/output.xml")), xml);
}

// The README's main job: the CLI on a scratch copy, the sample named from the
// checkout. The checkout's own output folder is left alone.
TEST(BundledCli, MainJobAssessesTheEnglishSample) {
    CurrentFolder keep;
    BundledHome home;
    const std::set<std::string> tracked = outputFiles(kBundled + "/..");
    EXPECT_GE(cliScore(runCli("assess '" + kBundled + "/samples/english.wav' \"i like to read a good book\" --home '" +
                              home.path() + "'")),
              0.0);
    EXPECT_EQ(outputFiles(kBundled + "/.."), tracked);
    EXPECT_TRUE(exists(home.file("kedoData/output/output.xml")));
}

// A learner who stays silent gets the score 0 and the whole file set; a
// recording of another sentence gets a score too.
TEST(BundledCli, SilenceScoresZeroAndAnotherSentenceAScore) {
    CurrentFolder keep;
    BundledHome home;
    ASSERT_EQ(runShell("sox -n -r 16000 -b 16 -c 1 '" + home.file("silent.wav") + "' trim 0 0.3").status, 0);
    auto score = [&](const std::string& wav) {
        return cliScore(runCli("assess '" + wav + "' \"i like to read a good book\" --home '" + home.path() + "'"));
    };
    EXPECT_EQ(score(home.file("silent.wav")), 0.0);
    const std::set<std::string> files = outputFiles(home.path());
    for (const char* f : {"output.xml", "phone.lab", "phone.cm", "phone.plp", "phone.cmd", "score.txt",
                          "recogResult.txt"})
        EXPECT_TRUE(files.count(f)) << f;
    // The search did not get through the sentence: one incomplete path.
    EXPECT_NE(readFile(home.file("kedoData/output/phone.cm")).find("% discountFactor=[1 "), std::string::npos);
    EXPECT_GE(score(kBundled + "/samples/chinese.wav"), 0.0);
}

// The sample played as the microphone: the recording lands in the output
// folder and is assessed like the file itself.
TEST(BundledCli, RecordAssessPlaysTheSampleAsTheMicrophone) {
    CurrentFolder keep;
    BundledHome home;
    CliResult r = runShell("KEDO_CAPTURE_DEVICE='file:" + kBundled + "/samples/english.wav' '" + KEDO_CLI_PATH +
                           "' record-assess 2.6 \"i like to read a good book\" --json --home '" + home.path() + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const size_t at = r.out.find("\"score\": ");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_GT(std::stod(r.out.substr(at + 9)), 90.0) << r.out;
    EXPECT_NE(r.out.find("\"saWAV.wav\""), std::string::npos) << r.out;
    EXPECT_EQ(readAudioFile(home.file("kedoData/output/saWAV.wav")).rate, 16000);
}

// The README's runs on the shipped folder, whatever models it holds: each
// language's sample assessed with its own sentence and recognised from its
// list completes with a score in range and a sentence of the list.
TEST(ShippedData, SamplesAssessAndRecogniseWithTheShippedModels) {
    CurrentFolder keep;
    TempDir home;
    fs::copy(kShipped, home.file("kedoData"), fs::copy_options::recursive);
    for (const char* lang : {"english", "chinese"}) {
        SCOPED_TRACE(lang);
        const std::string samples = kShipped + "/samples/" + lang;
        const std::string opt = std::string(lang) == "english" ? "" : " --lang zh";
        const std::string codePage = std::string(lang) == "english" ? "CP1252" : "BIG5";
        const std::string toUtf8 = "iconv -f " + codePage + " -t UTF-8 '" + samples;
        const std::string where = opt + " --home '" + home.path() + "'";
        EXPECT_GE(cliScore(runCli("assess '" + samples + ".wav' \"$(" + toUtf8 + ".txt')\"" + where)), 0.0);
        EXPECT_TRUE(exists(home.file("kedoData/output/output.xml")));
        CliResult r = runCli("recog '" + samples + ".wav' '" + samples + "_list.txt'" + where);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const size_t text = r.out.rfind("text=");
        ASSERT_NE(text, std::string::npos) << r.out;
        StrVec list = strSplit(runShell(toUtf8 + "_list.txt'").out, '\n');
        for (std::string& line : list) strTrim(line);
        std::string said = r.out.substr(text + 5);
        strTrim(said);
        EXPECT_EQ(std::count(list.begin(), list.end(), said), 1) << r.out;
    }
}

}  // namespace
}  // namespace kedo::test
