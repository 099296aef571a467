// Audio file loading: the choice of reader and the sample conversion.
#include <gtest/gtest.h>

#include <filesystem>

#include "audio/audio_file.h"
#include "audio_test_util.h"
#include "kedo/error.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;
using namespace std::string_literals;

std::string errorOf(const std::string& path) {
    try {
        readAudioFile(path);
    } catch (const KedoError& e) {
        return e.what();
    }
    return "no error";
}

TEST(ReadAudioFile, ReaderChosenByTheLastThreeCharacters) {
    TempDir d;
    std::string wav = riff(chunk("fmt ", fmtData(1, 1, 8000, 16)) + chunk("data", pcm16({-5, 6})));
    for (const char* name : {"speech.WAV", "speech.wa2", "x.wav", "x.WA1", "x.wa1", "x.WA2"}) {
        writeFile(d.file(name), wav);
        SampleArray a = readAudioFile(d.file(name));
        EXPECT_EQ(a.samples, (std::vector<int32_t>{-5, 6})) << name;
        EXPECT_EQ(a.rate, 8000);
    }
    // An ending that is not one of those is read by its content: 'Wav' is not
    // a known ending, but the file is a RIFF WAVE file.
    writeFile(d.file("speech.Wav"), wav);
    EXPECT_EQ(readAudioFile(d.file("speech.Wav")).samples, (std::vector<int32_t>{-5, 6}));
    writeFile(d.file("speech.Wav"), "not audio at all");
    EXPECT_EQ(errorOf(d.file("speech.Wav")),
              "Cannot read audio file " + d.file("speech.Wav") +
                  " based on its extension name... The name must end in one of: wav, WAV, wa1, WA1, wa2, WA2, raw, "
                  "RAW, flv, FLV; or a compressed recording (webm, weba, ogg, oga, opus, mp4, m4a, aac, mp3, in any "
                  "case), also recognised by its content");
    EXPECT_EQ(errorOf("wa").rfind("Cannot read audio file wa based on its extension name... The name", 0), 0u);
    // Only the last three characters count: no dot needed.
    writeFile(d.file("take_raw"), pcm16({1, -1}));
    SampleArray raw = readAudioFile(d.file("take_raw"));
    EXPECT_EQ(raw.samples, (std::vector<int32_t>{1, -1}));
    EXPECT_EQ(raw.rate, 16000);
    EXPECT_EQ(raw.bits, 16);
}

TEST(ReadAudioFile, RawSamples) {
    TempDir d;
    writeFile(d.file("three.raw"), "\x34\x12\x99");
    SampleArray a = readAudioFile(d.file("three.raw"));
    EXPECT_EQ(a.samples, (std::vector<int32_t>{0x1234}));
    writeFile(d.file("empty.RAW"), "");
    EXPECT_EQ(readAudioFile(d.file("empty.RAW")).count(), 0);
    std::string missing = d.file("missing.raw");
    EXPECT_EQ(errorOf(missing).rfind("Cannot open file " + missing + " (line ", 0), 0u);
}

TEST(ReadAudioFile, WavConversions) {
    TempDir d;
    // 8-bit silence stays at 128; 8-bit data is unsigned.
    writeFile(d.file("s8.wav"), riff(chunk("fmt ", fmtData(1, 1, 8000, 8)) + chunk("data", "\x80\x80\xff\x00"s)));
    int channels = 0;
    SampleArray a = readAudioFile(d.file("s8.wav"), &channels);
    EXPECT_EQ(a.samples, (std::vector<int32_t>{128, 128, 255, 0}));
    EXPECT_EQ(a.bits, 8);
    EXPECT_EQ(channels, 1);
    // Stereo stays interleaved; an odd trailing byte of 16-bit data is dropped.
    writeFile(d.file("st.wav"), riff(chunk("fmt ", fmtData(1, 2, 44100, 16)) + chunk("data", pcm16({1, 2, 3, 4}) + "X")));
    a = readAudioFile(d.file("st.wav"), &channels);
    EXPECT_EQ(a.samples, (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(a.rate, 44100);
    EXPECT_EQ(channels, 2);
}

TEST(ReadAudioFile, UnusableWavFilesAreRefused) {
    TempDir d;
    std::string p = d.file("bad.wav");
    writeFile(p, "RIFF");
    EXPECT_EQ(errorOf(p).rfind("Can't open wave file " + p + " (line ", 0), 0u);
    EXPECT_NE(errorOf(p).find(" in audioFile)"), std::string::npos);
    writeFile(p, riff(chunk("fmt ", fmtData(1, 1, 8000, 24)) + chunk("data", "abcdef")));
    EXPECT_NE(errorOf(p).find("has 24 bits per sample"), std::string::npos);
    writeFile(p, riff(chunk("fmt ", fmtData(1, 1, 0, 16)) + chunk("data", "abcdef")));
    EXPECT_NE(errorOf(p).find("invalid format"), std::string::npos);
    writeFile(p, riff(chunk("fmt ", fmtData(1, 0, 8000, 16)) + chunk("data", "abcdef")));
    EXPECT_NE(errorOf(p).find("invalid format"), std::string::npos);
}

// Files past 256 MiB are refused by name before they are decoded (sparse
// files: nothing is written to disk).
TEST(ReadAudioFile, FilesPastTheSizeLimitAreRefused) {
    TempDir d;
    const std::uintmax_t limit = 256ull << 20;
    std::string raw = d.file("long.raw");
    writeFile(raw, "");
    std::filesystem::resize_file(raw, limit + 2);
    EXPECT_EQ(errorOf(raw).rfind("Audio file " + raw + " is too large: 268435458 bytes, at most 268435456 (line ", 0),
              0u)
        << errorOf(raw);
    std::string wav = d.file("long.wav");
    writeFile(wav, riff(chunk("fmt ", fmtData(1, 1, 16000, 16)) + chunk("data", "abcd")));
    std::filesystem::resize_file(wav, limit + 1);
    EXPECT_EQ(errorOf(wav).rfind("Can't open wave file " + wav + " (line ", 0), 0u) << errorOf(wav);
}

// Files written by sox: 8-bit, 16-bit, µ-law, stereo, with comments (a LIST
// chunk between "fmt " and "data").
TEST(ReadAudioFile, FilesWrittenBySox) {
    TempDir d;
    struct Case {
        const char* options;
        int rate, bits, channels;
    };
    const Case cases[] = {
        {"-r 8000 -b 8 -c 1", 8000, 8, 1},
        {"-r 16000 -b 16 -c 1", 16000, 16, 1},
        {"-r 8000 -e u-law -c 1", 8000, 16, 1},
        {"-r 22050 -b 16 -c 2", 22050, 16, 2},
    };
    for (const Case& c : cases) {
        std::string path = d.file("sox.wav");
        CliResult r = runShell("sox -n " + std::string(c.options) + " " + path + " synth 0.5 sine 440 vol 0.5");
        ASSERT_EQ(r.status, 0) << r.err;
        int channels = 0;
        SampleArray a = readAudioFile(path, &channels);
        EXPECT_EQ(a.rate, c.rate) << c.options;
        EXPECT_EQ(a.bits, c.bits) << c.options;
        EXPECT_EQ(channels, c.channels) << c.options;
        EXPECT_EQ(a.count(), c.rate / 2 * c.channels) << c.options;
        // Compare with sox's own decoding to signed 16-bit raw samples.
        ASSERT_EQ(runShell("sox " + path + " -t raw -e signed -b 16 " + d.file("ref.raw")).status, 0);
        SampleArray ref = readAudioFile(d.file("ref.raw"));
        ASSERT_EQ(ref.count(), a.count());
        for (int i = 0; i < a.count(); ++i) {
            int v = c.bits == 8 ? (a.samples[i] - 128) * 256 : a.samples[i];
            ASSERT_EQ(v, ref.samples[i]) << c.options << " sample " << i;
        }
    }
}

// ffmpeg puts its metadata in a LIST chunk between "fmt " and "data".
TEST(ReadAudioFile, ListChunkWrittenByFfmpeg) {
    TempDir d;
    ASSERT_EQ(runShell("sox -n -r 16000 -b 16 -c 1 " + d.file("a.wav") + " synth 0.1 sine 300").status, 0);
    CliResult r = runShell("ffmpeg -nostdin -loglevel error -y -i " + d.file("a.wav") + " -metadata comment=hello " +
                           d.file("list.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bytes = readFile(d.file("list.wav"));
    ASSERT_LT(bytes.find("LIST"), bytes.find("data"));
    EXPECT_EQ(readAudioFile(d.file("list.wav")).samples, readAudioFile(d.file("a.wav")).samples);
}

}  // namespace
}  // namespace kedo
