// The lexicon steps of a run: the dictionaries, then the texts up to the
// syllable paths, then (after the net) the wpa entries the texts used.
#pragma once

#include <memory>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recog_param.h"

namespace kedo {

// Reads the tables the language needs (pam, pinyin table, wpa, addenda with
// merge and sort), each with its timing line.
void loadDictionaries(const recogParam& p, dictClass& dict, const modelSetView& models);

// loadDictionaries through the calling engine's kept data (util/data_cache.h):
// the tables are read once and used again while their files (and the model
// files, whose indices the pam holds) are unchanged; the timing lines and the
// merge's lines still appear. The large word table (m_wpa) is lent to dict,
// not copied: it goes back when the returned loan ends, without the words a
// run guessed for it. Until then nothing but the lexicon stages may change it.
class DictionaryLoan {
public:
    DictionaryLoan(dictClass& dict, std::shared_ptr<void> kept);
    ~DictionaryLoan();
    DictionaryLoan(const DictionaryLoan&) = delete;
    DictionaryLoan& operator=(const DictionaryLoan&) = delete;

private:
    dictClass& m_dict;
    std::shared_ptr<void> m_kept;
};
std::unique_ptr<DictionaryLoan> loadDictionariesKept(const recogParam& p, dictClass& dict,
                                                     const modelSetView& models);

// Reads the tnm file, the texts, normalises them, lists or reads the syllable
// paths (Japanese syllabification included), pads "-sp-" for assessment and,
// for English, builds the dictionary from the texts; writes "output.nt",
// "output.syl" and "output.dic" when outputDir is set. English words without a
// wpa entry get a guessed one (wpaGuessMissing); each guess is appended to
// warnings when given.
void prepareTexts(const recogParam& p, dictClass& dict, textClass& text, const modelSetView& models,
                  StrVec* warnings = nullptr);

// After the net: "output.wpa" with the entries the texts used (not for
// Japanese, only when outputDir is set).
void saveUsedWpa(const recogParam& p, const dictClass& dict, const textClass& text);

}  // namespace kedo
