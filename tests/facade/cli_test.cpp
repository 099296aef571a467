// The command-line road (kedo assess, recog, record-*) and the C interface,
// run as separate programs on a copy of the bundled data folder.
#include <filesystem>

#include "facade/facade_command.h"
#include "facade_fixture.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

std::string cHostPath() { return (fs::path(KEDO_CLI_PATH).parent_path() / "kedo_c_host").string(); }

TEST_F(FacadeTest, CliFailuresGoToStandardErrorWithStatusOne) {
    CliResult r = runCli("assess missing.wav 'hello' --home '" + home.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(r.out.find("score="), std::string::npos);
    EXPECT_EQ(readFile(output("saTXT.txt")), "hello") << "the run got as far as the pipeline";

    r = runCli("recog missing.wav list.txt --json --home '" + home.path() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "") << "a failed run prints no JSON";

    r = runCli("assess a.wav hello --home '" + home.file("nowhere") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nowhere"), std::string::npos) << r.err;

    ScopedEnv env("KEDO_HOME", home.path().c_str());
    r = runCli("assess a.wav '\xe4\xbd\xa0'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("U+4F60"), std::string::npos) << r.err;
}

TEST_F(FacadeTest, CliUsageErrors) {
    EXPECT_EQ(runCli("assess a.wav hello --lang fr").status, 1);
    CliResult r = runCli("record-assess soon hello");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("SECONDS must be a number"), std::string::npos) << r.err;
    EXPECT_EQ(runCli("record-recog -2 list.txt").status, 1);
    EXPECT_EQ(runCli("recog only-one-argument").status, 1);
    EXPECT_EQ(runCli("assess --help").status, 0);
}

TEST(FacadeJson, EscapesTextAndListsTheOutputFolder) {
    EXPECT_EQ(jsonString("a\"b\\c\nd\x01\xe4\xbd\xa0"), "\"a\\\"b\\\\c\\nd\\u0001\xe4\xbd\xa0\"");
    FacadeRequest request;
    request.operation = FacadeOperation::recordAssess;
    FacadeOutcome outcome;
    outcome.status = Status::ok;
    outcome.score = 72.25;
    outcome.outputFolder = "/h/kedoData/output";
    outcome.files = {"output.xml", "saWAV.wav"};
    EXPECT_EQ(facadeOutcomeJson(request, outcome),
              "{\"score\": 72.25, \"outputFolder\": \"/h/kedoData/output\", \"files\": [\"output.xml\", "
              "\"saWAV.wav\"]}");
    request.operation = FacadeOperation::recog;
    outcome.sentence = "good \"morning\"";
    outcome.files.clear();
    EXPECT_EQ(facadeOutcomeJson(request, outcome),
              "{\"sentence\": \"good \\\"morning\\\"\", \"outputFolder\": \"/h/kedoData/output\", \"files\": []}");
}

TEST_F(FacadeTest, RequestsTakeRelativeNamesFromTheCallersFolder) {
    writeFile(home.file("list.txt"), "one\ntwo\n");
    fs::current_path(home.path());
    FacadeRequest request;
    request.operation = FacadeOperation::recog;
    request.audio = "take.wav";
    request.text = "list.txt";
    request.home = home.path();
    request.language = 1;
    FacadeOutcome outcome = runFacadeRequest(request);
    EXPECT_EQ(outcome.status, Status::failed);  // the placeholder parameters name no models
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_EQ(outcome.outputFolder, home.path() + "/kedoData/output");
}

// The recording road end to end: the file-backed capture service plays a WAV
// file as the microphone; the recording lands in the output folder for the
// nested assessment, which then runs the pipeline as far as this build goes.
TEST_F(FacadeTest, RecordAssessThroughTheFileCaptureService) {
    std::string tone = home.file("tone.wav");
    ASSERT_EQ(runShell("sox -n -r 16000 -b 16 -c 1 '" + tone + "' synth 0.5 sine 440").status, 0);
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + tone).c_str());
    CliResult r = runCli("record-assess 0.3 hello --json --home '" + home.path() + "'");
    if (r.status != 0) {
        EXPECT_EQ(r.out, "") << "progress goes to standard error with --json";
        EXPECT_EQ(r.err.find("Cannot start recording"), std::string::npos) << r.err;
    }
    std::string wav = readFile(output("saWAV.wav"));
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    size_t data = wav.find("data");
    ASSERT_NE(data, std::string::npos);
    uint32_t bytes = 0;
    for (int i = 3; i >= 0; --i) bytes = bytes << 8 | static_cast<unsigned char>(wav[data + 4 + i]);
    EXPECT_EQ(bytes, 9600u) << "0.3 s at 16000 Hz, 16 bits";
    EXPECT_EQ(wav.size(), data + 8 + bytes);
}

TEST_F(FacadeTest, CHostDrivesEveryFunction) {
    ASSERT_TRUE(exists(cHostPath())) << "build the kedo_c_host target";
    CliResult r = runShell("'" + cHostPath() + "' '" + home.path() + "' missing.wav hello list.txt");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string& out = r.out;
    EXPECT_NE(out.find("create missing: null: Cannot use /nonexistent/kedo/home as the working folder"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("create: ok\n"), std::string::npos) << out;
    EXPECT_NE(out.find("switch 7: 0 []\nswitch 0: 0 []\n"), std::string::npos) << out;
    EXPECT_NE(out.find("assess: 1 score=-1 [") , std::string::npos) << out;
    EXPECT_EQ(out.find("assess: 1 score=-1 []"), std::string::npos) << "a failure carries its message";
    EXPECT_NE(out.find("recog: 1 text=(none) ["), std::string::npos) << out;
    EXPECT_NE(out.find("record: 1 [The recording time -1 seconds is outside 0 to 3600 seconds"), std::string::npos)
        << out;
    EXPECT_NE(out.find("null score: 3 [kedo_assess: score is null]"), std::string::npos) << out;
    EXPECT_NE(out.find("null engine: 3 [kedo_switch_language: engine is null]"), std::string::npos) << out;
}

}  // namespace
}  // namespace kedo::test
