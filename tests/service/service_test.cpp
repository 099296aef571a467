// kedo serve on 127.0.0.1 (a free port) with a copy of the bundled data: the
// three calls, every refusal as JSON with its status and kind, the origin
// rule, the page, and the bounded queue.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "service/service.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

const std::string kSamples = std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData/samples";
const char* const kEnglish = "i like to read a good book";

// One service on its own thread for the life of the object.
class RunningService {
public:
    explicit RunningService(ServiceConfig c) {
        fs::copy(std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData", m_home.file("kedoData"),
                 fs::copy_options::recursive);
        c.home = m_home.path();
        c.host = "127.0.0.1";
        c.port = 0;
        c.freeStdout = false;
        c.stateFolder = m_home.file("state");
        std::promise<int> port;
        m_port = port.get_future();
        m_thread = std::thread([c, p = std::move(port)]() mutable {
            bool told = false;
            runService(c, [&](int n) {
                told = true;
                p.set_value(n);
            });
            if (!told) p.set_value(-1);
        });
        port_ = m_port.get();
    }
    ~RunningService() {
        stopService();
        m_thread.join();
    }
    httplib::Client client() const {
        httplib::Client cli("127.0.0.1", port_);
        cli.set_read_timeout(60, 0);
        return cli;
    }
    int port() const { return port_; }
    std::string state() const { return m_home.file("state"); }

private:
    TempDir m_home;
    std::future<int> m_port;
    std::thread m_thread;
    int port_ = -1;
};

httplib::MultipartFormDataItems form(const std::string& audio, const std::string& sentence,
                                     const std::string& lang = "en", const std::string& filename = "take.wav",
                                     const char* textField = "sentence") {
    return {{"audio", audio, filename, "application/octet-stream"},
            {textField, sentence, "", ""},
            {"lang", lang, "", ""}};
}

// Status, kind and message of a JSON error answer.
struct Answer {
    int status = 0;
    json body;
    std::string header(const char* name) const { return headers.count(name) ? headers.find(name)->second : ""; }
    httplib::Headers headers;
};

Answer answer(const httplib::Result& r) {
    Answer a;
    if (!r) return a;
    a.status = r->status;
    a.headers = r->headers;
    a.body = json::parse(r->body, nullptr, false);
    return a;
}

class Service : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ServiceConfig c;
        c.workers = 2;
        c.maxSeconds = 10;
        c.maxBodyBytes = 1 << 20;
        c.cors = "https://app.example.org";
        s_service = new RunningService(c);
    }
    static void TearDownTestSuite() {
        delete s_service;
        s_service = nullptr;
    }
    static RunningService* s_service;
    std::string wav = readFile(kSamples + "/english.wav");
};
RunningService* Service::s_service = nullptr;

TEST_F(Service, AssessAnswersTheStructuredResult) {
    ASSERT_GT(s_service->port(), 0);
    auto cli = s_service->client();
    Answer a = answer(cli.Post("/api/assess", form(wav, kEnglish)));
    ASSERT_EQ(a.status, 200) << a.body.dump();
    EXPECT_EQ(a.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(a.body["kind"], "assess");
    EXPECT_GT(a.body["score"].get<double>(), 90);
    EXPECT_EQ(a.body["words"].size(), 7u);
    EXPECT_EQ(a.body["outputFolder"], "") << "no server paths in answers";
    EXPECT_FALSE(a.body.contains("xml"));

    a = answer(cli.Post("/api/assess?xml=1", form(readFile(kSamples + "/chinese.wav"), "\xe6\x88\x91\xe5\xad\xb8\xe4\xb8\xad\xe6\x96\x87", "zh")));
    ASSERT_EQ(a.status, 200) << a.body.dump();
    EXPECT_EQ(a.body["words"][1]["text"], "\xe5\xad\xb8");
    EXPECT_EQ(a.body["words"][1]["tone"], "2");
    std::string xml = a.body["xml"];
    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << "the Big5 document as UTF-8";
    EXPECT_NE(xml.find("\xe5\xad\xb8"), std::string::npos);
}

TEST_F(Service, BrowserRecordingWithoutAnEnding) {
    TempDir d;
    CliResult enc = runShell("ffmpeg -nostdin -loglevel error -y -i '" + kSamples +
                             "/english.wav' -c:a libopus -f webm '" + d.file("blob") + "'");
    ASSERT_EQ(enc.status, 0) << enc.err;
    Answer a = answer(s_service->client().Post("/api/assess", form(readFile(d.file("blob")), kEnglish, "en", "blob")));
    ASSERT_EQ(a.status, 200) << a.body.dump();
    EXPECT_EQ(a.body["words"].size(), 7u);
}

TEST_F(Service, RecogAnswersTheLineOfTheList) {
    Answer a = answer(s_service->client().Post(
        "/api/recog", form(wav, "good morning\n\n  " + std::string(kEnglish) + "  \ni like tea\n", "en", "take.wav",
                           "sentences")));
    ASSERT_EQ(a.status, 200) << a.body.dump();
    EXPECT_EQ(a.body["sentence"], kEnglish);
    EXPECT_EQ(a.body["index"], 2) << "counted over the lines sent, blank ones included";
    a = answer(s_service->client().Post("/api/recog", form(wav, "\n \n", "en", "take.wav", "sentences")));
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(a.body["kind"], "bad_input");
}

TEST_F(Service, RefusalsAreJsonWithStatusAndKind) {
    auto cli = s_service->client();
    struct Case {
        httplib::MultipartFormDataItems items;
        int status;
        const char* kind;
        const char* says;
    };
    std::string tooLong = wav;
    for (int i = 0; i < 5; ++i) tooLong += wav.substr(44);  // data chunk size says 2.5 s; the reader goes by it
    std::vector<Case> cases = {
        {form(wav, "  "), 400, "bad_input", "empty"},
        {form("", kEnglish), 400, "bad_input", "no audio"},
        {form(wav, kEnglish, "fr"), 400, "bad_input", "fr"},
        {form("this is no audio", kEnglish, "en", "notes.txt"), 400, "bad_audio", "\"notes.txt\""},
        {form(wav.substr(0, 30), kEnglish, "en", "cut.wav"), 400, "bad_audio", "cut.wav"},
        {form(wav, "i like zz_qx"), 422, "unknown_word", "zz_qx"},
        {form(wav, "\xe2\x82\xac\xf0\x9f\x98\x80", "zh"), 422, "unknown_word", "U+1F600"},
    };
    for (const Case& c : cases) {
        Answer a = answer(cli.Post("/api/assess", c.items));
        EXPECT_EQ(a.status, c.status) << c.says << " " << a.body.dump();
        EXPECT_EQ(a.body["kind"], c.kind) << a.body.dump();
        std::string message = a.body["error"];
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        EXPECT_EQ(message.find(s_service->state()), std::string::npos) << "no worker paths: " << message;
    }
    Answer a = answer(cli.Post("/api/assess", std::string(2 << 20, 'x'), "application/octet-stream"));
    EXPECT_EQ(a.status, 413);
    EXPECT_EQ(a.body["kind"], "too_large");
    a = answer(cli.Post("/api/assess", "sentence=hello", "application/x-www-form-urlencoded"));
    EXPECT_EQ(a.status, 400) << a.body.dump();
    a = answer(cli.Get("/nothing/here"));
    EXPECT_EQ(a.status, 404);
    EXPECT_EQ(a.body["kind"], "not_found");
}

TEST_F(Service, RecordingsOverTheLimitAreRefused) {
    TempDir d;
    CliResult r = runShell("sox '" + kSamples + "/english.wav' '" + kSamples + "/english.wav' '" + kSamples +
                           "/english.wav' '" + kSamples + "/english.wav' '" + kSamples + "/english.wav' '" +
                           d.file("long.wav") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    Answer a = answer(s_service->client().Post("/api/assess", form(readFile(d.file("long.wav")), kEnglish)));
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(a.body["kind"], "bad_audio");
    EXPECT_NE(a.body["error"].get<std::string>().find("at most 10 seconds"), std::string::npos) << a.body.dump();
}

TEST_F(Service, OnlyTheOwnAndTheNamedOriginMayCall) {
    auto cli = s_service->client();
    std::string self = "http://127.0.0.1:" + std::to_string(s_service->port());
    Answer a = answer(cli.Get("/api/health", {{"Origin", "http://evil.example"}}));
    EXPECT_EQ(a.status, 403);
    EXPECT_EQ(a.body["kind"], "forbidden");
    a = answer(cli.Get("/api/health", {{"Origin", self}}));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.header("Access-Control-Allow-Origin"), "");
    a = answer(cli.Get("/api/health", {{"Origin", "https://app.example.org"}}));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body["workers"], 2);
    EXPECT_EQ(a.header("Access-Control-Allow-Origin"), "https://app.example.org");
    auto pre = cli.Options("/api/assess", {{"Origin", "https://app.example.org"},
                                           {"Access-Control-Request-Method", "POST"}});
    ASSERT_TRUE(pre);
    EXPECT_EQ(pre->status, 204);
}

TEST_F(Service, ServesThePage) {
    auto cli = s_service->client();
    auto page = cli.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(page->body.find("app.js"), std::string::npos);
    auto js = cli.Get("/app.js");
    ASSERT_TRUE(js);
    EXPECT_NE(js->body.find("MediaRecorder"), std::string::npos);
}

TEST(ServiceQueue, AFullQueueAnswers503WithRetryAfter) {
    ServiceConfig c;
    c.workers = 1;
    c.maxQueue = 0;
    c.maxSeconds = 60;
    RunningService service(c);
    ASSERT_GT(service.port(), 0);
    TempDir d;
    std::string sample = kSamples + "/english.wav";
    std::string cmd = "sox";
    for (int i = 0; i < 12; ++i) cmd += " '" + sample + "'";
    ASSERT_EQ(runShell(cmd + " '" + d.file("long.wav") + "'").status, 0);
    std::string longWav = readFile(d.file("long.wav"));
    auto first = std::async(std::launch::async, [&] {
        return answer(service.client().Post("/api/assess", form(longWav, kEnglish)));
    });
    // The first request holds the one engine for a while; a second one has
    // nowhere to wait.
    Answer second;
    for (int i = 0; i < 50 && second.status != 503; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto health = answer(service.client().Get("/api/health"));
        if (health.body["busy"] != 1) continue;
        second = answer(service.client().Post("/api/assess", form(readFile(sample), kEnglish)));
    }
    EXPECT_EQ(second.status, 503) << second.body.dump();
    EXPECT_EQ(second.body["kind"], "busy");
    EXPECT_EQ(second.header("Retry-After"), "2");
    EXPECT_EQ(first.get().status, 200);
    EXPECT_EQ(answer(service.client().Post("/api/assess", form(readFile(sample), kEnglish))).status, 200)
        << "the engine is free again";
}

}  // namespace
}  // namespace kedo::test
