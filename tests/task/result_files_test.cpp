// Result files of a run: output.wave, recogResult.txt, keyword lines.
#include <gtest/gtest.h>

#include "kedo/error.h"
#include "support/test_support.h"
#include "task/pipeline.h"
#include "task/result_files.h"

namespace kedo {
namespace {

using test::TempDir;

TEST(OutputWave, EverySampleFollowedByABlank) {
    TempDir d;
    writeOutputWave(d.file("output.wave"), {0, -32768, 32767});
    EXPECT_EQ(test::readFile(d.file("output.wave")), "0 -32768 32767 \n");
    writeOutputWave(d.file("empty.wave"), {});
    EXPECT_EQ(test::readFile(d.file("empty.wave")), "\n");
    std::vector<int32_t> many(100000, -12345);
    writeOutputWave(d.file("big.wave"), many);
    EXPECT_EQ(test::readFile(d.file("big.wave")).size(), 100000u * 7 + 1);
}

TEST(OutputWave, UncreatableFileEndsTheOperationNotTheProcess) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(writeOutputWave("/nonexistent/dir/output.wave", {1}), KedoError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot open \"/nonexistent/dir/output.wave\"!\n");
}

TEST(RecogResult, EightLines) {
    TempDir d;
    mlfClass m;
    m.textIndex = {3};
    m.texts = {"hello world"};
    m.timberScore = 61.25f;
    m.pathLogProb = -1234.5f;
    writeRecogResult(d.file("r.txt"), m);
    EXPECT_EQ(test::readFile(d.file("r.txt")),
              "Text index=3\nText=hello world\nScore=61.250000\nCGU=\nMPA=\nHanYu=\nTone=\nLogProb=-1234.500000\n");
    m.textIndex = {1, 4};
    m.texts = {"a", "b"};
    writeRecogResult(d.file("r2.txt"), m);
    EXPECT_EQ(test::readFile(d.file("r2.txt")).substr(0, 24), "Text index=1#4\nText=a#b\n");
}

TEST(ResultObject, FreshObjectIsEmpty) {
    mlfClass m;
    EXPECT_TRUE(m.nodes.empty());
    EXPECT_TRUE(m.texts.empty());
    EXPECT_TRUE(m.textIndex.empty());
    EXPECT_EQ(recognisedSentence(m), "");
    m.texts = {"ab", "cd"};
    EXPECT_EQ(recognisedSentence(m), "abcd");
    mlfPhone p;
    EXPECT_EQ(p.rank, -1);
    EXPECT_EQ(p.timberScores[3], -1);
}

TEST(Keywords, DurationWeightedScoreAndLines) {
    mlfClass m;
    for (auto [s, e, score] : {std::tuple{0, 10, 50.f}, {10, 40, 80.f}, {40, 41, 0.f}}) {
        mlfNode n;
        n.startFrame = s;
        n.endFrame = e;
        n.timberScore = score;
        m.nodes.push_back(n);
    }
    std::vector<KeywordRecord> k(2);
    k[0].name = "kw";
    k[0].firstNode = 0;
    k[0].lastNode = 1;
    k[0].sylIndices = {0, 1};
    k[1].name = "flat";
    k[1].firstNode = 2;
    k[1].lastNode = 2;
    computeKeywordScores(k, m);
    EXPECT_FLOAT_EQ(k[0].score, (10 * 50.f + 30 * 80.f) / 40);
    EXPECT_FLOAT_EQ(k[1].score, 0.f);
    testing::internal::CaptureStdout();
    printKeywordLines(k, {"ni3", "hao3"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "keyword[0]:\n\tname=kw\n\tscore=72.500000\n\tni3 hao3 \nkeyword[1]:\n\tname=flat\n\tscore=0.000000\n\t\n");
    k[1].lastNode = 3;
    EXPECT_THROW(computeKeywordScores(k, m), KedoError);
}

}  // namespace
}  // namespace kedo
