// The wpa readers: English and Chinese text layouts, wpab, inline strings,
// dispatch, addenda merge and sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "lexicon/dict.h"
#include "lexicon_test_util.h"
#include "util/limits.h"
#include "util/report_error.h"

using namespace kedo;
using namespace kedo::test;

namespace {

void putInt(std::string& b, int32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
}

// The wpab image of a list (the system itself has no writer).
std::string wpabImage(const wpaList& wpa) {
    std::string b;
    putInt(b, static_cast<int32_t>(wpa.size()));
    for (const wpaEntry& e : wpa) {
        putInt(b, static_cast<int32_t>(e.word.size()));
        b += e.word;
        putInt(b, static_cast<int32_t>(e.pas.size()));
        for (const std::string& pa : e.pas) {
            putInt(b, static_cast<int32_t>(pa.size()));
            b += pa;
        }
    }
    return b;
}

bool sameEntries(const wpaList& a, const wpaList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].word != b[i].word || a[i].pas != b[i].pas || a[i].aux != b[i].aux) return false;
    return true;
}

TEST(WpaText, EnglishLayout) {
    dictClass d;
    d.wpaRead(lexData("english.wpa"), "english");
    ASSERT_EQ(d.m_wpa.size(), 11u);
    EXPECT_EQ(d.m_wpa[0].word, "a");
    EXPECT_EQ(d.m_wpa[0].pas, (StrVec{"ax", "ey"}));
    EXPECT_TRUE(d.m_wpa[0].aux.empty());
    int hello = d.wpaFind("hello");
    ASSERT_GE(hello, 0);
    EXPECT_EQ(d.m_wpa[hello].pas, (StrVec{"hh_ax_l_ow", "hh_eh_l_ow"}));
}

TEST(WpaText, EmptyFieldsAndWrongFieldCount) {
    wpaList out;
    wpaParseText({"none\t", "two\tt_uw##t_ax#"}, "english", {}, "f.wpa", out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].pas.empty());
    EXPECT_EQ(out[1].pas, (StrVec{"t_uw", "t_ax"}));

    std::string msg = errorOf([&] { wpaParseText({"ok\tax", "bad\tax\textra"}, "english", {}, "f.wpa", out); });
    EXPECT_EQ(msg.rfind("Wrong format of f.wpa (line ", 0), 0u) << msg;
    EXPECT_TRUE(strEndsWith(msg, " in dict)"));

    testing::internal::CaptureStdout();
    try {
        ScopedEnv a("temp", ""), b("TEMP", "");
        wpaParseText({"bad"}, "english", {}, "f.wpa", out);
    } catch (const KedoError&) {
    }
    std::string diag = testing::internal::GetCapturedStdout();
    EXPECT_NE(diag.find("line = bad (line="), std::string::npos) << diag;
    EXPECT_NE(diag.find("token1.size() = 1 (line="), std::string::npos) << diag;
}

TEST(WpaText, CrLfFileReadAsLf) {
    TempDir dir;
    writeFile(dir.file("crlf.wpa"), "% c\r\nb\tb_iy\r\n\r\nc\ts_iy#k_ax\r\n");
    dictClass d;
    d.wpaRead(dir.file("crlf.wpa"), "english");
    ASSERT_EQ(d.m_wpa.size(), 2u);
    EXPECT_EQ(d.m_wpa[1].pas, (StrVec{"s_iy", "k_ax"}));
}

TEST(WpaText, ChineseLayoutThroughPinyinRows) {
    dictClass d;
    d.pinyinTableRead(lexData("pinyin.tab"));
    d.wpaRead(lexData("chinese.wpa"), "chinese");
    ASSERT_EQ(d.m_wpa.size(), 8u);
    for (size_t i = 1; i < d.m_wpa.size(); ++i) EXPECT_LT(d.m_wpa[i - 1].word, d.m_wpa[i].word);
    int hang = d.wpaFind("\xa6\xe6");  // the character for xing/hang
    ASSERT_GE(hang, 0);
    EXPECT_EQ(d.m_wpa[hang].pas, (StrVec{"shing", "hang", "shing"}));
    EXPECT_EQ(d.m_wpa[hang].aux, (StrVec{"2", "2", "4"}));
    EXPECT_GE(d.wpaFind("\xb3\x5c"), 0);  // second byte is a backslash
}

TEST(WpaText, ChineseLayoutRefusesBadRowsAndFieldCounts) {
    std::vector<StrVec> table = {{"a", "b", "c", "d"}, {"short", "row"}};
    wpaList out;
    wpaParseText({"\xa4\xa4\t1\tx\t1\ty"}, "chinese", table, "c.wpa", out);
    EXPECT_EQ(out[0].pas, StrVec{"d"});
    wpaParseText({"\xa4\xa4\t\tx\t\ty"}, "chinese", table, "c.wpa", out);
    EXPECT_TRUE(out[0].pas.empty());  // no rows named: no pronunciation
    for (const char* rows : {"0", "-1", "3", "2", "1x", "1,,1", "99999999999"}) {
        std::string line = std::string("\xa4\xa4\t") + rows + "\tx\t1\ty";
        std::string msg = errorOf([&] { wpaParseText({line}, "chinese", table, "c.wpa", out); });
        EXPECT_NE(msg.find("Invalid pinyin table row"), std::string::npos) << rows << ": " << msg;
        EXPECT_NE(msg.find("c.wpa"), std::string::npos);
    }
    std::string msg = errorOf([&] { wpaParseText({"\xa4\xa4\t1\tx\t1"}, "chinese", table, "c.wpa", out); });
    EXPECT_EQ(msg.rfind("Wrong format of c.wpa", 0), 0u) << msg;
}

TEST(WpaText, OtherLanguageOpensButReadsNothing) {
    dictClass d;
    d.wpaRead(lexData("english.wpa"), "japanese");
    EXPECT_TRUE(d.m_wpa.empty());
}

TEST(Wpab, SameEntriesAsTheTextForm) {
    dictClass text, bin;
    text.wpaRead(lexData("english.wpa"), "english");
    bin.wpaRead(lexData("english.wpab"), "english");
    EXPECT_TRUE(sameEntries(text.m_wpa, bin.m_wpa));
    TempDir dir;
    writeFile(dir.file("UP.WPAB"), wpabImage(text.m_wpa));
    bin.wpaRead(dir.file("UP.WPAB"), "english");
    EXPECT_TRUE(sameEntries(text.m_wpa, bin.m_wpa));
}

TEST(Wpab, EveryTruncationIsRefused) {
    wpaList wpa = {{"ab", {"x", "yz"}, {}}, {"c", {}, {}}};
    std::string image = wpabImage(wpa);
    wpaList out;
    wpaParseBinary(image, "w.wpab", out);
    EXPECT_TRUE(sameEntries(out, wpa));
    for (size_t n = 0; n < image.size(); ++n) {
        std::string msg = errorOf([&] { wpaParseBinary(image.substr(0, n), "w.wpab", out); });
        EXPECT_NE(msg.find("the file ends inside"), std::string::npos) << n << ": " << msg;
    }
    // An entry count far beyond the data is a truncation, not an allocation.
    std::string huge;
    putInt(huge, 0x7fffffff);
    EXPECT_NE(errorOf([&] { wpaParseBinary(huge, "w.wpab", out); }).find("ends inside"), std::string::npos);
}

TEST(Wpab, NegativeCountsAndOversizedFieldsAreRefused) {
    wpaList out;
    std::string b;
    putInt(b, -1);
    EXPECT_NE(errorOf([&] { wpaParseBinary(b, "w.wpab", out); }).find("negative entry count -1"), std::string::npos);
    b.clear();
    putInt(b, 1);
    putInt(b, 1);
    b += "a";
    putInt(b, -2);
    EXPECT_NE(errorOf([&] { wpaParseBinary(b, "w.wpab", out); }).find("negative PA count -2"), std::string::npos);
    b.clear();
    putInt(b, 1);
    putInt(b, MAX_WPAB_WORD_LEN + 1);
    b += std::string(MAX_WPAB_WORD_LEN + 1, 'w');
    EXPECT_NE(errorOf([&] { wpaParseBinary(b, "w.wpab", out); }).find("word length 1000"), std::string::npos);
    wpaList limit = {{std::string(MAX_WPAB_WORD_LEN, 'w'), {std::string(MAX_WPAB_PA_LEN, 'p')}, {}}};
    wpaParseBinary(wpabImage(limit), "w.wpab", out);
    EXPECT_TRUE(sameEntries(out, limit));
    limit[0].pas[0] += 'p';
    EXPECT_NE(errorOf([&] { wpaParseBinary(wpabImage(limit), "w.wpab", out); }).find("PA length 100"),
              std::string::npos);
    b.clear();
    putInt(b, 1);
    putInt(b, -5);
    EXPECT_NE(errorOf([&] { wpaParseBinary(b, "w.wpab", out); }).find("word length -5"), std::string::npos);
}

// An English PA joins phones with "_": an empty phone names no model, so the
// line is refused, naming the file and the line.
TEST(WpaText, EnglishPronunciationsWithAnEmptyPhoneAreRefused) {
    wpaList out;
    for (const char* pa : {"a__b", "a_b_", "_a"}) {
        const std::string line = std::string("bad\tok#") + pa;
        std::string msg = errorOf([&] { wpaParseText({"ok\tax", line}, "english", {}, "f.wpa", out); });
        EXPECT_EQ(msg.rfind("Error: the pronunciation \"" + std::string(pa) + "\" has an empty phone, in line \"" + line +
                                "\" of f.wpa (line ",
                            0),
                  0u)
            << msg;
    }
    dictClass d;
    std::string msg = errorOf([&] { d.wpaRead("a ax@b b__c", "english"); });
    EXPECT_NE(msg.find("\"b__c\" has an empty phone, in line \"b b__c\" of the given wpa string"), std::string::npos)
        << msg;
    // A binary wpa file is not checked as it is read: its entries are, when
    // they are made into the pronunciation dictionary.
    d.m_wpa = {wpaEntry{"b", {"b__c"}, {}}};
    modelSetView models;
    models.findModel = [](const std::string&) { return 0; };
    msg = errorOf([&] { d.pronDictFromTexts({"b"}, models); });
    EXPECT_NE(msg.find("the pronunciation \"b__c\" has an empty phone"), std::string::npos) << msg;
}

TEST(WpaInline, TwoEntriesCommentsAndErrors) {
    dictClass d;
    std::string out = captureOut([&] { d.wpaRead("hello hh_ax_l_ow#hh_eh_l_ow@@%skip me@world w_er_l_d", "english"); });
    EXPECT_EQ(out.rfind("Read WPA from the given string (line ", 0), 0u) << out;
    ASSERT_EQ(d.m_wpa.size(), 2u);
    EXPECT_EQ(d.m_wpa[0].pas, (StrVec{"hh_ax_l_ow", "hh_eh_l_ow"}));
    EXPECT_EQ(d.m_wpa[1].word, "world");

    captureOut([&] { d.wpaRead("", "english"); });
    EXPECT_TRUE(d.m_wpa.empty());
    EXPECT_EQ(errorOf([&] { d.wpaRead("a b c", "english"); }).rfind("Wrong format of a b c (line ", 0), 0u);
    std::string msg = errorOf([&] { d.wpaRead("a ax", "chinese"); });
    EXPECT_EQ(msg.rfind("Unsupported language chinese (line ", 0), 0u) << msg;
}

TEST(WpaRead, ExtensionDispatch) {
    TempDir dir;
    writeFile(dir.file("x.txt"), "a\tax\n");
    dictClass d;
    std::string msg = errorOf([&] { d.wpaRead(dir.file("x.txt"), "english"); });
    EXPECT_EQ(msg.rfind("Error in reading \"" + dir.file("x.txt") +
                            "\": The only allowed extension are \"wpa\" and \"wpab\" (line ",
                        0),
              0u)
        << msg;
    EXPECT_TRUE(strEndsWith(msg, " of dict) \n"));
    writeFile(dir.file("x.WPA"), "a\tax\n");
    d.wpaRead(dir.file("x.WPA"), "english");
    EXPECT_EQ(d.m_wpa.size(), 1u);
}

TEST(WpaMerge, ReplacesKnownWordsAppendsNewOnesThenSorts) {
    dictClass d;
    d.wpaRead(lexData("english.wpa"), "english");
    d.wpaAddendaRead(lexData("english_addenda.wpa"), "english");
    ASSERT_EQ(d.m_wpaAddenda.size(), 3u);
    std::string out = captureOut([&] { d.wpaMerge(); });
    EXPECT_EQ(out,
              "\tOld entry: word=read, pa=r_iy_d#r_eh_d\n\tNew entry: word=read, pa=r_eh_d\n"
              "\tOld entry: word=tea, pa=t_iy\n\tNew entry: word=tea, pa=t_iy#t_ih\n");
    EXPECT_TRUE(d.m_wpaAddenda.empty());
    ASSERT_EQ(d.m_wpa.size(), 12u);
    EXPECT_EQ(d.m_wpa.back().word, "kedo");  // appended, not yet sorted
    d.wpaSort();
    for (size_t i = 1; i < d.m_wpa.size(); ++i) EXPECT_LT(d.m_wpa[i - 1].word, d.m_wpa[i].word);
    EXPECT_EQ(d.m_wpa[d.wpaFind("read")].pas, StrVec{"r_eh_d"});  // replaced, not appended to
    EXPECT_EQ(d.m_wpa[d.wpaFind("kedo")].pas, StrVec{"k_ey_d_ow"});
}

TEST(WpaMerge, RepeatedNewWordReplacesItsAppendedEntry) {
    dictClass d;
    d.m_wpa = {{"b", {"1"}, {}}, {"d", {"2"}, {}}, {"f", {"3"}, {}}};
    d.m_wpaAddenda = {{"a", {"x"}, {}}, {"z", {"y"}, {}}, {"a", {"w"}, {}}, {"f", {"v"}, {}}};
    captureOut([&] { d.wpaMerge(); });
    ASSERT_EQ(d.m_wpa.size(), 5u);
    d.wpaSort();
    EXPECT_EQ(d.m_wpa[0].word, "a");
    EXPECT_EQ(d.m_wpa[0].pas, StrVec{"w"});
    EXPECT_EQ(d.m_wpa[3].pas, StrVec{"v"});
}

TEST(WpaAddenda, EmptyNameReadsNothingMissingFileIsAnError) {
    dictClass d;
    d.wpaAddendaRead("", "english");
    EXPECT_TRUE(d.m_wpaAddenda.empty());
    std::string msg = errorOf([&] { d.wpaAddendaRead("/nonexistent/add.wpa", "english"); });
    EXPECT_EQ(msg.rfind("Cannot open file /nonexistent/add.wpa (line ", 0), 0u) << msg;
}

}  // namespace

namespace kedo {
namespace {

// A sorted table of n distinct words with extra entries appended.
wpaList tableWithTail(int n, const std::vector<std::string>& tail, std::mt19937& rng) {
    wpaList wpa;
    for (int i = 0; i < n; ++i)
        wpa.push_back({strFormat("w%u", 1000000u + static_cast<unsigned>(rng() % 9000000)), {strFormat("pa%d", i)}, {}});
    std::sort(wpa.begin(), wpa.end(), [](const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; });
    wpa.erase(std::unique(wpa.begin(), wpa.end(), [](const wpaEntry& a, const wpaEntry& b) { return a.word == b.word; }),
              wpa.end());
    for (size_t k = 0; k < tail.size(); ++k) wpa.push_back({tail[k], {strFormat("tail%zu", k)}, {}});
    return wpa;
}

std::string listing(const wpaList& wpa) {
    std::string out;
    for (const wpaEntry& e : wpa) out += e.word + "=" + strVecJoin(e.pas, "#") + " ";
    return out;
}

TEST(WpaSortByWord, AppendedEntriesMergeIntoTheOrderOfAFullSort) {
    std::mt19937 rng(11);
    auto less = [](const wpaEntry& a, const wpaEntry& b) { return a.word < b.word; };
    // Distinct words: the one sorted order, whatever the way there.
    for (const std::vector<std::string>& tail :
         {std::vector<std::string>{}, {"zz", "a", "w5"}, {"w2000000x", "w1000000", "aardvark"}}) {
        wpaList fast = tableWithTail(400, tail, rng), full = fast;
        wpaSortByWord(fast);
        std::sort(full.begin(), full.end(), less);
        EXPECT_EQ(listing(fast), listing(full));
    }
    // A word twice: the full sort itself, from the same arrangement.
    wpaList dup = tableWithTail(400, {"zz", "zz"}, rng);
    dup.push_back(dup[7]);
    wpaList full = dup;
    wpaSortByWord(dup);
    std::sort(full.begin(), full.end(), less);
    EXPECT_EQ(listing(dup), listing(full));
}

}  // namespace
}  // namespace kedo
