// Pronunciation dictionary, pinyin table and wpa lookups.
#include <gtest/gtest.h>

#include <cstring>

#include "lexicon/dict.h"
#include "lexicon_test_util.h"
#include "util/limits.h"

using namespace kedo;
using namespace kedo::test;

namespace {

nameModels chineseModels() {
    return nameModels({"ang", "au", "ch", "en", "h", "i", "in", "ing", "iu", "j", "n", "sh", "ung", "w", "y"});
}

TEST(PronDict, ReadsPamWithCommentsReservedNamesAndLookup) {
    nameModels models = chineseModels();
    dictClass d;
    d.pronDictRead(lexData("chinese.pam"), models.view());
    ASSERT_EQ(d.m_pronDict.size(), 14u);
    EXPECT_EQ(d.m_pronDict[0].word, "chang");
    EXPECT_EQ(d.m_pronDict[0].models, (IntVec{models.find("ch"), models.find("ang")}));
    int sil = d.pronDictFind("sil");
    ASSERT_GE(sil, 0);
    EXPECT_EQ(d.m_pronDict[sil].models, IntVec{-1});  // reserved and absent from the set
    EXPECT_EQ(d.pronDictFind("fillerV"), 2);
    EXPECT_EQ(d.pronDictFind("zzz"), -1);
    EXPECT_EQ(d.pronDictFind(""), -1);
}

TEST(PronDict, ParseSkipsBlankAndModelLessLinesAndCollapsesBlankRuns) {
    nameModels models({"a", "b"});
    pronDict out;
    pronDictParse({"%comment", "   ", "x", "  w\t a  b \t\r", "y a"}, models.view(), out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].word, "w");
    EXPECT_EQ(out[0].models, (IntVec{0, 1}));
    EXPECT_EQ(out[1].word, "y");
}

TEST(PronDict, Refusals) {
    nameModels one({"a"});
    dictClass d;
    std::string small = errorOf([&] { d.pronDictRead(lexData("chinese.pam"), one.view()); });
    EXPECT_EQ(small.rfind("Error in dictClass::pronDictRead when reading " + lexData("chinese.pam") +
                              ": Macro is too small (line ",
                          0),
              0u)
        << small;
    EXPECT_TRUE(strEndsWith(small, " in of dict)"));
    nameModels two({"a", "b"});
    std::string msg = errorOf([&] { d.pronDictRead("/nonexistent/x.pam", two.view()); });
    EXPECT_EQ(msg.rfind("Unable to open /nonexistent/x.pam (line ", 0), 0u) << msg;
    EXPECT_TRUE(strEndsWith(msg, " in dict)"));
}

TEST(PronDict, FromTextsSortedUniqueWithRightContext) {
    nameModels models({"ax+l", "hh+ax", "l+ow", "ow+sil", "w+er", "er+l", "l+d", "d+sil", "hh+eh", "eh+l"});
    dictClass d;
    d.m_wpa = {{"hello", {"hh_ax_l_ow", "hh_eh_l_ow"}, {}}, {"world", {"w_er_l_d"}, {}}};
    d.pronDictFromTexts({"hello world\tremark", "world  hello", "hello"}, models.view());
    ASSERT_EQ(d.m_pronDict.size(), 5u);
    const char* words[] = {"hh_ax_l_ow", "hh_eh_l_ow", "sil", "sp", "w_er_l_d"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(d.m_pronDict[i].word, words[i]);
    EXPECT_EQ(d.m_pronDict[0].models,
              (IntVec{models.find("hh+ax"), models.find("ax+l"), models.find("l+ow"), models.find("ow+sil")}));
    EXPECT_EQ(d.m_pronDict[2].models, IntVec{-1});
    EXPECT_EQ(d.m_pronDict[3].models, IntVec{-1});

    TempDir dir;
    d.pronDictWrite(dir.file("output.dic"), models.view());
    std::string dic = readFile(dir.file("output.dic"));
    EXPECT_NE(dic.find("hh_ax_l_ow\thh+ax ax+l l+ow ow+sil\n"), std::string::npos) << dic;
    EXPECT_NE(dic.find("sil\t???\nsp\t???\n"), std::string::npos) << dic;

    std::string msg = errorOf([&] { d.pronDictFromTexts({"hello there"}, models.view()); });
    EXPECT_EQ(msg.rfind("Error: Found no pronunciation entry for \"there\". Please add the pronunciation to "
                        "wpaAddendaFile. (line ",
                        0),
              0u)
        << msg;
}

TEST(PronDict, ThreePhonePaAndShortPause) {
    nameModels models({"p1+p2", "p2+p3", "p3+sil", "sp"});
    dictClass d;
    d.m_wpa = {{"w", {"p1_p2_p3", "sp"}, {}}};
    d.pronDictFromTexts({"w"}, models.view());
    ASSERT_EQ(d.m_pronDict.size(), 3u);  // p1_p2_p3, sil, sp
    EXPECT_EQ(d.m_pronDict[0].models, (IntVec{0, 1, 2}));
    EXPECT_EQ(d.m_pronDict[2].word, "sp");
    EXPECT_EQ(d.m_pronDict[2].models, IntVec{3});
}

// Keyword spotting loops the filler models around the keywords: their words
// join the dictionary as their own models, never as "fillerC+sil".
TEST(PronDict, FillersForKeywordSpottingAreTheirOwnModels) {
    nameModels models({"fillerC", "fillerV", "p1+sil", "fillerC+sil"});
    dictClass d;
    d.m_wpa = {{"w", {"p1"}, {}}};
    d.pronDictFromTexts({"w"}, models.view());
    EXPECT_EQ(d.m_pronDict.size(), 3u);  // p1, sil, sp
    EXPECT_LT(d.pronDictFind("fillerC"), 0);
    d.pronDictFromTexts({"w"}, models.view(), true);
    ASSERT_EQ(d.m_pronDict.size(), 5u);
    const int c = d.pronDictFind("fillerC"), v = d.pronDictFind("fillerV");
    ASSERT_GE(c, 0);
    ASSERT_GE(v, 0);
    EXPECT_EQ(d.m_pronDict[c].models, IntVec{models.find("fillerC")});
    EXPECT_EQ(d.m_pronDict[v].models, IntVec{models.find("fillerV")});
    EXPECT_EQ(d.m_pronDict[d.pronDictFind("p1")].models, IntVec{models.find("p1+sil")});
}

TEST(WpaFind, ByteOrderPutsHighBytesAfterAscii) {
    wpaList wpa = {{"", {}, {}}, {"a", {}, {}}, {"ab", {}, {}}, {"b", {}, {}}, {"\xa4\xa4", {}, {}},
                   {"\xbb\xc8", {}, {}}};
    EXPECT_EQ(wpaFind(wpa, ""), 0);
    EXPECT_EQ(wpaFind(wpa, "ab"), 2);
    EXPECT_EQ(wpaFind(wpa, "\xbb\xc8"), 5);
    EXPECT_EQ(wpaFind(wpa, "\xa4"), -1);
    EXPECT_EQ(wpaFind(wpa, "c"), -1);
    EXPECT_EQ(wpaFind({}, "a"), -1);
}

TEST(TextUnits, ByLanguage) {
    StrVec u = {"keep"};
    textUnits("\xa7\x41\xa6\x6e!", "chinese", u);
    EXPECT_EQ(u, (StrVec{"keep", "\xa7\x41", "\xa6\x6e"}));  // the odd last byte is dropped
    u.clear();
    textUnits(" good  morning ", "english", u);
    EXPECT_EQ(u, (StrVec{"good", "morning"}));
    u.clear();
    textUnits("abc", "japanese", u);
    EXPECT_EQ(u, (StrVec{"X", "X", "X"}));
    u.clear();
    textUnits("abc", "klingon", u);
    EXPECT_TRUE(u.empty());
}

TEST(PinyinTable, ReadAndConvert) {
    dictClass d;
    d.pinyinTableRead(lexData("pinyin.tab"));
    ASSERT_EQ(d.m_pinyinTable.size(), 10u);
    EXPECT_EQ(d.m_pinyinTable[3][3], "shing");
    EXPECT_EQ(d.pinyinConvert("xing", 0, 3), "shing");
    EXPECT_EQ(d.convertSylPath("shing-hang-ni", 3, 0), "xing-hang-ni");
    std::string out = captureOut([&] { EXPECT_EQ(d.convertSylPath("sil-qq-hau-sp", 3, 0), "sil-qq-hao-sp"); });
    EXPECT_EQ(out, "Warning: Cannot find qq in the pinyinTable!\n");
    out = captureOut([&] { EXPECT_EQ(d.pinyinConvert("ni", 0, 9), "ni"); });  // no such column
    EXPECT_NE(out.find("Cannot find ni"), std::string::npos);
}

TEST(WpaWriteUsed, EntriesInListOrderWithWarningForMissing) {
    dictClass d;
    d.m_wpa = {{"a", {"ax", "ey"}, {}}, {"book", {"b_uh_k"}, {}}, {"the", {"dh_ax"}, {}}};
    TempDir dir;
    std::string path = dir.file("output.wpa");
    std::string out = captureOut([&] { d.wpaWriteUsed(path, {"the book", "a zebra", "the"}, "english"); });
    EXPECT_EQ(readFile(path), "a\tax#ey\nbook\tb_uh_k\nthe\tdh_ax\n");
    EXPECT_EQ(out.rfind("Warning: Found no PA for \"zebra\" in " + path + "! (line ", 0), 0u) << out;
}

}  // namespace
