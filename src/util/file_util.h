// File routines: opening with a clear error, line and number readers, writers.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "util/str_util.h"

namespace kedo {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
// An open C stream, closed when the owner goes away.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Relative file names resolve against the working folder of the engine
// object whose operation runs on the calling thread, so that objects with
// different working folders can run at once on threads of one process
// (which share the current folder). Outside an operation they are relative
// to the current folder, as the C library takes them.
class FolderScope {
public:
    // folder: absolute; empty leaves names as they are.
    explicit FolderScope(const std::string& folder);
    ~FolderScope();
    FolderScope(const FolderScope&) = delete;
    FolderScope& operator=(const FolderScope&) = delete;

private:
    const std::string* m_previous;
};
// path joined to the calling thread's working folder when it is relative.
std::string resolvePath(const std::string& path);
// std::fopen of resolvePath(path); null when it cannot be opened.
std::FILE* fopenResolved(const std::string& path, const char* mode);

// Opens path with an fopen mode; never returns null: a file that cannot be
// opened is reported as "Cannot open file %s (line %d of utility)"; one that
// opens for reading but cannot be read (a folder) gets the reason after it.
FilePtr openFile(const std::string& path, const char* mode);
// True if path names a file that can be opened for reading.
bool fileExists(const char* path);
inline bool fileExists(const std::string& path) { return fileExists(path.c_str()); }
// Why path cannot be read as a file ("no such file", "it is a folder", the
// system's reason), or the empty string when it can.
std::string unreadableReason(const std::string& path);
// Size in bytes of an existing file (a missing file is an error).
long fileSize(const std::string& path);
// The text after the last "." of the whole path; empty if there is none.
std::string fileExtension(const std::string& path);

// Reads the lines of path into out (cleared first): pieces of at most 999
// characters, one trailing line feed removed, empty lines and lines starting
// with comment dropped (comment 0 keeps every non-empty line). Carriage
// returns stay.
void readLines(const std::string& path, StrVec& out, char comment);
// Reads whitespace-separated numbers until the first that does not parse.
void readFloats(const std::string& path, std::vector<float>& out);
// Reads "key = value % remark" lines into two parallel lists. Physical lines
// are read whole; lineNumbers (if given) receives each pair's line number.
void readKeyValueFile(const std::string& path, StrVec& keys, StrVec& values,
                      std::vector<int>* lineNumbers = nullptr);

// Writes every element followed by "\n".
void writeLines(const std::string& path, const StrVec& lines);
// Writes value as "%g\n".
void writeFloatFile(const std::string& path, float value);
// Prints name[i] = element lines to standard output, or writes the list to
// fileName when it is not empty.
void strVecPrint(const StrVec& v, const std::string& name, const std::string& fileName);

// Reads a whole file into memory (binary). Errors as openFile.
std::string readFileBytes(const std::string& path);
// The same into a buffer of the caller's: room(n) makes room for n bytes,
// keeping the ones read so far, and returns where they start. Returns the
// number of bytes read.
size_t readFileInto(const std::string& path, const std::function<char*(size_t)>& room);

}  // namespace kedo
