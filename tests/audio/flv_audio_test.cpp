// FLV tag parsing and Nellymoser decoding: hand-made files for the tag
// structure, files written by ffmpeg for the decoded audio.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_file.h"
#include "audio/flv_audio.h"
#include "audio_test_util.h"
#include "kedo/error.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;
using namespace std::string_literals;

std::string audioTag(uint8_t flags, size_t payloadBytes, uint8_t fill = 0x55) {
    return flvTag(8, std::string(1, char(flags)) + std::string(payloadBytes, char(fill)));
}

FlvAudio decode(const std::string& bytes) {
    return decodeFlvImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "t.flv");
}

std::string errorOf(const std::string& bytes) {
    try {
        decode(bytes);
    } catch (const KedoError& e) {
        return e.what();
    }
    return "no error";
}

TEST(FlvAudio, FlagsByte) {
    struct Case {
        uint8_t flags;
        int rate, bits, channels;
    };
    const Case cases[] = {
        {0x52, 8000, 16, 1},  {0x53, 8000, 16, 1},  {0x50, 8000, 16, 1},  {0x42, 16000, 16, 1},
        {0x6F, 44100, 16, 2}, {0x60, 5500, 16, 1},  {0x66, 11025, 16, 1}, {0x6B, 22050, 16, 2},
    };
    // The decoder gives 16-bit audio whatever the sample-size flag says.
    for (const Case& c : cases) {
        FlvAudio a = decode(flvStream({audioTag(c.flags, 64)}));
        EXPECT_EQ(a.rate, c.rate) << int(c.flags);
        EXPECT_EQ(a.bits, c.bits) << int(c.flags);
        EXPECT_EQ(a.channels, c.channels) << int(c.flags);
        EXPECT_EQ(a.samples.size(), 256u);
    }
}

TEST(FlvAudio, TagStructure) {
    // Only the header and a previous-tag-size of 0: no samples.
    FlvAudio a = decode(flvStream({}));
    EXPECT_TRUE(a.samples.empty());
    EXPECT_EQ(decode(std::string("FLV\x01\x05\0\0\0\x09", 9)).samples.size(), 0u);
    // Flags byte plus two blocks; a ragged payload is padded to whole blocks.
    EXPECT_EQ(decode(flvStream({audioTag(0x52, 128)})).samples.size(), 512u);
    EXPECT_EQ(decode(flvStream({audioTag(0x52, 100)})).samples.size(), 512u);
    EXPECT_EQ(decode(flvStream({audioTag(0x52, 0)})).samples.size(), 0u);
    // Video, script and empty audio tags are skipped; their sizes still count.
    a = decode(flvStream({flvTag(18, "meta"), audioTag(0x52, 64), flvTag(9, std::string(300, 'v')), flvTag(8, ""),
                          audioTag(0x52, 192)}));
    EXPECT_EQ(a.samples.size(), 1024u);
    // No trailing previous-tag-size field is fine too.
    std::string s = flvStream({audioTag(0x52, 64)});
    EXPECT_EQ(decode(s.substr(0, s.size() - 4)).samples.size(), 256u);
}

TEST(FlvAudio, BlocksThatDecodeToNonFiniteValues) {
    // A corrupt block that the decoder turns into NaN and infinities (and
    // finite values far beyond +-1.0): non-finite samples read as 0, the rest
    // are clamped to the 16-bit range.
    std::string block;
    const char* hex =
        "ffffff77ffffffefffffffffffffff26ffff2c8fff23ffe6f5ff6cf6ffffffffa75bc9c469fff1fbd5b4ffffff7547ffff51f423967e"
        "ffffffdd30ff05ffc0f0";
    for (size_t i = 0; hex[i] != '\0'; i += 2) block += char(std::stoi(std::string(hex + i, 2), nullptr, 16));
    ASSERT_EQ(block.size(), 64u);
    FlvAudio a = decode(flvStream({audioTag(0x52, 64, 0x11), flvTag(8, "\x52" + block)}));
    ASSERT_EQ(a.samples.size(), 512u);
    size_t zeros = 0;
    for (size_t i = 256; i < 512; ++i) zeros += a.samples[i] == 0;
    EXPECT_GT(zeros, 200u);
}

TEST(FlvAudio, CorruptFilesEndTheReadNamingTheFile) {
    std::string good = flvStream({audioTag(0x52, 64), flvTag(9, "video"), audioTag(0x52, 64)});
    std::string wrongSize = good;
    wrongSize[9 + 4 + 11 + 65 + 3] ^= 1;  // previous-tag-size after the first tag
    std::string badStream = flvStream({audioTag(0x52, 64), flvTag(8, std::string(65, '\x52'), 1)});
    std::string shortTag = good.substr(0, 9 + 4 + 6);
    std::string shortData = good.substr(0, 9 + 4 + 11 + 30);
    struct Case {
        const char* name;
        std::string bytes;
        std::string error;
    };
    const Case cases[] = {
        {"sizes disagree", wrongSize, "Corrupt file (tag size check failed): t.flv (line "},
        {"first size not 0", std::string("FLV\x01\x04\0\0\0\x09\0\0\0\x01", 13), "Corrupt file (tag size check failed)"},
        {"stream id", badStream, "Corrupt file (tag padding ignored): t.flv"},
        {"format change", flvStream({audioTag(0x52, 64), audioTag(0x6E, 64)}),
         "Corrupt file (changed audio format midstream): t.flv"},
        {"truncated tag header", shortTag, "Corrupt file (truncated tag): t.flv"},
        {"data beyond the file", shortData, "Corrupt file (truncated tag): t.flv"},
        {"truncated size field", good + "\0\0"s, "Corrupt file (truncated tag): t.flv"},
        {"mp3", flvStream({audioTag(0x2F, 64)}), "stream is not Nellymoser: t.flv (line "},
        {"signature", "FLX\x01\x04\0\0\0\x09"s, "Unknown file format! (t.flv) (line "},
        {"version", "FLV\x02\x04\0\0\0\x09"s, "Unknown file format! (t.flv)"},
        {"short header", "FLV\x01"s, "Unknown file format! (t.flv)"},
    };
    for (const Case& c : cases) {
        std::string e = errorOf(c.bytes);
        EXPECT_EQ(e.rfind(c.error, 0), 0u) << c.name << ": " << e;
        EXPECT_NE(e.find(" of flvimpl)"), std::string::npos) << c.name;
    }
}

TEST(FlvAudio, FileLevelCases) {
    TempDir d;
    writeFile(d.file("empty.flv"), "");
    testing::internal::CaptureStdout();
    FlvAudio a = readFlvAudio(d.file("empty.flv"));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(a.samples.empty());
    EXPECT_EQ(a.rate, 0);
    EXPECT_EQ(a.channels, 1);
    EXPECT_EQ(out.rfind("Warning: flvFileSize=0! (line ", 0), 0u);
    try {
        readFlvAudio(d.file("missing.flv"));
        FAIL();
    } catch (const KedoError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("flv_fopen: No such file or directory (" + d.file("missing.flv") + ")", 0), 0u);
    }
    // The loader widens the samples and keeps the decoder's rate and bits.
    writeFile(d.file("a.FLV"), flvStream({audioTag(0x6F, 64)}));
    int channels = 0;
    SampleArray s = readAudioFile(d.file("a.FLV"), &channels);
    EXPECT_EQ(s.count(), 256);
    EXPECT_EQ(s.rate, 44100);
    EXPECT_EQ(s.bits, 16);
    EXPECT_EQ(channels, 2);
}

// The tags of an FLV file, as (type, data) pairs.
std::vector<std::pair<int, std::string>> tagsOf(const std::string& flv) {
    std::vector<std::pair<int, std::string>> tags;
    size_t pos = 9 + 4;
    while (pos + 11 <= flv.size()) {
        size_t size = (uint8_t(flv[pos + 1]) << 16) | (uint8_t(flv[pos + 2]) << 8) | uint8_t(flv[pos + 3]);
        tags.emplace_back(uint8_t(flv[pos]), flv.substr(pos + 11, size));
        pos += 11 + size + 4;
    }
    return tags;
}

double correlation(const std::vector<int32_t>& a, const std::vector<int16_t>& b, size_t lag) {
    size_t n = std::min(a.size(), b.size() - lag);
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
        double x = a[i], y = b[i + lag];
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    double cov = sab - sa * sb / n, va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    return cov / std::sqrt(va * vb);
}

TEST(FlvAudio, FilesWrittenByFfmpeg) {
    TempDir d;
    struct Case {
        int rate;
        uint8_t flags;
        double minCorrelation;
    };
    const Case cases[] = {
        {8000, 0x52, 0.98}, {11025, 0x66, 0.99}, {16000, 0x42, 0.99}, {22050, 0x6A, 0.99}, {44100, 0x6E, 0.99},
    };
    for (const Case& c : cases) {
        std::string rate = std::to_string(c.rate);
        std::string wav = d.file("src" + rate + ".wav"), flv = d.file("enc" + rate + ".flv");
        ASSERT_EQ(runShell("sox -n -r " + rate + " -b 16 -c 1 " + wav +
                           " synth 1 sine 200 sine 450 sine 700 remix 1-3 vol 0.3")
                      .status,
                  0);
        CliResult r = runShell("ffmpeg -nostdin -loglevel error -y -i " + wav + " -c:a nellymoser " + flv);
        ASSERT_EQ(r.status, 0) << r.err;
        std::string bytes = readFile(flv);
        auto tags = tagsOf(bytes);
        size_t blocks = 0;
        for (const auto& [type, data] : tags)
            if (type == 8) {
                ASSERT_EQ(uint8_t(data[0]), c.flags) << rate;
                blocks += (data.size() - 1) / 64;
            }
        FlvAudio a = readFlvAudio(flv);
        EXPECT_EQ(a.rate, c.rate);
        EXPECT_EQ(a.bits, 16);
        EXPECT_EQ(a.channels, 1);
        ASSERT_EQ(a.samples.size(), 256 * blocks) << rate;
        SampleArray source = readAudioFile(wav);
        double corr = correlation(source.samples, a.samples, 128);
        EXPECT_GT(corr, c.minCorrelation) << rate;

        // Two blocks per tag, and the stereo 44.1 kHz flags byte: the same
        // samples, since the decoder's state carries across tags.
        std::vector<std::string> merged;
        std::string pending;
        for (const auto& [type, data] : tags) {
            if (type != 8) {
                merged.push_back(flvTag(type, data));
            } else if (pending.empty()) {
                pending = data.substr(1);
            } else {
                merged.push_back(flvTag(8, std::string(1, '\x6F') + pending + data.substr(1)));
                pending.clear();
            }
        }
        if (!pending.empty()) merged.push_back(flvTag(8, std::string(1, '\x6F') + pending));
        writeFile(d.file("m.flv"), flvStream(merged));
        FlvAudio m = readFlvAudio(d.file("m.flv"));
        EXPECT_EQ(m.rate, 44100);
        EXPECT_EQ(m.channels, 2);
        EXPECT_EQ(m.samples, a.samples) << rate;
    }
}

}  // namespace
}  // namespace kedo
