// Fuzzes the whole pipeline through its parameter file: the input is a ".prm"
// file, run over a copy of the bundled data folder (kedoData, made once per
// process in a temporary folder that becomes the working folder and goes at
// exit). Result files always go to the copy's output folder; a parameter file
// that names a file outside the copy is skipped, so a run reads and writes
// nothing else.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "task/pipeline.h"
#include "task/recog_param.h"

#ifndef KEDO_DATA_DIR
#error "KEDO_DATA_DIR must name the bundled data folder"
#endif

namespace {

std::string g_work;

bool staysInside(const std::string& value) {
    return value.empty() || (value[0] != '/' && value.find("..") == std::string::npos && value[0] != '~');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp ? tmp : "/tmp") + "/kedo_pipeline_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    g_work = pattern;
    const std::string copy = "cp -r '" KEDO_DATA_DIR "' '" + g_work + "/kedoData'";
    if (std::system(copy.c_str()) != 0 || chdir(g_work.c_str()) != 0) std::abort();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_work, ignored);
    });
    // Short recordings keep a run quick: one second of each sample as raw data.
    for (const char* lang : {"english", "chinese"}) {
        const std::string cut = std::string("tail -c +9645 kedoData/samples/") + lang +
                                ".wav | head -c 32000 > kedoData/samples/" + lang + "_short.raw";
        if (std::system(cut.c_str()) != 0) std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = kedo::fuzz::inputFile(data, size, "prm");
    kedo::recogParam p;
    try {
        kedo::readRecogParam(path, p);
    } catch (const kedo::KedoError&) {
        return 0;
    }
    for (const kedo::RecogParamField& f : kedo::recogParamFields()) {
        if (f.text != nullptr && !staysInside(p.*f.text)) return 0;
    }
    p.outputDir = "kedoData/output";
    if (p.wavFile.empty()) p.wavFile = "kedoData/samples/english_short.raw";
    kedo::mlfClass mlf;
    try {
        kedo::recogWaveFile(p, mlf);
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
