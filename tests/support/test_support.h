// Helpers shared by the tests: scratch folders, file I/O, output capture, CLI runs.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace kedo::test {

// A fresh folder under the system temp folder, removed with its contents
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// Runs the kedo program with the given arguments (a shell command line tail),
// collecting standard output and standard error separately.
struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};
CliResult runCli(const std::string& args);

// Runs a shell command; returns its exit status and standard output.
CliResult runShell(const std::string& command);

// Path of a file under tests/data.
std::string dataPath(const std::string& name);

// The progress text with every timing ("0.012 sec: ") written as "T sec: ".
std::string withoutTimes(const std::string& text);

// A shell word: the text in single quotes.
std::string q(const std::string& text);

// A scratch working folder holding a copy of the toy data set (tests/data/toy).
class BundledHome {
public:
    BundledHome();
    const std::string& path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    // " --home 'DIR'" for a command line.
    std::string home() const { return " --home " + q(path()); }

private:
    TempDir m_dir;
};

// Every file of a folder (not its sub-folders' files), by name.
std::map<std::string, std::string> folderFiles(const std::string& folder);

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // value null: unset
    ~ScopedEnv();

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

}  // namespace kedo::test
