// The Mandarin set that ships in data/kedoData: its sample scores high
// against its own sentence and low against another, a sentence typed in
// Simplified characters is read in Traditional ones, every syllable carries
// its designated tone and the tone of its pitch contour, and recognition
// finds the sample in its list.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "kedo/engine.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

const std::string kShipped = std::string(KEDO_SOURCE_DIR) + "/data/kedoData";
const std::string kSample = kShipped + "/samples/chinese.wav";
const char* const kSentence = "我們今天去學校";

class MandarinSet : public testing::Test {
protected:
    void SetUp() override {
        fs::copy(kShipped, m_home.file("kedoData"), fs::copy_options::recursive);
        m_engine = std::make_unique<KEDO>(m_home.path());
        m_engine->setProgressSink(nullptr);
        ASSERT_EQ(m_engine->SwitchLanguage(1), Status::ok) << m_engine->lastErrorMessage();
    }
    RunResult assess(const std::string& sentence) {
        RunResult r;
        EXPECT_EQ(m_engine->AssessResult(kSample, sentence, r), Status::ok) << m_engine->lastErrorMessage();
        return r;
    }

    TempDir m_home;
    std::unique_ptr<KEDO> m_engine;
};

TEST_F(MandarinSet, TheSampleScoresHighAndOtherSentencesLow) {
    EXPECT_GE(assess(kSentence).score, 85.0);
    EXPECT_LT(assess("請問現在幾點").score, 50.0);
    // One character changed (學 to 看) costs at least that syllable's share.
    EXPECT_LT(assess("我們今天去看校").score, assess(kSentence).score - 8.0);
}

TEST_F(MandarinSet, SimplifiedInputIsReadInTraditionalCharacters) {
    const RunResult traditional = assess(kSentence);
    const RunResult simplified = assess("我们今天去学校");
    EXPECT_DOUBLE_EQ(simplified.score, traditional.score);
    EXPECT_EQ(simplified.sentence, kSentence);
    ASSERT_FALSE(simplified.warnings.empty());
    EXPECT_NE(simplified.warnings.front().find(std::string("Traditional") + " ones (OpenCC s2tw): " + kSentence),
              std::string::npos)
        << simplified.warnings.front();
    for (const std::string& w : traditional.warnings) EXPECT_EQ(w.find("OpenCC"), std::string::npos) << w;
    // A character that neither Big5 nor the conversion can hold is refused by name.
    RunResult r;
    EXPECT_EQ(m_engine->AssessResult(kSample, "我们\xf0\x9f\x98\x80", r), Status::failed);
    EXPECT_EQ(m_engine->lastErrorKind(), ErrorKind::unknownWord);
    EXPECT_NE(m_engine->lastErrorMessage().find("U+1F600"), std::string::npos) << m_engine->lastErrorMessage();
}

TEST_F(MandarinSet, EverySyllableCarriesItsToneAndTheToneOfItsContour) {
    const RunResult r = assess(kSentence);
    ASSERT_EQ(r.words.size(), 7u);
    const char* const designated[] = {"3", "5", "1", "1", "4", "2", "4"};
    int agree = 0;
    for (size_t i = 0; i < r.words.size(); ++i) {
        SCOPED_TRACE(r.words[i].text);
        EXPECT_EQ(r.words[i].tone.substr(0, 1), designated[i]);
        ASSERT_EQ(r.words[i].pitchTone.size(), 1u);
        EXPECT_GE(r.words[i].pitchTone[0], '1');
        EXPECT_LE(r.words[i].pitchTone[0], '4');
        agree += r.words[i].pitchTone == r.words[i].tone;
    }
    // Contours in running speech follow the designated tones less well than
    // single syllables do; the falling 去 and the rising 學 come through.
    EXPECT_GE(agree, 2);
    EXPECT_EQ(r.words[4].pitchTone, "4");
    EXPECT_EQ(r.words[5].pitchTone, "2");
    const std::string json = runResultJson(r);
    EXPECT_NE(json.find("\"tone\": \"2\", \"start\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"pitchTone\": \"" + r.words[5].pitchTone + "\""), std::string::npos) << json;
}

TEST_F(MandarinSet, RecogFindsTheSampleInItsList) {
    std::string said;
    ASSERT_EQ(m_engine->Recog(kSample, kShipped + "/samples/chinese_list.txt", said), Status::ok)
        << m_engine->lastErrorMessage();
    EXPECT_EQ(said, kSentence);
}

}  // namespace
}  // namespace kedo::test
