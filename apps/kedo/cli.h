// The kedo command line: subcommand registry and a small option parser.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kedo::cli {

// Parsed arguments of one subcommand: "--name value" options, "--flag"
// switches (declared as flags) and positional arguments in order.
struct Args {
    std::map<std::string, std::string> options;
    std::vector<std::string> flags;
    std::vector<std::string> positional;

    bool has(const std::string& name) const { return options.count(name) != 0; }
    bool flag(const std::string& name) const;
    std::string get(const std::string& name, const std::string& fallback = "") const;
    // The value of a required option; a missing one is a usage error.
    std::string require(const std::string& name) const;
};

// Thrown for wrong usage; main prints the message and the command's help.
struct UsageError {
    std::string message;
};

struct Command {
    std::string name;
    std::string summary;
    std::string help;                     // full usage text
    std::vector<std::string> valueOptions;  // options that take a value
    std::vector<std::string> flagOptions;   // options that take none
    std::function<int(const Args&)> run;    // returns the exit status
};

// Adds a command to the registry; used through static Registration objects in
// each command's source file.
void registerCommand(Command command);
const std::map<std::string, Command>& commands();

struct Registration {
    explicit Registration(Command command) { registerCommand(std::move(command)); }
};

// Parses argv (after the subcommand name) for a command.
Args parseArgs(const Command& command, const std::vector<std::string>& argv);

// A file named on the command line must be readable: otherwise KedoError
// "Cannot open the WHAT PATH: REASON" (exit status 1).
void requireFile(const std::string& path, const char* what);

// The SECONDS of the record commands: a number giving at least one sample at
// 16000 Hz and at most the longest recording; otherwise a usage error that
// gives the valid range.
double parseRecordSeconds(const std::string& text);

// With --outdir: the folder, created with its missing parents, becomes
// outputDir (a folder that cannot be created is a KedoError).
void applyOutdir(const Args& args, std::string& outputDir);

}  // namespace kedo::cli
