// The ALSA capture service: a thread reads sample frames into the buffer.
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "audio/capture_service.h"
#include "audio/sound_buffer.h"

namespace kedo {

namespace {

class AlsaCapture final : public CaptureService {
public:
    explicit AlsaCapture(std::string device) : m_device(std::move(device)) {}
    ~AlsaCapture() override {
        std::string ignored;
        reset(ignored);
        close(ignored);
    }

    bool open(const WaveFormat& format, std::string& error) override {
        snd_pcm_format_t sampleFormat;
        if (format.bitsPerSample == 16)
            sampleFormat = SND_PCM_FORMAT_S16_LE;
        else if (format.bitsPerSample == 8)
            sampleFormat = SND_PCM_FORMAT_U8;
        else
            sampleFormat = SND_PCM_FORMAT_UNKNOWN;
        if (sampleFormat == SND_PCM_FORMAT_UNKNOWN || format.channels == 0 || format.samplesPerSec == 0 ||
            format.formatTag != WAVE_FORMAT_PCM) {
            error = soundBuffer::errorText(SB_FORMAT_MISMATCH);
            return false;
        }
        int rc = snd_pcm_open(&m_pcm, m_device.c_str(), SND_PCM_STREAM_CAPTURE, 0);
        if (rc < 0) {
            m_pcm = nullptr;
            error = snd_strerror(rc);
            return false;
        }
        // Soft resampling allowed; 100 ms of latency.
        rc = snd_pcm_set_params(m_pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.channels,
                                format.samplesPerSec, 1, 100000);
        snd_pcm_uframes_t bufferSize = 0;
        if (rc >= 0) rc = snd_pcm_get_params(m_pcm, &bufferSize, &m_period);
        if (rc < 0) {
            error = snd_strerror(rc);
            snd_pcm_close(m_pcm);
            m_pcm = nullptr;
            return false;
        }
        if (m_period == 0) m_period = 1024;
        m_frameBytes = format.blockAlign;
        return true;
    }

    bool start(uint8_t* buffer, size_t length, std::string& error) override {
        if (m_pcm == nullptr || m_thread.joinable()) {
            error = snd_strerror(-EBADFD);
            return false;
        }
        int rc = snd_pcm_prepare(m_pcm);
        if (rc >= 0) rc = snd_pcm_start(m_pcm);
        if (rc < 0) {
            error = snd_strerror(rc);
            return false;
        }
        m_buffer = buffer;
        m_length = length;
        m_captured.store(0);
        m_stop.store(false);
        m_fault = 0;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    bool position(size_t& bytes, std::string& error) override {
        bytes = m_captured.load(std::memory_order_acquire);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fault < 0) {
            error = snd_strerror(m_fault);
            return false;
        }
        return true;
    }

    bool reset(std::string& error) override {
        m_stop.store(true);
        if (m_thread.joinable()) m_thread.join();
        if (m_pcm != nullptr) {
            int rc = snd_pcm_drop(m_pcm);
            if (rc < 0) {
                error = snd_strerror(rc);
                return false;
            }
        }
        return true;
    }

    bool close(std::string& error) override {
        if (m_pcm == nullptr) return true;
        int rc = snd_pcm_close(m_pcm);
        m_pcm = nullptr;
        if (rc < 0) {
            error = snd_strerror(rc);
            return false;
        }
        return true;
    }

private:
    // The capture thread: reads at most one period at a time until the
    // buffer is full, the owner resets, or the device fails.
    void run() {
        size_t done = 0;
        while (!m_stop.load() && done < m_length) {
            int ready = snd_pcm_wait(m_pcm, 100);
            if (ready == 0) continue;
            if (ready < 0 && !recover(ready)) return;
            snd_pcm_uframes_t frames =
                std::min<snd_pcm_uframes_t>((m_length - done) / m_frameBytes, m_period);
            snd_pcm_sframes_t n = snd_pcm_readi(m_pcm, m_buffer + done, frames);
            if (n == -EAGAIN) continue;
            if (n < 0) {
                if (!recover(static_cast<int>(n))) return;
                continue;
            }
            done += static_cast<size_t>(n) * m_frameBytes;
            m_captured.store(done, std::memory_order_release);
        }
    }

    // Recovers from an overrun or suspend; a failure is kept as the fault.
    bool recover(int err) {
        int rc = snd_pcm_recover(m_pcm, err, 1);
        if (rc >= 0 && snd_pcm_state(m_pcm) != SND_PCM_STATE_RUNNING) rc = snd_pcm_start(m_pcm);
        if (rc >= 0) return true;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fault = rc;
        return false;
    }

    std::string m_device;
    snd_pcm_t* m_pcm = nullptr;
    snd_pcm_uframes_t m_period = 0;
    size_t m_frameBytes = 1;
    uint8_t* m_buffer = nullptr;
    size_t m_length = 0;
    std::atomic<size_t> m_captured{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    int m_fault = 0;
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<CaptureService> makeAlsaCapture(const std::string& device) {
    return std::make_unique<AlsaCapture>(device);
}

}  // namespace kedo
