// kedo: the command-line front of the engine. Each subcommand lives in its own
// cmd_*.cpp file and registers itself here.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "cli.h"
#include "terminal.h"
#include "kedo/error.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo::cli {

namespace {
// A subcommand runs once and ends: the model set, the tables and the files
// they are read from take tens of megabytes that come and go while it loads.
// Keep freed memory in the process for the next allocation rather than
// handing it back and faulting fresh pages in (a tenth of a fresh
// assessment's time). The service, which runs on, keeps the defaults.
void keepFreedMemory(const std::string& subcommand) {
#ifdef __GLIBC__
    if (subcommand == "serve") return;
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#ifdef __linux__
    // Grow the heap in one step and let the kernel back it with huge pages
    // where it allows them on request: the model set's records and tables
    // are touched once each, and a fault per 4 KB page was a third of a
    // fresh assessment's processor time with an 8-mixture English set.
    mallopt(M_TOP_PAD, 64 << 20);
    char* before = static_cast<char*>(sbrk(0));
    void* volatile probe = std::malloc(1 << 20);  // kept: the compiler may not drop it
    char* after = static_cast<char*>(sbrk(0));
    std::free(probe);
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(before) + kHuge - 1) & ~(kHuge - 1);
    if (before != reinterpret_cast<char*>(-1) && reinterpret_cast<uintptr_t>(after) > from + kHuge)
        madvise(reinterpret_cast<void*>(from), reinterpret_cast<uintptr_t>(after) - from, MADV_HUGEPAGE);
    mallopt(M_TOP_PAD, 128 << 10);
#endif
#else
    (void)subcommand;
#endif
}

std::map<std::string, Command>& registry() {
    static std::map<std::string, Command> r;
    return r;
}

void printOverview() {
    std::printf("Usage: kedo SUBCOMMAND [OPTIONS]\n\nSpeech recognition and pronunciation assessment engine.\n\n"
                "Subcommands:\n");
    for (const auto& [name, c] : registry()) std::printf("  %-14s %s\n", name.c_str(), c.summary.c_str());
    std::printf("\nRun 'kedo SUBCOMMAND --help' for the options of one subcommand.\n");
}
}  // namespace

void registerCommand(Command command) {
    std::string name = command.name;
    registry()[name] = std::move(command);
}

const std::map<std::string, Command>& commands() { return registry(); }

bool Args::flag(const std::string& name) const {
    for (const auto& f : flags)
        if (f == name) return true;
    return false;
}

std::string Args::get(const std::string& name, const std::string& fallback) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

std::string Args::require(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) throw UsageError{"missing option --" + name};
    return it->second;
}

Args parseArgs(const Command& command, const std::vector<std::string>& argv) {
    Args args;
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    };
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a.substr(2);
            if (contains(command.flagOptions, name)) {
                args.flags.push_back(name);
            } else if (contains(command.valueOptions, name)) {
                if (i + 1 >= argv.size()) throw UsageError{"option " + a + " needs a value"};
                args.options[name] = argv[++i];
            } else {
                throw UsageError{"unknown option " + a};
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

void requireFile(const std::string& path, const char* what) {
    std::string why = unreadableReason(path);
    if (!why.empty()) throw KedoError("Cannot open the " + std::string(what) + " " + path + ": " + why);
}

double parseRecordSeconds(const std::string& text) {
    constexpr double kOneSample = 1.0 / 16000.0;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    bool number = !text.empty() && *end == '\0' && errno == 0 && std::isfinite(v);
    if (!number || v < kOneSample || v > MAX_RECORD_SECONDS)
        throw UsageError{strFormat("SECONDS must be a number from 0.0000625 (one sample at 16000 Hz) to %g, not '%s'",
                                   MAX_RECORD_SECONDS, text.c_str())};
    return v;
}

void applyOutdir(const Args& args, std::string& outputDir) {
    if (!args.has("outdir")) return;
    outputDir = args.get("outdir");
    std::error_code ec;
    std::filesystem::create_directories(outputDir, ec);
    if (ec || !std::filesystem::is_directory(outputDir, ec))
        throw KedoError("Cannot create the output folder " + outputDir + ": " +
                        (ec ? ec.message() : std::string("a file of that name is in the way")));
}

}  // namespace kedo::cli

int main(int argc, char** argv) {
    using namespace kedo::cli;
    std::vector<std::string> rest(argv + 1, argv + argc);
    if (rest.empty() || rest[0] == "--help" || rest[0] == "-h" || rest[0] == "help") {
        printOverview();
        return rest.empty() ? 1 : 0;
    }
    auto it = registry().find(rest[0]);
    if (it == registry().end()) {
        std::fprintf(stderr, "kedo: unknown subcommand '%s' (see 'kedo --help')\n", rest[0].c_str());
        return 1;
    }
    const Command& command = it->second;
    keepFreedMemory(rest[0]);
    rest.erase(rest.begin());
    for (const auto& a : rest)
        if (a == "--help" || a == "-h") {
            std::printf("%s", command.help.c_str());
            return 0;
        }
    try {
        Args args = parseArgs(command, rest);
        int status = command.run(args);
        std::fflush(stdout);
        return status;
    } catch (const UsageError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "kedo %s: %s\n\n%s", command.name.c_str(), e.message.c_str(), command.help.c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", forTerminal(e.what(), errorPage()).c_str());
        return 1;
    }
}
