// What one assessment or recognition found, for hosts that show it: the
// score, the sentence, the words and phones with their times and scores, the
// discounts, the pitch and volume tracks and the warnings. Built from the
// run's own result object, not from its files. Strings are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/export.h"

namespace kedo {

// One spoken node: a word (English) or a syllable (Chinese).
struct WordResult {
    std::string text;
    std::string syllable;  // how it was said: the dictionary pronunciation, or for Chinese the pinyin
    std::string tone;      // Chinese: the syllable's tone ("1" to "5"), when the run knows it
    double start = 0;  // seconds
    double end = 0;    // seconds, exclusive
    double score = 0;  // 0 to 100
    // Chinese with a pitch track: the tone ("1" to "4") that the syllable's
    // pitch contour suggests, to set beside `tone`; "" when the syllable has
    // too few voiced frames or the run computes no pitch.
    std::string pitchTone;
};

// One aligned phone, silences and pauses included.
struct PhoneResult {
    std::string name;
    double start = 0;  // seconds
    double end = 0;    // seconds, exclusive
    double score = -1; // 0 to 100; -1 outside words
    int32_t word = -1; // index into words, -1 for silences and pauses
};

// A discount reason that occurred in the run.
struct DiscountResult {
    int32_t index = 0;        // 0 to 6
    std::string reason;       // its text, as in the result document
    int32_t occurrences = 0;
    double ratio = 1;         // the factor per occurrence
    bool applied = true;      // false for a reason that is reported only
};

struct RunResult {
    bool assessment = true;    // false for a recognition
    std::string language;      // "english" or "chinese"
    double score = 0;          // the overall score
    std::string sentence;      // the assessed or recognised sentence
    int32_t index = -1;        // recognition: the 0-based line of the list
    std::vector<WordResult> words;
    std::vector<PhoneResult> phones;
    std::vector<DiscountResult> discounts;
    int32_t designatedSyllables = 0;
    int32_t identifiedSyllables = 0;
    // Frame tracks over the words and pauses in time order, one value per
    // 10 ms frame from trackStart; pitch in semitones (0 unvoiced, empty when
    // the parameter set computes no pitch).
    double trackStart = 0;
    double frameSeconds = 0.01;
    std::vector<float> pitch;
    std::vector<float> volume;
    std::vector<std::string> warnings;
    std::string outputFolder;
};

// The result as one JSON object (UTF-8, no line breaks):
// {"kind": "assess"|"recog", "language", "score", "sentence", ["index",]
//  "words": [{"text","syllable","tone","start","end","score","pitchTone"}], "phones": [{"name","start",
//  "end","score","word"}], "discounts": [{"index","reason","occurrences",
//  "ratio","applied"}], "designatedSyllables", "identifiedSyllables",
//  "tracks": {"start","frameSeconds","pitch","volume"}, "warnings",
//  "outputFolder"}. Numbers that are not finite are written as null.
KEDO_API std::string runResultJson(const RunResult& result);

// A JSON string literal of UTF-8 text (quotes, backslashes and control
// characters escaped).
KEDO_API std::string jsonString(const std::string& text);

}  // namespace kedo
