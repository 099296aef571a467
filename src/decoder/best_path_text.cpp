// pinyin2text and searchSylVs: comparison of the recognised path with the
// syllable paths of the candidate texts.
#include "decoder/best_path_text.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>

#include "util/file_util.h"
#include "util/report_error.h"
#include "util/str_util.h"
#include "util/unit_names.h"

namespace kedo {

namespace {
constexpr const char* kModule = "text";

// Splits "path<TAB>position" into the wrapped path and the position.
void splitSylEntry(const std::string& entry, std::string& wrapped, int32_t& position) {
    size_t tab = entry.find('\t');
    if (tab == std::string::npos)
        reportError(strFormat("Error: the syllable path \"%s\" has no text position (line %d of file %s)", entry.c_str(),
                              __LINE__, kModule));
    wrapped.assign(1, '-');
    wrapped.append(entry, 0, tab);
    wrapped += '-';
    position = parseLeadingInt(entry.substr(tab + 1));
}

// A pattern without any unit matches no path.
bool emptyPattern(const std::string& pattern) { return pattern.find_first_not_of('-') == std::string::npos; }

bool hasSpokenUnit(const std::string& pattern) {
    for (const std::string& unit : strSplit(pattern, '-'))
        if (!unit.empty() && !isNonSpeechUnit(unit)) return true;
    return false;
}

int countDashes(const std::string& s, size_t end) {
    return static_cast<int>(std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(end), '-'));
}
}  // namespace

void searchSylVs(const textClass& text, const std::string& pattern, int mode, IntVec& textIdxVs, IntVec& sylVsIdxVs) {
    if (mode < 0 || mode > 2) reportError("Unknown mode in searchSylVs()!");
    if (emptyPattern(pattern)) return;
    std::string wrapped;
    int32_t position = 0;
    for (size_t i = 0; i < text.m_sylVs.size(); ++i) {
        splitSylEntry(text.m_sylVs[i], wrapped, position);
        bool match = mode == 0   ? wrapped == pattern
                     : mode == 1 ? wrapped.compare(0, pattern.size(), pattern) == 0
                                 : wrapped.find(pattern) != std::string::npos;
        if (match) {
            textIdxVs.push_back(position);
            sylVsIdxVs.push_back(static_cast<int32_t>(i));
        }
    }
}

int pinyin2text(textClass& text, const IntVec& bestPathSyl, const pronDict& dict, IntVec& textIdxVs,
                IntVec& sylVsIdxVs, std::string& sylPath, const recogParam& p) {
    text.matchStart = -1;
    text.matchLength = -1;
    textIdxVs.clear();
    sylVsIdxVs.clear();
    const int n = static_cast<int>(bestPathSyl.size());
    if (n == 0) reportError("The best syllable path has zero length!");

    const bool sausage = p.netType == 1;
    const bool keepAll = p.comparisonMode == 3;
    std::string path;
    for (int k = 0; k < n; ++k) {
        int syl = bestPathSyl[k];
        if (syl < 0 || syl >= static_cast<int>(dict.size()))
            reportError(strFormat("Error: syllable index %d of the best path outside the dictionary of %d entries (line %d of file %s)",
                                  syl, static_cast<int>(dict.size()), __LINE__, kModule));
        const std::string& w = dict[syl].word;
        if (!keepAll) {
            if ((k == 0 || k == n - 1) && w == "sil") continue;
            if (p.language != "japanese" && sausage && (w == "sp" || w == "sil")) continue;
        }
        path += w;
        path += '-';
    }

    if (sausage && (p.sylFile.empty() || p.language == "japanese")) {
        if (!path.empty()) path.pop_back();
        textIdxVs.push_back(0);
        sylVsIdxVs.push_back(p.sylFile.empty() ? -1 : 0);
        sylPath = path;
        return 1;
    }

    std::string pattern(1, '-');
    pattern += path;
    switch (p.comparisonMode) {
        case 1:
            if (p.function == "assess" && p.usePaddedSoftSil == 1) strReplaceAll(pattern, "-sil-", "-");
            searchSylVs(text, pattern, 0, textIdxVs, sylVsIdxVs);
            if (textIdxVs.empty()) searchSylVs(text, pattern, 1, textIdxVs, sylVsIdxVs);
            break;
        case 2:
            searchSylVs(text, pattern, 2, textIdxVs, sylVsIdxVs);
            break;
        case 3: {
            if (emptyPattern(pattern)) break;
            std::string wrapped;
            int32_t position = 0;
            for (size_t i = 0; i < text.m_sylVs.size(); ++i) {
                splitSylEntry(text.m_sylVs[i], wrapped, position);
                size_t at = pattern.find(wrapped);
                if (at == std::string::npos) continue;
                textIdxVs.push_back(position);
                sylVsIdxVs.push_back(static_cast<int32_t>(i));
                if (text.matchStart < 0 && text.matchLength < 0) {
                    text.matchStart = countDashes(pattern, at + 1) - 1;
                    text.matchLength = countDashes(wrapped, wrapped.size()) - 1;
                }
            }
            break;
        }
        default:
            reportError(strFormat("Unknown comparisonMode = %d", p.comparisonMode));
    }

    if (textIdxVs.empty() && p.function == "assess" && !hasSpokenUnit(pattern) && !text.m_sylVs.empty()) {
        // Nothing was said: the assessment goes on with the designated text,
        // the first candidate, and scores the silence (0).
        std::string wrapped;
        int32_t position = 0;
        splitSylEntry(text.m_sylVs[0], wrapped, position);
        textIdxVs.push_back(position);
        sylVsIdxVs.push_back(0);
    }
    if (textIdxVs.empty()) {
        progressf("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (shown next) at line %d of file %s!\n",
                    __LINE__, kModule);
        progressf("\nsylPath=%s\n", pattern.c_str());
        progressf("recogParamP->comparisonMode=%d\n", p.comparisonMode);
        strVecPrint(text.m_sylVs, "m_sylVs", "");
        reportError(strFormat("Error in textClass::pinyin2text(): Cannot find sylPath within m_sylVs (line %d of file %s)",
                              __LINE__, kModule));
    }
    std::sort(textIdxVs.begin(), textIdxVs.end());
    textIdxVs.erase(std::unique(textIdxVs.begin(), textIdxVs.end()), textIdxVs.end());
    sylPath = pattern.size() >= 2 ? pattern.substr(1, pattern.size() - 2) : std::string();
    return 1;
}

void renderSylPath(const dictClass& dict, const std::string& pinyinType, mlfClass& mlf) {
    const std::string& path = mlf.identifiedSyl;
    if (pinyinType == "cgu") {
        mlf.CGU = path;
        mlf.MPA = dict.convertSylPath(path, PINYIN_COLUMN_CGU, PINYIN_COLUMN_MPA);
        mlf.HanYu = dict.convertSylPath(path, PINYIN_COLUMN_CGU, PINYIN_COLUMN_HANYU);
    } else if (pinyinType == "hanyu") {
        mlf.HanYu = path;
        mlf.MPA = dict.convertSylPath(path, PINYIN_COLUMN_HANYU, PINYIN_COLUMN_MPA);
        mlf.CGU = dict.convertSylPath(path, PINYIN_COLUMN_HANYU, PINYIN_COLUMN_CGU);
    }
}

}  // namespace kedo
