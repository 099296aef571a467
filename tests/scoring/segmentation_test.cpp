// Label files, pitched phones, node texts, frame shift and the label writer.
#include <gtest/gtest.h>

#include "scoring/segmentation.h"
#include "scoring_fixtures.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::errorOf;
using test::makeNode;
using test::makePause;
using test::makePhone;
using test::readFile;
using test::TempDir;
using test::writeFile;

const StrVec kModels = {"a+b", "b+c", "k-ae+t", "sil", "sp"};

TEST(ReadLabelFile, NodesPhonesFramesAndIndices) {
    TempDir d;
    writeFile(d.file("in.lab"),
              "% a comment\n"
              "\n"
              "0 1200000 sil -10.5 sil\n"
              "12000000 20000000 k-ae+t -523.4 cat\n"
              "20000000 25000000 b+c -600\n"
              "25000000 25500000 zz -601 word2\n");
    mlfClass mlf;
    mlf.nodes.push_back(makePause("old", 0, 1));
    readLabelFile(mlf, d.file("in.lab"), kModels);
    ASSERT_EQ(mlf.nodes.size(), 3u);
    EXPECT_EQ(mlf.nodes[0].name, "sil");
    const mlfNode& cat = mlf.nodes[1];
    EXPECT_EQ(cat.name, "cat");
    ASSERT_EQ(cat.phones.size(), 2u);
    EXPECT_EQ(cat.phones[0].startFrame, 120);
    EXPECT_EQ(cat.phones[0].endFrame, 199);
    EXPECT_EQ(cat.phones[0].index, 2);
    EXPECT_FLOAT_EQ(cat.phones[0].cumLogLike, -523.4f);
    EXPECT_EQ(cat.phones[1].index, 1);
    EXPECT_EQ(cat.startFrame, 120);
    EXPECT_EQ(cat.endFrame, 249);
    EXPECT_FLOAT_EQ(cat.cumLogLike, -600.0f);
    EXPECT_EQ(cat.timberScore, -1);
    EXPECT_EQ(cat.phones[1].rank, -1);
    EXPECT_EQ(cat.phones[1].rankRatio, -1);
    EXPECT_EQ(cat.phones[1].timberScores[3], -1);
    EXPECT_EQ(mlf.nodes[2].phones[0].index, -1);  // not in the model set
    EXPECT_EQ(mlf.nodes[2].endFrame, 254);
}

TEST(ReadLabelFile, TimesBeyond32BitsOfHundredNanosecondsAndTheLongestRecording) {
    TempDir d;
    // Frame 30000 (300 s) is 3e9 in 100 ns units, past the 32-bit range.
    writeFile(d.file("in.lab"), "3000000000 3000100000 sil 0 sil\n-500000 0 sil 0 sil\n");
    mlfClass mlf;
    readLabelFile(mlf, d.file("in.lab"), kModels);
    EXPECT_EQ(mlf.nodes[0].startFrame, 30000);
    EXPECT_EQ(mlf.nodes[0].endFrame, 30000);
    EXPECT_EQ(mlf.nodes[1].startFrame, -5);
    EXPECT_EQ(mlf.nodes[1].endFrame, -1);
    writeFile(d.file("far.lab"), "0 100000 sil 0 sil\n0 3600200000 sil 0 sil\n");
    std::string e = test::errorOf([&] { readLabelFile(mlf, d.file("far.lab"), kModels); });
    EXPECT_NE(e.find("Label line 2 of " + d.file("far.lab") + " has a time beyond 36000 frames"), std::string::npos)
        << e;
    writeFile(d.file("huge.lab"), "-99999999999999999999999 0 sil 0 sil\n");
    EXPECT_THROW(readLabelFile(mlf, d.file("huge.lab"), kModels), KedoError);
}

TEST(ReadLabelFile, MalformedFilesAreRefusedNamingFileAndLine) {
    TempDir d;
    mlfClass mlf;
    writeFile(d.file("short.lab"), "0 100000 sil 0 sil\n\n100000 200000 sp\n");
    std::string e = errorOf([&] { readLabelFile(mlf, d.file("short.lab"), kModels); });
    EXPECT_NE(e.find("Label line 3 of " + d.file("short.lab") + " has 3 fields"), std::string::npos) << e;
    EXPECT_NE(e.find("of mlf)"), std::string::npos);

    writeFile(d.file("orphan.lab"), "% header\n0 100000 sil 0\n");
    e = errorOf([&] { readLabelFile(mlf, d.file("orphan.lab"), kModels); });
    EXPECT_NE(e.find("Label line 2 of " + d.file("orphan.lab") + " is a phone before the first node line"),
              std::string::npos)
        << e;

    e = errorOf([&] { readLabelFile(mlf, d.file("missing.lab"), kModels); });
    EXPECT_EQ(e.rfind("Cannot open file " + d.file("missing.lab"), 0), 0u) << e;
}

TEST(ReadLabelFile, PhoneLabDrivesTheNextRun) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 11), makeNode("cat", {makePhone("k-ae+t", 12, 19, -523.4f),
                                                              makePhone("b+c", 20, 30, -700.25f)}),
                 makePause("sp", 31, 31)};
    TempDir d;
    writePhoneLevel(mlf, d.file("phone.lab"), false, false, false);
    mlfClass back;
    readLabelFile(back, d.file("phone.lab"), kModels);
    ASSERT_EQ(back.nodes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.nodes[i].name, mlf.nodes[i].name);
        EXPECT_EQ(back.nodes[i].startFrame, mlf.nodes[i].startFrame);
        EXPECT_EQ(back.nodes[i].endFrame, mlf.nodes[i].endFrame);
        ASSERT_EQ(back.nodes[i].phones.size(), mlf.nodes[i].phones.size());
    }
    EXPECT_FLOAT_EQ(back.nodes[1].phones[1].cumLogLike, -700.25f);
    // Written again, the file is the same.
    writePhoneLevel(back, d.file("again.lab"), false, false, false);
    EXPECT_EQ(readFile(d.file("again.lab")), readFile(d.file("phone.lab")));
}

TEST(MarkPitched, SilencesAndListedBaseNamesCarryNoPitch) {
    TempDir d;
    writeFile(d.file("qiyin.txt"), "s\n\nk-ae\n");
    mlfClass mlf;
    mlf.nodes = {makeNode("w", {makePhone("sil+a", 0, 3), makePhone("sil", 4, 5), makePhone("sp", 6, 7),
                                makePhone("s", 8, 9), makePhone("s+i", 10, 11), makePhone("k-ae+t", 12, 13),
                                makePhone("a", 14, 15), makePhone("si+s", 16, 17)})};
    markPitched(mlf, d.file("qiyin.txt"));
    std::string got;
    for (const mlfPhone& p : mlf.nodes[0].phones) got += char('0' + p.pitched);
    EXPECT_EQ(got, "00000011");

    writeFile(d.file("empty.txt"), "");
    markPitched(mlf, d.file("empty.txt"));
    EXPECT_EQ(mlf.nodes[0].phones[3].pitched, 1);
    EXPECT_THROW(markPitched(mlf, d.file("none.txt")), KedoError);
}

TEST(AssignNodeTexts, UnitsGoToSpokenNodesInOrder) {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 1), makeNode("a", {makePhone("a", 2, 3)}, "x"), makePause("sp", 4, 4),
                 makeNode("b", {makePhone("b", 5, 6)}, "y"), makeNode("c", {makePhone("c", 7, 8)}, "z"),
                 makePause("filler", 9, 9)};
    mlf.nodes[0].text = "keep?";
    recogParam p;
    p.language = "chinese";
    // Two Big5 characters and an odd last byte, which is dropped.
    assignNodeTexts(mlf, "\xa4\xa4\xa4\xe5\xa4", p);
    EXPECT_EQ(mlf.nodes[0].text, "");
    EXPECT_EQ(mlf.nodes[1].text, "\xa4\xa4");
    EXPECT_EQ(mlf.nodes[3].text, "\xa4\xe5");
    EXPECT_EQ(mlf.nodes[4].text, "");  // beyond the last unit

    p.language = "english";
    assignNodeTexts(mlf, "the  cat sat", p);
    EXPECT_EQ(mlf.nodes[1].text, "the");
    EXPECT_EQ(mlf.nodes[4].text, "sat");
    EXPECT_EQ(mlf.nodes[5].text, "");

    p.addLink4startAnywhere = 1;
    mlf.nodes[1].text = "net text";
    mlf.nodes[2].text = "pause text";
    assignNodeTexts(mlf, "other words here", p);
    EXPECT_EQ(mlf.nodes[1].text, "net text");
    EXPECT_EQ(mlf.nodes[2].text, "");
}

TEST(ShiftFrames, MovesNodesAndPhones) {
    mlfClass mlf;
    mlf.nodes = {makeNode("a", {makePhone("a", 0, 3), makePhone("b", 4, 9)})};
    shiftFrames(mlf, 25);
    EXPECT_EQ(mlf.nodes[0].startFrame, 25);
    EXPECT_EQ(mlf.nodes[0].endFrame, 34);
    EXPECT_EQ(mlf.nodes[0].phones[1].startFrame, 29);
    EXPECT_EQ(mlf.nodes[0].phones[1].endFrame, 34);
}

mlfClass scoredObject() {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 11), makeNode("cat", {makePhone("k-ae+t", 12, 19, -523.4f),
                                                              makePhone("b+c", 20, 30, -700.25f)}, "kat")};
    mlf.nodes[1].timberScore = 87.5f;
    mlf.nodes[1].volume = {10.9f, 20.2f, 1e12f};
    mlf.nodes[1].phones[0].timberScore = 90;
    mlf.nodes[1].phones[1].timberScore = 85;
    mlf.score = 61.2f;
    mlf.timberScore = 61.2f;
    mlf.timberScores = {{{50, 45}, {68, 61.2f}, {30, 27}}};
    mlf.discountOccurrence = {0, 1, 0, 0, 3, 0, 0};
    return mlf;
}

TEST(WritePhoneLevel, PlainLabelLayout) {
    TempDir d;
    writePhoneLevel(scoredObject(), d.file("phone.lab"), false, false, false);
    EXPECT_EQ(readFile(d.file("phone.lab")),
              "000000 1200000 sil 0 sil\n"
              "1200000 2000000 k-ae+t -523.4 cat\n"
              "2000000 3100000 b+c -700.25\n");
    writePhoneLevel(scoredObject(), d.file("mlf.lab"), true, false, false);
    EXPECT_EQ(readFile(d.file("mlf.lab")),
              "#!MLF!#\n"
              "\"This is the phone time generated by mlfClass::writePhoneLevel().\"\n"
              "000000 1200000 sil 0 sil\n"
              "1200000 2000000 k-ae+t -523.4 cat\n"
              "2000000 3100000 b+c -700.25\n.");
    mlfClass empty;
    writePhoneLevel(empty, d.file("empty.lab"), false, false, false);
    EXPECT_EQ(readFile(d.file("empty.lab")), "");
}

TEST(WritePhoneLevel, DetailedLayoutWithVolume) {
    TempDir d;
    writePhoneLevel(scoredObject(), d.file("phone.cm"), false, true, true);
    const std::string chinese =
        "% discountReason={'\xb8\xf4\xae|\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe', "
        "'\xb9L\xb5u\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6', '\xb9L\xaa\xf8\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6', "
        "'\xb6W\xb9L0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6', "
        "'\xb9\xea\xbb\xda\xad\xb5\xb8`\xad\xd3\xbc\xc6\xa9M\xa7\xe4\xa5X\xa8\xd3\xad\xb5\xb8`\xad\xd3\xbc\xc6\xaa"
        "\xba\xaet\xb2\xa7', '\xb3\xcc\xaa\xf8\xa9M\xb3\xcc\xb5u\xad\xb5\xb8`\xaa\xba\xa4\xf1\xad\xc8\xa4j\xa9\xf3"
        "4', 'sil\xaa\xba\xad\xb5\xb6q\xb9L\xa4j'}\n";
    EXPECT_EQ(readFile(d.file("phone.cm")),
              "% score=61.2\n"
              "% origTimberScores=[50, 68, 30]\n"
              "% finalTimberScores=[45, 61.2, 27]\n"
              "% discountFactor=[0 1 0 0 3 0 0 ]\n" +
                  chinese +
                  "% discountReason={'Incomplete Viterbi search path', 'No. of over-short syllables', "
                  "'No. of overlong syllables', 'No. of sp longer than 0.25 sec', 'Difference between identified "
                  "and actual no. of syllables', 'Ratio between the longest and shortest syllables greater than 4', "
                  "'Volume of sil too large'}\n"
                  "000000\t1200000\tsil#-1\t0\tsil##-1\n"
                  "1200000\t2000000\tk-ae+t#90\t-523.4\tcat#kat#87.5#10_20_2147483647\n"
                  "2000000\t3100000\tb+c#85\t-700.25\n");
    // With the MLF header the timber score follows the header line.
    writePhoneLevel(scoredObject(), d.file("mlf.cm"), true, true, false);
    std::string text = readFile(d.file("mlf.cm"));
    EXPECT_EQ(text.rfind("#!MLF!#\n% score=61.2\n", 0), 0u);
    EXPECT_NE(text.find("\n\"This is the phone time generated by mlfClass::writePhoneLevel().\"#61.2\n"),
              std::string::npos);
    EXPECT_NE(text.find("\tcat#kat#87.5\n"), std::string::npos);
    EXPECT_EQ(text.back(), '.');

    EXPECT_THROW(writePhoneLevel(scoredObject(), d.file("no/such/dir/x"), false, false, false), KedoError);
}

}  // namespace
}  // namespace kedo
