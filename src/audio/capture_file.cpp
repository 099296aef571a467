// The file-backed capture service, and the choice of service by
// KEDO_CAPTURE_DEVICE.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "audio/capture_service.h"
#include "audio/sound_buffer.h"
#include "audio/wav_file.h"

namespace kedo {

namespace {

// Plays a WAV file as if it were the microphone: bytes become available at
// the format's byte rate from the moment of start; after the end of the file
// the "microphone" hears silence. The buffer is filled on the owner's thread
// whenever the position is asked, so no thread is needed.
class FileCapture final : public CaptureService {
public:
    explicit FileCapture(std::string path) : m_path(std::move(path)) {}

    bool open(const WaveFormat& format, std::string& error) override {
        soundBuffer source(1, 8000, 8);
        if (!readWav(source, m_path)) {
            error = "Cannot play " + m_path + ": " + source.lastError();
            return false;
        }
        const WaveFormat& f = source.format();
        if (format.formatTag != WAVE_FORMAT_PCM || f.channels != format.channels ||
            f.samplesPerSec != format.samplesPerSec || f.bitsPerSample != format.bitsPerSample ||
            format.blockAlign == 0) {
            error = std::string(soundBuffer::errorText(SB_FORMAT_MISMATCH)) + " " + m_path + " is " +
                    std::to_string(f.samplesPerSec) + " Hz, " + std::to_string(f.bitsPerSample) + "-bit, " +
                    std::to_string(f.channels) + " channel(s); the device plays it as the recording format: " +
                    std::to_string(format.samplesPerSec) + " Hz, " + std::to_string(format.bitsPerSample) + "-bit, " +
                    (format.channels == 1 ? std::string("mono") : std::to_string(format.channels) + " channels") +
                    " PCM";
            return false;
        }
        m_samples = source.data();
        m_bytesPerSecond = format.avgBytesPerSec;
        m_blockAlign = format.blockAlign;
        m_open = true;
        return true;
    }

    bool start(uint8_t* buffer, size_t length, std::string& error) override {
        if (!m_open) {
            error = "Device not open.";
            return false;
        }
        m_buffer = buffer;
        m_length = length;
        m_filled = 0;
        m_running = true;
        m_start = std::chrono::steady_clock::now();
        return true;
    }

    bool position(size_t& bytes, std::string&) override {
        if (m_running) fill();
        bytes = m_filled;
        return true;
    }

    bool reset(std::string&) override {
        if (m_running) fill();
        m_running = false;
        return true;
    }

    bool close(std::string&) override {
        m_open = false;
        return true;
    }

private:
    void fill() {
        double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        size_t due = static_cast<size_t>(elapsed * m_bytesPerSecond);
        due -= due % m_blockAlign;
        due = std::min(due, m_length);
        if (due <= m_filled) return;
        if (m_filled < m_samples.size()) {
            size_t end = std::min(due, m_samples.size());
            std::memcpy(m_buffer + m_filled, m_samples.data() + m_filled, end - m_filled);
        }
        m_filled = due;
    }

    std::string m_path;
    std::vector<uint8_t> m_samples;
    double m_bytesPerSecond = 0;
    size_t m_blockAlign = 1;
    bool m_open = false;
    bool m_running = false;
    uint8_t* m_buffer = nullptr;
    size_t m_length = 0;
    size_t m_filled = 0;
    std::chrono::steady_clock::time_point m_start;
};

}  // namespace

std::unique_ptr<CaptureService> makeFileCapture(const std::string& wavPath) {
    return std::make_unique<FileCapture>(wavPath);
}

std::unique_ptr<CaptureService> makeCaptureService() {
    const char* name = std::getenv("KEDO_CAPTURE_DEVICE");
    std::string device = (name != nullptr && *name != '\0') ? name : "default";
    if (device.compare(0, 5, "file:") == 0) return makeFileCapture(device.substr(5));
#ifdef _WIN32
    return makeWinmmCapture();
#else
    return makeAlsaCapture(device);
#endif
}

}  // namespace kedo
