// The three levels of a run and the order of their stages.
#include "task/pipeline.h"

#include <cstdio>

#include "audio/audio_file.h"
#include "task/result_files.h"
#include "util/report_error.h"
#include "util/timing.h"

namespace kedo {

namespace {
constexpr const char* kModule = "recogTask";

// ---- stage hook: audio loading ----
SampleArray loadAudio(const recogParam& p) { return readAudioFile(p.wavFile); }
// ---- end of stage hook: audio loading ----

// ---- stage hook: wave conditioning ----
void conditionStage(recogParam& p, SampleArray& wave) {
    (void)p;
    (void)wave;
    stageNotBuilt("wave conditioning");
}
// ---- end of stage hook: wave conditioning ----

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
    conditionStage(p, wave);
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
    (void)p;

    // ---- step 1: model set and model count file ----
    stageNotBuilt("HMM macro file");
    // ---- end of step 1 ----

    // ---- step 2: pronunciation dictionaries ----
    // ---- end of step 2 ----

    // ---- step 3: candidate texts, normalisation, syllable file, phonetic
    // units; the net read or built ("Unknown recogParam.function = %s!") ----
    // ---- end of step 3 ----

    // ---- step 4: end-point detection and MFCC, frame size 320, step 160 ----
    // ---- end of step 4 ----

    // ---- step 5: recogCore (search, text, scoring, result files) ----
    // ---- end of step 5 ----
}

}  // namespace kedo
