// Chinese and accented text reach a UTF-8 terminal in UTF-8, whatever code
// page the data is in; warnings of an assessment are shown with its result.
#include <gtest/gtest.h>

#include "cli_fixture.h"
#include "facade/code_page.h"

namespace kedo {
namespace {

using namespace test;

const std::string kChinese = kSamples + "/chinese.wav";

bool validUtf8(const std::string& text) {
    char32_t cp;
    for (size_t pos = 0; pos < text.size();)
        if (static_cast<unsigned char>(text[pos]) < 0x80)
            ++pos;
        else if (!decodeUtf8(text, pos, cp))
            return false;
    return true;
}

TEST(TerminalText, RunAndDecodePrintChineseInUtf8) {
    BundledHome home;
    const std::string list = q(kSamples + "/chinese_list.txt");
    const std::string cd = "cd " + q(home.path()) + " && " + q(KEDO_CLI_PATH);
    CliResult run = runShell(cd + " run --prm kedoData/chinese.vc.prm --wav " + q(kChinese) + " --txt " + list +
                             " --function recog");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "\ntext=我學中文\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "textIndex=4 ===> 我學中文\n")) << run.out;
    EXPECT_TRUE(validUtf8(run.out));
    CliResult decode = runShell(cd + " decode --prm kedoData/chinese.vc.prm --wav " + q(kChinese) + " --txt " + list);
    ASSERT_EQ(decode.status, 0) << decode.err;
    EXPECT_TRUE(contains(decode.out, "\ntext=我學中文\npath=wo-shiue-jung-wen\n")) << decode.out;
    EXPECT_TRUE(validUtf8(decode.out));
}

// A character the lexicon lacks is left out: the assessment says so on
// standard error and in its JSON, in UTF-8.
TEST(TerminalText, ALeftOutCharacterIsAWarningWithTheScore) {
    BundledHome home;
    const std::string warning =
        "Found no syllable for \"貓\": the character is left out, and the score covers the rest of the sentence";
    CliResult r = runCli("assess " + q(kChinese) + " 我學中文貓 --lang zh" + home.home());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Warning: " + warning + "\n")) << r.err;
    EXPECT_GT(scoreOf(r.out), 0);
    EXPECT_TRUE(validUtf8(r.out));
    EXPECT_TRUE(validUtf8(r.err));

    CliResult json = runCli("assess " + q(kChinese) + " 我學中文貓 --lang zh --json" + home.home());
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(contains(json.out, ", \"warnings\": [\"" + std::string("Found no syllable for \\\"貓\\\": the character "
                                                                        "is left out, and the score covers the rest "
                                                                        "of the sentence") +
                                        "\"]}\n"))
        << json.out;
    // A sentence the lexicon knows whole has no warnings.
    json = runCli("assess " + q(kChinese) + " 我學中文 --lang zh --json" + home.home());
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(contains(json.out, "\"warnings\": []")) << json.out;
}

TEST(TerminalText, ErrorsQuotingAccentedTextAreInUtf8) {
    BundledHome home;
    CliResult r = runCli("assess " + q(kSamples + "/english.wav") + " 'café au lait'" + home.home());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Found no pronunciation entry for \"café\"")) << r.err;
    EXPECT_TRUE(validUtf8(r.err));
}

}  // namespace
}  // namespace kedo
