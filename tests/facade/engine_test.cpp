// The engine object over the recorder and pipeline doubles: construction,
// language switch, output folder handling, errors, recording, concurrency.
#include <cmath>
#include <thread>

#include "facade_fixture.h"
#include "util/progress.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

const KEDO::State& state(const std::unique_ptr<KEDO>& engine) { return KEDOInternals::state(*engine); }

TEST_F(FacadeTest, ConstructionLoadsEnglishAndEmptiesOutputWithoutChangingTheCurrentFolder) {
    writeFile(output("stale.txt"), "old");
    fs::create_directory(output("keep"));
    writeFile(output("keep/inner.txt"), "inner");
    const fs::path before = fs::current_path();
    auto engine = makeEngine();
    EXPECT_EQ(fs::current_path(), before) << "threads share the current folder: it stays the host's";
    EXPECT_EQ(engine->workingFolder(), home.path());
    EXPECT_EQ(engine->outputFolder(), home.path() + "/kedoData/output");
    EXPECT_FALSE(exists(output("stale.txt")));
    EXPECT_FALSE(exists(output(".gitkeep")));
    EXPECT_TRUE(exists(output("keep/inner.txt"))) << "sub-folders are neither removed nor entered";
    const auto& s = state(engine);
    EXPECT_TRUE(s.outputReady);
    EXPECT_EQ(s.saParam.language, "english");
    EXPECT_EQ(s.saParam.wavFile, "kedoData/output/saWAV.wav");
    EXPECT_EQ(s.saParam.txtFile, "kedoData/output/saTXT.txt");
    EXPECT_EQ(s.saParam.function, "assess");
    EXPECT_EQ(s.vcParam.wavFile, "kedoData/output/vcWAV.wav");
    EXPECT_EQ(s.vcParam.txtFile, "kedoData/output/vcTXT.txt");
    EXPECT_EQ(s.vcParam.function, "recog");
    EXPECT_EQ(s.vcParam.outputDir, "kedoData/output");
}

TEST_F(FacadeTest, WorkingFolderComesFromKedoHomeOrIsRelativeToTheCurrentFolder) {
    {
        ScopedEnv env("KEDO_HOME", home.path().c_str());
        auto engine = KEDOInternals::make("", std::make_unique<TestPlatform>(recorder), scriptedPipeline(pipeline));
        EXPECT_EQ(engine->workingFolder(), home.path());
    }
    fs::current_path(fs::path(home.path()).parent_path());
    std::string relative = fs::path(home.path()).filename().string() + "/";
    auto engine = KEDOInternals::make(relative, std::make_unique<TestPlatform>(recorder), scriptedPipeline(pipeline));
    EXPECT_EQ(engine->workingFolder(), home.path());
}

TEST_F(FacadeTest, ConstructionFailsWithAClearMessage) {
    try {
        KEDOInternals::make(home.file("nowhere"), std::make_unique<TestPlatform>(recorder), scriptedPipeline(pipeline));
        FAIL() << "constructed without a working folder";
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("nowhere"), std::string::npos) << e.what();
    }
    fs::remove(home.file("kedoData/english.vc.prm"));
    try {
        makeEngine();
        FAIL() << "constructed without the English recognition parameters";
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("english.vc.prm"), std::string::npos) << e.what();
    }
}

TEST_F(FacadeTest, SwitchLanguageTakesAnyNonzeroTypeAsChinese) {
    auto engine = makeEngine();
    ASSERT_EQ(engine->SwitchLanguage(7), Status::ok);
    const auto& s = state(engine);
    EXPECT_EQ(s.saParam.language, "chinese");
    EXPECT_EQ(s.vcParam.language, "chinese");
    EXPECT_EQ(s.saParam.pinyinType, "cgu");
    EXPECT_EQ(s.saParam.txtFile, "kedoData/output/saTXT.txt");
    EXPECT_EQ(s.vcParam.function, "recog");
    EXPECT_EQ(s.codePage, CodePage::cp950);
    ASSERT_EQ(engine->SwitchLanguage(0), Status::ok);
    EXPECT_EQ(s.saParam.language, "english");
    EXPECT_EQ(s.codePage, CodePage::cp1252);
}

TEST_F(FacadeTest, FailedSwitchKeepsTheCurrentLanguageWhole) {
    auto engine = makeEngine();
    writeFile(home.file("kedoData/chinese.vc.prm"), "language = chinese\nLanguage = typo\n");
    ASSERT_EQ(engine->SwitchLanguage(1), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("unknown key = Language"), std::string::npos)
        << engine->lastErrorMessage();
    const auto& s = state(engine);
    EXPECT_EQ(s.saParam.language, "english");
    EXPECT_EQ(s.vcParam.language, "english");
    EXPECT_EQ(s.codePage, CodePage::cp1252);
}

TEST_F(FacadeTest, SwitchLanguageFindsItsFilesAfterTheHostChangedFolder) {
    auto engine = makeEngine();
    fs::current_path("/");
    EXPECT_EQ(engine->SwitchLanguage(1), Status::ok) << engine->lastErrorMessage();
}

TEST_F(FacadeTest, AssessWritesTheSentenceAndReturnsTheScore) {
    auto engine = makeEngine();
    fs::current_path("/");  // every operation returns to the working folder
    double score = -1;
    ASSERT_EQ(engine->Assess("/data/take1.wav", "hello world", score), Status::ok) << engine->lastErrorMessage();
    EXPECT_DOUBLE_EQ(score, 87.5);
    ASSERT_EQ(pipeline->calls.size(), 1u);
    const PipelineCall& call = pipeline->calls[0];
    EXPECT_EQ(call.param.wavFile, "/data/take1.wav");
    EXPECT_EQ(call.param.txtFile, "kedoData/output/saTXT.txt");
    EXPECT_EQ(call.param.function, "assess");
    EXPECT_EQ(call.txtContent, "hello world") << "written without a line end";
    EXPECT_EQ(readFile(output("saTXT.txt")), "hello world");
    EXPECT_FALSE(state(engine).outputReady);
    EXPECT_EQ(state(engine).saParam.wavFile, "/data/take1.wav") << "the override stays";
}

TEST_F(FacadeTest, SecondAssessEmptiesTheOutputOfTheFirst) {
    auto engine = makeEngine();
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "one", score), Status::ok);
    EXPECT_TRUE(exists(output("diag1.txt")));
    ASSERT_EQ(engine->Assess("b.wav", "two", score), Status::ok);
    EXPECT_FALSE(exists(output("diag1.txt")));
    EXPECT_TRUE(exists(output("diag2.txt")));
    EXPECT_EQ(readFile(output("saTXT.txt")), "two");
}

TEST_F(FacadeTest, FailedOperationReportsItsMessageAndKeepsTheOutputForTheNext) {
    auto engine = makeEngine();
    pipeline->failWith = "Cannot open file model.mac (line 12 of macro)";
    double score = -1;
    ASSERT_EQ(engine->Assess("a.wav", "one", score), Status::failed);
    EXPECT_EQ(engine->lastErrorMessage(), "Cannot open file model.mac (line 12 of macro)");
    EXPECT_EQ(score, -1) << "the out argument is not set";
    EXPECT_TRUE(state(engine).outputReady);

    pipeline->failWith.clear();
    ASSERT_EQ(engine->Assess("a.wav", "two", score), Status::ok);
    EXPECT_EQ(engine->lastErrorMessage(), "") << "a success clears the message";
    EXPECT_TRUE(exists(output("diag1.txt"))) << "the operation after an error does not empty the folder";
    EXPECT_TRUE(exists(output("diag2.txt")));

    ASSERT_EQ(engine->Assess("a.wav", "three", score), Status::ok);
    EXPECT_FALSE(exists(output("diag1.txt")));
    EXPECT_FALSE(exists(output("diag2.txt")));
    EXPECT_TRUE(exists(output("diag3.txt")));
}

TEST_F(FacadeTest, RecogReturnsTheTextsAndKeepsItsListForLaterCalls) {
    auto engine = makeEngine();
    pipeline->texts = {"good ", "morning"};
    std::string sentence = "unchanged";
    ASSERT_EQ(engine->Recog("/data/take.wav", "/data/list.txt", sentence), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(sentence, "good morning");
    EXPECT_EQ(pipeline->calls.back().param.function, "recog");
    EXPECT_EQ(pipeline->calls.back().param.wavFile, "/data/take.wav");
    EXPECT_EQ(state(engine).vcParam.txtFile, "/data/list.txt");

    ASSERT_EQ(engine->RecordAndRecog(1.0, "/data/other.txt", sentence), Status::ok) << engine->lastErrorMessage();
    const PipelineCall& call = pipeline->calls.back();
    EXPECT_EQ(call.param.txtFile, "/data/other.txt");
    EXPECT_EQ(call.param.wavFile, "kedoData/output/vcWAV.wav");
    EXPECT_TRUE(call.wavExisted);
    EXPECT_EQ(state(engine).vcParam.txtFile, "/data/other.txt");
}

TEST_F(FacadeTest, RecordAndAssessKeepsItsRecordingForTheNestedAssess) {
    auto engine = makeEngine();
    double score = 0;
    ASSERT_EQ(engine->RecordAndAssess(2.5, "hello", score), Status::ok) << engine->lastErrorMessage();
    EXPECT_DOUBLE_EQ(score, 87.5);
    ASSERT_EQ(recorder->starts.size(), 1u);
    EXPECT_DOUBLE_EQ(recorder->starts[0], 2.5);
    EXPECT_EQ(recorder->polls, 3);
    ASSERT_EQ(recorder->writes.size(), 1u);
    EXPECT_EQ(recorder->writes[0], "kedoData/output/saWAV.wav");
    ASSERT_EQ(pipeline->calls.size(), 1u);
    EXPECT_EQ(pipeline->calls[0].param.wavFile, "kedoData/output/saWAV.wav");
    EXPECT_TRUE(pipeline->calls[0].wavExisted) << "the nested Assess must not empty the folder";
    EXPECT_TRUE(exists(output("saWAV.wav")));
    EXPECT_FALSE(state(engine).outputReady);
}

TEST_F(FacadeTest, RecordingFailuresEndTheOperation) {
    auto engine = makeEngine();
    double score = -1;
    recorder->startOk = false;
    writeFile(output("saWAV.wav"), "an older recording");
    ASSERT_EQ(engine->RecordAndAssess(1.0, "hello", score), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("Cannot start recording: no capture device"), std::string::npos)
        << engine->lastErrorMessage();
    EXPECT_TRUE(pipeline->calls.empty()) << "an older recording must not be assessed";

    recorder->startOk = true;
    recorder->writeOk = false;
    ASSERT_EQ(engine->RecordAndAssess(1.0, "hello", score), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("Cannot save the recording as kedoData/output/saWAV.wav"),
              std::string::npos)
        << engine->lastErrorMessage();

    for (double bad : {-1.0, std::nan(""), 1e9}) {
        size_t starts = recorder->starts.size();
        ASSERT_EQ(engine->RecordAndAssess(bad, "hello", score), Status::failed);
        EXPECT_NE(engine->lastErrorMessage().find("outside 0 to 3600 seconds"), std::string::npos);
        EXPECT_EQ(recorder->starts.size(), starts);
    }
    EXPECT_EQ(score, -1);
}

TEST_F(FacadeTest, StalledCaptureDeviceEndsTheRecordingWithAnError) {
    auto engine = makeEngine();
    recorder->stalls = true;
    std::string sentence;
    ASSERT_EQ(engine->RecordAndRecog(0.0, "list.txt", sentence), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("did not deliver"), std::string::npos) << engine->lastErrorMessage();
}

TEST_F(FacadeTest, NestedFailureIsTheRecordingOperationsFailure) {
    auto engine = makeEngine();
    pipeline->failWith = "The stage \"Viterbi search\" is not part of this build (line 1 of recogTask)";
    double score = -1;
    ASSERT_EQ(engine->RecordAndAssess(1.0, "hello", score), Status::failed);
    EXPECT_EQ(engine->lastErrorMessage(), pipeline->failWith);
    EXPECT_EQ(score, -1);
    EXPECT_TRUE(exists(output("saWAV.wav")));
}

TEST_F(FacadeTest, TextIsConvertedToTheCodePageOfTheLanguage) {
    auto engine = makeEngine();
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "caf\xc3\xa9", score), Status::ok);
    EXPECT_EQ(readFile(output("saTXT.txt")), "caf\xe9");

    ASSERT_EQ(engine->Assess("a.wav", "\xe4\xbd\xa0", score), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("U+4F60"), std::string::npos) << engine->lastErrorMessage();
    EXPECT_EQ(pipeline->calls.size(), 1u);

    ASSERT_EQ(engine->SwitchLanguage(1), Status::ok);
    ASSERT_EQ(engine->Assess("a.wav", "\xe4\xbd\xa0\xe5\xa5\xbd", score), Status::ok);  // 你好
    EXPECT_EQ(readFile(output("saTXT.txt")), "\xa7\x41\xa6\x6e");

    pipeline->texts = {"\xa7\x41\xa6\x6e"};
    std::string sentence;
    ASSERT_EQ(engine->Recog("a.wav", "list.txt", sentence), Status::ok);
    EXPECT_EQ(sentence, "\xe4\xbd\xa0\xe5\xa5\xbd");

    pipeline->texts = {"\xa7"};  // half a character
    ASSERT_EQ(engine->Recog("a.wav", "list.txt", sentence), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("recognised sentence"), std::string::npos);
}

TEST_F(FacadeTest, WideStringOverloads) {
    auto engine = makeEngine();
    ASSERT_EQ(engine->SwitchLanguage(1), Status::ok);
    double score = 0;
    ASSERT_EQ(engine->Assess(std::wstring(L"a.wav"), std::wstring(L"\u4f60\u597d"), score), Status::ok);
    EXPECT_EQ(readFile(output("saTXT.txt")), "\xa7\x41\xa6\x6e");
    EXPECT_EQ(pipeline->calls.back().param.wavFile, "a.wav");

    pipeline->texts = {"\xa7\x41", "\xa6\x6e"};
    std::wstring sentence;
    ASSERT_EQ(engine->Recog(std::wstring(L"a.wav"), std::wstring(L"list.txt"), sentence), Status::ok);
    EXPECT_EQ(sentence, L"\u4f60\u597d");
    ASSERT_EQ(engine->RecordAndRecog(1.0, std::wstring(L"list.txt"), sentence), Status::ok);
    ASSERT_EQ(engine->RecordAndAssess(1.0, std::wstring(L"\u4f60"), score), Status::ok);

    std::wstring lone(1, static_cast<wchar_t>(0xD800));
    ASSERT_EQ(engine->Assess(std::wstring(L"a.wav"), lone, score), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("no Unicode character"), std::string::npos);
}

TEST_F(FacadeTest, OverlongFileNameIsRefused) {
    auto engine = makeEngine();
    double score = 0;
    ASSERT_EQ(engine->Assess(std::string(1000, 'a'), "hello", score), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("longer than 999 characters"), std::string::npos);
    EXPECT_EQ(engine->lastErrorKind(), ErrorKind::badInput);
    EXPECT_TRUE(pipeline->calls.empty());
}

TEST_F(FacadeTest, ConcurrentCallFromAnotherThreadIsRefused) {
    auto engine = makeEngine();
    Status other = Status::ok;
    std::string otherMessage, secondObject;
    pipeline->during = [&] {
        std::thread t([&] {
            other = engine->SwitchLanguage(1);
            otherMessage = engine->lastErrorMessage();
            try {
                makeEngine();  // a second object on the same working folder waits its turn too
            } catch (const KedoError& e) {
                secondObject = e.what();
            }
        });
        t.join();
        pipeline->during = nullptr;
    };
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "hello", score), Status::ok);
    EXPECT_EQ(other, Status::busy);
    EXPECT_NE(otherMessage.find("one operation at a time"), std::string::npos) << otherMessage;
    EXPECT_NE(secondObject.find("one operation at a time"), std::string::npos) << secondObject;
    EXPECT_EQ(engine->lastErrorMessage(), "") << "the refusal belongs to the other thread";
    EXPECT_EQ(state(engine).saParam.language, "english");

    // Afterwards the other thread is served again.
    std::thread t([&] { other = engine->SwitchLanguage(1); });
    t.join();
    EXPECT_EQ(other, Status::ok);
}

TEST_F(FacadeTest, ProgressGoesToTheObjectsSink) {
    auto engine = makeEngine();
    pipeline->during = [] { progressf("0.010 sec: Stage\n\t===> Saved x.txt\n"); };
    std::string lines;
    engine->setProgressSink([&](std::string_view text) { lines += text; });
    testing::internal::CaptureStdout();
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "hello", score), Status::ok);
    pipeline->failWith = "Cannot open file model.mac (line 12 of macro)";
    ScopedEnv temp("temp", home.path().c_str());
    EXPECT_EQ(engine->Assess("a.wav", "hello", score), Status::failed);
    engine->setProgressSink(nullptr);
    EXPECT_EQ(engine->Assess("a.wav", "hello", score), Status::failed);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "nothing on standard output";
    const std::string stage = "0.010 sec: Stage\n\t===> Saved x.txt\n";
    ASSERT_EQ(lines.substr(0, 2 * stage.size()), stage + stage);
    // The error log's notice goes to standard error, not to the sink.
    EXPECT_EQ(lines.size(), 2 * stage.size()) << lines;
}

}  // namespace
}  // namespace kedo::test
