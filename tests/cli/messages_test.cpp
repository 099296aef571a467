// Messages a user can act on: each says what is wrong, after the engine's own
// words where those are fixed.
#include <gtest/gtest.h>

#include "../audio/audio_test_util.h"
#include "cli_fixture.h"

namespace kedo {
namespace {

using namespace test;

const std::string kEnglish = kSamples + "/english.wav";

TEST(Messages, AnEmptyOrBlankSentenceSaysSo) {
    BundledHome home;
    TempDir d;
    writeFile(d.file("blank.txt"), "  \n\t\r\n");
    for (const std::string& args : {"assess " + q(kEnglish) + " ''", "assess " + q(kEnglish) + " '   '",
                                    "recog " + q(kEnglish) + " " + q(d.file("blank.txt"))}) {
        CliResult r = runCli(args + home.home());
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_TRUE(contains(r.err, "Error: m_txtVs.size()=0 when reading \"")) << r.err;
        EXPECT_TRUE(contains(r.err, "): no sentence: the text is empty or holds only blanks")) << r.err;
    }
    // A Chinese sentence none of whose characters the lexicon knows.
    CliResult r = runCli("assess " + q(kSamples + "/chinese.wav") + " 貓 --lang zh" + home.home());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error: m_sylVs.size()=0 at line ")) << r.err;
    EXPECT_TRUE(contains(r.err, "!: no candidate text has a pronunciation")) << r.err;
}

TEST(Messages, AudioFilesThatCannotBeReadSayWhy) {
    TempDir d;
    writeFile(d.file("notes.wav"), "these are notes, not audio\n");
    writeFile(d.file("empty.wav"), riff(chunk("fmt ", fmtData(1, 1, 16000, 16)) + chunk("data", "")));
    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {d.file("missing.wav"), "the file does not exist or cannot be read"},
        {d.file("notes.wav"), "it is not a valid WAV file: no RIFF WAVE header"},
        {d.file("empty.wav"), "its \"data\" chunk is empty, cut short or too large (File data read error.)"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli("wave-info " + q(c.file));
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "Can't open wave file " + c.file + " (line ")) << r.err;
        EXPECT_TRUE(contains(r.err, "in audioFile): " + c.reason)) << r.err;
    }
    CliResult r = runCli("wave-info " + q(d.file("take.xyz")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "based on its extension name... The name must end in one of: wav, WAV, wa1, WA1, "
                                "wa2, WA2, raw, RAW, flv, FLV"))
        << r.err;
}

TEST(Messages, TheFileCaptureDeviceNamesTheFormatItNeeds) {
    TempDir d;
    ASSERT_EQ(runShell("sox " + q(kEnglish) + " -r 8000 -c 2 " + q(d.file("phone.wav"))).status, 0);
    ScopedEnv device("KEDO_CAPTURE_DEVICE", ("file:" + d.file("phone.wav")).c_str());
    CliResult r = runCli("record 1 " + q(d.file("o.wav")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Wave format mismatch. " + d.file("phone.wav") +
                                    " is 8000 Hz, 16-bit, 2 channel(s); the device plays it as the recording "
                                    "format: 16000 Hz, 16-bit, mono PCM"))
        << r.err;
}

TEST(Messages, WritingModelsToABadNameSaysWriting) {
    TempDir d;
    CliResult r = runCli("models " + q(kBundledData + "/english/models.mac") + " --write " + q(d.file("m.txt")));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "Error in writing \"" + d.file("m.txt") +
                                    "\": the name must end in \".mac\" (text) or \".macb\" (binary)"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "reading")) << r.err;
}

}  // namespace
}  // namespace kedo
