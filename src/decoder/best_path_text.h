// From the best path of the search to the recognised syllable path and the
// candidate texts it stands for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/result.h"
#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "task/recog_param.h"
#include "util/str_util.h"

namespace kedo {

// Scans text.m_sylVs ("path<TAB>textPosition" each) with the wrapped pattern
// ("-" + units + "-"): mode 0 the wrapped path equals the pattern, 1 it
// begins with the pattern, 2 it contains the pattern. Appends the text
// position and the path position of every match. An empty pattern ("-" or
// "--") matches nothing. Another mode ends the run.
void searchSylVs(const textClass& text, const std::string& pattern, int mode, IntVec& textIdxVs, IntVec& sylVsIdxVs);

// Maps the syllables of the best path (sylIndex values into dict, in time
// order) to the recognised path and the matching texts, by p.comparisonMode.
// Sets text.matchStart and text.matchLength (-1, or under comparison mode 3
// the unit position and unit count of the first match). Returns 1 (done).
// Under comparison mode 3 no word of the path is left out of the pattern, so
// that unit positions are positions in the best path (its nodes), silences
// and fillers around the match included.
int pinyin2text(textClass& text, const IntVec& bestPathSyl, const pronDict& dict, IntVec& textIdxVs,
                IntVec& sylVsIdxVs, std::string& sylPath, const recogParam& p);

// Columns of the pinyin table that hold the spelling schemes of the Chinese
// result renderings: HanYu pinyin, the phonetic alphabet (MPA) and CGU, the
// dictionary's own spelling (column 2 holds another romanisation, unused).
inline constexpr int PINYIN_COLUMN_HANYU = 0;
inline constexpr int PINYIN_COLUMN_MPA = 1;
inline constexpr int PINYIN_COLUMN_CGU = 3;

// Renders mlf.identifiedSyl in the three schemes: pinyinType "cgu" keeps it
// as CGU and converts it from CGU to MPA and HanYu; "hanyu" keeps it as HanYu
// and converts it from HanYu to MPA and CGU; any other value sets none.
void renderSylPath(const dictClass& dict, const std::string& pinyinType, mlfClass& mlf);

}  // namespace kedo
