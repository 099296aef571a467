// The capture service behind the recorder: a device that fills one buffer
// with PCM samples and reports how many bytes it has captured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave_format.h"

namespace kedo {

// Every operation returns false and sets `error` to the device's own text on
// failure. Call order: open, start, position (any number of times), reset,
// close. The service may write into the buffer from its own thread between
// start and reset, never after reset returns; position is safe to call from
// the owner's thread meanwhile.
class CaptureService {
public:
    virtual ~CaptureService() = default;
    // Opens the device for the format (PCM, 8 or 16 bits).
    virtual bool open(const WaveFormat& format, std::string& error) = 0;
    // Starts filling buffer[0, length) from its beginning; length is a whole
    // number of sample frames. The buffer stays owned by the caller.
    virtual bool start(uint8_t* buffer, size_t length, std::string& error) = 0;
    // Bytes captured so far (never more than the length). After a device
    // fault, returns false with its text and `bytes` = the bytes captured
    // before the fault.
    virtual bool position(size_t& bytes, std::string& error) = 0;
    // Stops capturing; the buffer is no longer touched afterwards.
    virtual bool reset(std::string& error) = 0;
    virtual bool close(std::string& error) = 0;
};

// The capture device named by the environment variable KEDO_CAPTURE_DEVICE:
// "file:PATH" plays the WAV file PATH in real time as if it were the
// microphone. Otherwise, on Windows, the default wave-in device (the wave
// mapper); elsewhere any other value names an ALSA capture device, and unset
// or empty means ALSA's "default".
std::unique_ptr<CaptureService> makeCaptureService();
#ifdef _WIN32
std::unique_ptr<CaptureService> makeWinmmCapture();
#else
std::unique_ptr<CaptureService> makeAlsaCapture(const std::string& device);
#endif
std::unique_ptr<CaptureService> makeFileCapture(const std::string& wavPath);

}  // namespace kedo
