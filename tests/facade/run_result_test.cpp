// The structured result: built from a result object (times, words, phones,
// discounts, tracks, warnings, code page), written as JSON, returned by the
// engine object with the kind of any failure.
#include <nlohmann/json.hpp>

#include "facade/run_result_build.h"
#include "facade_fixture.h"
#include "kedo/kedo.h"

namespace kedo::test {
namespace {

using json = nlohmann::json;

mlfNode node(const std::string& name, const std::string& text, int32_t start, int32_t end, float score) {
    mlfNode n;
    n.name = name;
    n.text = text;
    n.startFrame = start;
    n.endFrame = end;
    n.timberScore = score;
    mlfPhone p;
    p.name = name + "-p";
    p.startFrame = start;
    p.endFrame = end;
    p.timberScore = score;
    n.phones.push_back(p);
    for (int32_t f = start; f <= end; ++f) {
        n.volume.push_back(static_cast<float>(f));
        n.pitch.push_back(static_cast<float>(f) / 2);
    }
    return n;
}

// sil, "ni" (Big5 bytes), sp, "hao", sil, frames shifted to start at 20.
mlfClass sampleRun() {
    mlfClass mlf;
    mlf.nodes = {node("sil", "", 20, 29, -1), node("ni3", "\xa7\x41", 30, 44, 80), node("sp", "", 45, 49, -1),
                 node("hao3", "\xa6\x6e", 50, 69, 60), node("sil", "", 70, 79, -1)};
    mlf.score = 61.25f;
    mlf.discountOccurrence = {0, 1, 0, 0, 2, 0, 0};
    mlf.discountRatio = {0.5f, 0.9f, 0.9f, 0.9f, 0.8f, 0.9f, 0.9f};
    mlf.designatedSylCount = 2;
    mlf.identifiedSylCount = 2;
    mlf.warnings = {"guessed \xa7\x41"};
    mlf.HanYu = "ni-hao";
    mlf.Tone = "3-3";
    return mlf;
}

// Marks every converted string, to show which ones went through the code page.
std::string fakeUtf8(const std::string& text) { return "<" + text + ">"; }

TEST(RunResultBuild, WordsPhonesTimesAndTracksComeFromTheResultObject) {
    RunResult r = buildRunResult(sampleRun(), true, "chinese", "ni hao", "/h/out", fakeUtf8);
    EXPECT_EQ(r.sentence, "ni hao") << "an assessment keeps the host's sentence";
    EXPECT_FLOAT_EQ(r.score, 61.25);
    ASSERT_EQ(r.words.size(), 2u) << "silences and pauses are no words";
    EXPECT_EQ(r.words[0].text, "<\xa7\x41>");
    EXPECT_DOUBLE_EQ(r.words[0].start, 0.30);
    EXPECT_DOUBLE_EQ(r.words[0].end, 0.45) << "the end is exclusive";
    EXPECT_DOUBLE_EQ(r.words[1].score, 60);
    EXPECT_EQ(r.words[1].syllable, "<hao>") << "the pinyin, one piece per word";
    EXPECT_EQ(r.words[1].tone, "<3>");
    EXPECT_EQ(r.words[1].pitchTone, "2") << "each node's pitch rises steadily";
    ASSERT_EQ(r.phones.size(), 5u) << "every phone, silences included";
    EXPECT_EQ(r.phones[0].word, -1);
    EXPECT_EQ(r.phones[0].score, -1);
    EXPECT_EQ(r.phones[1].word, 0);
    EXPECT_EQ(r.phones[3].word, 1);
    EXPECT_EQ(r.phones[3].name, "hao3-p") << "model names are not converted";
    EXPECT_DOUBLE_EQ(r.trackStart, 0.20);
    ASSERT_EQ(r.volume.size(), 60u) << "the node tracks joined in time order";
    EXPECT_EQ(r.volume.front(), 20);
    EXPECT_EQ(r.volume.back(), 79);
    EXPECT_EQ(r.pitch.size(), 60u);
    ASSERT_EQ(r.discounts.size(), 2u) << "only the reasons that occurred";
    EXPECT_EQ(r.discounts[0].reason, "No. of over-short syllables");
    EXPECT_TRUE(r.discounts[0].applied);
    EXPECT_FLOAT_EQ(r.discounts[0].ratio, 0.9f);
    EXPECT_EQ(r.discounts[1].index, 4);
    EXPECT_EQ(r.discounts[1].occurrences, 2);
    EXPECT_FALSE(r.discounts[1].applied) << "the syllable count difference is reported, not applied";
    EXPECT_EQ(r.warnings, std::vector<std::string>{"<guessed \xa7\x41>"});
    EXPECT_EQ(r.outputFolder, "/h/out");
}

TEST(RunResultBuild, RecognitionTakesSentenceAndIndexFromTheRun) {
    mlfClass mlf = sampleRun();
    mlf.textIndex = {3};
    mlf.texts = {"good ", "morning"};
    mlf.Tone = "1-2-3";
    RunResult r = buildRunResult(mlf, false, "english", "ignored", "", fakeUtf8);
    EXPECT_EQ(r.sentence, "<good morning>");
    EXPECT_EQ(r.words[0].tone, "") << "no tones when they do not match the words one to one";
    EXPECT_EQ(r.words[0].pitchTone, "") << "contour tones are Chinese only";
    mlf.HanYu.clear();
    EXPECT_EQ(buildRunResult(mlf, false, "english", "", "", fakeUtf8).words[1].syllable, "<hao3>")
        << "the node's own name without a pinyin rendering";
    EXPECT_EQ(r.index, 3);
    RunResult empty = buildRunResult(mlfClass{}, false, "english", "", "", fakeUtf8);
    EXPECT_EQ(empty.index, -1);
    EXPECT_TRUE(empty.words.empty());
    EXPECT_TRUE(empty.pitch.empty());
}

TEST(RunResultJson, IsValidJsonWithEveryField) {
    RunResult r = buildRunResult(sampleRun(), true, "chinese", "say \"\xe4\xbd\xa0\"\n", "/h/out",
                                 [](const std::string& s) { return s == "\xa7\x41" ? "\xe4\xbd\xa0" : "x"; });
    r.words[1].score = std::nan("");
    json j = json::parse(runResultJson(r));
    EXPECT_EQ(j["kind"], "assess");
    EXPECT_EQ(j["sentence"], "say \"\xe4\xbd\xa0\"\n");
    EXPECT_FALSE(j.contains("index"));
    EXPECT_EQ(j["words"][0]["text"], "\xe4\xbd\xa0");
    EXPECT_DOUBLE_EQ(j["words"][0]["end"].get<double>(), 0.45);
    EXPECT_TRUE(j["words"][1]["score"].is_null()) << "a number that is not finite";
    EXPECT_EQ(j["words"][1]["pitchTone"], "2");
    EXPECT_EQ(j["phones"].size(), 5u);
    EXPECT_EQ(j["phones"][2]["word"], -1);
    EXPECT_EQ(j["discounts"][1]["applied"], false);
    EXPECT_EQ(j["tracks"]["volume"].size(), 60u);
    EXPECT_DOUBLE_EQ(j["tracks"]["pitch"][1].get<double>(), 10.5);
    EXPECT_EQ(j["warnings"][0], "x");
    EXPECT_EQ(j["designatedSyllables"], 2);
    r.assessment = false;
    r.index = 0;
    j = json::parse(runResultJson(r));
    EXPECT_EQ(j["kind"], "recog");
    EXPECT_EQ(j["index"], 0);
}

// The engine object with a pipeline that leaves a whole result object.
class ResultEngineTest : public FacadeTest {
protected:
    std::unique_ptr<KEDO> makeResultEngine() {
        return KEDOInternals::make(home.path(), std::make_unique<TestPlatform>(recorder),
                                   [this](recogParam&, mlfClass& mlf) {
                                       if (!failWith.empty()) reportError(failWith, failKind);
                                       mlf = sampleRun();
                                       mlf.texts = {"hello"};
                                       mlf.textIndex = {1};
                                       return 0;
                                   });
    }
    std::string failWith;
    ErrorKind failKind = ErrorKind::engine;
};

TEST_F(ResultEngineTest, ResultCallsReturnTheWholeRun) {
    auto engine = makeResultEngine();
    RunResult r;
    ASSERT_EQ(engine->AssessResult("a.wav", "ni hao", r), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(engine->lastErrorKind(), ErrorKind::none);
    EXPECT_EQ(r.language, "english");
    EXPECT_EQ(r.sentence, "ni hao");
    EXPECT_EQ(r.words.size(), 2u);
    EXPECT_EQ(r.outputFolder, engine->outputFolder());
    EXPECT_EQ(r.words[0].text, "\xc2\xa7\x41") << "Latin-1 bytes of the English code page, as UTF-8";
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "ni hao", score), Status::ok);
    EXPECT_FLOAT_EQ(score, r.score) << "the plain call scores the same";

    RunResult recog;
    ASSERT_EQ(engine->RecogResult("a.wav", "list.txt", recog), Status::ok) << engine->lastErrorMessage();
    EXPECT_FALSE(recog.assessment);
    EXPECT_EQ(recog.sentence, "hello");
    EXPECT_EQ(recog.index, 1);
    RunResult recorded;
    ASSERT_EQ(engine->RecordAndAssessResult(0.5, "ni hao", recorded), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(recorded.words.size(), 2u);
    ASSERT_EQ(engine->RecordAndRecogResult(0.5, "list.txt", recorded), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(recorded.sentence, "hello");
}

TEST_F(ResultEngineTest, FailuresCarryTheirKind) {
    auto engine = makeResultEngine();
    // A blank sentence is refused by the text reader of the real pipeline (see
    // the bundled-data result test); this fake pipeline never reads it.
    RunResult r;
    r.score = -7;
    EXPECT_EQ(engine->AssessResult("a.wav", "\xff", r), Status::failed);
    EXPECT_EQ(r.score, -7) << "the result is untouched on failure";
    EXPECT_EQ(engine->lastErrorKind(), ErrorKind::badInput) << "not UTF-8";
    ASSERT_EQ(engine->SwitchLanguage(1), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(engine->AssessResult("a.wav", "\xf0\x9f\x98\x80", r), Status::failed);
    EXPECT_EQ(engine->lastErrorKind(), ErrorKind::unknownWord) << "a character Big5 cannot hold";

    for (ErrorKind kind : {ErrorKind::unknownWord, ErrorKind::badAudio, ErrorKind::engine}) {
        failWith = "the pipeline failed";
        failKind = kind;
        EXPECT_EQ(engine->RecogResult("a.wav", "list.txt", r), Status::failed);
        EXPECT_EQ(engine->lastErrorKind(), kind);
        EXPECT_EQ(engine->lastErrorMessage(), "the pipeline failed");
    }
    failWith.clear();
    ASSERT_EQ(engine->AssessResult("a.wav", "ni hao", r), Status::ok);
    EXPECT_EQ(engine->lastErrorKind(), ErrorKind::none);
    EXPECT_EQ(r.language, "chinese");
    EXPECT_EQ(r.words[0].text, "\xe4\xbd\xa0") << "Big5 to UTF-8";
}

TEST(ErrorKindNames, AreStableForHosts) {
    EXPECT_STREQ(errorKindName(ErrorKind::none), "none");
    EXPECT_STREQ(errorKindName(ErrorKind::badInput), "bad_input");
    EXPECT_STREQ(errorKindName(ErrorKind::unknownWord), "unknown_word");
    EXPECT_STREQ(errorKindName(ErrorKind::badAudio), "bad_audio");
    EXPECT_STREQ(errorKindName(ErrorKind::engine), "engine");
}

}  // namespace
}  // namespace kedo::test
