// Candidate texts: reading, normalisation rules, exhaustive listings, syl files.
#include <gtest/gtest.h>

#include "lexicon/text.h"
#include "lexicon_test_util.h"
#include "util/limits.h"

using namespace kedo;
using namespace kedo::test;

namespace {

// Big5 characters of the data set.
const std::string kNi = "\xa7\x41", kHao = "\xa6\x6e", kYin = "\xbb\xc8", kHang = "\xa6\xe6", kChang = "\xaa\xf8",
                  kXu = "\xb3\x5c", kZhong = "\xa4\xa4", kWen = "\xa4\xe5";

TEST(ReadText, FileKeepsWholeLinesAndSkipsEmptyOnes) {
    textClass t;
    t.readText(lexData("english_texts.txt"));
    ASSERT_EQ(t.m_txtVs.size(), 4u);
    EXPECT_EQ(t.m_txtVs[1], "Good morning!\tgreeting");
}

TEST(ReadText, InlineTextsSplitAtHash) {
    textClass t;
    t.readText("one#two##three#");
    EXPECT_EQ(t.m_txtVs, (StrVec{"one", "two", "", "three", ""}));  // trailing "#" gives an empty last text
    std::string msg = errorOf([&] { t.readText(""); });
    EXPECT_EQ(msg.rfind("Error: The given recognizable texts (represented as a string delimited by #) has a length "
                        "of zero. (line ",
                        0),
              0u)
        << msg;
    TempDir dir;
    writeFile(dir.file("empty.txt"), "\n\r\n\n");
    msg = errorOf([&] { t.readText(dir.file("empty.txt")); });
    EXPECT_EQ(msg.rfind("Error: m_txtVs.size()=0 when reading \"" + dir.file("empty.txt") + "\". (line ", 0), 0u)
        << msg;
}

TEST(TextNorm, ReadRulesAndRefuseBadOnes) {
    textClass t;
    t.readTextNormMap(lexData("english.tnm"), '#');
    ASSERT_EQ(t.m_textNormSp.size(), 6u);
    EXPECT_EQ(t.m_textNormSp[0].from, ",");
    EXPECT_EQ(t.m_textNormSp[0].to, " ");
    EXPECT_EQ(t.m_textNormSp[0].mode, "g");
    t.readTextNormMap("", '#');
    EXPECT_TRUE(t.m_textNormSp.empty());

    TempDir dir;
    writeFile(dir.file("short.tnm"), "a#b#g\nx#y\n");
    std::string msg = errorOf([&] { t.readTextNormMap(dir.file("short.tnm"), '#'); });
    EXPECT_EQ(msg.rfind("Error: Parsing error in \"" + dir.file("short.tnm") + "\". (line ", 0), 0u) << msg;
    writeFile(dir.file("empty_from.tnm"), "#x#g\n");
    msg = errorOf([&] { t.readTextNormMap(dir.file("empty_from.tnm"), '#'); });
    EXPECT_NE(msg.find("Empty pattern"), std::string::npos) << msg;
    writeFile(dir.file("extra.tnm"), "a#b#g#ignored\r\n");
    t.readTextNormMap(dir.file("extra.tnm"), '#');
    EXPECT_EQ(t.m_textNormSp[0].mode, "g");
}

TEST(TextNorm, RulesInOrderOnLoweredEnglish) {
    textClass t;
    t.readTextNormMap(lexData("english.tnm"), '#');
    t.readText(lexData("english_texts.txt"));
    t.normalizeTexts("english");
    EXPECT_EQ(t.m_txtVsNormalized, (StrVec{"hello world", "good morning", "i like tea", "read the book"}));
    EXPECT_EQ(t.m_txtVs[1], "Good morning!\tgreeting");
}

TEST(TextNorm, ModesAndByteHandling) {
    std::vector<textNormRule> stops = {{".", "", "$"}};
    EXPECT_EQ(normalizeText("End...", stops, "english"), "end");
    EXPECT_EQ(normalizeText("....", stops, "english"), "");
    EXPECT_EQ(normalizeText("A.B.", stops, "chinese"), "A.B");  // only English is lowered
    EXPECT_EQ(normalizeText("\xc4\xd6X", {}, "english"), "\xc4\xd6x");
    // Inserted text is never rescanned; rules see the output of the rules before.
    EXPECT_EQ(normalizeText("aaa", {{"a", "aa", "g"}}, "english"), "aaaaaa");
    EXPECT_EQ(normalizeText("abc", {{"a", "b", "g"}, {"bb", "x", "g"}}, "english"), "xc");
    EXPECT_EQ(normalizeText("--x--", {{"-", "", "^"}}, "english"), "x--");
    EXPECT_EQ(normalizeText("ab", {{"a", "z", "unknown"}, {"b", "z", ""}}, "english"), "ab");
    EXPECT_EQ(normalizeText("Tab\tRemark", {}, "english"), "tab");
}

TEST(ListingChinese, CartesianOrderFirstCharacterFastest) {
    textClass t;
    wpaList wpa = {{"AA", {"a2", "a1", "a1"}, {"2", "1", "9"}}, {"BB", {"b1", "b3", "b2"}, {"x", "z", "y"}}};
    t.m_txtVsNormalized = {"AA", "AABB"};
    t.textsToSylChinese(wpa);
    EXPECT_EQ(t.m_sylVs, (StrVec{"a1\t0", "a2\t0", "a1-b1\t1", "a2-b1\t1", "a1-b2\t1", "a2-b2\t1", "a1-b3\t1",
                                 "a2-b3\t1"}));
    // aux of the first occurrence of each PA, combined in the same order.
    EXPECT_EQ(t.m_sylAuxVs, (StrVec{"1", "2", "1-x", "2-x", "1-y", "2-y", "1-z", "2-z"}));
}

TEST(ListingChinese, DataSetTwoByThreeAndMissingCharacters) {
    dictClass d;
    d.pinyinTableRead(lexData("pinyin.tab"));
    d.wpaRead(lexData("chinese.wpa"), "chinese");
    textClass t;
    t.m_txtVsNormalized = {kChang + kHang, kYin + kHang, kNi + "\xff\xfe" + kHao + "z", "\xff\xfe", ""};
    std::string out = captureOut([&] { t.textsToSylChinese(d.m_wpa); });
    EXPECT_EQ(t.m_sylVs, (StrVec{"chang-hang\t0", "jang-hang\t0", "chang-shing\t0", "jang-shing\t0", "yin-hang\t1",
                                 "yin-shing\t1", "ni-hau\t2"}));
    EXPECT_EQ(t.m_sylAuxVs, (StrVec{"2-2", "3-2", "2-2", "3-2", "2-2", "2-2", "3-3"}));
    EXPECT_EQ(out, "Warning: Found no syllable for \"\xff\xfe\"!\nWarning: Found no syllable for \"\xff\xfe\"!\n");
}

TEST(ListingEnglish, EntryOrderNoDedupAndErrors) {
    textClass t;
    wpaList wpa = {{"a", {"ey", "ax", "ey"}, {}}, {"b", {"b1", "b2"}, {}}};
    t.m_txtVsNormalized = {"a b", "b"};
    t.textsToSylEnglish(wpa);
    EXPECT_EQ(t.m_sylVs, (StrVec{"ey-b1\t0", "ax-b1\t0", "ey-b1\t0", "ey-b2\t0", "ax-b2\t0", "ey-b2\t0", "b1\t1",
                                 "b2\t1"}));
    EXPECT_EQ(errorOf([&] { t.textsToSylEnglish({}); }).rfind("Error: wpa.size()==0 at line ", 0), 0u);
    t.m_txtVsNormalized = {"a c"};
    std::string msg = errorOf([&] { t.textsToSylEnglish(wpa); });
    EXPECT_EQ(msg.rfind("Error: Found no pronunciation entry for \"c\". Please add the pronunciation to "
                        "wpaAddendaFile. (line ",
                        0),
              0u)
        << msg;
}

TEST(Listing, TooManyPathsAreRefused) {
    textClass t;
    StrVec ten;
    for (char c = '0'; c <= '9'; ++c) ten.push_back(std::string("p") + c);
    wpaList wpa = {{"w", ten, {}}};
    std::string text;
    for (int i = 0; i < 7; ++i) text += (i ? " w" : "w");  // 10^7 paths
    t.m_txtVsNormalized = {text};
    std::string msg = errorOf([&] { t.textsToSylEnglish(wpa); });
    EXPECT_NE(msg.find("more than the 1000000 allowed"), std::string::npos) << msg;
}

TEST(SylFile, ReadAndPadWithShortPauses) {
    textClass t;
    t.readSyl(lexData("chinese.syl"));
    EXPECT_EQ(t.m_sylVs, (StrVec{"ni-hau\t0", "yin-hang\t1", "yin-shing\t1"}));
    t.m_sylVs = {"u1-u2-u3\t4", "u\t0"};
    std::string out = captureOut([&] { t.addBetweenSyllables("-sp-"); });
    EXPECT_EQ(out, "\tAdding -sp- between syllables...\n");
    EXPECT_EQ(t.m_sylVs, (StrVec{"u1-sp-u2-sp-u3\t4", "u\t0"}));
}

TEST(JapaneseSyl, Rules) {
    auto rw = [](std::string s) {
        textClass::japaneseSylRules(s);
        return s;
    };
    EXPECT_EQ(rw("sil-KO_N-ni_chi-wa-sil\t0"), "ko-n-ni_chi-wa\t0");
    EXPECT_EQ(rw("sil"), "sil");
    EXPECT_EQ(rw("sil-"), "");
    EXPECT_EQ(rw("a-#-b-#-#-c-#-#-#-d"), "a-sil-b-sil-c-sil-d");
    EXPECT_EQ(rw("#-a"), "sil-a");
    EXPECT_EQ(rw("to_o_kyo_o-#-#-e\t2"), "to_o_kyo-sil-e\t2");
    EXPECT_EQ(rw("sa_yo_u-na_ra"), "sa_yo-na_ra");
    EXPECT_EQ(rw("ma_tsu(ts)-ba_su(s)"), "ma_tsu(ts)-ba_su(s)");  // only whole units match "-tsu(ts)"
    EXPECT_EQ(rw("tsu(ts)-su(s)"), "tsu-su");
    EXPECT_EQ(rw("ts_u-s_u"), "tsu-u-su");   // "-ts_" is rewritten before "-ts_u" could match
    EXPECT_EQ(rw("se_e_e-ke_i"), "se-ke");   // e_e_e before e_e
    EXPECT_EQ(rw("a\tb\tc"), "a\tb\tc");     // three fields: the whole element is rewritten
    EXPECT_EQ(rw("a_a-i_i-u_u-o_o-yu_yu-u_i-a_u\t7"), "a-i-u-o-yu-u-a\t7");
}

TEST(JapaneseSyl, WholeListAndOutputFileOnlyForJapanese) {
    TempDir dir;
    recogParam p;
    p.outputDir = dir.path();
    p.language = "english";
    textClass t;
    t.readSyl(lexData("japanese.syl"));
    StrVec before = t.m_sylVs;
    t.japaneseSyl(p);
    EXPECT_EQ(t.m_sylVs, before);
    EXPECT_FALSE(exists(dir.file("output.syl")));
    p.language = "japanese";
    std::string out = captureOut([&] { t.japaneseSyl(p); });
    EXPECT_EQ(t.m_sylVs, (StrVec{"ko-n-ni_chi-wa\t0", "sa_yo-na_ra\t1", "to_o_kyo-sil-e\t2", "sil"}));
    EXPECT_EQ(readFile(dir.file("output.syl")), "ko-n-ni_chi-wa\t0\nsa_yo-na_ra\t1\nto_o_kyo-sil-e\t2\nsil\n");
    EXPECT_EQ(out, "\t===> Saved " + dir.file("output.syl") + " for Japanese!\n");
}

}  // namespace
