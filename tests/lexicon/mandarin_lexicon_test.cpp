// The Mandarin lexicon under data/kedoData/chinese/mandarin.*: the pinyin
// table converts every syllable among its spellings, the character list and
// the dictionary agree with the table, and the files are what
// tools/mandarin/make_lexicon.py makes.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "decoder/best_path_text.h"
#include "kedo/result.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "lexicon_test_util.h"
#include "util/file_util.h"

using namespace kedo;
using namespace kedo::test;

namespace {

const std::string kDir = std::string(KEDO_SOURCE_DIR) + "/data/kedoData/chinese/";
constexpr int kHanyu = 0, kMpa = 1, kTongyong = 2, kCgu = 3;

const dictClass& table() {
    static dictClass d = [] {
        dictClass x;
        x.pinyinTableRead(kDir + "mandarin.tab");
        return x;
    }();
    return d;
}

// The models the dictionary names, as a model set of names only.
nameModels pamModels() {
    std::set<std::string> names;
    StrVec lines;
    readLines(kDir + "mandarin.pam", lines, '%');
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string word, model;
        in >> word;
        while (in >> model)
            if (model != "sil" && model != "sp" && model != "fillerC" && model != "fillerV") names.insert(model);
    }
    return nameModels({names.begin(), names.end()});
}

TEST(MandarinTable, EverySyllableConvertsAmongHanyuMpaAndCgu) {
    const auto& rows = table().m_pinyinTable;
    ASSERT_GE(rows.size(), 400u);
    const int cols[] = {kHanyu, kMpa, kCgu};
    std::string out = captureOut([&] {
        for (const StrVec& row : rows) {
            ASSERT_EQ(row.size(), 4u);
            for (int from : cols)
                for (int to : cols) EXPECT_EQ(table().pinyinConvert(row[from], from, to), row[to]) << row[0];
        }
    });
    EXPECT_EQ(out, "");  // no syllable missed the table
}

std::string joinColumn(int column) {
    std::string out;
    for (const StrVec& row : table().m_pinyinTable) out += (out.empty() ? "" : "-") + row[column];
    return out;
}

TEST(MandarinTable, TheResultRenderingsOfAPathOfEverySyllableGoBothWays) {
    mlfClass fromCgu, fromHanyu;
    fromCgu.identifiedSyl = joinColumn(kCgu);
    std::string out = captureOut([&] {
        renderSylPath(table(), "cgu", fromCgu);
        fromHanyu.identifiedSyl = fromCgu.HanYu;
        renderSylPath(table(), "hanyu", fromHanyu);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(fromCgu.HanYu, joinColumn(kHanyu));
    EXPECT_EQ(fromCgu.MPA, joinColumn(kMpa));
    EXPECT_EQ(fromHanyu.CGU, fromCgu.identifiedSyl);
    EXPECT_EQ(fromHanyu.MPA, fromCgu.MPA);
}

TEST(MandarinTable, EveryColumnSpellsEachSyllableOnce) {
    for (int c : {kHanyu, kMpa, kTongyong, kCgu}) {
        std::set<std::string> seen;
        for (const StrVec& row : table().m_pinyinTable) EXPECT_TRUE(seen.insert(row[c]).second) << row[c];
    }
}

TEST(MandarinTable, PathsConvertSyllableBySyllableAndKeepReservedUnits) {
    // zhong-wen (中文) with a pause, CGU to Hanyu and to MPA (Big5 zhuyin).
    std::string out = captureOut([] {
        EXPECT_EQ(table().convertSylPath("jung-sp-wen", kCgu, kHanyu), "zhong-sp-wen");
        EXPECT_EQ(table().convertSylPath("shiue-sil", kCgu, kMpa).substr(0, 6), "\xa3\xa3\xa3\xba\xa3\xae");
        EXPECT_EQ(table().convertSylPath("jr-tz-r-sz-tsz", kCgu, kHanyu), "zhi-zi-ri-si-ci");
    });
    EXPECT_EQ(out, "");
}

TEST(MandarinTable, KnownSpellingsOfTheFourSystems) {
    // Hanyu -> MPA (as UTF-8 here, compared after conversion), Tongyong, CGU.
    struct Row {
        const char* hanyu;
        const char* tongyong;
        const char* cgu;
    };
    const Row known[] = {
        {"zhong", "jhong", "jung"}, {"xue", "syue", "shiue"}, {"qu", "cyu", "chiu"},   {"zhi", "jhih", "jr"},
        {"ri", "rih", "r"},         {"zi", "zih", "tz"},      {"ci", "cih", "tsz"},    {"si", "sih", "sz"},
        {"lv", "lyu", "liu"},       {"liu", "liou", "liou"},  {"gui", "guei", "guei"}, {"dun", "dun", "duen"},
        {"wen", "wun", "wen"},      {"weng", "wong", "weng"}, {"feng", "fong", "feng"}, {"jiong", "jyong", "jiung"},
        {"yong", "yong", "yung"},   {"yu", "yu", "yu"},       {"hao", "hao", "hau"},   {"er", "er", "er"},
        {"qi", "ci", "chi"},        {"chi", "chih", "chr"},   {"xi", "si", "shi"},     {"shi", "shih", "shr"},
    };
    std::string out = captureOut([&] {
        for (const Row& r : known) {
            EXPECT_EQ(table().pinyinConvert(r.hanyu, kHanyu, kTongyong), r.tongyong);
            EXPECT_EQ(table().pinyinConvert(r.hanyu, kHanyu, kCgu), r.cgu);
        }
    });
    EXPECT_EQ(out, "");
}

TEST(MandarinTable, AgreesWithTheSmallBundledTable) {
    dictClass toy;
    toy.pinyinTableRead(std::string(KEDO_TEST_DATA_DIR) + "/toy/kedoData/chinese/pinyin.tab");
    for (const StrVec& row : toy.m_pinyinTable)
        EXPECT_EQ(table().pinyinConvert(row[kHanyu], kHanyu, kCgu), row[kCgu]) << row[kHanyu];
}

TEST(MandarinDictionary, EverySyllableIsAnInitialAndAFinalAndTheReservedUnitsAreThere) {
    nameModels models = pamModels();
    dictClass d;
    d.pronDictRead(kDir + "mandarin.pam", models.view());
    EXPECT_EQ(d.m_pronDict.size(), table().m_pinyinTable.size() + 4);
    for (const StrVec& row : table().m_pinyinTable) {
        int i = d.pronDictFind(row[kCgu]);
        ASSERT_GE(i, 0) << row[kCgu];
        EXPECT_EQ(d.m_pronDict[i].models.size(), 2u) << row[kCgu];
    }
    for (const char* unit : {"sil", "sp", "fillerC", "fillerV"}) EXPECT_GE(d.pronDictFind(unit), 0) << unit;
    // Palatal and retroflex initials share j/ch/sh in the spelling, not the models.
    const auto& ji = d.m_pronDict[d.pronDictFind("ji")].models;
    const auto& jr = d.m_pronDict[d.pronDictFind("jr")].models;
    EXPECT_NE(ji[0], jr[0]);
}

TEST(MandarinCharacters, EveryBig5CharacterReadsIntoDictionarySyllables) {
    dictClass d = table();
    d.wpaRead(kDir + "mandarin.wpa", "chinese");
    EXPECT_GT(d.m_wpa.size(), 13000u);
    nameModels models = pamModels();
    d.pronDictRead(kDir + "mandarin.pam", models.view());
    for (size_t i = 0; i < d.m_wpa.size(); ++i) {
        const wpaEntry& e = d.m_wpa[i];
        ASSERT_EQ(e.word.size(), 2u);
        if (i > 0) {
            ASSERT_LT(d.m_wpa[i - 1].word, e.word);  // sorted, for the binary search
        }
        ASSERT_EQ(e.pas.size(), e.aux.size());
        for (size_t k = 0; k < e.pas.size(); ++k) {
            EXPECT_GE(d.pronDictFind(e.pas[k]), 0) << e.pas[k];
            EXPECT_TRUE(e.aux[k].size() == 1 && e.aux[k][0] >= '1' && e.aux[k][0] <= '5') << e.aux[k];
        }
    }
}

TEST(MandarinCharacters, ASentenceListsEveryReadingOfItsCharacters) {
    dictClass d = table();
    d.wpaRead(kDir + "mandarin.wpa", "chinese");
    textClass t;
    // 我們今天去學校: xiao4/jiao4 for the last character, two tones of tian.
    t.m_txtVsNormalized = {"\xa7\xda\xad\xcc\xa4\xb5\xa4\xd1\xa5\x68\xbe\xc7\xae\xd5"};
    t.textsToSylChinese(d.m_wpa);
    ASSERT_EQ(t.m_sylVs.size(), 2u);
    EXPECT_EQ(t.m_sylVs[0], "wo-men-jin-tian-chiu-shiue-jiau\t0");
    EXPECT_EQ(t.m_sylVs[1], "wo-men-jin-tian-chiu-shiue-shiau\t0");
    EXPECT_EQ(t.m_sylAuxVs[0], "3-5-1-1-4-2-4");
    // 行 offers every syllable it is read with.
    int xing = d.wpaFind("\xa6\xe6");
    ASSERT_GE(xing, 0);
    std::set<std::string> pas(d.m_wpa[xing].pas.begin(), d.m_wpa[xing].pas.end());
    EXPECT_TRUE(pas.count("shing") && pas.count("hang"));
}

TEST(MandarinNormalisation, PunctuationAndBlanksGoAndDigitsBecomeNumerals) {
    textClass t;
    captureOut([&] { t.readTextNormMap(kDir + "mandarin.tnm", '#'); });
    // 我有3本書，好嗎？ -> 我有三本書好嗎
    t.m_txtVs = {"\xa7\xda\xa6\xb3\x33\xa5\xbb\xae\xd1\xa1\x41\xa6\x6e\xb6\xdc\xa1\x48", " 1, 2. "};
    t.normalizeTexts("chinese");
    EXPECT_EQ(t.m_txtVsNormalized[0], "\xa7\xda\xa6\xb3\xa4\x54\xa5\xbb\xae\xd1\xa6\x6e\xb6\xdc");
    EXPECT_EQ(t.m_txtVsNormalized[1], "\xa4\x40\xa4\x47");  // 一二
    // No rule may take a byte that can end a Big5 character.
    for (const textNormRule& r : t.m_textNormSp) {
        ASSERT_FALSE(r.from.empty());
        unsigned char last = static_cast<unsigned char>(r.from.back());
        EXPECT_LT(last, r.from.size() == 1 ? 0x40u : 0x80u) << r.from;
    }
}

TEST(MandarinLexicon, TheGeneratorMakesTheCommittedTableDictionaryAndNormalisation) {
    TempDir dir;
    CliResult r = runShell("python3 '" + std::string(KEDO_SOURCE_DIR) +
                           "/tools/mandarin/make_lexicon.py' --table-only --out '" + dir.path() + "'");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char* ext : {".tab", ".pam", ".tnm", ".qiyin"})
        EXPECT_EQ(readFile(dir.file(std::string("mandarin") + ext)), readFile(kDir + "mandarin" + ext)) << ext;
}

}  // namespace
