// The recorder of the platform layers: the audio subsystem's sound buffer,
// with the capture device that KEDO_CAPTURE_DEVICE names.
#include "audio/sound_buffer.h"
#include "audio/wav_file.h"
#include "facade/platform.h"

namespace kedo {

namespace {

class SoundBufferRecorder : public Recorder {
public:
    SoundBufferRecorder(int channels, int rate, int bits) : m_buffer(channels, rate, bits) {}
    bool startRecording(double seconds) override { return m_buffer.startRecording(seconds); }
    bool isRecording() override { return m_buffer.isRecording(); }
    bool stopRecording() override { return m_buffer.stopRecording(); }
    bool writeWav(const std::string& path) override { return kedo::writeWav(m_buffer, path); }
    std::string lastError() const override { return m_buffer.lastError(); }

private:
    soundBuffer m_buffer;
};

}  // namespace

std::unique_ptr<Recorder> makeSoundBufferRecorder(int channels, int rate, int bits) {
    return std::make_unique<SoundBufferRecorder>(channels, rate, bits);
}

}  // namespace kedo
