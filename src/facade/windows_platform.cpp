// The Windows layer: working folder, current folder, folder emptying and
// text in the thread's ANSI code page.
#include "facade/windows_platform.h"

#include <windows.h>

#include <cstdlib>
#include <vector>

#include "facade/code_page.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "KEDO";
constexpr const char* kWorkingFolder = "C:\\kedoCom";

// The system's text for an error code, without its line end.
std::string systemErrorText(DWORD code) {
    char* buffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : "error " + std::to_string(code);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

UINT threadCodePage() {
    // CP_THREAD_ACP itself is accepted by the conversions; the number is
    // for messages.
    char number[8] = {};
    if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, number, sizeof number) > 0)
        return static_cast<UINT>(std::atoi(number));
    return GetACP();
}

// Wide text to the thread's code page; false if a character has no exact
// form there.
bool wideToThreadCodePage(const std::wstring& wide, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    const int length = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(CP_THREAD_ACP, flags, wide.data(), length, nullptr, 0, nullptr, &usedDefault);
    if (n == 0 && GetLastError() == ERROR_INVALID_PARAMETER) {
        // UTF-8 and a few other code pages take neither the flag nor the
        // default-character test; they hold every character.
        flags = 0;
        n = WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        if (n <= 0) return false;
        out.resize(static_cast<size_t>(n));
        return WideCharToMultiByte(CP_THREAD_ACP, 0, wide.data(), length, out.data(), n, nullptr, nullptr) == n;
    }
    if (n <= 0 || usedDefault) return false;
    out.resize(static_cast<size_t>(n));
    usedDefault = FALSE;
    n = WideCharToMultiByte(CP_THREAD_ACP, flags, wide.data(), length, out.data(), n, nullptr, &usedDefault);
    return n == static_cast<int>(out.size()) && !usedDefault;
}

}  // namespace

std::string utf8ToThreadCodePage(const std::string& text, const char* what, const std::string& name) {
    std::wstring wide = utf8ToWide(text, what);
    std::string out;
    if (wideToThreadCodePage(wide, out)) return out;
    // Find the first character the code page cannot hold, for the message.
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        char32_t cp = 0;
        if (!decodeUtf8(text, pos, cp)) malformedUtf8(what, start, __LINE__);
        std::string one;
        if (wideToThreadCodePage(utf8ToWide(text.substr(start, pos - start), what), one)) continue;
        std::string subject = name.empty() ? std::string(what) : std::string(what) + " " + name;
        reportError(strFormat("The %s holds the character U+%04X (at byte %zu), which code page %u cannot hold "
                              "(line %d of %s)",
                              subject.c_str(), static_cast<unsigned>(cp), start, threadCodePage(), __LINE__,
                              kModule));
    }
    reportError(strFormat("The %s cannot be converted to code page %u (line %d of %s)", what, threadCodePage(),
                          __LINE__, kModule));
}

std::string threadCodePageToUtf8(const std::string& text, const char* what) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    int n = MultiByteToWideChar(CP_THREAD_ACP, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    std::wstring wide;
    if (n > 0) {
        wide.resize(static_cast<size_t>(n));
        n = MultiByteToWideChar(CP_THREAD_ACP, MB_ERR_INVALID_CHARS, text.data(), length, wide.data(), n);
    }
    if (n <= 0)
        reportError(strFormat("The %s holds bytes that are no character of code page %u (line %d of %s)", what,
                              threadCodePage(), __LINE__, kModule));
    return wideToUtf8(wide, what);
}

std::string WindowsPlatform::defaultWorkingFolder() const {
    const char* home = std::getenv("KEDO_HOME");
    if (home != nullptr && *home != '\0') return home;
    return kWorkingFolder;
}

std::string WindowsPlatform::absoluteFolder(const std::string& folder) const {
    DWORD n = GetFullPathNameA(folder.c_str(), 0, nullptr, nullptr);
    std::string out = folder;
    if (n > 0) {
        std::vector<char> buffer(n + 1);
        DWORD m = GetFullPathNameA(folder.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (m > 0 && m < buffer.size()) out.assign(buffer.data(), m);
    }
    for (char& c : out)
        if (c == '/') c = '\\';
    // No trailing separator, except for a drive's root ("C:\").
    while (out.size() > 3 && out.back() == '\\') out.pop_back();
    return out;
}

void WindowsPlatform::checkFolder(const std::string& folder) {
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        reportError(strFormat("Cannot use %s as the working folder: %s (line %d of %s)", folder.c_str(),
                              systemErrorText(GetLastError()).c_str(), __LINE__, kModule));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        reportError(strFormat("Cannot use %s as the working folder: it is not a folder (line %d of %s)",
                              folder.c_str(), __LINE__, kModule));
}

void WindowsPlatform::emptyFolder(const std::string& folder) {
    std::string prefix = folder;
    if (prefix.empty() || (prefix.back() != '\\' && prefix.back() != '/')) prefix += '\\';
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((prefix + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND) {
            // A missing folder is made, with its missing parents.
            for (size_t i = 0; i < prefix.size(); ++i)
                if ((prefix[i] == '\\' || prefix[i] == '/') && i > 0 && prefix[i - 1] != ':')
                    CreateDirectoryA(prefix.substr(0, i).c_str(), nullptr);
        }
        return;
    }
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        DeleteFileA((prefix + name).c_str());  // a file that cannot be deleted stays
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

std::string WindowsPlatform::toEngineText(const std::string& hostText, CodePage, const char* what) const {
    return utf8ToThreadCodePage(hostText, what);
}

std::string WindowsPlatform::toHostText(const std::string& engineText, CodePage, const char* what) const {
    return threadCodePageToUtf8(engineText, what);
}

std::string WindowsPlatform::toEngineFileName(const std::string& hostName, const char* what) const {
    return utf8ToThreadCodePage(hostName, what, hostName);
}

std::unique_ptr<Recorder> WindowsPlatform::makeRecorder(int channels, int rate, int bits) {
    return makeSoundBufferRecorder(channels, rate, bits);
}

void WindowsPlatform::sleepMilliseconds(int ms) { Sleep(static_cast<DWORD>(ms)); }

std::unique_ptr<Platform> makePlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace kedo
