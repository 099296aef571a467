// File routines and the error routine.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {
namespace {

using test::TempDir;
using test::writeFile;

TEST(FileExtension, LastDotOfWholePath) {
    EXPECT_EQ(fileExtension("dir.old\\name"), "old\\name");
    EXPECT_EQ(fileExtension("a/b.wav"), "wav");
    EXPECT_EQ(fileExtension("noext"), "");
    EXPECT_EQ(fileExtension("x.WAV"), "WAV");
}

TEST(OpenFile, MissingFileIsAnErrorNamingIt) {
    EXPECT_FALSE(fileExists(nullptr));
    EXPECT_FALSE(fileExists("/nonexistent/x"));
    try {
        openFile("/nonexistent/x.txt", "r");
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file /nonexistent/x.txt (line ", 0), 0u);
    }
    EXPECT_THROW(fileSize("/nonexistent/x"), KedoError);
}

TEST(ReadLines, CommentsEmptyLinesAndLongLines) {
    TempDir d;
    std::string longLine(1500, 'x');
    writeFile(d.file("a.txt"), "one\n\n#c\ntwo\r\n" + longLine + "\nlast");
    StrVec v;
    readLines(d.file("a.txt"), v, '#');
    ASSERT_EQ(v.size(), 5u);
    EXPECT_EQ(v[0], "one");
    EXPECT_EQ(v[1], "two\r");
    EXPECT_EQ(v[2], std::string(999, 'x'));
    EXPECT_EQ(v[3], std::string(501, 'x'));
    EXPECT_EQ(v[4], "last");
    readLines(d.file("a.txt"), v, 0);
    EXPECT_EQ(v.size(), 6u);
    EXPECT_EQ(v[1], "#c");
}

TEST(ReadKeyValueFile, SyntaxRules) {
    TempDir d;
    writeFile(d.file("kv"), "a = b = c % note\n% comment\nnoequals\n  k2=v2  \n\n=empty\nk3 =\n");
    StrVec k, v;
    std::vector<int> lines;
    readKeyValueFile(d.file("kv"), k, v, &lines);
    EXPECT_EQ(k, (StrVec{"a", "k2", "", "k3"}));
    EXPECT_EQ(v, (StrVec{"b = c", "v2", "empty", ""}));
    EXPECT_EQ(lines, (std::vector<int>{1, 4, 6, 7}));
}

TEST(Writers, LinesFloatAndPrint) {
    TempDir d;
    writeLines(d.file("l"), {"a", "b"});
    EXPECT_EQ(test::readFile(d.file("l")), "a\nb\n");
    writeLines(d.file("e"), {});
    EXPECT_EQ(test::readFile(d.file("e")), "");
    writeFloatFile(d.file("s"), 87.5f);
    EXPECT_EQ(test::readFile(d.file("s")), "87.5\n");
    std::vector<float> f;
    writeFile(d.file("f"), "1 2.5\n-3 x 4");
    readFloats(d.file("f"), f);
    EXPECT_EQ(f, (std::vector<float>{1, 2.5f, -3}));
    testing::internal::CaptureStdout();
    strVecPrint({}, "v", "");
    strVecPrint({"p", "q"}, "w", "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "v has zero element!\nw[0] = p\nw[1] = q\n");
}

TEST(ReportError, WritesLogUnderTempAndThrows) {
    TempDir d;
    test::ScopedEnv t1("temp", d.path().c_str());
    testing::internal::CaptureStderr();
    EXPECT_THROW(reportError("boom (line 1 of x)"), KedoError);
    std::string out = testing::internal::GetCapturedStderr();
    std::vector<std::string> logs;
    for (const auto& e : std::filesystem::directory_iterator(d.path())) logs.push_back(e.path().filename().string());
    ASSERT_EQ(logs.size(), 1u);
    // error_YYYYMMDD_HHMMSS.log
    ASSERT_EQ(logs[0].size(), std::string("error_20261207_200000.log").size());
    EXPECT_EQ(logs[0].substr(0, 6), "error_");
    EXPECT_EQ(logs[0][14], '_');
    EXPECT_EQ(test::readFile(d.file(logs[0])), "Error: boom (line 1 of x)\n");
    EXPECT_EQ(out, "\nSaved error log at " + d.file(logs[0]) + "...\n");
}

TEST(ReportError, FallsBackToUpperCaseTempAndSkipsLogWithoutEither) {
    TempDir d;
    test::ScopedEnv t1("temp", nullptr);
    {
        test::ScopedEnv t2("TEMP", d.path().c_str());
        EXPECT_EQ(errorLogPath().rfind(d.path() + "/error_", 0), 0u);
    }
    {
        test::ScopedEnv empty("temp", "");
        test::ScopedEnv t2("TEMP", d.path().c_str());
        EXPECT_EQ(errorLogPath().rfind(d.path() + "/error_", 0), 0u);
    }
    test::ScopedEnv t3("TEMP", "");
    testing::internal::CaptureStderr();
    try {
        reportError("no log");
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_STREQ(e.what(), "no log");
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    test::ScopedEnv t4("temp", "/nonexistent/folder");
    testing::internal::CaptureStderr();
    EXPECT_THROW(reportError("unwritable"), KedoError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace kedo
