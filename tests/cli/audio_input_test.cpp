// Audio a user brings: A-law and other WAV encodings, stereo recordings.
#include <gtest/gtest.h>

#include "../audio/audio_test_util.h"
#include "audio/audio_file.h"
#include "cli_fixture.h"
#include "kedo/error.h"

namespace kedo {
namespace {

using namespace test;

const std::string kSentence = "\"i like to read a good book\"";

// Every A-law code, expanded by the reader and by sox: the same samples.
TEST(ALawWav, ExpandsEveryCodeAsSoxDoes) {
    TempDir d;
    std::string codes;
    for (int c = 0; c < 256; ++c) codes += char(c);
    writeFile(d.file("a.wav"), riff(chunk("fmt ", fmtData(6, 1, 8000, 8)) + chunk("data", codes)));
    ASSERT_EQ(runShell("sox " + q(d.file("a.wav")) + " -e signed-integer -b 16 " + q(d.file("b.wav"))).status, 0);
    SampleArray ours = readAudioFile(d.file("a.wav"));
    SampleArray sox = readAudioFile(d.file("b.wav"));
    EXPECT_EQ(ours.bits, 16);
    EXPECT_EQ(ours.rate, 8000);
    ASSERT_EQ(ours.count(), 256);
    EXPECT_EQ(ours.samples, sox.samples);
}

// An extensible header names its real encoding in the sub-format.
TEST(ALawWav, ExtensibleHeaderTakesTheSubFormat) {
    TempDir d;
    std::string fmt = fmtData(0xFFFE, 1, 16000, 16, false) + le16(22) + le16(16) + le32(4) + le16(1) +
                      std::string(14, '\x01');
    writeFile(d.file("x.wav"), riff(chunk("fmt ", fmt) + chunk("data", pcm16({5, -7}))));
    SampleArray w = readAudioFile(d.file("x.wav"));
    EXPECT_EQ(w.samples, (std::vector<int32_t>{5, -7}));
}

TEST(WavFormatTags, UndecodedTagsAreRefusedByName) {
    TempDir d;
    struct Case {
        int tag;
        const char* name;
    } cases[] = {{3, "IEEE float"}, {2, "Microsoft ADPCM"}, {0x11, "IMA ADPCM"}, {0x99, "not decoded"}};
    for (const Case& c : cases) {
        writeFile(d.file("t.wav"), riff(chunk("fmt ", fmtData(c.tag, 1, 16000, 16)) + chunk("data", pcm16({1, 2}))));
        CliResult r = runCli("wave-info " + q(d.file("t.wav")));
        EXPECT_EQ(r.status, 1) << c.tag;
        EXPECT_TRUE(contains(r.err, "Wave file " + d.file("t.wav") + " has format tag " + std::to_string(c.tag) +
                                        " (" + c.name + ")"))
            << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(StereoAudio, ChannelsAreMixedToTheRoundedMean) {
    SampleArray w;
    w.samples = {1, 2, -1, -2, 3, 4, -3, -3, 100, 0, 7};  // the last, lone value is dropped
    mixToMono(w, 2);
    EXPECT_EQ(w.samples, (std::vector<int32_t>{2, -2, 4, -3, 50}));
    SampleArray three;
    three.samples = {1, 1, 2, 255, 255, 254};
    mixToMono(three, 3);
    EXPECT_EQ(three.samples, (std::vector<int32_t>{1, 255}));
    SampleArray mono;
    mono.samples = {9, 8};
    mixToMono(mono, 1);
    EXPECT_EQ(mono.samples, (std::vector<int32_t>{9, 8}));
}

// The bundled sample, re-encoded by sox, scores as the original does.
TEST(AudioInputCommands, ALawAndStereoRecordingsScoreAsTheMonoPcmOne) {
    BundledHome home;
    TempDir d;
    const std::string sample = kSamples + "/english.wav";
    ASSERT_EQ(runShell("sox " + q(sample) + " -e a-law " + q(d.file("alaw.wav"))).status, 0);
    ASSERT_EQ(runShell("sox " + q(sample) + " -c 2 " + q(d.file("stereo.wav"))).status, 0);
    CliResult pcm = runCli("assess " + q(sample) + " " + kSentence + home.home());
    ASSERT_EQ(pcm.status, 0) << pcm.err;
    for (const char* name : {"alaw.wav", "stereo.wav"}) {
        CliResult r = runCli("assess " + q(d.file(name)) + " " + kSentence + home.home());
        ASSERT_EQ(r.status, 0) << name << r.err;
        EXPECT_NEAR(scoreOf(r.out), scoreOf(pcm.out), 1.0) << name;
    }
}

}  // namespace
}  // namespace kedo
