// The result picture in two steps, so that a host can keep what a run's files
// say (readPictureData, right after the run) and draw it later (pictureSvg),
// when the output folder may already hold another run.
#pragma once

#include <string>
#include <vector>

namespace kedo {

// A stretch of the time axis: a word (its text) or a phone (its model name).
struct PictureSpan {
    std::string label;   // UTF-8
    std::string detail;  // words: the pronunciation ("l_ay_k", "shiue")
    double start = 0;    // seconds
    double end = 0;      // seconds, exclusive
    double score = -1;   // 0 to 100; -1 when not scored (silences, pauses)
};

// A per-frame track value at a time.
struct PicturePoint {
    double time = 0;  // seconds, the middle of the frame
    double value = 0;
};

struct PictureDiscount {
    std::string reason;
    int occurrences = 0;
    double ratio = 1;
    bool applied = true;  // false for a reason that is reported only
};

struct PictureData {
    std::string folder;    // where it was read from
    std::string language;  // "english", "chinese"
    std::string sentence;  // the text items of the document (UTF-8)
    double score = 0;
    double duration = 0;   // seconds of the conditioned recording
    // The waveform as the lowest and highest sample of each of kWaveColumns
    // equal slices of the recording, scaled to -1..1 by the largest magnitude.
    std::vector<float> waveLow, waveHigh;
    std::vector<PictureSpan> words, phones;
    std::vector<PicturePoint> volume, pitch;  // pitch: voiced frames only (semitones)
    bool hasPitch = false;                    // the run computed pitch
    std::vector<PictureDiscount> discounts;   // the reasons that occurred
};

inline constexpr int kWaveColumns = 900;

// Reads output.xml and output.wave of an output folder. A missing folder or
// file, or a file that is not what the run writes, raises KedoError naming it.
PictureData readPictureData(const std::string& outputFolder);
// The picture as an SVG document.
std::string pictureSvg(const PictureData& data);

}  // namespace kedo
