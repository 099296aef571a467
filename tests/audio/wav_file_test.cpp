// WAV reading and writing, and the µ-law conversions.
#include <gtest/gtest.h>

#include "audio/wav_file.h"
#include "audio_test_util.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;
using namespace std::string_literals;

TEST(MuLaw, KnownCodesAndRoundTrip) {
    EXPECT_EQ(linearToMuLaw(0), 0xFF);
    EXPECT_EQ(linearToMuLaw(-1), 0x7F);
    EXPECT_EQ(linearToMuLaw(32767), 0x80);
    EXPECT_EQ(linearToMuLaw(-32768), 0x00);
    EXPECT_EQ(muLawToLinear(0xFF), 0);
    EXPECT_EQ(muLawToLinear(0x80), 32124);
    EXPECT_EQ(muLawToLinear(0x00), -32124);
    // Every code decodes to a value that encodes back to itself, except the
    // negative zero 0x7F, which decodes to 0.
    for (int c = 0; c < 256; ++c) {
        if (c == 0x7F) continue;
        EXPECT_EQ(linearToMuLaw(muLawToLinear(uint8_t(c))), c) << c;
    }
    // Quantisation error stays within half a step of the segment.
    for (int v = -32000; v <= 32000; v += 7) {
        int back = muLawToLinear(linearToMuLaw(int16_t(v)));
        EXPECT_LE(std::abs(back - v), 8 + std::abs(v) / 16) << v;
    }
}

TEST(WriteWav, PcmLayoutAndRoundTrip) {
    TempDir d;
    soundBuffer b(2, 22050, 16);
    std::string bytes = pcm16({1, -2, 300, -32768, 32767, 0});
    b.setData(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_TRUE(writeWav(b, d.file("a.wav")));
    std::string expect = riff(chunk("fmt ", fmtData(1, 2, 22050, 16)) + chunk("data", bytes));
    EXPECT_EQ(readFile(d.file("a.wav")), expect);

    soundBuffer r(1, 8000, 8);
    ASSERT_TRUE(readWav(r, d.file("a.wav")));
    EXPECT_EQ(r.format().channels, 2);
    EXPECT_EQ(r.format().samplesPerSec, 22050u);
    EXPECT_EQ(r.format().avgBytesPerSec, 88200u);
    EXPECT_EQ(std::string(r.data().begin(), r.data().end()), bytes);
    int32_t s[8];
    EXPECT_EQ(r.getSamples(s, 8), 6);
    EXPECT_EQ(s[3], -32768);
    EXPECT_EQ(r.getSamples(s, 2), 2);
}

TEST(WriteWav, MuLawHalvesTheBytesAndReadsBackAsPcm) {
    TempDir d;
    soundBuffer b(1, 16000, 16);
    std::vector<int16_t> v = {0, 1000, -1000, 20000, -32768, 5};
    std::string bytes = pcm16(v);
    b.setData(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ASSERT_TRUE(writeWav(b, d.file("m.wav"), true));
    std::string file = readFile(d.file("m.wav"));
    std::string fmt = fmtData(7, 1, 16000, 8);
    ASSERT_EQ(file.size(), 12u + 8 + 18 + 8 + v.size());
    EXPECT_EQ(file.substr(20, 18), fmt);

    soundBuffer r(1, 8000, 8);
    ASSERT_TRUE(readWav(r, d.file("m.wav")));
    EXPECT_EQ(r.format().formatTag, 1);
    EXPECT_EQ(r.format().bitsPerSample, 16);
    EXPECT_EQ(r.format().blockAlign, 2);
    EXPECT_EQ(r.format().avgBytesPerSec, 32000u);
    ASSERT_EQ(r.data().size(), 2 * v.size());
    int32_t s[6];
    ASSERT_EQ(r.getSamples(s, 6), 6);
    for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(s[i], muLawToLinear(linearToMuLaw(v[i])));

    // An odd number of µ-law bytes gets its pad byte.
    b.setData({0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(writeWav(b, d.file("odd.wav"), true));
    EXPECT_EQ(readFile(d.file("odd.wav")).size(), 12u + 8 + 18 + 8 + 4);
    ASSERT_TRUE(readWav(r, d.file("odd.wav")));
    EXPECT_EQ(r.data().size(), 6u);
}

TEST(WriteWav, Failures) {
    TempDir d;
    soundBuffer b8(1, 8000, 8);
    EXPECT_FALSE(writeWav(b8, d.file("x.wav"), true));
    EXPECT_EQ(b8.lastError(), "Wave format mismatch.");
    EXPECT_FALSE(exists(d.file("x.wav")));
    soundBuffer b(1, 16000, 16);
    EXPECT_FALSE(writeWav(b, d.file("no/such/folder.wav")));
    EXPECT_EQ(b.lastError(), "File open error.");
    EXPECT_FALSE(writeWav(b, "/dev/full"));
    EXPECT_EQ(b.lastError(), "File chunk write error.");
}

TEST(WriteWav, EmptyRecordingIsValidButDoesNotReadBack) {
    TempDir d;
    soundBuffer b(1, 16000, 16);
    ASSERT_TRUE(writeWav(b, d.file("e.wav")));
    EXPECT_EQ(readFile(d.file("e.wav")), riff(chunk("fmt ", fmtData(1, 1, 16000, 16)) + chunk("data", "")));
    soundBuffer r(1, 8000, 8);
    r.setData({7, 7});
    EXPECT_FALSE(readWav(r, d.file("e.wav")));
    EXPECT_EQ(r.lastError(), "File data read error.");
    EXPECT_EQ(r.data().size(), 2u);  // previous samples kept
}

TEST(ReadWav, ChunksFoundByNameAndShortFmt) {
    TempDir d;
    std::string data = pcm16({10, 20, 30});
    // 16-byte "fmt ", a LIST and an odd-sized junk chunk before "data".
    writeFile(d.file("a.wav"), riff(chunk("fmt ", fmtData(1, 1, 11025, 16, false)) + chunk("LIST", "INFOICMT\x03\0\0\0hi\0"s) +
                                    chunk("junk", "abc") + chunk("data", data)));
    soundBuffer r(1, 8000, 8);
    WaveFormat before = r.format();
    before.extraSize = 77;
    r.setFormatHeader(before);
    ASSERT_TRUE(readWav(r, d.file("a.wav")));
    EXPECT_EQ(r.format().samplesPerSec, 11025u);
    EXPECT_EQ(r.format().extraSize, 77);  // not in a 16-byte chunk
    EXPECT_EQ(std::string(r.data().begin(), r.data().end()), data);

    // A longer "fmt " chunk: the first 18 bytes are the header.
    writeFile(d.file("b.wav"), riff(chunk("fmt ", fmtData(1, 1, 8000, 8) + "XXXXXX") + chunk("data", "\x80\x81")));
    ASSERT_TRUE(readWav(r, d.file("b.wav")));
    EXPECT_EQ(r.format().extraSize, 0);
    EXPECT_EQ(r.data().size(), 2u);
}

TEST(ReadWav, MalformedFilesFailWithTheirReason) {
    TempDir d;
    std::string fmt = chunk("fmt ", fmtData(1, 1, 8000, 16));
    std::string good = riff(fmt + chunk("data", pcm16({1, 2})));
    struct Case {
        const char* name;
        std::string bytes;
        const char* error;
    };
    std::string noWave = good;
    noWave.replace(8, 4, "AVI ");
    std::string hugeData = riff(fmt + chunk("data", pcm16({1, 2}), 0x7FFFFFF0));
    std::string hugeList = riff(fmt + chunk("LIST", "xxxx", 0xFFFFFFF0) + chunk("data", "ab"));
    const Case cases[] = {
        {"empty", "", "File chunk read error."},
        {"truncated riff header", good.substr(0, 10), "File chunk read error."},
        {"not wave", noWave, "File chunk read error."},
        {"no fmt", riff(chunk("data", "abcd")), "File chunk read error."},
        {"fmt cut short", good.substr(0, 12 + 8 + 10), "File chunk read error."},
        {"fmt too small", riff(chunk("fmt ", "\x01\0\x01\0"s) + chunk("data", "ab")), "File chunk read error."},
        {"no data", riff(fmt), "File chunk read error."},
        {"data size beyond the file", hugeData, "File data read error."},
        {"data cut short", good.substr(0, good.size() - 1), "File data read error."},
        {"chunk size beyond the file", hugeList, "File chunk read error."},
    };
    for (const Case& c : cases) {
        writeFile(d.file("x.wav"), c.bytes);
        soundBuffer r(1, 8000, 8);
        EXPECT_FALSE(readWav(r, d.file("x.wav"))) << c.name;
        EXPECT_EQ(r.lastError(), c.error) << c.name;
        EXPECT_TRUE(r.data().empty()) << c.name;
    }
    soundBuffer r(1, 8000, 8);
    EXPECT_FALSE(readWav(r, d.file("missing.wav")));
    EXPECT_EQ(r.lastError(), "File open error.");
}

TEST(ReadWav, RiffSizeOverstatingTheFileIsTolerated) {
    TempDir d;
    std::string body = "WAVE" + chunk("fmt ", fmtData(1, 1, 8000, 8)) + chunk("data", "\x80\x80\x80");
    writeFile(d.file("s.wav"), "RIFF" + le32(0x7FFFFFFF) + body);
    soundBuffer r(1, 8000, 8);
    ASSERT_TRUE(readWav(r, d.file("s.wav")));
    EXPECT_EQ(r.data().size(), 3u);
}

}  // namespace
}  // namespace kedo
