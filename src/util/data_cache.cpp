// Loaded data kept between calls: file stamps, the bounded cache, the
// calling thread's cache.
#include "util/data_cache.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "util/file_util.h"
#include "util/limits.h"
#include "util/progress.h"
#include "util/timing.h"

namespace kedo {

namespace {
thread_local DataCache* t_cache = nullptr;

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Hash of a file's bytes; false when it cannot be read.
bool hashFile(const std::string& path, uint64_t& hash) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::string bytes;
    char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    hash = hashBytes(bytes.data(), bytes.size());
    return ok;
}

// The stamp without the hash.
FileStamp statFile(const std::string& path) {
    FileStamp s;
    s.path = path;
    if (path.empty()) return s;
#ifdef _WIN32
    struct _stat64 st;
    if (_stat64(path.c_str(), &st) != 0) return s;
    s.mtimeNs = static_cast<int64_t>(st.st_mtime) * 1000000000LL;
    s.ctimeNs = static_cast<int64_t>(st.st_ctime) * 1000000000LL;
#else
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return s;
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
#endif
    s.exists = true;
    s.size = static_cast<int64_t>(st.st_size);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.device = static_cast<uint64_t>(st.st_dev);
    return s;
}

bool isRacy(const FileStamp& s) {
    const int64_t window = static_cast<int64_t>(RACY_FILE_SECONDS) * 1000000000LL;
    const int64_t newest = s.mtimeNs > s.ctimeNs ? s.mtimeNs : s.ctimeNs;
    return s.exists && newest > nowNs() - window;
}

// The progress text of a load, its stage times ("%4.3f sec: " at the start
// of a line) replaced by the time this call took.
std::string retimedProgress(const std::string& text, double seconds) {
    std::string out;
    const std::string now = strFormat("%4.3f sec: ", seconds);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + pos, end - pos);
        const size_t mark = line.find(" sec: ");
        bool timed = mark != std::string_view::npos && mark > 0;
        for (size_t k = 0; timed && k < mark; ++k) {
            const char c = line[k];
            if (!(c == ' ' || c == '.' || (c >= '0' && c <= '9'))) timed = false;
        }
        if (timed) {
            out += now;
            out.append(line.substr(mark + 6));
        } else {
            out.append(line);
        }
        pos = end;
    }
    return out;
}

bool sameStat(const FileStamp& a, const FileStamp& b) {
    return a.exists == b.exists && a.size == b.size && a.mtimeNs == b.mtimeNs && a.ctimeNs == b.ctimeNs &&
           a.inode == b.inode && a.device == b.device;
}
}  // namespace

uint64_t hashBytes(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint64_t h = 0x9e3779b97f4a7c15ULL ^ size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h ^= w * 0xff51afd7ed558ccdULL;
        h = ((h << 31) | (h >> 33)) * 0xc4ceb9fe1a85ec53ULL;
    }
    uint64_t tail = 0;
    for (size_t k = 0; i < size; ++i, ++k) tail |= static_cast<uint64_t>(p[i]) << (8 * k);
    h ^= tail * 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 29);
}

FileStamp stampFile(const std::string& resolvedPath) {
    FileStamp s = statFile(resolvedPath);
    s.racy = isRacy(s);
    if (s.racy && !hashFile(resolvedPath, s.hash)) s.exists = false;
    return s;
}

bool stampStillValid(FileStamp& stamp) {
    FileStamp now = statFile(stamp.path);
    if (!sameStat(now, stamp)) return false;
    if (!stamp.racy) return true;
    uint64_t hash = 0;
    if (!hashFile(stamp.path, hash) || hash != stamp.hash) return false;
    stamp.racy = isRacy(now);
    return true;
}

DataCache::DataCache(size_t byteBound) : m_bound(byteBound) {}

DataCache::Hit DataCache::find(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key != key) continue;
        for (FileStamp& s : it->stamps) {
            if (!stampStillValid(s)) {
                eraseLocked(it);
                return {};
            }
        }
        m_entries.splice(m_entries.begin(), m_entries, it);
        return {it->value, it->progress};
    }
    return {};
}

void DataCache::put(const std::string& key, std::vector<FileStamp> stamps, std::shared_ptr<void> value, size_t bytes,
                    std::string progress) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key == key) {
            eraseLocked(it);
            break;
        }
    }
    if (bytes > m_bound) return;
    while (!m_entries.empty() && m_bytes + bytes > m_bound) eraseLocked(std::prev(m_entries.end()));
    m_entries.push_front(Entry{key, std::move(stamps), std::move(value), bytes, std::move(progress)});
    m_bytes += bytes;
}

void DataCache::erase(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key == key) {
            eraseLocked(it);
            return;
        }
    }
}

void DataCache::clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.clear();
    m_bytes = 0;
}

void DataCache::eraseLocked(std::list<Entry>::iterator it) {
    m_bytes -= it->bytes;
    m_entries.erase(it);
}

size_t DataCache::bytes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bytes;
}

size_t DataCache::entries() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_entries.size();
}

DataCacheScope::DataCacheScope(DataCache* cache) : m_previous(t_cache) { t_cache = cache; }
DataCacheScope::~DataCacheScope() { t_cache = m_previous; }
DataCache* currentDataCache() { return t_cache; }

std::shared_ptr<void> cachedLoadAny(const std::string& kind, const std::vector<std::string>& files,
                                    const std::function<std::shared_ptr<void>()>& load,
                                    const std::function<size_t(const void*)>& bytesOf) {
    DataCache* cache = currentDataCache();
    if (cache == nullptr) return load();
    std::string key = kind;
    std::vector<std::string> resolved;
    for (const std::string& f : files) {
        resolved.push_back(f.empty() ? f : resolvePath(f));
        key += '\n';
        key += resolved.back();
    }
    const long start = processorTicks();
    DataCache::Hit hit = cache->find(key);
    if (hit.value) {
        progressWrite(retimedProgress(hit.progress, secondsSince(start)));
        return hit.value;
    }
    // Stamped before reading: a change made while the load reads shows at
    // the next call.
    std::vector<FileStamp> stamps;
    for (const std::string& f : resolved) stamps.push_back(stampFile(f));
    std::shared_ptr<void> value;
    std::string progress;
    {
        ProgressRecorder recorder;
        value = load();
        progress = recorder.text();
    }
    cache->put(key, std::move(stamps), value, bytesOf(value.get()), std::move(progress));
    return value;
}

}  // namespace kedo
