// The diagnostic score files "phone.plp" and "phone.cmd".
#include <gtest/gtest.h>

#include "scoring/diagnostic_files.h"
#include "scoring_fixtures.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using test::makeNode;
using test::makePause;
using test::makePhone;
using test::readFile;
using test::TempDir;

const StrVec kModels = {"a+b", "b+c", "sil", "sp"};

// sil, a word whose first phone is "sil+", a word of one phone, and a node
// of only a "sil+" phone; 200 scored frames.
mlfClass scoredObject() {
    mlfClass mlf;
    mlf.nodes = {makePause("sil", 0, 9),
                 makeNode("ab", {makePhone("sil+a", 10, 12), makePhone("a+b", 13, 22)}),
                 makeNode("bc", {makePhone("b+c", -5, 3)}), makeNode("q", {makePhone("sil+q", 30, 40)})};
    mlf.scoredFrameCount = 200;
    mlfNode& ab = mlf.nodes[1];
    ab.timberScores = {50, 60.5f, 70, 80};
    mlfPhone& ph = ab.phones[1];
    ph.index = 0;
    ph.competingModelIndex = {1, 0, 7};
    ph.competingModelLogLike = {-100.5f, -120, -1e10f};
    ph.rank = 1;
    ph.rankRatio = 1.0f / 3;
    ph.timeRatio = 10.0f / 200;
    ph.timberScores = {40, 50, 60, 70};
    mlf.timberScores = {{{50, 45}, {60.5f, 54.45f}, {70, 63}}};
    mlf.discountOccurrence = {0, 1, 0, 0, 12, 0, 2};
    return mlf;
}

TEST(WritePhonePlp, HeaderAndThreeLinesPerWrittenPhone) {
    TempDir d;
    writePhonePlp(scoredObject(), d.file("phone.plp"));
    EXPECT_EQ(readFile(d.file("phone.plp")),
              "% \xae\xe6\xa6\xa1\xbb\xa1\xa9\xfa\xa1G\xa8" "C\xa4T\xa6" "C\xac\xb0\xa4@\xad\xd3\xb3\xe6\xa6\xec\n"
              "% \xb2\xc4\xa4@\xa6" "C\xacO modelName, modelIndex, frameNum\n"
              "% \xb2\xc4\xa4G\xa6" "C\xacO compModelIndex1, compModelIndex2, ...\n"
              "% \xb2\xc4\xa4T\xa6" "C\xacO logProb1, logProb2, ...\n"
              "a+b 0 10\n"
              "1 0 7 \n"
              "-100.5 -120 -1e+10 \n");
    EXPECT_THROW(writePhonePlp(scoredObject(), d.file("no/phone.plp")), KedoError);
}

TEST(WritePhoneCmd, ReadableAccountOfRanksAndScores) {
    TempDir d;
    writePhoneCmd(scoredObject(), kModels, d.file("phone.cmd"));
    EXPECT_EQ(readFile(d.file("phone.cmd")),
              "1: ab [10 22] (50, 60.5, 70)\n"
              "\t1: a+b [13 22]\n"
              "\t\t0: b+c(-100.5) 1: a+b(-120) 2: (-1e+10) \n"
              "\t\tComp. model index: 1 0 7 \n"
              "\t\tRank ratio: 1/3=0.333333\n"
              "\t\tTime weight: 10/200=5%\n"
              "\t\tScore: 40, 50, 60\n"
              "2: bc [-5 3] (-1, -1, -1)\n"
              "3: q [30 40] (-1, -1, -1)\n"
              "\n"
              "\xad\xec\xa9l\xa4\xc0\xbc\xc6 = 50, 60.5, 70\n"
              "\xad\xd7\xa5\xbf\xa4\xc0\xbc\xc6 = 45, 54.45, 63\n"
              "\n"
              "m_discountFactor[0] = 0\xa1]\xb8\xf4\xae|\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe\xa1^\n"
              "m_discountFactor[1] = 1\xa1]\xb9L\xb5u\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6\xa1^\n"
              "m_discountFactor[2] = 0\xa1]\xb9L\xaa\xf8\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6\xa1]\xb6W\xb9L0.7\xac\xed"
              "\xa1^\xa1^\n"
              "m_discountFactor[3] = 0\xa1]\xb6W\xb9L0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6\xa1^\n"
              "m_discountFactor[4] = 12\xa1]\xb9\xea\xbb\xda\xad\xb5\xb8`\xad\xd3\xbc\xc6\xa9M\xa7\xe4\xa5X\xa8\xd3\xad"
              "\xb5\xb8`\xad\xd3\xbc\xc6\xaa\xba\xaet\xb2\xa7\xa1^\n"
              "m_discountFactor[5] = 0\xa1]\xb3\xcc\xaa\xf8\xa9M\xb3\xcc\xb5u\xad\xb5\xb8`\xaa\xba\xa4\xf1\xad\xc8\xa4j"
              "\xa9\xf3" "4\xa1^\n"
              "m_discountFactor[6] = 2\xa1]sil\xaa\xba\xad\xb5\xb6q\xb9L\xa4j\xa1^\n");
}

TEST(WriteAssessmentFiles, TheFilesOfAScoredRunInOrder) {
    TempDir d;
    recogParam p;
    p.outputDir = d.path();
    testing::internal::CaptureStdout();
    writeAssessmentFiles(scoredObject(), kModels, p);
    std::string expected;
    for (const char* name : {"phone.lab", "phone.cm", "output.xml", "phone.plp", "phone.cmd"}) {
        expected += "\t===> Saved " + d.file(name) + "\n";
        EXPECT_TRUE(test::exists(d.file(name))) << name;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);

    p.outputDir.clear();
    testing::internal::CaptureStdout();
    writeAssessmentFiles(scoredObject(), kModels, p);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace kedo
