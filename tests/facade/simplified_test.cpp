// Chinese sentences typed in Simplified characters.
#include <gtest/gtest.h>

#include "facade/code_page.h"
#include "facade/simplified.h"
#include "kedo/error.h"

namespace kedo {
namespace {

#ifndef _WIN32
TEST(SimplifiedInput, ConvertedToTraditionalOnlyWhenBig5CannotHoldIt) {
    if (!simplifiedConversionAvailable()) GTEST_SKIP() << "built without OpenCC";
    bool converted = false;
    EXPECT_EQ(traditionalForBig5("我们今天去学校", converted), "我們今天去學校");
    EXPECT_TRUE(converted);
    // Characters only: the words stay those the learner reads (no 軟體 for 软件).
    EXPECT_EQ(traditionalForBig5("软件和鼠标", converted), "軟件和鼠標");
    EXPECT_TRUE(converted);
    // Traditional text, and text that Big5 holds as it is, are left alone,
    // even where a Simplified reading would change a character.
    EXPECT_EQ(traditionalForBig5("我們今天去學校", converted), "我們今天去學校");
    EXPECT_FALSE(converted);
    EXPECT_EQ(traditionalForBig5("皇后", converted), "皇后");
    EXPECT_FALSE(converted);
    EXPECT_EQ(traditionalForBig5("", converted), "");
    EXPECT_FALSE(converted);
}

TEST(SimplifiedInput, WhatBig5CannotHoldAfterwardsIsRefusedByName) {
    if (!simplifiedConversionAvailable()) GTEST_SKIP() << "built without OpenCC";
    bool converted = false;
    std::string text = traditionalForBig5("我们\xf0\x9f\x98\x80", converted);
    EXPECT_TRUE(converted);
    try {
        utf8ToCodePage(text, CodePage::cp950, "sentence");
        FAIL() << "no error";
    } catch (const KedoError& e) {
        EXPECT_NE(std::string(e.what()).find("\"\xf0\x9f\x98\x80\" (U+1F600"), std::string::npos) << e.what();
    }
    // Malformed UTF-8 is passed on for the code-page conversion to report.
    EXPECT_EQ(traditionalForBig5("学\xff", converted), "学\xff");
    EXPECT_FALSE(converted);
}

TEST(SimplifiedInput, CodePageHolds) {
    EXPECT_TRUE(codePageHolds("我們 abc", CodePage::cp950));
    EXPECT_FALSE(codePageHolds("我们", CodePage::cp950));
    EXPECT_FALSE(codePageHolds("我們", CodePage::cp1252));
    EXPECT_TRUE(codePageHolds("ab\xff", CodePage::cp950));
}
#endif

}  // namespace
}  // namespace kedo
