// The HTTP service: assessment and recognition for web pages and apps, on a
// pool of engine objects that each work in their own copy of the data folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "kedo/error.h"

namespace kedo {

struct ServiceConfig {
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string home;          // the data folder's parent; empty: KEDO_HOME or the installed data
    int workers = 1;           // engine objects
    int maxQueue = 16;         // requests that may wait for an engine
    double maxSeconds = 30;    // longest recording accepted
    size_t maxBodyBytes = 16u << 20;
    std::string cors;          // the one other origin allowed to call, or empty
    std::string tlsCert;       // HTTPS when both are given
    std::string tlsKey;
    int timeoutSeconds = 30;   // reading and writing a request
    bool progress = false;     // the engine's progress lines on standard error
    bool freeStdout = true;    // point standard output (the progress lines) away
    std::string stateFolder;   // where the worker folders go; empty: a new folder under TMPDIR
};

// The HTTP status that answers an engine failure of a kind.
int httpStatusOf(ErrorKind kind);

// The JSON body of an error: {"error": message, "kind": kind}.
std::string errorJson(const std::string& message, const std::string& kind);

// Runs the service until stop() or SIGTERM/SIGINT; finishes the requests in
// hand before returning. Progress and the access log go to standard error;
// calls ready(port) once it listens (port is the real one when 0 was asked).
// Returns 0, or 1 when it cannot start (the message on standard error).
int runService(const ServiceConfig& config, const std::function<void(int)>& ready = {});

// Asks a running service to stop (safe from a signal handler or a thread).
void stopService();

}  // namespace kedo
