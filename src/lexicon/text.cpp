// Candidate texts: reading, normalisation, exhaustive listing of syllable paths.
#include "lexicon/text.h"
#include "util/progress.h"

#include <algorithm>
#include <cstdio>

#include "lexicon/lexicon_util.h"
#include "lexicon/numbers.h"
#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "text";

// Cartesian product of the candidate lists, the first list varying fastest,
// elements joined by "-". No lists give no paths.
void combine(const std::vector<const StrVec*>& lists, StrVec& out) {
    out.clear();
    if (lists.empty()) return;
    out = *lists[0];
    StrVec next;
    for (size_t u = 1; u < lists.size(); ++u) {
        const StrVec& c = *lists[u];
        next.clear();
        next.reserve(out.size() * c.size());
        for (const std::string& ci : c)
            for (const std::string& p : out) {
                std::string s;
                s.reserve(p.size() + 1 + ci.size());
                s += p;
                s += '-';
                s += ci;
                next.push_back(std::move(s));
            }
        out.swap(next);
    }
}

// Refuses a listing that would exceed the path limit of a run.
void checkPathCount(const std::vector<const StrVec*>& lists, size_t already, size_t textPos) {
    if (lists.empty()) return;
    double product = 1;
    for (const StrVec* l : lists) product *= static_cast<double>(l->size());
    if (static_cast<double>(already) + product > static_cast<double>(MAX_SYL_PATH_NUM))
        reportError(strFormat("Error: The pronunciations of text %d give %.0f syllable paths, more than the %ld "
                              "allowed in one run. (line %d of %s)",
                              static_cast<int>(textPos), product, MAX_SYL_PATH_NUM, __LINE__, kModule));
}

void appendPaths(const StrVec& paths, size_t textPos, StrVec& sylVs) {
    std::string suffix(1, '\t');
    suffix += std::to_string(textPos);
    for (const std::string& p : paths) sylVs.push_back(p + suffix);
}
}  // namespace

void textClass::readText(const std::string& source) {
    m_txtVs.clear();
    if (fileExists(source)) {
        readDataLines(source, m_txtVs, 0);
    } else if (source.empty()) {
        reportError(strFormat("Error: The given recognizable texts (represented as a string delimited by #) has a "
                              "length of zero. (line %d of %s)",
                              __LINE__, kModule));
    } else {
        strSplit(source, '#', m_txtVs);
    }
    // A text of blanks alone is no sentence either; the message says so.
    const bool allBlank = std::all_of(m_txtVs.begin(), m_txtVs.end(), [](const std::string& t) {
        return t.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
    });
    if (allBlank)
        reportError(strFormat("Error: m_txtVs.size()=0 when reading \"%s\". (line %d of %s): no sentence: the text "
                              "is empty or holds only blanks",
                              source.c_str(), __LINE__, kModule),
                    ErrorKind::badInput);
}

void textClass::readTextNormMap(const std::string& fileName, char delimiter) {
    m_textNormSp.clear();
    if (fileName.empty()) return;
    StrVec lines;
    readDataLines(fileName, lines, '%');
    StrVec fields;
    for (const std::string& line : lines) {
        strSplit(line, delimiter, fields);
        if (fields.size() < 3)
            reportError(strFormat("Error: Parsing error in \"%s\". (line %d of file %s)", fileName.c_str(), __LINE__,
                                  kModule));
        if (fields[0].empty())
            reportError(strFormat("Error: Empty pattern in the rule \"%s\" of \"%s\". (line %d of file %s)",
                                  line.c_str(), fileName.c_str(), __LINE__, kModule));
        m_textNormSp.push_back({fields[0], fields[1], fields[2]});
    }
}

std::string normalizeText(const std::string& text, const std::vector<textNormRule>& rules,
                          const std::string& language) {
    std::string s = text.substr(0, text.find('\t'));
    if (language == "english") {
        strToLower(s);
        s = numbersToWords(s);
    }
    for (const textNormRule& r : rules) {
        if (r.mode.empty() || r.from.empty()) continue;
        switch (r.mode[0]) {
            case 'g':
                strReplaceAll(s, r.from, r.to);
                break;
            case '^': {
                size_t n = 0;
                while (n < s.size() && s[n] == r.from[0]) ++n;
                s.erase(0, n);
                break;
            }
            case '$':
                while (!s.empty() && s.back() == r.from[0]) s.pop_back();
                break;
            default:
                break;
        }
    }
    return s;
}

void textClass::normalizeTexts(const std::string& language) {
    m_txtVsNormalized.clear();
    m_txtVsNormalized.reserve(m_txtVs.size());
    for (const std::string& t : m_txtVs) m_txtVsNormalized.push_back(normalizeText(t, m_textNormSp, language));
}

void textClass::textsToSylChinese(const wpaList& wpa) {
    m_sylVs.clear();
    m_sylAuxVs.clear();
    // Sorted, de-duplicated candidates (and their aux values) per wpa entry,
    // prepared once per character that the texts use.
    std::vector<StrVec> candCache(wpa.size()), auxCache(wpa.size());
    std::vector<char> prepared(wpa.size(), 0);
    std::vector<const StrVec*> cands, auxes;
    StrVec paths, auxPaths;
    for (size_t t = 0; t < m_txtVsNormalized.size(); ++t) {
        const std::string& text = m_txtVsNormalized[t];
        cands.clear();
        auxes.clear();
        for (size_t i = 0; i + 1 < text.size(); i += 2) {
            std::string ch = text.substr(i, 2);
            int pos = wpaFind(wpa, ch);
            if (pos < 0 || wpa[pos].pas.empty()) {
                progressf("Warning: Found no syllable for \"%s\"!\n", ch.c_str());
                m_warnings.push_back(strFormat("Found no syllable for \"%s\": the character is left out, and the "
                                               "score covers the rest of the sentence",
                                               ch.c_str()));
                continue;  // the character is left out of the paths
            }
            if (!prepared[pos]) {
                const wpaEntry& e = wpa[pos];
                StrVec& c = candCache[pos];
                c = e.pas;
                std::sort(c.begin(), c.end());
                c.erase(std::unique(c.begin(), c.end()), c.end());
                StrVec& a = auxCache[pos];
                for (const std::string& pa : c) {
                    size_t first = static_cast<size_t>(std::find(e.pas.begin(), e.pas.end(), pa) - e.pas.begin());
                    a.push_back(first < e.aux.size() ? e.aux[first] : std::string());
                }
                prepared[pos] = 1;
            }
            cands.push_back(&candCache[pos]);
            auxes.push_back(&auxCache[pos]);
        }
        checkPathCount(cands, m_sylVs.size(), t);
        combine(cands, paths);
        combine(auxes, auxPaths);
        appendPaths(paths, t, m_sylVs);
        m_sylAuxVs.insert(m_sylAuxVs.end(), auxPaths.begin(), auxPaths.end());
    }
}

void textClass::textsToSylEnglish(const wpaList& wpa) {
    if (wpa.empty()) reportError(strFormat("Error: wpa.size()==0 at line %d of file %s!", __LINE__, kModule));
    m_sylVs.clear();
    std::vector<const StrVec*> cands;
    StrVec words, paths;
    for (size_t t = 0; t < m_txtVsNormalized.size(); ++t) {
        words.clear();
        textUnits(m_txtVsNormalized[t], "english", words);
        cands.clear();
        for (const std::string& w : words) {
            int pos = wpaFind(wpa, w);
            if (pos < 0 || wpa[pos].pas.empty())
                reportError(strFormat("Error: Found no pronunciation entry for \"%s\". Please add the pronunciation "
                                      "to wpaAddendaFile. (line %d of file %s)",
                                      w.c_str(), __LINE__, kModule),
                            ErrorKind::unknownWord);
            cands.push_back(&wpa[pos].pas);
        }
        checkPathCount(cands, m_sylVs.size(), t);
        combine(cands, paths);
        appendPaths(paths, t, m_sylVs);
    }
}

void textClass::readSyl(const std::string& fileName) { readDataLines(fileName, m_sylVs, 0); }

void textClass::addBetweenSyllables(const std::string& separator) {
    progressf("\tAdding %s between syllables...\n", separator.c_str());
    for (std::string& s : m_sylVs) strReplaceAll(s, "-", separator);
}

}  // namespace kedo
