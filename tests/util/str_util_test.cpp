// String routines: splitting, searching, rounding, trimming.
#include <gtest/gtest.h>

#include "kedo/error.h"
#include "util/str_util.h"

namespace kedo {
namespace {

TEST(StrSplit, KeepsEmptyPiecesAndTrailingDelimiter) {
    EXPECT_EQ(strSplit("a-b-", '-'), (StrVec{"a", "b", ""}));
    EXPECT_EQ(strSplit("a--b", '-'), (StrVec{"a", "", "b"}));
    EXPECT_EQ(strSplit("-", '-'), (StrVec{"", ""}));
    EXPECT_TRUE(strSplit("", '-').empty());
    StrVec v{"x"};
    strSplit("y-z", '-', v, true);
    EXPECT_EQ(v, (StrVec{"x", "y", "z"}));
    strSplit("", '-', v, false);
    EXPECT_TRUE(v.empty());
}

TEST(StrVecLinSearch, MatchPositions) {
    StrVec v{"xab", "abx", "ab", "abab"};
    EXPECT_EQ(strVecLinSearch(v, "ab", MatchPos::anywhere), (IntVec{0, 1, 2, 3}));
    EXPECT_EQ(strVecLinSearch(v, "ab", MatchPos::atStart), (IntVec{1, 2, 3}));
    EXPECT_EQ(strVecLinSearch(v, "ab", MatchPos::atEnd), (IntVec{0, 2}));
    EXPECT_EQ(strVecLinSearch(v, "ab", MatchPos::whole), (IntVec{2}));
}

TEST(RoundToInt, HalfAwayFromZero) {
    EXPECT_EQ(roundToInt(2.5), 3);
    EXPECT_EQ(roundToInt(-2.5), -3);
    EXPECT_EQ(roundToInt(-0.4), 0);
    EXPECT_EQ(roundToInt(0.5), 1);
    EXPECT_EQ(roundToInt(0.0), 0);
    EXPECT_EQ(roundToInt(2.4999f), 2);
    EXPECT_EQ(roundToInt(1e30), INT32_MAX);
}

TEST(StrEdit, TrimLowerReplaceJoin) {
    std::string s = " \t a b \r\n\v\f";
    strTrim(s);
    EXPECT_EQ(s, "a b");
    s = "ab \t\r\n";
    strTrimRight(s);
    EXPECT_EQ(s, "ab");
    s = "AbC\xa4\x40Z";
    strToLower(s);
    EXPECT_EQ(s, "abc\xa4\x40z");
    s = "aaa";
    strReplaceAll(s, "a", "aa");
    EXPECT_EQ(s, "aaaaaa");
    s = "a-b-c";
    strReplaceAll(s, "-", "");
    EXPECT_EQ(s, "abc");
    StrVec v{"a", "", "b", ""};
    strVecRemoveEmpty(v);
    EXPECT_EQ(v, (StrVec{"a", "b"}));
    EXPECT_EQ(strVecJoin({}, "#"), "");
    EXPECT_EQ(strVecJoin({"a", "b"}, "#"), "a#b");
    EXPECT_EQ(intVecJoin({3}, "#"), "3");
    EXPECT_EQ(intVecJoin({-1, 2}, "#"), "-1#2");
}

TEST(ParseLeadingInt, DecimalPrefix) {
    EXPECT_EQ(parseLeadingInt("-5.7"), -5);
    EXPECT_EQ(parseLeadingInt("  +12abc"), 12);
    EXPECT_EQ(parseLeadingInt("abc"), 0);
    EXPECT_EQ(parseLeadingInt("0.5"), 0);
    EXPECT_EQ(parseLeadingInt("99999999999"), INT32_MAX);
    EXPECT_EQ(parseLeadingInt("-99999999999"), INT32_MIN);
}

}  // namespace
}  // namespace kedo
