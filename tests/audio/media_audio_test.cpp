// Compressed audio as browsers and phones send it, made by ffmpeg in the test:
// every container decodes to 16 kHz mono 16-bit samples of the right length,
// names without a usable ending are read by their content, and broken files
// are refused with a message that names them.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_file.h"
#include "audio/media_audio.h"
#include "kedo/error.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;

class MediaAudio : public ::testing::Test {
protected:
    // One second of a 440 Hz tone at 44.1 kHz stereo, encoded by ffmpeg.
    std::string encode(const std::string& name, const std::string& codecArgs) {
        std::string path = dir.file(name);
        CliResult r = runShell("ffmpeg -nostdin -loglevel error -y -f lavfi -i 'sine=frequency=440:sample_rate=44100:"
                               "duration=1' -ac 2 " + codecArgs + " '" + path + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        return path;
    }
    KedoError errorOf(const std::string& path) {
        try {
            readAudioFile(path);
        } catch (const KedoError& e) {
            return e;
        }
        return KedoError("no error", ErrorKind::none);
    }
    TempDir dir;
};

TEST_F(MediaAudio, EveryBrowserFormatDecodesTo16kMono) {
    struct Case {
        const char* name;
        const char* args;
    };
    for (Case c : {Case{"take.webm", "-c:a libopus -b:a 32k"}, Case{"take.ogg", "-c:a libopus"},
                   Case{"take.m4a", "-c:a aac"}, Case{"take.MP3", "-c:a libmp3lame -f mp3"},
                   Case{"take.oga", "-c:a libvorbis -f ogg"}}) {
        SCOPED_TRACE(c.name);
        std::string path = encode(c.name, c.args);
        int channels = 0;
        SampleArray a = readAudioFile(path, &channels);
        EXPECT_EQ(a.rate, 16000);
        EXPECT_EQ(a.bits, 16);
        EXPECT_EQ(channels, 1);
        // Encoder delay and padding: within 0.1 s of one second.
        EXPECT_NEAR(a.count(), 16000, 1600);
        // The tone, not silence or noise: the middle has a 440 Hz period and
        // the level of the source (a sine of 1/8 full scale, spread over two
        // channels at -3 dB each by ffmpeg: RMS 2048); the mono mix keeps it.
        double energy = 0;
        int crossings = 0;
        for (int i = 4000; i < 12000; ++i) {
            energy += double(a.samples[i]) * a.samples[i];
            if ((a.samples[i - 1] < 0) != (a.samples[i] < 0)) ++crossings;
        }
        EXPECT_NEAR(std::sqrt(energy / 8000), 2048, 200);
        EXPECT_NEAR(crossings, 2 * 440 / 2, 12) << "0.5 s of 440 Hz";
    }
}

TEST_F(MediaAudio, NamesWithoutAKnownEndingAreReadByContent) {
    std::string webm = encode("blob.webm", "-c:a libopus");
    std::rename(webm.c_str(), dir.file("blob").c_str());
    EXPECT_NEAR(readAudioFile(dir.file("blob")).count(), 16000, 1600);
    std::string mp4 = encode("upload.mp4", "-c:a aac");
    std::rename(mp4.c_str(), dir.file("upload.bin").c_str());
    EXPECT_EQ(readAudioFile(dir.file("upload.bin")).rate, 16000);
    // A known ending still decides: a WebM file named .raw is read as raw.
    std::rename(dir.file("blob").c_str(), dir.file("blob.raw").c_str());
    EXPECT_EQ(readAudioFile(dir.file("blob.raw")).count(), static_cast<int>(readFile(dir.file("blob.raw")).size() / 2));
}

TEST_F(MediaAudio, BrokenFilesAreRefusedByName) {
    std::string webm = readFile(encode("good.webm", "-c:a libopus"));
    struct Case {
        const char* name;
        std::string bytes;
        const char* says;
    };
    for (const Case& c : {Case{"cut.webm", webm.substr(0, 40), "Cannot decode audio file"},
                          Case{"empty.ogg", "", "Cannot decode audio file"},
                          Case{"text.mp3", "hello, this is no audio", "Cannot decode audio file"},
                          Case{"junk", "\x1A\x45\xDF\xA3 then nothing useful", "Cannot decode audio file"},
                          Case{"other.dat", "plain text", "based on its extension name"}}) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file(c.name), c.bytes);
        KedoError e = errorOf(dir.file(c.name));
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(dir.file(c.name)), std::string::npos) << e.what();
        EXPECT_EQ(e.kind(), ErrorKind::badAudio);
    }
    KedoError missing = errorOf(dir.file("missing.webm"));
    EXPECT_EQ(missing.kind(), ErrorKind::badAudio);
    EXPECT_NE(std::string(missing.what()).find("missing.webm"), std::string::npos);
}

TEST_F(MediaAudio, OnlyAudioCodecsOfBrowsersAreDecoded) {
    // A container the demuxers know, holding a codec that no browser records.
    std::string path = encode("pcm.mkv", "-c:a pcm_s16le");
    std::rename(path.c_str(), dir.file("pcm.webm").c_str());
    KedoError e = errorOf(dir.file("pcm.webm"));
    EXPECT_NE(std::string(e.what()).find("pcm_s16le"), std::string::npos) << e.what();
}

TEST(MediaSniffing, RecognisesContainerHeads) {
    auto looks = [](const std::string& head) {
        return looksLikeMedia(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    };
    EXPECT_TRUE(looks("\x1A\x45\xDF\xA3\x01"));
    EXPECT_TRUE(looks("OggS\0\x02"));
    EXPECT_TRUE(looks(std::string("\0\0\0\x20" "ftypM4A ", 12)));
    EXPECT_TRUE(looks("ID3\x04"));
    EXPECT_TRUE(looks("\xFF\xFB\x90\x00"));
    EXPECT_FALSE(looks("RIFF\0\0\0\0WAVE"));
    EXPECT_FALSE(looks("FLV\x01"));
    EXPECT_FALSE(looks(""));
    EXPECT_FALSE(looks("\xFF"));
}

}  // namespace
}  // namespace kedo
