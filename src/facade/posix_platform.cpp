// The POSIX layer: environment, current folder, folder emptying, code pages.
#include "facade/posix_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "facade/code_page.h"
#include "util/report_error.h"

#ifndef KEDO_DEFAULT_HOME
#define KEDO_DEFAULT_HOME "/usr/local/share/kedo"
#endif

namespace kedo {

namespace fs = std::filesystem;

namespace {
constexpr const char* kModule = "KEDO";
}

const char* installedDataFolder() { return KEDO_DEFAULT_HOME; }

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
