// The sound buffer: a wave format header with its sample bytes, and the
// microphone recorder that fills them.
//
// Typical use (the engine facade):
//   soundBuffer rec(1, 16000, 16);
//   if (rec.startRecording(3.0))
//       while (rec.isRecording()) sleep 100 ms;
//   writeWav(rec, "saWAV.wav");            // see audio/wav_file.h
// Failures never raise: an operation returns false and leaves its reason in
// lastError().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/capture_service.h"
#include "audio/wave_format.h"

namespace kedo {

// Codes of the buffer's own error texts (soundBuffer::errorText).
enum soundBufferError {
    SB_NO_ERROR = 0,
    SB_FORMAT_MISMATCH = 1,
    SB_DEVICE_IN_USE = 2,
    SB_TIME_FORMAT = 3,
    SB_FILE_OPEN = 4,
    SB_FILE_CLOSE = 5,
    SB_CHUNK_READ = 6,
    SB_DATA_READ = 7,
    SB_CHUNK_WRITE = 8,
    SB_DATA_WRITE = 9,
    SB_BAD_LENGTH = 10,
};

// Not safe to share between threads: one owner calls every operation. While a
// recording runs, the capture service writes into the capture buffer on its
// own thread; the buffer reads only the captured byte count until the device
// has been reset.
class soundBuffer {
public:
    // Creates a new capture service whenever the device is opened.
    using CaptureFactory = std::function<std::unique_ptr<CaptureService>()>;

    // A buffer of the given PCM format (see setFormat), with no samples. The
    // device is the one KEDO_CAPTURE_DEVICE names (makeCaptureService).
    soundBuffer(int channels, int rate, int bits);
    ~soundBuffer();
    soundBuffer(const soundBuffer&) = delete;
    soundBuffer& operator=(const soundBuffer&) = delete;

    // Releases everything, then sets a PCM header: block align =
    // channels * bits / 8, average bytes per second = block align * rate.
    void setFormat(int channels, int rate, int bits);

    // Starts recording `seconds` of audio into a zeroed buffer of
    // (average bytes per second * seconds) bytes, rounded down to whole
    // sample frames. Refused ("Device required in use.") while a recording
    // is still filling its buffer.
    bool startRecording(double seconds);
    // True while a recording runs; stops a recording whose buffer is full.
    bool isRecording();
    // Stops a recording, keeping exactly the bytes captured so far. True if
    // nothing was recording.
    bool stopRecording();

    // Copies at most maxCount samples to dest as 32-bit integers (8-bit data
    // unsigned 0..255, 16-bit data signed); other depths copy nothing.
    // Returns the count copied.
    int getSamples(int32_t* dest, int maxCount) const;

    const std::string& lastError() const { return m_lastError; }
    // Stops a recording, closes the device and frees all sample bytes.
    void release();

    // The wave format header and the recorded (or read) sample bytes.
    const WaveFormat& format() const { return m_format; }
    const std::vector<uint8_t>& data() const { return m_data; }
    // Replaces the header and the sample bytes (the WAV reader's way in).
    void setFormatHeader(const WaveFormat& format) { m_format = format; }
    void setData(std::vector<uint8_t> bytes) { m_data = std::move(bytes); }
    // Stores one of the buffer's own error texts, or any text, as lastError.
    void setError(int code) { m_lastError = errorText(code); }
    void setErrorText(const std::string& text) { m_lastError = text; }

    // Uses another capture service (for example a test double). Takes effect
    // the next time the device is opened.
    void setCaptureFactory(CaptureFactory factory) { m_factory = std::move(factory); }

    // "No error.", "Wave format mismatch.", ... ; "Unspecified error." for
    // unknown codes.
    static const char* errorText(int code);

private:
    // Reads the device position; on failure stores the reason.
    bool position(size_t& bytes);
    // Ends the running recording keeping `bytes` captured bytes, then resets
    // and closes the device. False (reason stored) if the device fails.
    bool finishRecording(size_t bytes);

    WaveFormat m_format;
    std::vector<uint8_t> m_capture;  // the buffer the device fills
    std::vector<uint8_t> m_data;     // recorded or read sample bytes
    std::unique_ptr<CaptureService> m_device;
    CaptureFactory m_factory;
    bool m_recording = false;
    std::string m_lastError = "No error.";
};

}  // namespace kedo
