// The three levels of a run and the order of their stages.
#include "task/pipeline.h"

#include <cstdio>

#include "task/result_files.h"
#include "util/report_error.h"
#include "util/timing.h"

namespace kedo {

namespace {
constexpr const char* kModule = "recogTask";

// Stage hooks. Each calls into the subsystem that does the work.

SampleArray loadAudio(const recogParam& p) {
    (void)p;
    stageNotBuilt("audio loading");
}

void conditionWave(recogParam& p, SampleArray& wave) {
    (void)p;
    (void)wave;
    stageNotBuilt("wave conditioning");
}

}  // namespace

void stageNotBuilt(const char* stage) {
    reportError(strFormat("The stage \"%s\" is not part of this build (line %d of %s)", stage, __LINE__, kModule));
}

std::string recognisedSentence(const mlfClass& mlf) {
    std::string out;
    for (const std::string& t : mlf.texts) out += t;
    return out;
}

int recogWaveFile(recogParam& p, mlfClass& mlf) {
    SampleArray wave = loadAudio(p);
    long start = processorTicks();
    conditionWave(p, wave);
    std::printf("%4.3f sec: Read wave file \"%s\"\n", secondsSince(start), p.wavFile.c_str());
    if (!p.outputDir.empty()) {
        std::string path = p.outputDir + "/output.wave";
        writeOutputWave(path, wave.samples);
        std::printf("\t===> Saved %s\n", path.c_str());
    }
    return recogWave(p, mlf, wave);
}

int recogWave(recogParam& p, mlfClass& mlf, SampleArray& wave) {
    (void)mlf;
    (void)wave;
    // 1. Model set and model count file.
    long start = processorTicks();
    (void)start;
    (void)p;
    stageNotBuilt("HMM macro file");
    // 2. Pronunciation dictionaries.
    // 3. Candidate texts, normalisation, syllable file, phonetic units; net
    //    read or built ("Unknown recogParam.function = %s!" for other kinds).
    // 4. End-point detection and MFCC, frame size 320, step 160.
    // 5. recogCore; everything above is released on return.
}

}  // namespace kedo
