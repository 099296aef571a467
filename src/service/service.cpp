// The HTTP service on cpp-httplib: admission, the worker pool, the three API
// calls, the page, and a shutdown that finishes the requests in hand.
#include "service/service.h"

#include <fcntl.h>
#include <malloc.h>
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "audio/audio_file.h"
#include "facade/code_page.h"
#include "facade/platform.h"
#include "kedo/engine.h"
#include "service/web_assets.h"
#include "util/file_util.h"
#include "util/report_error.h"
#include "util/str_util.h"

namespace kedo {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

std::atomic<bool> g_stopRequested{false};

constexpr int kRetryAfterSeconds = 2;
constexpr auto kQueueWait = std::chrono::seconds(120);

void onSignal(int) { g_stopRequested.store(true); }

void saveBytes(const std::string& path, const std::string& bytes) {
    FilePtr f = openFile(path, "wb");
    if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size() || std::fflush(f.get()) != 0)
        throw std::runtime_error("Cannot write " + path);
}

struct Worker {
    std::unique_ptr<KEDO> engine;
    std::string folder;  // the worker's own copy of the data folder's parent
    int language = 0;
};

// The engines and the bounded number of requests in hand (running or waiting).
class WorkerPool {
public:
    WorkerPool(size_t limit) : m_limit(limit) {}
    void add(std::unique_ptr<Worker> w) {
        m_idle.push_back(w.get());
        m_all.push_back(std::move(w));
    }
    bool admit() {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_inHand >= m_limit) return false;
        ++m_inHand;
        return true;
    }
    void leave() {
        std::lock_guard<std::mutex> lock(m_lock);
        --m_inHand;
    }
    Worker* acquire() {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!m_free.wait_for(lock, kQueueWait, [&] { return !m_idle.empty(); })) return nullptr;
        Worker* w = m_idle.back();
        m_idle.pop_back();
        return w;
    }
    void release(Worker* w) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_idle.push_back(w);
        }
        m_free.notify_one();
    }
    json health() {
        std::lock_guard<std::mutex> lock(m_lock);
        size_t busy = m_all.size() - m_idle.size();
        return {{"status", "ok"}, {"workers", m_all.size()}, {"busy", busy},
                {"waiting", m_inHand > busy ? m_inHand - busy : 0}};
    }

private:
    std::mutex m_lock;
    std::condition_variable m_free;
    std::vector<std::unique_ptr<Worker>> m_all;
    std::vector<Worker*> m_idle;
    size_t m_limit;
    size_t m_inHand = 0;
};

// A failure with its HTTP status, answered as JSON.
struct Refusal {
    int status;
    std::string message;
    std::string kind;
};

[[noreturn]] void refuse(int status, const std::string& message, const char* kind = "bad_input") {
    throw Refusal{status, message, kind};
}

void answerJson(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json; charset=utf-8");
}

void answerRefusal(httplib::Response& res, const Refusal& r) {
    answerJson(res, r.status, errorJson(r.message, r.kind));
    if (r.status == 503) res.set_header("Retry-After", std::to_string(kRetryAfterSeconds));
}

std::string field(const httplib::Request& req, const char* name) {
    return req.has_file(name) ? req.get_file_value(name).content : std::string();
}

std::string trimmed(std::string s) {
    strTrim(s);
    return s;
}

int languageOf(const httplib::Request& req) {
    std::string lang = trimmed(field(req, "lang"));
    if (lang.empty() || lang == "en") return 0;
    if (lang == "zh") return 1;
    refuse(400, "The language must be en or zh, not \"" + lang + "\"");
}

// The worker a request holds while it lives, and its place in the queue.
class Admission {
public:
    explicit Admission(WorkerPool& pool) : m_pool(pool) {
        if (!pool.admit()) refuse(503, "The service is busy; try again shortly", "busy");
        m_worker = pool.acquire();
        if (m_worker == nullptr) {
            pool.leave();
            refuse(503, "No engine became free in time; try again shortly", "busy");
        }
    }
    ~Admission() {
        m_pool.release(m_worker);
        m_pool.leave();
    }
    Admission(const Admission&) = delete;
    Admission& operator=(const Admission&) = delete;
    Worker& worker() { return *m_worker; }

private:
    WorkerPool& m_pool;
    Worker* m_worker = nullptr;
};

class Service {
public:
    explicit Service(const ServiceConfig& c) : m_config(c), m_pool(static_cast<size_t>(c.workers + c.maxQueue)) {}

    void start(const std::string& stateFolder) {
        std::string home = m_config.home;
        if (home.empty()) home = makePlatform()->defaultWorkingFolder();
        // Absolute now: every engine makes its own folder the current one.
        home = fs::absolute(home).lexically_normal().string();
        if (!fs::is_directory(fs::path(home) / "kedoData"))
            throw std::runtime_error("The folder " + home + " holds no kedoData folder");
        for (int i = 0; i < m_config.workers; ++i) {
            auto w = std::make_unique<Worker>();
            w->folder = (fs::path(stateFolder) / ("worker" + std::to_string(i + 1))).string();
            fs::create_directories(w->folder);
            fs::copy(fs::path(home) / "kedoData", fs::path(w->folder) / "kedoData", fs::copy_options::recursive);
            w->engine = std::make_unique<KEDO>(w->folder);
            m_pool.add(std::move(w));
        }
    }

    void routes(httplib::Server& svr) {
        svr.Post("/api/assess", [this](const httplib::Request& req, httplib::Response& res) {
            handle(res, [&] { assess(req, res); });
        });
        svr.Post("/api/recog", [this](const httplib::Request& req, httplib::Response& res) {
            handle(res, [&] { recog(req, res); });
        });
        svr.Get("/api/health", [this](const httplib::Request&, httplib::Response& res) {
            answerJson(res, 200, m_pool.health().dump());
        });
        svr.Get("/api/limits", [this](const httplib::Request&, httplib::Response& res) {
            json j = {{"maxSeconds", m_config.maxSeconds}, {"maxBodyBytes", m_config.maxBodyBytes}};
            answerJson(res, 200, j.dump());
        });
        for (const WebAsset& a : webAssets()) {
            std::string path = a.path;
            auto serve = [a](const httplib::Request&, httplib::Response& res) {
                res.set_content(a.content.data(), a.content.size(), a.mime);
                res.set_header("Cache-Control", "no-cache");
            };
            svr.Get(path == "/index.html" ? "/" : path, serve);
            if (path == "/index.html") svr.Get("/index.html", serve);
        }
    }

private:
    template <class Body>
    void handle(httplib::Response& res, Body&& body) {
        try {
            body();
        } catch (const Refusal& r) {
            answerRefusal(res, r);
        } catch (const std::exception& e) {
            answerJson(res, 500, errorJson(e.what(), "engine"));
        }
    }

    // Saves the upload in the worker's folder and checks that it decodes and
    // is not too long.
    std::string saveAudio(const httplib::Request& req, Worker& w) {
        if (!req.is_multipart_form_data()) refuse(400, "Send a multipart form with the fields audio, sentence and lang");
        if (!req.has_file("audio") || req.get_file_value("audio").content.empty())
            refuse(400, "The form holds no audio file");
        std::string path = (fs::path(w.folder) / "upload.bin").string();
        saveBytes(path, req.get_file_value("audio").content);
        try {
            int channels = 1;
            SampleArray a = readAudioFile(path, &channels);
            double seconds = a.rate > 0 ? double(a.count()) / std::max(channels, 1) / a.rate : 0;
            if (seconds > m_config.maxSeconds)
                refuse(400, strFormat("The recording is %.1f seconds long; at most %g seconds are accepted", seconds,
                                      m_config.maxSeconds),
                       "bad_audio");
        } catch (const KedoError& e) {
            refuse(400, hidePath(e.what(), path, clientName(req)), "bad_audio");
        }
        return path;
    }

    // Messages name the uploaded file by the name the client gave it (or
    // "the uploaded audio"), never by the worker's path.
    static std::string hidePath(std::string message, const std::string& path, const std::string& clientName) {
        std::string name = "\"" + clientName + "\"";
        if (clientName.empty() || clientName.size() > 200 ||
            clientName.find_first_of(std::string("\"\\/\0\r\n", 6)) != std::string::npos)
            name = "the uploaded audio";
        for (size_t at; (at = message.find(path)) != std::string::npos;) message.replace(at, path.size(), name);
        return message;
    }
    static std::string clientName(const httplib::Request& req) {
        return req.has_file("audio") ? req.get_file_value("audio").filename : std::string();
    }

    void switchTo(Worker& w, int language) {
        if (w.language == language) return;
        if (w.engine->SwitchLanguage(language) != Status::ok) refuse(500, w.engine->lastErrorMessage(), "engine");
        w.language = language;
    }

    void answerResult(httplib::Response& res, const httplib::Request& req, Worker& w, RunResult& r) {
        std::string body = runResultJson(r);
        if (req.get_param_value("xml") == "1") {
            std::string xml;
            std::string xmlPath = (fs::path(w.engine->outputFolder()) / "output.xml").string();
            if (fileExists(xmlPath)) {
                xml = readFileBytes(xmlPath);
                if (w.language != 0) {
                    xml = codePageToUtf8(xml, CodePage::cp950, "result document");
                    size_t at = xml.find("encoding=\"big5\"");
                    if (at != std::string::npos) xml.replace(at, 15, "encoding=\"UTF-8\"");
                }
            }
            body.pop_back();
            body += ", \"xml\": " + jsonString(xml) + "}";
        }
        answerJson(res, 200, body);
    }

    void failed(const httplib::Request& req, Worker& w, const std::string& upload) {
        ErrorKind kind = w.engine->lastErrorKind();
        refuse(httpStatusOf(kind), hidePath(w.engine->lastErrorMessage(), upload, clientName(req)),
               errorKindName(kind));
    }

    void assess(const httplib::Request& req, httplib::Response& res) {
        std::string sentence = trimmed(field(req, "sentence"));
        if (sentence.empty()) refuse(400, "The sentence to assess is empty");
        int language = languageOf(req);
        Admission admission(m_pool);
        Worker& w = admission.worker();
        std::string upload = saveAudio(req, w);
        RunResult r;
        switchTo(w, language);
        if (w.engine->AssessResult(upload, sentence, r) != Status::ok) failed(req, w, upload);
        r.outputFolder.clear();
        answerResult(res, req, w, r);
    }

    void recog(const httplib::Request& req, httplib::Response& res) {
        int language = languageOf(req);
        std::vector<std::string> lines;
        std::vector<int> lineOf;  // the request's line of each sentence
        std::string text = field(req, "sentences");
        size_t pos = 0;
        for (int n = 0; pos <= text.size(); ++n) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = trimmed(text.substr(pos, end - pos));
            if (!line.empty()) {
                lines.push_back(line);
                lineOf.push_back(n);
            }
            pos = end + 1;
        }
        if (lines.empty()) refuse(400, "The list of sentences is empty");
        std::string list;
        for (const std::string& line : lines) {
            try {
                list += utf8ToCodePage(line, language ? CodePage::cp950 : CodePage::cp1252, "sentence") + "\n";
            } catch (const KedoError& e) {
                refuse(httpStatusOf(e.kind()), e.what(), errorKindName(e.kind()));
            }
        }
        Admission admission(m_pool);
        Worker& w = admission.worker();
        std::string upload = saveAudio(req, w);
        std::string listPath = (fs::path(w.folder) / "sentences.txt").string();
        saveBytes(listPath, list);
        RunResult r;
        switchTo(w, language);
        if (w.engine->RecogResult(upload, listPath, r) != Status::ok) failed(req, w, upload);
        if (r.index >= 0 && r.index < static_cast<int>(lineOf.size())) r.index = lineOf[r.index];
        r.outputFolder.clear();
        answerResult(res, req, w, r);
    }

    const ServiceConfig& m_config;
    WorkerPool m_pool;
};

// Same origin: the Origin header names the host the request was sent to.
bool originAllowed(const httplib::Request& req, const std::string& cors) {
    if (!req.has_header("Origin")) return true;
    std::string origin = req.get_header_value("Origin");
    std::string host = req.get_header_value("Host");
    if (origin == "http://" + host || origin == "https://" + host) return true;
    return !cors.empty() && origin == cors;
}

thread_local std::chrono::steady_clock::time_point t_requestStart;

std::string makeStateFolder(const std::string& wanted) {
    if (!wanted.empty()) {
        fs::create_directories(wanted);
        return fs::absolute(wanted).string();
    }
    std::string base = (fs::temp_directory_path() / "kedo-serve-XXXXXX").string();
    std::vector<char> name(base.begin(), base.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("Cannot create a folder under " + base);
    return name.data();
}

}  // namespace

int httpStatusOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::badInput:
        case ErrorKind::badAudio: return 400;
        case ErrorKind::unknownWord: return 422;
        case ErrorKind::none:
        case ErrorKind::engine: break;
    }
    return 500;
}

std::string errorJson(const std::string& message, const std::string& kind) {
    json j = {{"error", message}, {"kind", kind}};
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

void stopService() { g_stopRequested.store(true); }

int runService(const ServiceConfig& config, const std::function<void(int)>& ready) {
    if (config.workers < 1 || config.maxQueue < 0 || !(config.maxSeconds > 0)) {
        std::fprintf(stderr, "kedo serve: --workers must be at least 1, --max-queue at least 0 and --max-seconds "
                             "above 0\n");
        return 1;
    }
    // The engine's progress lines go to standard error, or nowhere; standard
    // output stays free.
    std::fflush(stdout);
    int sink = !config.freeStdout ? -1 : config.progress ? dup(2) : open("/dev/null", O_WRONLY);
    if (sink >= 0) {
        dup2(sink, 1);
        close(sink);
    }
    // Connections are served on many threads; without a bound on malloc's
    // per-thread arenas the memory grows with every thread that first serves
    // a request, long after the service has warmed up.
    mallopt(M_ARENA_MAX, 2);
    std::string state;
    std::unique_ptr<httplib::Server> svr;
    try {
        state = makeStateFolder(config.stateFolder);
        if (!config.tlsCert.empty() || !config.tlsKey.empty()) {
            if (config.tlsCert.empty() || config.tlsKey.empty())
                throw std::runtime_error("--tls-cert and --tls-key go together");
            auto tls = std::make_unique<httplib::SSLServer>(config.tlsCert.c_str(), config.tlsKey.c_str());
            if (!tls->is_valid()) throw std::runtime_error("Cannot use the certificate " + config.tlsCert + " and key " + config.tlsKey);
            svr = std::move(tls);
        } else {
            svr = std::make_unique<httplib::Server>();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kedo serve: %s\n", e.what());
        return 1;
    }
    Service service(config);
    int status = 0;
    try {
        service.start(state);
        size_t threads = static_cast<size_t>(config.workers + config.maxQueue + 4);
        svr->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        svr->set_payload_max_length(config.maxBodyBytes);
        svr->set_read_timeout(config.timeoutSeconds, 0);
        svr->set_write_timeout(config.timeoutSeconds, 0);
        svr->set_keep_alive_max_count(100);
        svr->set_pre_routing_handler([&config](const httplib::Request& req, httplib::Response& res) {
            t_requestStart = std::chrono::steady_clock::now();
            if (!originAllowed(req, config.cors)) {
                answerJson(res, 403, errorJson("Requests from " + req.get_header_value("Origin") + " are refused",
                                               "forbidden"));
                return httplib::Server::HandlerResponse::Handled;
            }
            if (req.has_header("Origin") && req.get_header_value("Origin") == config.cors) {
                res.set_header("Access-Control-Allow-Origin", config.cors);
                res.set_header("Vary", "Origin");
                if (req.method == "OPTIONS") {
                    res.set_header("Access-Control-Allow-Methods", "GET, POST");
                    res.set_header("Access-Control-Allow-Headers", "Content-Type");
                    res.status = 204;
                    return httplib::Server::HandlerResponse::Handled;
                }
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        svr->set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) return;
            const char* kind = res.status == 404 ? "not_found" : res.status == 413 ? "too_large" : "bad_request";
            std::string message = res.status == 404   ? "No such page"
                                  : res.status == 413 ? "The request body is larger than the service accepts"
                                                      : strFormat("The request was refused (HTTP %d)", res.status);
            answerJson(res, res.status, errorJson(message, kind));
        });
        svr->set_logger([](const httplib::Request& req, const httplib::Response& res) {
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t_requestStart)
                            .count();
            std::fprintf(stderr, "%s \"%s %s\" %d %zu %.0fms\n", req.remote_addr.c_str(), req.method.c_str(),
                         req.path.c_str(), res.status, res.body.size(), ms);
        });
        service.routes(*svr);
        int port = config.port;
        if (port == 0)
            port = svr->bind_to_any_port(config.host);
        else if (!svr->bind_to_port(config.host, port))
            port = -1;
        if (port <= 0) throw std::runtime_error(strFormat("Cannot listen on %s port %d", config.host.c_str(), config.port));
        std::fprintf(stderr, "kedo serve: listening on %s://%s:%d with %d worker%s\n",
                     config.tlsCert.empty() ? "http" : "https", config.host.c_str(), port, config.workers,
                     config.workers == 1 ? "" : "s");
        std::fflush(stderr);
        g_stopRequested.store(false);
        struct sigaction sa {};
        sa.sa_handler = onSignal;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        signal(SIGPIPE, SIG_IGN);
        std::thread watcher([&] {
            while (!g_stopRequested.load()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            svr->stop();
        });
        if (ready) ready(port);
        svr->listen_after_bind();
        g_stopRequested.store(true);
        watcher.join();
        std::fprintf(stderr, "kedo serve: stopped\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kedo serve: %s\n", e.what());
        status = 1;
    }
    if (config.stateFolder.empty()) {
        std::error_code ec;
        fs::remove_all(state, ec);
    }
    return status;
}

}  // namespace kedo
