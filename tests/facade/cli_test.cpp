// The command-line road (kedo assess, recog, record-*) and the C interface,
// run as separate programs on a copy of the bundled data folder.
#include <algorithm>
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
    FacadeOutcome outcome;
    outcome.status = Status::ok;
    outcome.result.score = 72.25;
    outcome.result.language = "english";
    outcome.result.outputFolder = "/h/kedoData/output";
    outcome.files = {"output.xml", "saWAV.wav"};
    std::string json = facadeOutcomeJson(outcome);
    EXPECT_EQ(json.find("{\"kind\": \"assess\", \"language\": \"english\", \"score\": 72.25, "), 0u) << json;
    EXPECT_NE(json.find(", \"outputFolder\": \"/h/kedoData/output\", \"files\": [\"output.xml\", \"saWAV.wav\"]}"),
              std::string::npos)
        << json;
    outcome.result.assessment = false;
    outcome.result.sentence = "good \"morning\"";
    outcome.result.index = 1;
    outcome.files.clear();
    json = facadeOutcomeJson(outcome);
    EXPECT_NE(json.find("\"sentence\": \"good \\\"morning\\\"\", \"index\": 1, "), std::string::npos) << json;
    EXPECT_NE(json.find("\"files\": []}"), std::string::npos) << json;
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

// A command-line run leaves its engine object for the process's end: the
// object stays idle, so later requests on the same folder run as before.
TEST_F(FacadeTest, EnginesLeftForTheProcessEndHoldNoFolder) {
    writeFile(home.file("list.txt"), "one\ntwo\n");
    FacadeRequest request;
    request.operation = FacadeOperation::recog;
    request.audio = home.file("take.wav");
    request.text = home.file("list.txt");
    request.home = home.path();
    request.language = 1;
    request.processEndsAfter = true;
    FacadeOutcome first = runFacadeRequest(request);
    FacadeOutcome second = runFacadeRequest(request);
    request.processEndsAfter = false;
    FacadeOutcome third = runFacadeRequest(request);
    EXPECT_NE(first.errorKind, ErrorKind::none);
    for (const FacadeOutcome* later : {&second, &third}) {
        EXPECT_EQ(later->status, first.status);
        EXPECT_EQ(later->error, first.error);
        EXPECT_EQ(later->outputFolder, home.path() + "/kedoData/output");
    }
}

// The recording road end to end: the file-backed capture service plays a WAV
// file as the microphone; the recording lands in the output folder for the
// nested assessment, which then runs the pipeline as far as this build goes.
TEST_F(FacadeTest, RecordAssessThroughTheFileCaptureService) {
    std::string tone = home.file("tone.wav");
    ASSERT_EQ(runShell("sox -n -r 16000 -b 16 -c 1 '" + tone + "' synth 0.5 sine 440").status, 0);
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + tone).c_str());
    CliResult r = runCli("record-assess 0.3 hello --json --home '" + home.path() + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    // The JSON line alone on standard output: progress goes to standard error.
    EXPECT_EQ(r.out.rfind("{", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"score\": "), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("\"saWAV.wav\""), std::string::npos) << r.out;
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
    EXPECT_NE(out.find("assess result: 1 kind=3 \n"), std::string::npos) << "a missing file is bad audio\n" << out;
    // The audio is read before the sentence: a missing file is found first.
    EXPECT_NE(out.find("empty sentence: 1 kind=3 text=(none)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("recog result: 1 kind=3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("null result: 3 kind=1 [kedo_recog_result: result_json is null]"), std::string::npos) << out;
}

// Every call of the C interface on a recording of its sentence, with the
// bundled English data: scores, the recognised sentence, both recording
// calls (the capture device plays the same recording), and busy.
TEST_F(FacadeTest, CHostSucceedsOnARecordingOfTheSentence) {
    const std::string samples = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/samples/";
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + samples + "english.wav").c_str());
    CliResult r = runShell("'" + cHostPath() + "' '" + home.path() + "' missing.wav hello list.txt '" + samples +
                           "english.wav' 'i like to read a good book' '" + samples + "english_list.txt'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    auto scoreAfter = [&](const std::string& lead) {
        const size_t at = r.out.find(lead);
        return at == std::string::npos ? -1.0 : std::stod(r.out.substr(at + lead.size()));
    };
    const double assessed = scoreAfter("good assess: 0 score=");
    EXPECT_GT(assessed, 50.0) << r.out;
    EXPECT_LE(assessed, 100.0) << r.out;
    EXPECT_NE(r.out.find("good recog: 0 text=i like to read a good book\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("while recording: 2 score=-1\n"), std::string::npos) << r.out;
    // The recording is the same audio, so it scores the same.
    EXPECT_NEAR(scoreAfter("good record assess: 0 score="), assessed, 1.0) << r.out;
    EXPECT_NE(r.out.find("good record recog: 0 text=i like to read a good book\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kedo::test
