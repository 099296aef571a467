// What the Windows port changed in the shared code, checked on the native
// build: the recorder copies the capture buffer only after the device has
// been reset, host file names pass through the platform's conversion, and
// every file is read and written byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "audio/sound_buffer.h"
#include "facade/facade_fixture.h"
#include "support/test_support.h"
#include "util/file_util.h"

namespace kedo::test {
namespace {

// A device that, like a wave-in device, keeps writing into the buffer until
// it is reset: the position it reports may run ahead of the bytes that have
// landed in the buffer, and the last ones land during reset.
class LateCapture : public CaptureService {
public:
    bool open(const WaveFormat&, std::string&) override { return true; }
    bool start(uint8_t* buffer, size_t length, std::string&) override {
        m_buffer = buffer;
        m_length = length;
        return true;
    }
    bool position(size_t& bytes, std::string&) override {
        bytes = m_length;
        return true;
    }
    bool reset(std::string&) override {
        std::memset(m_buffer, 0x5A, m_length);  // the device's last delivery
        m_buffer = nullptr;
        return true;
    }
    bool close(std::string&) override { return true; }

private:
    uint8_t* m_buffer = nullptr;
    size_t m_length = 0;
};

TEST(PortRecorder, CopiesTheBufferAfterTheDeviceIsReset) {
    soundBuffer buffer(1, 16000, 16);
    buffer.setCaptureFactory([] { return std::make_unique<LateCapture>(); });
    ASSERT_TRUE(buffer.startRecording(0.01));
    EXPECT_FALSE(buffer.isRecording());  // full at once: stopped
    ASSERT_EQ(buffer.data().size(), 320u);
    for (uint8_t b : buffer.data()) ASSERT_EQ(b, 0x5A);
    // An explicit stop of a second recording copies after the reset too.
    ASSERT_TRUE(buffer.startRecording(0.005));
    ASSERT_TRUE(buffer.stopRecording());
    ASSERT_EQ(buffer.data().size(), 160u);
    EXPECT_EQ(buffer.data().front(), 0x5A);
    EXPECT_EQ(buffer.data().back(), 0x5A);
}

// The POSIX layer whose host file names are spelled differently for the C
// runtime (as on Windows, where they go to the thread's code page), and
// which refuses a name it cannot spell.
class RenamingPlatform : public TestPlatform {
public:
    using TestPlatform::TestPlatform;
    std::string toEngineFileName(const std::string& hostName, const char* what) const override {
        if (hostName.find('?') != std::string::npos)
            reportError(strFormat("The %s %s cannot be spelled (line %d of %s)", what, hostName.c_str(), __LINE__,
                                  "KEDO"));
        return "sys:" + hostName;
    }
};

class PortFacadeTest : public FacadeTest {
protected:
    std::unique_ptr<KEDO> makeRenamingEngine() {
        return KEDOInternals::make(home.path(), std::make_unique<RenamingPlatform>(recorder),
                                   scriptedPipeline(pipeline));
    }
};

TEST_F(PortFacadeTest, FileNamesGoThroughThePlatformSentencesDoNot) {
    auto engine = makeRenamingEngine();
    double score = 0;
    ASSERT_EQ(engine->Assess("a.wav", "hello", score), Status::ok) << engine->lastErrorMessage();
    std::string sentence;
    ASSERT_EQ(engine->Recog("b.wav", "list.txt", sentence), Status::ok) << engine->lastErrorMessage();
    ASSERT_EQ(pipeline->calls.size(), 2u);
    EXPECT_EQ(pipeline->calls[0].param.wavFile, "sys:a.wav");
    EXPECT_EQ(pipeline->calls[0].txtContent, "hello");
    EXPECT_EQ(pipeline->calls[1].param.wavFile, "sys:b.wav");
    EXPECT_EQ(pipeline->calls[1].param.txtFile, "sys:list.txt");
    // The record-and-* operations hand their own recording's name on.
    recorder->pollsWhileRecording = 0;
    ASSERT_EQ(engine->RecordAndAssess(0.5, "hello", score), Status::ok) << engine->lastErrorMessage();
    EXPECT_EQ(pipeline->calls.back().param.wavFile, "sys:kedoData/output/saWAV.wav");
}

TEST_F(PortFacadeTest, AFileNameThePlatformCannotSpellFailsTheOperation) {
    auto engine = makeRenamingEngine();
    std::string sentence = "unchanged";
    EXPECT_EQ(engine->Recog("a.wav", "what?.txt", sentence), Status::failed);
    EXPECT_NE(engine->lastErrorMessage().find("sentence list file name what?.txt"), std::string::npos)
        << engine->lastErrorMessage();
    EXPECT_EQ(sentence, "unchanged");
    EXPECT_TRUE(pipeline->calls.empty());
}

// Line ends stay as they are in both directions: a text mode would turn
// "\n" into "\r\n" on Windows and drop carriage returns on reading.
TEST(PortFiles, LinesAndNumbersKeepTheirBytes) {
    TempDir dir;
    writeLines(dir.file("lines.txt"), {"a\r", "b"});
    EXPECT_EQ(readFile(dir.file("lines.txt")), "a\r\nb\n");
    StrVec lines;
    readLines(dir.file("lines.txt"), lines, '#');
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "a\r");
    writeFloatFile(dir.file("score.txt"), 1e10f);
    EXPECT_EQ(readFile(dir.file("score.txt")), "1e+10\n");
    std::vector<float> values;
    writeFile(dir.file("floats.txt"), "1.5\r\n-2e3\r\n");
    readFloats(dir.file("floats.txt"), values);
    EXPECT_EQ(values, (std::vector<float>{1.5f, -2000.0f}));
}

}  // namespace
}  // namespace kedo::test
