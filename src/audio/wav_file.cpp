// Our own RIFF reader and writer for WAV files.
#include "audio/wav_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "util/file_util.h"
#include "util/limits.h"

namespace kedo {

namespace {

constexpr int kBias = 132;
constexpr int kClip = 32635;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
uint32_t get16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return get16(p) | (get16(p + 2) << 16); }

void encodeHeader(const WaveFormat& f, uint8_t* out) {
    put16(out, f.formatTag);
    put16(out + 2, f.channels);
    put32(out + 4, f.samplesPerSec);
    put32(out + 8, f.avgBytesPerSec);
    put16(out + 12, f.blockAlign);
    put16(out + 14, f.bitsPerSample);
    put16(out + 16, f.extraSize);
}

// Overwrites the first n bytes of the header with the file's fields; the
// rest keep their values (a 16-byte "fmt " chunk has no extra-size field).
void decodeHeader(const uint8_t* in, size_t n, WaveFormat& f) {
    uint8_t raw[WAVE_FORMAT_BYTES];
    encodeHeader(f, raw);
    std::memcpy(raw, in, n);
    f.formatTag = static_cast<uint16_t>(get16(raw));
    f.channels = static_cast<uint16_t>(get16(raw + 2));
    f.samplesPerSec = get32(raw + 4);
    f.avgBytesPerSec = get32(raw + 8);
    f.blockAlign = static_cast<uint16_t>(get16(raw + 12));
    f.bitsPerSample = static_cast<uint16_t>(get16(raw + 14));
    f.extraSize = static_cast<uint16_t>(get16(raw + 16));
}

// A chunk inside a file image: where its data starts and how long it claims
// to be (possibly running past the end of the image).
struct Chunk {
    size_t data = 0;
    uint64_t size = 0;
};

// Looks for a chunk with the given id among the chunks in [begin, end),
// stepping over each one's data and pad byte. With form, the chunk must also
// start with that form type.
bool findChunk(const uint8_t* image, size_t begin, size_t end, const char* id, const char* form, Chunk& out) {
    size_t pos = begin;
    while (end - pos >= 8) {
        const uint8_t* h = image + pos;
        uint64_t size = get32(h + 4);
        if (std::memcmp(h, id, 4) == 0 &&
            (form == nullptr || (size >= 4 && end - pos >= 12 && std::memcmp(h + 8, form, 4) == 0))) {
            out.data = pos + 8;
            out.size = size;
            return true;
        }
        uint64_t next = pos + 8 + size + (size & 1);
        if (next > end) return false;
        pos = static_cast<size_t>(next);
    }
    return false;
}

}  // namespace

uint8_t linearToMuLaw(int16_t sample) {
    static const std::array<uint8_t, 256> exponentOf = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            int e = 0;
            for (int v = i; v > 1; v >>= 1) ++e;
            t[i] = static_cast<uint8_t>(e);
        }
        return t;
    }();
    int s = sample;
    int sign = (s >> 8) & 0x80;
    if (sign) s = -s;
    if (s > kClip) s = kClip;
    s += kBias;
    int exponent = exponentOf[(s >> 7) & 0xFF];
    int mantissa = (s >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

int16_t muLawToLinear(uint8_t code) {
    static constexpr int base[8] = {0, 132, 396, 924, 1980, 4092, 8316, 16764};
    int c = static_cast<uint8_t>(~code);
    int exponent = (c >> 4) & 0x07;
    int mantissa = c & 0x0F;
    int magnitude = (mantissa << (exponent + 3)) + base[exponent];
    return static_cast<int16_t>((c & 0x80) ? -magnitude : magnitude);
}

int16_t aLawToLinear(uint8_t code) {
    int a = code ^ 0x55;
    int magnitude = (a & 0x0F) << 4;
    int segment = (a >> 4) & 0x07;
    if (segment == 0)
        magnitude += 8;
    else
        magnitude = (magnitude + 0x108) << (segment - 1);
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

bool writeWav(soundBuffer& buffer, const std::string& path, bool muLaw) {
    const WaveFormat& own = buffer.format();
    if (muLaw && own.bitsPerSample != 16) {
        buffer.setError(SB_FORMAT_MISMATCH);
        return false;
    }
    WaveFormat header = own;
    std::vector<uint8_t> converted;
    const std::vector<uint8_t>* bytes = &buffer.data();
    if (muLaw) {
        header.formatTag = WAVE_FORMAT_MULAW;
        header.avgBytesPerSec = static_cast<uint32_t>(own.channels) * own.samplesPerSec;
        header.blockAlign = own.channels;
        header.bitsPerSample = 8;
        header.extraSize = 0;
        const std::vector<uint8_t>& pcm = buffer.data();
        converted.resize(pcm.size() / 2);
        for (size_t i = 0; i < converted.size(); ++i)
            converted[i] = linearToMuLaw(static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
        bytes = &converted;
    }
    std::FILE* f = fopenResolved(path, "wb");
    if (f == nullptr) {
        buffer.setError(SB_FILE_OPEN);
        return false;
    }
    // RIFF header, "fmt " chunk, "data" chunk header: the sizes are known up
    // front, so the chunks are written closed.
    uint32_t dataSize = static_cast<uint32_t>(bytes->size());
    uint32_t pad = dataSize & 1;
    uint8_t head[12 + 8 + WAVE_FORMAT_BYTES + 8];
    std::memcpy(head, "RIFF", 4);
    put32(head + 4, 4 + 8 + WAVE_FORMAT_BYTES + 8 + dataSize + pad);
    std::memcpy(head + 8, "WAVE", 4);
    std::memcpy(head + 12, "fmt ", 4);
    put32(head + 16, WAVE_FORMAT_BYTES);
    encodeHeader(header, head + 20);
    std::memcpy(head + 20 + WAVE_FORMAT_BYTES, "data", 4);
    put32(head + 24 + WAVE_FORMAT_BYTES, dataSize);
    // Each piece is flushed so that a failing write is told apart from a
    // failing close.
    int code = SB_NO_ERROR;
    if (std::fwrite(head, 1, sizeof head, f) != sizeof head || std::fflush(f) != 0) {
        code = SB_CHUNK_WRITE;
    } else if (dataSize > 0 && (std::fwrite(bytes->data(), 1, dataSize, f) != dataSize || std::fflush(f) != 0)) {
        code = SB_DATA_WRITE;
    } else if (pad && (std::fputc(0, f) == EOF || std::fflush(f) != 0)) {
        code = SB_CHUNK_WRITE;
    }
    if (std::fclose(f) != 0 && code == SB_NO_ERROR) code = SB_FILE_CLOSE;
    if (code != SB_NO_ERROR) {
        buffer.setError(code);
        return false;
    }
    return true;
}

bool readWavImage(soundBuffer& buffer, const uint8_t* image, size_t size) {
    Chunk riff, fmt, data;
    if (!findChunk(image, 0, size, "RIFF", "WAVE", riff)) {
        buffer.setError(SB_CHUNK_READ);
        return false;
    }
    // A RIFF size that overstates the file is tolerated: its chunks are
    // searched up to the end of the file.
    size_t riffEnd = riff.size <= size - riff.data ? riff.data + static_cast<size_t>(riff.size) : size;
    size_t first = riff.data + 4;
    if (!findChunk(image, first, riffEnd, "fmt ", nullptr, fmt) || fmt.size < 16 ||
        riffEnd - fmt.data < std::min<uint64_t>(fmt.size, WAVE_FORMAT_BYTES)) {
        buffer.setError(SB_CHUNK_READ);
        return false;
    }
    WaveFormat header = buffer.format();
    decodeHeader(image + fmt.data, static_cast<size_t>(std::min<uint64_t>(fmt.size, WAVE_FORMAT_BYTES)), header);
    // An extensible header: the sub-format's GUID begins with the real tag.
    constexpr size_t kSubFormat = 24;
    if (header.formatTag == WAVE_FORMAT_EXTENSIBLE && fmt.size >= kSubFormat + 2 &&
        riffEnd - fmt.data >= kSubFormat + 2)
        header.formatTag = static_cast<uint16_t>(get16(image + fmt.data + kSubFormat));
    buffer.setFormatHeader(header);
    if (!findChunk(image, first, riffEnd, "data", nullptr, data)) {
        buffer.setError(SB_CHUNK_READ);
        return false;
    }
    if (data.size == 0 || data.size > riffEnd - data.data) {
        buffer.setError(SB_DATA_READ);
        return false;
    }
    const uint8_t* begin = image + data.data;
    size_t count = static_cast<size_t>(data.size);
    if (header.formatTag != WAVE_FORMAT_MULAW && header.formatTag != WAVE_FORMAT_ALAW) {
        buffer.setFormatHeader(header);
        buffer.setData(std::vector<uint8_t>(begin, begin + count));
        return true;
    }
    using Table = std::array<int16_t, 256>;
    auto tableOf = [](int16_t (*expand)(uint8_t)) {
        Table t{};
        for (int c = 0; c < 256; ++c) t[c] = expand(static_cast<uint8_t>(c));
        return t;
    };
    static const Table muLaw = tableOf(muLawToLinear);
    static const Table aLaw = tableOf(aLawToLinear);
    const Table& linear = header.formatTag == WAVE_FORMAT_MULAW ? muLaw : aLaw;
    std::vector<uint8_t> pcm(2 * count);
    for (size_t i = 0; i < count; ++i) put16(&pcm[2 * i], static_cast<uint16_t>(linear[begin[i]]));
    buffer.setData(std::move(pcm));
    header.formatTag = WAVE_FORMAT_PCM;
    header.bitsPerSample = 16;
    header.blockAlign = static_cast<uint16_t>(header.channels * 2);
    header.avgBytesPerSec = static_cast<uint32_t>(header.blockAlign) * header.samplesPerSec;
    buffer.setFormatHeader(header);
    return true;
}

bool readWav(soundBuffer& buffer, const std::string& path) {
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr) {
        buffer.setError(SB_FILE_OPEN);
        return false;
    }
    // The whole file, up to the size limit; a larger file cannot hold a
    // data chunk the engine accepts.
    std::vector<uint8_t> image;
    uint8_t block[65536];
    size_t n = 0;
    bool tooLarge = false;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        if (image.size() + n > MAX_AUDIO_FILE_BYTES) {
            tooLarge = true;
            break;
        }
        image.insert(image.end(), block, block + n);
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (tooLarge || readError) {
        buffer.setError(SB_DATA_READ);
        return false;
    }
    return readWavImage(buffer, image.data(), image.size());
}

}  // namespace kedo
