// The pronunciation dictionary, the word-to-phonetic-alphabet tables (wpa and
// addenda) and the pinyin table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/str_util.h"

namespace kedo {

// What the lexicon needs of a model set: its size, the index of a model name
// (with the set's substitution rule; -1 for "sp", "sil", "filler", "fillerC"
// and "fillerV" when the set lacks them) and the name of an index. Kept as
// plain callables so the lexicon does not depend on the model code; see
// modelSetViewOf for a set with findModel, m_modelNum and m_models[i].name.
struct modelSetView {
    int32_t modelNum = 0;
    std::function<int32_t(const std::string&)> findModel;
    std::function<std::string(int32_t)> modelName;
};

// Builds a view of any model set with the members named above. The set must
// outlive the view.
template <class ModelSet>
modelSetView modelSetViewOf(const ModelSet& set) {
    modelSetView v;
    v.modelNum = set.m_modelNum;
    v.findModel = [&set](const std::string& name) { return static_cast<int32_t>(set.findModel(name)); };
    v.modelName = [&set](int32_t i) { return std::string(set.m_models[i].name); };
    return v;
}

// One dictionary word and the models that spell it (indices into the model
// set; -1 for a reserved name the set lacks, replaced by 0 when a net that
// uses the entry is read).
struct pronDictEntry {
    std::string word;
    IntVec models;
};

// One written word (English word or two-byte Chinese character) with its
// alternative pronunciations (PAs). aux is filled by the Chinese layout only
// and runs in step with pas (aux[i] belongs to pas[i]; it may be shorter).
struct wpaEntry {
    std::string word;
    StrVec pas;
    StrVec aux;
};

using pronDict = std::vector<pronDictEntry>;
using wpaList = std::vector<wpaEntry>;

// Sorts by word in byte order, as std::sort does (equal words in its order);
// fast for a sorted table with a few entries appended.
void wpaSortByWord(wpaList& wpa);

// Binary search by word in ascending byte order; the position or -1.
int wpaFind(const wpaList& wpa, const std::string& word);
int pronDictFind(const pronDict& dict, const std::string& word);

// Splits a text into lookup units, appended to units: "chinese" one unit per
// two bytes (an odd last byte is dropped), "english" the non-empty fields
// between blanks, "japanese" one unit "X" per byte; other languages none.
void textUnits(const std::string& text, const std::string& language, StrVec& units);

class dictClass {
public:
    // Positions are the sylIndex values of net nodes: the order is part of the
    // contract between a dictionary and the nets written with it. Sorted by word.
    pronDict m_pronDict;
    wpaList m_wpa;
    wpaList m_wpaAddenda;
    // Rows of column strings; files count rows from 1, operations columns
    // from 0. Column 3 holds the spelling the dictionary uses.
    std::vector<StrVec> m_pinyinTable;

    // The words a run added to m_wpa with guessed pronunciations.
    StrVec m_guessedWords;

    // Column of m_pinyinTable that the dictionary and models use.
    static constexpr int kDictColumn = 3;

    // Fills m_pronDict from a pam file ("word model model ..." lines, "%"
    // comments). Needs a model set of at least 2 models.
    void pronDictRead(const std::string& fileName, const modelSetView& models);
    // Fills m_wpa from a ".wpa" file (English or Chinese layout by language),
    // a ".wpab" file, or, when source names no readable file, from source
    // itself ("word pa#pa@word pa..."; English only).
    void wpaRead(const std::string& source, const std::string& language);
    // Fills m_wpaAddenda from a text wpa file; an empty name reads nothing.
    void wpaAddendaRead(const std::string& fileName, const std::string& language);
    // Merges m_wpaAddenda into m_wpa (a known word is replaced, a new one
    // appended) and empties m_wpaAddenda. Call wpaSort afterwards.
    void wpaMerge();
    // Sorts m_wpa by word in byte order (not stable).
    void wpaSort();
    int wpaFind(const std::string& word) const { return kedo::wpaFind(m_wpa, word); }
    int pronDictFind(const std::string& word) const { return kedo::pronDictFind(m_pronDict, word); }

    // Fills m_pinyinTable: one row per non-empty line, columns split at TAB.
    void pinyinTableRead(const std::string& fileName);
    // Column `to` of the first row whose column `from` equals syllable; the
    // syllable itself (with a warning unless it is a reserved unit) if none.
    std::string pinyinConvert(const std::string& syllable, int from, int to) const;
    // pinyinConvert on every "-"-separated part of path.
    std::string convertSylPath(const std::string& path, int from, int to) const;

    // English: builds m_pronDict from the normalised texts: every PA of every
    // word plus "sil" and "sp", sorted, each phone modelled with its right
    // neighbour ("p+next", "p+sil" at the end). withFillers adds "fillerC" and
    // "fillerV", each its own model, for the filler loops of keyword spotting.
    void pronDictFromTexts(const StrVec& normTexts, const modelSetView& models, bool withFillers = false);
    // Writes m_pronDict as "word<TAB>model model ..." lines ("???" for -1).
    void pronDictWrite(const std::string& fileName, const modelSetView& models) const;
    // Writes the wpa entries used by the texts ("word<TAB>pa#pa" lines) in
    // m_wpa order; units without an entry are left out with a warning.
    void wpaWriteUsed(const std::string& fileName, const StrVec& normTexts, const std::string& language) const;
};

// The readers behind wpaRead, on text already in memory; sourceName names the
// origin in messages. Each empties the list first.
void wpaParseText(const StrVec& lines, const std::string& language, const std::vector<StrVec>& pinyinTable,
                  const std::string& sourceName, wpaList& out);
void wpaParseBinary(const std::string& bytes, const std::string& sourceName, wpaList& out);
void wpaParseInline(const std::string& content, const std::string& language, wpaList& out);
// The pam reader on lines in memory.
void pronDictParse(const StrVec& lines, const modelSetView& models, pronDict& out);

}  // namespace kedo
