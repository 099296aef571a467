// Loaded data kept between calls: file stamps (stat, and the hash of files
// written too recently to trust their times), the memory bound, and loads
// through the calling thread's cache with their progress text.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "support/test_support.h"
#include "util/data_cache.h"
#include "util/progress.h"

namespace kedo {
namespace {

using test::TempDir;
using test::writeFile;

// Sets a file's modification time an hour back.
void ageFile(const std::string& path) {
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[0].tv_sec -= 3600;
    times[1].tv_sec -= 3600;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileStamps, AFreshFileIsHashedAndARewriteWithinTheSameClockTickIsSeen) {
    TempDir dir;
    const std::string path = dir.file("models.macb");
    writeFile(path, "first contents");
    FileStamp kept = stampFile(path);
    EXPECT_TRUE(kept.exists);
    EXPECT_TRUE(kept.racy) << "written just now";
    EXPECT_EQ(kept.hash, hashBytes("first contents", 14));
    FileStamp again = kept;
    EXPECT_TRUE(stampStillValid(again));

    // Same size; the stamp's times and inode made to match the rewritten file,
    // as they would when the clock has not ticked in between.
    writeFile(path, "other contents");
    FileStamp sameTick = stampFile(path);
    sameTick.racy = true;
    sameTick.hash = kept.hash;
    EXPECT_FALSE(stampStillValid(sameTick)) << "only the bytes tell the rewrite apart";
}

TEST(FileStamps, AStampThatHasAgedIsCheckedByTheFilesStatAlone) {
    TempDir dir;
    const std::string path = dir.file("english.wpa");
    writeFile(path, "a\tax\n");
    FileStamp kept = stampFile(path);
    kept.racy = false;  // as once its times lie RACY_FILE_SECONDS back
    FileStamp same = kept;
    EXPECT_TRUE(stampStillValid(same));
    FileStamp touched = kept;
    ageFile(path);
    EXPECT_FALSE(stampStillValid(touched)) << "other times";
    FileStamp resized = stampFile(path);
    resized.racy = false;
    writeFile(path, "a\tax#ey\n");
    EXPECT_FALSE(stampStillValid(resized)) << "another size";
}

TEST(FileStamps, AFileThatAppearsOrGoesIsAChange) {
    TempDir dir;
    const std::string path = dir.file("models.cnt");
    FileStamp missing = stampFile(path);
    EXPECT_FALSE(missing.exists);
    EXPECT_TRUE(stampStillValid(missing));
    writeFile(path, "aa+b\t3\n");
    EXPECT_FALSE(stampStillValid(missing));
    FileStamp present = stampFile(path);
    std::remove(path.c_str());
    EXPECT_FALSE(stampStillValid(present));
    FileStamp none = stampFile("");
    EXPECT_FALSE(none.exists);
    EXPECT_TRUE(stampStillValid(none)) << "an unnamed file stays unnamed";
}

TEST(DataCacheBound, LeastRecentlyUsedGoFirstAndOversizedEntriesAreNotKept) {
    DataCache cache(100);
    auto value = [](int v) { return std::make_shared<int>(v); };
    cache.put("a", {}, value(1), 40, "");
    cache.put("b", {}, value(2), 40, "");
    ASSERT_TRUE(cache.find("a").value) << "a is now the most recent";
    cache.put("c", {}, value(3), 40, "");
    EXPECT_TRUE(cache.find("a").value);
    EXPECT_FALSE(cache.find("b").value) << "b was least recently used";
    EXPECT_TRUE(cache.find("c").value);
    EXPECT_EQ(cache.bytes(), 80u);
    cache.put("huge", {}, value(4), 101, "");
    EXPECT_FALSE(cache.find("huge").value);
    EXPECT_EQ(cache.entries(), 2u);
    cache.put("a", {}, value(5), 10, "");
    EXPECT_EQ(*static_cast<int*>(cache.find("a").value.get()), 5) << "a new value replaces the old";
    EXPECT_EQ(cache.bytes(), 50u);
}

TEST(CachedLoad, AHitPrintsTheLoadsLinesAgainWithItsOwnTimeAndAChangedFileLoadsAgain) {
    TempDir dir;
    const std::string path = dir.file("table.txt");
    writeFile(path, "1");
    DataCache cache(1 << 20);
    int loads = 0;
    auto load = [&]() {
        return cachedLoad<std::string>(
            "table", {path},
            [&] {
                ++loads;
                progressf("9.876 sec: Read table\n\tOld entry: x\n");
                return std::make_shared<std::string>(test::readFile(path));
            },
            [](const std::string& s) { return s.size(); });
    };
    std::string printed;
    ProgressScope scope([&](std::string_view t) { printed += t; });
    EXPECT_EQ(*load(), "1") << "no cache: a plain load";
    {
        DataCacheScope use(&cache);
        EXPECT_EQ(*load(), "1");
        EXPECT_EQ(*load(), "1");
        EXPECT_EQ(loads, 2);
        writeFile(path, "2");
        EXPECT_EQ(*load(), "2");
        EXPECT_EQ(loads, 3);
    }
    EXPECT_EQ(currentDataCache(), nullptr);
    const std::string load4 = "9.876 sec: Read table\n\tOld entry: x\n";
    ASSERT_EQ(printed.size(), 4 * load4.size());
    EXPECT_EQ(printed.substr(0, 2 * load4.size()), load4 + load4);
    // The hit's own time: a few microseconds, printed to the millisecond.
    EXPECT_EQ(printed.substr(2 * load4.size(), 4), "0.00");
    EXPECT_EQ(printed.substr(2 * load4.size() + 5, load4.size() - 5), load4.substr(5));
    EXPECT_EQ(printed.substr(3 * load4.size()), load4);
}

TEST(CachedLoad, AFailedLoadKeepsNothing) {
    DataCache cache(1 << 20);
    DataCacheScope use(&cache);
    auto failing = [] {
        return cachedLoad<int>(
            "broken", {"missing.txt"}, []() -> std::shared_ptr<int> { throw std::runtime_error("cannot read"); },
            [](const int&) { return size_t{4}; });
    };
    EXPECT_THROW(failing(), std::runtime_error);
    EXPECT_EQ(cache.entries(), 0u);
}

}  // namespace
}  // namespace kedo
