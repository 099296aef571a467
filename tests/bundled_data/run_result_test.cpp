// The structured result of real runs on the bundled data: the words follow
// the sentence in time, the result agrees with the plain call, a browser's
// WebM recording is assessed like the WAV file, and failures carry their kind.
#include <gtest/gtest.h>

#include <filesystem>

#include "kedo/engine.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

const std::string kSamples = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/samples";
const char* const kEnglish = "i like to read a good book";

class BundledResult : public ::testing::Test {
protected:
    void SetUp() override {
        m_cwd = fs::current_path();
        fs::copy(std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData", home.file("kedoData"), fs::copy_options::recursive);
    }
    void TearDown() override { fs::current_path(m_cwd); }
    TempDir home;

private:
    fs::path m_cwd;
};

TEST_F(BundledResult, EnglishWordsFollowTheSentenceInTime) {
    KEDO engine(home.path());
    RunResult r;
    ASSERT_EQ(engine.AssessResult(kSamples + "/english.wav", kEnglish, r), Status::ok) << engine.lastErrorMessage();
    double score = -1;
    ASSERT_EQ(engine.Assess(kSamples + "/english.wav", kEnglish, score), Status::ok);
    EXPECT_DOUBLE_EQ(r.score, score);
    std::vector<std::string> words;
    for (const WordResult& w : r.words) words.push_back(w.text);
    EXPECT_EQ(words, (std::vector<std::string>{"i", "like", "to", "read", "a", "good", "book"}));
    double last = 0;
    for (const WordResult& w : r.words) {
        EXPECT_GE(w.start, last);
        EXPECT_GT(w.end, w.start);
        EXPECT_GE(w.score, 0);
        EXPECT_LE(w.score, 100.001);
        last = w.end;
    }
    for (const PhoneResult& p : r.phones)
        if (p.word >= 0) {
            EXPECT_GE(p.start, r.words[p.word].start) << p.name;
            EXPECT_LE(p.end, r.words[p.word].end) << p.name;
        }
    EXPECT_FALSE(r.volume.empty());
    EXPECT_EQ(r.outputFolder, engine.outputFolder());
}

TEST_F(BundledResult, ChineseWordsAreUtf8AndCarryPitch) {
    KEDO engine(home.path());
    ASSERT_EQ(engine.SwitchLanguage(1), Status::ok);
    RunResult r;
    const std::string sentence = "\xe6\x88\x91\xe5\xad\xb8\xe4\xb8\xad\xe6\x96\x87";
    ASSERT_EQ(engine.AssessResult(kSamples + "/chinese.wav", sentence, r), Status::ok) << engine.lastErrorMessage();
    ASSERT_EQ(r.words.size(), 4u);
    EXPECT_EQ(r.words[0].text, "\xe6\x88\x91");
    EXPECT_EQ(r.words[3].text, "\xe6\x96\x87");
    EXPECT_EQ(r.language, "chinese");
    EXPECT_FALSE(r.pitch.empty());
}

TEST_F(BundledResult, BrowserRecordingIsAssessedLikeTheWavFile) {
    std::string webm = home.file("take");  // no ending, as many uploads
    CliResult enc = runShell("ffmpeg -nostdin -loglevel error -y -i '" + kSamples +
                             "/english.wav' -c:a libopus -b:a 48k -f webm '" + webm + "'");
    ASSERT_EQ(enc.status, 0) << enc.err;
    KEDO engine(home.path());
    RunResult wav, opus;
    ASSERT_EQ(engine.AssessResult(kSamples + "/english.wav", kEnglish, wav), Status::ok);
    ASSERT_EQ(engine.AssessResult(webm, kEnglish, opus), Status::ok) << engine.lastErrorMessage();
    EXPECT_EQ(opus.words.size(), 7u);
    EXPECT_GT(opus.score, 80);
    EXPECT_NEAR(opus.words.back().end, wav.words.back().end, 0.1);
}

TEST_F(BundledResult, FailuresCarryTheirKind) {
    KEDO engine(home.path());
    RunResult r;
    EXPECT_EQ(engine.AssessResult(kSamples + "/english.wav", "i like zz_xqj", r), Status::failed);
    EXPECT_EQ(engine.lastErrorKind(), ErrorKind::unknownWord) << engine.lastErrorMessage();
    EXPECT_NE(engine.lastErrorMessage().find("zz_xqj"), std::string::npos);
    r.score = -7;
    EXPECT_EQ(engine.AssessResult(kSamples + "/english.wav", " \t", r), Status::failed);
    EXPECT_EQ(engine.lastErrorKind(), ErrorKind::badInput) << engine.lastErrorMessage();
    EXPECT_NE(engine.lastErrorMessage().find("no sentence: the text is empty or holds only blanks"), std::string::npos)
        << engine.lastErrorMessage();
    EXPECT_EQ(r.score, -7) << "the result is untouched on failure";
    writeFile(home.file("noise.webm"), "\x1A\x45\xDF\xA3 no more");
    EXPECT_EQ(engine.AssessResult(home.file("noise.webm"), kEnglish, r), Status::failed);
    EXPECT_EQ(engine.lastErrorKind(), ErrorKind::badAudio) << engine.lastErrorMessage();
    EXPECT_EQ(engine.AssessResult(home.file("absent.wav"), kEnglish, r), Status::failed);
    EXPECT_EQ(engine.lastErrorKind(), ErrorKind::badAudio) << engine.lastErrorMessage();
}

}  // namespace
}  // namespace kedo::test
