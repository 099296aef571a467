// The service as a module that `kedo serve` opens when it starts: the HTTP
// server, TLS and compression libraries it links (a few milliseconds of
// loading and set-up in every process) are then loaded by that subcommand
// alone, not by every run of the program.
#include "service/service.h"

extern "C" __attribute__((visibility("default"))) int kedoServiceMain(const kedo::ServiceConfig* config) {
    return kedo::runService(*config);
}
