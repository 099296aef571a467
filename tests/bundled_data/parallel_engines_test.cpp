// Engine objects with different working folders on threads of one process:
// each gets the results, files and progress lines it gets alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kedo/engine.h"
#include "support/test_support.h"
#include "util/str_util.h"

namespace kedo::test {
namespace {

namespace fs = std::filesystem;

// What one engine saw over a fixed series of operations.
struct SeriesResult {
    std::vector<double> scores;
    std::string recognised;
    std::map<std::string, std::string> files;  // the output folder at the end
    std::string progress;                      // with the timings and the folder blanked
    std::vector<std::string> failures;
};

SeriesResult runSeries(const std::string& home) {
    SeriesResult run;
    KEDO engine(home);
    engine.setProgressSink([&run](std::string_view text) { run.progress += text; });
    const std::string samples = home + "/kedoData/samples/";
    for (int i = 0; i < 2; ++i) {
        double score = -1;
        if (engine.Assess(samples + "english.wav", "i like to read a good book", score) != Status::ok)
            run.failures.push_back(engine.lastErrorMessage());
        run.scores.push_back(score);
    }
    if (engine.SwitchLanguage(1) != Status::ok) run.failures.push_back(engine.lastErrorMessage());
    if (engine.Recog(samples + "chinese.wav", samples + "chinese_list.txt", run.recognised) != Status::ok)
        run.failures.push_back(engine.lastErrorMessage());
    run.files = folderFiles(home + "/kedoData/output");
    run.progress = withoutTimes(run.progress);
    strReplaceAll(run.progress, home, "HOME");
    return run;
}

TEST(ParallelEngines, ThreadsOnDifferentFoldersMatchARunAlone) {
    const fs::path before = fs::current_path();
    BundledHome alone;
    const SeriesResult reference = runSeries(alone.path());
    ASSERT_TRUE(reference.failures.empty()) << reference.failures[0];
    ASSERT_FALSE(reference.files.empty());
    ASSERT_NE(reference.progress.find("\t===> Saved"), std::string::npos);

    BundledHome homes[2];
    SeriesResult runs[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) threads.emplace_back([&, i] { runs[i] = runSeries(homes[i].path()); });
    for (std::thread& t : threads) t.join();
    for (const SeriesResult& run : runs) {
        EXPECT_TRUE(run.failures.empty()) << run.failures[0];
        EXPECT_EQ(run.scores, reference.scores);
        EXPECT_EQ(run.recognised, reference.recognised);
        EXPECT_EQ(run.progress, reference.progress) << "an engine's lines are its own, whole and in order";
        ASSERT_EQ(run.files.size(), reference.files.size());
        for (const auto& [name, bytes] : reference.files) {
            auto it = run.files.find(name);
            ASSERT_NE(it, run.files.end()) << name;
            EXPECT_TRUE(it->second == bytes) << name;
        }
    }
    EXPECT_EQ(fs::current_path(), before) << "no engine changes the current folder";
}

}  // namespace
}  // namespace kedo::test
