// Best path to text: path string rules, the three comparison modes, the
// sausage rules, keyword position and the failure messages.
#include <gtest/gtest.h>

#include "decoder/best_path_text.h"
#include "kedo/error.h"
#include "support/test_support.h"

namespace kedo::test {
namespace {

struct Mapping {
    IntVec texts, paths;
    std::string sylPath;
    int matchStart = -2, matchLength = -2;
};

class BestPathText : public ::testing::Test {
protected:
    pronDict dict;
    textClass text;
    recogParam p;

    void SetUp() override {
        for (const char* w : {"a", "ab", "b", "c", "fillerC", "sil", "sp"}) dict.push_back({w, {0}});
        p.language = "chinese";
        p.function = "recog";
        p.comparisonMode = 1;
    }
    IntVec path(const std::vector<std::string>& words) {
        IntVec out;
        for (const auto& w : words) out.push_back(pronDictFind(dict, w));
        return out;
    }
    Mapping map(const std::vector<std::string>& words) {
        Mapping m;
        pinyin2text(text, path(words), dict, m.texts, m.paths, m.sylPath, p);
        m.matchStart = text.matchStart;
        m.matchLength = text.matchLength;
        return m;
    }
    std::string failure(const std::vector<std::string>& words) {
        ScopedEnv noTemp("temp", nullptr), noTEMP("TEMP", nullptr);
        testing::internal::CaptureStdout();
        std::string msg;
        try {
            map(words);
        } catch (const KedoError& e) {
            msg = e.what();
        }
        lastOut = testing::internal::GetCapturedStdout();
        return msg;
    }
    std::string lastOut;
};

TEST_F(BestPathText, OuterSilencesDropInnerStay) {
    text.m_sylVs = {"a-b\t0", "a-sil-b\t1"};
    Mapping m = map({"sil", "a", "b", "sil"});
    EXPECT_EQ(m.sylPath, "a-b");
    EXPECT_EQ(m.texts, IntVec{0});
    EXPECT_EQ(m.paths, IntVec{0});
    EXPECT_EQ(m.matchStart, -1);
    m = map({"sil", "a", "sil", "b"});
    EXPECT_EQ(m.sylPath, "a-sil-b");
    EXPECT_EQ(m.texts, IntVec{1});
}

TEST_F(BestPathText, WholePathBeforeLeadingPart) {
    text.m_sylVs = {"a-b-c\t0", "a-b\t1", "a-b-c-a\t2"};
    Mapping m = map({"a", "b"});
    EXPECT_EQ(m.texts, IntVec{1});
    EXPECT_EQ(m.paths, IntVec{1});
    m = map({"a", "b", "c"});
    EXPECT_EQ(m.texts, IntVec{0});
    // No whole match: every candidate that begins with the path.
    text.m_sylVs = {"a-b-c\t0", "b-a\t1", "a-b-c-a\t2"};
    m = map({"a", "b"});
    EXPECT_EQ(m.texts, (IntVec{0, 2}));
    EXPECT_EQ(m.paths, (IntVec{0, 2}));
}

TEST_F(BestPathText, UnitsMatchOnlyWhole) {
    text.m_sylVs = {"ab-c\t0", "c-ab\t1"};
    p.comparisonMode = 1;
    EXPECT_NE(failure({"a"}).find("Cannot find sylPath within m_sylVs (line"), std::string::npos);
    p.comparisonMode = 2;
    EXPECT_NE(failure({"a"}).find("Cannot find sylPath"), std::string::npos);
    Mapping m = map({"ab"});
    EXPECT_EQ(m.texts, (IntVec{0, 1}));
}

TEST_F(BestPathText, HomophonesGiveEachTextOnceAscending) {
    text.m_sylVs = {"a-b\t3", "a-b\t1", "a-c\t2", "a-b\t1"};
    Mapping m = map({"a", "b"});
    EXPECT_EQ(m.texts, (IntVec{1, 3}));
    EXPECT_EQ(m.paths, (IntVec{0, 1, 3}));
}

TEST_F(BestPathText, SoftSilencesIgnoredInAssessment) {
    text.m_sylVs = {"a-b-c\t0"};
    p.function = "assess";
    p.usePaddedSoftSil = 1;
    Mapping m = map({"sil", "a", "sil", "b", "sil", "c", "sil"});
    EXPECT_EQ(m.texts, IntVec{0});
    EXPECT_EQ(m.sylPath, "a-b-c");
    p.usePaddedSoftSil = 0;
    EXPECT_NE(failure({"sil", "a", "sil", "b", "c"}).find("Cannot find"), std::string::npos);
}

TEST_F(BestPathText, SausageNets) {
    p.netType = 1;
    text.m_sylVs = {"x\t5"};  // not consulted
    Mapping m = map({"sil", "a", "sp", "b", "sil", "c", "sil"});
    EXPECT_EQ(m.sylPath, "a-b-c");
    EXPECT_EQ(m.texts, IntVec{0});
    EXPECT_EQ(m.paths, IntVec{-1});
    p.language = "japanese";
    p.sylFile = "x.syl";
    m = map({"sil", "a", "sp", "b"});
    EXPECT_EQ(m.sylPath, "a-sp-b");
    EXPECT_EQ(m.paths, IntVec{0});
    // With a syllable file other languages compare, silences still left out.
    p.language = "chinese";
    text.m_sylVs = {"a-b\t4"};
    m = map({"sil", "a", "sp", "b"});
    EXPECT_EQ(m.texts, IntVec{4});
}

TEST_F(BestPathText, KeywordPositionCountsFillersAndSilences) {
    p.comparisonMode = 3;
    text.m_sylVs = {"b-c\t0", "c\t1", "a-a\t2"};
    Mapping m = map({"sil", "fillerC", "b", "c", "sil"});
    EXPECT_EQ(m.sylPath, "sil-fillerC-b-c-sil");
    EXPECT_EQ(m.texts, (IntVec{0, 1}));
    EXPECT_EQ(m.paths, (IntVec{0, 1}));
    EXPECT_EQ(m.matchStart, 2);  // sil and fillerC come before: the nodes 2 and 3 are the keyword
    EXPECT_EQ(m.matchLength, 2);
    m = map({"c", "sil"});
    EXPECT_EQ(m.matchStart, 0);
    EXPECT_EQ(m.matchLength, 1);
}

TEST_F(BestPathText, Failures) {
    text.m_sylVs = {"a-b\t0"};
    EXPECT_EQ(failure({}), "The best syllable path has zero length!");
    p.comparisonMode = 0;
    EXPECT_EQ(failure({"a"}), "Unknown comparisonMode = 0");
    p.comparisonMode = 1;
    std::string msg = failure({"c"});
    EXPECT_EQ(msg.substr(0, 75), "Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (line");
    EXPECT_NE(lastOut.find("\nsylPath=-c-\nrecogParamP->comparisonMode=1\nm_sylVs[0] = a-b\t0\n"), std::string::npos);
    // A path of silence alone matches nothing, not every candidate.
    p.comparisonMode = 2;
    EXPECT_NE(failure({"sil"}).find("Cannot find"), std::string::npos);
    IntVec t, s;
    EXPECT_THROW(searchSylVs(text, "-a-", 3, t, s), KedoError);
    text.m_sylVs = {"a-b"};
    EXPECT_NE(failure({"a"}).find("has no text position"), std::string::npos);
}

// A learner who says nothing is assessed against the designated text (the
// first candidate); recognition still finds no sentence in silence.
TEST_F(BestPathText, SilentPathInAssessmentStandsForTheDesignatedText) {
    text.m_sylVs = {"b-c\t3", "a-b\t0"};
    p.function = "assess";
    for (int mode : {1, 2, 3}) {
        p.comparisonMode = mode;
        Mapping m = map({"sil", "sp", "fillerC", "sil"});
        EXPECT_EQ(m.texts, IntVec{3}) << mode;
        EXPECT_EQ(m.paths, IntVec{0}) << mode;
    }
    p.comparisonMode = 1;
    EXPECT_EQ(map({"sil"}).sylPath, "");
    // A spoken path that matches nothing is still an error.
    EXPECT_NE(failure({"sil", "c", "sil"}).find("Cannot find sylPath"), std::string::npos);
    p.function = "recog";
    EXPECT_NE(failure({"sil", "sp", "sil"}).find("Cannot find sylPath"), std::string::npos);
}

TEST(SylPathRendering, SchemesByPinyinType) {
    dictClass dict;
    dict.m_pinyinTable = {{"h1", "m1", "t1", "c1"}, {"h2", "m2", "t2", "c2"}};
    mlfClass mlf;
    mlf.identifiedSyl = "c1-c2";
    renderSylPath(dict, "cgu", mlf);
    EXPECT_EQ(mlf.CGU, "c1-c2");
    EXPECT_EQ(mlf.MPA, "m1-m2");
    EXPECT_EQ(mlf.HanYu, "h1-h2");
    mlfClass h;
    h.identifiedSyl = "h2-sil";
    renderSylPath(dict, "hanyu", h);
    EXPECT_EQ(h.HanYu, "h2-sil");
    EXPECT_EQ(h.MPA, "m2-sil");
    EXPECT_EQ(h.CGU, "c2-sil");
    mlfClass none;
    none.identifiedSyl = "c1";
    renderSylPath(dict, "zhuyin", none);
    EXPECT_EQ(none.CGU + none.MPA + none.HanYu, "");
}

}  // namespace
}  // namespace kedo::test
