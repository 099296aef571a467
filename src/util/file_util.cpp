// File routines.
#include "util/file_util.h"
#include "util/progress.h"

#include <cerrno>
#include <cstring>

#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "utility";

// Why a stream just opened for reading cannot be read, or the empty string.
// Some systems open a folder for reading and fail only at the first read.
std::string readFailure(std::FILE* f) {
    errno = 0;
    int c = std::fgetc(f);
    if (c == EOF && std::ferror(f)) {
        int code = errno;
#ifdef EISDIR
        if (code == EISDIR) return "it is a folder";
#endif
        return code != 0 ? std::string(std::strerror(code)) : std::string("it cannot be read");
    }
    // The byte goes back rather than the stream to its start: a pipe cannot
    // be rewound, and would lose what was read ahead.
    if (c == EOF)
        std::clearerr(f);
    else
        std::ungetc(c, f);
    return {};
}

thread_local const std::string* t_folder = nullptr;

bool isAbsolute(const std::string& path) {
#ifdef _WIN32
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
#else
    return !path.empty() && path[0] == '/';
#endif
}
}  // namespace

FolderScope::FolderScope(const std::string& folder) : m_previous(t_folder) {
    t_folder = folder.empty() ? nullptr : &folder;
}

FolderScope::~FolderScope() { t_folder = m_previous; }

std::string resolvePath(const std::string& path) {
    if (t_folder == nullptr || path.empty() || isAbsolute(path)) return path;
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = '/';
#endif
    std::string out = *t_folder;
    if (out.back() != '/' && out.back() != separator) out += separator;
    return out + path;
}

std::FILE* fopenResolved(const std::string& path, const char* mode) {
    return std::fopen(resolvePath(path).c_str(), mode);
}

// Files are always opened in binary mode, so that the bytes read and written
// are the same on every system (no "\r\n" translation on Windows): a reader
// sees a carriage return before a line end wherever the file has one.
FilePtr openFile(const std::string& path, const char* mode) {
    std::string binary = mode;
    if (binary.find('b') == std::string::npos) binary += 'b';
    std::FILE* f = fopenResolved(path, binary.c_str());
    if (f == nullptr)
        reportError(strFormat("Cannot open file %s (line %d of %s)", path.c_str(), __LINE__, kModule));
    if (binary[0] == 'r') {
        std::string why = readFailure(f);
        if (!why.empty()) {
            std::fclose(f);
            reportError(strFormat("Cannot open file %s (line %d of %s): %s", path.c_str(), __LINE__, kModule,
                                  why.c_str()));
        }
    }
    return FilePtr(f);
}

bool fileExists(const char* path) {
    if (path == nullptr) return false;
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr) return false;
    bool readable = readFailure(f).empty();
    std::fclose(f);
    return readable;
}

std::string unreadableReason(const std::string& path) {
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr) return errno == ENOENT ? std::string("no such file") : std::string(std::strerror(errno));
    std::string why = readFailure(f);
    std::fclose(f);
    return why;
}

long fileSize(const std::string& path) {
    FilePtr f = openFile(path, "rb");
    std::fseek(f.get(), 0, SEEK_END);
    return std::ftell(f.get());
}

std::string fileExtension(const std::string& path) {
    size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

void readLines(const std::string& path, StrVec& out, char comment) {
    out.clear();
    FilePtr f = openFile(path, "r");
    char buf[MAX_LINE_LEN + 1];
    while (std::fgets(buf, sizeof buf, f.get()) != nullptr) {
        std::string line(buf);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        if (line.empty()) continue;
        if (comment != 0 && line[0] == comment) continue;
        out.push_back(std::move(line));
    }
}

void readFloats(const std::string& path, std::vector<float>& out) {
    out.clear();
    FilePtr f = openFile(path, "r");
    float v;
    while (std::fscanf(f.get(), "%f", &v) == 1) out.push_back(v);
}

void readKeyValueFile(const std::string& path, StrVec& keys, StrVec& values, std::vector<int>* lineNumbers) {
    keys.clear();
    values.clear();
    if (lineNumbers) lineNumbers->clear();
    std::string text = readFileBytes(path);
    size_t pos = 0;
    int lineNo = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        size_t pct = line.find('%');
        if (pct != std::string::npos) line.resize(pct);
        strTrim(line);
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        strTrim(key);
        strTrim(value);
        keys.push_back(std::move(key));
        values.push_back(std::move(value));
        if (lineNumbers) lineNumbers->push_back(lineNo);
    }
}

void writeLines(const std::string& path, const StrVec& lines) {
    FilePtr f = openFile(path, "w");
    for (const std::string& s : lines) {
        std::fputs(s.c_str(), f.get());
        std::fputc('\n', f.get());
    }
}

void writeFloatFile(const std::string& path, float value) {
    FilePtr f = openFile(path, "w");
    std::fprintf(f.get(), "%g\n", static_cast<double>(value));
}

void strVecPrint(const StrVec& v, const std::string& name, const std::string& fileName) {
    if (!fileName.empty()) {
        writeLines(fileName, v);
        return;
    }
    if (v.empty()) {
        progressf("%s has zero element!\n", name.c_str());
        return;
    }
    for (size_t i = 0; i < v.size(); ++i) progressf("%s[%zu] = %s\n", name.c_str(), i, v[i].c_str());
}

size_t readFileInto(const std::string& path, const std::function<char*(size_t)>& room) {
    FilePtr f = openFile(path, "rb");
    size_t size = 0;
    // One read when the size is known (tables and model sets run to
    // megabytes), then whatever else there is.
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
        const long known = std::ftell(f.get());
        std::rewind(f.get());
        if (known > 0) size = std::fread(room(static_cast<size_t>(known)), 1, static_cast<size_t>(known), f.get());
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        std::memcpy(room(size + n) + size, buf, n);
        size += n;
    }
    return size;
}

std::string readFileBytes(const std::string& path) {
    std::string out;
    const size_t size = readFileInto(path, [&out](size_t n) {
        out.resize(n);
        return out.data();
    });
    out.resize(size);
    return out;
}

}  // namespace kedo
