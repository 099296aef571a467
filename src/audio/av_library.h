// FFmpeg's functions as the audio readers use them, through a table. On
// Linux the libraries are opened the first time a file needs them (a
// process that reads only WAV files never loads FFmpeg and the hundred-odd
// libraries it pulls in, which would cost more than a whole assessment);
// the Windows build links its static decoder and fills the table directly.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#ifndef _WIN32
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#endif
}

#include <string>

namespace kedo {

// X(library, function) for each function used: libavcodec and libavutil on
// every platform, libavformat and libswresample where compressed audio files
// are read.
#define KEDO_AV_CODEC_FUNCTIONS(X)                                                                                   \
    X(avutil, av_strerror)                                                                                           \
    X(avutil, av_log_set_level)                                                                                      \
    X(avutil, av_malloc)                                                                                             \
    X(avutil, av_free)                                                                                               \
    X(avutil, av_freep)                                                                                              \
    X(avutil, av_dict_set)                                                                                           \
    X(avutil, av_dict_free)                                                                                          \
    X(avutil, av_frame_alloc)                                                                                        \
    X(avutil, av_frame_free)                                                                                         \
    X(avutil, av_frame_unref)                                                                                        \
    X(avutil, av_channel_layout_default)                                                                             \
    X(avutil, av_channel_layout_copy)                                                                                \
    X(avutil, av_channel_layout_uninit)                                                                              \
    X(avcodec, avcodec_find_decoder)                                                                                 \
    X(avcodec, avcodec_alloc_context3)                                                                               \
    X(avcodec, avcodec_free_context)                                                                                 \
    X(avcodec, avcodec_open2)                                                                                        \
    X(avcodec, avcodec_parameters_to_context)                                                                        \
    X(avcodec, avcodec_get_name)                                                                                     \
    X(avcodec, avcodec_send_packet)                                                                                  \
    X(avcodec, avcodec_receive_frame)                                                                                \
    X(avcodec, av_packet_alloc)                                                                                      \
    X(avcodec, av_packet_free)                                                                                       \
    X(avcodec, av_packet_unref)                                                                                      \
    X(avcodec, av_new_packet)

#ifdef _WIN32
#define KEDO_AV_MEDIA_FUNCTIONS(X)
#else
#define KEDO_AV_MEDIA_FUNCTIONS(X)                                                                                   \
    X(avformat, avio_alloc_context)                                                                                  \
    X(avformat, avio_context_free)                                                                                   \
    X(avformat, avformat_alloc_context)                                                                              \
    X(avformat, avformat_open_input)                                                                                 \
    X(avformat, avformat_find_stream_info)                                                                           \
    X(avformat, avformat_close_input)                                                                                \
    X(avformat, av_find_best_stream)                                                                                 \
    X(avformat, av_read_frame)                                                                                       \
    X(swresample, swr_alloc_set_opts2)                                                                               \
    X(swresample, swr_set_matrix)                                                                                    \
    X(swresample, swr_init)                                                                                          \
    X(swresample, swr_free)                                                                                          \
    X(swresample, swr_get_out_samples)                                                                               \
    X(swresample, swr_convert)
#endif

struct AvLibrary {
#define KEDO_AV_MEMBER(lib, name) decltype(&::name) name = nullptr;
    KEDO_AV_CODEC_FUNCTIONS(KEDO_AV_MEMBER)
    KEDO_AV_MEDIA_FUNCTIONS(KEDO_AV_MEMBER)
#undef KEDO_AV_MEMBER
};

// The table, loaded on the first call (once per process, safe from several
// threads); nullptr when the libraries cannot be loaded, and then
// avLibraryError() says why.
const AvLibrary* avLibrary();
std::string avLibraryError();

}  // namespace kedo

// A call through the table; only valid once avLibrary() returned non-null.
#define KEDO_AV(name) (::kedo::avLibrary()->name)
