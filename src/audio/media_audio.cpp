// Compressed audio through libavformat, libavcodec and libswresample.
#include "audio/media_audio.h"

#include "audio/av_library.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr const char* kModule = "mediaAudio";
constexpr int kRate = 16000;
constexpr size_t kIoBufferBytes = 32768;
// The demuxers of the containers browsers and phones record in; nothing that
// reads playlists or names other files.
constexpr const char* kDemuxers = "matroska,webm,ogg,mov,mp4,m4a,3gp,3g2,mj2,mp3,aac";

bool allowedCodec(AVCodecID id) {
    return id == AV_CODEC_ID_OPUS || id == AV_CODEC_ID_VORBIS || id == AV_CODEC_ID_AAC || id == AV_CODEC_ID_MP3 ||
           id == AV_CODEC_ID_FLAC;
}

std::string avMessage(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    KEDO_AV(av_strerror)(err, buf, sizeof buf);
    return buf;
}

// The file's bytes, read through an AVIOContext.
struct MemoryReader {
    std::vector<uint8_t> bytes;
    size_t pos = 0;

    static int read(void* opaque, uint8_t* buf, int size) {
        auto* self = static_cast<MemoryReader*>(opaque);
        size_t left = self->bytes.size() - self->pos;
        if (left == 0) return AVERROR_EOF;
        size_t n = std::min(left, static_cast<size_t>(size));
        std::memcpy(buf, self->bytes.data() + self->pos, n);
        self->pos += n;
        return static_cast<int>(n);
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<MemoryReader*>(opaque);
        int64_t size = static_cast<int64_t>(self->bytes.size());
        if (whence == AVSEEK_SIZE) return size;
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
            case SEEK_SET: base = 0; break;
            case SEEK_CUR: base = static_cast<int64_t>(self->pos); break;
            case SEEK_END: base = size; break;
            default: return -1;
        }
        int64_t target = base + offset;
        if (target < 0 || target > size) return -1;
        self->pos = static_cast<size_t>(target);
        return target;
    }
};

// Owns every FFmpeg object of one decoding.
class MediaDecoder {
public:
    explicit MediaDecoder(const std::string& path) : m_path(path) {}
    ~MediaDecoder() {
        KEDO_AV(swr_free)(&m_swr);
        KEDO_AV(av_frame_free)(&m_frame);
        KEDO_AV(av_packet_free)(&m_packet);
        KEDO_AV(avcodec_free_context)(&m_codec);
        KEDO_AV(avformat_close_input)(&m_format);
        if (m_io != nullptr) {
            KEDO_AV(av_freep)(&m_io->buffer);
            KEDO_AV(avio_context_free)(&m_io);
        }
    }
    MediaDecoder(const MediaDecoder&) = delete;
    MediaDecoder& operator=(const MediaDecoder&) = delete;

    SampleArray decode(std::vector<uint8_t> bytes) {
        m_reader.bytes = std::move(bytes);
        open();
        SampleArray out;
        out.rate = kRate;
        out.bits = 16;
        while (true) {
            int err = KEDO_AV(av_read_frame)(m_format, m_packet);
            if (err == AVERROR_EOF) break;
            // A damaged tail ends the stream; what was decoded so far counts.
            if (err < 0) break;
            if (m_packet->stream_index == m_stream) {
                err = KEDO_AV(avcodec_send_packet)(m_codec, m_packet);
                if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_INVALIDDATA)
                    fail("cannot decode the audio: " + avMessage(err), 106);
                receive(out);
            }
            KEDO_AV(av_packet_unref)(m_packet);
        }
        KEDO_AV(avcodec_send_packet)(m_codec, nullptr);
        receive(out);
        convert(nullptr, 0, out);  // the resampler's delay
        if (out.samples.empty()) fail("the audio stream holds no decodable sound", 114);
        return out;
    }

private:
    [[noreturn]] void fail(const std::string& reason, int line) {
        reportError(strFormat("Cannot decode audio file %s: %s (line %d of %s)", m_path.c_str(), reason.c_str(), line,
                              kModule),
                    ErrorKind::badAudio);
    }

    void open() {
        auto* buffer = static_cast<uint8_t*>(KEDO_AV(av_malloc)(kIoBufferBytes));
        if (buffer == nullptr) fail("out of memory", 127);
        m_io = KEDO_AV(avio_alloc_context)(buffer, static_cast<int>(kIoBufferBytes), 0, &m_reader, &MemoryReader::read,
                                  nullptr, &MemoryReader::seek);
        if (m_io == nullptr) {
            KEDO_AV(av_free)(buffer);
            fail("out of memory", 132);
        }
        m_format = KEDO_AV(avformat_alloc_context)();
        if (m_format == nullptr) fail("out of memory", 135);
        m_format->pb = m_io;
        m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVDictionary* options = nullptr;
        KEDO_AV(av_dict_set)(&options, "format_whitelist", kDemuxers, 0);
        KEDO_AV(av_dict_set)(&options, "protocol_whitelist", "", 0);
        int err = KEDO_AV(avformat_open_input)(&m_format, nullptr, nullptr, &options);
        KEDO_AV(av_dict_free)(&options);
        if (err < 0) fail("not a WebM, Ogg, MP4 or MP3 file (" + avMessage(err) + ")", 143);
        err = KEDO_AV(avformat_find_stream_info)(m_format, nullptr);
        if (err < 0) fail("cannot read the streams (" + avMessage(err) + ")", 145);
        const AVCodec* decoder = nullptr;
        m_stream = KEDO_AV(av_find_best_stream)(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (m_stream < 0 || decoder == nullptr) fail("no audio stream", 148);
        AVCodecParameters* par = m_format->streams[m_stream]->codecpar;
        if (!allowedCodec(par->codec_id))
            fail(std::string("the audio codec ") + KEDO_AV(avcodec_get_name)(par->codec_id) +
                     " is not one of Opus, Vorbis, AAC, MP3 and FLAC",
                 153);
        m_codec = KEDO_AV(avcodec_alloc_context3)(decoder);
        m_packet = KEDO_AV(av_packet_alloc)();
        m_frame = KEDO_AV(av_frame_alloc)();
        if (m_codec == nullptr || m_packet == nullptr || m_frame == nullptr) fail("out of memory", 157);
        if (KEDO_AV(avcodec_parameters_to_context)(m_codec, par) < 0) fail("bad codec parameters", 158);
        err = KEDO_AV(avcodec_open2)(m_codec, decoder, nullptr);
        if (err < 0) fail("cannot open the decoder (" + avMessage(err) + ")", 160);
    }

    void receive(SampleArray& out) {
        while (true) {
            int err = KEDO_AV(avcodec_receive_frame)(m_codec, m_frame);
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err == AVERROR_INVALIDDATA) continue;
            if (err < 0) fail("cannot decode the audio: " + avMessage(err), 168);
            if (m_swr == nullptr) makeResampler();
            convert(const_cast<const uint8_t**>(m_frame->extended_data), m_frame->nb_samples, out);
            KEDO_AV(av_frame_unref)(m_frame);
        }
    }

    void makeResampler() {
        if (m_frame->sample_rate <= 0 || m_frame->ch_layout.nb_channels <= 0) fail("no sample rate or channels", 176);
        AVChannelLayout mono;
        KEDO_AV(av_channel_layout_default)(&mono, 1);
        AVChannelLayout in;
        if (m_frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            KEDO_AV(av_channel_layout_default)(&in, m_frame->ch_layout.nb_channels);
        else if (KEDO_AV(av_channel_layout_copy)(&in, &m_frame->ch_layout) < 0)
            fail("out of memory", 183);
        int err = KEDO_AV(swr_alloc_set_opts2)(&m_swr, &mono, AV_SAMPLE_FMT_S16, kRate, &in,
                                      static_cast<AVSampleFormat>(m_frame->format), m_frame->sample_rate, 0, nullptr);
        KEDO_AV(av_channel_layout_uninit)(&in);
        // Mono as the mean of the channels, so that a recording in two equal
        // channels keeps its level.
        int channels = m_frame->ch_layout.nb_channels;
        std::vector<double> mean(static_cast<size_t>(channels), 1.0 / channels);
        if (err < 0 || KEDO_AV(swr_set_matrix)(m_swr, mean.data(), channels) < 0 || KEDO_AV(swr_init)(m_swr) < 0)
            fail("cannot set up the resampler", 192);
        m_inRate = m_frame->sample_rate;
    }

    // Resamples count input samples (none: flush) and appends them to out.
    void convert(const uint8_t** in, int count, SampleArray& out) {
        if (m_swr == nullptr) return;
        if (in != nullptr && m_frame->sample_rate != m_inRate) fail("the sample rate changes inside the stream", 199);
        int room = KEDO_AV(swr_get_out_samples)(m_swr, count);
        if (room < 0) fail("resampling failed", 201);
        std::vector<int16_t> buf(static_cast<size_t>(room) + 16);
        uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(buf.data())};
        int got = KEDO_AV(swr_convert)(m_swr, outPlanes, static_cast<int>(buf.size()), in, count);
        if (got < 0) fail("resampling failed", 205);
        if (out.samples.size() + static_cast<size_t>(got) > static_cast<size_t>(MAX_MEDIA_SECONDS * kRate))
            fail(strFormat("the audio is longer than %g seconds", MAX_MEDIA_SECONDS), 207);
        out.samples.insert(out.samples.end(), buf.begin(), buf.begin() + got);
    }

    std::string m_path;
    MemoryReader m_reader;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwrContext* m_swr = nullptr;
    int m_stream = -1;
    int m_inRate = 0;
};

}  // namespace

bool mediaAudioSupported() { return true; }

bool looksLikeMedia(const uint8_t* h, size_t n) {
    auto starts = [&](size_t at, const char* magic) {
        size_t len = std::strlen(magic);
        return n >= at + len && std::memcmp(h + at, magic, len) == 0;
    };
    if (starts(0, "\x1A\x45\xDF\xA3")) return true;  // Matroska / WebM
    if (starts(0, "OggS")) return true;
    if (starts(4, "ftyp")) return true;              // MP4, M4A, 3GP
    if (starts(0, "ID3")) return true;               // MP3 with a tag
    // An MPEG audio frame (MP3) or an ADTS frame (AAC): 11 or 12 sync bits.
    return n >= 2 && h[0] == 0xFF && (h[1] & 0xE0) == 0xE0;
}

SampleArray readMediaAudio(const std::string& path) {
    std::FILE* f = fopenResolved(path, "rb");
    if (f == nullptr)
        reportError(strFormat("Cannot open file %s (line %d of %s)", path.c_str(), 243, kModule),
                    ErrorKind::badAudio);
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n = 0;
    bool tooLarge = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (bytes.size() + n > MAX_MEDIA_FILE_BYTES) {
            tooLarge = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError)
        reportError(strFormat("Cannot read file %s (line %d of %s)", path.c_str(), 259, kModule),
                    ErrorKind::badAudio);
    if (tooLarge)
        reportError(strFormat("Audio file %s is larger than %lu bytes (line %d of %s)", path.c_str(),
                              MAX_MEDIA_FILE_BYTES, 263, kModule),
                    ErrorKind::badAudio);
    if (avLibrary() == nullptr)
        reportError(strFormat("Cannot decode audio file %s: FFmpeg's libraries cannot be loaded (%s) (line %d of %s)",
                              path.c_str(), avLibraryError().c_str(), __LINE__, kModule),
                    ErrorKind::badAudio);
    KEDO_AV(av_log_set_level)(AV_LOG_QUIET);
    MediaDecoder decoder(path);
    return decoder.decode(std::move(bytes));
}

}  // namespace kedo
