// Choosing the reader for an audio file and turning its bytes into samples.
#include "audio/audio_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "audio/flv_audio.h"
#include "audio/media_audio.h"
#include "audio/sound_buffer.h"
#include "audio/wav_file.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr const char* kModule = "audioFile";

enum class Reader { wav, flv, raw, media, none };

// The endings each reader is chosen by, compared exactly.
struct Ending {
    const char* text;
    Reader reader;
};
constexpr Ending kEndings[] = {{"wav", Reader::wav}, {"WAV", Reader::wav}, {"wa1", Reader::wav},
                               {"WA1", Reader::wav}, {"wa2", Reader::wav}, {"WA2", Reader::wav},
                               {"raw", Reader::raw}, {"RAW", Reader::raw}, {"flv", Reader::flv},
                               {"FLV", Reader::flv}};

// The reader chosen by the last three characters of the name, compared
// exactly.
Reader readerByEnding(const std::string& path) {
    if (path.size() < 3) return Reader::none;
    std::string end = path.substr(path.size() - 3);
    for (const Ending& e : kEndings)
        if (end == e.text) return e.reader;
    return Reader::none;
}

std::string acceptedEndings() {
    std::string out;
    for (const Ending& e : kEndings) out += (out.empty() ? "" : ", ") + std::string(e.text);
    if (mediaAudioSupported())
        out += "; or a compressed recording (webm, weba, ogg, oga, opus, mp4, m4a, aac, mp3, in any case), also recognised by its content";
    return out;
}

// Why a WAV file could not be read, in words a user can act on.
std::string wavFailure(const std::string& path, const soundBuffer& buffer) {
    if (!fileExists(path)) return "the file does not exist or cannot be read";
    const std::string& code = buffer.lastError();
    if (code == soundBuffer::errorText(SB_CHUNK_READ))
        return "it is not a valid WAV file: no RIFF WAVE header with a \"fmt \" and a \"data\" chunk (" + code + ")";
    if (code == soundBuffer::errorText(SB_DATA_READ))
        return "its \"data\" chunk is empty, cut short or too large (" + code + ")";
    return code;
}

// The name of a WAV format tag the reader does not decode.
const char* formatTagName(int tag) {
    switch (tag) {
        case 0: return "unknown";
        case 2: return "Microsoft ADPCM";
        case 3: return "IEEE float";
        case 0x11: return "IMA ADPCM";
        case 0x31: return "GSM 6.10";
        case 0x50: return "MPEG";
        case 0x55: return "MPEG layer 3";
        case WAVE_FORMAT_EXTENSIBLE: return "extensible, without a sub-format";
        default: return "not decoded";
    }
}

// The compressed formats by their usual file name extension, in any case.
bool hasMediaExtension(const std::string& path) {
    static constexpr const char* kExtensions[] = {"webm", "weba", "ogg", "oga", "opus", "mp4", "m4a", "aac", "mp3"};
    size_t dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](const char* e) { return ext == e; });
}

// The reader chosen by the file's first bytes.
Reader readerByContent(const std::string& path) {
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr) return Reader::none;
    uint8_t head[16] = {0};
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) return Reader::wav;
    if (n >= 4 && std::memcmp(head, "FLV\x01", 4) == 0) return Reader::flv;
    if (looksLikeMedia(head, n)) return Reader::media;
    return Reader::none;
}

// Known endings first; where the build decodes compressed audio, the usual
// extensions of the compressed formats next, and then the content.
Reader readerFor(const std::string& path) {
    Reader r = readerByEnding(path);
    if (r != Reader::none || !mediaAudioSupported()) return r;
    if (hasMediaExtension(path)) return Reader::media;
    return readerByContent(path);
}

SampleArray readWavSamples(const std::string& path, int* channels) {
    soundBuffer buffer(1, 8000, 8);
    if (!readWav(buffer, path))
        reportError(strFormat("Can't open wave file %s (line %d in %s): %s", path.c_str(), __LINE__, kModule,
                              wavFailure(path, buffer).c_str()));
    const WaveFormat& f = buffer.format();
    if (f.formatTag != WAVE_FORMAT_PCM)
        reportError(strFormat("Wave file %s has format tag %d (%s), which the reader cannot decode; it reads PCM (1), "
                              "A-law (6) and mu-law (7) (line %d of %s)",
                              path.c_str(), f.formatTag, formatTagName(f.formatTag), __LINE__, kModule));
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16)
        reportError(strFormat("Wave file %s has %d bits per sample; only 8 and 16 are supported (line %d of %s)",
                              path.c_str(), f.bitsPerSample, __LINE__, kModule));
    if (f.samplesPerSec == 0 || f.channels == 0)
        reportError(strFormat("Wave file %s has an invalid format: %u Hz, %d channels (line %d of %s)",
                              path.c_str(), f.samplesPerSec, f.channels, __LINE__, kModule));
    SampleArray out;
    out.rate = static_cast<int>(f.samplesPerSec);
    out.bits = f.bitsPerSample;
    out.samples.resize(buffer.data().size() / (f.bitsPerSample / 8));
    buffer.getSamples(out.samples.data(), out.count());
    if (channels) *channels = f.channels;
    return out;
}

SampleArray readRawSamples(const std::string& path) {
    long size = fileSize(path);
    if (size < 0 || static_cast<unsigned long>(size) > MAX_AUDIO_FILE_BYTES)
        reportError(strFormat("Audio file %s is too large: %ld bytes, at most %lu (line %d of %s)", path.c_str(), size,
                              MAX_AUDIO_FILE_BYTES, __LINE__, kModule));
    SampleArray out;
    out.rate = 16000;
    out.bits = 16;
    size_t count = static_cast<size_t>(size) / 2;
    std::vector<uint8_t> bytes(count * 2);
    FilePtr f = openFile(path, "rb");
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f.get());
    out.samples.resize(got / 2);
    for (size_t i = 0; i < out.samples.size(); ++i)
        out.samples[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return out;
}

}  // namespace

namespace {

SampleArray loadAudio(const std::string& path, int* channels) {
    switch (readerFor(path)) {
        case Reader::wav: return readWavSamples(path, channels);
        case Reader::raw:
            if (channels) *channels = 1;
            return readRawSamples(path);
        case Reader::flv: {
            FlvAudio flv = readFlvAudio(path);
            SampleArray out;
            out.rate = flv.rate;
            out.bits = flv.bits;
            out.samples.assign(flv.samples.begin(), flv.samples.end());
            if (channels) *channels = flv.channels;
            return out;
        }
        case Reader::media:
            if (channels) *channels = 1;
            return readMediaAudio(path);
        case Reader::none: break;
    }
    reportError(strFormat("Cannot read audio file %s based on its extension name... The name must end in one of: %s",
                          path.c_str(), acceptedEndings().c_str()));
}

}  // namespace

SampleArray readAudioFile(const std::string& path, int* channels) {
    try {
        return loadAudio(path, channels);
    } catch (const KedoError& e) {
        if (e.kind() != ErrorKind::engine) throw;
        throw KedoError(e.what(), ErrorKind::badAudio);
    }
}

void mixToMono(SampleArray& wave, int channels) {
    if (channels <= 1) return;
    const size_t frames = wave.samples.size() / static_cast<size_t>(channels);
    for (size_t i = 0; i < frames; ++i) {
        int64_t sum = 0;
        for (int c = 0; c < channels; ++c) sum += wave.samples[i * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        // The mean, rounded to nearest with halves away from zero.
        const int64_t mean = sum >= 0 ? (2 * sum + channels) / (2 * channels) : -((-2 * sum + channels) / (2 * channels));
        wave.samples[i] = static_cast<int32_t>(mean);
    }
    wave.samples.resize(frames);
}

SampleArray readMonoAudioFile(const std::string& path) {
    int channels = 1;
    SampleArray wave = readAudioFile(path, &channels);
    mixToMono(wave, channels);
    return wave;
}

}  // namespace kedo
