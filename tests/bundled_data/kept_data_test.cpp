// Loaded data kept between the calls of one engine object: a repeated call
// writes the files and lines of a first one, and a file changed between
// calls (even rewritten at once with the same size) is read again.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "facade/kedo_internals.h"
#include "kedo/engine.h"
#include "support/test_support.h"
#include "util/str_util.h"

namespace kedo::test {
namespace {

const char* kSentence = "i like to read a good book";

// What one Assess left behind.
struct Call {
    double score = -1;
    std::map<std::string, std::string> files;
    std::string progress;  // timings blanked
};

Call assess(KEDO& engine, const std::string& sentence = kSentence) {
    Call call;
    engine.setProgressSink([&call](std::string_view text) { call.progress += text; });
    const std::string wav = engine.workingFolder() + "/kedoData/samples/english.wav";
    EXPECT_EQ(engine.Assess(wav, sentence, call.score), Status::ok) << engine.lastErrorMessage();
    call.files = folderFiles(engine.outputFolder());
    call.progress = withoutTimes(call.progress);
    return call;
}

void expectSameCall(const Call& got, const Call& want) {
    EXPECT_EQ(got.score, want.score);
    EXPECT_EQ(got.progress, want.progress);
    ASSERT_EQ(got.files.size(), want.files.size());
    for (const auto& [name, bytes] : want.files) {
        auto it = got.files.find(name);
        ASSERT_NE(it, got.files.end()) << name;
        EXPECT_TRUE(it->second == bytes) << name << " differs";
    }
}

const DataCache& keptData(const KEDO& engine) { return KEDOInternals::state(engine).dataCache; }

// The text model file with one digit of every mean line changed: the same
// size, other likelihoods.
void rewriteMeans(const std::string& path) {
    std::string text = readFile(path);
    size_t pos = 0;
    int changed = 0;
    while ((pos = text.find("<MEAN> 13\n", pos)) != std::string::npos) {
        pos += 10;
        const size_t digit = text.find_first_of("123456789", pos);
        text[digit] = text[digit] == '9' ? '1' : static_cast<char>(text[digit] + 1);
        ++changed;
    }
    ASSERT_GT(changed, 0);
    writeFile(path, text);
}

TEST(KeptData, RepeatedCallsWriteTheFilesAndLinesOfTheFirst) {
    BundledHome home;
    KEDO engine(home.path());
    const Call first = assess(engine);
    EXPECT_GE(keptData(engine).entries(), 2u) << "the model set and the dictionaries";
    EXPECT_GT(keptData(engine).bytes(), 0u);
    EXPECT_NE(first.progress.find("T sec: Read \"kedoData/english/models.mac\" (modelNum="), std::string::npos);
    EXPECT_NE(first.progress.find("T sec: Read wpa \"kedoData/english/english.wpa\""), std::string::npos);
    expectSameCall(assess(engine), first);

    // A word the table lacks gets a guessed pronunciation for that call only.
    const Call guessed = assess(engine, "i like to read a good blick");
    EXPECT_NE(guessed.progress.find("No pronunciation entry for \"blick\""), std::string::npos);
    expectSameCall(assess(engine), first);
    const Call again = assess(engine, "i like to read a good blick");
    expectSameCall(again, guessed);
}

TEST(KeptData, AModelFileRewrittenAtOnceWithTheSameSizeIsReadAgain) {
    BundledHome home;
    const std::string models = home.file("kedoData/english/models.mac");
    const size_t size = readFile(models).size();
    KEDO engine(home.path());
    const Call before = assess(engine);
    rewriteMeans(models);
    ASSERT_EQ(readFile(models).size(), size);
    const Call after = assess(engine);
    EXPECT_FALSE(after.files.at("output.xml") == before.files.at("output.xml")) << "the new means were used";

    KEDO fresh(home.path());
    expectSameCall(assess(fresh), after);
}

TEST(KeptData, AChangedPronunciationTableIsReadAgain) {
    BundledHome home;
    const std::string wpa = home.file("kedoData/english/english.wpa");
    KEDO engine(home.path());
    const Call before = assess(engine);
    std::string text = readFile(wpa);
    strReplaceAll(text, "b_uh_k", "b_uw_k");
    writeFile(wpa, text);
    const Call after = assess(engine);
    EXPECT_NE(after.files.at("output.dic").find("b_uw_k\t"), std::string::npos);
    EXPECT_FALSE(after.files.at("output.dic") == before.files.at("output.dic"));

    KEDO fresh(home.path());
    expectSameCall(assess(fresh), after);
}

}  // namespace
}  // namespace kedo::test
