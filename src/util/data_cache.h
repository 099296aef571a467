// Loaded data kept between the calls of one engine object: the converted
// model set, the parsed dictionaries and tables of recent calls, each keyed
// by the files it was read from.
//
// A kept entry is used again only while every one of its files is unchanged:
// same path, existence, size, modification and change times (nanoseconds
// where the system has them), inode and device. Modification times are
// taken from a coarse clock (a few milliseconds), so a file rewritten with
// the same size within one tick of the clock would keep its stamp. A file
// whose modification time was not clearly in the past when it was read
// (within RACY_FILE_SECONDS of the clock) is therefore "racy": its bytes are
// hashed, and the next call reads and hashes it again before trusting the
// entry, until its stamp has aged. Files not written recently cost one stat
// per call.
//
// The cache of the engine whose operation runs on the calling thread is
// reached through DataCacheScope; without one (command-line tools, the
// trainer) every load reads its files as before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kedo {

// What identifies the contents of one file without reading it.
struct FileStamp {
    std::string path;  // as resolved against the working folder
    bool exists = false;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    uint64_t inode = 0;
    uint64_t device = 0;
    bool racy = false;   // written too recently to trust the stamp alone
    uint64_t hash = 0;   // of the bytes, for a racy stamp
};

// The stamp of a file (resolved path); racy ones carry the hash of their bytes.
FileStamp stampFile(const std::string& resolvedPath);
// Whether the file still matches the stamp. A racy stamp that matches is
// refreshed (and stops being racy once its time has aged).
bool stampStillValid(FileStamp& stamp);
// A 64-bit hash of bytes (not cryptographic; for telling rewritten files apart).
uint64_t hashBytes(const void* data, size_t size);

class DataCache {
public:
    // byteBound: the most bytes (as estimated by the loaders) the entries may
    // hold together; the least recently used go first.
    explicit DataCache(size_t byteBound);
    DataCache(const DataCache&) = delete;
    DataCache& operator=(const DataCache&) = delete;

    struct Hit {
        std::shared_ptr<void> value;
        std::string progress;  // the progress text the load printed
    };
    // The entry of key if all its files are unchanged; an entry with a changed
    // file is dropped. Empty value when there is none.
    Hit find(const std::string& key);
    // Keeps value under key with the stamps taken before it was read. An entry
    // larger than the bound is not kept.
    void put(const std::string& key, std::vector<FileStamp> stamps, std::shared_ptr<void> value, size_t bytes,
             std::string progress);
    void erase(const std::string& key);
    void clear();

    size_t bytes() const;
    size_t entries() const;
    size_t byteBound() const { return m_bound; }

private:
    struct Entry {
        std::string key;
        std::vector<FileStamp> stamps;
        std::shared_ptr<void> value;
        size_t bytes = 0;
        std::string progress;
    };
    void eraseLocked(std::list<Entry>::iterator it);

    mutable std::mutex m_lock;
    std::list<Entry> m_entries;  // most recently used first
    size_t m_bytes = 0;
    size_t m_bound;
};

// Makes cache the calling thread's cache for the lifetime of the scope (null:
// none), restoring the previous one after.
class DataCacheScope {
public:
    explicit DataCacheScope(DataCache* cache);
    ~DataCacheScope();
    DataCacheScope(const DataCacheScope&) = delete;
    DataCacheScope& operator=(const DataCacheScope&) = delete;

private:
    DataCache* m_previous;
};
DataCache* currentDataCache();

// Loads a value through the calling thread's cache. kind names what is
// loaded (with any setting the load depends on); files are the names (as
// the parameter files give them) of everything the load reads. On a hit the
// progress text the load printed is printed again and the kept value
// returned; otherwise load() runs and its value is kept with its size
// bytesOf(value). Without a cache, load() simply runs.
template <class T>
std::shared_ptr<T> cachedLoad(const std::string& kind, const std::vector<std::string>& files,
                              const std::function<std::shared_ptr<T>()>& load,
                              const std::function<size_t(const T&)>& bytesOf);

// The untyped core of cachedLoad.
std::shared_ptr<void> cachedLoadAny(const std::string& kind, const std::vector<std::string>& files,
                                    const std::function<std::shared_ptr<void>()>& load,
                                    const std::function<size_t(const void*)>& bytesOf);

template <class T>
std::shared_ptr<T> cachedLoad(const std::string& kind, const std::vector<std::string>& files,
                              const std::function<std::shared_ptr<T>()>& load,
                              const std::function<size_t(const T&)>& bytesOf) {
    return std::static_pointer_cast<T>(cachedLoadAny(
        kind, files, [&]() -> std::shared_ptr<void> { return load(); },
        [&](const void* v) { return bytesOf(*static_cast<const T*>(v)); }));
}

}  // namespace kedo
