// Test signals for the front end: tones, chirps, noise, synthesised speech.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kedo::test {

// A harmonic tone: fundamental f0 Hz (or a glide from f0 to f1 over the
// length), the given number of harmonics with falling amplitudes, peak near
// amp, plus uniform noise of the given amplitude.
inline std::vector<int32_t> harmonicTone(int len, int fs, double f0, double f1, int harmonics, double amp,
                                         double noiseAmp = 0.0, unsigned seed = 1) {
    std::vector<int32_t> x(len);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    double phase = 0.0, norm = 0.0;
    for (int h = 1; h <= harmonics; ++h) norm += 1.0 / h;
    for (int i = 0; i < len; ++i) {
        double f = f0 + (f1 - f0) * i / len;
        phase += 2.0 * M_PI * f / fs;
        double v = 0.0;
        for (int h = 1; h <= harmonics; ++h) v += std::sin(h * phase) / h;
        x[i] = static_cast<int32_t>(std::lround(amp * v / norm + noiseAmp * u(rng)));
    }
    return x;
}

inline std::vector<int32_t> whiteNoise(int len, double amp, unsigned seed = 7) {
    std::vector<int32_t> x(len);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-amp, amp);
    for (int& v : x) v = static_cast<int32_t>(std::lround(u(rng)));
    return x;
}

// Linear chirp from f0 to f1 Hz.
inline std::vector<int32_t> chirp(int len, int fs, double f0, double f1, double amp) {
    std::vector<int32_t> x(len);
    for (int i = 0; i < len; ++i) {
        double t = static_cast<double>(i) / fs, dur = static_cast<double>(len) / fs;
        x[i] = static_cast<int32_t>(std::lround(amp * std::sin(2.0 * M_PI * (f0 * t + (f1 - f0) * t * t / (2 * dur)))));
    }
    return x;
}

inline void writeRaw16(const std::string& path, const std::vector<int32_t>& x) {
    std::string bytes;
    for (int32_t v : x) {
        int16_t s = static_cast<int16_t>(v);
        bytes.push_back(static_cast<char>(s & 0xff));
        bytes.push_back(static_cast<char>((s >> 8) & 0xff));
    }
    writeFile(path, bytes);
}

inline std::vector<int32_t> readRaw16(const std::string& path) {
    std::string bytes = readFile(path);
    std::vector<int32_t> x(bytes.size() / 2);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    return x;
}

// Speech from espeak-ng, at 16000 Hz, 16 bits; empty if the tools fail.
inline std::vector<int32_t> synthSpeech(const TempDir& dir, const std::string& text) {
    std::string wav = dir.file("speech.wav"), raw = dir.file("speech.raw");
    CliResult r = runShell("espeak-ng -w '" + wav + "' '" + text + "' && sox '" + wav +
                           "' -t raw -e signed -b 16 -r 16000 -c 1 '" + raw + "'");
    if (r.status != 0) return {};
    return readRaw16(raw);
}

}  // namespace kedo::test
