// The winmm wave-in capture service: the default input device (the wave
// mapper) fills one buffer; its position is asked in bytes.
// The engine's headers come first: <mmsystem.h> defines WAVE_FORMAT_PCM as
// a macro, which would rewrite the engine's constant of that name.
#include "audio/capture_service.h"
#include "audio/sound_buffer.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>

namespace kedo {

namespace {

// The service's own text for an error code, at most 511 characters.
std::string waveInErrorText(MMRESULT code) {
    char text[512] = {};
    if (waveInGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR || text[0] == '\0')
        return "Wave-in error " + std::to_string(code) + ".";
    return std::string(text, strnlen(text, sizeof text - 1));
}

class WinmmCapture final : public CaptureService {
public:
    ~WinmmCapture() override {
        std::string ignored;
        reset(ignored);
        close(ignored);
    }

    bool open(const WaveFormat& format, std::string& error) override {
        if (format.formatTag != WAVE_FORMAT_PCM || format.blockAlign == 0 ||
            (format.bitsPerSample != 8 && format.bitsPerSample != 16)) {
            error = soundBuffer::errorText(SB_FORMAT_MISMATCH);
            return false;
        }
        WAVEFORMATEX wf{};
        wf.wFormatTag = WAVE_FORMAT_PCM;
        wf.nChannels = format.channels;
        wf.nSamplesPerSec = format.samplesPerSec;
        wf.nAvgBytesPerSec = format.avgBytesPerSec;
        wf.nBlockAlign = format.blockAlign;
        wf.wBitsPerSample = format.bitsPerSample;
        wf.cbSize = 0;
        HWAVEIN handle = nullptr;
        MMRESULT rc = waveInOpen(&handle, WAVE_MAPPER, &wf, 0, 0, CALLBACK_NULL);
        if (rc != MMSYSERR_NOERROR) {
            error = waveInErrorText(rc);
            return false;
        }
        m_handle = handle;
        m_blockAlign = format.blockAlign;
        return true;
    }

    bool start(uint8_t* buffer, size_t length, std::string& error) override {
        if (m_handle == nullptr || m_prepared) return fail(MMSYSERR_INVALHANDLE, error);
        m_header = WAVEHDR{};
        m_header.lpData = reinterpret_cast<LPSTR>(buffer);
        m_header.dwBufferLength = static_cast<DWORD>(length);
        m_length = length;
        m_lastPosition = 0;
        MMRESULT rc = waveInPrepareHeader(m_handle, &m_header, sizeof m_header);
        if (rc != MMSYSERR_NOERROR) return fail(rc, error);
        m_prepared = true;
        rc = waveInAddBuffer(m_handle, &m_header, sizeof m_header);
        if (rc == MMSYSERR_NOERROR) rc = waveInStart(m_handle);
        if (rc != MMSYSERR_NOERROR) return fail(rc, error);
        m_started = true;
        return true;
    }

    // The device counts the bytes it has taken in; they are in the buffer for
    // certain only once the device has returned it (done), so until then the
    // last sample frame counts as outstanding.
    bool position(size_t& bytes, std::string& error) override {
        bytes = m_lastPosition;
        if (m_handle == nullptr || !m_started) return true;
        MMTIME time{};
        time.wType = TIME_BYTES;
        MMRESULT rc = waveInGetPosition(m_handle, &time, sizeof time);
        if (rc != MMSYSERR_NOERROR) return fail(rc, error);
        if (time.wType != TIME_BYTES) {
            error = soundBuffer::errorText(SB_TIME_FORMAT);
            return false;
        }
        size_t pos = std::min<size_t>(time.u.cb, m_length);
        pos -= pos % m_blockAlign;
        if ((m_header.dwFlags & WHDR_DONE) != 0)
            pos = std::min<size_t>(std::max<size_t>(pos, m_header.dwBytesRecorded), m_length);
        else if (pos >= m_length)
            pos = m_length >= m_blockAlign ? m_length - m_blockAlign : 0;
        bytes = m_lastPosition = std::max(pos, m_lastPosition);
        return true;
    }

    bool reset(std::string& error) override {
        if (m_handle == nullptr) return true;
        MMRESULT rc = MMSYSERR_NOERROR;
        if (m_started) {
            rc = waveInReset(m_handle);
            m_started = false;
        }
        if (m_prepared) {
            MMRESULT unprepared = waveInUnprepareHeader(m_handle, &m_header, sizeof m_header);
            m_prepared = false;
            if (rc == MMSYSERR_NOERROR) rc = unprepared;
        }
        if (rc != MMSYSERR_NOERROR) return fail(rc, error);
        return true;
    }

    bool close(std::string& error) override {
        if (m_handle == nullptr) return true;
        if (m_prepared || m_started) reset(error);
        MMRESULT rc = waveInClose(m_handle);
        m_handle = nullptr;
        if (rc != MMSYSERR_NOERROR) return fail(rc, error);
        return true;
    }

private:
    static bool fail(MMRESULT rc, std::string& error) {
        error = waveInErrorText(rc);
        return false;
    }

    HWAVEIN m_handle = nullptr;
    WAVEHDR m_header{};
    bool m_prepared = false;
    bool m_started = false;
    size_t m_length = 0;
    size_t m_blockAlign = 1;
    size_t m_lastPosition = 0;
};

}  // namespace

std::unique_ptr<CaptureService> makeWinmmCapture() { return std::make_unique<WinmmCapture>(); }

}  // namespace kedo
