// Loading FFmpeg's libraries on first use.
#include "audio/av_library.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace kedo {

namespace {

#define KEDO_STRINGIFY2(x) #x
#define KEDO_STRINGIFY(x) KEDO_STRINGIFY2(x)

struct Loaded {
    AvLibrary table;
    std::string error;
    bool ok = false;
};

#ifdef _WIN32
Loaded load() {
    Loaded l;
#define KEDO_AV_DIRECT(lib, name) l.table.name = &::name;
    KEDO_AV_CODEC_FUNCTIONS(KEDO_AV_DIRECT)
#undef KEDO_AV_DIRECT
    l.ok = true;
    return l;
}
#else
// The shared objects of the versions the build was compiled against; they
// stay loaded for the life of the process.
struct Handles {
    void* avutil = nullptr;
    void* swresample = nullptr;
    void* avcodec = nullptr;
    void* avformat = nullptr;
};

Loaded load() {
    Loaded l;
    Handles h;
    auto open = [&l](const char* soname) -> void* {
        void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr && l.error.empty()) {
            const char* why = dlerror();
            l.error = std::string(soname) + ": " + (why != nullptr ? why : "cannot be loaded");
        }
        return handle;
    };
    h.avutil = open("libavutil.so." KEDO_STRINGIFY(LIBAVUTIL_VERSION_MAJOR));
    h.swresample = open("libswresample.so." KEDO_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR));
    h.avcodec = open("libavcodec.so." KEDO_STRINGIFY(LIBAVCODEC_VERSION_MAJOR));
    h.avformat = open("libavformat.so." KEDO_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR));
    if (!l.error.empty()) return l;
#define KEDO_AV_SYMBOL(lib, name)                                                                   \
    l.table.name = reinterpret_cast<decltype(&::name)>(dlsym(h.lib, #name));                        \
    if (l.table.name == nullptr && l.error.empty()) l.error = std::string(#name) + " is missing in lib" #lib;
    KEDO_AV_CODEC_FUNCTIONS(KEDO_AV_SYMBOL)
    KEDO_AV_MEDIA_FUNCTIONS(KEDO_AV_SYMBOL)
#undef KEDO_AV_SYMBOL
    l.ok = l.error.empty();
    return l;
}
#endif

const Loaded& loaded() {
    static const Loaded l = load();
    return l;
}

}  // namespace

const AvLibrary* avLibrary() {
    const Loaded& l = loaded();
    return l.ok ? &l.table : nullptr;
}

std::string avLibraryError() { return loaded().error; }

}  // namespace kedo
