// kedo serve: the HTTP service and its page (not in the Windows build).
#ifndef _WIN32
#include <dlfcn.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli.h"
#include "service/service.h"

namespace kedo::cli {
namespace {

namespace fs = std::filesystem;
constexpr const char* kModuleName = "libkedo-serve.so";

long parseCount(const Args& args, const char* name, long fallback, long low, long high) {
    if (!args.has(name)) return fallback;
    std::string text = args.get(name);
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high)
        throw UsageError{std::string("--") + name + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'"};
    return v;
}

int runServe(const Args& args) {
    if (!args.positional.empty()) throw UsageError{"serve takes no arguments"};
    ServiceConfig c;
    c.host = args.get("host", c.host);
    c.port = static_cast<int>(parseCount(args, "port", c.port, 0, 65535));
    c.home = args.get("home");
    c.workers = static_cast<int>(parseCount(args, "workers", c.workers, 1, 64));
    c.maxQueue = static_cast<int>(parseCount(args, "max-queue", c.maxQueue, 0, 10000));
    c.maxSeconds = static_cast<double>(parseCount(args, "max-seconds", 30, 1, 600));
    c.maxBodyBytes = static_cast<size_t>(parseCount(args, "max-body-mb", 16, 1, 64)) << 20;
    c.timeoutSeconds = static_cast<int>(parseCount(args, "timeout", c.timeoutSeconds, 1, 3600));
    c.cors = args.get("cors");
    c.tlsCert = args.get("tls-cert");
    c.tlsKey = args.get("tls-key");
    c.stateFolder = args.get("state");
    c.progress = args.flag("progress");
    // The service module: beside the program (the build tree), else where
    // the install puts it.
    std::error_code ec;
    fs::path program = fs::canonical("/proc/self/exe", ec).parent_path();
    fs::path module = program / kModuleName;
    if (!fs::exists(module, ec)) module = (program / KEDO_SERVICE_MODULE_DIR / kModuleName).lexically_normal();
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        std::fprintf(stderr, "kedo serve: Cannot load the service module: %s\n", why ? why : module.c_str());
        return 1;
    }
    auto serviceMain = reinterpret_cast<int (*)(const ServiceConfig*)>(dlsym(handle, "kedoServiceMain"));
    if (serviceMain == nullptr) {
        std::fprintf(stderr, "kedo serve: Cannot load the service module %s: it lacks kedoServiceMain\n",
                     module.c_str());
        return 1;
    }
    return serviceMain(&c);
}

const Registration serveReg{Command{
    "serve",
    "HTTP service and web page for assessment and recognition",
    "Usage: kedo serve [--host 127.0.0.1] [--port 8080] [--home DIR] [--workers N]\n"
    "                  [--max-queue N] [--max-seconds S] [--max-body-mb M] [--timeout S]\n"
    "                  [--cors ORIGIN] [--tls-cert FILE --tls-key FILE] [--state DIR]\n"
    "                  [--progress]\n\n"
    "Serves the page at / and the calls POST /api/assess (multipart form: audio,\n"
    "sentence, lang en|zh; ?xml=1 adds the result document), POST /api/recog\n"
    "(audio, lang, sentences one per line) and GET /api/health. Every answer is\n"
    "JSON; errors are {\"error\": ..., \"kind\": ...}.\n\n"
    "  --host H         address to listen on (default 127.0.0.1)\n"
    "  --port P         port (default 8080; 0 picks a free one)\n"
    "  --home DIR       folder holding kedoData/ (default: KEDO_HOME, else the\n"
    "                   installed data); each worker works in its own copy\n"
    "  --workers N      engine objects (default 1)\n"
    "  --max-queue N    requests that may wait for an engine (default 16); more\n"
    "                   are answered 503 with Retry-After\n"
    "  --max-seconds S  longest recording accepted (default 30)\n"
    "  --max-body-mb M  largest request body in MiB (default 16); larger: 413\n"
    "  --timeout S      seconds to read or write a request (default 30)\n"
    "  --cors ORIGIN    the one other origin allowed to call (e.g.\n"
    "                   https://app.example.org); others are refused with 403\n"
    "  --tls-cert FILE, --tls-key FILE  serve HTTPS with this certificate and key\n"
    "  --state DIR      where the worker copies go (default: a new folder under\n"
    "                   TMPDIR, removed at the end)\n"
    "  --progress       the engine's progress lines on standard error (default:\n"
    "                   discarded); the access log always goes there\n\n"
    "SIGTERM or SIGINT stops the service after the requests in hand.\n",
    {"host", "port", "home", "workers", "max-queue", "max-seconds", "max-body-mb", "timeout", "cors", "tls-cert",
     "tls-key", "state"},
    {"progress"},
    runServe}};

}  // namespace
}  // namespace kedo::cli
#endif
