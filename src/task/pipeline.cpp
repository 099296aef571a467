// The three levels of a run and the order of their stages.
#include "task/pipeline.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "acoustic/macro.h"
#include "audio/audio_file.h"
#include "frontend/epd.h"
#include "frontend/wave_condition.h"
#include "decoder/best_path_text.h"
#include "decoder/model_set_adapter.h"
#include "decoder/viterbi.h"
#include "frontend/frame_volume.h"
#include "frontend/pitch.h"
#include "lexicon/dict.h"
#include "lexicon/lexicon_stage.h"
#include "net/net.h"
#include "net/net_stage.h"
#include "scoring/confidence.h"
#include "scoring/diagnostic_files.h"
#include "scoring/discount.h"
#include "scoring/path_segmentation.h"
#include "scoring/scoring_texts.h"
#include "scoring/segmentation.h"
#include "scoring/tracks.h"
#include "util/data_cache.h"
#include "util/file_util.h"
#include "task/result_files.h"
#include "util/report_error.h"
#include "util/unit_names.h"
#include "util/timing.h"

namespace kedo {

namespace {

// The syllables of an identified path: its "-" pieces, without the short
// pauses, silences and fillers that the net pads around and between words.
// Counting those would scale the score by more than the share of designated
// syllables that were identified (a 7-word sentence padded with "sp" would
// count 13 and score above 100).
int32_t spokenSyllableCount(const std::string& sylPath) {
    int32_t count = 0;
    for (const std::string& piece : strSplit(sylPath, '-')) {
        if (!piece.empty() && !isNonSpeechUnit(piece)) ++count;
    }
    return count;
}

constexpr const char* kModule = "recogTask";

// "Check whether a confusing path was taken", in the Big5 code page.
constexpr const char* kConfusingPathCheckBig5 =
    "\xc0\xcb\xac\x64\xac\x4f\xa7\x5f\xa8\xab\xa8\xec\xb2\x56\xb2\x63\xb8\xf4\xae\x7c";

// The model set of the macro and model count files, sorted and converted;
// kept between the calls of an engine object while both files are unchanged.
std::shared_ptr<const macroClass> loadModelSet(const recogParam& p) {
    return cachedLoad<macroClass>(
        "models", {p.macFile, p.modelCountFile},
        [&] {
            auto set = std::make_shared<macroClass>();
            set->readModels(p.macFile, true);
            set->readModelCount(p.modelCountFile);
            return set;
        },
        [](const macroClass& set) { return set.memoryBytes(); });
}

// ---- stage hook: audio loading ----
// Stereo and other multi-channel sources are mixed down to mono here, before
// conditioning, which works on one channel.
SampleArray loadAudio(const recogParam& p) { return readMonoAudioFile(p.wavFile); }
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
    const macroClass* models = nullptr;  // the model set (step 1)
    dictClass* dict = nullptr;          // the dictionaries (step 2)
    textClass* text = nullptr;          // candidate texts and syllable paths (step 3)
    netClass* net = nullptr;            // the net with its node penalties (step 3)
    FeatureMatrix* features = nullptr;  // features of the spoken stretch (step 4)
    searchSize search;                  // candidate number and arena length
    // ---- end of core inputs ----
};

// Whether the search took a confusable syllable instead of the designated
// one (the first entry of the syllable list); each such segment is aligned
// again with the designated syllable alone. Writes "confusingPath.txt".
void checkConfusingPath(const recogParam& p, mlfClass& mlf, CoreInputs& in, const IntVec& sylVsIdxVs,
                        const searchModelSet& searchModels) {
    const std::string path = p.outputDir + "/confusingPath.txt";
    {
        FilePtr f = openFile(path, "w");
        const textClass& text = *in.text;
        if (strEndsWith(p.sylFile, "syl2")) {
            progressf("%s (Check if a confusing path is taken instead of the correct one)\n",
                        kConfusingPathCheckBig5);
            const int32_t identifiedIdx = sylVsIdxVs.empty() ? 0 : sylVsIdxVs[0];
            if (identifiedIdx > 0 && identifiedIdx < static_cast<int32_t>(text.m_sylVs.size())) {
                const std::string designated = strSplit(text.m_sylVs[0], '\t')[0];
                const std::string identified = strSplit(text.m_sylVs[identifiedIdx], '\t')[0];
                std::fprintf(f.get(), "Designated: %s\n", designated.c_str());
                std::fprintf(f.get(), "Identified: %s\n", identified.c_str());
                // The designated syllables, without the short pauses put between
                // them: they pair with the aligned segments that are not pauses.
                StrVec syllables = strSplit(designated, '-');
                std::erase_if(syllables, [](const std::string& s) { return isNonSpeechName(s); });
                const FeatureMatrix& fea = *in.features;
                size_t k = 0;
                for (mlfNode& node : mlf.nodes) {
                    if (k >= syllables.size()) break;
                    if (isNonSpeechName(node.name)) continue;
                    const std::string& want = syllables[k++];
                    if (node.name == want) continue;
                    std::fprintf(f.get(), "%s ===> %s\n", want.c_str(), node.name.c_str());
                    netClass single;
                    single.netFromLines({"VERSION=1.0 (by recogCore())", "N=3\tL=2", "I=0\tW=!NULL", "I=1\tW=!NULL",
                                         "I=2\tW=" + want, "J=0\tS=0\tE=2", "J=1\tS=2\tE=1"},
                                        *in.dict, "recogCore");
                    const int first = node.startFrame;
                    const int frames = node.endFrame - node.startFrame + 1;
                    if (first < 0 || frames <= 0 || node.endFrame >= fea.frameNum) continue;
                    viterbiClass search(in.search.arenaLen, in.models->m_modelNum);
                    const int live = search.viterbiSearch(single, in.dict->m_pronDict, fea.row(first), fea.dim, frames,
                                                          in.search.candidateNum, searchModels,
                                                          static_cast<float>(p.probTh), p.getUvScore,
                                                          p.useDescCandidateNum);
                    const int best = std::max(search.bestPathIndex(live), 0);
                    mlfClass aligned;
                    buildFromPath(aligned, search.candidate(best), single, in.dict->m_pronDict, *in.models);
                    shiftFrames(aligned, first);
                    if (!aligned.nodes.empty()) node = aligned.nodes[0];
                }
            }
        }
    }
    progressf("\t===> Saved %s\n", path.c_str());
}

// Search, text, scoring and result files. Returns the recognised text indices.
std::vector<int32_t> recogCore(recogParam& p, mlfClass& mlf, CoreInputs& in) {
    // ---- core step 1: Viterbi search; "%4.3f sec: Viterbi search" ----
    // The search object and its view of the model set stay for the scoring
    // steps (modelProb of the confidence measure).
    long searchStart = processorTicks();
    const macroModelSet searchModels(*in.models);
    viterbiClass vit(in.search.arenaLen, in.models->m_modelNum);
    const int candNum = vit.viterbiSearch(*in.net, in.dict->m_pronDict, in.features->values.data(), in.features->dim,
                                          in.features->frameNum, in.search.candidateNum, searchModels,
                                          static_cast<float>(p.probTh), p.getUvScore, p.useDescCandidateNum);
    progressf("%4.3f sec: Viterbi search\n", secondsSince(searchStart));
    // ---- end of core step 1 ----

    // ---- core step 2: arenaSylPath.txt ----
    if (!p.outputDir.empty()) {
        const std::string arenaPath = p.outputDir + "/arenaSylPath.txt";
        progressf("\t===> Saved %s\n", arenaPath.c_str());
        vit.writeArenaSylPath(arenaPath, candNum, in.dict->m_pronDict);
    }
    // ---- end of core step 2 ----

    // ---- core step 3: best path (end index -1 counts as 0, incomplete) ----
    int bestIndex = vit.bestPathIndex(candNum);
    bool pathComplete = bestIndex >= 0;
    if (bestIndex < 0) bestIndex = 0;
    const ArenaCandidate bestPath = vit.candidate(bestIndex);
    // ---- end of core step 3 ----

    // ---- core step 4: path to text, textIndex/sylIndex lines ----
    textClass& text = *in.text;
    IntVec textIdxVs, sylVsIdxVs;
    std::string sylPath;
    pinyin2text(text, bestPath.sylIndex, in.dict->m_pronDict, textIdxVs, sylVsIdxVs, sylPath, p);
    for (int32_t idx : textIdxVs) {
        if (idx < 0 || idx >= static_cast<int32_t>(text.m_txtVs.size()))
            reportError(strFormat("Error: text index %d outside the %d candidate texts (line %d of %s)", idx,
                                  static_cast<int>(text.m_txtVs.size()), __LINE__, kModule));
        progressf("\ttextIndex=%d ===> %s\n", idx, text.m_txtVs[idx].c_str());
        mlf.textItems.push_back(text.m_txtVs[idx]);
    }
    if (!text.m_sylVs.empty()) {
        for (size_t k = 0; k < sylVsIdxVs.size(); ++k) {
            const int32_t idx = sylVsIdxVs[k];
            if (idx < 0 || idx >= static_cast<int32_t>(text.m_sylVs.size())) continue;  // a sausage net's -1
            progressf("\tsylIndex[%d]=%d ===> %s\n", static_cast<int>(k), idx, text.m_sylVs[idx].c_str());
            mlf.sylItems.push_back(text.m_sylVs[idx]);
        }
    }
    mlf.identifiedSyl = sylPath;
    // An assessment whose best path holds no spoken unit did not get through
    // the sentence: it counts as an incomplete path (and scores 0).
    if (p.function == "assess" && spokenSyllableCount(sylPath) == 0) pathComplete = false;
    // ---- end of core step 4 ----

    // ---- core step 5: designated syllable count ----
    {
        const int32_t first = textIdxVs[0];
        if (p.language == "english") {
            // The words of the text, as the lexicon cuts them: runs of blanks
            // and a leading or trailing blank make no empty words.
            StrVec words;
            textUnits(text.m_txtVsNormalized[first], p.language, words);
            mlf.designatedSylCount = static_cast<int32_t>(words.size());
        } else if (p.language == "chinese") {
            mlf.designatedSylCount = static_cast<int32_t>(text.m_txtVsNormalized[first].size() / 2);
        } else if (p.language == "japanese") {
            const int32_t s = sylVsIdxVs[0];
            std::string entry = s >= 0 && s < static_cast<int32_t>(text.m_sylVs.size()) ? text.m_sylVs[s] : sylPath;
            entry = entry.substr(0, entry.find('\t'));
            StrVec pieces = strSplit(entry, '-');
            strVecRemoveEmpty(pieces);
            mlf.designatedSylCount = static_cast<int32_t>(pieces.size());
        }
    }
    // ---- end of core step 5 ----

    // ---- core step 6: phone segmentation, identified syllable count ----
    StrVec modelNames;
    in.models->modelNameList(modelNames);
    if (!p.inputLabFile.empty())
        readLabelFile(mlf, p.inputLabFile, modelNames, in.beginFrame, in.features->frameNum);
    else
        buildFromPath(mlf, bestPath, *in.net, in.dict->m_pronDict, *in.models);
    mlf.identifiedSylCount = spokenSyllableCount(sylPath);
    // ---- end of core step 6 ----

    // ---- core step 7: confusing-path check ----
    if (p.function == "assess" && !p.outputDir.empty() && !p.sylFile.empty())
        checkConfusingPath(p, mlf, in, sylVsIdxVs, searchModels);
    // ---- end of core step 7 ----

    // ---- core step 8: result texts and Chinese renderings ----
    mlf.timberScore = -100000.0f;
    mlf.pathLogProb = bestPath.score;
    mlf.textIndex = textIdxVs;
    for (int32_t idx : textIdxVs) mlf.texts.push_back(text.m_txtVs[idx]);
    if (p.language == "chinese") {
        renderSylPath(*in.dict, p.pinyinType, mlf);
        const int32_t s = sylVsIdxVs[0];
        if (s >= 0 && s < static_cast<int32_t>(text.m_sylAuxVs.size())) mlf.Tone = text.m_sylAuxVs[s];
    }
    // ---- end of core step 8 ----

    // ---- core steps 9 to 16: volume, scoring, pitch, result documents, score ----
    const long scoringStart = processorTicks();
    const SampleArray& wave = *in.wave;
    // Node texts and pitched phones, on the segmentation as the check left it.
    assignNodeTexts(mlf, textIdxVs.empty() ? std::string() : text.m_txtVsNormalized[textIdxVs[0]], p);
    markPitched(mlf, p.qiYinFile);
    {
        const long volumeStart = processorTicks();
        const int trackLen = frameCount(wave.count(), in.frameSize, in.frameSize - in.frameStep);
        std::vector<int32_t> volume(static_cast<size_t>(trackLen));
        if (trackLen > 0)
            frameVolume(wave.samples.data(), wave.count(), in.frameSize, in.frameSize - in.frameStep, volume.data(), 1);
        nodeVolume(mlf, volume.data(), trackLen);
        progressf("%4.3f sec: Compute volume\n", secondsSince(volumeStart));
    }

    int firstNode = 0, lastNode = static_cast<int>(mlf.nodes.size()) - 1;
    bool rangeComplete = pathComplete;
    int designatedCount = mlf.designatedSylCount;
    if (p.comparisonMode == 3) {
        firstNode = text.matchStart;
        lastNode = text.matchStart + text.matchLength - 1;
        rangeComplete = true;
        designatedCount = -1;
    }
    const FeatureMatrix& fea = *in.features;
    progressf("\tFind the phone ranking...\n");
    rankPhonesTogether(
        mlf,
        [&](int f1, int f2, const IntVec& models, std::vector<float>& out) {
            vit.modelProbs(fea.values.data(), fea.dim, fea.frameNum, f1, f2, searchModels, models.data(),
                           models.size(), out.data());
        },
        *in.models, p);
    progressf("\tCompute possible score discount factors...\n");
    computeDiscounts(mlf, firstNode, lastNode, rangeComplete, designatedCount);
    computeTimberScores(mlf, firstNode, lastNode, p, *in.models);
    shiftFrames(mlf, in.beginFrame);

    if (p.getPitch != 0) {
        const long pitchStart = processorTicks();
        const ptParam pp = ptParamSet(wave.rate, wave.bits, 1, p.ptParamFile);
        nodePitchAndVolume(wave.samples.data(), wave.count(), pp, mlf);
        progressf("%4.3f sec: %s\n", secondsSince(pitchStart), kPitchVolumeLabel);
    }

    writeAssessmentFiles(mlf, modelNames, p);
    progressf("%4.3f sec: Compute the score (Score=%f)\n", secondsSince(scoringStart),
                static_cast<double>(mlf.timberScore));
    if (!p.outputDir.empty()) {
        const std::string scorePath = p.outputDir + "/score.txt";
        writeFloatFile(scorePath, mlf.score);
        progressf("\t===> Saved %s\n", scorePath.c_str());
    }
    if (p.comparisonMode == 3) {
        // One keyword: the recognised sentence over the matched node range.
        std::vector<KeywordRecord> keywords(1);
        keywords[0].name = mlf.texts.empty() ? std::string() : mlf.texts[0];
        keywords[0].firstNode = firstNode;
        keywords[0].lastNode = lastNode;
        keywords[0].sylIndices = sylVsIdxVs;
        computeKeywordScores(keywords, mlf);
        printKeywordLines(keywords, text.m_sylVs);
    }
    // ---- end of core steps 9 to 16 ----

    // ---- core step 17: recogResult.txt ----
    if (!p.outputDir.empty()) {
        const std::string resultPath = p.outputDir + "/recogResult.txt";
        writeRecogResult(resultPath, mlf);
        progressf("\t===> Saved %s\n", resultPath.c_str());
    }
    return textIdxVs;
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

void buildLexiconAndNet(recogParam& p, const macroClass& models, dictClass& dict, textClass& text, netClass& net,
                        std::vector<std::string>* warnings) {
    const modelSetView modelView = modelSetViewOf(models);
    // The word table is lent by the engine's kept data until the net is built.
    const std::unique_ptr<DictionaryLoan> loan = loadDictionariesKept(p, dict, modelView);
    prepareTexts(p, dict, text, modelView, warnings);
    readOrBuildNet(p, dict, text, net);
    // After the net: the wpa entries the texts used ("output.wpa").
    saveUsedWpa(p, dict, text);
}

int recogWaveFile(recogParam& p, mlfClass& mlf) {
    SampleArray wave = loadAudio(p);
    long start = processorTicks();
    conditionStage(p, wave);
    progressf("%4.3f sec: Read wave file \"%s\"\n", secondsSince(start), p.wavFile.c_str());
    if (!p.outputDir.empty()) {
        std::string path = p.outputDir + "/output.wave";
        writeOutputWave(path, wave.samples);
        progressf("\t===> Saved %s\n", path.c_str());
    }
    return recogWave(p, mlf, wave);
}

int recogWave(recogParam& p, mlfClass& mlf, SampleArray& wave) {
    // ---- step 1: model set and model count file ----
    long modelStart = processorTicks();
    const std::shared_ptr<const macroClass> modelSet = loadModelSet(p);
    const macroClass& models = *modelSet;
    progressf("%4.3f sec: Read \"%s\" (modelNum=%d) and \"%s\"\n", secondsSince(modelStart), p.macFile.c_str(),
                models.m_modelNum, p.modelCountFile.c_str());
    // ---- end of step 1 ----

    // ---- step 2: pronunciation dictionaries ----
    // ---- step 3: candidate texts, normalisation, syllable file, phonetic
    // units; the net read or built ("Unknown recogParam.function = %s!") ----
    dictClass dict;
    textClass text;
    netClass net;
    buildLexiconAndNet(p, models, dict, text, net, &mlf.warnings);
    mlf.warnings.insert(mlf.warnings.end(), text.m_warnings.begin(), text.m_warnings.end());
    // ---- end of steps 2 and 3 ----

    // ---- search sizing (after the net and its node penalties are in place) ----
    const searchSize search = sizeSearch(net.fanOut(), p.comparisonMode, p.maxCandidateNum, p.minCandidateNum);
    // ---- end of search sizing ----

    // ---- step 4: end-point detection and MFCC, frame size 320, step 160 ----
    int waveBeginFrameId = 0, waveEndFrameId = 0;
    FeatureMatrix features = epdAndMfcc(p, wave.samples.data(), wave.count(), wave.rate, wave.bits, 320, 160,
                                        waveBeginFrameId, waveEndFrameId);
    // ---- end of step 4 ----

    // ---- step 5: recogCore (search, text, scoring, result files) ----
    CoreInputs in;
    in.wave = &wave;
    in.models = &models;
    in.dict = &dict;
    in.text = &text;
    in.net = &net;
    in.features = &features;
    in.search = search;
    in.beginFrame = waveBeginFrameId;
    in.endFrame = waveEndFrameId;
    std::vector<int32_t> indices = recogCore(p, mlf, in);
    return indices.empty() ? -1 : indices[0];
    // ---- end of step 5 ----
}

}  // namespace kedo
