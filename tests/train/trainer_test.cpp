// kedo train end to end on a small espeak-ng corpus: the trained models let
// the engine recognise held-out speakers, the bytes do not depend on the
// thread count or on an interruption, and bad input is reported.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "acoustic/macro.h"
#include "kedo/error.h"
#include "kedo/result.h"
#include "support/test_support.h"
#include "task/pipeline.h"
#include "task/recog_param.h"
#include "train/trainer.h"
#include "util/str_util.h"

namespace kedo {
namespace {

const StrVec kSentences = {"hello world", "good morning",  "i like tea",     "read the book",
                           "i like to read a good book", "hello kedo", "the good world", "i read a book"};

std::string englishData(const std::string& name) { return std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/" + name; }

// The corpus: three voices to train on and one held out, every sentence
// once per voice. It is made once in the test folder and shared by the test
// processes (made in a private folder, then renamed into place).
class TrainCorpus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        namespace fs = std::filesystem;
        dir_ = fs::absolute("kedo_train_corpus_v2").string();
        if (test::exists(file("en.prm"))) return;
        const std::string work = dir_ + ".tmp" + std::to_string(::getpid());
        fs::create_directories(work);
        std::string tsv;
        int n = 0;
        for (const char* voice : {"en-us", "en", "en+m3", "en+f3"})
            for (const std::string& s : kSentences) {
                std::string wav("u");
                wav += std::to_string(n++);
                wav += ".wav";
                test::CliResult r = test::runShell("espeak-ng -v " + std::string(voice) + " -s 160 --stdout '" + s +
                                                   "' | sox -t wav - -r 16000 -b 16 " + work + "/" + wav);
                ASSERT_EQ(r.status, 0) << "espeak-ng or sox failed";
                tsv += wav + "\t" + s + "\t" + voice + "\n";
            }
        test::writeFile(work + "/corpus.tsv", "# audio\ttranscript\tspeaker\n" + tsv);
        test::writeFile(work + "/en.prm",
                        "function = assess\nlanguage = english\n"
                        "wpaFile = " + englishData("english/english.wpa") + "\n"
                        "wpaAddendaFile = " + englishData("english/english_addenda.wpa") + "\n"
                        "tnmFile = " + englishData("english/english.tnm") + "\n"
                        "featureConfigFile = " + englishData("features.cfg") + "\n"
                        "qiYinFile = " + englishData("english/qiyin.txt") + "\n"
                        "phoneRank2scoreParamFile = " + englishData("scoring/rank2score.txt") + "\n"
                        "scoreDiscountParamFile = " + englishData("scoring/discount.txt") + "\n"
                        "useAllModelAsCompetingModel = 1\ncomparisonMode = 1\nmaxCandidateNum = 1000\n"
                        "probTh = 1000\nuseEpd = 0\nusePaddedHardSp = 0\n");
        std::error_code ec;
        fs::rename(work, dir_, ec);
        fs::remove_all(work, ec);  // another process was first
        ASSERT_TRUE(test::exists(file("en.prm")));
    }
    static std::string file(const std::string& name) { return dir_ + "/" + name; }
    static trainOptions options(const std::string& out) {
        trainOptions o;
        o.prmFile = file("en.prm");
        o.corpusFile = file("corpus.tsv");
        o.outDir = out;
        o.mixtures = 2;
        o.monoIterations = 3;
        o.contextIterations = 2;
        o.mixtureIterations = 2;
        o.progress = nullptr;
        return o;
    }
    static std::string dir_;
};
std::string TrainCorpus::dir_;

std::string outputBytes(const std::string& dir) {
    std::string all;
    for (const char* f : {"models.macb", "models.mac", "models.cnt", "cm.txt"}) all += test::readFile(dir + "/" + f);
    return all;
}

TEST_F(TrainCorpus, ModelsRecogniseHeldOutSpeakers) {
    test::TempDir out;
    trainOptions o = options(out.path());
    o.heldOutSpeakers = {"en+m3"};
    o.threads = 2;
    trainModels(o);

    // Both model files hold the same set; counts and confidence lines follow it.
    macroClass bin, text;
    bin.readModels(out.file("models.macb"), true);
    text.readModels(out.file("models.mac"), true);
    ASSERT_EQ(bin.m_modelNum, text.m_modelNum);
    StrVec names;
    bin.modelNameList(names);
    for (const char* must : {"sil", "sp", "fillerC", "fillerV", "hh+ax", "d+sil"})
        EXPECT_NE(std::find(names.begin(), names.end(), must), names.end()) << must;
    for (int m = 0; m < bin.m_modelNum; ++m)
        EXPECT_NE(bin.m_models[m].states[0].streams[0].mixtures[0].gconst, 0.0f) << names[m];
    StrVec cnt = strSplit(test::readFile(out.file("models.cnt")), '\n');
    strVecRemoveEmpty(cnt);
    ASSERT_EQ(static_cast<int>(cnt.size()), bin.m_modelNum);
    for (int m = 0; m < bin.m_modelNum; ++m) EXPECT_EQ(cnt[m].substr(0, cnt[m].find('\t')), names[m]);
    StrVec cm = strSplit(test::readFile(out.file("cm.txt")), '\n');
    strVecRemoveEmpty(cm);
    ASSERT_EQ(static_cast<int>(cm.size()), bin.m_modelNum + 1);  // with its comment line
    EXPECT_EQ(strSplit(cm[1], '\t').size(), 6u);
    std::string log = test::readFile(out.file("train.log"));
    EXPECT_NE(log.find("avg log-likelihood per frame"), std::string::npos);
    EXPECT_NE(log.find("8 held-out utterances assessed"), std::string::npos) << log;
    EXPECT_FALSE(test::exists(out.file("engine.log")));  // the engine's own lines went nowhere

    // The engine's own recognition picks the right sentence of every
    // held-out recording.
    std::string list;
    for (const std::string& s : kSentences) list += s + "\n";
    test::writeFile(out.file("list.txt"), list);
    for (size_t k = 0; k < kSentences.size(); ++k) {
        recogParam p;
        readRecogParam(file("en.prm"), p);
        p.function = "recog";
        p.macFile = out.file("models.macb");
        p.modelCountFile = out.file("models.cnt");
        p.cmParamFile = out.file("cm.txt");
        p.txtFile = out.file("list.txt");
        p.wavFile = file("u" + std::to_string(16 + k) + ".wav");
        mlfClass mlf;
        recogWaveFile(p, mlf);
        EXPECT_EQ(recognisedSentence(mlf), kSentences[k]);
    }
}

TEST_F(TrainCorpus, BytesIndependentOfThreadsAndInterruption) {
    test::TempDir one, two, resumed;
    trainOptions o = options(one.path());
    o.mixtures = 2;
    o.chunkSize = 3;
    trainModels(o);
    o.outDir = two.path();
    o.threads = 2;
    trainModels(o);
    EXPECT_EQ(outputBytes(one.path()), outputBytes(two.path()));

    // Interrupted after three iterations (in the middle of the context-free
    // stage), then resumed: the same bytes as the uninterrupted run.
    o.outDir = resumed.path();
    o.threads = 1;
    o.stopAfterSteps = 3;
    trainModels(o);
    EXPECT_FALSE(test::exists(resumed.file("models.macb")));
    EXPECT_TRUE(test::exists(resumed.file("checkpoint.macb")));
    o.stopAfterSteps = 0;
    o.resume = true;
    trainModels(o);
    EXPECT_EQ(outputBytes(one.path()), outputBytes(resumed.path()));
    std::string log = test::readFile(resumed.file("train.log"));
    EXPECT_NE(log.find("resumed after step 3"), std::string::npos);
    EXPECT_NE(log.find("features: reusing"), std::string::npos);

    // A checkpoint of other options is refused on resume.
    o.minContextCount = 3;
    EXPECT_THROW(trainModels(o), KedoError);
}

// A finished run goes on to more mixtures with --resume: its models are
// split further, and the result is the one a run to that many mixtures from
// the start gives. Fewer mixtures than the checkpoint's are refused.
TEST_F(TrainCorpus, ResumeRaisesTheMixturesOfAFinishedRun) {
    test::TempDir direct, grown;
    trainOptions o = options(direct.path());
    o.mixtures = 2;
    trainModels(o);
    o.outDir = grown.path();
    o.mixtures = 1;
    trainModels(o);
    const std::string oneMixture = outputBytes(grown.path());
    o.mixtures = 2;
    o.resume = true;
    trainModels(o);
    EXPECT_TRUE(outputBytes(direct.path()) == outputBytes(grown.path()));
    EXPECT_TRUE(outputBytes(grown.path()) != oneMixture);
    const std::string log = test::readFile(grown.file("train.log"));
    EXPECT_NE(log.find("resumed after step 5 of 7"), std::string::npos) << log;
    EXPECT_NE(log.find("features: reusing"), std::string::npos);
    EXPECT_NE(test::readFile(grown.file("checkpoint.txt")).find("mixtures 2\n"), std::string::npos);

    o.mixtures = 1;
    try {
        trainModels(o);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("run to 2 mixtures; --resume can raise --mixtures, not lower it"),
                  std::string::npos)
            << e.what();
    }
    // A damaged list of mixture steps is named as such.
    std::string state = test::readFile(grown.file("checkpoint.txt"));
    strReplaceAll(state, "mixtures 2", "mixtures 4,2");
    test::writeFile(grown.file("checkpoint.txt"), state);
    o.mixtures = 4;
    try {
        trainModels(o);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
    }
}

// The feature cache is keyed on every recording's size and modification
// time: a file recorded again under the same name (here: the same length,
// other sound) is not served from the cache, and an earlier checkpoint no
// longer fits.
TEST_F(TrainCorpus, RerecordedAudioRenewsTheFeatures) {
    namespace fs = std::filesystem;
    test::TempDir copy;
    for (int i = 0; i < 32; ++i) {
        std::string wav("u");
        wav += std::to_string(i);
        wav += ".wav";
        fs::copy_file(file(wav), copy.file(wav));
    }
    fs::copy_file(file("corpus.tsv"), copy.file("corpus.tsv"));
    trainOptions o = options(copy.file("m"));
    o.corpusFile = copy.file("corpus.tsv");
    o.stopAfterSteps = 1;
    trainModels(o);
    trainModels(o);
    EXPECT_NE(test::readFile(copy.file("m/train.log")).find("features: reusing"), std::string::npos);
    const std::string before = test::readFile(copy.file("m/features.bin"));

    // u1 re-recorded as u0's sound, padded or cut to u1's length, an hour on.
    std::string u0 = test::readFile(copy.file("u0.wav")), u1 = test::readFile(copy.file("u1.wav"));
    u0.resize(u1.size(), '\0');
    u0.replace(4, 4, u1, 4, 4);    // RIFF size
    u0.replace(40, 4, u1, 40, 4);  // data size
    test::writeFile(copy.file("u1.wav"), u0);
    fs::last_write_time(copy.file("u1.wav"), fs::last_write_time(copy.file("u0.wav")) + std::chrono::hours(1));
    o.resume = true;
    EXPECT_THROW(trainModels(o), KedoError);
    // The resumed run's lines follow the earlier run's in train.log.
    const std::string log = test::readFile(copy.file("m/train.log"));
    const size_t reused = log.find("features: reusing");
    ASSERT_NE(reused, std::string::npos) << log;
    EXPECT_NE(log.find("features: 32 utterances in", reused), std::string::npos) << log;
    EXPECT_TRUE(test::readFile(copy.file("m/features.bin")) != before);
}

// The terminal shows the trainer's stages, one line each; the engine's
// lines of the feature and held-out runs go to engine.log with --verbose,
// the per-model figures to train.log alone.
TEST_F(TrainCorpus, TerminalShowsOneLinePerStage) {
    test::TempDir out;
    test::CliResult r = test::runCli("train --prm " + file("en.prm") + " --corpus " + file("corpus.tsv") + " --out " +
                                     out.file("m") + " --mixtures 1 --held-out-speakers en+m3 --verbose");
    ASSERT_EQ(r.status, 0) << r.err;
    StrVec lines = strSplit(r.out, '\n');
    strVecRemoveEmpty(lines);
    // The lexicon, the options, features, utterances, 7 iterations with the
    // note on the phone without data ("eh", only in variants), the final
    // alignment, the confidence fit, done.
    ASSERT_EQ(lines.size(), 15u) << r.out;
    EXPECT_EQ(lines[0], "Reading the lexicon of " + file("en.prm"));
    EXPECT_EQ(lines[4].rfind("step 1/7: context-free models, iteration 1/4", 0), 0u) << lines[4];
    EXPECT_EQ(lines[8].rfind("no data for eh", 0), 0u) << lines[8];
    EXPECT_EQ(lines[14].rfind("done in ", 0), 0u) << lines[14];
    EXPECT_EQ(r.out.find(" sec: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames per model"), std::string::npos);
    const std::string engine = test::readFile(out.file("m/engine.log"));
    EXPECT_NE(engine.find("sec: Compute MFCC"), std::string::npos);
    EXPECT_NE(engine.find("sec: Viterbi search"), std::string::npos);  // the held-out assessments
    EXPECT_NE(test::readFile(out.file("m/train.log")).find("frames per model: "), std::string::npos);
}

TEST_F(TrainCorpus, SkipsBadUtterancesWithTheirReasons) {
    test::TempDir out;
    test::CliResult r = test::runShell("sox " + file("u0.wav") + " " + out.file("short.wav") + " trim 0 0.05");
    ASSERT_EQ(r.status, 0);
    std::string tsv = test::readFile(file("corpus.tsv"));
    // Absolute audio paths, since this corpus lives elsewhere.
    StrVec lines = strSplit(tsv, '\n');
    std::string fixed;
    for (const std::string& l : lines)
        if (!l.empty() && l[0] != '#') fixed += file(l) + "\n";
    fixed += out.file("missing.wav") + "\thello world\n";
    fixed += file("u0.wav") + "\thello zebra\n";
    fixed += out.file("short.wav") + "\thello world\n";
    test::writeFile(out.file("corpus.tsv"), fixed);
    trainOptions o = options(out.file("models"));
    o.corpusFile = out.file("corpus.tsv");
    o.mixtures = 1;
    o.monoIterations = 1;
    o.contextIterations = 1;
    trainModels(o);
    std::string log = test::readFile(out.file("models/train.log"));
    EXPECT_NE(log.find("skipped: line 33 (" + out.file("missing.wav") + "): audio: "), std::string::npos) << log;
    EXPECT_NE(log.find("skipped: line 34 (" + file("u0.wav") + "): no pronunciation for \"zebra\""),
              std::string::npos);
    EXPECT_NE(log.find("skipped: line 35 (" + out.file("short.wav") + "): too short"), std::string::npos);
    EXPECT_NE(log.find("32 to train on"), std::string::npos);
    EXPECT_NE(log.find("3 skipped"), std::string::npos);
    EXPECT_TRUE(test::exists(out.file("models/models.macb")));

    // Nothing left to train on: an error, and no finished files.
    test::writeFile(out.file("bad.tsv"), out.file("missing.wav") + "\thello world\n");
    o.corpusFile = out.file("bad.tsv");
    try {
        trainModels(o);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("No utterance of"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(test::exists(out.file("models/models.macb")));
    EXPECT_FALSE(test::exists(out.file("models/cm.txt")));
}

TEST_F(TrainCorpus, RefusesBadRunsWithNothingComplete) {
    test::TempDir out;
    trainOptions o = options(out.file("m"));
    test::writeFile(out.file("empty.tsv"), "# only a comment\n\n");
    o.corpusFile = out.file("empty.tsv");
    try {
        trainModels(o);
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("holds no utterance"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(test::exists(out.file("m/models.macb")));

    // A parameter file the engine refuses.
    test::writeFile(out.file("bad.prm"), "language = english\nnoSuchKey = 1\n");
    o = options(out.file("m"));
    o.prmFile = out.file("bad.prm");
    EXPECT_THROW(trainModels(o), KedoError);
    o = options(out.file("m"));
    o.mixtures = 33;
    EXPECT_THROW(trainModels(o), KedoError);
    o = options(out.file("m"));
    o.minContextCount = 0;
    EXPECT_THROW(trainModels(o), KedoError);

    // The command line: an unknown option is a usage error, status 1.
    test::CliResult r = test::runCli("train --prm " + file("en.prm") + " --corpus " +
                                     file("corpus.tsv") + " --out " + out.file("m") + " --bogus 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos);
    r = test::runCli("train --prm " + file("en.prm") + " --corpus " + file("corpus.tsv") + " --out " +
                     out.file("m") + " --min-context 0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--min-context must be at least 1, not 0"), std::string::npos) << r.err;
    r = test::runCli("train --prm " + file("en.prm") + " --corpus " + out.file("empty.tsv") + " --out " +
                     out.file("m"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds no utterance"), std::string::npos);
    EXPECT_FALSE(test::exists(out.file("m/models.mac")));
}

// Mandarin: UTF-8 transcripts become Big5, characters become syllables
// through the pinyin table and the pam, and the pam's initials and finals
// are trained; a character that Big5 cannot hold skips its utterance.
TEST(TrainChinese, SyllablesThroughThePam) {
    test::TempDir dir;
    const StrVec sentences = {"\xE4\xBD\xA0\xE5\xA5\xBD", "\xE6\x88\x91\xE5\xAD\xB8\xE4\xB8\xAD\xE6\x96\x87",
                              "\xE4\xB8\xAD\xE6\x96\x87\xE5\xBE\x88\xE5\xA5\xBD"};  // ni hau, wo shiue jung wen, ...
    std::string tsv;
    int n = 0;
    for (const char* voice : {"cmn", "cmn+m3"})
        for (const std::string& s : sentences) {
            std::string wav = dir.file("c");
            wav += std::to_string(n++);
            wav += ".wav";
            ASSERT_EQ(test::runShell("espeak-ng -v " + std::string(voice) + " --stdout '" + s +
                                     "' | sox -t wav - -r 16000 -b 16 " + wav)
                          .status,
                      0);
            tsv += wav + "\t" + s + "\n";
        }
    tsv += dir.file("c0.wav") + "\t\xF0\x9F\x98\x80\n";  // an emoji: not in Big5
    test::writeFile(dir.file("corpus.tsv"), tsv);
    std::string prm = test::readFile(englishData("chinese.sa.prm"));
    strReplaceAll(prm, "kedoData/", std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/");
    test::writeFile(dir.file("zh.prm"), prm);
    trainOptions o;
    o.prmFile = dir.file("zh.prm");
    o.corpusFile = dir.file("corpus.tsv");
    o.outDir = dir.file("out");
    o.mixtures = 1;
    o.monoIterations = 2;
    o.contextIterations = 1;
    o.progress = nullptr;
    trainModels(o);
    macroClass set;
    set.readModels(dir.file("out/models.macb"), true);
    StrVec names;
    set.modelNameList(names);
    EXPECT_EQ(names, (StrVec{"au", "en", "fillerC", "fillerV", "h", "i", "iue", "j", "n", "o", "sh", "sil", "sp",
                             "ung", "w"}));
    std::string log = test::readFile(dir.file("out/train.log"));
    EXPECT_NE(log.find("skipped: line 7"), std::string::npos) << log;
    EXPECT_NE(log.find("code page"), std::string::npos) << log;
}

TEST(Corpus, ReadsPathsTranscriptsAndSpeakers) {
    test::TempDir dir;
    test::writeFile(dir.file("c.tsv"),
                    "\xEF\xBB\xBF# comment\n\na.wav\thello world\tanne\r\n/abs/b.wav\t  good morning \n");
    std::vector<corpusEntry> c = readCorpus(dir.file("c.tsv"));
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].audio, dir.file("a.wav"));
    EXPECT_EQ(c[0].transcript, "hello world");
    EXPECT_EQ(c[0].speaker, "anne");
    EXPECT_EQ(c[0].line, 3);
    EXPECT_EQ(c[1].audio, "/abs/b.wav");
    EXPECT_EQ(c[1].transcript, "good morning");
    EXPECT_EQ(c[1].speaker, "");
    test::writeFile(dir.file("bad.tsv"), "a.wav\n");
    try {
        readCorpus(dir.file("bad.tsv"));
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("Line 1 of the corpus"), std::string::npos);
    }
    EXPECT_THROW(readCorpus(dir.file("none.tsv")), KedoError);
}

TEST(Corpus, PhoneClasses) {
    EXPECT_EQ(centrePhone("ax+l"), "ax");
    EXPECT_EQ(centrePhone("k-ax+l"), "ax");
    EXPECT_EQ(centrePhone("sil"), "sil");
    EXPECT_TRUE(isVowelPhone("ax"));
    EXPECT_TRUE(isVowelPhone("er"));
    EXPECT_TRUE(isVowelPhone("iue"));
    EXPECT_FALSE(isVowelPhone("hh"));
    EXPECT_FALSE(isVowelPhone("zh"));
    EXPECT_FALSE(isVowelPhone(""));
}

}  // namespace
}  // namespace kedo
