// The sound buffer and its recorder states.
#include "audio/sound_buffer.h"

#include <algorithm>
#include <cmath>

#include "util/limits.h"

namespace kedo {

const char* soundBuffer::errorText(int code) {
    switch (code) {
        case SB_NO_ERROR: return "No error.";
        case SB_FORMAT_MISMATCH: return "Wave format mismatch.";
        case SB_DEVICE_IN_USE: return "Device required in use.";
        case SB_TIME_FORMAT: return "MMTIME required time format not supported.";
        case SB_FILE_OPEN: return "File open error.";
        case SB_FILE_CLOSE: return "File close error.";
        case SB_CHUNK_READ: return "File chunk read error.";
        case SB_DATA_READ: return "File data read error.";
        case SB_CHUNK_WRITE: return "File chunk write error.";
        case SB_DATA_WRITE: return "File data write error.";
        case SB_BAD_LENGTH: return "Recording length out of range.";
        default: return "Unspecified error.";
    }
}

soundBuffer::soundBuffer(int channels, int rate, int bits) : m_factory(makeCaptureService) {
    setFormat(channels, rate, bits);
}

soundBuffer::~soundBuffer() { release(); }

void soundBuffer::setFormat(int channels, int rate, int bits) {
    release();
    m_format.formatTag = WAVE_FORMAT_PCM;
    m_format.channels = static_cast<uint16_t>(channels);
    m_format.samplesPerSec = static_cast<uint32_t>(rate);
    m_format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    m_format.avgBytesPerSec = static_cast<uint32_t>(m_format.blockAlign) * m_format.samplesPerSec;
    m_format.bitsPerSample = static_cast<uint16_t>(bits);
    m_format.extraSize = 0;
}

void soundBuffer::release() {
    if (m_recording && !stopRecording()) {
        // The device would not report its position: end the recording anyway.
        finishRecording(0);
    }
    if (m_device) {
        std::string ignored;
        m_device->close(ignored);
        m_device.reset();
    }
    std::vector<uint8_t>().swap(m_capture);
    std::vector<uint8_t>().swap(m_data);
}

bool soundBuffer::position(size_t& bytes) {
    std::string error;
    if (m_device->position(bytes, error)) return true;
    m_lastError = error;
    return false;
}

// The device is reset before the captured bytes are copied: a wave-in
// device may still be writing into the buffer until it has been reset.
bool soundBuffer::finishRecording(size_t bytes) {
    bytes = std::min(bytes, m_capture.size());
    m_recording = false;
    bool ok = true;
    std::string error;
    if (m_device) {
        ok = m_device->reset(error) && m_device->close(error);
        m_device.reset();
    }
    m_data.assign(m_capture.begin(), m_capture.begin() + static_cast<std::ptrdiff_t>(bytes));
    if (!ok) m_lastError = error;
    return ok;
}

bool soundBuffer::startRecording(double seconds) {
    if (m_recording) {
        size_t pos = 0;
        if (!position(pos)) return false;
        if (pos >= m_capture.size()) stopRecording();
        if (m_recording) {
            setError(SB_DEVICE_IN_USE);
            return false;
        }
    }
    if (!std::isfinite(seconds) || seconds < 0.0 || seconds > MAX_RECORD_SECONDS) {
        setError(SB_BAD_LENGTH);
        return false;
    }
    std::string error;
    if (!m_device) {
        std::unique_ptr<CaptureService> device = m_factory ? m_factory() : makeCaptureService();
        if (!device->open(m_format, error)) {
            m_lastError = error;
            return false;
        }
        m_device = std::move(device);
    }
    // Whole sample frames only: the device delivers frames, so a ragged
    // length could never be reached.
    size_t length = static_cast<size_t>(static_cast<double>(m_format.avgBytesPerSec) * seconds);
    if (m_format.blockAlign > 1) length -= length % m_format.blockAlign;
    m_capture.assign(length, 0);
    if (!m_device->start(m_capture.data(), m_capture.size(), error)) {
        m_lastError = error;
        m_device->close(error);
        m_device.reset();
        return false;
    }
    m_recording = true;
    return true;
}

bool soundBuffer::isRecording() {
    if (m_recording) {
        size_t pos = 0;
        std::string error;
        if (m_device->position(pos, error)) {
            if (pos >= m_capture.size()) stopRecording();
        } else {
            // A device fault ends the recording with what it had captured.
            finishRecording(pos);
            m_lastError = error;
        }
    }
    return m_recording;
}

bool soundBuffer::stopRecording() {
    if (!m_recording) return true;
    size_t pos = 0;
    std::string error;
    if (!m_device->position(pos, error)) {
        finishRecording(pos);
        m_lastError = error;
        return false;
    }
    return finishRecording(pos);
}

int soundBuffer::getSamples(int32_t* dest, int maxCount) const {
    int bytesPerSample = m_format.bitsPerSample / 8;
    if (dest == nullptr || maxCount <= 0 || (m_format.bitsPerSample != 8 && m_format.bitsPerSample != 16)) return 0;
    size_t available = m_data.size() / static_cast<size_t>(bytesPerSample);
    int count = static_cast<int>(std::min(available, static_cast<size_t>(maxCount)));
    const uint8_t* p = m_data.data();
    if (bytesPerSample == 1) {
        for (int i = 0; i < count; ++i) dest[i] = p[i];
    } else {
        for (int i = 0; i < count; ++i) dest[i] = static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    }
    return count;
}

}  // namespace kedo
