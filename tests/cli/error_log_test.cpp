// The error log: one line per error, appended, never overwritten.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "cli_fixture.h"
#include "util/report_error.h"

namespace kedo {
namespace {

using namespace test;

// Every line of every log file in the folder, oldest file first.
std::vector<std::string> logLines(const std::string& folder) {
    std::set<std::string> logs;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind("error_", 0) == 0) logs.insert(e.path().string());
    std::vector<std::string> lines;
    for (const std::string& log : logs) {
        std::string text = readFile(log);
        size_t pos = 0;
        for (size_t end; (end = text.find('\n', pos)) != std::string::npos; pos = end + 1)
            lines.push_back(text.substr(pos, end - pos));
        EXPECT_EQ(pos, text.size()) << "a line without its end in " << log;
    }
    return lines;
}

TEST(ErrorLog, ErrorsOfOneSecondAreAppendedWithOnePrefix) {
    TempDir temp;
    BundledHome home;
    ScopedEnv t("temp", temp.path().c_str());
    // An empty list file: the engine's message begins with "Error:" itself.
    writeFile(temp.file("empty.txt"), "");
    std::string first = runCli("recog " + q(kSamples + "/english.wav") + " " + q(temp.file("empty.txt")) + home.home()).err;
    std::string second = runCli("assess " + q(temp.file("nosuch.wav")) + " good" + home.home()).err;
    EXPECT_TRUE(contains(first, "Saved error log at")) << first;
    EXPECT_TRUE(contains(second, "Saved error log at")) << second;
    std::vector<std::string> lines = logLines(temp.path());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Error: m_txtVs.size()=0 when reading", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Error: Can't open wave file " + temp.file("nosuch.wav"), 0), 0u) << lines[1];
}

// Threads failing at once: every message arrives whole, none is lost.
TEST(ErrorLog, ThreadsLoseNoLine) {
    TempDir temp;
    ScopedEnv t("temp", temp.path().c_str());
    testing::internal::CaptureStderr();
    constexpr int kThreads = 8, kEach = 40;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([i] {
            for (int k = 0; k < kEach; ++k) {
                try {
                    reportError("thread " + std::to_string(i) + " error " + std::to_string(k) + " " +
                                std::string(300, 'x'));
                } catch (const KedoError&) {
                }
            }
        });
    for (std::thread& th : threads) th.join();
    testing::internal::GetCapturedStderr();
    std::vector<std::string> lines = logLines(temp.path());
    std::set<std::string> distinct(lines.begin(), lines.end());
    EXPECT_EQ(lines.size(), size_t(kThreads * kEach));
    EXPECT_EQ(distinct.size(), size_t(kThreads * kEach));
    for (const std::string& line : distinct) EXPECT_EQ(line.rfind("Error: thread ", 0), 0u) << line;
}

}  // namespace
}  // namespace kedo
