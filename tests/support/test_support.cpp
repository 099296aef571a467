// Test helpers.
#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kedo::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kedo_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

CliResult runShell(const std::string& command) {
    TempDir dir;
    std::string outPath = dir.file("out"), errPath = dir.file("err");
    std::string full = "(" + command + ") >" + outPath + " 2>" + errPath;
    int raw = std::system(full.c_str());
    CliResult r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

CliResult runCli(const std::string& args) { return runShell(std::string("'") + KEDO_CLI_PATH + "' " + args); }

std::string dataPath(const std::string& name) { return std::string(KEDO_TEST_DATA_DIR) + "/" + name; }

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::string withoutTimes(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
        const bool timing = j > i && j + 10 <= text.size() && text[j] == '.' &&
                            std::isdigit(static_cast<unsigned char>(text[j + 1])) &&
                            std::isdigit(static_cast<unsigned char>(text[j + 2])) &&
                            std::isdigit(static_cast<unsigned char>(text[j + 3])) && text.compare(j + 4, 6, " sec: ") == 0;
        if (timing) {
            out += "T sec: ";
            i = j + 10;
        } else if (j > i) {
            out.append(text, i, j - i);
            i = j;
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::string q(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

BundledHome::BundledHome() {
    std::filesystem::copy(std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData", m_dir.file("kedoData"),
                          std::filesystem::copy_options::recursive);
}

std::map<std::string, std::string> folderFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.is_regular_file()) files[e.path().filename().string()] = readFile(e.path().string());
    return files;
}

}  // namespace kedo::test
