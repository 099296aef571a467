// Host text to the engine's code pages and back; wide strings.
#include <gtest/gtest.h>

#include "facade/code_page.h"
#include "kedo/error.h"

namespace kedo {
namespace {

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const KedoError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CodePage, ChineseIsBig5AndEnglishIsWindows1252) {
    EXPECT_EQ(utf8ToCodePage("ab \xe4\xbd\xa0\xe5\xa5\xbd", CodePage::cp950, "sentence"), "ab \xa7\x41\xa6\x6e");
    EXPECT_EQ(codePageToUtf8("ab \xa7\x41\xa6\x6e", CodePage::cp950, "sentence"), "ab \xe4\xbd\xa0\xe5\xa5\xbd");
    EXPECT_EQ(utf8ToCodePage("na\xc3\xafve", CodePage::cp1252, "sentence"), "na\xefve");
    EXPECT_EQ(codePageToUtf8("na\xefve", CodePage::cp1252, "sentence"), "na\xc3\xafve");
    // Typographic quotes and dashes of a Western Windows host.
    EXPECT_EQ(utf8ToCodePage("don\xe2\x80\x99t \xe2\x80\x9cgo\xe2\x80\x9d \xe2\x80\x94 \xe2\x82\xac" "5", CodePage::cp1252,
                             "sentence"),
              "don\x92t \x93go\x94 \x97 \x80" "5");
    EXPECT_EQ(codePageToUtf8("don\x92t", CodePage::cp1252, "sentence"), "don\xe2\x80\x99t");
    EXPECT_EQ(utf8ToCodePage("", CodePage::cp950, "sentence"), "");
    std::string longText(5000, 'x');
    EXPECT_EQ(codePageToUtf8(longText + "\xe9", CodePage::cp1252, "text"), longText + "\xc3\xa9");
}

TEST(CodePage, CharactersTheCodePageCannotHoldAreErrors) {
    std::string e = errorOf([] { utf8ToCodePage("hi \xe4\xbd\xa0", CodePage::cp1252, "sentence"); });
    EXPECT_NE(e.find("The sentence holds the character \"\xe4\xbd\xa0\" (U+4F60, at byte 3), which code page "
                     "CP1252 cannot hold"),
              std::string::npos)
        << e;
    e = errorOf([] { utf8ToCodePage("\xf0\x9f\x98\x80", CodePage::cp950, "sentence"); });
    EXPECT_NE(e.find("U+1F600"), std::string::npos) << e;
    EXPECT_NE(e.find("CP950"), std::string::npos) << e;
}

TEST(CodePage, MalformedInputIsAnError) {
    EXPECT_NE(errorOf([] { utf8ToCodePage("ab\xff", CodePage::cp1252, "sentence"); })
                  .find("The sentence is not valid UTF-8 (at byte 2)"),
              std::string::npos);
    EXPECT_NE(errorOf([] { utf8ToCodePage("ab\xe4\xbd", CodePage::cp950, "sentence"); }).find("not valid UTF-8"),
              std::string::npos);
    EXPECT_NE(errorOf([] { codePageToUtf8("ok\xa7", CodePage::cp950, "result"); })
                  .find("The result holds bytes that are no character of code page CP950 (at byte 2)"),
              std::string::npos);
}

TEST(CodePage, WideStrings) {
    std::wstring wide = L"a\u00e9\u4f60\U0001F600";
    std::string utf8 = "a\xc3\xa9\xe4\xbd\xa0\xf0\x9f\x98\x80";
    EXPECT_EQ(wideToUtf8(wide, "sentence"), utf8);
    EXPECT_EQ(utf8ToWide(utf8, "sentence"), wide);
    EXPECT_NE(errorOf([] { wideToUtf8(std::wstring(1, static_cast<wchar_t>(0xDC00)), "sentence"); })
                  .find("0xDC00 (at position 0), which is no Unicode character"),
              std::string::npos);
    EXPECT_NE(errorOf([] { utf8ToWide("\xed\xa0\x80", "sentence"); }).find("not valid UTF-8"), std::string::npos)
        << "an encoded surrogate is no character";
    EXPECT_NE(errorOf([] { utf8ToWide("\xc0\xaf", "sentence"); }).find("not valid UTF-8"), std::string::npos)
        << "overlong form";
}

}  // namespace
}  // namespace kedo
