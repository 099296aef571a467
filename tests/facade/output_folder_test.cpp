// Where the engine object writes when its working folder cannot be written:
// the per-user output folder, with the data still read from the working folder.
#include <cstdlib>
#include <thread>

#include "facade_fixture.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

// The POSIX layer with the working folder taken as read-only and a scratch
// per-user folder (empty: the system offers none).
class ReadOnlyHomePlatform : public TestPlatform {
public:
    ReadOnlyHomePlatform(std::shared_ptr<RecorderScript> script, std::string home, std::string user)
        : TestPlatform(std::move(script)), m_home(std::move(home)), m_user(std::move(user)) {}
    bool canWriteUnder(const std::string& path) const override { return path.rfind(m_home, 0) != 0; }
    std::string userStateFolder() const override { return m_user; }

private:
    std::string m_home, m_user;
};

// The pipeline double, leaving its diagnostics where the parameter set says.
PipelineRunner diagnosticsInOutputDir(std::shared_ptr<PipelineScript> script) {
    return [script](recogParam& p, mlfClass& mlf) {
        PipelineCall call{p, {}, fileExists(p.wavFile)};
        if (fileExists(p.txtFile)) call.txtContent = readFileBytes(p.txtFile);
        script->calls.push_back(call);
        writeFile(resolvePath(p.outputDir + "/diag.txt"), "diagnostics");
        if (script->during) script->during();
        mlf.score = script->score;
        return 0;
    };
}

class ReadOnlyHomeTest : public FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        fs::remove_all(home.file("kedoData/output"));
    }
    std::unique_ptr<KEDO> makeReadOnlyEngine(const std::string& workingFolder, const std::string& user) {
        return KEDOInternals::make(workingFolder,
                                   std::make_unique<ReadOnlyHomePlatform>(recorder, workingFolder, user),
                                   diagnosticsInOutputDir(pipeline));
    }
    std::unique_ptr<KEDO> makeReadOnlyEngine() { return makeReadOnlyEngine(home.path(), userOutput()); }
    std::string userOutput() const { return state.file("kedo"); }

    TempDir state;
};

TEST_F(ReadOnlyHomeTest, RunsAreWrittenToTheUserFolderAndTheDataReadFromTheWorkingFolder) {
    fs::create_directories(userOutput() + "/output");
    writeFile(userOutput() + "/output/stale.txt", "old");
    auto engine = makeReadOnlyEngine();
    const std::string out = userOutput() + "/output";
    EXPECT_EQ(engine->workingFolder(), home.path());
    EXPECT_EQ(engine->outputFolder(), out);
    EXPECT_FALSE(exists(out + "/stale.txt")) << "emptied at construction like its own output folder";
    const auto& s = KEDOInternals::state(*engine);
    EXPECT_EQ(s.saParam.wavFile, out + "/saWAV.wav");
    EXPECT_EQ(s.saParam.txtFile, out + "/saTXT.txt");
    EXPECT_EQ(s.vcParam.wavFile, out + "/vcWAV.wav");
    EXPECT_EQ(s.saParam.outputDir, out);
    EXPECT_EQ(s.vcParam.outputDir, out);
    EXPECT_EQ(s.saParam.macFile, "kedoData/english/models.mac") << "the data stays where it is";

    double score = 0;
    ASSERT_EQ(engine->Assess("/data/take1.wav", "hello world", score), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(pipeline->calls.back().txtContent, "hello world");
    EXPECT_EQ(readFile(out + "/saTXT.txt"), "hello world");
    EXPECT_TRUE(exists(out + "/diag.txt"));
    ASSERT_EQ(engine->RecordAndAssess(1.0, "hello", score), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(recorder->writes.back(), out + "/saWAV.wav");
    EXPECT_TRUE(pipeline->calls.back().wavExisted);
    EXPECT_FALSE(exists(home.file("kedoData/output"))) << "nothing is written under the working folder";

    // The other language's sets are redirected too.
    ASSERT_EQ(engine->SwitchLanguage(1), Status::ok);
    EXPECT_EQ(s.saParam.language, "chinese");
    EXPECT_EQ(s.saParam.outputDir, out);
    EXPECT_EQ(s.vcParam.txtFile, out + "/vcTXT.txt");
}

TEST_F(ReadOnlyHomeTest, AbsoluteOutputDirOfAParameterSetIsKept) {
    TempDir elsewhere;
    std::string prm = readFile(home.file("kedoData/english.sa.prm"));
    size_t at = prm.find("outputDir = kedoData/output");
    ASSERT_NE(at, std::string::npos);
    prm.replace(at, std::string("outputDir = kedoData/output").size(), "outputDir = " + elsewhere.path());
    writeFile(home.file("kedoData/english.sa.prm"), prm);
    auto engine = makeReadOnlyEngine();
    const auto& s = KEDOInternals::state(*engine);
    EXPECT_EQ(s.saParam.outputDir, elsewhere.path());
    EXPECT_EQ(s.vcParam.outputDir, userOutput() + "/output");
}

TEST_F(ReadOnlyHomeTest, WithoutAUserFolderTheWorkingFolderIsKept) {
    auto engine = makeReadOnlyEngine(home.path(), "");
    EXPECT_EQ(engine->outputFolder(), home.path() + "/kedoData/output");
    EXPECT_EQ(KEDOInternals::state(*engine).saParam.outputDir, "kedoData/output");
}

TEST_F(ReadOnlyHomeTest, EnginesSharingTheUserFolderTakeTurns) {
    TempDir otherHome;
    fs::copy(home.file("kedoData"), otherHome.file("kedoData"), fs::copy_options::recursive);
    auto engine = makeReadOnlyEngine();
    auto other = makeReadOnlyEngine(otherHome.path(), userOutput());
    Status otherStatus = Status::ok;
    pipeline->during = [&] {
        std::thread t([&] {
            double score = 0;
            otherStatus = other->Assess("b.wav", "two", score);
        });
        t.join();
        pipeline->during = nullptr;
    };
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "one", score), Status::ok);
    EXPECT_EQ(otherStatus, Status::busy) << "both write " << userOutput() << "/output";
}

TEST(PosixPlatformTest, UserStateFolderFollowsXdgStateHomeElseHome) {
    PosixPlatform platform;
    setenv("HOME", "/home/learner", 1);
    setenv("XDG_STATE_HOME", "/var/state/learner", 1);
    EXPECT_EQ(platform.userStateFolder(), "/var/state/learner/kedo");
    setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
    EXPECT_EQ(platform.userStateFolder(), "/home/learner/.local/state/kedo");
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(platform.userStateFolder(), "/home/learner/.local/state/kedo");
}

TEST(PosixPlatformTest, CanWriteUnderLooksAtTheNearestExistingFolder) {
    PosixPlatform platform;
    TempDir scratch;
    EXPECT_TRUE(platform.canWriteUnder(scratch.path()));
    EXPECT_TRUE(platform.canWriteUnder(scratch.file("kedoData/output")));
    if (geteuid() != 0) {
        fs::create_directory(scratch.file("locked"));
        fs::permissions(scratch.file("locked"), fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_FALSE(platform.canWriteUnder(scratch.file("locked/kedoData/output")));
        fs::permissions(scratch.file("locked"), fs::perms::owner_write, fs::perm_options::add);
    }
}

}  // namespace
}  // namespace kedo::test
