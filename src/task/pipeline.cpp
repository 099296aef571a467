// The three levels of a run and the order of their stages.
#include "task/pipeline.h"

#include <cstdio>

#include "acoustic/macro.h"
#include "audio/audio_file.h"
#include "frontend/epd.h"
#include "frontend/wave_condition.h"
#include "lexicon/lexicon_stage.h"
#include "net/net.h"
#include "net/net_stage.h"
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
void conditionStage(recogParam& p, SampleArray& wave) { conditionWave(wave, p); }
// ---- end of stage hook: wave conditioning ----

// Everything recogCore works on, owned by recogWave and released when it
// returns. Each stage that lands adds its fields inside the marked block.
struct CoreInputs {
    SampleArray* wave = nullptr;  // the conditioned samples
    int frameSize = 320;          // samples per analysis frame (20 ms)
    int frameStep = 160;          // samples between frames (10 ms)
    int beginFrame = 0;           // first and last frame of the spoken segment
    int endFrame = 0;             // found by end-point detection
    // ---- core inputs: models, dictionary, texts, net, features, search size ----
    // ---- end of core inputs ----
};

// Search, text, scoring and result files. Returns the recognised text indices.
std::vector<int32_t> recogCore(recogParam& p, mlfClass& mlf, CoreInputs& in) {
    (void)p;
    (void)mlf;
    (void)in;
    // ---- core step 1: Viterbi search; "%4.3f sec: Viterbi search" ----
    stageNotBuilt("Viterbi search");
    // ---- end of core step 1 ----

    // ---- core step 2: arenaSylPath.txt ----
    // ---- end of core step 2 ----

    // ---- core step 3: best path (end index -1 counts as 0, incomplete) ----
    // ---- end of core step 3 ----

    // ---- core step 4: path to text, textIndex/sylIndex lines ----
    // ---- end of core step 4 ----

    // ---- core step 5: designated syllable count ----
    // ---- end of core step 5 ----

    // ---- core step 6: phone segmentation, identified syllable count ----
    // ---- end of core step 6 ----

    // ---- core step 7: confusing-path check ----
    // ---- end of core step 7 ----

    // ---- core step 8: result texts and Chinese renderings ----
    // ---- end of core step 8 ----

    // ---- core steps 9 to 16: volume, scoring, pitch, result documents, score ----
    // ---- end of core steps 9 to 16 ----

    // ---- core step 17: recogResult.txt ----
    // ---- end of core step 17 ----
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
    long modelStart = processorTicks();
    macroClass models;
    models.readModels(p.macFile, true);
    models.readModelCount(p.modelCountFile);
    std::printf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", secondsSince(modelStart), p.macFile.c_str(),
                models.m_modelNum, p.modelCountFile.c_str());
    // ---- end of step 1 ----

    // ---- step 2: pronunciation dictionaries ----
    const modelSetView modelView = modelSetViewOf(models);
    dictClass dict;
    loadDictionaries(p, dict, modelView);
    // ---- end of step 2 ----

    // ---- step 3: candidate texts, normalisation, syllable file, phonetic
    // units; the net read or built ("Unknown recogParam.function = %s!") ----
    textClass text;
    prepareTexts(p, dict, text, modelView);
    netClass net;
    readOrBuildNet(p, dict, text, net);
    // After the net: the wpa entries the texts used ("output.wpa").
    saveUsedWpa(p, dict, text);
    // ---- end of step 3 ----

    // ---- search sizing (after the net and its node penalties are in place) ----
    // ---- end of search sizing ----

    // ---- step 4: end-point detection and MFCC, frame size 320, step 160 ----
    int waveBeginFrameId = 0, waveEndFrameId = 0;
    FeatureMatrix features = epdAndMfcc(p, wave.samples.data(), wave.count(), wave.rate, wave.bits, 320, 160,
                                        waveBeginFrameId, waveEndFrameId);
    // ---- end of step 4 ----

    // ---- step 5: recogCore (search, text, scoring, result files) ----
    CoreInputs in;
    in.wave = &wave;
    std::vector<int32_t> indices = recogCore(p, mlf, in);
    return indices.empty() ? -1 : indices[0];
    // ---- end of step 5 ----
}

}  // namespace kedo
