// FLV tag parsing and Nellymoser decoding through libavcodec.
#include "audio/flv_audio.h"
#include "util/progress.h"

#include "audio/av_library.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr const char* kModule = "flvimpl";
constexpr size_t kHeaderBytes = 9;
constexpr size_t kTagHeaderBytes = 11;
constexpr size_t kBlockBytes = 64;
constexpr int kBlockSamples = 256;

uint32_t get24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
uint32_t get32(const uint8_t* p) { return (get24(p) << 8) | p[3]; }

[[noreturn]] void corrupt(const char* reason, const std::string& path, int line) {
    reportError(strFormat("Corrupt file (%s): %s (line %d of %s)", reason, path.c_str(), line, kModule));
}

// Stream format from the first audio tag's flags byte; false if the sound
// format is not one of the Nellymoser ones (4: 16 kHz mono, 5: 8 kHz mono,
// 6: rate and channels from the flags).
bool streamFormat(uint8_t flags, FlvAudio& out) {
    static constexpr int rates[4] = {5500, 11025, 22050, 44100};
    int format = flags >> 4;
    out.bits = 16;  // decoded audio, whatever the sample-size flag (bit 1) says
    switch (format) {
        case 4:
            out.rate = 16000;
            out.channels = 1;
            return true;
        case 5:
            out.rate = 8000;
            out.channels = 1;
            return true;
        case 6:
            out.rate = rates[(flags >> 2) & 0x03];
            out.channels = (flags & 0x01) + 1;
            return true;
        default: return false;
    }
}

// One Nellymoser decoder with its packet and frame, carrying the overlap
// state from block to block.
class NellyDecoder {
public:
    NellyDecoder(int rate, const std::string& path) : m_path(path) {
        if (avLibrary() == nullptr)
            reportError(strFormat("no Nellymoser decoder available (%s): %s (line %d of %s)",
                                  avLibraryError().c_str(), m_path.c_str(), __LINE__, kModule));
        const AVCodec* codec = KEDO_AV(avcodec_find_decoder)(AV_CODEC_ID_NELLYMOSER);
        if (codec != nullptr) m_ctx = KEDO_AV(avcodec_alloc_context3)(codec);
        m_packet = KEDO_AV(av_packet_alloc)();
        m_frame = KEDO_AV(av_frame_alloc)();
        if (m_ctx == nullptr || m_packet == nullptr || m_frame == nullptr)
            fail("no Nellymoser decoder available", 73);
        m_ctx->sample_rate = rate;
        KEDO_AV(av_channel_layout_default)(&m_ctx->ch_layout, 1);
        if (KEDO_AV(avcodec_open2)(m_ctx, codec, nullptr) < 0) fail("cannot open the Nellymoser decoder", 76);
        if (KEDO_AV(av_new_packet)(m_packet, static_cast<int>(kBlockBytes)) < 0) fail("out of memory", 77);
    }
    ~NellyDecoder() { cleanup(); }
    NellyDecoder(const NellyDecoder&) = delete;
    NellyDecoder& operator=(const NellyDecoder&) = delete;

    // Decodes one 64-byte block, appending 256 samples to out.
    void decode(const uint8_t* block, std::vector<int16_t>& out) {
        std::memcpy(m_packet->data, block, kBlockBytes);
        if (KEDO_AV(avcodec_send_packet)(m_ctx, m_packet) < 0 || KEDO_AV(avcodec_receive_frame)(m_ctx, m_frame) < 0)
            fail("a Nellymoser block cannot be decoded", 87);
        const float* in = reinterpret_cast<const float*>(m_frame->extended_data[0]);
        int n = std::min(m_frame->nb_samples, kBlockSamples);
        if (m_frame->format != AV_SAMPLE_FMT_FLT && m_frame->format != AV_SAMPLE_FMT_FLTP) n = 0;
        size_t base = out.size();
        out.resize(base + kBlockSamples, 0);
        int16_t* dst = out.data() + base;
        for (int i = 0; i < n; ++i) {
            // The decoder's samples are normalised to +-1.0; a corrupt block
            // can give any value, NaN and infinities included.
            if (!std::isfinite(in[i])) continue;  // stays 0
            const float v = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
            dst[i] = static_cast<int16_t>(v);
        }
        KEDO_AV(av_frame_unref)(m_frame);
    }

private:
    void cleanup() {
        KEDO_AV(av_frame_free)(&m_frame);
        KEDO_AV(av_packet_free)(&m_packet);
        KEDO_AV(avcodec_free_context)(&m_ctx);
    }
    [[noreturn]] void fail(const char* what, int line) {
        cleanup();
        reportError(strFormat("%s: %s (line %d of %s)", what, m_path.c_str(), line, kModule));
    }

    std::string m_path;
    AVCodecContext* m_ctx = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
};

}  // namespace

FlvAudio decodeFlvImage(const uint8_t* image, size_t size, const std::string& path) {
    FlvAudio out;
    if (size == 0) {
        progressf("Warning: flvFileSize=0! (line %d of %s)\n", 126, kModule);
        return out;
    }
    if (size < kHeaderBytes || std::memcmp(image, "FLV", 3) != 0 || image[3] != 1)
        reportError(strFormat("Unknown file format! (%s) (line %d of %s)", path.c_str(), 130, kModule));

    std::unique_ptr<NellyDecoder> decoder;
    int streamFlags = -1;
    uint8_t block[kBlockBytes];
    size_t pos = kHeaderBytes;
    uint32_t expected = 0;
    while (pos < size) {
        if (size - pos < 4) corrupt("truncated tag", path, 138);
        if (get32(image + pos) != expected) corrupt("tag size check failed", path, 139);
        pos += 4;
        if (pos >= size) break;
        if (size - pos < kTagHeaderBytes) corrupt("truncated tag", path, 142);
        const uint8_t* tag = image + pos;
        uint32_t dataSize = get24(tag + 1);
        if (tag[9] != 0 || tag[10] != 0) corrupt("tag padding ignored", path, 145);
        if (size - pos - kTagHeaderBytes < dataSize) corrupt("truncated tag", path, 146);
        const uint8_t* data = tag + kTagHeaderBytes;
        if (tag[0] == 8 && dataSize > 0) {
            if (streamFlags < 0) {
                if (!streamFormat(data[0], out))
                    reportError(strFormat("stream is not Nellymoser: %s (line %d of %s)", path.c_str(), 151, kModule));
                streamFlags = data[0];
                decoder = std::make_unique<NellyDecoder>(out.rate, path);
            } else if (data[0] != streamFlags) {
                corrupt("changed audio format midstream", path, 155);
            }
            const uint8_t* audio = data + 1;
            size_t left = dataSize - 1;
            while (left > 0) {
                // A ragged last block is padded with zero bytes.
                size_t n = std::min(left, kBlockBytes);
                std::memcpy(block, audio, n);
                std::memset(block + n, 0, kBlockBytes - n);
                decoder->decode(block, out.samples);
                audio += n;
                left -= n;
            }
        }
        expected = static_cast<uint32_t>(kTagHeaderBytes) + dataSize;
        pos += kTagHeaderBytes + dataSize;
    }
    return out;
}

FlvAudio readFlvAudio(const std::string& path) {
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr)
        reportError(strFormat("flv_fopen: %s (%s) (line %d of %s)", std::strerror(errno), path.c_str(), 178, kModule));
    std::vector<uint8_t> image;
    uint8_t chunk[65536];
    size_t n = 0;
    bool tooLarge = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (image.size() + n > MAX_FLV_FILE_BYTES) {
            tooLarge = true;
            break;
        }
        image.insert(image.end(), chunk, chunk + n);
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError)
        reportError(strFormat("flv_fread: cannot read %s (line %d of %s)", path.c_str(), 193, kModule));
    if (tooLarge)
        reportError(strFormat("FLV file %s is larger than %lu bytes (line %d of %s)", path.c_str(),
                              MAX_FLV_FILE_BYTES, 196, kModule));
    return decodeFlvImage(image.data(), image.size(), path);
}

}  // namespace kedo
