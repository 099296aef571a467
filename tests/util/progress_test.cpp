// Progress output: the calling thread's current sink, whole lines per
// delivery, nesting, standard output and file sinks.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"
#include "util/progress.h"

namespace kedo {
namespace {

TEST(Progress, ScopeDeliversWholeLinesAndTheRestAtItsEnd) {
    std::vector<std::string> got;
    ProgressSink sink = [&](std::string_view text) { got.emplace_back(text); };
    {
        ProgressScope scope(sink);
        progressf("%4.3f sec: ", 0.25);
        EXPECT_TRUE(got.empty()) << "half a line waits";
        progressf("Done\n\t===> Saved %s\n", "a.txt");
        progressf("tail");
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "0.250 sec: Done\n\t===> Saved a.txt\n");
    EXPECT_EQ(got[1], "tail");
}

TEST(Progress, NestedScopesRestoreTheOuterSinkAndEmptySinksDiscard) {
    std::string outer, inner;
    ProgressSink outerSink = [&](std::string_view t) { outer += t; };
    ProgressSink innerSink = [&](std::string_view t) { inner += t; };
    ProgressSink none;
    {
        ProgressScope a(outerSink);
        progressf("one\n");
        {
            ProgressScope b(innerSink);
            progressf("two\n");
            ProgressScope c(none);
            progressf("lost\n");
        }
        progressf("three\n");
    }
    EXPECT_EQ(outer, "one\nthree\n");
    EXPECT_EQ(inner, "two\n");
}

TEST(Progress, WithoutScopeTextGoesToStandardOutput) {
    testing::internal::CaptureStdout();
    progressf("Warning: %s\n", "plain");
    {
        ProgressScope scope(progressToStandardOutput());
        progressWrite("through the sink\n");
    }
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: plain\nthrough the sink\n");
}

TEST(Progress, FileSinkAppendsAndAMissingFolderIsAnError) {
    test::TempDir dir;
    test::writeFile(dir.file("log.txt"), "before\n");
    {
        ProgressSink sink = progressToFile(dir.file("log.txt"));
        ProgressScope scope(sink);
        progressf("line %d\n", 1);
    }
    EXPECT_EQ(test::readFile(dir.file("log.txt")), "before\nline 1\n");
    try {
        progressToFile(dir.file("no/such/log.txt"));
        FAIL() << "no error";
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("no/such/log.txt"), std::string::npos) << e.what();
    }
}

// Threads with their own sinks never see each other's text, and every
// delivery is made of whole lines.
TEST(Progress, ThreadsKeepTheirOwnSinks) {
    std::string texts[4];
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([i, &texts] {
            ProgressSink sink = [&texts, i](std::string_view t) {
                EXPECT_EQ(t.back(), '\n');
                texts[i] += t;
            };
            ProgressScope scope(sink);
            for (int k = 0; k < 200; ++k) {
                progressf("thread %d ", i);
                progressf("line %d\n", k);
            }
        });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        std::string want;
        for (int k = 0; k < 200; ++k) want += "thread " + std::to_string(i) + " line " + std::to_string(k) + "\n";
        EXPECT_EQ(texts[i], want);
    }
}

}  // namespace
}  // namespace kedo
