// The POSIX layer: environment, current folder, folder emptying, code pages.
#include "facade/posix_platform.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "facade/code_page.h"
#include "util/report_error.h"

#ifndef KEDO_DEFAULT_HOME
#define KEDO_DEFAULT_HOME "/usr/local/share/kedo"
#endif

namespace kedo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kModule = "KEDO";

// An install prefix is at most this many folders above the file holding the
// engine: bin/kedo, lib/libkedo.so, lib/x86_64-linux-gnu/libkedo.so,
// lib/python3/dist-packages/kedo/_kedo.so.
constexpr int kPrefixDepth = 4;

// The folders of the file that holds this code (libkedo.so, or the program
// it is linked into) and of the running program.
std::vector<fs::path> engineFolders() {
    std::vector<fs::path> out;
    std::error_code ec;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&engineFolders), &info) != 0 && info.dli_fname != nullptr &&
        info.dli_fname[0] == '/') {
        fs::path file = fs::canonical(info.dli_fname, ec);
        if (!ec) out.push_back(file.parent_path());
    }
    fs::path program = fs::canonical("/proc/self/exe", ec);
    if (!ec) out.push_back(program.parent_path());
    return out;
}

}  // namespace

std::string installedDataFolder() {
    std::error_code ec;
    for (const fs::path& folder : engineFolders()) {
        fs::path prefix = folder;
        for (int up = 1; up <= kPrefixDepth && prefix.has_relative_path(); ++up) {
            prefix = prefix.parent_path();
            fs::path candidate = prefix / "share" / "kedo";
            if (fs::is_directory(candidate / "kedoData", ec)) return candidate.string();
        }
    }
    return KEDO_DEFAULT_HOME;
}

std::string PosixPlatform::defaultWorkingFolder() const {
    const char* home = std::getenv("KEDO_HOME");
    if (home != nullptr && *home != '\0') return home;
    return installedDataFolder();
}

std::string PosixPlatform::absoluteFolder(const std::string& folder) const {
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec);
    if (ec) p = folder;
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

void PosixPlatform::checkFolder(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        reportError(strFormat("Cannot use %s as the working folder: %s (line %d of %s)", folder.c_str(),
                              std::strerror(errno), __LINE__, kModule));
    if (!S_ISDIR(st.st_mode))
        reportError(strFormat("Cannot use %s as the working folder: it is not a folder (line %d of %s)",
                              folder.c_str(), __LINE__, kModule));
}

bool PosixPlatform::canWriteUnder(const std::string& path) const {
    fs::path p = fs::path(path).lexically_normal();
    std::error_code ec;
    while (!fs::exists(p, ec) && p.has_relative_path()) p = p.parent_path();
    return access(p.c_str(), W_OK | X_OK) == 0;
}

std::string PosixPlatform::userStateFolder() const {
    // Relative values of XDG_STATE_HOME are invalid and ignored.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return (fs::path(state) / "kedo").string();
    const char* home = std::getenv("HOME");
    std::string homeFolder = home != nullptr && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
        passwd entry;
        passwd* user = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &user) == 0 && user != nullptr &&
            user->pw_dir != nullptr && user->pw_dir[0] == '/')
            homeFolder = user->pw_dir;
    }
    if (homeFolder.empty()) return {};
    return (fs::path(homeFolder) / ".local" / "state" / "kedo").string();
}

void PosixPlatform::emptyFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        return;
    }
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->symlink_status(typeEc).type() == fs::file_type::directory) continue;
        std::error_code removeEc;
        fs::remove(it->path(), removeEc);  // a file that cannot be deleted stays
    }
}

std::string PosixPlatform::toEngineText(const std::string& hostText, CodePage page, const char* what) const {
    return utf8ToCodePage(hostText, page, what);
}

std::string PosixPlatform::toHostText(const std::string& engineText, CodePage page, const char* what) const {
    return codePageToUtf8(engineText, page, what);
}

// File names are bytes on POSIX systems: the host's name is opened as given.
std::string PosixPlatform::toEngineFileName(const std::string& hostName, const char*) const { return hostName; }

std::unique_ptr<Recorder> PosixPlatform::makeRecorder(int channels, int rate, int bits) {
    return makeSoundBufferRecorder(channels, rate, bits);
}

void PosixPlatform::sleepMilliseconds(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::unique_ptr<Platform> makePlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace kedo
