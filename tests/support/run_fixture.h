// Inputs of whole pipeline runs on the Chinese lexicon test data: synthetic
// models for its phones, a synthetic recording, and the scoring files.
#pragma once

#include <string>
#include <vector>

namespace kedo::test {

// Writes a text macro file with one synthetic model per phone of
// tests/data/lexicon/chinese.pam (sil, sp and the fillers included).
void writeChineseTestModels(const std::string& path);

// The same for the phones of tests/data/lexicon/english.wpa, each as the
// model "PHONE+sil", which also stands in for every other right context.
void writeEnglishTestModels(const std::string& path);

// 16-bit little-endian raw samples at 16 kHz: a tone in noise. With gated,
// the tone sounds only from sample 3000 to 13000, silence (noise) around it.
std::string syntheticRecording(int samples, unsigned seed, bool gated = false);

// Writes rank2score.txt, discount.txt and qiyin.txt (unvoiced phones: sh)
// into folder, and returns the parameter lines that name them (relative
// names when relative is set, else full paths) together with
// useAllModelAsCompetingModel = 1, which these phone names need.
std::string writeScoringFiles(const std::string& folder, bool relative = false);

// A recording the models can fit: lead silence, then one steady sound per
// segment (a sine of the given frequency, 2400 samples = 15 frames each),
// then trailing silence, 16 kHz raw like syntheticRecording. The silences
// hold 4800 samples of low noise each.
constexpr int kFittedLead = 4800;
constexpr int kFittedSegment = 2400;
std::string segmentedRecording(const std::vector<double>& frequencies, unsigned seed);

// One phone and the recording segment it is fitted to (-1: the silences).
struct PhoneFit {
    std::string phone;
    int segment;
    float varianceScale = 1.0f;  // > 1 makes the model a worse fit of its segment
};

// Rewrites the macro file at path (written by writeChineseTestModels) so
// that the listed phones model the frames of their segments: every emitting
// state takes the mean and variance of the feature rows of "output.fea"
// (frames of 320 samples every 160, of the whole segmentedRecording) whose
// window lies inside the segment. Phones not listed keep their synthetic
// centres, far from any real feature row.
void fitTestModels(const std::string& path, const std::string& featureFile, int segments,
                   const std::vector<PhoneFit>& fits);

// The parameter lines of a Chinese run on the lexicon test data with
// folder's "models.mac", no feature configuration, and the scoring files
// (which it writes into folder): everything but comparisonMode, useEpd and
// outputDir.
std::string chineseRunData(const std::string& folder);

// The four sounds of "ni hau" (n, i, h, au in that order) as the
// frequencies of a segmentedRecording.
inline const std::vector<double> kNiHauSounds = {350.0, 900.0, 2200.0, 4000.0};

// In folder: writes "speech.raw", the segmentedRecording of the sounds, and
// "models.mac" (the Chinese or the English test models) fitted to it: sil and sp to the silences, then the fits in
// order (a later fit of a phone replaces an earlier one). prmLines name the
// data of the run (relative to folder) but none of comparisonMode,
// useEpd and outputDir; "sentence.txt" must be in folder. The features come
// from one run of the command line.
void prepareFittedRun(const std::string& folder, const std::string& prmLines, const std::vector<double>& sounds,
                      const std::vector<PhoneFit>& fits, bool english = false);

// prepareFittedRun of the "ni hau" sounds: n i h au fitted to their
// segments, then the extra fits.
void prepareFittedNiHau(const std::string& folder, const std::string& prmLines,
                        const std::vector<PhoneFit>& extra = {});

}  // namespace kedo::test
