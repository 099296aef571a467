// The Windows operating-system layer of the engine object.
#pragma once

#include "facade/platform.h"

namespace kedo {

// Working folder "C:\kedoCom" (or KEDO_HOME), separator "\",
// SetCurrentDirectory, FindFirstFile/DeleteFile to empty the output folder,
// Sleep, and text and file names in the calling thread's ANSI code page
// (CP_THREAD_ACP). Folder names are narrow names in that code page, as the C
// runtime opens them.
class WindowsPlatform : public Platform {
public:
    std::string defaultWorkingFolder() const override;
    std::string absoluteFolder(const std::string& folder) const override;
    char separator() const override { return '\\'; }
    void checkFolder(const std::string& folder) override;
    void emptyFolder(const std::string& folder) override;
    // Both ignore the language's code page: the thread's code page is the
    // one the host's narrow strings and the C runtime use.
    std::string toEngineText(const std::string& hostText, CodePage page, const char* what) const override;
    std::string toHostText(const std::string& engineText, CodePage page, const char* what) const override;
    std::string toEngineFileName(const std::string& hostName, const char* what) const override;
    std::unique_ptr<Recorder> makeRecorder(int channels, int rate, int bits) override;
    void sleepMilliseconds(int ms) override;
};

// UTF-8 to the thread's ANSI code page and back. A character that the code
// page cannot hold (no best-fit substitutes) or bytes that are no character
// of it raise KedoError naming `what` (and `name`, when not empty).
std::string utf8ToThreadCodePage(const std::string& text, const char* what, const std::string& name = {});
std::string threadCodePageToUtf8(const std::string& text, const char* what);

}  // namespace kedo
