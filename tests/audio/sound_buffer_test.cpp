// The recorder: its states with a scripted capture service, the file-backed
// service in real time, and ALSA through its file plugin.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio/sound_buffer.h"
#include "audio/wav_file.h"
#include "audio_test_util.h"
#include "support/test_support.h"

namespace kedo {
namespace {

using namespace test;

// What the scripted service does and what it was asked.
struct Script {
    bool openFails = false;
    bool fault = false;        // position reports a device fault
    size_t position = 0;       // bytes "captured"
    uint8_t* buffer = nullptr;
    size_t length = 0;
    int opens = 0, starts = 0, resets = 0, closes = 0;
};

class ScriptedCapture : public CaptureService {
public:
    explicit ScriptedCapture(std::shared_ptr<Script> s) : m_s(std::move(s)) {}
    bool open(const WaveFormat&, std::string& error) override {
        if (m_s->openFails) {
            error = "Device or resource busy";
            return false;
        }
        ++m_s->opens;
        return true;
    }
    bool start(uint8_t* buffer, size_t length, std::string&) override {
        ++m_s->starts;
        m_s->buffer = buffer;
        m_s->length = length;
        m_s->position = 0;
        return true;
    }
    bool position(size_t& bytes, std::string& error) override {
        bytes = std::min(m_s->position, m_s->length);
        if (m_s->fault) error = "Input/output error";
        return !m_s->fault;
    }
    bool reset(std::string&) override {
        ++m_s->resets;
        m_s->buffer = nullptr;
        return true;
    }
    bool close(std::string&) override {
        ++m_s->closes;
        return true;
    }

private:
    std::shared_ptr<Script> m_s;
};

struct Recorder {
    std::shared_ptr<Script> script = std::make_shared<Script>();
    soundBuffer buffer{1, 16000, 16};
    Recorder() {
        buffer.setCaptureFactory([s = script] { return std::make_unique<ScriptedCapture>(s); });
    }
};

TEST(SoundBuffer, FormatAndErrorTexts) {
    soundBuffer b(2, 22050, 8);
    EXPECT_EQ(b.format().formatTag, 1);
    EXPECT_EQ(b.format().blockAlign, 2);
    EXPECT_EQ(b.format().avgBytesPerSec, 44100u);
    EXPECT_EQ(b.lastError(), "No error.");
    EXPECT_STREQ(soundBuffer::errorText(3), "MMTIME required time format not supported.");
    EXPECT_STREQ(soundBuffer::errorText(9), "File data write error.");
    EXPECT_STREQ(soundBuffer::errorText(42), "Unspecified error.");
    b.setData({1, 2});
    b.setFormat(1, 16000, 16);
    EXPECT_TRUE(b.data().empty());
    int32_t s[1];
    b.setData({0xFF, 0xFF, 0x01});
    EXPECT_EQ(b.getSamples(s, 5), 1);
    EXPECT_EQ(s[0], -1);
    b.setFormat(1, 16000, 24);
    b.setData({1, 2, 3});
    EXPECT_EQ(b.getSamples(s, 1), 0);
}

TEST(SoundBuffer, RecordingStates) {
    Recorder r;
    // 0 seconds: an empty buffer, stopped by the first poll.
    ASSERT_TRUE(r.buffer.startRecording(0.0));
    EXPECT_EQ(r.script->length, 0u);
    EXPECT_FALSE(r.buffer.isRecording());
    EXPECT_TRUE(r.buffer.data().empty());
    EXPECT_EQ(r.script->closes, 1);

    // The facade's length: 32000 bytes a second, whole frames only.
    ASSERT_TRUE(r.buffer.startRecording(3.0));
    EXPECT_EQ(r.script->length, 96000u);
    r.script->buffer[0] = 7;
    r.script->buffer[1] = 1;
    r.script->position = 1000;
    EXPECT_TRUE(r.buffer.isRecording());
    // A second start while filling is refused and changes nothing.
    EXPECT_FALSE(r.buffer.startRecording(1.0));
    EXPECT_EQ(r.buffer.lastError(), "Device required in use.");
    EXPECT_TRUE(r.buffer.isRecording());
    // An early stop keeps exactly the bytes captured.
    EXPECT_TRUE(r.buffer.stopRecording());
    EXPECT_FALSE(r.buffer.isRecording());
    ASSERT_EQ(r.buffer.data().size(), 1000u);
    EXPECT_EQ(r.buffer.data()[0], 7);
    EXPECT_TRUE(r.buffer.stopRecording());  // nothing to stop

    // A full buffer is stopped by a new start, which then goes ahead.
    ASSERT_TRUE(r.buffer.startRecording(0.1));
    EXPECT_EQ(r.script->length, 3200u);
    r.script->position = 3200;
    ASSERT_TRUE(r.buffer.startRecording(0.00005));  // 1.6 bytes: no whole frame
    EXPECT_EQ(r.buffer.data().size(), 3200u);
    EXPECT_EQ(r.script->length, 0u);
    EXPECT_FALSE(r.buffer.isRecording());
    EXPECT_EQ(r.script->opens, r.script->closes);
}

TEST(SoundBuffer, FailuresKeepTheServiceText) {
    Recorder r;
    EXPECT_FALSE(r.buffer.startRecording(-1.0));
    EXPECT_EQ(r.buffer.lastError(), "Recording length out of range.");
    EXPECT_FALSE(r.buffer.startRecording(1e9));
    r.script->openFails = true;
    EXPECT_FALSE(r.buffer.startRecording(1.0));
    EXPECT_EQ(r.buffer.lastError(), "Device or resource busy");
    EXPECT_FALSE(r.buffer.isRecording());

    // A device fault ends the recording with what was captured before it.
    r.script->openFails = false;
    ASSERT_TRUE(r.buffer.startRecording(1.0));
    r.script->position = 640;
    r.script->fault = true;
    EXPECT_FALSE(r.buffer.isRecording());
    EXPECT_EQ(r.buffer.lastError(), "Input/output error");
    EXPECT_EQ(r.buffer.data().size(), 640u);
    EXPECT_EQ(r.script->opens, r.script->closes);

    // Releasing while recording stops and closes the device.
    r.script->fault = false;
    ASSERT_TRUE(r.buffer.startRecording(1.0));
    r.buffer.release();
    EXPECT_FALSE(r.buffer.isRecording());
    EXPECT_TRUE(r.buffer.data().empty());
    EXPECT_EQ(r.script->opens, r.script->closes);
}

// A 16 kHz 16-bit mono WAV file of n distinct samples.
std::string sourceWav(const TempDir& d, int n, int rate = 16000) {
    std::vector<int16_t> s(n);
    for (int i = 0; i < n; ++i) s[i] = int16_t(i * 7 - 20000);
    std::string path = d.file("mic.wav");
    writeFile(path, riff(chunk("fmt ", fmtData(1, 1, rate, 16)) + chunk("data", pcm16(s))));
    return path;
}

bool isPrefixOf(const std::vector<uint8_t>& got, const std::string& wavPath) {
    std::string file = readFile(wavPath);
    std::string data = file.substr(12 + 8 + 18 + 8);
    size_t n = std::min(got.size(), data.size());
    if (std::string(got.begin(), got.begin() + std::ptrdiff_t(n)) != data.substr(0, n)) return false;
    for (size_t i = n; i < got.size(); ++i)
        if (got[i] != 0) return false;  // silence after the end of the file
    return true;
}

TEST(FileCapture, PlaysTheFileInRealTime) {
    TempDir d;
    std::string wav = sourceWav(d, 8000);
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + wav).c_str());
    soundBuffer b(1, 16000, 16);

    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(b.startRecording(0.7)) << b.lastError();  // longer than the file
    EXPECT_FALSE(b.startRecording(0.7));
    EXPECT_EQ(b.lastError(), "Device required in use.");
    while (b.isRecording()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(took, 0.69);
    ASSERT_EQ(b.data().size(), 22400u);
    EXPECT_TRUE(isPrefixOf(b.data(), wav));

    // Early stop: about 0.2 s of the file, in whole frames.
    ASSERT_TRUE(b.startRecording(5.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(b.stopRecording());
    EXPECT_GE(b.data().size(), 6400u);
    EXPECT_LT(b.data().size(), 160000u);  // stopped before its 5 s were up
    EXPECT_EQ(b.data().size() % 2, 0u);
    EXPECT_TRUE(isPrefixOf(b.data(), wav));

    ASSERT_TRUE(b.startRecording(0.0));
    EXPECT_FALSE(b.isRecording());
    EXPECT_TRUE(b.data().empty());
}

TEST(FileCapture, RefusesMissingAndMismatchedFiles) {
    TempDir d;
    {
        ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + d.file("none.wav")).c_str());
        soundBuffer b(1, 16000, 16);
        EXPECT_FALSE(b.startRecording(1.0));
        EXPECT_EQ(b.lastError(), "Cannot play " + d.file("none.wav") + ": File open error.");
    }
    std::string wav = sourceWav(d, 100, 8000);
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + wav).c_str());
    soundBuffer b(1, 16000, 16);
    EXPECT_FALSE(b.startRecording(1.0));
    EXPECT_EQ(b.lastError().rfind("Wave format mismatch. ", 0), 0u) << b.lastError();
}

TEST(RecordCommand, RecordsFromTheFileDevice) {
    TempDir d;
    std::string wav = sourceWav(d, 16000);
    ScopedEnv env("KEDO_CAPTURE_DEVICE", ("file:" + wav).c_str());
    CliResult r = runCli("record 0.25 " + d.file("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\t===> Saved " + d.file("out.wav")), std::string::npos);
    soundBuffer b(1, 8000, 8);
    ASSERT_TRUE(readWav(b, d.file("out.wav")));
    EXPECT_EQ(b.format().samplesPerSec, 16000u);
    EXPECT_EQ(b.data().size(), 8000u);
    EXPECT_TRUE(isPrefixOf(b.data(), wav));

    r = runCli("record x " + d.file("out.wav"));
    EXPECT_EQ(r.status, 1);
    r = runCli("record -2 " + d.file("out.wav"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("SECONDS must be a number from 0.0000625 (one sample at 16000 Hz) to 3600, not '-2'"),
              std::string::npos)
        << r.err;
}

// The real ALSA path, through ALSA's file plugin reading a raw file as the
// capture data (not paced; repeats its last period at the end of the file).
TEST(AlsaCapture, RecordsThroughTheFilePlugin) {
    TempDir d;
    const int wanted = 8000;  // 0.5 s
    std::vector<int16_t> s(wanted * 2, 0);  // the second half is padding
    for (int i = 0; i < wanted; ++i) s[i] = int16_t((i * 131) % 30000 - 15000);
    writeFile(d.file("samples.raw"), pcm16(s));
    writeFile(d.file("test.conf"),
              "pcm.filemic { type file; slave.pcm \"null\"; file \"/dev/null\"; infile \"" + d.file("samples.raw") +
                  "\"; format \"raw\" }\n"
                  "pcm.mic16 { type plug; slave { pcm \"filemic\"; format S16_LE; rate 16000; channels 1 } }\n");
    ScopedEnv conf("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + d.file("test.conf")).c_str());
    snd_pcm_t* probe = nullptr;
    if (snd_pcm_open(&probe, "filemic", SND_PCM_STREAM_CAPTURE, 0) < 0)
        GTEST_SKIP() << "libasound cannot open its file plugin here";
    snd_pcm_close(probe);

    ScopedEnv device("KEDO_CAPTURE_DEVICE", "mic16");
    soundBuffer b(1, 16000, 16);
    ASSERT_TRUE(b.startRecording(0.5)) << b.lastError();
    auto t0 = std::chrono::steady_clock::now();
    while (b.isRecording()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    }
    EXPECT_EQ(b.lastError(), "No error.");
    std::string expect = pcm16(std::vector<int16_t>(s.begin(), s.begin() + wanted));
    ASSERT_EQ(b.data().size(), expect.size());
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), b.data().begin(),
                           [](char a, uint8_t c) { return uint8_t(a) == c; }));

    // A device that does not exist gives ALSA's own text.
    ScopedEnv missing("KEDO_CAPTURE_DEVICE", "no_such_pcm");
    soundBuffer c(1, 16000, 16);
    EXPECT_FALSE(c.startRecording(0.5));
    EXPECT_EQ(c.lastError(), snd_strerror(-ENOENT));
}

}  // namespace
}  // namespace kedo
