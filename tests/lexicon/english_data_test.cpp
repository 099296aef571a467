// The hand-written English sources of the data set: the normalisation rules
// and the addenda, as the engine reads them.
#include <gtest/gtest.h>

#include <set>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "lexicon_test_util.h"

using namespace kedo;
using namespace kedo::test;

namespace {

std::string englishSource(const std::string& name) { return std::string(KEDO_SOURCE_DIR) + "/tools/english/" + name; }

class EnglishTnm : public ::testing::Test {
protected:
    void SetUp() override { captureOut([&] { t.readTextNormMap(englishSource("english.tnm"), '#'); }); }
    std::string norm(const std::string& s) { return normalizeText(s, t.m_textNormSp, "english"); }
    textClass t;
};

TEST_F(EnglishTnm, CasePunctuationAndBlanks) {
    EXPECT_EQ(norm("Hello, World!"), "hello world");
    EXPECT_EQ(norm("  Is it   done?!  "), "is it done");
    EXPECT_EQ(norm("Wait... what; (really): [yes]/no"), "wait what really yes no");
    EXPECT_EQ(norm("...!?"), "");
    EXPECT_EQ(norm("a\tremark, kept aside"), "a");
}

TEST_F(EnglishTnm, QuotesApostrophesAndDashes) {
    EXPECT_EQ(norm("\"Don't,\" she said."), "don't she said");
    EXPECT_EQ(norm("'Tis the students' books"), "tis the students books");
    // UTF-8 typographic quotes, dashes, ellipsis and no-break space.
    EXPECT_EQ(norm("\xe2\x80\x9cIt\xe2\x80\x99s mine\xe2\x80\x9d \xe2\x80\x94 he said\xe2\x80\xa6 ok\xc2\xa0now"),
              "it's mine he said ok now");
    EXPECT_EQ(norm("\xe2\x80\x98quoted\xe2\x80\x99 \xe2\x80\x93 range"), "quoted range");
    // The same in Windows-1252.
    EXPECT_EQ(norm("\x93It\x92s mine\x94 \x97 he said\x85 \x91ok\x92 \x96 fine"), "it's mine he said ok fine");
    EXPECT_EQ(norm("a well-known, up-to-date text -- twice"), "a well known up to date text twice");
}

TEST_F(EnglishTnm, AbbreviationsSymbolsAndNumbers) {
    EXPECT_EQ(norm("Mr. Smith met Mrs. Jones and Dr. Who on St. James St."),
              "mister smith met mrs jones and doctor who on st james st");
    EXPECT_EQ(norm("Tom & Jerry + 2 @ home"), "tom and jerry plus two at home");
    EXPECT_EQ(norm("On May 1st, 1999, 50% of 1,200 cats ate 2.5 cans."),
              "on may first nineteen ninety nine fifty percent of one thousand two hundred cats ate two point five "
              "cans");
}

TEST_F(EnglishTnm, MoneyTimesAndAccents) {
    EXPECT_EQ(norm("It's $5.99, not \xA3" "3 - at 7:30 a.m. or 12:00!"),
              "it's five dollars ninety nine cents not three pounds at seven thirty a m or twelve o'clock");
    // Accents fold to plain letters in UTF-8 (capitals too) and in Windows-1252.
    EXPECT_EQ(norm("Caf\xc3\xa9 cr\xc3\xa8me br\xc3\xbbl\xc3\xa9" "e, \xc3\x91o\xc3\xb1o \xc3\x86sop Stra\xc3\x9f" "e"),
              "cafe creme brulee nono aesop strasse");
    EXPECT_EQ(norm("Na\xefve \xc9lan, the caf\xe9\x92s \x8cuvre"), "naive elan the cafe's oeuvre");
    // A UTF-8 quote keeps its meaning next to accented letters.
    EXPECT_EQ(norm("\xe2\x80\x9c" "El Ni\xc3\xb1o\xe2\x80\x9d"), "el nino");
}

TEST(EnglishAddenda, ReadsCleanlyWithKnownPhonesAndDistinctForms) {
    const std::set<std::string> phones = {"aa", "ae", "ah", "ao", "aw", "ax", "ay", "b",  "ch", "d",  "dh",
                                          "eh", "er", "ey", "f",  "g",  "hh", "ih", "iy", "jh", "k",  "l",
                                          "m",  "n",  "ng", "ow", "oy", "p",  "r",  "s",  "sh", "t",  "th",
                                          "uh", "uw", "v",  "w",  "y",  "z",  "zh"};
    dictClass d;
    d.wpaAddendaRead(englishSource("english_addenda.wpa"), "english");
    ASSERT_GT(d.m_wpaAddenda.size(), 100u);
    std::set<std::string> words;
    for (const wpaEntry& e : d.m_wpaAddenda) {
        EXPECT_TRUE(words.insert(e.word).second) << "twice: " << e.word;
        std::set<std::string> forms(e.pas.begin(), e.pas.end());
        EXPECT_EQ(forms.size(), e.pas.size()) << e.word;
        for (const std::string& pa : e.pas)
            for (const std::string& ph : strSplit(pa, '_')) EXPECT_TRUE(phones.count(ph)) << e.word << ": " << ph;
    }
    for (const char* w : {"don't", "i'm", "can't", "won't", "it's", "read", "the", "st", "dr", "mrs"})
        EXPECT_TRUE(words.count(w)) << w;
    // Heteronyms and weak forms carry more than one pronunciation.
    for (const wpaEntry& e : d.m_wpaAddenda)
        if (e.word == "read" || e.word == "the" || e.word == "and" || e.word == "st") {
            EXPECT_GE(e.pas.size(), 2u) << e.word;
        }
}

}  // namespace
