// The POSIX operating-system layer of the engine object.
#pragma once

#include "facade/platform.h"

namespace kedo {

// Working folder from KEDO_HOME or the installed data folder, folder
// emptying with std::filesystem, iconv code pages, the audio subsystem's
// recorder. Tests derive from it to replace the recorder.
class PosixPlatform : public Platform {
public:
    std::string defaultWorkingFolder() const override;
    std::string absoluteFolder(const std::string& folder) const override;
    char separator() const override { return '/'; }
    void checkFolder(const std::string& folder) override;
    void emptyFolder(const std::string& folder) override;
    std::string toEngineText(const std::string& hostText, CodePage page, const char* what) const override;
    std::string toHostText(const std::string& engineText, CodePage page, const char* what) const override;
    std::string toEngineFileName(const std::string& hostName, const char* what) const override;
    bool canWriteUnder(const std::string& path) const override;
    // $XDG_STATE_HOME/kedo, else ~/.local/state/kedo.
    std::string userStateFolder() const override;
    std::unique_ptr<Recorder> makeRecorder(int channels, int rate, int bits) override;
    void sleepMilliseconds(int ms) override;
};

// The data folder installed with the engine: "share/kedo" in the nearest
// prefix above the installed program, library or Python module that holds the
// engine (so that a moved or staged install finds its own data), else
// "<prefix>/share/kedo" as configured.
std::string installedDataFolder();

}  // namespace kedo
