// The candidate texts of a run, their normalisation and their syllable paths.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lexicon/dict.h"
#include "task/recog_param.h"
#include "util/str_util.h"

namespace kedo {

// One text normalisation rule; the first byte of mode selects the action:
// "g" replace every `from` by `to`, "^" strip leading bytes equal to from[0],
// "$" strip trailing bytes equal to from[0]; anything else does nothing.
struct textNormRule {
    std::string from;
    std::string to;
    std::string mode;
};

class textClass {
public:
    StrVec m_txtVs;                         // the texts as read (whole lines)
    std::vector<textNormRule> m_textNormSp;  // normalisation rules, file order
    StrVec m_txtVsNormalized;               // one per m_txtVs entry, same order
    // Syllable paths: dictionary words joined by "-", a TAB, and the position
    // of the text in m_txtVsNormalized.
    StrVec m_sylVs;
    // Chinese only, in step with m_sylVs: the aux values of the path's units
    // joined by "-" (no TAB and position).
    StrVec m_sylAuxVs;
    // The net in text form, written by the net builders.
    StrVec m_netVs;
    // Set by the best-path mapping: unit position and unit count of the
    // first match under comparison mode 3; -1 otherwise.
    int32_t matchStart = -1;
    int32_t matchLength = -1;
    // Warnings the user should see with the result, one line each, in the
    // data's code page (a character left out of the paths, ...).
    StrVec m_warnings;

    // Reads the non-empty lines of the file named by source, or, when source
    // names no readable file, splits source itself at "#".
    void readText(const std::string& source);
    // Reads "from#to#mode" rules (delimiter as given); an empty name reads none.
    void readTextNormMap(const std::string& fileName, char delimiter);
    // Fills m_txtVsNormalized: the part before the first TAB, lowered for
    // English, then every rule in order.
    void normalizeTexts(const std::string& language);
    // Exhaustive listing of the pronunciations of every normalised text; the
    // first unit varies fastest. Chinese candidates are sorted and
    // de-duplicated; a character without an entry is left out (warning).
    void textsToSylChinese(const wpaList& wpa);
    // English candidates are a word's PAs in entry order; a missing word ends
    // the run.
    void textsToSylEnglish(const wpaList& wpa);
    // m_sylVs = the non-empty lines of a syl file.
    void readSyl(const std::string& fileName);
    // Replaces every "-" of every path by separator.
    void addBetweenSyllables(const std::string& separator);

    // Rewrites one romanised Japanese syllable path in place into dictionary
    // units (the TAB and text position, if any, are kept).
    static void japaneseSylRules(std::string& sylPath);
    // For "japanese": japaneseSylRules on every path, then "output.syl" when
    // outputDir is set. Other languages: nothing.
    void japaneseSyl(const recogParam& p);
};

// Normalises one text with the rules. English capitals are lowered and
// numbers spelt out in words (numbersToWords) before the rules run.
std::string normalizeText(const std::string& text, const std::vector<textNormRule>& rules,
                          const std::string& language);

}  // namespace kedo
